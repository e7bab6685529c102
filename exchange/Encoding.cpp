#include "exchange/Encoding.h"

#include <algorithm>
#include <optional>
#include <unicode/ucsdet.h>
#include <vector>

#include "core/CodePage.h"

namespace {

// The code pages a file that declares none is weighed in: the Western, Central European and Mac
// pages of Latin text, the Hebrew, Cyrillic and Greek pages, and the two Chinese ones. On equal
// evidence the earlier wins: Western text without a declaration is in practice Windows-1252.
constexpr const char* Candidates[] = {"CP1252", "CP1250", "MACINTOSH", "CP1255", "CP1251", "CP1253", "GB18030", "BIG5"};

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The accented letters Latin text is mostly made of, in Western and in Central European languages;
// other letters of the script are less likely, but possible.
const QString& CommonLatin(bool central)
{
    static const QString western = QStringLiteral("àáâãäåæçèéêëíîïñóôõöøúûüßÀÁÂÃÄÅÆÇÈÉÊËÍÎÑÓÔÕÖØÚÛÜ");
    static const QString centralEuropean =
        QStringLiteral("áäéíóôöúüýčďěňřšťůžąćęłńśźżőűăâîșțşţÁÄÉÍÓÔÖÚÜÝČĎĚŇŘŠŤŮŽĄĆĘŁŃŚŹŻŐŰĂÂÎȘȚŞŢ");
    return central ? centralEuropean : western;
}

// Punctuation a name or a note may hold inside Latin text (O’Neil, l·l) and beside it.
bool IsCommonPunctuation(QChar c)
{
    static const QString common = QStringLiteral("’‘“”–—€…•°©®«»·¡¿ ");
    return common.contains(c);
}

// How likely the character at i of text, read from a single-byte page, is what the writer meant:
// a letter of the page's script, in a word of that script, in a plausible letter case.
double SingleByteWeight(const QString& text, qsizetype i, QChar::Script script, bool central)
{
    const QChar c = text[i];
    const QChar prev = i > 0 ? text[i - 1] : QChar(u' ');
    const QChar next = i + 1 < text.size() ? text[i + 1] : QChar(u' ');
    const bool asciiBeside = IsAsciiLetter(prev.toLatin1()) || IsAsciiLetter(next.toLatin1());
    if ((!c.isLetter() || c.category() == QChar::Letter_Modifier) && c.category() != QChar::Mark_NonSpacing) {
        if (!IsCommonPunctuation(c)) {
            return 0.1;
        }
        // Between two letters only an apostrophe or a middle dot belongs.
        const bool inWord = prev.isLetter() && next.isLetter();
        return inWord && c != u'’' && c != u'·' ? 0.1 : 0.5;
    }
    if (c.script() != script) {
        return 0.05;
    }
    double weight = 1.0;
    if (c.isUpper() && prev.isLower()) {
        weight *= 0.2; // a capital inside a word is what random bytes give
    }
    if (script == QChar::Script_Latin) {
        if (!CommonLatin(central).contains(c)) {
            weight *= 0.7;
        }
        // Accented letters stand among plain ones; a run of them is a double-byte text misread.
        qsizetype begin = i;
        qsizetype end = i + 1;
        while (begin > 0 && text[begin - 1].unicode() >= 0x80) {
            --begin;
        }
        while (end < text.size() && text[end].unicode() >= 0x80) {
            ++end;
        }
        if (end - begin >= 4) {
            weight *= 0.3;
        } else if (end - begin == 3) {
            weight *= 0.7; // "Żół" happens, but seldom
        } else if (!prev.isLetter() && !next.isLetter()) {
            weight *= 0.6;
        }
    } else {
        // Serbian and Macedonian letters are rarer than those of Russian, Ukrainian and Bulgarian.
        static const QString rareCyrillic = QStringLiteral("ЂЃЉЊЌЋЏђѓљњќћџЅѕЈј");
        if (script == QChar::Script_Cyrillic && rareCyrillic.contains(c)) {
            weight *= 0.7;
        }
        if (asciiBeside) {
            weight *= 0.1; // Cyrillic, Greek or Hebrew glued to Latin letters
        } else if (c.isLower() && !prev.isLetter()) {
            weight *= 0.7; // names start with a capital
        }
        if (c.category() == QChar::Mark_NonSpacing) {
            weight *= 0.5;
        }
    }
    return weight;
}

// The mean weight of the characters made of high bytes, read in a double-byte Chinese page:
// common Hanzi (GB2312's first level, Big5's frequently used block) count fully, rarer ones and
// symbols less, and a character whose second byte is a letter among Latin letters little.
double DoubleByteScore(QByteArrayView bytes, bool big5)
{
    double sum = 0;
    int chars = 0;
    for (qsizetype i = 0; i + 1 < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        ++chars;
        double weight = 0.2;
        if (!big5 && trail >= 0x30 && trail <= 0x39) {
            sum += 0.1; // GB18030's four-byte characters are all rare
            i += 4;
            continue;
        }
        if (big5) {
            if (lead >= 0xA4 && (lead < 0xC6 || (lead == 0xC6 && trail <= 0x7E))) {
                weight = 1.0;
            } else if (lead >= 0xA1 && lead <= 0xA3) {
                weight = 0.6;
            } else if (lead >= 0xC9 && lead <= 0xF9) {
                weight = 0.5;
            }
        } else if (trail >= 0xA1) {
            weight = lead >= 0xB0 && lead <= 0xD7 ? 1.0 : lead >= 0xD8 && lead <= 0xF7 ? 0.6 : lead <= 0xA9 ? 0.6 : 0.2;
        }
        // A Hanzi in the middle of a Latin word: a lone accented letter misread as a pair.
        const bool letterTrail = trail < 0x80 && IsAsciiLetter(static_cast<char>(trail));
        if (letterTrail &&
            ((i > 0 && IsAsciiLetter(bytes[i - 1])) || (i + 2 < bytes.size() && IsAsciiLetter(bytes[i + 2])))) {
            weight *= 0.3;
        }
        sum += weight;
        i += 2;
    }
    return chars == 0 ? 0 : sum / chars;
}

struct Reading
{
    const char* name;
    double score = -1; // below 0: the page cannot read the bytes
    QString text;
    int chars = 0; // characters made of high bytes
};

// A value of the text holding the character at `at`, for the user to judge a reading by.
QString ExampleAround(const QString& text, qsizetype at)
{
    const auto isBreak = [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u',' || c == u';' || c == u':' || c == u'"' || c == u'\t';
    };
    qsizetype begin = at;
    qsizetype end = at;
    while (begin > 0 && !isBreak(text[begin - 1]) && at - begin < 30) {
        --begin;
    }
    while (end < text.size() && !isBreak(text[end]) && end - at < 30) {
        ++end;
    }
    return text.mid(begin, end - begin).trimmed();
}

LegacyGuess WeighCandidates(const QByteArray& bytes)
{
    const QByteArrayView sample = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 256 * 1024));
    std::vector<Reading> readings;
    for (const char* const name : Candidates) {
        Reading reading{name, -1, {}};
        qsizetype invalid = 0;
        reading.text = CodePage(name).ToUnicode(sample, &invalid);
        if (invalid > 0) {
            readings.push_back(reading);
            continue;
        }
        const bool gb = qstrcmp(name, "GB18030") == 0;
        const bool big5 = qstrcmp(name, "BIG5") == 0;
        if (gb || big5) {
            reading.score = DoubleByteScore(sample, big5);
            reading.chars = static_cast<int>(std::count_if(
                sample.begin(), sample.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
        } else {
            const QChar::Script script = qstrcmp(name, "CP1251") == 0   ? QChar::Script_Cyrillic
                                         : qstrcmp(name, "CP1253") == 0 ? QChar::Script_Greek
                                         : qstrcmp(name, "CP1255") == 0 ? QChar::Script_Hebrew
                                                                        : QChar::Script_Latin;
            const bool central = qstrcmp(name, "CP1250") == 0;
            double sum = 0;
            int chars = 0;
            for (qsizetype i = 0; i < reading.text.size(); ++i) {
                if (reading.text[i].unicode() >= 0x80) {
                    sum += SingleByteWeight(reading.text, i, script, central);
                    ++chars;
                }
            }
            reading.score = chars == 0 ? 0 : sum / chars;
            reading.chars = chars;
        }
        readings.push_back(reading);
    }
    const auto best = std::max_element(readings.begin(), readings.end(),
                                       [](const Reading& a, const Reading& b) { return a.score < b.score; });
    LegacyGuess guess;
    // Bytes no page reads plausibly are taken as Western, the likeliest of all undeclared text.
    // So are a few bytes that read only as something odd.
    const bool implausible = best->score < 0.4 || (best->chars < 4 && best->score < 0.75);
    guess.name = implausible ? QByteArray("CP1252") : QByteArray(best->name);
    // Weak evidence: little of the text reads as anything plausible, or another page that reads it
    // differently is nearly as plausible.
    const Reading* rival = nullptr;
    for (const Reading& r : readings) {
        if (&r != &*best && r.score >= 0 && r.text != best->text && (rival == nullptr || r.score > rival->score)) {
            rival = &r;
        }
    }
    guess.weak = best->score < 0.6 || (rival != nullptr && rival->score >= best->score - 0.1);
    if (best->score >= 0) {
        qsizetype at = -1;
        for (qsizetype i = 0; i < best->text.size() && at < 0; ++i) {
            if (best->text[i].unicode() >= 0x80 &&
                (rival == nullptr || i >= rival->text.size() || rival->text[i] != best->text[i])) {
                at = i;
            }
        }
        if (at < 0) {
            at = std::find_if(best->text.begin(), best->text.end(), [](QChar c) { return c.unicode() >= 0x80; }) -
                 best->text.begin();
        }
        if (at < best->text.size()) {
            guess.example = ExampleAround(best->text, at);
        }
    }
    return guess;
}

// UTF-16 without a byte-order mark, told by its zero bytes: Latin text, and the structure of a
// contact file, puts one in every other byte.
QByteArray Utf16ByPattern(QByteArrayView bytes, qint64 size)
{
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    if (n < 4 || size % 2 != 0) {
        return {};
    }
    qsizetype evenZero = 0;
    qsizetype oddZero = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZero += bytes[i] == 0 ? 1 : 0;
        oddZero += bytes[i + 1] == 0 ? 1 : 0;
    }
    const qsizetype pairs = n / 2;
    if (oddZero * 10 >= pairs * 3 && evenZero * 20 <= pairs) {
        return "UTF-16LE";
    }
    if (evenZero * 10 >= pairs * 3 && oddZero * 20 <= pairs) {
        return "UTF-16BE";
    }
    return {};
}

} // namespace

LegacyGuess GuessLegacyEncoding(const QByteArray& bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector* detector = ucsdet_open(&status);
    QByteArray name;
    int confidence = 0;
    if (U_SUCCESS(status)) {
        // The detector looks at a sample; a few hundred kilobytes decide as well as megabytes.
        const int32_t length = static_cast<int32_t>(std::min<qsizetype>(bytes.size(), 512 * 1024));
        ucsdet_setText(detector, bytes.constData(), length, &status);
        const UCharsetMatch* match = ucsdet_detect(detector, &status);
        if (match != nullptr && U_SUCCESS(status)) {
            name = ucsdet_getName(match, &status);
            confidence = ucsdet_getConfidence(match, &status);
        }
        ucsdet_close(detector);
    }
    LegacyGuess guess = WeighCandidates(bytes);
    // Korean and Japanese are told by ICU's statistics, when it is sure and nothing Western fits
    // better; their byte patterns look like the Chinese pages' to the weighing above.
    const bool eastAsian = guess.name == "GB18030" || guess.name == "BIG5" || guess.weak;
    if (confidence >= 50 && eastAsian && (name == "EUC-KR" || name == "Shift_JIS" || name == "EUC-JP")) {
        qsizetype invalid = 0;
        CodePage(name).ToUnicode(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 256 * 1024)), &invalid);
        if (invalid == 0) {
            return {name, false, {}};
        }
    }
    return guess;
}

QByteArray LegacyEncoding(const QByteArray& bytes)
{
    return GuessLegacyEncoding(bytes).name;
}

QByteArray TextEncoding(const QByteArray& bytes, LegacyGuess* guess)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return "UTF-8";
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return "UTF-16LE";
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return "UTF-16BE";
    }
    if (QByteArray wide = Utf16ByPattern(bytes, bytes.size()); !wide.isEmpty()) {
        return wide;
    }
    if (bytes.isValidUtf8()) {
        return "UTF-8";
    }
    LegacyGuess legacy = GuessLegacyEncoding(bytes);
    if (guess != nullptr) {
        *guess = legacy;
    }
    return legacy.name;
}

QString DecodeText(const QByteArray& bytes, QByteArray* encoding, qsizetype* unreadable)
{
    const QByteArray name = TextEncoding(bytes);
    if (encoding != nullptr) {
        *encoding = name;
    }
    // Only a byte-order mark at the very start of the file is one.
    qsizetype mark = 0;
    if (name == "UTF-8" && bytes.startsWith("\xEF\xBB\xBF")) {
        mark = 3;
    } else if ((name == "UTF-16LE" && bytes.startsWith("\xFF\xFE")) ||
               (name == "UTF-16BE" && bytes.startsWith("\xFE\xFF"))) {
        mark = 2;
    }
    qsizetype invalid = 0;
    QString text = CodePage(name).ToUnicode(QByteArrayView(bytes).sliced(mark), &invalid);
    if (unreadable != nullptr) {
        *unreadable = invalid;
    }
    return text;
}

bool IsWideText(QByteArrayView head, qint64 size)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || !Utf16ByPattern(head, size).isEmpty();
}

QByteArray NarrowText(const QByteArray& bytes)
{
    // UTF-16 files are read as the UTF-8 they hold, so both readers see bytes of ASCII names.
    if (IsWideText(bytes, bytes.size())) {
        return "\xEF\xBB\xBF" + DecodeText(bytes).toUtf8();
    }
    return bytes;
}
