#include "main/BackgroundSearch.h"

#include <QMetaObject>

#include <exception>

#include "core/Errors.h"
#include "store/Connection.h"
#include "store/Database.h"

// What the search thread and the window share: the records found and not yet taken, and whether
// the window should stop. Held by both, so a late notification finds it still there.
struct BackgroundSearch::Shared
{
    std::mutex mutex;
    std::vector<qint64> ids;
    std::vector<char> bytes;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    bool notified = false; // a notification is on its way to the window
    std::atomic<bool> stop{false};
};

BackgroundSearch::BackgroundSearch(QObject* parent) : QObject(parent) {}

BackgroundSearch::~BackgroundSearch()
{
    Join();
}

QByteArrayView BackgroundSearch::SortText(qsizetype i) const
{
    const auto& [offset, length] = m_spans[static_cast<std::size_t>(i)];
    return {m_bytes.data() + offset, static_cast<qsizetype>(length)};
}

void BackgroundSearch::Join()
{
    if (m_shared) {
        m_shared->stop = true;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // Notifications still on their way belong to a search that is over: they find nothing.
    m_shared.reset();
    m_running = false;
}

void BackgroundSearch::Stop()
{
    Join();
}

void BackgroundSearch::Forget()
{
    Join();
    m_reader.reset();
}

void BackgroundSearch::Start(const Connection& conn, Request request)
{
    Join();
    m_request = std::move(request);
    m_ids.clear();
    m_bytes.clear();
    m_spans.clear();
    auto shared = std::make_shared<Shared>();
    m_shared = shared;
    m_running = true;
    // The book's own connection is only read here, on the window's thread; the search's
    // connection is opened once (deriving its key takes a moment) and kept for the next search.
    const bool open = m_reader != nullptr;
    if (!open) {
        m_reader = std::make_unique<Connection>();
    }
    Connection* reader = m_reader.get();
    const QString connectionString = conn.ConnectionString;
    const Request wanted = m_request;
    m_thread = std::thread([this, shared, reader, open, connectionString, wanted] {
        QString error;
        try {
            if (!open) {
                Connection book;
                book.ConnectionString = connectionString;
                OpenSearchReader(*reader, book);
            }
            SearchRecords(
                *reader, wanted.text, wanted.matchCase, wanted.fields, wanted.sortColumn,
                [&](qint64 id, QByteArrayView sort) {
                    const std::lock_guard lock(shared->mutex);
                    shared->ids.push_back(id);
                    shared->spans.emplace_back(shared->bytes.size(), static_cast<std::size_t>(sort.size()));
                    shared->bytes.insert(shared->bytes.end(), sort.begin(), sort.end());
                    if (!shared->notified) {
                        shared->notified = true;
                        QMetaObject::invokeMethod(
                            this,
                            [this, shared] {
                                if (shared == m_shared) {
                                    TakePending();
                                    emit Found();
                                }
                            },
                            Qt::QueuedConnection);
                    }
                },
                [&shared] { return !shared->stop; });
        } catch (const AppError& e) {
            error = e.Description();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            error = QStringLiteral("Internal error");
        }
        if (!shared->stop) {
            QMetaObject::invokeMethod(
                this,
                [this, shared, error] {
                    if (shared == m_shared) {
                        TakePending();
                        Join(); // the thread has ended or is about to
                        if (!error.isEmpty()) {
                            m_reader.reset(); // opened again for the next search
                        }
                        emit Finished(error);
                    }
                },
                Qt::QueuedConnection);
        }
    });
}

void BackgroundSearch::TakePending()
{
    const std::lock_guard lock(m_shared->mutex);
    const std::size_t base = m_bytes.size();
    m_ids.insert(m_ids.end(), m_shared->ids.begin(), m_shared->ids.end());
    for (const auto& [offset, length] : m_shared->spans) {
        m_spans.emplace_back(base + offset, length);
    }
    m_bytes.insert(m_bytes.end(), m_shared->bytes.begin(), m_shared->bytes.end());
    m_shared->ids.clear();
    m_shared->spans.clear();
    m_shared->bytes.clear();
    m_shared->notified = false;
}
