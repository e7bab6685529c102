// The list's columns: sorting by a clicked column, and the column layout kept per list mode in
// the settings file (display positions, widths in twips, sort column and direction).
#include "main/frmMain.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeWidget>

#include <numeric>

#include "core/Language.h"
#include "main/BackgroundListing.h"
#include "main/ColumnLayout.h"
#include "main/ListViewSort.h"
#include "main/RecordListModel.h"
#include "store/Connection.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"

bool frmMain::IsSorted() const
{
    return ListView1->property("Sorted").toBool();
}

void frmMain::SetSorted(bool sorted)
{
    ListView1->setProperty("Sorted", sorted);
    if (sorted) {
        m_model->sort(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void frmMain::ListView1_ColumnClick(int column)
{
    if (!IsSorted()) {
        // The header moved its indicator on the click; the rows did not move, so neither may it.
        ListView1->header()->setSortIndicator(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
        return;
    }
    const bool resorting = m_resortKey >= 0;
    if (resorting) {
        m_listing->Stop(); // a new click abandons the re-sort under way
        m_resortKey = -1;
        SetPanel(1, GetLangString(QStringLiteral("General"), QStringLiteral("20003"), QStringLiteral("Ready")));
    }
    const int key = m_sortKey;
    const int order = m_sortOrder;
    const int nextOrder = m_sortKey == column ? (m_sortOrder == 0 ? 1 : 0) : 0;
    if (ListMode() == RecordListModel::Mode::Records && m_listing->IsRunning()) {
        // While the rows still come: the listing starts again, read and placed by the new column.
        m_sortKey = column;
        m_sortOrder = nextOrder;
        m_recordSortKey = column;
        const QString current = CurrentRow() >= 0 ? m_model->Key(CurrentRow()) : QString();
        LoadListData(TreeView1->currentItem(), current);
        return;
    }
    if (ListMode() == RecordListModel::Mode::Records && !m_listing->IsRunning() && !m_model->HasPlaces(column) &&
        Streams()) {
        // The column is read and its places made in the background (deciphering and comparing a
        // large list's texts would hold the window); the list keeps its order, and stays usable,
        // until then.
        const TypeTree::NodeKind kind = TreeView1->CurrentKind();
        m_resortKey = column;
        m_resortOrder = nextOrder;
        ListView1->header()->setSortIndicator(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
        m_listing->Start(Conn, {kind == TypeTree::NodeKind::Type ? TreeView1->CurrentTypeNo() : -1,
                                RecordFieldName(column),
                                column,
                                m_collator,
                                true,
                                {},
                                static_cast<std::size_t>(m_model->rowCount())});
        SetPanel(1, GetLangString(objectName(), QStringLiteral("82001"), QStringLiteral("Sorting...")));
        return;
    }
    SetSorted(false);
    if (m_sortKey == column) {
        m_sortOrder = m_sortOrder == 0 ? 1 : 0;
    } else {
        m_sortOrder = 0;
        m_sortKey = column;
    }
    try {
        BusyProgress progress(
            this, GetLangString(QStringLiteral("General"), QStringLiteral("20002"), QStringLiteral("Loading")));
        m_model->SetTicker([&progress] { progress.Step(0, 0); });
        SetSorted(true);
        m_model->SetTicker({});
    } catch (...) {
        m_model->SetTicker({});
        // The column could not be read: the rows keep their order, and the header says so.
        m_sortKey = key;
        m_sortOrder = order;
        ListView1->setProperty("Sorted", true);
        ShowError(this);
    }
    if (ListMode() == RecordListModel::Mode::Records) {
        m_recordSortKey = m_sortKey;
    }
    ListSorter().SetHeaderIcons(m_sortKey, m_sortOrder);
}

void frmMain::FinishResort(const QString& error)
{
    const int column = m_resortKey;
    m_resortKey = -1;
    if (column < 0 || ListMode() != RecordListModel::Mode::Records) {
        return;
    }
    const QString ready = GetLangString(QStringLiteral("General"), QStringLiteral("20003"), QStringLiteral("Ready"));
    if (!error.isEmpty()) {
        // The column could not be read: the rows keep their order, and the header says so.
        SetPanel(1, GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")));
        MsgWarning(this, error);
        return;
    }
    BackgroundListing::Rows rows = m_listing->TakeRows();
    m_model->AdoptColumn(column, rows.ids, std::move(rows.texts), std::move(rows.ranks));
    m_sortKey = column;
    m_sortOrder = m_resortOrder;
    m_recordSortKey = m_sortKey;
    SetSorted(true); // the places are there: the rows are counted into them
    ListSorter().SetHeaderIcons(m_sortKey, m_sortOrder);
    if (const QModelIndex current = ListView1->currentIndex(); current.isValid()) {
        ListView1->scrollTo(current);
    }
    SetPanel(1, ready);
}

void frmMain::FitColumns()
{
    QHeaderView* header = ListView1->header();
    const int count = header->count();
    if (count == 0) {
        return;
    }
    const QScopedValueRollback sizing(m_sizingColumns, true);
    // The room the rows have, a vertical scroll bar's width kept back for when they overflow.
    const int available = std::max(0, ListView1->width() - 2 * ListView1->frameWidth() -
                                          ListView1->verticalScrollBar()->sizeHint().width());
    // Each column's caption or its widest value on screen (the rows shown first), whichever is
    // wider; an empty list keeps its default widths where they are wider than the caption.
    QList<int> natural;
    for (int visual = 0; visual < count; ++visual) {
        const int logical = header->logicalIndex(visual);
        const int contents =
            m_model->rowCount() > 0 ? ListView1->ContentsWidth(logical) : m_pendingWidths.value(logical, 0);
        natural.append(std::max(header->sectionSizeHint(logical), contents));
    }
    QList<int> widths = ColumnLayout::FitWidths(natural, available, header->minimumSectionSize());
    // Only a value wider than a third of the list is shortened to make room, and in the first
    // column (the name, the type) only one wider than half of it: in a small window the list
    // scrolls sideways rather than cut every name.
    for (qsizetype i = 0; i < widths.size(); ++i) {
        widths[i] = std::max(widths[i], std::min(natural[i], available / (i == 0 ? 2 : 3)));
    }
    const int used = std::accumulate(widths.begin(), widths.end(), 0);
    if (used < available) {
        widths.last() += available - used; // the last column takes the rest
    }
    for (int visual = 0; visual < count; ++visual) {
        header->resizeSection(header->logicalIndex(visual), widths[visual]);
    }
}

ColumnLayout frmMain::Layout() const
{
    // The settings keys name the mode as the list's tag always has.
    return {objectName(), ListMode() == RecordListModel::Mode::Types ? QStringLiteral("Type") : QStringLiteral("List")};
}

void frmMain::SaveColumnState()
{
    Layout().Save(this, ListView1->header(), {m_sortKey, m_sortOrder}, m_columnsFitted);
}

void frmMain::LoadColumnState()
{
    const ColumnLayout::Sort sort = Layout().Load(ListView1->header(), {m_sortKey, m_sortOrder});
    m_sortKey = sort.column;
    m_sortOrder = sort.order;
    if (ListMode() == RecordListModel::Mode::Records) {
        m_recordSortKey = m_sortKey;
    }
}
