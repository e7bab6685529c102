#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Contact files to import, from the command line or handed over by later starts: each is imported
// once the main window is up and no dialog is open, one after the other.
class ImportQueue : public QObject
{
public:
    // import runs the import of one file, with its usual confirmation.
    explicit ImportQueue(std::function<void(const QString&)> import, QObject* parent = nullptr);

    void Add(const QStringList& files);
    // The main window is up: imports may start.
    void SetReady();

private:
    void Schedule(int delay);
    void RunNext();

    std::function<void(const QString&)> m_import;
    QTimer m_timer;
    QStringList m_files;
    bool m_ready = false;
    bool m_running = false;
};
