#include "main/BackgroundSearch.h"

#include <mutex>

#include "store/Database.h"

// What the search thread found and the window has not taken yet. Held by both, so a late
// notification finds it still there.
struct BackgroundSearch::Pending
{
    std::mutex mutex;
    std::vector<qint64> ids;
    std::vector<char> bytes;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    bool notified = false; // a notification is on its way to the window
};

BackgroundSearch::BackgroundSearch(QObject* parent) : BackgroundReader(parent) {}

BackgroundSearch::~BackgroundSearch()
{
    Stop();
}

QByteArrayView BackgroundSearch::SortText(qsizetype i) const
{
    const auto& [offset, length] = m_spans[static_cast<std::size_t>(i)];
    return {m_bytes.data() + offset, static_cast<qsizetype>(length)};
}

void BackgroundSearch::Start(const Connection& conn, Request request)
{
    Stop();
    m_request = std::move(request);
    m_ids.clear();
    m_bytes.clear();
    m_spans.clear();
    auto pending = std::make_shared<Pending>();
    m_pending = pending;
    const Request wanted = m_request;
    Begin(
        conn,
        [this, pending, wanted](Connection& reader, const RunPtr& run) {
            SearchRecords(
                reader, wanted.text, wanted.matchCase, wanted.fields, wanted.sortColumn,
                [&](qint64 id, QByteArrayView sort) {
                    const std::lock_guard lock(pending->mutex);
                    pending->ids.push_back(id);
                    pending->spans.emplace_back(pending->bytes.size(), static_cast<std::size_t>(sort.size()));
                    pending->bytes.insert(pending->bytes.end(), sort.begin(), sort.end());
                    if (!pending->notified) {
                        pending->notified = true;
                        Post(run, [this] {
                            TakePending();
                            emit Found();
                        });
                    }
                },
                [&run] { return !run->Stopped(); });
        },
        [this](const QString& error) {
            TakePending();
            emit Finished(error);
        });
}

void BackgroundSearch::TakePending()
{
    const std::lock_guard lock(m_pending->mutex);
    const std::size_t base = m_bytes.size();
    m_ids.insert(m_ids.end(), m_pending->ids.begin(), m_pending->ids.end());
    for (const auto& [offset, length] : m_pending->spans) {
        m_spans.emplace_back(base + offset, length);
    }
    m_bytes.insert(m_bytes.end(), m_pending->bytes.begin(), m_pending->bytes.end());
    m_pending->ids.clear();
    m_pending->spans.clear();
    m_pending->bytes.clear();
    m_pending->notified = false;
}
