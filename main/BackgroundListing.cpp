#include "main/BackgroundListing.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <exception>
#include <numeric>

#include "core/Errors.h"
#include "main/CarriedRows.h"
#include "main/SortKeys.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"

// What the reading thread and the window share: whether the window wants the read to go on.
// Held by both, so a late notification finds it still there.
struct BackgroundListing::Shared
{
    std::atomic<bool> stop{false};
};

namespace {

// Thrown through the reader's loop when the window abandoned the read.
struct Abandoned
{
};

// rows sorted by key, with each row's place by its text.
void Finish(BackgroundListing::Rows& rows, const QCollator& collator)
{
    const std::size_t count = rows.ids.size();
    if (!std::is_sorted(rows.ids.begin(), rows.ids.end())) {
        std::vector<std::size_t> byId(count);
        std::iota(byId.begin(), byId.end(), std::size_t{0});
        std::sort(byId.begin(), byId.end(), [&](std::size_t a, std::size_t b) { return rows.ids[a] < rows.ids[b]; });
        std::vector<qint64> ids(count);
        std::vector<std::pair<quint32, quint32>> spans(count);
        for (std::size_t i = 0; i < count; ++i) {
            ids[i] = rows.ids[byId[i]];
            spans[i] = rows.spans[byId[i]];
        }
        rows.ids = std::move(ids);
        rows.spans = std::move(spans);
    }
    QCollator caseless = collator;
    caseless.setCaseSensitivity(Qt::CaseInsensitive);
    const SortKeys keys(caseless);
    const CodePage codePage = CodePage::System();
    rows.ranks = keys.Ranks(count, [&](std::size_t i) {
        const auto [offset, length] = rows.spans[i];
        return Decrypt(QByteArrayView(rows.bytes.data() + offset, static_cast<qsizetype>(length)), codePage);
    });
}

} // namespace

std::atomic<bool> BackgroundListing::HoldAfterFirstRows{false};

BackgroundListing::BackgroundListing(QObject* parent) : QObject(parent) {}

BackgroundListing::~BackgroundListing()
{
    Join();
}

void BackgroundListing::Join()
{
    if (m_shared) {
        m_shared->stop = true;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // Notifications still on their way belong to a read that is over: they find nothing.
    m_shared.reset();
    m_running = false;
}

void BackgroundListing::Stop()
{
    Join();
}

void BackgroundListing::Forget()
{
    Join();
    m_reader.reset();
}

void BackgroundListing::Start(const Connection& conn, Request request)
{
    Join();
    m_request = std::move(request);
    m_rows = {};
    auto shared = std::make_shared<Shared>();
    m_shared = shared;
    m_running = true;
    // The reader's connection is opened once (deriving its key takes a moment) and kept.
    const bool open = m_reader != nullptr;
    if (!open) {
        m_reader = std::make_unique<Connection>();
    }
    Connection* reader = m_reader.get();
    const QString connectionString = conn.ConnectionString;
    const Request wanted = m_request;
    m_thread = std::thread([this, shared, reader, open, connectionString, wanted] {
        QString error;
        Rows rows;
        try {
            if (!open) {
                Connection book;
                book.ConnectionString = connectionString;
                OpenSearchReader(*reader, book);
            }
            bool first = wanted.resort;
            const auto add = [&](qint64 id, QByteArrayView cipher) {
                if (shared->stop) {
                    throw Abandoned{};
                }
                rows.ids.push_back(id);
                rows.spans.emplace_back(static_cast<quint32>(rows.bytes.size()), static_cast<quint32>(cipher.size()));
                rows.bytes.insert(rows.bytes.end(), cipher.begin(), cipher.end());
                if (!first && rows.ids.size() == FirstScreen) {
                    first = true;
                    QMetaObject::invokeMethod(
                        this,
                        [this, shared, screen = rows] {
                            if (shared == m_shared) {
                                m_rows = screen;
                                emit FirstRows();
                            }
                        },
                        Qt::QueuedConnection);
                    while (HoldAfterFirstRows && !shared->stop) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                }
            };
            if (wanted.carried) {
                ReadRecordColumnExcept(
                    *reader, wanted.typeNo, wanted.field,
                    [&](qint64 id) {
                        QByteArrayView cipher;
                        if (!wanted.carried->Find(id, &cipher)) {
                            return false;
                        }
                        add(id, cipher);
                        return true;
                    },
                    add);
            } else {
                ReadRecordColumn(*reader, wanted.typeNo, wanted.field, add);
            }
            Finish(rows, wanted.collator);
        } catch (const Abandoned&) {
            return;
        } catch (const AppError& e) {
            error = e.Description();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            error = QStringLiteral("Internal error");
        }
        if (shared->stop) {
            return;
        }
        auto all = std::make_shared<Rows>(std::move(rows));
        QMetaObject::invokeMethod(
            this,
            [this, shared, all, error] {
                if (shared == m_shared) {
                    Join(); // the thread has ended or is about to
                    if (!error.isEmpty()) {
                        m_reader.reset(); // opened again for the next read
                        m_rows = {};
                    } else {
                        m_rows = std::move(*all);
                    }
                    emit Finished(error);
                }
            },
            Qt::QueuedConnection);
    });
}
