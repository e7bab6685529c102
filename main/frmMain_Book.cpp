// Following the address book: the list, the tree and the Undo and Redo entries brought up to date
// with each change, whoever made it.
#include "main/frmMain.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMetaObject>
#include <QScopeGuard>
#include <QUndoStack>

#include <algorithm>

#include "book/AddressBook.h"
#include "core/Language.h"
#include "core/TextUtil.h"
#include "main/BackgroundListing.h"
#include "main/CarriedRows.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Database.h"
#include "ui/Common.h"

namespace {

constexpr int RecordColumns = 8;
// More changed rows than this and the list is read again: one read beats many placements.
constexpr qsizetype PlacedOneByOne = 64;

} // namespace

void frmMain::WireBook()
{
    AddressBook& book = TheBook();
    connect(&book, &AddressBook::ContactsAdded, this, &frmMain::Book_ContactsShown);
    connect(&book, &AddressBook::ContactsChanged, this, &frmMain::Book_ContactsShown);
    connect(&book, &AddressBook::ContactsMoved, this, &frmMain::Book_ContactsMoved);
    connect(&book, &AddressBook::ContactsRemoved, this, &frmMain::Book_ContactsRemoved);
    connect(&book, &AddressBook::TypesChanged, this, &frmMain::Book_TypesChanged);
    connect(&book, &AddressBook::CountsChanged, this, &frmMain::Book_CountsChanged);
    connect(&book, &AddressBook::ContactSaved, this, [this](qint64 pwdId, qint64 typeNo) {
        try {
            ShowSavedRecord(pwdId, typeNo);
        } catch (...) {
            ShowError(this);
        }
    });
    connect(&book, &AddressBook::TypeSaved, this, [this](qint64 typeNo) {
        // The saved type selected, and its records listed.
        if (QTreeWidgetItem* node = TreeView1->NodeOfType(typeNo)) {
            SelectNode(node);
            LoadListData(node, QString());
        }
    });
    connect(&book, &AddressBook::AccountChanged, this, &frmMain::ShowUser);
    // A listing still being read holds the book against any write (a save in an editor, an undo,
    // an import): it gives way, and the list is read again once the change is known.
    connect(&book, &AddressBook::AboutToWrite, this, [this] {
        if (StopListing()) {
            m_relistAfterWrite = true;
            // Most changes list again as they are told; a write that changed no contact (a type
            // renamed) or failed does it once the write has returned.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_relistAfterWrite) {
                        RestartListing();
                    }
                },
                Qt::QueuedConnection);
        }
    });
    QUndoStack* history = book.History();
    connect(history, &QUndoStack::indexChanged, this, &frmMain::UpdateUndoActions);
    connect(history, &QUndoStack::cleanChanged, this, &frmMain::UpdateUndoActions);
    connect(mnuUndo, &QAction::triggered, this, [this] { StepHistory(false); });
    connect(mnuRedo, &QAction::triggered, this, [this] { StepHistory(true); });
    UpdateUndoActions();
}

bool frmMain::StopListing()
{
    const bool partial = m_listing->IsRunning() && !m_listing->Current().resort;
    m_listing->Stop();
    m_resortKey = -1;
    return partial;
}

bool frmMain::RestartListing()
{
    const bool stopped = std::exchange(m_relistAfterWrite, false);
    if (!(stopped || (m_listing->IsRunning() && !m_listing->Current().resort)) ||
        ListMode() != RecordListModel::Mode::Records) {
        return false;
    }
    // What the listing under way read may predate the change: it is read again, from the
    // change on.
    const QString current = CurrentRow() >= 0 ? m_model->Key(CurrentRow()) : QString();
    LoadListData(TreeView1->currentItem(), current);
    return true;
}

void frmMain::Book_ContactsShown(const QList<qint64>& ids)
{
    m_carried.reset(); // what a move carried may have changed since
    if (RestartListing()) {
        return;
    }
    if (ListMode() != RecordListModel::Mode::Records || ids.isEmpty()) {
        return;
    }
    const TypeTree::NodeKind kind = TreeView1->CurrentKind();
    const qint64 shownType = TreeView1->CurrentTypeNo();
    if (kind == TypeTree::NodeKind::Type && ids.size() > PlacedOneByOne) {
        LoadListData(TreeView1->currentItem(), QString());
        return;
    }
    QStringList fields;
    for (int c = 0; c < RecordColumns; ++c) {
        fields.append(RecordFieldName(c));
    }
    fields.append(QStringLiteral("TypeNo"));
    struct Row
    {
        qint64 id;
        qint64 typeNo;
        std::vector<QByteArray> texts;
        bool webAddress;
    };
    std::vector<Row> rows;
    std::vector<qint64> wanted;
    for (const qint64 id : ids) {
        // A search result shows what was found then: only the rows it holds change.
        if (kind == TypeTree::NodeKind::Type || m_model->RowOf(id) >= 0) {
            wanted.push_back(id);
        }
    }
    if (wanted.empty()) {
        return;
    }
    ReadRecordsById(Conn, fields, wanted, [&](const RowView& row) {
        Row r{row.Integer(0), row.Integer(RecordColumns + 1), {}, false};
        for (int c = 0; c < RecordColumns; ++c) {
            r.texts.push_back(row.Bytes(c + 1).toByteArray());
        }
        r.webAddress = !WebAddressOf(Utf8Text(row.Bytes(RecordColumns + 2))).isEmpty();
        rows.push_back(std::move(r));
    });
    const int sortColumn = IsSorted() ? ListView1->header()->sortIndicatorSection() : -1;
    const Qt::SortOrder order = ListView1->header()->sortIndicatorOrder();
    const auto commands = qScopeGuard([this] { UpdateCommandState(); });
    for (const Row& r : rows) {
        if (kind == TypeTree::NodeKind::Type && r.typeNo != shownType) {
            m_model->RemoveIds({r.id}); // it went to another type
            continue;
        }
        QByteArrayView cipherTexts[RecordColumns];
        std::copy(r.texts.begin(), r.texts.end(), cipherTexts);
        if (!m_model->PutRecord(r.id, cipherTexts, r.webAddress, sortColumn, order)) {
            // Only a reload places it.
            LoadListData(TreeView1->currentItem(), QString());
            return;
        }
    }
}

void frmMain::Book_ContactsMoved(const QList<qint64>& ids, qint64 typeNo)
{
    // The sort texts the list holds of the moved records go along, for the target's listing.
    m_carried.reset();
    if (ListMode() == RecordListModel::Mode::Records && !ids.isEmpty()) {
        auto carried = std::make_shared<CarriedRows>(typeNo, m_recordSortKey);
        // Taken in key order, the order the list holds its texts in: in the order of the rows
        // selected they are all over its memory, and 100,000 of them took 30 ms of waiting on it.
        QList<qint64> sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        QByteArrayView text;
        for (const qint64 id : sorted) {
            if (m_model->HeldText(id, m_recordSortKey, &text)) {
                if (carried->Count() == 0) {
                    carried->Reserve(static_cast<std::size_t>(ids.size()), static_cast<std::size_t>(text.size()) + 8);
                }
                carried->Add(id, text);
            }
        }
        carried->Seal();
        if (carried->Count() > 0) {
            m_carried = std::move(carried);
        }
    }
    if (ListMode() != RecordListModel::Mode::Records || TreeView1->CurrentKind() != TypeTree::NodeKind::Type) {
        return; // a search result shows no types
    }
    if (TreeView1->CurrentTypeNo() == typeNo) {
        Book_ContactsShown(ids); // moved here: their rows are read
        return;
    }
    // Moved away: the move says all there is to know.
    m_model->RemoveIds(ids);
    RestartListing();
    UpdateCommandState();
}

void frmMain::Book_ContactsRemoved(const QList<qint64>& ids)
{
    m_carried.reset();
    if (ListMode() == RecordListModel::Mode::Records) {
        m_model->RemoveIds(ids);
        RestartListing();
        UpdateCommandState();
    }
}

void frmMain::Book_TypesChanged()
{
    std::vector<std::pair<qint64, QString>> types;
    try {
        Recordset rs;
        OpenTypes(rs, Conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            types.emplace_back(rs.Integer(u"TypeNo"), rs.Text(u"TypeName"));
        }
        ReleaseRecordset(rs);
    } catch (...) {
        ShowError(this);
        return;
    }
    const bool loading = std::exchange(m_loadingTree, true);
    const bool currentStays = TreeView1->SetTypes(types);
    m_loadingTree = loading;
    if (!currentStays) {
        // The type shown went: the types are shown instead.
        QTreeWidgetItem* root = TreeView1->NodeByKey(QStringLiteral("Root"));
        SelectNode(root);
        LoadListData(root, QString());
    } else if (ListMode() == RecordListModel::Mode::Types) {
        Book_CountsChanged();
    }
}

void frmMain::Book_CountsChanged()
{
    if (ListMode() != RecordListModel::Mode::Types) {
        return;
    }
    // The list of types is short: read again, with the same type selected.
    const qint64 selected = CurrentRow() >= 0 ? m_model->Id(CurrentRow()) : -1;
    LoadListData(TreeView1->NodeByKey(QStringLiteral("Root")), QString());
    if (const int row = m_model->RowOf(selected); row >= 0) {
        SelectListItem(row);
    }
}

void frmMain::UpdateUndoActions()
{
    const QUndoStack* history = TheBook().History();
    auto caption = [this](const char* key, const char* english, const char* plainKey, const char* plain,
                          const QString& step) {
        return step.isEmpty() ? GetLangString(objectName(), QLatin1String(plainKey), QLatin1String(plain))
                              : GetLangString(objectName(), QLatin1String(key), QLatin1String(english))
                                    .replace(QLatin1String("%step%"), step);
    };
    const QString undo = caption("66101", "&Undo %step%", "66103", "&Undo", history->undoText());
    const QString redo = caption("66102", "&Redo %step%", "66104", "&Redo", history->redoText());
    // The menu shows the step; the toolbar's button its short caption, with the step as its hint.
    for (auto [action, text, button, english] :
         {std::tuple{mnuUndo, undo, "66105", "Undo"}, std::tuple{mnuRedo, redo, "66106", "Redo"}}) {
        action->setText(text);
        action->setIconText(GetLangString(objectName(), QLatin1String(button), QLatin1String(english)));
        action->setToolTip(QString(text).remove(QLatin1Char('&')));
    }
    mnuUndo->setEnabled(history->canUndo());
    mnuRedo->setEnabled(history->canRedo());
}

void frmMain::StepHistory(bool forward)
{
    QUndoStack* history = TheBook().History();
    if (forward ? !history->canRedo() : !history->canUndo()) {
        return;
    }
    try {
        const WaitCursor wait;
        if (forward) {
            history->redo();
        } else {
            history->undo();
        }
    } catch (...) {
        ShowError(this);
        Refresh(); // whatever happened, show what the book holds now
    }
}
