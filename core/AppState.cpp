#include "core/AppState.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/DataLocations.h"
#include "core/OperateIni.h"

QString AppFolder;
QString LangFile;
QString IniFile;
QString DataFolder;
QString BackupFolder;
bool SoundEnabled = false;
bool LoginEnabled = false;
QString CreditText;
QString CurrentUser;
bool LoginPassed = false;

namespace {

// What each language brings: its language file, the locale of Qt's own texts, the credit line.
// The first row is English, for every identifier the others do not name.
struct Language
{
    int lcid;
    const char* file;
    const char* qtLocale;
    const char* credit;
};
constexpr Language Languages[] = {
    {1033, "mvleng.ini", "",
     "Thanks to everyone who tried Tavoren and reported problems, and to the authors of Qt, SQLCipher and the "
     "Tango icons."},
    {1028, "mvlcht.ini", "zh_TW", "感謝所有試用並回報問題的朋友，也感謝 Qt、SQLCipher 與 Tango 圖示的作者。"},
    {2052, "mvlchs.ini", "zh_CN", "感谢所有试用并反馈问题的朋友，也感谢 Qt、SQLCipher 和 Tango 图标的作者。"},
};

const Language& LanguageOf(int lcid)
{
    for (const Language& language : Languages) {
        if (language.lcid == lcid) {
            return language;
        }
    }
    return Languages[0];
}

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
    return appFolder + QStringLiteral("Language/") + QLatin1String(LanguageOf(lcid).file);
}

QString QtLocaleFor(int lcid)
{
    return QLatin1String(LanguageOf(lcid).qtLocale);
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
    return QString::fromUtf8(LanguageOf(lcid).credit);
}

void InitApplicationState(const QString& executableFolder, const DataLocations& locations, int lcid)
{
    AppFolder = AppFolderFrom(executableFolder);
    DataFolder = locations.dataFolder;
    BackupFolder = locations.backupFolder;
    LangFile = LanguageFileFor(lcid, locations.resourceFolder);
    CreditText = CreditTextFor(lcid);
    IniFile = locations.settingsFile;
    SoundEnabled = ReadSwitch(QStringLiteral("PlaySound"));
    LoginEnabled = ReadSwitch(QStringLiteral("login"));
}

void InitApplicationState(const QString& executableFolder, const QString& executableBaseName, int lcid)
{
    const QString folder = AppFolderFrom(executableFolder);
    DataLocations locations;
    locations.dataFolder = folder;
    locations.resourceFolder = folder;
    locations.settingsFile = folder + executableBaseName + QStringLiteral(".ini");
    InitApplicationState(executableFolder, locations, lcid);
}

QLocale ReadingLocale()
{
    if (LangFile.endsWith(QLatin1String("mvlchs.ini"))) {
        return QLocale(QLocale::Chinese, QLocale::China);
    }
    if (LangFile.endsWith(QLatin1String("mvlcht.ini"))) {
        return QLocale(QLocale::Chinese, QLocale::Taiwan);
    }
    const QLocale system = QLocale::system();
    return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
}
