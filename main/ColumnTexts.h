#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// One column's enciphered texts, by the row's storage index: the bytes, and where each row's text
// lies in them. A row whose text has not been read holds zero, in memory the system hands over
// zeroed and untouched: a column read for a screenful of a million rows costs the screenful, not
// eight megabytes written while the window waits.
class ColumnTexts
{
public:
    // Row storage's text, false when it has not been read.
    bool Find(std::size_t storage, QByteArrayView* text) const
    {
        if (storage >= m_size || m_spans[storage].offset == 0) {
            return false;
        }
        *text = QByteArrayView(m_bytes.data() + m_spans[storage].offset - 1, m_spans[storage].length);
        return true;
    }
    // Row storage's text, copied in; the column grows to at least rows at once when it must grow.
    void Set(std::size_t storage, QByteArrayView text, std::size_t rows)
    {
        Place(storage, {m_bytes.size(), static_cast<std::size_t>(text.size())}, rows);
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    }
    // The texts of a whole read: bytes taken as they are, row i's text at spans[i] within them.
    void Adopt(std::vector<char> bytes, const std::vector<std::pair<quint32, quint32>>& spans);
    // The bytes of a read taken as they are; Place then says where each row's text lies in them.
    void TakeBytes(std::vector<char> bytes)
    {
        Clear();
        m_bytes = std::move(bytes);
    }
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
        quint32 length;
    };
    struct Free
    {
        void operator()(Span* spans) const;
    };
    static Span* Zeroed(std::size_t size);
    void Grow(std::size_t size);

    std::vector<char> m_bytes;
    std::unique_ptr<Span[], Free> m_spans;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
