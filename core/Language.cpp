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
