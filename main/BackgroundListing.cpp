#include "main/BackgroundListing.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "main/CarriedRows.h"
#include "main/RecordListModel.h"
#include "main/SortKeys.h"
#include "store/Database.h"
#include "store/Encryption.h"

namespace {

// rows sorted by key, with each row's place by its text.
void Finish(BackgroundListing::Rows& rows, const QCollator& collator)
{
    const std::size_t count = rows.ids.size();
    if (!std::is_sorted(rows.ids.begin(), rows.ids.end())) {
        const std::vector<int> byId = KeyOrder(rows.ids);
        std::vector<qint64> ids(count);
        std::vector<std::pair<quint32, quint32>> spans(count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto from = static_cast<std::size_t>(byId[i]);
            ids[i] = rows.ids[from];
            spans[i] = rows.spans[from];
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
        thread_local QString text; // one per thread asking, its memory used again and again
        DecryptInto(text, QByteArrayView(rows.bytes.data() + offset, static_cast<qsizetype>(length)), codePage);
        return text;
    });
}

} // namespace

std::atomic<bool> BackgroundListing::HoldAfterFirstRows{false};

BackgroundListing::BackgroundListing(QObject* parent) : BackgroundReader(parent) {}

BackgroundListing::~BackgroundListing()
{
    Stop();
}

void BackgroundListing::Start(const Connection& conn, Request request)
{
    m_request = std::move(request);
    m_rows = {};
    const Request wanted = m_request;
    auto all = std::make_shared<Rows>();
    Begin(
        conn,
        [this, wanted, all](Connection& reader, const RunPtr& run) {
            Rows& rows = *all;
            bool first = wanted.resort;
            const auto add = [&](qint64 id, QByteArrayView cipher) {
                run->ThrowIfStopped();
                rows.ids.push_back(id);
                rows.spans.emplace_back(static_cast<quint32>(rows.bytes.size()), static_cast<quint32>(cipher.size()));
                rows.bytes.insert(rows.bytes.end(), cipher.begin(), cipher.end());
                if (!first && rows.ids.size() == FirstScreen) {
                    first = true;
                    Post(run, [this, screen = rows] {
                        m_rows = screen;
                        emit FirstRows();
                    });
                    while (HoldAfterFirstRows && !run->Stopped()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                }
            };
            if (wanted.carried) {
                ReadRecordColumnExcept(
                    reader, wanted.typeNo, wanted.field,
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
                ReadRecordColumn(reader, wanted.typeNo, wanted.field, add);
            }
            Finish(rows, wanted.collator);
        },
        [this, all](const QString& error) {
            m_rows = error.isEmpty() ? std::move(*all) : Rows{};
            emit Finished(error);
        });
}
