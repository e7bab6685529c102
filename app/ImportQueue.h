#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Contact files to import, from the command line or handed over by later starts: imported once the
// main window is up and no dialog is open, all the files waiting by then in one import, with one
// question.
class ImportQueue : public QObject
{
public:
    // import runs the import of the files, with its usual confirmation.
    explicit ImportQueue(std::function<void(const QStringList&)> import, QObject* parent = nullptr);

    void Add(const QStringList& files);
    // The main window is up: imports may start.
    void SetReady();

private:
    void Schedule(int delay);
    void RunNext();

    std::function<void(const QStringList&)> m_import;
    QTimer m_timer;
    QStringList m_files;
    bool m_ready = false;
    bool m_running = false;
};
