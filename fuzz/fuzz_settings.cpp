// The settings file: any bytes read without harm; a value written reads back as written, and
// every other key keeps the value it had.
#include <QRegularExpression>

#include "core/OperateIni.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Names the writer and reader agree on: no blanks at the ends, nothing that starts a comment or a
// section, no '=' (in a key) or ']' (in a section), no line break.
bool PlainName(const QString& name, QChar forbidden)
{
    static const QRegularExpression plain(
        QStringLiteral("^[^\\s;\\[=\\]\\x00-\\x1F](?:[^=\\]\\x00-\\x1F]*[^\\s=\\]\\x00-\\x1F])?$"));
    return !name.contains(forbidden) && plain.match(name).hasMatch();
}

// A value the file keeps as it is: no line break or NUL, no blanks at the ends, not wrapped in a
// pair of quotes, well short of the longest value in any code page.
bool PlainValue(const QString& value)
{
    if (value.contains(u'\n') || value.contains(u'\r') || value.contains(QChar(0)) || value != value.trimmed()) {
        return false;
    }
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        return false;
    }
    return value.size() <= 600;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A name, a section, a key and a value, each on a line of its own, then the file.
    const QList<QByteArray> fields = SplitInput(data, size, 4);
    if (fields.size() < 5) {
        return 0;
    }
    static const char* const names[] = {"Tavoren.ini", "mvlchs.ini", "mvlcht.ini", "mvleng.ini"};
    const QString name = QLatin1String(names[static_cast<unsigned char>(fields[0].isEmpty() ? 0 : fields[0][0]) % 4]);
    const QString file = ScratchFile(name, fields[4]);
    const QString section = QString::fromUtf8(fields[1]);
    const QString key = QString::fromUtf8(fields[2]);
    const QString value = QString::fromUtf8(fields[3]);

    const QString read = ReadIni(section, key, QStringLiteral("<none>"), file);
    FUZZ_CHECK(read.size() <= 2047);
    const QString other = ReadIni(QStringLiteral("General"), QStringLiteral("login"), QStringLiteral("<none>"), file);

    if (!WriteIni(section, key, value, file)) {
        return 0;
    }
    // What the writer accepted of a plain name and value reads back unchanged.
    const bool plain = PlainName(section, u']') && PlainName(key, u'=') && PlainValue(value);
    if (plain) {
        FUZZ_CHECK(ReadIni(section, key, QStringLiteral("<none>"), file) == value);
    }
    if (plain && (section.compare(QLatin1String("General"), Qt::CaseInsensitive) != 0 ||
                  key.compare(QLatin1String("login"), Qt::CaseInsensitive) != 0)) {
        FUZZ_CHECK(ReadIni(QStringLiteral("General"), QStringLiteral("login"), QStringLiteral("<none>"), file) ==
                   other);
    }
    return 0;
}
