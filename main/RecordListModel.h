#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QCollator>
#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "core/CodePage.h"
#include "main/ColumnTexts.h"
#include "main/SortKeys.h"

// The positions of ids in ascending order of id, equal ones in the order given. Keys are dense in
// a book, so they are usually placed by value, not sorted.
std::vector<int> KeyOrder(const RowKeys& ids);

// The rows of the main window's list: record rows (mode "List") or type rows (mode "Type").
// Rows hold only their key number and their texts. Record texts are kept as the cipher texts
// read from the database and deciphered when shown. A record list may be loaded with one column
// only (the one sorted by): the other columns are read from its source for the rows on screen,
// and a whole column when the list is sorted by it, so listing a million contacts reads and
// deciphers little more than one column. Rows stay in load order and are shown through a
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

    // Where a record list reads what it was not given. rows: every column and whether the record
    // has a web address, for these keys; column: one column of every record the list may hold.
    // Each hands rows to the sink in any order; keys the list does not hold are passed over.
    using RowSink = std::function<void(qint64 id, const QByteArrayView* cipherTexts, bool webAddress)>;
    using ColumnSink = std::function<void(qint64 id, QByteArrayView cipherText)>;
    struct Source
    {
        std::function<void(const std::vector<qint64>& ids, const RowSink& sink)> rows;
        std::function<void(int column, const ColumnSink& sink)> column;
    };

    explicit RecordListModel(QObject* parent = nullptr);
    ~RecordListModel() override;

    // Filling: Begin clears rows and columns; rows are added with plain texts or with cipher
    // texts (one per column, in column order) and whether the record has a web address to open;
    // End shows the result, in load order.
    void Begin(Mode mode, std::vector<Column> columns, const QIcon& rowIcon);
    void AddRow(qint64 id, QStringList texts);
    void AddCipherRow(qint64 id, const QByteArrayView* cipherTexts, bool webAddress);
    // A record row of which one column is known; the others come from the source (SetSource,
    // after Begin) when needed. Rows may come in any order of keys: End puts them in key order.
    void AddKeyedRow(qint64 id, int column, QByteArrayView cipherText);
    void SetSource(Source source) { m_source = std::move(source); }
    // A record list's rows are kept when the list is refilled, under the tag given here (what was
    // listed, in what state of the book), so that showing the same again costs nothing. TakeBack,
    // after Begin, restores them when the tag is the same and drops them otherwise.
    void SetTag(QString tag) { m_tag = std::move(tag); }
    bool TakeBack(const QString& tag);
    // Called now and then while a whole column is read, to keep a progress window alive.
    void SetTicker(std::function<void()> ticker) { m_ticker = std::move(ticker); }
    void End();
    bool IsFilling() const { return m_filling; }
    // Between Begin and End instead of adding rows: every row of a listing read elsewhere, keys
    // ascending, with one column's cipher texts (row i's at storage i) and each row's place by
    // that column's text, so sorting by it needs no reading or comparing here.
    void AdoptRows(int column, RowKeys ids, ColumnTexts texts, RowPlaces ranks);
    // A whole column of the rows the list holds, read elsewhere for a re-sort: row i of the read
    // is ids[i], with its text at i in texts and its place by it ranks[i]; keys the list does not
    // hold are passed over. Sort by the column after.
    void AdoptColumn(int column, const RowKeys& ids, ColumnTexts texts, RowPlaces ranks);
    // Whether sorting by column reads and compares nothing: each row's place by it is known.
    bool HasPlaces(int column) const
    {
        return column >= 0 && static_cast<std::size_t>(column) < m_places.size() &&
               !m_places[static_cast<std::size_t>(column)].empty();
    }
    void Clear();

    Mode ListMode() const { return m_mode; }
    qint64 Id(int row) const;
    QString Key(int row) const; // "_" + id
    QString Text(int row, int column) const;
    int RowOfKey(const QString& key) const; // -1 when absent
    int RowOf(qint64 id) const;             // the shown row of a key, -1 when absent
    bool HasWebAddress(int row) const;      // a record row whose address can be opened
    // The cipher text of a column of the record with this key as the list holds it, without
    // reading it; false when the list does not hold it or has not read that column yet.
    bool HeldText(qint64 id, int column, QByteArrayView* cipherText) const;
    void RemoveRowAt(int row);
    // The rows of these keys, those the list shows, in one change; the others are passed over.
    void RemoveIds(const QList<qint64>& ids);
    // A record as it is stored now, after it was saved: its row replaced, or added when the list
    // does not hold it, and placed where sorting by column puts it (equal texts by key, as a
    // reload places them). The selection and the current row stay on their records. False,
    // changing nothing, for a list of types.
    bool PutRecord(qint64 id, const QByteArrayView* cipherTexts, bool webAddress, int column, Qt::SortOrder order);

    // Sorting by a column's text, with the collation of the user's language and without regard
    // to case; numeric columns by number. Equal texts keep their load order.
    void SetCollator(const QCollator& collator);
    // The darker or lighter of the list's two row colours: a column's own text colour is made
    // readable on it (red counts on a dark scheme are lightened).
    void SetBackground(const QColor& background);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    int Storage(int row) const { return m_order[static_cast<std::size_t>(row)]; }
    QString StoredText(std::size_t storage, int column) const;
    void StoreText(std::size_t storage, int column, QByteArrayView text) const;
    // The storage index of a key, -1 when the list does not hold it.
    int StorageOf(qint64 id) const;
    // Reads every column of the shown rows around row that are not read yet.
    void Fetch(int row) const;
    // Makes sure column's text is there for every row.
    void FetchColumn(int column);
    const RowPlaces& Ranks(int column);
    void ForgetPlaces();
    int CompareStored(std::size_t a, std::size_t b, int column) const;

    Mode m_mode = Mode::None;
    std::vector<Column> m_columns;
    QIcon m_rowIcon;
    RowKeys m_ids;                                  // by storage index
    mutable std::vector<quint8> m_webAddress;       // by storage index: 0 not read yet, 1 no, 2 yes
    std::vector<QStringList> m_texts;               // plain rows, by storage index
    mutable std::vector<ColumnTexts> m_cipherTexts; // cipher rows: per column, by storage index
    mutable std::vector<bool> m_complete;           // per column: read for every row
    mutable std::vector<bool> m_fetched;            // by storage index: every column read
    std::vector<int> m_order;                       // shown row -> storage index
    mutable std::vector<int> m_rowOf;               // storage index -> shown row, -1 for none
    mutable bool m_rowOfValid = false;              // made again when next asked after a change
    Source m_source;
    QString m_tag;
    struct Kept;
    std::unique_ptr<Kept> m_kept;
    std::function<void()> m_ticker;
    std::unique_ptr<SortKeys> m_sortKeys;
    CodePage m_codePage = CodePage::System();
    // Per column, by storage index: the place of each row's text among all, equal texts equal;
    // empty until made. Kept for every column sorted by, so a click back on one sorts at once.
    std::vector<RowPlaces> m_places;
    bool m_filling = false;
    QColor m_background;
};
