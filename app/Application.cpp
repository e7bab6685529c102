#include "app/Application.h"

#include <QDir>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>

#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "core/Version.h"
#include "core/platform/SystemLocale.h"
#include "main/frmMain.h"
#include "store/BookLock.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/Platform.h"

TavorenApplication::TavorenApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TavorenApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowError();
        return false;
    }
}

namespace {

std::unique_ptr<BookLock> HeldBook;

} // namespace

bool LockBook()
{
    const QString path = ConnectionStringValue(BuildConnectionString(AppFolder), QStringLiteral("Data Source"));
    auto lock = std::make_unique<BookLock>(path);
    if (!lock->TryLock()) {
        ThePlatform().MessageBox(
            nullptr,
            GetLangString(QStringLiteral("General"), QStringLiteral("10011"),
                          QStringLiteral("The address book %1 is open in another copy of Tavoren."))
                .arg(QDir::toNativeSeparators(path)),
            GetLangString(QStringLiteral("General"), QStringLiteral("10003"), QStringLiteral("Warning")),
            MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    HeldBook = std::move(lock);
    return true;
}

void UnlockBook()
{
    HeldBook.reset();
}

bool OpenDatabaseAndLogIn()
{
    Conn.Open(BuildConnectionString(AppFolder));
    const QStringList missing = MissingSchemaObjects(Conn);
    if (!missing.isEmpty()) {
        Conn.Close();
        throw DbError(1, QStringLiteral("The database is not an address book: %1 is missing.")
                             .arg(missing.join(QStringLiteral(", "))));
    }
    try {
        // The book opens, so the copy kept while a restore was under way is no longer needed.
        DiscardPreviousDatabase(Conn.DatabasePath());
    } catch (const AppError&) { // NOLINT(bugprone-empty-catch): a leftover copy is no reason not to start
    }
    if (!LoginEnabled) {
        return true;
    }
    Recordset rs;
    OpenUsers(rs, Conn);
    if (rs.RecordCount() == 0) {
        ReleaseRecordset(rs);
        Form<frmLogin>(); // loaded, hidden: it skins every dialog
        Form<frmNewUser>().exec();
    } else {
        if (rs.IsNull(u"UserName")) {
            throw AppError(94, QStringLiteral("Invalid use of Null"));
        }
        CurrentUser = Decrypt(rs.Bytes(rs.FieldIndex(u"UserName")));
        ReleaseRecordset(rs);
        Form<frmLogin>().exec();
    }
    if (!LoginPassed) {
        Conn.Close();
        FormInstance<frmLogin>::Unload();
        return false;
    }
    return true;
}

int Main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Tavoren %s\n", TAVOREN_VERSION);
        return 0;
    }
    TavorenApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVOREN_VERSION));
    std::setlocale(LC_ALL, ""); // the code page of stored texts follows the user's locale
    try {
        const int lcid = GetSystemDefaultLCID();
        InstallQtTranslations(lcid);
        InitApplicationState(QCoreApplication::applicationDirPath(),
                             QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(), lcid);
        if (!LockBook()) {
            return 1;
        }
        if (!OpenDatabaseAndLogIn()) {
            return 0;
        }
    } catch (...) {
        // Nothing is shown yet: report why the program cannot start, then end it.
        ThePlatform().MessageBox(
            nullptr, ErrorText(std::current_exception()),
            GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")),
            MsgIcon::Critical, MsgButtons::Ok);
        return 1;
    }
    Form<frmMain>().show();
    return QApplication::exec();
}
