#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

// One running copy per address book: the copy that holds the book listens on a local socket named
// after the book's path, and a second start hands it the files it was given instead of opening
// the book twice.
class InstanceServer : public QObject
{
    Q_OBJECT

public:
    explicit InstanceServer(QObject* parent = nullptr);
    // Listens for later starts on the book; call only while holding the book's lock, which makes
    // any socket left by a copy that was killed a stale one.
    bool Listen(const QString& bookPath);

signals:
    // A later start asked for the window; files (absolute paths, perhaps none) are to be imported.
    void Requested(const QStringList& files);

private:
    void Accept();
    QLocalServer m_server;
};

// The folder the socket lives in: $XDG_RUNTIME_DIR when it is the user's own, else a folder of ours
// in the temporary folder that only the user can enter; empty when there is none to be had, and
// then there is no hand-over.
QString InstanceSocketFolder();
// The socket's name: in that folder, from the book's canonical path; empty without the folder.
QString InstanceSocketName(const QString& bookPath);
// Hands files to the copy that has the book open, waiting up to timeoutMs for it to answer. True
// when it took them; false when no copy answers.
bool HandToRunningCopy(const QString& bookPath, const QStringList& files, int timeoutMs = 3000);
