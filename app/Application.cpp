#include "app/Application.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QThread>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>

#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "app/ImportQueue.h"
#include "app/SingleInstance.h"
#include "core/AppState.h"
#include "core/CommandLine.h"
#include "core/DataLocations.h"
#include "core/Errors.h"
#include "core/Language.h"
#include "core/Version.h"
#include "core/platform/LocalFile.h"
#include "core/platform/SystemLocale.h"
#include "main/frmMain.h"
#include "store/BookLock.h"
#include "store/BookProtection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "store/RecordPurge.h"
#include "sync/CardDavClient.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/FormState.h"
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

void ImportGivenFiles(const QStringList& files)
{
    Form<frmMain>().ImportFiles(files);
}

// Brings forward what the user works in: an open dialog (the login, say), else the main window.
void BringToFront()
{
    QWidget* window = QApplication::activeModalWidget();
    frmMain* main = FormInstance<frmMain>::IfLoaded();
    if (window == nullptr && main != nullptr && main->isVisible()) {
        window = main;
    }
    if (window == nullptr) {
        return;
    }
    ShowInFront(window);
}

// The arguments as the system gave them: a file name that is not valid UTF-8 keeps its bytes.
QStringList Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(FileNameFromLocal(QByteArray(argv[i])));
    }
    return arguments;
}

// --help and --version need no window, so they work without a display.
int RunWithoutWindow(const CommandLine& command, int argc, char** argv)
{
    if (command.action == CommandLine::Action::Version) {
        std::printf("Tavoren %s\n", TAVOREN_VERSION);
        return 0;
    }
    // After a window-system start-up has taken Qt's own options there is an application object already.
    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    std::setlocale(LC_ALL, "");
    const DataLocations locations = ResolveDataLocations(SystemDataEnvironment());
    InitApplicationState(QCoreApplication::applicationDirPath(), locations, GetSystemDefaultLCID());
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    if (command.action == CommandLine::Action::Help) {
        std::fputs(CommandLineHelp(program, BookPath(locations), locations.settingsFile).toLocal8Bit().constData(),
                   stdout);
        return 0;
    }
    std::fputs(CommandLineErrorText(program, command.error).toLocal8Bit().constData(), stderr);
    return 2;
}

} // namespace

QString BookFile()
{
    return ConnectionStringValue(BuildConnectionString(DataFolder), QStringLiteral("Data Source"));
}

bool TakeBook()
{
    auto lock = std::make_unique<BookLock>(BookFile());
    if (!lock->TryLock()) {
        return false;
    }
    HeldBook = std::move(lock);
    return true;
}

void ReportBookInUse()
{
    ThePlatform().MessageBox(
        nullptr,
        GetLangString(QStringLiteral("General"), QStringLiteral("10011"),
                      QStringLiteral("The address book %1 is open in another copy of Tavoren."))
            .arg(QDir::toNativeSeparators(BookFile())),
        GetLangString(QStringLiteral("General"), QStringLiteral("10003"), QStringLiteral("Warning")), MsgIcon::Warning,
        MsgButtons::Ok);
}

bool LockBook()
{
    if (!TakeBook()) {
        ReportBookInUse();
        return false;
    }
    return true;
}

void UnlockBook()
{
    HeldBook.reset();
}

bool OpenDatabaseAndLogIn()
{
    // A book protected with the account password opens with that password only: the login dialog
    // opens it, whatever the login switch says.
    const bool protectedBook = IsProtectedBook(BookFile());
    if (protectedBook) {
        CurrentUser.clear();
        Form<frmLogin>().exec();
        if (!LoginPassed) {
            Conn.Close();
            FormInstance<frmLogin>::Unload();
            return false;
        }
    } else {
        Conn.Open(BuildConnectionString(DataFolder));
    }
    const QStringList missing = MissingSchemaObjects(Conn);
    if (!missing.isEmpty()) {
        Conn.Close();
        throw DbError(1, QStringLiteral("The database is not an address book: %1 is missing.")
                             .arg(missing.join(QStringLiteral(", "))));
    }
    AddMissingIndexes(Conn);
    try {
        // The book opens, so the copy kept while a restore was under way is no longer needed.
        DiscardPreviousDatabase(Conn.DatabasePath());
    } catch (const AppError&) { // NOLINT(bugprone-empty-catch): a leftover copy is no reason not to start
    }
    if (!LoginEnabled || protectedBook) {
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

void FinishPendingWrites()
{
    if (!Conn.IsOpen()) {
        return;
    }
    try {
        // Another reader of the file (an earlier version, the sqlcipher tool, a copy of it) must
        // never find a deleted contact in it: what the background left is done now.
        BusyProgress busy(nullptr, GetLangString(QStringLiteral("General"), QStringLiteral("64000"),
                                                 QStringLiteral("Removing deleted contacts...")));
        Purger().Finish(Conn, busy.Callback());
    } catch (...) {
        // Left for the next start, which takes it up again in the background.
        ShowError();
    }
}

int Main(int argc, char** argv)
{
    CommandLine command = ParseCommandLine(Arguments(argc, argv), QDir::currentPath());
    if (command.action == CommandLine::Action::Help || command.action == CommandLine::Action::Version) {
        return RunWithoutWindow(command, argc, argv);
    }
    TavorenApplication app(argc, argv);
    CardDavClient::SetWindowThread(QThread::currentThread());
    // Qt has taken its own options (-platform, -style, ...) by now; what is left is ours.
    command = ParseCommandLine(Arguments(argc, argv), QDir::currentPath());
    if (command.action != CommandLine::Action::Run) {
        return RunWithoutWindow(command, argc, argv);
    }
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVOREN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavoren.Tavoren"));
    QIcon icon;
    for (const char* size : {"16x16", "32x32", "48x48", "256x256"}) {
        icon.addFile(QStringLiteral(":/app/%1/org.tavoren.Tavoren.png").arg(QLatin1String(size)));
    }
    QApplication::setWindowIcon(icon);
    std::setlocale(LC_ALL, ""); // the code page of stored texts follows the user's locale
    ImportQueue imports(&ImportGivenFiles);
    InstanceServer instances;
    QObject::connect(&instances, &InstanceServer::Requested, &imports, [&imports](const QStringList& files) {
        BringToFront();
        imports.Add(files);
    });
    // Deletes and moves are written in the background on the book the program has open.
    Purger().Watch(Conn);
    try {
        const int lcid = GetSystemDefaultLCID();
        InstallQtTranslations(lcid);
        const DataLocations locations = ResolveDataLocations(SystemDataEnvironment());
        InitApplicationState(QCoreApplication::applicationDirPath(), locations, lcid);
        PrepareDataFolders(locations);
        if (!TakeBook()) {
            // Another copy has the book open: it takes the files and comes to the front.
            if (HandToRunningCopy(BookFile(), command.files)) {
                return 0;
            }
            ReportBookInUse();
            return 1;
        }
        instances.Listen(BookFile()); // without it, later starts are refused by the lock as before
        imports.Add(command.files);
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
    imports.SetReady();
    const int code = QApplication::exec();
    FinishPendingWrites();
    return code;
}
