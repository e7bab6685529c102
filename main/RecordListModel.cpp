#include "main/RecordListModel.h"

#include <algorithm>
#include <numeric>

#include "store/Encryption.h"
#include "ui/Colours.h"

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent)
{
    SetCollator(QCollator());
}

struct RecordListModel::Kept
{
    QString tag;
    RowKeys ids;
    std::vector<quint8> webAddress;
    std::vector<ColumnTexts> cipherTexts;
    std::vector<bool> complete;
    std::vector<bool> fetched;
    std::vector<RowPlaces> places;
};

RecordListModel::~RecordListModel() = default;

bool RecordListModel::TakeBack(const QString& tag)
{
    std::unique_ptr<Kept> kept = std::move(m_kept);
    if (!kept || tag.isEmpty() || kept->tag != tag || kept->cipherTexts.size() != m_columns.size() || !m_ids.empty()) {
        return false;
    }
    m_ids = std::move(kept->ids);
    m_webAddress = std::move(kept->webAddress);
    m_cipherTexts = std::move(kept->cipherTexts);
    m_complete = std::move(kept->complete);
    m_fetched = std::move(kept->fetched);
    m_places = std::move(kept->places);
    m_tag = tag;
    return true;
}

void RecordListModel::Begin(Mode mode, std::vector<Column> columns, const QIcon& rowIcon)
{
    if (!m_filling) {
        beginResetModel();
        m_filling = true;
    }
    // The type list shown in between keeps what the record list before it kept.
    if (m_mode == Mode::Records) {
        m_kept.reset();
    }
    if (m_mode == Mode::Records && !m_tag.isEmpty()) {
        m_kept.reset(new Kept{std::move(m_tag), std::move(m_ids), std::move(m_webAddress), std::move(m_cipherTexts),
                              std::move(m_complete), std::move(m_fetched), std::move(m_places)});
    }
    m_tag.clear();
    m_mode = mode;
    m_columns = std::move(columns);
    m_rowIcon = rowIcon;
    m_ids.clear();
    m_webAddress.clear();
    m_texts.clear();
    m_cipherTexts.clear();
    m_cipherTexts.resize(m_columns.size());
    m_complete.assign(m_columns.size(), true);
    m_fetched.clear();
    m_order.clear();
    m_rowOfValid = false;
    m_source = {};
    m_places.clear();
    m_places.resize(m_columns.size());
}

void RecordListModel::AddRow(qint64 id, QStringList texts)
{
    m_ids.push_back(id);
    m_webAddress.push_back(1);
    m_fetched.push_back(true);
    m_texts.push_back(std::move(texts));
}

void RecordListModel::StoreText(std::size_t storage, int column, QByteArrayView text) const
{
    m_cipherTexts[static_cast<std::size_t>(column)].Set(storage, text, m_ids.size());
}

void RecordListModel::AddCipherRow(qint64 id, const QByteArrayView* cipherTexts, bool webAddress)
{
    const std::size_t storage = m_ids.size();
    m_ids.push_back(id);
    m_webAddress.push_back(webAddress ? 2 : 1);
    m_fetched.push_back(true);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        StoreText(storage, static_cast<int>(c), cipherTexts[c]);
    }
}

void RecordListModel::AddKeyedRow(qint64 id, int column, QByteArrayView cipherText)
{
    const std::size_t storage = m_ids.size();
    m_ids.push_back(id);
    m_webAddress.push_back(0);
    m_fetched.push_back(false);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (static_cast<int>(c) != column) {
            m_complete[c] = false;
        }
    }
    StoreText(storage, column, cipherText);
}

QString RecordListModel::StoredText(std::size_t storage, int column) const
{
    if (storage < m_texts.size()) {
        return m_texts[storage].value(column);
    }
    QByteArrayView text;
    if (column < 0 || static_cast<std::size_t>(column) >= m_cipherTexts.size() ||
        !m_cipherTexts[static_cast<std::size_t>(column)].Find(storage, &text)) {
        return {};
    }
    return Decrypt(text, m_codePage);
}

std::vector<int> KeyOrder(const RowKeys& ids)
{
    std::vector<int> byId;
    byId.reserve(ids.size());
    const auto [low, high] = std::minmax_element(ids.begin(), ids.end());
    const auto span = static_cast<std::size_t>(*high - *low) + 1;
    if (span <= 4 * ids.size() + 1024) {
        std::vector<int> slot(span, -1);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            slot[static_cast<std::size_t>(ids[i] - *low)] = static_cast<int>(i);
        }
        for (const int i : slot) {
            if (i >= 0) {
                byId.push_back(i);
            }
        }
        if (byId.size() == ids.size()) {
            return byId;
        }
        byId.clear(); // a key twice: sort them all
    }
    byId.resize(ids.size());
    std::iota(byId.begin(), byId.end(), 0);
    std::stable_sort(byId.begin(), byId.end(),
                     [&](int a, int b) { return ids[static_cast<std::size_t>(a)] < ids[static_cast<std::size_t>(b)]; });
    return byId;
}

void RecordListModel::End()
{
    if (!std::is_sorted(m_ids.begin(), m_ids.end())) {
        // Keyed rows may arrive in the order of an index: the list's load order is the keys'.
        const std::vector<int> byId = KeyOrder(m_ids);
        auto permute = [&](auto& values) {
            if (values.size() != byId.size()) {
                return;
            }
            std::remove_reference_t<decltype(values)> sorted;
            sorted.reserve(values.size());
            for (const int s : byId) {
                sorted.push_back(values[static_cast<std::size_t>(s)]);
            }
            values = std::move(sorted);
        };
        permute(m_ids);
        permute(m_webAddress);
        permute(m_fetched);
        permute(m_texts);
        for (ColumnTexts& texts : m_cipherTexts) {
            texts.Permute(byId);
        }
    }
    m_order.resize(m_ids.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    m_rowOfValid = false;
    if (m_filling) {
        m_filling = false;
        endResetModel();
    }
}

void RecordListModel::AdoptRows(int column, RowKeys ids, ColumnTexts texts, RowPlaces ranks)
{
    const std::size_t count = ids.size();
    m_ids = std::move(ids);
    m_webAddress.assign(count, 0);
    m_fetched.assign(count, false);
    m_texts.clear();
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        m_cipherTexts[c].Clear();
        m_complete[c] = static_cast<int>(c) == column;
        m_places[c].clear();
    }
    m_cipherTexts[static_cast<std::size_t>(column)] = std::move(texts);
    if (ranks.size() == count) {
        m_places[static_cast<std::size_t>(column)] = std::move(ranks);
    }
}

void RecordListModel::AdoptColumn(int column, const RowKeys& ids, ColumnTexts texts, RowPlaces ranks)
{
    if (column < 0 || static_cast<std::size_t>(column) >= m_columns.size() || m_mode != Mode::Records) {
        return;
    }
    // The read's texts become the column's as they are: a million texts are not copied, and what
    // the column held before goes. Only when the read's rows are not the list's, one for one, do
    // its texts move to the rows they belong to. Both lists of keys are in key order, so each row
    // is found by walking along; a key out of step is looked up. A row the read did not find (gone
    // meanwhile) sorts last.
    const auto index = static_cast<std::size_t>(column);
    m_complete[index] = true;
    if (ids == m_ids && ranks.size() == ids.size()) {
        // The read's places are the rows' own already: each is the number of texts before it.
        m_cipherTexts[index] = std::move(texts);
        m_places[index] = std::move(ranks);
        return;
    }
    RowPlaces own(m_ids.size(), static_cast<quint32>(ids.size()));
    std::vector<int> from(m_ids.size(), -1);
    std::size_t next = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const int s = next < m_ids.size() && m_ids[next] == ids[i] ? static_cast<int>(next) : StorageOf(ids[i]);
        if (s < 0) {
            continue;
        }
        next = static_cast<std::size_t>(s) + 1;
        from[static_cast<std::size_t>(s)] = static_cast<int>(i);
        own[static_cast<std::size_t>(s)] = ranks[i];
    }
    texts.Permute(from);
    // A row the read missed keeps the text the list had for it.
    ColumnTexts& held = m_cipherTexts[index];
    QByteArrayView text;
    for (std::size_t s = 0; s < own.size(); ++s) {
        if (own[s] == ids.size() && held.Find(s, &text)) {
            texts.Set(s, text, m_ids.size());
        }
    }
    held = std::move(texts);
    // Places among the rows held, from 0, counted rather than sorted: each row's place is the
    // number of rows before it, equal places staying equal.
    std::vector<quint32> below(ids.size() + 2, 0);
    for (const quint32 r : own) {
        ++below[r + 1];
    }
    std::partial_sum(below.begin(), below.end(), below.begin());
    for (quint32& r : own) {
        r = below[r];
    }
    m_places[index] = std::move(own);
}

void RecordListModel::ForgetPlaces()
{
    for (RowPlaces& places : m_places) {
        places.clear();
    }
}

void RecordListModel::Clear()
{
    Begin(Mode::None, {}, QIcon());
    End();
}

int RecordListModel::StorageOf(qint64 id) const
{
    const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    return it != m_ids.end() && *it == id ? static_cast<int>(it - m_ids.begin()) : -1;
}

void RecordListModel::Fetch(int row) const
{
    if (m_fetched[static_cast<std::size_t>(Storage(row))] || !m_source.rows) {
        return;
    }
    // Two screenfuls or so around the row in one statement: the view asks cell by cell. In a large
    // book each row read lies on a page of its own, so reading far ahead makes the window wait.
    constexpr int Before = 16;
    constexpr int After = 112;
    std::vector<qint64> ids;
    std::vector<int> storages;
    for (int r = std::max(0, row - Before); r < std::min(rowCount(), row + After); ++r) {
        const auto s = static_cast<std::size_t>(Storage(r));
        if (!m_fetched[s]) {
            ids.push_back(m_ids[s]);
            storages.push_back(static_cast<int>(s));
        }
    }
    try {
        m_source.rows(ids, [&](qint64 id, const QByteArrayView* cipherTexts, bool webAddress) {
            const int s = StorageOf(id);
            if (s < 0) {
                return;
            }
            for (std::size_t c = 0; c < m_columns.size(); ++c) {
                StoreText(static_cast<std::size_t>(s), static_cast<int>(c), cipherTexts[c]);
            }
            m_webAddress[static_cast<std::size_t>(s)] = webAddress ? 2 : 1;
        });
    } catch (...) {
        return; // shown empty for now and asked for again when next drawn
    }
    for (const int s : storages) {
        m_fetched[static_cast<std::size_t>(s)] = true; // a record gone meanwhile stays empty
    }
}

void RecordListModel::FetchColumn(int column)
{
    const auto c = static_cast<std::size_t>(column);
    if (m_complete[c]) {
        return;
    }
    bool all = true;
    for (const bool fetched : m_fetched) {
        all = all && fetched;
    }
    if (!all && m_source.column) {
        int read = 0;
        m_source.column(column, [&](qint64 id, QByteArrayView cipherText) {
            if (++read % 8192 == 0 && m_ticker) {
                m_ticker();
            }
            const int s = StorageOf(id);
            if (s >= 0) {
                StoreText(static_cast<std::size_t>(s), column, cipherText);
            }
        });
    }
    m_complete[c] = true;
}

qint64 RecordListModel::Id(int row) const
{
    return row >= 0 && row < rowCount() ? m_ids[static_cast<std::size_t>(Storage(row))] : -1;
}

QString RecordListModel::Key(int row) const
{
    return row >= 0 && row < rowCount() ? QLatin1Char('_') + QString::number(Id(row)) : QString();
}

QString RecordListModel::Text(int row, int column) const
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    Fetch(row);
    return StoredText(static_cast<std::size_t>(Storage(row)), column);
}

int RecordListModel::RowOfKey(const QString& key) const
{
    if (!key.startsWith(u'_')) {
        return -1;
    }
    bool ok = false;
    const qint64 id = QStringView(key).mid(1).toLongLong(&ok);
    return ok ? RowOf(id) : -1;
}

int RecordListModel::RowOf(qint64 id) const
{
    const int storage = StorageOf(id);
    if (storage < 0) {
        return -1;
    }
    if (!m_rowOfValid) {
        // Made once after a change of order, then every key is found without a search.
        m_rowOf.assign(m_ids.size(), -1);
        for (std::size_t row = 0; row < m_order.size(); ++row) {
            m_rowOf[static_cast<std::size_t>(m_order[row])] = static_cast<int>(row);
        }
        m_rowOfValid = true;
    }
    return m_rowOf[static_cast<std::size_t>(storage)];
}

void RecordListModel::RemoveIds(const QList<qint64>& ids)
{
    if (ids.size() == 1) {
        RemoveRowAt(RowOf(ids.first()));
        return;
    }
    // The list's keys are held in key order: many keys are found by walking them sorted beside
    // it, a few by a search each. A search each for 100,000 keys of a million, or the table from
    // key to row made for them, would take longer than the removal itself.
    std::vector<qint64> sorted(ids.cbegin(), ids.cend());
    std::sort(sorted.begin(), sorted.end());
    std::vector<bool> gone(m_ids.size(), false);
    if (sorted.size() * 64 < m_ids.size()) {
        for (const qint64 id : sorted) {
            if (const int storage = StorageOf(id); storage >= 0) {
                gone[static_cast<std::size_t>(storage)] = true;
            }
        }
    } else {
        std::size_t at = 0;
        for (const qint64 id : sorted) {
            while (at < m_ids.size() && m_ids[at] < id) {
                ++at;
            }
            if (at < m_ids.size() && m_ids[at] == id) {
                gone[at] = true;
            }
        }
    }
    int count = 0;
    int last = -1;
    for (std::size_t row = 0; row < m_order.size(); ++row) {
        if (gone[static_cast<std::size_t>(m_order[row])]) {
            ++count;
            last = static_cast<int>(row);
        }
    }
    if (count <= 1) {
        RemoveRowAt(last); // the view keeps its selection and scroll position
        return;
    }
    // One reset for the lot: removing 100,000 rows one by one would move the rest each time.
    beginResetModel();
    std::erase_if(m_order, [&](int storage) { return gone[static_cast<std::size_t>(storage)]; });
    m_rowOfValid = false;
    endResetModel();
}

bool RecordListModel::HeldText(qint64 id, int column, QByteArrayView* cipherText) const
{
    const int storage = StorageOf(id);
    return storage >= 0 && m_mode == Mode::Records && column >= 0 &&
           static_cast<std::size_t>(column) < m_cipherTexts.size() &&
           m_cipherTexts[static_cast<std::size_t>(column)].Find(static_cast<std::size_t>(storage), cipherText);
}

bool RecordListModel::HasWebAddress(int row) const
{
    if (row < 0 || row >= rowCount()) {
        return false;
    }
    Fetch(row);
    return m_webAddress[static_cast<std::size_t>(Storage(row))] == 2;
}

void RecordListModel::RemoveRowAt(int row)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_order.erase(m_order.begin() + row);
    m_rowOfValid = false;
    endRemoveRows();
}

int RecordListModel::CompareStored(std::size_t a, std::size_t b, int column) const
{
    const QString x = StoredText(a, column);
    const QString y = StoredText(b, column);
    if (m_columns[static_cast<std::size_t>(column)].numeric) {
        const double u = x.toDouble();
        const double v = y.toDouble();
        return u < v ? -1 : v < u ? 1 : 0;
    }
    return m_sortKeys->Compare(x, y);
}

bool RecordListModel::PutRecord(qint64 id, const QByteArrayView* cipherTexts, bool webAddress, int column,
                                Qt::SortOrder order)
{
    int storage = StorageOf(id);
    if (m_mode != Mode::Records) {
        return false;
    }
    // A change of layout, not a reset: the selection, the current row and what the view shows
    // follow the rows as they move, and nothing else of the view is made again.
    const int oldRow = storage >= 0 ? RowOf(id) : -1;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    if (storage < 0) {
        // Its place in load order is its key's: last for a new record, among the others for
        // one that comes back (an undone delete), the rows after it moving up by one.
        storage = static_cast<int>(std::lower_bound(m_ids.begin(), m_ids.end(), id) - m_ids.begin());
        const auto at = static_cast<std::ptrdiff_t>(storage);
        m_ids.insert(m_ids.begin() + at, id);
        m_webAddress.insert(m_webAddress.begin() + at, 0);
        m_fetched.insert(m_fetched.begin() + at, false);
        for (ColumnTexts& texts : m_cipherTexts) {
            texts.InsertMissing(static_cast<std::size_t>(storage));
        }
        for (int& s : m_order) {
            s += s >= storage ? 1 : 0;
        }
        m_rowOfValid = false;
    } else {
        std::erase(m_order, storage);
        m_rowOfValid = false;
    }
    const auto s = static_cast<std::size_t>(storage);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        StoreText(s, static_cast<int>(c), cipherTexts[c]);
    }
    m_webAddress[s] = webAddress ? 2 : 1;
    m_fetched[s] = true;
    ForgetPlaces();
    m_tag.clear(); // the book changed under the tag
    std::size_t at = m_order.size();
    if (column >= 0 && column < columnCount()) {
        // The place a stable sort gives it: after the rows that sort before it, and among equal
        // texts by load order.
        const bool descending = order == Qt::DescendingOrder;
        const auto before = [&](int other) {
            const auto o = static_cast<std::size_t>(other);
            if (!m_fetched[o] && !m_complete[static_cast<std::size_t>(column)]) {
                Fetch(RowOf(m_ids[o]));
            }
            const int c = CompareStored(o, s, column);
            return (descending ? c > 0 : c < 0) || (c == 0 && other < storage);
        };
        at = static_cast<std::size_t>(std::partition_point(m_order.begin(), m_order.end(), before) - m_order.begin());
    }
    m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(at), storage);
    m_rowOfValid = false;
    // The row left oldRow (when it was shown) and came in at its new place: the rows between
    // shift by one.
    const int newRow = static_cast<int>(at);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        int row = index.row();
        if (row == oldRow) {
            row = newRow;
        } else {
            row -= oldRow >= 0 && row > oldRow ? 1 : 0;
            row += row >= newRow ? 1 : 0;
        }
        to.append(createIndex(row, index.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}

void RecordListModel::SetCollator(const QCollator& collator)
{
    m_kept.reset();
    QCollator caseless = collator;
    caseless.setCaseSensitivity(Qt::CaseInsensitive);
    m_sortKeys = std::make_unique<SortKeys>(caseless);
    ForgetPlaces();
}

// Each row's place among all by one column's text, made once per column and kept until the list
// changes, so turning the direction round compares integers only.
const RowPlaces& RecordListModel::Ranks(int column)
{
    RowPlaces& places = m_places[static_cast<std::size_t>(column)];
    if (!places.empty() || m_ids.empty()) {
        return places;
    }
    FetchColumn(column);
    const std::size_t count = m_ids.size();
    if (m_columns[static_cast<std::size_t>(column)].numeric) {
        std::vector<quint32> byText(count);
        std::iota(byText.begin(), byText.end(), 0);
        places.assign(count, 0);
        std::vector<double> numbers(count);
        for (std::size_t s = 0; s < count; ++s) {
            numbers[s] = StoredText(s, column).toDouble();
        }
        std::stable_sort(byText.begin(), byText.end(), [&](quint32 a, quint32 b) { return numbers[a] < numbers[b]; });
        for (std::size_t i = 1; i < count; ++i) {
            places[byText[i]] =
                numbers[byText[i]] == numbers[byText[i - 1]] ? places[byText[i - 1]] : static_cast<quint32>(i);
        }
    } else {
        places = m_sortKeys->Ranks(count, [this, column](std::size_t s) { return StoredText(s, column); });
    }
    return places;
}

void RecordListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount()) {
        return;
    }
    // Read first: a failure leaves the order as it was.
    const RowPlaces& ranks = Ranks(column);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> storageBefore;
    storageBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        storageBefore.push_back(Storage(index.row()));
    }

    // The rows still shown by place, equal texts in load order. Places run from 0 to the number
    // of rows, so the rows are counted into their places rather than sorted.
    const std::size_t count = m_ids.size();
    // Usually every row held is shown, and nothing need be noted.
    const bool all = m_order.size() == count;
    std::vector<bool> shown(all ? 0 : count, false);
    if (!all) {
        for (const int s : m_order) {
            shown[static_cast<std::size_t>(s)] = true;
        }
    }
    const auto isShown = [&](std::size_t s) { return all || shown[s]; };
    const bool descending = order == Qt::DescendingOrder;
    const auto place = [&](std::size_t s) { return descending ? count - 1 - ranks[s] : std::size_t(ranks[s]); };
    LargeVector<quint32> next(count + 1, 0);
    for (std::size_t s = 0; s < count; ++s) {
        if (isShown(s)) {
            ++next[place(s) + 1];
        }
    }
    std::partial_sum(next.begin(), next.end(), next.begin());
    for (std::size_t s = 0; s < count; ++s) {
        if (isShown(s)) {
            m_order[next[place(s)]++] = static_cast<int>(s);
        }
    }

    // Keep selections and the current row on the same rows.
    m_rowOfValid = false;
    if (before.isEmpty()) {
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        return;
    }
    std::vector<int> rowOfStorage(m_ids.size(), -1);
    for (std::size_t row = 0; row < m_order.size(); ++row) {
        rowOfStorage[static_cast<std::size_t>(m_order[row])] = static_cast<int>(row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        after.append(index(rowOfStorage[static_cast<std::size_t>(storageBefore[static_cast<std::size_t>(i)])],
                           before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

void RecordListModel::SetBackground(const QColor& background)
{
    m_background = background;
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
    }
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const Column& column = m_columns[static_cast<std::size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return Text(index.row(), index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(m_rowIcon) : QVariant();
    case Qt::ForegroundRole:
        if (!column.colour.isValid()) {
            return {};
        }
        return m_background.isValid() ? ReadableOn(column.colour, m_background) : column.colour;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    const Column& column = m_columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) {
        return column.caption;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // A flat list: saying so spares the view asking, for each of a million rows, whether it is
    // expanded.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren |
           (m_mode == Mode::Records ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}
