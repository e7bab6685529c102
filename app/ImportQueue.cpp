#include "app/ImportQueue.h"

#include <QApplication>

#include <utility>

ImportQueue::ImportQueue(std::function<void(const QStringList&)> import, QObject* parent)
    : QObject(parent), m_import(std::move(import))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ImportQueue::RunNext);
}

void ImportQueue::Add(const QStringList& files)
{
    m_files += files;
    Schedule(0);
}

void ImportQueue::SetReady()
{
    m_ready = true;
    Schedule(0);
}

void ImportQueue::Schedule(int delay)
{
    if (!m_files.isEmpty() && !m_timer.isActive()) {
        m_timer.start(delay);
    }
}

void ImportQueue::RunNext()
{
    if (!m_ready || m_running || m_files.isEmpty()) {
        return;
    }
    if (QApplication::activeModalWidget() != nullptr) {
        Schedule(300); // the user is busy in a dialog; the import waits for it to close
        return;
    }
    m_running = true;
    const QStringList files = std::exchange(m_files, {});
    try {
        m_import(files);
    } catch (...) {
        m_running = false;
        throw; // reported by the application object, as from any event handler
    }
    m_running = false;
    Schedule(0);
}
