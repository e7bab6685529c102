#include "core/AppState.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/OperateIni.h"

QString AppFolder;
QString LangFile;
QString IniFile;
bool SoundEnabled = false;
bool LoginEnabled = false;
QString CreditText;
QString CurrentUser;
bool LoginPassed = false;

namespace {

constexpr int TraditionalChinese = 1028;
constexpr int SimplifiedChinese = 2052;

bool ReadSwitch(const QString& key)
{
    return IniToBool(ReadIni(QStringLiteral("General"), key, QStringLiteral("True"), IniFile)).value_or(true);
}

} // namespace

QString AppFolderFrom(const QString& executableFolder)
{
    if (executableFolder.endsWith(u'/') || executableFolder.endsWith(u'\\')) {
        return executableFolder;
    }
    return executableFolder + QLatin1Char('/');
}

QString LanguageFileFor(int lcid, const QString& appFolder)
{
    switch (lcid) {
    case TraditionalChinese:
        return appFolder + QStringLiteral("Language/mvlcht.ini");
    case SimplifiedChinese:
        return appFolder + QStringLiteral("Language/mvlchs.ini");
    default:
        return appFolder + QStringLiteral("Language/mvleng.ini");
    }
}

QString QtLocaleFor(int lcid)
{
    switch (lcid) {
    case TraditionalChinese:
        return QStringLiteral("zh_TW");
    case SimplifiedChinese:
        return QStringLiteral("zh_CN");
    default:
        return {};
    }
}

bool InstallQtTranslations(int lcid)
{
    const QString locale = QtLocaleFor(lcid);
    if (locale.isEmpty()) {
        return false; // Qt's own texts are English already
    }
    // Owned by the application, so it lives as long as the texts it translates.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qt_") + locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

QString CreditTextFor(int lcid)
{
    switch (lcid) {
    case TraditionalChinese:
        return QStringLiteral("感謝所有試用並回報問題的朋友，也感謝 Qt、SQLCipher 與 Tango 圖示的作者。");
    case SimplifiedChinese:
        return QStringLiteral("感谢所有试用并反馈问题的朋友，也感谢 Qt、SQLCipher 和 Tango 图标的作者。");
    default:
        return QStringLiteral("Thanks to everyone who tried Tavoren and reported problems, and to the authors "
                              "of Qt, SQLCipher and the Tango icons.");
    }
}

void InitApplicationState(const QString& executableFolder, const QString& executableBaseName, int lcid)
{
    AppFolder = AppFolderFrom(executableFolder);
    LangFile = LanguageFileFor(lcid, AppFolder);
    CreditText = CreditTextFor(lcid);
    IniFile = AppFolder + executableBaseName + QStringLiteral(".ini");
    SoundEnabled = ReadSwitch(QStringLiteral("PlaySound"));
    LoginEnabled = ReadSwitch(QStringLiteral("login"));
}
