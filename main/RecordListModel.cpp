#include "main/RecordListModel.h"

#include <algorithm>
#include <numeric>

#include "store/Encryption.h"

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

void RecordListModel::Begin(Mode mode, std::vector<Column> columns, const QIcon& rowIcon)
{
    if (!m_filling) {
        beginResetModel();
        m_filling = true;
    }
    m_mode = mode;
    m_columns = std::move(columns);
    m_rowIcon = rowIcon;
    m_ids.clear();
    m_webAddress.clear();
    m_texts.clear();
    m_cipherArena.clear();
    m_cipherSpans.clear();
    m_order.clear();
    m_keysColumn = -1;
    m_keys.clear();
}

void RecordListModel::AddRow(qint64 id, QStringList texts)
{
    m_ids.push_back(id);
    m_webAddress.push_back(false);
    m_texts.push_back(std::move(texts));
}

void RecordListModel::AddCipherRow(qint64 id, const QByteArrayView* cipherTexts, bool webAddress)
{
    m_ids.push_back(id);
    m_webAddress.push_back(webAddress);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const QByteArrayView text = cipherTexts[c];
        m_cipherSpans.push_back({static_cast<quint32>(m_cipherArena.size()), static_cast<quint32>(text.size())});
        m_cipherArena.insert(m_cipherArena.end(), text.begin(), text.end());
    }
}

QString RecordListModel::StoredText(std::size_t storage, int column) const
{
    if (storage < m_texts.size()) {
        return m_texts[storage].value(column);
    }
    const std::size_t cell = storage * m_columns.size() + static_cast<std::size_t>(column);
    if (cell >= m_cipherSpans.size()) {
        return {};
    }
    const Span span = m_cipherSpans[cell];
    return Decrypt(QByteArrayView(m_cipherArena.data() + span.offset, span.length), m_codePage);
}

void RecordListModel::End()
{
    m_order.resize(m_ids.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_filling) {
        m_filling = false;
        endResetModel();
    }
}

void RecordListModel::Clear()
{
    Begin(Mode::None, {}, QIcon());
    End();
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
    return StoredText(static_cast<std::size_t>(Storage(row)), column);
}

int RecordListModel::RowOfKey(const QString& key) const
{
    if (!key.startsWith(u'_')) {
        return -1;
    }
    bool ok = false;
    const qint64 id = QStringView(key).mid(1).toLongLong(&ok);
    if (!ok) {
        return -1;
    }
    for (int row = 0; row < rowCount(); ++row) {
        if (m_ids[static_cast<std::size_t>(Storage(row))] == id) {
            return row;
        }
    }
    return -1;
}

bool RecordListModel::HasWebAddress(int row) const
{
    return row >= 0 && row < rowCount() && m_webAddress[static_cast<std::size_t>(Storage(row))];
}

void RecordListModel::RemoveRowAt(int row)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    beginRemoveRows({}, row, row);
    m_order.erase(m_order.begin() + row);
    endRemoveRows();
}

void RecordListModel::RemoveRows(const QList<int>& rows)
{
    if (rows.isEmpty()) {
        return;
    }
    // One reset for the lot: removing 100,000 rows one by one would move the rest each time.
    beginResetModel();
    std::vector<bool> gone(m_order.size(), false);
    for (const int row : rows) {
        if (row >= 0 && row < rowCount()) {
            gone[static_cast<std::size_t>(row)] = true;
        }
    }
    std::vector<int> kept;
    kept.reserve(m_order.size());
    for (std::size_t row = 0; row < m_order.size(); ++row) {
        if (!gone[row]) {
            kept.push_back(m_order[row]);
        }
    }
    m_order = std::move(kept);
    endResetModel();
}

void RecordListModel::SetCollator(const QCollator& collator)
{
    m_collator = collator;
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_keysColumn = -1;
}

// One collation key per row, made once per column and kept until the list is refilled, so
// turning the direction round costs only the comparisons.
const std::vector<QCollatorSortKey>& RecordListModel::SortKeys(int column)
{
    if (m_keysColumn != column) {
        m_keys.clear();
        m_keys.reserve(m_ids.size());
        for (std::size_t s = 0; s < m_ids.size(); ++s) {
            m_keys.push_back(m_collator.sortKey(StoredText(s, column)));
        }
        m_keysColumn = column;
    }
    return m_keys;
}

void RecordListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount()) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> storageBefore;
    storageBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        storageBefore.push_back(Storage(index.row()));
    }

    std::vector<int> order_(m_ids.size());
    std::iota(order_.begin(), order_.end(), 0);
    // Keep only the rows still shown, in load order.
    std::vector<bool> shown(m_ids.size(), false);
    for (const int s : m_order) {
        shown[static_cast<std::size_t>(s)] = true;
    }
    std::erase_if(order_, [&](int s) { return !shown[static_cast<std::size_t>(s)]; });

    const bool descending = order == Qt::DescendingOrder;
    if (m_columns[static_cast<std::size_t>(column)].numeric) {
        std::vector<double> numbers(m_ids.size());
        for (const int s : order_) {
            numbers[static_cast<std::size_t>(s)] = StoredText(static_cast<std::size_t>(s), column).toDouble();
        }
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
            const double x = numbers[static_cast<std::size_t>(a)];
            const double y = numbers[static_cast<std::size_t>(b)];
            return descending ? y < x : x < y;
        });
    } else {
        const std::vector<QCollatorSortKey>& keys = SortKeys(column);
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
            const QCollatorSortKey& x = keys[static_cast<std::size_t>(a)];
            const QCollatorSortKey& y = keys[static_cast<std::size_t>(b)];
            return descending ? y.compare(x) < 0 : x.compare(y) < 0;
        });
    }
    m_order = std::move(order_);

    // Keep selections and the current row on the same rows.
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
        return column.colour.isValid() ? QVariant(column.colour) : QVariant();
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
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable |
           (m_mode == Mode::Records ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}
