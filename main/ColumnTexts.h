#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "core/platform/SystemMemory.h"

// The keys of a list's rows: as many as its texts, and written once as they are.
using RowKeys = LargeVector<qint64>;

// One column's enciphered texts, by the row's storage index: the bytes, and where each row's text
// lies in them. A row whose text has not been read holds zero, in memory the system hands over
// zeroed and untouched: a column read for a screenful of a million rows costs the screenful, not
// eight megabytes written while the window waits.
class ColumnTexts
{
public:
    // A stretch of a read's bytes.
    using Block = LargeVector<char>;

    // Row storage's text, false when it has not been read.
    bool Find(std::size_t storage, QByteArrayView* text) const
    {
        if (storage >= m_size || m_spans[storage].offset == 0) {
            return false;
        }
        const Span span = m_spans[storage];
        const std::size_t at = span.offset - 1;
        const char* bytes = (span.length & Beside) != 0 ? m_beside.data() + at : Taken(at);
        *text = QByteArrayView(bytes, span.length & ~Beside);
        return true;
    }
    // Row storage's text, copied in; the column grows to at least rows at once when it must grow.
    // Once the column holds a read's bytes, texts set afterwards go beside them: a screenful
    // fetched must not move the megabytes of a million texts while the window waits.
    void Set(std::size_t storage, QByteArrayView text, std::size_t rows)
    {
        std::vector<char>& into = m_taken ? m_beside : m_bytes;
        Place(storage, {into.size(), static_cast<std::size_t>(text.size())}, rows);
        if (m_taken) {
            m_spans[storage].length |= Beside;
        }
        into.insert(into.end(), text.begin(), text.end());
    }
    // The bytes of a read taken as they are, in the blocks it filled: a text lies within one block,
    // at an offset counted from the start of the first, as if the blocks were one. Place then says
    // where each row's text lies. Nothing is copied: for a million rows, gathering the blocks into
    // one took longer than sorting them.
    // placing: how many rows Place will be given texts for, every one of them, when known.
    void TakeBlocks(std::vector<Block> blocks, std::size_t placing = 0);
    void Place(std::size_t storage, std::pair<std::size_t, std::size_t> span, std::size_t rows)
    {
        if (storage >= m_size) {
            Grow(std::max(storage + 1, rows));
        }
        m_spans[storage] = {static_cast<quint32>(span.first + 1), static_cast<quint32>(span.second)};
    }
    // A row not read yet comes in at storage at, the rows from there moving up by one.
    void InsertMissing(std::size_t at);
    // Row i takes what row order[i] held.
    void Permute(const std::vector<int>& order);
    void Clear();
    std::size_t Size() const { return m_size; }

private:
    struct Span
    {
        quint32 offset; // one up, so that zero is "not read"
        quint32 length; // with Beside set for a text in m_beside
    };
    static constexpr quint32 Beside = 0x80000000u;
    struct Free
    {
        std::size_t count; // how many spans were set aside (zero, as a default deleter is made)
        void operator()(Span* spans) const;
    };
    static std::unique_ptr<Span[], Free> Zeroed(std::size_t size);
    void Grow(std::size_t size);
    // Where the text at offset at of the bytes lies: in the blocks taken, once there are some.
    const char* Taken(std::size_t at) const
    {
        if (!m_taken) {
            return m_bytes.data() + at;
        }
        const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), at);
        if (next == m_starts.begin()) {
            return m_bytes.data(); // no blocks: only empty texts can lie in them
        }
        const auto block = static_cast<std::size_t>(next - m_starts.begin()) - 1;
        return m_blocks[block].data() + (at - m_starts[block]);
    }

    std::vector<char> m_bytes;         // texts set before a read's bytes were taken
    std::vector<Block> m_blocks;       // a read's bytes
    std::vector<std::size_t> m_starts; // where each block starts, counting those before it
    std::vector<char> m_beside;        // texts set after a read's bytes were taken
    bool m_taken = false;
    std::unique_ptr<Span[], Free> m_spans;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
