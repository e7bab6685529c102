#include "exchange/Encoding.h"

#include <algorithm>
#include <optional>
#include <unicode/ucsdet.h>

#include "core/CodePage.h"

namespace {

// Short Chinese texts (a few names) are too little for ICU's statistics. Their high bytes come
// in pairs, though, and Big5 alone uses second bytes in the ASCII letter range, which tells the
// two Chinese encodings apart.
QByteArray GuessDoubleByte(const QByteArray& bytes)
{
    int highBytes = 0;
    int paired = 0;
    bool lowTrail = false;
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        qsizetype run = i;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) >= 0x80) {
            ++run;
        }
        // A run of high bytes followed by a trail in 0x40..0x7E is a Big5 character.
        if (run < bytes.size() && (run - i) % 2 == 1) {
            const auto trail = static_cast<unsigned char>(bytes[run]);
            if (trail >= 0x40 && trail <= 0x7E) {
                lowTrail = true;
                highBytes += static_cast<int>(run - i);
                paired += static_cast<int>(run - i);
                i = run + 1;
                continue;
            }
        }
        highBytes += static_cast<int>(run - i);
        if ((run - i) % 2 == 0) {
            paired += static_cast<int>(run - i);
        }
        i = run;
    }
    if (highBytes < 2 || paired * 10 < highBytes * 8) {
        return {};
    }
    return lowTrail ? QByteArray("BIG5") : QByteArray("GB18030");
}

// The share of characters, in thousandths, that are among the common Hanzi of the encoding,
// judged from their bytes: GB2312's first level (B0A1-D7FE) or Big5's frequently used block
// (A440-C67E). Big5 read as GB18030 gives rare characters, symbols and Cyrillic; the other way
// round, Big5's rarer block.
int CommonHanzi(QByteArrayView bytes, bool big5)
{
    int chars = 0;
    int common = 0;
    for (qsizetype i = 0; i + 1 < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        ++chars;
        if (!big5 && trail >= 0x30 && trail <= 0x39) {
            i += 4; // GB18030's four-byte characters are all rare
            continue;
        }
        if (big5) {
            common += lead >= 0xA4 && (lead < 0xC6 || (lead == 0xC6 && trail <= 0x7E)) ? 1 : 0;
        } else {
            common += lead >= 0xB0 && lead <= 0xD7 && trail >= 0xA1 ? 1 : 0;
        }
        i += 2;
    }
    return chars == 0 ? 0 : common * 1000 / chars;
}

// GB18030 or Big5, whichever reads the text without invalid bytes and gives more common Hanzi;
// `hint` when both are alike.
QByteArray ChooseChinese(const QByteArray& bytes, const QByteArray& hint)
{
    const QByteArrayView sample = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 64 * 1024));
    QByteArray chosen = hint;
    int best = -1;
    for (const char* const name : {"GB18030", "BIG5"}) {
        qsizetype invalid = 0;
        CodePage(name).ToUnicode(sample, &invalid);
        if (invalid > 0) {
            continue;
        }
        const int score = CommonHanzi(sample, qstrcmp(name, "BIG5") == 0);
        if (score > best || (score == best && hint == name)) {
            best = score;
            chosen = name;
        }
    }
    return chosen;
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

QByteArray LegacyEncoding(const QByteArray& bytes)
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
    const bool likely = confidence >= 50;
    if (likely && (name == "EUC-KR" || name == "Shift_JIS" || name == "EUC-JP")) {
        return name;
    }
    const bool icuChinese = likely && (name == "GB18030" || name == "Big5");
    const QByteArray guess = GuessDoubleByte(bytes);
    if (icuChinese || !guess.isEmpty()) {
        return ChooseChinese(bytes, icuChinese ? CodePage::Known(name).value_or("GB18030") : guess);
    }
    const std::optional<QByteArray> known = CodePage::Known(name);
    if (likely && known && *known != "UTF-8" && !known->startsWith("UTF-16")) {
        return *known;
    }
    // Western text without a declaration is in practice Windows-1252, which also has the quotes
    // and the euro sign that ISO-8859-1 lacks.
    return "CP1252";
}

QByteArray TextEncoding(const QByteArray& bytes)
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
    return LegacyEncoding(bytes);
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
