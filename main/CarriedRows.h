#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <algorithm>
#include <vector>

// The cipher texts of one list column for records a move has just taken to a type, as the list
// held them: the type's listing that follows takes them from here rather than reading the moved
// rows from all over the book.
class CarriedRows
{
public:
    CarriedRows(qint64 typeNo, int column) : m_typeNo(typeNo), m_column(column) {}

    qint64 TypeNo() const { return m_typeNo; }
    int Column() const { return m_column; }
    std::size_t Count() const { return m_ids.size(); }

    // Room for rows whose texts are about textSize bytes long, made once.
    void Reserve(std::size_t rows, std::size_t textSize)
    {
        m_ids.reserve(rows);
        m_bytes.reserve(rows * textSize);
    }
    // Keys are added in any order; Seal sorts them for Find.
    void Add(qint64 id, QByteArrayView cipherText)
    {
        m_ids.push_back({id, static_cast<quint32>(m_bytes.size()), static_cast<quint32>(cipherText.size())});
        m_bytes.insert(m_bytes.end(), cipherText.begin(), cipherText.end());
    }
    void Seal()
    {
        std::sort(m_ids.begin(), m_ids.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    }
    bool Find(qint64 id, QByteArrayView* cipherText) const
    {
        const auto it =
            std::lower_bound(m_ids.begin(), m_ids.end(), id, [](const Entry& e, qint64 key) { return e.id < key; });
        if (it == m_ids.end() || it->id != id) {
            return false;
        }
        *cipherText = QByteArrayView(m_bytes.data() + it->offset, it->length);
        return true;
    }

private:
    struct Entry
    {
        qint64 id;
        quint32 offset;
        quint32 length;
    };
    qint64 m_typeNo;
    int m_column;
    std::vector<Entry> m_ids;
    std::vector<char> m_bytes;
};
