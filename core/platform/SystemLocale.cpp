#include "core/platform/SystemLocale.h"

#include <QHash>

#include <clocale>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#endif

QString SystemLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return QString::fromLocal8Bit(value);
        }
    }
    return {};
}

int LcidFromLocaleName(const QString& localeName)
{
    // "zh_TW.UTF-8@variant" -> "zh_TW"
    QString name = localeName;
    for (const QChar stop : {QChar(u'.'), QChar(u'@')}) {
        const qsizetype at = name.indexOf(stop);
        if (at >= 0) {
            name.truncate(at);
        }
    }
    name.replace(u'-', u'_');
    static const QHash<QString, int> known = {
        {QStringLiteral("zh_TW"), 1028}, {QStringLiteral("zh_CN"), 2052}, {QStringLiteral("zh_HK"), 3076},
        {QStringLiteral("zh_SG"), 4100}, {QStringLiteral("zh_MO"), 5124}, {QStringLiteral("en_US"), 1033},
        {QStringLiteral("en_GB"), 2057}, {QStringLiteral("en_AU"), 3081}, {QStringLiteral("en_CA"), 4105},
        {QStringLiteral("de_DE"), 1031}, {QStringLiteral("fr_FR"), 1036}, {QStringLiteral("es_ES"), 3082},
        {QStringLiteral("it_IT"), 1040}, {QStringLiteral("ja_JP"), 1041}, {QStringLiteral("ko_KR"), 1042},
    };
    const auto it = known.constFind(name);
    if (it != known.constEnd()) {
        return it.value();
    }
    // Any other locale, C and POSIX included, is non-Chinese: treat it as US English.
    return 1033;
}

int GetSystemDefaultLCID()
{
#ifdef _WIN32
    return static_cast<int>(::GetSystemDefaultLCID());
#else
    return LcidFromLocaleName(SystemLocaleName());
#endif
}

QByteArray SystemCodePageName()
{
#ifdef _WIN32
    return "CP" + QByteArray::number(::GetACP());
#else
    std::setlocale(LC_CTYPE, "");
    const QByteArray codeset = nl_langinfo(CODESET);
    if (codeset.isEmpty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || codeset == "US-ASCII") {
        return "UTF-8";
    }
    return codeset;
#endif
}
