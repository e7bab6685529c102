#include "core/OperateIni.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/CodePage.h"
#include "core/SaveFile.h"

namespace {

constexpr qsizetype MaxValueBytes = 2047;
const QByteArray Utf8Bom("\xEF\xBB\xBF");

// The language files ship as UTF-8 but may be kept in their language's legacy code page; any
// other file is in the system's code page.
CodePage LegacyCodePageFor(const QString& file)
{
    const QString name = QFileInfo(file).fileName().toLower();
    if (name == QLatin1String("mvlchs.ini")) {
        return CodePage("CP936");
    }
    if (name == QLatin1String("mvlcht.ini")) {
        return CodePage("CP950");
    }
    if (name == QLatin1String("mvleng.ini")) {
        return CodePage("CP1252");
    }
    return CodePage::System();
}

struct IniText
{
    QByteArray bytes; // without a byte-order mark
    bool bom = false;
    bool utf8 = false; // the file is valid UTF-8
};

IniText Load(const QString& file, bool* readable = nullptr)
{
    IniText text;
    const QFileInfo info(file);
    if (info.exists() && !info.isFile()) {
        // A FIFO would block the program for ever and a device never end: read as missing,
        // and never written through.
        if (readable != nullptr) {
            *readable = false;
        }
        return text;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (readable != nullptr) {
            *readable = !f.exists();
        }
        return text;
    }
    if (readable != nullptr) {
        *readable = true;
    }
    text.bytes = f.readAll();
    if (text.bytes.startsWith(Utf8Bom)) {
        text.bom = true;
        text.bytes.remove(0, Utf8Bom.size());
    }
    text.utf8 = text.bom || text.bytes.isValidUtf8();
    return text;
}

CodePage CodePageOf(const IniText& text, const QString& file)
{
    return text.utf8 ? CodePage::Utf8() : LegacyCodePageFor(file);
}

inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView TrimBlanks(QByteArrayView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && (IsBlank(s[end - 1]) || s[end - 1] == '\r')) {
        --end;
    }
    return s.sliced(begin, end - begin);
}

bool EqualsNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

// One line of the file, split the way the reader sees it.
struct Line
{
    enum Kind { Other, Section, Key } kind = Other;
    QByteArrayView name;  // section or key name, trimmed
    QByteArrayView value; // key value, trimmed, quotes still on
};

Line Parse(QByteArrayView raw)
{
    Line line;
    const QByteArrayView text = TrimBlanks(raw);
    if (text.isEmpty() || text[0] == ';') {
        return line;
    }
    if (text[0] == '[') {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.kind = Line::Section;
            line.name = TrimBlanks(text.sliced(1, close - 1));
        }
        return line;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq < 0) {
        return line;
    }
    line.kind = Line::Key;
    line.name = TrimBlanks(text.first(eq));
    line.value = TrimBlanks(text.sliced(eq + 1));
    return line;
}

// Calls visit(lineStart, lineEnd, parsed) for each line; stops when visit returns false.
template <typename Visit> void ForEachLine(const QByteArray& bytes, Visit visit)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            end = bytes.size();
        }
        if (!visit(start, end, Parse(QByteArrayView(bytes).sliced(start, end - start)))) {
            return;
        }
        start = end + 1;
    }
}

QByteArrayView Unquote(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.sliced(1, value.size() - 2);
    }
    return value;
}

// Cuts a value the way a 2048-byte buffer does, without leaving half a UTF-8 character.
QByteArrayView CutValue(QByteArrayView value, bool utf8)
{
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0) {
        value = value.first(nul);
    }
    if (value.size() <= MaxValueBytes) {
        return value;
    }
    qsizetype size = MaxValueBytes;
    if (utf8) {
        while (size > 0 && (static_cast<unsigned char>(value[size]) & 0xC0) == 0x80) {
            --size;
        }
    }
    return value.first(size);
}

bool IsNonAscii(const QByteArray& bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
}

QByteArray LineEndingOf(const QByteArray& bytes)
{
    const qsizetype lf = bytes.indexOf('\n');
    return lf > 0 && bytes[lf - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
}

} // namespace

QString ReadIni(const QString& section, const QString& key, const QString& defaultValue, const QString& file)
{
    const IniText text = Load(file);
    if (text.bytes.isEmpty()) {
        return defaultValue;
    }
    const CodePage codePage = CodePageOf(text, file);
    const QByteArray wantedSection = codePage.FromUnicode(section);
    const QByteArray wantedKey = codePage.FromUnicode(key);

    enum { Before, Inside, After } where = Before;
    std::optional<QByteArrayView> found;
    ForEachLine(text.bytes, [&](qsizetype, qsizetype, const Line& line) {
        if (line.kind == Line::Section) {
            if (where == Inside) {
                where = After; // only the first section of that name counts
                return false;
            }
            if (EqualsNoCase(line.name, wantedSection)) {
                where = Inside;
            }
        } else if (line.kind == Line::Key && where == Inside && EqualsNoCase(line.name, wantedKey)) {
            found = line.value;
            return false;
        }
        return true;
    });
    if (!found) {
        return defaultValue;
    }
    return codePage.ToUnicode(CutValue(Unquote(*found), text.utf8));
}

namespace {

// Sets one key in the bytes of an INI file: replaces its line, or adds it at the end of its
// section, or adds the section at the end.
void SetKey(QByteArray& bytes, const QByteArray& wantedSection, const QByteArray& wantedKey, const QByteArray& value,
            const QByteArray& eol)
{
    const QByteArray newLine = wantedKey + '=' + value;
    bool inSection = false;
    bool sectionSeen = false;
    qsizetype replaceFrom = -1;
    qsizetype replaceTo = -1;
    qsizetype insertAt = -1; // end of the last non-blank line of the section
    ForEachLine(bytes, [&](qsizetype start, qsizetype end, const Line& line) {
        if (line.kind == Line::Section) {
            if (inSection) {
                return false;
            }
            if (EqualsNoCase(line.name, wantedSection)) {
                inSection = sectionSeen = true;
                insertAt = end;
            }
            return true;
        }
        if (!inSection) {
            return true;
        }
        if (line.kind == Line::Key && EqualsNoCase(line.name, wantedKey)) {
            replaceFrom = start;
            replaceTo = end;
            if (replaceTo > replaceFrom && bytes[replaceTo - 1] == '\r') {
                --replaceTo;
            }
            return false;
        }
        if (!TrimBlanks(QByteArrayView(bytes).sliced(start, end - start)).isEmpty()) {
            insertAt = end;
        }
        return true;
    });

    if (replaceFrom >= 0) {
        bytes.replace(replaceFrom, replaceTo - replaceFrom, newLine);
    } else if (sectionSeen) {
        if (insertAt >= bytes.size()) {
            bytes.append(eol + newLine + eol);
        } else {
            bytes.insert(insertAt + 1, newLine + eol);
        }
    } else {
        if (!bytes.isEmpty() && !bytes.endsWith('\n')) {
            bytes.append(eol);
        }
        bytes.append('[' + wantedSection + ']' + eol + newLine + eol);
    }
}

} // namespace

bool WriteIni(const QString& section, const QString& key, const QString& value, const QString& file)
{
    return WriteIniValues(section, {{key, value}}, file);
}

bool WriteIniValues(const QString& section, const QList<std::pair<QString, QString>>& values, const QString& file,
                    QString* error)
{
    // A line break in a name or value would split the line and corrupt the file.
    auto breaksLine = [](const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); };
    if (breaksLine(section)) {
        return false;
    }
    for (const auto& [key, value] : values) {
        if (breaksLine(key) || breaksLine(value)) {
            return false;
        }
    }
    bool readable = true;
    const IniText text = Load(file, &readable);
    if (!readable) {
        if (error != nullptr) {
            *error = QStringLiteral("not a readable file");
        }
        return false; // never replace a file we could not read
    }
    // Keep a UTF-8 file UTF-8; a legacy or new file is written in its code page. The reader tells
    // the two apart by whether the whole file is valid UTF-8, so the written bytes must not change
    // its verdict: legacy bytes that happen to be valid UTF-8 would read back garbled, and so would
    // every other line of a legacy file that turned into UTF-8.
    const bool nonAscii = IsNonAscii(text.bytes);
    const CodePage codePage = text.bom || (text.utf8 && nonAscii) ? CodePage::Utf8() : LegacyCodePageFor(file);
    const QByteArray eol = LineEndingOf(text.bytes);
    auto compose = [&](const CodePage& in) -> std::optional<QByteArray> {
        if (!in.CanEncode(section)) {
            return std::nullopt;
        }
        QByteArray result = text.bytes;
        for (const auto& [key, value] : values) {
            if (!in.CanEncode(key) || !in.CanEncode(value)) {
                return std::nullopt;
            }
            SetKey(result, in.FromUnicode(section), in.FromUnicode(key), in.FromUnicode(value), eol);
        }
        const IniText after{result, text.bom, text.bom || result.isValidUtf8()};
        const bool readsAsWritten = CodePageOf(after, file).IsUtf8() == in.IsUtf8() || !IsNonAscii(result);
        const bool othersKept = CodePageOf(after, file).IsUtf8() == CodePageOf(text, file).IsUtf8() || !nonAscii;
        return readsAsWritten && othersKept ? std::optional<QByteArray>(result) : std::nullopt;
    };
    std::optional<QByteArray> composed = compose(codePage);
    if (!composed && text.utf8 && !codePage.IsUtf8()) {
        composed = compose(CodePage::Utf8()); // a file of plain ASCII is valid UTF-8 as well
    }
    if (!composed) {
        if (error != nullptr) {
            *error = QStringLiteral("the text cannot be kept in the encoding of '%1'").arg(file);
        }
        return false;
    }
    QByteArray result = *composed;
    if (result == text.bytes && QFileInfo::exists(file)) {
        return true; // nothing changes: spare the disk
    }
    if (text.bom) {
        result.prepend(Utf8Bom);
    }

    // Settings name the user's files and folders: nobody else needs to read them.
    return ReplaceFileContents(file, result, error, FileAccess::OwnerOnly);
}

std::optional<int> IniToInt(const QString& value)
{
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(number); // the default rounding mode: half to even
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(rounded);
}

std::optional<bool> IniToBool(const QString& value)
{
    const QString v = value.trimmed();
    if (v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (v.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const double number = v.toDouble(&ok);
    if (ok && std::isfinite(number)) {
        return number != 0.0;
    }
    return std::nullopt;
}

QString IniFromBool(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
