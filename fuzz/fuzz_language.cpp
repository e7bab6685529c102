// The language lookup: any language file read without harm; a key the file does not hold gives
// the default text.
#include <algorithm>

#include "core/AppState.h"
#include "core/Language.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Which language, a section, a key and a default text, each on a line of its own, then the file.
    const QList<QByteArray> fields = SplitInput(data, size, 4);
    if (fields.size() < 5) {
        return 0;
    }
    static const char* const names[] = {"mvleng.ini", "mvlchs.ini", "mvlcht.ini"};
    LangFile = ScratchFile(QLatin1String(names[static_cast<unsigned char>(fields[0].isEmpty() ? 0 : fields[0][0]) % 3]),
                           fields[4]);
    const QString section = QString::fromUtf8(fields[1]);
    const QString key = QString::fromUtf8(fields[2]);
    const QString defaultText = QString::fromUtf8(fields[3]);

    const QString text = GetLangString(section, key, defaultText);
    QString expectedDefault = defaultText;
    expectedDefault.replace(QLatin1String("\\n"), QLatin1String("\n"));
    const bool asciiKey =
        !key.isEmpty() && std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (key.isEmpty() || (asciiKey && !fields[4].toLower().contains(key.toLatin1().toLower()))) {
        FUZZ_CHECK(text == (key.isEmpty() ? defaultText : expectedDefault));
    }
    return 0;
}
