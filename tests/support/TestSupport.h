#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <deque>

#include "ui/Platform.h"

// Stands in for the desktop in tests: remembers every box, sound and chooser call, and answers
// from a script (OK, and no file, when the script is empty).
class RecordingPlatform : public Platform
{
public:
    struct Call
    {
        QString kind; // "box", "sound", "folder", "open", "save", "password", "url", "item"
        QString text;
        QString title;
        MsgIcon icon = MsgIcon::Information;
        MsgButtons buttons = MsgButtons::Ok;
        int sound = 0;
        QString other = {}; // a box's third button; a chooser's items, one a line
    };

    RecordingPlatform();
    ~RecordingPlatform() override;

    MsgResult MessageBox(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override;
    // Noted as a box with OkCancel buttons and other set; answers from answers, as MessageBox.
    MsgResult MessageBoxWithOther(QWidget* parent, const QString& text, const QString& title,
                                  const QString& other) override;
    // Answers with the next of items; cancelled when there is none.
    std::optional<int> ChooseItem(QWidget* parent, const QString& title, const QString& prompt,
                                  const QStringList& items) override;
    void PlaySound(int id) override;
    // The start folder is kept as the call's title.
    QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) override;
    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter) override;
    QString ChooseSaveFile(QWidget* parent, const QString& title, const QStringList& filters,
                           QString* selectedFilter) override;
    // Answers with the next of passwords; cancelled when there is none.
    std::optional<QString> AskPassword(QWidget* parent, const QString& title, const QString& prompt) override;
    void OpenUrl(const QUrl& url) override;
    // Prints straight to the PDF file named by printFile (no preview), when one is named.
    void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& render) override;

    QString printFile;
    std::deque<MsgResult> answers; // for message boxes
    std::deque<QString> files;     // for the choosers
    std::deque<QString> passwords; // for the password question
    std::deque<int> items;         // for ChooseItem: the index picked
    QList<Call> calls;

    QList<int> Sounds() const;
    QList<Call> Boxes() const;
    // "102,box,104": the order of sounds and boxes, to compare the message-box pattern.
    QString Sequence() const;

private:
    // Notes a chooser's call and answers with the next file of the script.
    QString NextFile(const QString& kind, const QString& text, const QString& title);
};

// A program folder of its own: Datas/address.mdb made from the schema, the shipped language
// files, an empty settings file name; the application state points into it and Conn is open.
class TestProgramFolder
{
public:
    explicit TestProgramFolder(bool openConnection = true);
    ~TestProgramFolder();

    QString Path() const { return m_dir.path() + QLatin1Char('/'); }
    QString DatabasePath() const { return Path() + QStringLiteral("Datas/address.mdb"); }
    // Chooses the language file for "eng", "chs" or "cht".
    void UseLanguage(const QString& suffix);

private:
    QTemporaryDir m_dir;
};

// Closes and deletes every window, those waiting for a deferred delete included.
void CloseEveryWindow();

// Clicks Cancel in the progress dialog whose text starts with label as soon as it shows, while
// the command runs (BusyProgress::SetShowDelay(0) makes it show at the first step).
void CancelWhenBusy(QObject* guard, const QString& label);

// What a test of forms has around each test function: the recorder in place of the desktop and
// a program folder of its own (the book open unless told otherwise). Going, it closes every
// window still open, so no window of one test reaches the next.
class TestWorld
{
public:
    explicit TestWorld(bool openConnection = true) : folder(openConnection) {}
    ~TestWorld() { CloseEveryWindow(); }

    RecordingPlatform platform;
    TestProgramFolder folder;
};

// The source tree, for shipped files such as the language files.
QString SourceDir();

// A small file system of its own for what happens when the disk is full: a tmpfs mounted in a
// temporary folder, which needs root (as CI runs); elsewhere IsMounted() is false and Reason()
// says why, for QSKIP.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes = 1024 * 1024);
    ~SmallDisk();

    bool IsMounted() const { return m_mounted; }
    QString Reason() const { return m_reason; }
    QString Path() const { return m_dir.path() + QLatin1Char('/'); }
    // Takes every free byte, leaving the files already there as they are.
    void Fill();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_reason;
};

#define REQUIRE_SMALL_DISK(disk)                                                                                       \
    if (!(disk).IsMounted())                                                                                           \
    QSKIP(qPrintable(QStringLiteral("no full-disk test: ") + (disk).Reason()))
