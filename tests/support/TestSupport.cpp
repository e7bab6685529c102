#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstring>

#include "core/AppState.h"
#include "store/Database.h"
#include "store/SecretStore.h"
#include "store/SyncPasswords.h"

#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

RecordingPlatform::RecordingPlatform()
{
    SetPlatform(this);
}

RecordingPlatform::~RecordingPlatform()
{
    SetPlatform(nullptr);
}

MsgResult RecordingPlatform::MessageBox(QWidget*, const QString& text, const QString& title, MsgIcon icon,
                                        MsgButtons buttons)
{
    calls.append({QStringLiteral("box"), text, title, icon, buttons});
    const MsgResult answer = answers.empty() ? MsgResult::Ok : answers.front();
    if (!answers.empty()) {
        answers.pop_front();
    }
    return answer;
}

MsgResult RecordingPlatform::MessageBoxWithOther(QWidget* parent, const QString& text, const QString& title,
                                                 const QString& other)
{
    const MsgResult answer = MessageBox(parent, text, title, MsgIcon::Question, MsgButtons::OkCancel);
    calls.last().other = other;
    return answer;
}

std::optional<int> RecordingPlatform::ChooseItem(QWidget*, const QString& title, const QString& prompt,
                                                 const QStringList& choices)
{
    calls.append({QStringLiteral("item"), prompt, title});
    calls.last().other = choices.join(QLatin1Char('\n'));
    if (items.empty()) {
        return std::nullopt;
    }
    const int index = items.front();
    items.pop_front();
    return index;
}

void RecordingPlatform::PlaySound(int id)
{
    calls.append({QStringLiteral("sound"), {}, {}, MsgIcon::Information, MsgButtons::Ok, id});
}

QString RecordingPlatform::NextFile(const QString& kind, const QString& text, const QString& title)
{
    calls.append({kind, text, title});
    const QString file = files.empty() ? QString() : files.front();
    if (!files.empty()) {
        files.pop_front();
    }
    return file;
}

QString RecordingPlatform::ChooseFolder(QWidget*, const QString& prompt, const QString& startFolder)
{
    return NextFile(QStringLiteral("folder"), prompt, startFolder);
}

QString RecordingPlatform::ChooseOpenFile(QWidget*, const QString& title, const QString& filter)
{
    return NextFile(QStringLiteral("open"), filter, title);
}

QString RecordingPlatform::ChooseSaveFile(QWidget*, const QString& title, const QStringList& filters,
                                          QString* selectedFilter)
{
    if (selectedFilter != nullptr && !filters.isEmpty()) {
        *selectedFilter = filters.first();
    }
    return NextFile(QStringLiteral("save"), filters.join(QStringLiteral(";;")), title);
}

std::optional<QString> RecordingPlatform::AskPassword(QWidget*, const QString& title, const QString& prompt)
{
    Call call;
    call.kind = QStringLiteral("password");
    call.text = prompt;
    call.title = title;
    calls.append(call);
    if (passwords.empty()) {
        return std::nullopt;
    }
    const QString password = passwords.front();
    passwords.pop_front();
    return password;
}

void RecordingPlatform::OpenUrl(const QUrl& url)
{
    calls.append({QStringLiteral("url"), url.toString(), {}});
}

void RecordingPlatform::PrintPreview(QWidget*, const std::function<void(QPrinter*)>& render)
{
    calls.append({QStringLiteral("print"), printFile, {}});
    if (!printFile.isEmpty()) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile);
        render(&printer);
    }
}

QList<int> RecordingPlatform::Sounds() const
{
    QList<int> sounds;
    for (const Call& call : calls) {
        if (call.kind == QLatin1String("sound")) {
            sounds.append(call.sound);
        }
    }
    return sounds;
}

QList<RecordingPlatform::Call> RecordingPlatform::Boxes() const
{
    QList<Call> boxes;
    for (const Call& call : calls) {
        if (call.kind == QLatin1String("box")) {
            boxes.append(call);
        }
    }
    return boxes;
}

QString RecordingPlatform::Sequence() const
{
    QStringList parts;
    for (const Call& call : calls) {
        parts.append(call.kind == QLatin1String("sound") ? QString::number(call.sound) : call.kind);
    }
    return parts.join(QLatin1Char(','));
}

QString SourceDir()
{
    const QByteArray dir = qgetenv("TAVOREN_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(TAVOREN_SOURCE_DIR_DEFAULT) : QString::fromLocal8Bit(dir);
}

TestProgramFolder::TestProgramFolder(bool openConnection)
{
    // Tests reach the desktop's keyring only where they mean to (a private one, started for them):
    // elsewhere sync passwords stay in the test's memory, as with no keyring.
    if (qEnvironmentVariable("TAVOREN_KEYRING").isEmpty()) {
        SetSyncKeyring(nullptr);
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("Datas"));
    QDir(m_dir.path()).mkpath(QStringLiteral("Language"));
    for (const char* name : {"mvleng.ini", "mvlchs.ini", "mvlcht.ini"}) {
        QFile::copy(SourceDir() + QStringLiteral("/resources/Language/") + QLatin1String(name),
                    Path() + QStringLiteral("Language/") + QLatin1String(name));
    }
    CreateDatabase(DatabasePath());
    AppFolder = Path();
    DataFolder = Path();
    BackupFolder.clear();
    IniFile = Path() + QStringLiteral("Tavoren.ini");
    UseLanguage(QStringLiteral("eng"));
    SoundEnabled = true;
    LoginEnabled = true;
    CurrentUser.clear();
    LoginPassed = false;
    if (openConnection) {
        Conn.Open(BuildConnectionString(AppFolder));
    }
}

TestProgramFolder::~TestProgramFolder()
{
    Conn.Close();
}

void CloseEveryWindow()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Pop-ups and dialogs owned by a window go with it; deleting one of them apart would leave
    // its owner holding a dangling pointer. A window's close can also delete another: hold loosely.
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->parentWidget() == nullptr) {
            windows.append(window);
        }
    }
    for (const QPointer<QWidget>& window : std::as_const(windows)) {
        if (window) {
            window->close();
        }
        delete window.data();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestProgramFolder::UseLanguage(const QString& suffix)
{
    LangFile = Path() + QStringLiteral("Language/mvl") + suffix + QStringLiteral(".ini");
}

SmallDisk::SmallDisk(qint64 bytes)
{
#ifdef __linux__
    if (::geteuid() != 0) {
        m_reason = QStringLiteral("mounting a tmpfs needs root");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) != 0) {
        m_reason = QStringLiteral("mount: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
#else
    Q_UNUSED(bytes);
    m_reason = QStringLiteral("tmpfs is Linux only");
#endif
}

SmallDisk::~SmallDisk()
{
#ifdef __linux__
    if (m_mounted) {
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
#endif
}

void SmallDisk::Fill()
{
    QFile filler(Path() + QStringLiteral(".filler"));
    if (!filler.open(QIODevice::Append | QIODevice::Unbuffered)) {
        qFatal("cannot fill %s", qPrintable(Path()));
    }
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    // The last partial page, byte by byte.
    while (filler.write("x", 1) == 1) {
    }
}

void CancelWhenBusy(QObject* guard, const QString& label)
{
    auto* poll = new QTimer(guard);
    QObject::connect(poll, &QTimer::timeout, guard, [poll, label] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* text = top->findChild<QLabel*>(QStringLiteral("lblBusy"));
            if (top->objectName() == QLatin1String("BusyProgress") && top->isVisible() && text &&
                text->text().startsWith(label)) {
                poll->deleteLater();
                QTest::mouseClick(top->findChild<QPushButton*>(QStringLiteral("CmdCancel")), Qt::LeftButton);
                return;
            }
        }
    });
    poll->start(0);
}
