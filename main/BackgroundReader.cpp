#include "main/BackgroundReader.h"

#include <QMetaObject>

#include <exception>

#include "core/Errors.h"
#include "store/Connection.h"
#include "store/Database.h"

BackgroundReader::BackgroundReader(QObject* parent) : QObject(parent) {}

BackgroundReader::~BackgroundReader()
{
    Stop();
}

void BackgroundReader::Stop()
{
    if (m_run) {
        m_run->m_stop = true;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // Calls still on their way belong to a read that is over: they find nothing.
    m_run.reset();
    m_running = false;
}

void BackgroundReader::Forget()
{
    Stop();
    m_reader.reset();
    m_readerOpen = false;
}

void BackgroundReader::Prepare(const Connection& conn, std::function<void()> ready)
{
    if (m_reader != nullptr || m_thread.joinable()) {
        return;
    }
    m_reader = std::make_unique<Connection>();
    Connection* reader = m_reader.get();
    const QString connectionString = conn.ConnectionString;
    m_thread = std::thread([this, reader, connectionString, ready = std::move(ready)] {
        try {
            Connection book;
            book.ConnectionString = connectionString;
            OpenSearchReader(*reader, book);
            m_readerOpen = true;
            if (ready) {
                ready();
            }
        } catch (...) { // NOLINT(bugprone-empty-catch): the first read opens it again and reports
        }
    });
}

void BackgroundReader::Begin(const Connection& conn, Read read, Done done)
{
    Stop();
    auto run = std::make_shared<Run>();
    m_run = run;
    m_running = true;
    // The book's own connection is only read here, on the window's thread.
    const bool open = m_reader != nullptr && m_readerOpen;
    if (!open) {
        m_reader = std::make_unique<Connection>();
    }
    m_readerOpen = true; // or the read fails, which closes it
    Connection* reader = m_reader.get();
    const QString connectionString = conn.ConnectionString;
    m_thread = std::thread([this, run, reader, open, connectionString, read = std::move(read), done = std::move(done)] {
        QString error;
        try {
            if (!open) {
                Connection book;
                book.ConnectionString = connectionString;
                OpenSearchReader(*reader, book);
            }
            read(*reader, run);
        } catch (const Run::Abandoned&) {
            return;
        } catch (const AppError& e) {
            error = e.Description();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            error = QStringLiteral("Internal error");
        }
        if (run->Stopped()) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, run, error, done] {
                if (run != m_run) {
                    return;
                }
                Stop(); // the thread has ended or is about to
                if (!error.isEmpty()) {
                    m_reader.reset();
                    m_readerOpen = false;
                }
                done(error);
            },
            Qt::QueuedConnection);
    });
}

void BackgroundReader::Post(const RunPtr& run, std::function<void()> fn)
{
    QMetaObject::invokeMethod(
        this,
        [this, run, fn = std::move(fn)] {
            if (run == m_run) {
                fn();
            }
        },
        Qt::QueuedConnection);
}
