#include "main/BackgroundListing.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "core/platform/SystemMemory.h"
#include "main/CarriedRows.h"
#include "main/RecordListModel.h"
#include "main/SortKeys.h"
#include "store/Database.h"
#include "store/Encryption.h"

namespace {

// The rows as they are read, in parts whose keys are made while the reading goes on: once a list
// is long, a thread of its own takes each part as it fills, and the reader joins in when it has
// read everything. Reading the names through their index keeps one core busy and leaves the
// other idle, and the keys are most of the work that would otherwise be left at the end.
class RowsAndKeys
{
public:
    // expected: about how many rows there will be, 0 when not known.
    RowsAndKeys(const QCollator& collator, std::size_t expected) : m_keys(Caseless(collator)), m_expected(expected)
    {
        m_ids.reserve(expected);
        m_after.ids.reserve(expected); // only what is written is ever mapped
    }
    ~RowsAndKeys() { Abandon(); }
    RowsAndKeys(const RowsAndKeys&) = delete;
    RowsAndKeys& operator=(const RowsAndKeys&) = delete;

    std::size_t Count() const { return m_count; }

    // Makes a key as for a long list, which readies, once in a session, what that takes.
    void Ready() const
    {
        SortKeys::Maker maker(m_keys, SortKeys::LongList);
        maker.Add(0, u"Ready 1");
    }

    // From the reading thread.
    void Add(qint64 id, QByteArrayView cipher)
    {
        m_ids.push_back(id);
        Fill(m_main, m_count++, cipher, [this] { HandOn(); });
    }

    // From a second thread reading at the same time, rows whose keys are all above Add's: in runs
    // of ascending keys, each run below the one before. They are kept in parts of their own, as
    // Add's are, and join them in key order when the reads end (see Finish).
    void AddAfter(qint64 id, QByteArrayView cipher)
    {
        if (m_after.ids.empty() || id < m_after.ids.back()) {
            m_after.Close(); // a run of its own, in parts of its own
            m_after.runs.emplace_back(m_after.ids.size(), m_after.parts.size());
        }
        m_after.ids.push_back(id);
        Fill(m_after, m_after.ids.size() - 1, cipher, [this] { m_after.Close(); });
    }

    // The first count rows read (no more than were read), in the order read; from the reading
    // thread. Those who make keys may be reading the same part meanwhile: it is only read here.
    BackgroundListing::Rows FirstRows(std::size_t count) const
    {
        BackgroundListing::Rows rows;
        const Part* part = m_parts.empty() ? m_main.filling.get() : m_parts.front().get();
        if (part == nullptr) {
            return rows;
        }
        // The first part, at the start of the first slab: its first texts' bytes are copied.
        count = std::min(count, part->count);
        rows.ids.assign(m_ids.begin(), m_ids.begin() + static_cast<std::ptrdiff_t>(count));
        std::size_t end = 0;
        for (std::size_t i = 0; i < count; ++i) {
            end = std::max<std::size_t>(end, part->spans[i].first + part->spans[i].second);
        }
        std::vector<ColumnTexts::Block> blocks(1);
        blocks.front().assign(part->data, part->data + end);
        rows.texts.TakeBlocks(std::move(blocks));
        for (std::size_t i = 0; i < count; ++i) {
            rows.texts.Place(i, part->spans[i], count);
        }
        return rows;
    }

    // Every row read, in key order, each with its place; from the reading thread, once all are in.
    BackgroundListing::Rows Finish()
    {
        HandOn();
        TakeAfter();
        {
            const std::scoped_lock lock(m_mutex);
            m_closed = true;
        }
        m_handed.notify_all();
        // While the last keys are made and ranked, another thread puts the rows in key order with
        // their texts: neither needs the other's work until the places are put in that order.
        BackgroundListing::Rows rows;
        std::vector<int> byId; // empty when the rows were read in key order
        std::exception_ptr placingFailure;
        std::jthread placing([&] {
            try {
                InKeyOrder(rows, byId);
            } catch (...) {
                placingFailure = std::current_exception();
            }
        });
        std::vector<SortKeys::Maker> makers;
        makers.emplace_back(m_keys, m_count);
        MakeKeys(makers.back());
        if (m_helper.joinable()) {
            m_helper.join();
            if (m_helperFailure) {
                std::rethrow_exception(m_helperFailure);
            }
            makers.push_back(std::move(*m_helperMaker));
        }
        RowPlaces ranks = SortKeys::Ranks(makers, m_count);
        placing.join();
        if (placingFailure) {
            std::rethrow_exception(placingFailure);
        }
        if (byId.empty()) {
            rows.ranks = std::move(ranks);
        } else {
            rows.ranks.resize(m_count);
            for (std::size_t i = 0; i < m_count; ++i) {
                rows.ranks[i] = ranks[static_cast<std::size_t>(byId[i])];
            }
        }
        m_parts.clear();
        return rows;
    }

private:
    static constexpr std::size_t PartRows = 8192;
    // About a name's or a phone number's enciphered length: what the first slab is sized by.
    static constexpr std::size_t TypicalTextBytes = 32;
    // Parts lie in slabs of memory that several parts share, so that nothing written moves and a
    // million rows' texts are a few dozen blocks handed to the list rather than a block for every
    // part. The first slab is small, for the short lists that are most of them.
    static constexpr std::size_t FirstSlabBytes = PartRows * TypicalTextBytes;
    static constexpr std::size_t SlabBytes = LargeFrom;

    using Span = std::pair<quint32, quint32>; // a text's offset in its slab, and its length
    static constexpr std::size_t SpanChunkRows = SlabBytes / sizeof(Span);

    struct Part
    {
        std::size_t first = 0;      // the row it starts with, in the order read
        std::size_t slab = 0;       // the slab its texts lie in, of its reader's (of all, once joined)
        const char* data = nullptr; // that slab's bytes
        Span* spans = nullptr;      // room for PartRows
        std::size_t count = 0;

        std::size_t End() const { return first + count; }
    };

    // What one reader fills: its parts, their texts' bytes in slabs and their spans in chunks.
    // A part's texts lie in one slab; when the next text does not fit, the part ends early.
    struct Filler
    {
        std::vector<ColumnTexts::Block> slabs;
        std::vector<LargeVector<Span>> spanChunks;
        std::unique_ptr<Part> filling;

        bool Room(std::size_t length) const { return slabs.back().capacity() - slabs.back().size() >= length; }

        void Begin(std::size_t row, std::size_t length)
        {
            if (slabs.empty() || !Room(length)) {
                slabs.emplace_back().reserve(std::max(slabs.empty() ? FirstSlabBytes : SlabBytes, length));
            }
            if (spanChunks.empty() || spanChunks.back().capacity() - spanChunks.back().size() < PartRows) {
                spanChunks.emplace_back().reserve(spanChunks.empty() ? PartRows : SpanChunkRows);
            }
            LargeVector<Span>& chunk = spanChunks.back();
            chunk.resize(chunk.size() + PartRows);
            filling = std::make_unique<Part>();
            filling->first = row;
            filling->slab = slabs.size() - 1;
            filling->data = slabs.back().data();
            filling->spans = chunk.data() + (chunk.size() - PartRows);
        }

        // Takes on the other's slabs and chunks after its own, its parts' slabs renumbered.
        void Join(Filler& other, const std::vector<std::unique_ptr<Part>>& parts)
        {
            for (const auto& part : parts) {
                part->slab += slabs.size();
            }
            std::move(other.slabs.begin(), other.slabs.end(), std::back_inserter(slabs));
            std::move(other.spanChunks.begin(), other.spanChunks.end(), std::back_inserter(spanChunks));
        }
    };

    // The rows of AddAfter, numbered from 0 until they join the others. In cache lines of their
    // own: the two readers write their rows' ends at every row, and writes of both threads to
    // one line would have each wait for the other's.
    struct alignas(64) After : Filler
    {
        RowKeys ids;
        std::vector<std::unique_ptr<Part>> parts;
        std::vector<std::pair<std::size_t, std::size_t>> runs; // where each begins: its first row and part

        void Close()
        {
            if (filling) {
                parts.push_back(std::move(filling));
            }
        }
    };

    // Adds a row's text to the part being filled, begun at row when there is none; close hands
    // on the part once it is full, or before the text when its slab has no room left for it.
    template <class Close> static void Fill(Filler& filler, std::size_t row, QByteArrayView cipher, Close close)
    {
        const auto length = static_cast<std::size_t>(cipher.size());
        if (filler.filling && !filler.Room(length)) {
            close();
        }
        if (!filler.filling) {
            filler.Begin(row, length);
        }
        Part& part = *filler.filling;
        ColumnTexts::Block& slab = filler.slabs.back();
        part.spans[part.count++] = {static_cast<quint32>(slab.size()), static_cast<quint32>(length)};
        slab.insert(slab.end(), cipher.begin(), cipher.end());
        if (part.count == PartRows) {
            close();
        }
    }

    // The rows of AddAfter join the others after the last of them, run by run from the lowest
    // keys, parts and all: nothing of them is copied but their keys.
    void TakeAfter()
    {
        m_after.Close();
        if (m_after.parts.empty()) {
            return;
        }
        m_ids.reserve(m_count + m_after.ids.size());
        {
            const std::scoped_lock lock(m_mutex);
            std::size_t rowEnd = m_after.ids.size();
            std::size_t partEnd = m_after.parts.size();
            m_main.Join(m_after, m_after.parts);
            for (auto run = m_after.runs.rbegin(); run != m_after.runs.rend(); ++run) {
                const auto [firstRow, firstPart] = *run;
                for (std::size_t p = firstPart; p < partEnd; ++p) {
                    Part& part = *m_after.parts[p];
                    part.first = m_ids.size() + (part.first - firstRow);
                    m_parts.push_back(std::move(m_after.parts[p]));
                }
                m_ids.insert(m_ids.end(), m_after.ids.begin() + static_cast<std::ptrdiff_t>(firstRow),
                             m_after.ids.begin() + static_cast<std::ptrdiff_t>(rowEnd));
                rowEnd = firstRow;
                partEnd = firstPart;
            }
        }
        m_count = m_ids.size();
        m_after = {};
        m_handed.notify_all();
        StartHelper();
    }

    static QCollator Caseless(QCollator collator)
    {
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        return collator;
    }

    // Whoever makes keys stops after the part in hand.
    void Abandon()
    {
        {
            const std::scoped_lock lock(m_mutex);
            m_closed = m_abandoned = true;
        }
        m_handed.notify_all();
    }

    // The keys read, in key order, and the texts by them; byId[i] is the row read placed at i,
    // left empty when the rows were read in key order. Only the keys and the parts' bytes and
    // spans are read, and the parts' bytes are taken without moving them: those who make keys
    // meanwhile read each part's bytes through the place they lie at.
    void InKeyOrder(BackgroundListing::Rows& rows, std::vector<int>& byId)
    {
        if (std::is_sorted(m_ids.begin(), m_ids.end())) {
            rows.ids = std::move(m_ids);
        } else {
            byId = KeyOrder(m_ids);
            rows.ids.resize(m_count);
            for (std::size_t i = 0; i < m_count; ++i) {
                rows.ids[i] = m_ids[static_cast<std::size_t>(byId[i])];
            }
        }
        std::vector<std::size_t> starts; // each slab's, as if they were one
        std::size_t start = 0;
        for (const ColumnTexts::Block& slab : m_main.slabs) {
            starts.push_back(start);
            start += slab.size();
        }
        rows.texts.TakeBlocks(std::move(m_main.slabs), m_count);
        // The part a row lies in: the one before, mostly. Parts hold PartRows rows, but for the
        // last of each run a reader read and those ended early by a full slab.
        std::size_t p = 0;
        const auto partOf = [&](std::size_t r) {
            if (r < m_parts[p]->first || r >= m_parts[p]->End()) {
                p = static_cast<std::size_t>(
                    std::upper_bound(m_parts.begin(), m_parts.end(), r,
                                     [](std::size_t row, const auto& part) { return row < part->first; }) -
                    m_parts.begin() - 1);
            }
            return p;
        };
        for (std::size_t i = 0; i < m_count; ++i) {
            const std::size_t r = byId.empty() ? i : static_cast<std::size_t>(byId[i]);
            const Part& part = *m_parts[partOf(r)];
            const auto [offset, length] = part.spans[r - part.first];
            rows.texts.Place(i, {starts[part.slab] + offset, length}, m_count);
        }
    }

    void HandOn()
    {
        if (!m_main.filling) {
            return;
        }
        {
            const std::scoped_lock lock(m_mutex);
            m_parts.push_back(std::move(m_main.filling));
        }
        m_handed.notify_one();
        StartHelper();
    }

    // From the first full part: the sooner it starts, the less is left when the reading ends.
    void StartHelper()
    {
        if (!m_helper.joinable() && m_count >= PartRows) {
            m_helperMaker.emplace(m_keys, std::max({m_count, m_expected, SortKeys::LongList}));
            m_helper = std::jthread([this] {
                try {
                    MakeKeys(*m_helperMaker);
                } catch (...) {
                    m_helperFailure = std::current_exception(); // the reader meets it when it joins
                    Abandon();
                }
            });
        }
    }

    // Makes the keys of the parts nobody has taken, as they come, until every part is taken.
    void MakeKeys(SortKeys::Maker& maker)
    {
        QString text; // its memory used again for every row
        for (;;) {
            const Part* part = nullptr;
            {
                std::unique_lock lock(m_mutex);
                m_handed.wait(lock, [this] { return m_abandoned || m_taken < m_parts.size() || m_closed; });
                if (m_abandoned || m_taken == m_parts.size()) {
                    return;
                }
                part = m_parts[m_taken++].get();
            }
            for (std::size_t i = 0; i < part->count; ++i) {
                const auto [offset, length] = part->spans[i];
                DecryptInto(text, QByteArrayView(part->data + offset, static_cast<qsizetype>(length)), m_codePage);
                maker.Add(part->first + i, text);
            }
        }
    }

    const SortKeys m_keys;
    const std::size_t m_expected;
    const CodePage m_codePage = CodePage::System();
    Filler m_main;           // the reader's alone
    std::size_t m_count = 0; // the reader's alone
    RowKeys m_ids;           // the reader's alone: the rows' keys, in the order read
    After m_after;           // the second reader's alone, until the reads end

    std::mutex m_mutex; // guards what follows, but the parts themselves: each is one thread's at a time
    std::condition_variable m_handed;
    std::vector<std::unique_ptr<Part>> m_parts;
    std::size_t m_taken = 0;
    bool m_closed = false;
    bool m_abandoned = false;

    std::optional<SortKeys::Maker> m_helperMaker;
    std::exception_ptr m_helperFailure;
    std::jthread m_helper; // last: joined before the rest goes
};

} // namespace

std::atomic<bool> BackgroundListing::HoldAfterFirstRows{false};

BackgroundListing::BackgroundListing(QObject* parent) : BackgroundReader(parent) {}

BackgroundListing::~BackgroundListing()
{
    Stop();
}

void BackgroundListing::Prepare(const Connection& conn, const QCollator& collator)
{
    BackgroundReader::Prepare(conn, [collator] {
        const RowsAndKeys rows(collator, SortKeys::LongList);
        rows.Ready();
    });
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
            RowsAndKeys rows(wanted.collator, wanted.expected);
            bool first = wanted.resort;
            const auto started = std::chrono::steady_clock::now();
            const auto add = [&](qint64 id, QByteArrayView cipher) {
                run->ThrowIfStopped();
                rows.Add(id, cipher);
                // A screenful once the read has gone on a while: one over before then would only
                // take a core from it, for a list that is about to be whole.
                if (!first && rows.Count() >= FirstScreen &&
                    (HoldAfterFirstRows ||
                     (rows.Count() % 64 == 0 && std::chrono::steady_clock::now() - started >= FirstRowsAfter))) {
                    first = true;
                    Post(run, [this, screen = std::make_shared<Rows>(rows.FirstRows(FirstScreen))] {
                        m_rows = std::move(*screen);
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
            } else if (wanted.typeNo < 0) {
                ReadAllRecordsColumn(reader, wanted.field, add, [&](qint64 id, QByteArrayView cipher) {
                    run->ThrowIfStopped();
                    rows.AddAfter(id, cipher);
                });
            } else {
                ReadRecordColumn(reader, wanted.typeNo, wanted.field, add);
            }
            *all = rows.Finish();
        },
        [this, all](const QString& error) {
            m_rows = error.isEmpty() ? std::move(*all) : Rows{};
            emit Finished(error);
        });
}
