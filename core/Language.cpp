#include "core/Language.h"

#include "core/AppState.h"
#include "core/OperateIni.h"

QString GetLangString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (key.isEmpty()) {
        return defaultValue;
    }
    QString text = ReadIni(section, key, defaultValue, LangFile);
    text.replace(QLatin1String("\\n"), QLatin1String("\n"));
    return text;
}

QString GetCountString(const QString& section, const QString& key, const QString& many, const QString& one,
                       qint64 count)
{
    const QString text =
        count == 1 ? GetLangString(section, key + QLatin1Char('a'), one) : GetLangString(section, key, many);
    return QString(text).replace(QLatin1String("%count%"), QString::number(count));
}
