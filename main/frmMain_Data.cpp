// The type tree and the list: loading them, the search, and selecting nodes and rows.
#include "main/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>
#include <QTreeWidget>

#include "core/AppState.h"
#include "core/Language.h"
#include "core/TextUtil.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/CarriedRows.h"
#include "main/ColumnLayout.h"
#include "main/ListViewEnh.h"
#include "main/ListViewSort.h"
#include "main/MsgBar.h"
#include "main/RecordListModel.h"
#include "main/SearchMatcher.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/FormState.h"

namespace {

// The record columns, in order: stored field, caption key, default caption, width for a type's
// records and for the search results (twips).
struct RecordField
{
    const char* field;
    const char* key;
    const char* caption;
    int width;
    int searchWidth;
};
constexpr RecordField RecordFields[] = {
    {"Name", "60001", "Name", 1440, 1440},
    {"F_Phone1", "60002", "FPhone", 2440, 2440},
    {"F_MobilePhone1", "60003", "MobilePhone", 2440, 2440},
    {"C_Phone1", "60004", "CPhone", 1440, 1440},
    {"EMailList", "60005", "Mail", 3000, 1440},
    {"QQ", "60006", "QQ", 1440, 1440},
    {"MSN", "60007", "MSN", 1440, 1440},
    {"ICQ", "60008", "ICQ", 1440, 1440},
};

int RecordFieldIndex(const QString& field)
{
    for (int i = 0; i < int(std::size(RecordFields)); ++i) {
        if (field == QLatin1String(RecordFields[i].field)) {
            return i;
        }
    }
    return 0;
}

QString General(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("General"), QLatin1String(key), QLatin1String(english));
}

} // namespace

RecordListModel::Mode frmMain::ListMode() const
{
    return m_model->ListMode();
}

QString frmMain::WebAddressOf(const QString& stored)
{
    const QString address = stored.trimmed();
    // "http://" alone is what an empty address box used to hold: nothing to open.
    return address.compare(QLatin1String("http://"), Qt::CaseInsensitive) == 0 ? QString() : address;
}

void frmMain::SelectNode(QTreeWidgetItem* node)
{
    if (node == nullptr) {
        return;
    }
    const bool loading = m_loadingTree;
    m_loadingTree = true; // selecting from code is not a click
    TreeView1->setCurrentItem(node);
    node->setSelected(true);
    node->setExpanded(true);
    TreeView1->scrollToItem(node);
    m_loadingTree = loading;
}

void frmMain::SelectListItem(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ListView1->scrollTo(index);
}

void frmMain::TreeView1_NodeClick(QTreeWidgetItem* node)
{
    LoadListData(node, QString());
}

void frmMain::LoadTreeData(const QString& selectKey)
{
    WaitCursor wait;
    SetPanel(1, General("20002", "Loading"));
    m_loadingTree = true;
    try {
        TreeView1->Clear();
        QTreeWidgetItem* root = TreeView1->AddRoot(windowTitle());
        if (selectKey == QLatin1String("Root")) {
            SelectNode(root);
        }
        Recordset rs;
        OpenTypes(rs, Conn, LockType::ReadOnly);
        const int typeNo = rs.FieldIndex(u"TypeNo");
        const int typeName = rs.FieldIndex(u"TypeName");
        QList<QTreeWidgetItem*> types;
        types.reserve(rs.RecordCount());
        QTreeWidgetItem* selected = nullptr;
        const qint64 selectType = TypeTree::NumberOf(selectKey);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            types.append(TypeTree::NewTypeNode(rs.Integer(typeNo), rs.Text(typeName)));
            if (rs.Integer(typeNo) == selectType) {
                selected = types.last();
            }
        }
        ReleaseRecordset(rs);
        root->addChildren(types); // one insertion for all types
        SelectNode(selected);
        QTreeWidgetItem* search = TreeView1->AddSearchNode(
            GetLangString(objectName(), QStringLiteral("40001"), QStringLiteral("Result result")));
        if (selectKey == QLatin1String("SearchResult")) {
            SelectNode(search);
        }
        SetPanel(1, General("20003", "Ready"));
    } catch (...) {
        m_loadingTree = false;
        SetPanel(1, General("10001", "Error"));
        ShowError(this);
        return;
    }
    m_loadingTree = false;
    LoadListData(TreeView1->currentItem(), QString());
}

void frmMain::SelectSavedRow(qint64 pwdId)
{
    const int row = m_model->RowOf(pwdId);
    if (row < 0) {
        return;
    }
    UnselectAllItems(ListView1);
    SelectListItem(row);
    // The list takes the focus: the commands act on its selection, not on the tree's node.
    ListView1->setFocus(Qt::OtherFocusReason);
    UpdateCommandState();
}

void frmMain::AddRecordColumns(bool searchWidths)
{
    std::vector<RecordListModel::Column> columns;
    for (const RecordField& f : RecordFields) {
        columns.emplace_back(GetLangString(objectName(), QLatin1String(f.key), QLatin1String(f.caption)));
    }
    m_model->Begin(RecordListModel::Mode::Records, std::move(columns), QIcon(QStringLiteral(":/icons/key.png")));
    const int tx = TwipsPerPixelX(this);
    m_pendingWidths.clear();
    for (const RecordField& f : RecordFields) {
        m_pendingWidths.append(TwipsToPixels(searchWidths ? f.searchWidth : f.width, tx));
    }
}

QString frmMain::RecordFieldName(int column)
{
    return QString::fromLatin1(RecordFields[std::clamp(column, 0, int(std::size(RecordFields)) - 1)].field);
}

SearchFields frmMain::SearchedFields() const
{
    // The record's fields, "All fields", then the details one kind at a time.
    const int chosen = txtField->currentIndex();
    constexpr int recordFields = int(std::size(RecordFields));
    if (chosen >= 0 && chosen < recordFields) {
        return {{RecordFieldName(chosen)}, false, {}, false};
    }
    const auto& details = DetailSearchChoices();
    if (chosen > recordFields && chosen <= recordFields + int(details.size())) {
        return details[static_cast<std::size_t>(chosen - recordFields - 1)].fields;
    }
    QStringList all;
    for (const RecordField& f : RecordFields) {
        all.append(QString::fromLatin1(f.field));
    }
    return SearchFields::All(all);
}

void frmMain::FillRecordRows(qint64 typeNo, BusyProgress& progress)
{
    constexpr int columnCount = int(std::size(RecordFields));
    auto fieldOf = [](int column) { return QString::fromLatin1(RecordFields[column].field); };
    // Only the column sorted by is read for every row; the list reads the rest for the rows it
    // shows, and a whole column when it is sorted by it.
    const int sortColumn = std::clamp(m_recordSortKey, 0, columnCount - 1);
    QStringList fields;
    for (int c = 0; c < columnCount; ++c) {
        fields.append(fieldOf(c));
    }
    m_model->SetSource({[fields](const std::vector<qint64>& ids, const RecordListModel::RowSink& sink) {
                            QByteArrayView cipherTexts[columnCount];
                            ReadRecordsById(Conn, fields, ids, [&](const RowView& row) {
                                for (int c = 0; c < columnCount; ++c) {
                                    cipherTexts[c] = row.Bytes(c + 1);
                                }
                                sink(row.Integer(0), cipherTexts,
                                     !WebAddressOf(Utf8Text(row.Bytes(columnCount + 1))).isEmpty());
                            });
                        },
                        [typeNo, fieldOf](int column, const RecordListModel::ColumnSink& sink) {
                            ReadRecordColumn(Conn, typeNo, fieldOf(column), sink);
                        }});
    // What a plain listing shows is known by what it lists and the state of the book.
    const bool plain = typeNo >= 0 || txtValue->text() == SearchPrompt;
    const QString tag = plain ? QString::number(typeNo) + QLatin1Char('/') + Conn.ChangeStamp() : QString();
    if (m_listedStage != 0) {
        // Rows the background listing handed over: the first screen as read, or all of them with
        // their places.
        BackgroundListing::Rows rows = m_listing->TakeRows();
        const int column = m_listing->Current().column;
        if (m_listedStage == 1) {
            QByteArrayView text;
            for (std::size_t i = 0; i < rows.ids.size(); ++i) {
                if (rows.texts.Find(i, &text)) {
                    m_model->AddKeyedRow(rows.ids[i], column, text);
                }
            }
        } else {
            m_model->AdoptRows(column, std::move(rows.ids), std::move(rows.texts), std::move(rows.ranks));
            m_model->SetTag(m_listingTag);
        }
        return;
    }
    if (m_model->TakeBack(tag)) {
        return;
    }
    if (m_streamed != nullptr) {
        // What the search while typing found so far; the list sorts it by its own column.
        const int column = RecordFieldIndex(m_streamed->Current().sortColumn);
        for (qsizetype i = 0; i < m_streamed->Count(); ++i) {
            m_model->AddKeyedRow(m_streamed->Id(i), column, m_streamed->SortText(i));
        }
        return;
    }
    int read = 0;
    auto tick = [&] {
        if (++read % 8192 == 0) {
            progress.Step(0, 0);
        }
    };
    if (plain) {
        // What a move just carried here is taken as the list held it; it is good for one listing.
        const std::shared_ptr<CarriedRows> carried = std::exchange(m_carried, nullptr);
        const bool carry = carried && carried->TypeNo() == typeNo && carried->Column() == sortColumn;
        const auto add = [&](qint64 id, QByteArrayView cipher) {
            tick();
            m_model->AddKeyedRow(id, sortColumn, cipher);
        };
        if (Streams()) {
            // The first screen soon, the rest when read and placed; the window answers meanwhile.
            m_listingTag = tag;
            // Every record's listing is about as long as the span of keys (gaps only widen it): the
            // rows and their keys are then made in room reserved at once.
            const auto [low, high] = RecordKeySpan(Conn);
            const std::size_t expected =
                typeNo < 0 ? static_cast<std::size_t>(std::min<qint64>(high - low + 1, 1 << 22)) : 0;
            m_listing->Start(Conn, {typeNo, fieldOf(sortColumn), sortColumn, m_collator, false,
                                    carry ? carried : std::shared_ptr<const CarriedRows>(), expected});
            return;
        }
        if (carry) {
            ReadRecordColumnExcept(
                Conn, typeNo, fieldOf(sortColumn),
                [&](qint64 id) {
                    QByteArrayView cipher;
                    if (!carried->Find(id, &cipher)) {
                        return false;
                    }
                    add(id, cipher);
                    return true;
                },
                add);
        } else {
            ReadRecordColumn(Conn, typeNo, fieldOf(sortColumn), add);
        }
        m_model->SetTag(tag); // only a complete listing is worth keeping
        return;
    }
    const SearchFields searched = SearchedFields();
    if (searched.columns.size() == 1 && !searched.url && !searched.NeedsDetails() && chkMatchCase->isChecked()) {
        // One field, letter for letter: compared on the stored bytes, without deciphering.
        const CipherTextFinder finder(txtValue->text().trimmed());
        ReadRecordColumns(Conn, fieldOf(sortColumn), searched.columns.first(),
                          [&](qint64 id, QByteArrayView sortCipher, QByteArrayView fieldCipher) {
                              tick();
                              if (finder.Matches(fieldCipher)) {
                                  m_model->AddKeyedRow(id, sortColumn, sortCipher);
                              }
                          });
        return;
    }
    SearchRecords(
        Conn, txtValue->text().trimmed(), chkMatchCase->isChecked(), searched, fieldOf(sortColumn),
        [&](qint64 id, QByteArrayView sortCipher) { m_model->AddKeyedRow(id, sortColumn, sortCipher); },
        [&tick] {
            tick();
            return true;
        });
}

void frmMain::ShowSavedRecord(qint64 pwdId, qint64 typeNo)
{
    // The book has put the row in place when the list shows its type; else the type is shown.
    QTreeWidgetItem* node = TreeView1->NodeOfType(typeNo);
    if (node != nullptr && (node != TreeView1->currentItem() || ListMode() != RecordListModel::Mode::Records)) {
        SelectNode(node);
        LoadListData(node, QString());
    } else if (node == nullptr) {
        LoadTreeData(QLatin1Char('_') + QString::number(typeNo));
    }
    SelectSavedRow(pwdId);
}

void frmMain::LoadListData(QTreeWidgetItem* node, const QString& selectKey)
{
    if (node == nullptr) {
        return;
    }
    if (m_listedStage == 0) {
        m_listing->Stop(); // a new listing abandons the one under way, and a re-sort
        m_resortKey = -1;
    }
    BusyProgress progress(this, General("20002", "Loading"));
    m_model->SetTicker([&progress] { progress.Step(0, 0); });
    const auto noTicker = qScopeGuard([this] { m_model->SetTicker({}); });
    SetPanel(1, General("20002", "Loading"));
    m_msgBar->hide();
    try {
        if (ListMode() != RecordListModel::Mode::None && m_model->columnCount() > 0) {
            SaveColumnState();
        }
        SetSorted(false);
        const TypeTree::NodeKind kind = TypeTree::KindOf(node);
        Recordset rs;
        if (kind == TypeTree::NodeKind::Root) {
            ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
            const QString section = objectName();
            m_model->Begin(RecordListModel::Mode::Types,
                           {{GetLangString(section, QStringLiteral("40002"), QStringLiteral("Type"))},
                            {GetLangString(section, QStringLiteral("40004"), QStringLiteral("Count")), Qt::AlignRight,
                             true, QColor(255, 0, 0)},
                            {GetLangString(section, QStringLiteral("40003"), QStringLiteral("Description"))}},
                           QIcon(QStringLiteral(":/icons/item.png")));
            const int tx = TwipsPerPixelX(this);
            m_pendingWidths = {TwipsToPixels(1440, tx), TwipsToPixels(800, tx), TwipsToPixels(1440, tx)};
            OpenTypeCounts(rs, Conn);
            const int typeNo = rs.FieldIndex(u"TypeNo");
            const int typeName = rs.FieldIndex(u"TypeName");
            const int count = rs.FieldIndex(u"RecCnt");
            const int description = rs.FieldIndex(u"Description");
            for (; !rs.IsEOF(); rs.MoveNext()) {
                m_model->AddRow(rs.Integer(typeNo), {rs.Text(typeName), rs.Text(count), rs.Text(description)});
            }
        } else {
            const bool search = kind == TypeTree::NodeKind::Search;
            ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
            AddRecordColumns(search);
            FillRecordRows(search ? -1 : TypeTree::NumberOf(TypeTree::KeyOf(node)), progress);
        }
        ReleaseRecordset(rs);
        m_model->End();
        ListView1->ResizeColumnsAtOnce([this] {
            const QScopedValueRollback sizing(m_sizingColumns, true);
            QHeaderView* header = ListView1->header();
            for (int i = 0; i < m_pendingWidths.size() && i < header->count(); ++i) {
                header->resizeSection(i, m_pendingWidths[i]);
            }
            LoadColumnState();
            // With nothing stored, or only a fit the user never changed, the columns show what
            // they hold in the room the list has now: a fit made in a small window first opened
            // must not stay as the widths of the maximised one.
            const ColumnLayout layout = Layout();
            m_columnsFitted = !layout.HasWidths() || layout.Fitted();
            if (m_columnsFitted) {
                FitColumns();
            }
        });
        SetSorted(true);
        const bool streaming = m_listing->IsRunning();
        if (kind == TypeTree::NodeKind::Search && m_model->rowCount() == 0 && !streaming) {
            m_msgBar->SetText(GetLangString(objectName(), QStringLiteral("30005"), QStringLiteral("No records")));
            LayoutMsgBar();
            m_msgBar->show();
            m_msgBar->raise();
        }
        ListSorter().SetHeaderIcons(m_sortKey, m_sortOrder);
        SelectListItem(m_model->RowOfKey(selectKey));
        SetPanel(1, streaming ? General("20002", "Loading") : General("20003", "Ready"));
    } catch (...) {
        if (m_model->IsFilling()) {
            m_model->End(); // the rows read so far stay visible
        }
        ShowError(this);
        SetPanel(1, General("10001", "Error"));
        return;
    }
    UpdateCommandState();
}

bool frmMain::Streams()
{
    const auto [low, high] = RecordKeySpan(Conn);
    return high - low + 1 > StreamFrom && !Conn.InTransaction();
}

void frmMain::ShowListed(bool finished, const QString& error)
{
    const BackgroundListing::Request& request = m_listing->Current();
    if (request.resort) {
        FinishResort(error);
        return;
    }
    // Shown only where it was asked for: the same node, and for every record the plain listing.
    QTreeWidgetItem* node = TreeView1->currentItem();
    const TypeTree::NodeKind kind = TreeView1->CurrentKind();
    const bool same =
        node != nullptr && ListMode() == RecordListModel::Mode::Records &&
        (request.typeNo < 0 ? kind == TypeTree::NodeKind::Search && txtValue->text() == SearchPrompt
                            : kind == TypeTree::NodeKind::Type && TreeView1->CurrentTypeNo() == request.typeNo);
    if (!same) {
        m_listing->Stop();
        return;
    }
    if (!error.isEmpty()) {
        SetPanel(1, General("10001", "Error"));
        MsgWarning(this, error); // the first rows stay
        return;
    }
    // The rows the user selected and the current one stay so while the list fills in.
    std::vector<qint64> selected;
    if (const QList<int> rows = SelectedRows(ListView1); rows.size() <= 1000) {
        for (const int row : rows) {
            selected.push_back(m_model->Id(row));
        }
    }
    const qint64 current = m_model->Id(ListView1->currentIndex().row());
    const qint64 top = m_model->Id(ListView1->indexAt(QPoint(0, 0)).row());
    const bool focused = ListView1->hasFocus();
    m_listedStage = finished ? 2 : 1;
    const auto done = qScopeGuard([this] { m_listedStage = 0; });
    LoadListData(node, QString());
    QItemSelection selection;
    for (const qint64 id : selected) {
        if (const int row = m_model->RowOf(id); row >= 0) {
            selection.select(m_model->index(row, 0), m_model->index(row, m_model->columnCount() - 1));
        }
    }
    ListView1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const int row = m_model->RowOf(current); row >= 0) {
        ListView1->selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
    }
    // Scrolled to once the view has laid out the rows anew, on a timer: for a million rows the
    // laying out alone takes most of what the window may spend without answering, and a timer
    // lets input and painting in first, which a queued call would not.
    const qint64 shown = current >= 0 ? current : top;
    QTimer::singleShot(1, this, [this, shown] {
        if (const int row = m_model->RowOf(shown); row >= 0) {
            ListView1->scrollTo(m_model->index(row, 0));
        }
    });
    if (focused) {
        ListView1->setFocus(Qt::OtherFocusReason);
    }
    UpdateCommandState();
}

void frmMain::RunSearch()
{
    StopSearch();
    PlaySoundRes(SoundClick);
    QTreeWidgetItem* search = TreeView1->NodeByKey(QStringLiteral("SearchResult"));
    if (search != nullptr && TreeView1->currentItem() != search) {
        m_nodeBeforeSearch = TreeView1->CurrentKey(); // where Escape in the search box goes back to
    }
    SelectNode(search);
    if (search != nullptr && txtValue->text() != SearchPrompt && Streams()) {
        StartSearch(); // a large book is searched on a thread of its own: the window answers meanwhile
        return;
    }
    LoadListData(TreeView1->currentItem(), QString());
}
