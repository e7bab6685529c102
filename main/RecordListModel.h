#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QCollator>
#include <QCollatorSortKey>
#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <vector>

#include "core/CodePage.h"

// The rows of the main window's list: record rows (mode "List") or type rows (mode "Type").
// Rows hold only their key number and their texts. Record texts are kept as the cipher texts
// read from the database and deciphered when shown, so listing 100,000 contacts deciphers only
// the rows on screen and the column sorted by. Rows stay in load order and are shown through a
// permutation, so a re-sort moves integers, not strings.
class RecordListModel : public QAbstractTableModel
{
public:
    // What the list holds: nothing yet, contact records (of a type or found), or the types.
    enum class Mode { None, Records, Types };

    struct Column
    {
        Column(QString caption_, Qt::Alignment alignment_ = Qt::AlignLeft, bool numeric_ = false, QColor colour_ = {})
            : caption(std::move(caption_)), alignment(alignment_), numeric(numeric_), colour(colour_)
        {
        }
        QString caption;
        Qt::Alignment alignment = Qt::AlignLeft;
        bool numeric = false; // sorts by number: 9 before 10
        QColor colour;        // text colour of the column's cells, invalid for the default
    };

    explicit RecordListModel(QObject* parent = nullptr);

    // Filling: Begin clears rows and columns; rows are added with plain texts or with cipher
    // texts (one per column, in column order) and whether the record has a web address to open;
    // End shows the result, in load order.
    void Begin(Mode mode, std::vector<Column> columns, const QIcon& rowIcon);
    void AddRow(qint64 id, QStringList texts);
    void AddCipherRow(qint64 id, const QByteArrayView* cipherTexts, bool webAddress);
    void End();
    bool IsFilling() const { return m_filling; }
    void Clear();

    Mode ListMode() const { return m_mode; }
    qint64 Id(int row) const;
    QString Key(int row) const; // "_" + id
    QString Text(int row, int column) const;
    int RowOfKey(const QString& key) const; // -1 when absent
    bool HasWebAddress(int row) const;      // a record row whose address can be opened
    void RemoveRowAt(int row);
    void RemoveRows(const QList<int>& rows); // shown rows, in one change

    // Sorting by a column's text, with the collation of the user's language and without regard
    // to case; numeric columns by number. Equal texts keep their load order.
    void SetCollator(const QCollator& collator);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Span
    {
        quint32 offset;
        quint32 length;
    };

    int Storage(int row) const { return m_order[static_cast<std::size_t>(row)]; }
    QString StoredText(std::size_t storage, int column) const;
    const std::vector<QCollatorSortKey>& SortKeys(int column);

    Mode m_mode = Mode::None;
    std::vector<Column> m_columns;
    QIcon m_rowIcon;
    std::vector<qint64> m_ids;        // by storage index
    std::vector<bool> m_webAddress;   // by storage index
    std::vector<QStringList> m_texts; // plain rows, by storage index
    std::vector<char> m_cipherArena;  // cipher rows: the bytes
    std::vector<Span> m_cipherSpans;  // cipher rows: storage index * columns + column
    std::vector<int> m_order;         // shown row -> storage index
    QCollator m_collator;
    CodePage m_codePage = CodePage::System();
    int m_keysColumn = -1; // the column m_keys were made for
    std::vector<QCollatorSortKey> m_keys;
    bool m_filling = false;
};
