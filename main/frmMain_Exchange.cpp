// Contacts in and out of the book: what the import, export and print commands act on, taken from
// the tree and the list; the commands themselves are ExchangeCommands and ListPrinter.
#include "main/frmMain.h"

#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QTreeWidget>

#include "core/Language.h"
#include "exchange/ContactExchange.h"
#include "main/CardPrinter.h"
#include "main/ExchangeCommands.h"
#include "main/ListPrinter.h"
#include "main/ListViewEnh.h"
#include "main/RecordListModel.h"
#include "store/Connection.h"
#include "ui/Common.h"
#include "ui/Platform.h"

void frmMain::ImportContacts()
{
    ImportFrom({});
}

void frmMain::ImportFile(const QString& fileName)
{
    ImportFrom({fileName});
}

void frmMain::ImportFiles(const QStringList& fileNames)
{
    if (!fileNames.isEmpty()) {
        ImportFrom(fileNames);
    }
}

void frmMain::ImportFrom(const QStringList& fileNames)
{
    // Contacts without a type of their own go to the type selected, else to a new "Imported".
    const QTreeWidgetItem* node = TreeView1->currentItem();
    const QString defaultType = TypeTree::KindOf(node) == TypeTree::NodeKind::Type ? node->text(0) : QString();
    ExchangeCommands commands(this);
    try {
        const std::optional<qint64> firstType = fileNames.isEmpty()
                                                    ? commands.Import(CommandTitle(mnuImport), defaultType)
                                                    : commands.ImportFiles(fileNames, defaultType);
        // The book has added the nodes and rows; the first type that received contacts is shown.
        if (QTreeWidgetItem* shown = firstType ? TreeView1->NodeOfType(*firstType) : nullptr) {
            SelectNode(shown);
            LoadListData(shown, QString());
        }
    } catch (...) {
        ShowError(this);
        Refresh();
    }
}

void frmMain::ExportContacts()
{
    // The selected rows; else the type shown; else every record, or the search result.
    ExchangeCommands::Scope scope;
    const QTreeWidgetItem* node = TreeView1->currentItem();
    const TypeTree::NodeKind kind = TypeTree::KindOf(node);
    const QList<int> selected = SelectedRows(ListView1);
    if (ListMode() == RecordListModel::Mode::Records && !selected.isEmpty()) {
        scope.ids.emplace();
        for (const int row : selected) {
            scope.ids->insert(ListModel()->Id(row));
        }
    } else if (kind == TypeTree::NodeKind::Search) {
        scope.ids.emplace();
        for (int row = 0; row < ListModel()->rowCount(); ++row) {
            scope.ids->insert(ListModel()->Id(row));
        }
    } else if (kind == TypeTree::NodeKind::Type) {
        scope.typeNo = TypeTree::NumberOf(TypeTree::KeyOf(node));
    }
    try {
        ExchangeCommands(this).Export(CommandTitle(mnuExport), scope);
    } catch (...) {
        ShowError(this);
    }
}

void frmMain::PrintList()
{
    // The heading names the type shown, or the search text.
    const QTreeWidgetItem* node = TreeView1->currentItem();
    QString heading = node != nullptr ? node->text(0) : QString();
    if (TypeTree::KindOf(node) == TypeTree::NodeKind::Search && txtValue->text() != SearchPrompt) {
        heading += QStringLiteral(": ") + txtValue->text().trimmed();
    }
    const ListPrinter printer(ListView1, heading,
                              GetLangString(objectName(), QStringLiteral("50027"), QStringLiteral("Page %1 of %2")));
    ThePlatform().PrintPreview(this, [&printer](QPrinter* target) { printer.Render(target); });
}

void frmMain::AddCardPrintMenu(QMenu* parent, const char* name)
{
    // "Print Address Cards", offered while contacts are selected, with how many go on a page.
    QMenu* menu = SubMenu(parent, name, "74010");
    const QString prefix = QLatin1String(name) + QStringLiteral("_");
    for (const auto& [perPage, key] : {std::pair{1, "74011"}, {2, "74012"}, {4, "74013"}}) {
        QAction* action = MenuItem(menu, "", key);
        action->setObjectName(prefix + QString::number(perPage));
        connect(action, &QAction::triggered, this, [this, perPage = perPage] { PrintCards(perPage); });
    }
    connect(parent, &QMenu::aboutToShow, this, [this, menu] {
        menu->menuAction()->setEnabled(ListMode() == RecordListModel::Mode::Records &&
                                       !SelectedRows(ListView1).isEmpty());
    });
}

void frmMain::PrintCards(int perPage)
{
    const QList<int> rows = SelectedRows(ListView1);
    if (ListMode() != RecordListModel::Mode::Records || rows.isEmpty()) {
        return;
    }
    try {
        // Read by key, as the pane reads one: a few contacts of a large book cost a few reads.
        // They print in the list's order.
        QList<qint64> ids;
        for (const int row : rows) {
            ids.append(ListModel()->Id(row));
        }
        QList<ContactCard> cards = ReadContactsByKey(Conn, ids);
        const CardPrinter printer(
            std::move(cards), perPage,
            GetLangString(objectName(), QStringLiteral("50027"), QStringLiteral("Page %1 of %2")));
        ThePlatform().PrintPreview(this, [&printer](QPrinter* target) { printer.Render(target); });
    } catch (...) {
        ShowError(this);
    }
}
