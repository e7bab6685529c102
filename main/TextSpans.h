#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

// Where each row's text of one column lies in the list's bytes, by the row's storage index. A row
// whose text has not been read holds zero, in memory the system hands over zeroed and untouched:
// a column read for a screenful of a million rows costs the screenful, not eight megabytes
// written while the window waits.
class TextSpans
{
public:
    struct Span
    {
        quint32 offset;
        quint32 length;
    };

    // The span of row storage, false when its text has not been read.
    bool Find(std::size_t storage, Span* span) const
    {
        if (storage >= m_size || m_spans[storage].offset == 0) {
            return false;
        }
        *span = {m_spans[storage].offset - 1, m_spans[storage].length};
        return true;
    }
    // Sets row storage's span, the column growing to at least rows at once when it must grow.
    void Set(std::size_t storage, Span span, std::size_t rows)
    {
        if (storage >= m_size) {
            Grow(std::max(storage + 1, rows));
        }
        m_spans[storage] = {span.offset + 1, span.length};
    }
    // A row not read yet comes in at storage at, the rows from there moving up by one.
    void InsertMissing(std::size_t at);
    // Row i takes what row order[i] held.
    void Permute(const std::vector<int>& order);
    void Clear()
    {
        m_spans.reset();
        m_size = 0;
        m_capacity = 0;
    }
    std::size_t Size() const { return m_size; }

private:
    void Grow(std::size_t size);

    struct Free
    {
        void operator()(Span* spans) const;
    };
    std::unique_ptr<Span[], Free> m_spans; // offsets one up, so that zero is "not read"
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
