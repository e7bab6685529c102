// Search as you type: the book searched on a thread of its own after a pause in typing, the
// records shown as they are found, Escape back to where the user was.
#include "main/frmMain.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include "core/AppState.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Connection.h"

void frmMain::StopSearch()
{
    m_searchTimer->stop();
    m_search->Stop();
}

void frmMain::SearchAsYouType()
{
    StopSearch();
    QTreeWidgetItem* search = TreeView1->NodeByKey(QStringLiteral("SearchResult"));
    if (search == nullptr) {
        return; // no tree: the book is not open
    }
    if (TreeView1->currentItem() != search) {
        m_nodeBeforeSearch = TreeView1->CurrentKey();
        SelectNode(search);
    }
    if (txtValue->text() == SearchPrompt) {
        LoadListData(search, QString()); // the prompt lists every record
        return;
    }
    StartSearch();
}

void frmMain::StartSearch()
{
    m_shownFound = -1; // nothing of this search shown yet
    m_search->Start(Conn, {txtValue->text().trimmed(), chkMatchCase->isChecked(), SearchedFields(),
                           RecordFieldName(m_recordSortKey)});
}

void frmMain::ShowFound(bool finished)
{
    QTreeWidgetItem* search = TreeView1->NodeByKey(QStringLiteral("SearchResult"));
    if (search == nullptr || TreeView1->currentItem() != search) {
        m_search->Stop(); // the user went elsewhere
        return;
    }
    // The first records at once, then whenever what was found has doubled, and all at the end:
    // the list is refilled a few times, not once per record. Once a screenful is shown, no more
    // than every quarter of a second: each refill sorts the list anew on the window's thread,
    // which then takes a core from the readers.
    constexpr auto Screenful = static_cast<qsizetype>(BackgroundListing::FirstScreen);
    constexpr qint64 RefillEveryMs = 250;
    const qsizetype found = m_search->Count();
    if (!finished && m_shownFound >= 0 &&
        (found < 2 * std::max<qsizetype>(m_shownFound, 1) ||
         (m_shownFound >= Screenful && !m_foundShownAt.hasExpired(RefillEveryMs)))) {
        return;
    }
    const QString current = CurrentRow() >= 0 ? m_model->Key(CurrentRow()) : QString();
    m_streamed = m_search;
    LoadListData(search, current);
    m_streamed = nullptr;
    m_shownFound = found;
    m_foundShownAt.start();
}

void frmMain::ClearSearch()
{
    StopSearch();
    txtValue->setText(SearchPrompt);
    txtValue->selectAll();
    QTreeWidgetItem* back = TreeView1->NodeByKey(m_nodeBeforeSearch);
    if (back == nullptr) {
        back = TreeView1->NodeByKey(QStringLiteral("Root"));
    }
    if (back != nullptr && back != TreeView1->currentItem()) {
        SelectNode(back);
        LoadListData(back, QString());
    }
    m_nodeBeforeSearch.clear();
}
