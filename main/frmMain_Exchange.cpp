// Contacts in and out of the book: import from vCard or CSV, export to them, print the list.
#include "main/frmMain.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>

#include "core/AppState.h"
#include "core/Language.h"
#include "core/SaveFile.h"
#include "exchange/ContactExchange.h"
#include "exchange/Csv.h"
#include "exchange/VCard.h"
#include "main/ListPrinter.h"
#include "main/RecordListModel.h"
#include "store/Connection.h"
#include "ui/Common.h"
#include "ui/Platform.h"

namespace {

constexpr qint64 MaxImportBytes = 256LL * 1024 * 1024;

// Shows itself only when the work takes longer than half a second.
class Progress
{
public:
    Progress(QWidget* parent, const QString& label, const QString& cancel) : m_dialog(label, cancel, 0, 100, parent)
    {
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
    }
    bool Step(int done, int total)
    {
        m_dialog.setMaximum(std::max(total, 1));
        m_dialog.setValue(done);
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

// Labels of what an import leaves out, in the user's language; property names stay as they are.
QString DroppedLabel(const QString& label)
{
    static const char* const keys[][2] = {
        {"second home phone", "50030"},
        {"second mobile phone", "50031"},
        {"second work phone", "50032"},
        {"other phone", "50033"},
        {"fax", "50034"},
        {"pager", "50035"},
        {"second web address", "50036"},
        {"second category", "50037"},
        {"second QQ", "50038"},
        {"second MSN", "50039"},
        {"second ICQ", "50040"},
        {"second name", "50041"},
        {"card without END", "50042"},
        {"unreadable line", "50043"},
        {"extra column", "50044"},
        {"unreadable character", "50047"},
    };
    const QString section = QStringLiteral("frmMain");
    for (const auto& [english, key] : keys) {
        if (label == QLatin1String(english)) {
            return GetLangString(section, QLatin1String(key), label);
        }
    }
    // Labels that carry a property or service name: "EMAIL (unreadable text)", "IM (xmpp)".
    static const QRegularExpression unreadable(QStringLiteral("^(.+) \\(unreadable text\\)$"));
    static const QRegularExpression im(QStringLiteral("^IM \\((.+)\\)$"));
    if (const QRegularExpressionMatch m = unreadable.match(label); m.hasMatch()) {
        return GetLangString(section, QStringLiteral("50048"), QStringLiteral("%1 (unreadable text)"))
            .arg(m.captured(1));
    }
    if (const QRegularExpressionMatch m = im.match(label); m.hasMatch()) {
        return GetLangString(section, QStringLiteral("50049"), QStringLiteral("IM (%1)")).arg(m.captured(1));
    }
    return label;
}

} // namespace

void frmMain::ImportContacts()
{
    const QString section = objectName();
    auto text = [&](const char* key, const char* english) {
        return GetLangString(section, QLatin1String(key), QLatin1String(english));
    };
    const QString fileName = ThePlatform().ChooseOpenFile(
        this, CommandTitle(mnuImport), text("50010", "Contacts") + QStringLiteral(" (*.vcf *.vcard *.csv)"));
    if (fileName.isEmpty()) {
        return;
    }
    QFile file(fileName);
    if (QFileInfo(fileName).size() > MaxImportBytes || !file.open(QIODevice::ReadOnly)) {
        MsgWarning(this, text("50024", "The file could not be read: %1").arg(QFileInfo(fileName).fileName()));
        return;
    }
    ContactFile contacts;
    {
        WaitCursor wait;
        contacts = ReadContactFile(file.readAll());
    }
    if (!contacts.error.isEmpty() || contacts.cards.isEmpty()) {
        MsgWarning(this, text("50019", "The file holds no contacts that can be read."));
        return;
    }
    try {
        const QTreeWidgetItem* node = TreeView1->currentItem();
        const bool typeSelected = TypeTree::KindOf(node) == TypeTree::NodeKind::Type;
        const QString defaultType = typeSelected ? node->text(0) : text("50011", "Imported");
        ImportPlan plan;
        {
            WaitCursor wait;
            plan = PlanImport(Conn, contacts, defaultType);
        }

        // One question that says everything before anything is written.
        QStringList lines;
        lines << text("50012", "Import %count% contacts?")
                     .replace(QLatin1String("%count%"), QString::number(plan.toAdd.size()));
        QStringList types;
        for (auto it = plan.perType.constBegin(); it != plan.perType.constEnd(); ++it) {
            types << QStringLiteral("%1 (%2%3)")
                         .arg(it.key())
                         .arg(it.value())
                         .arg(plan.newTypes.contains(it.key()) ? QStringLiteral(", ") + text("50014", "new")
                                                               : QString());
        }
        if (!types.isEmpty()) {
            lines << text("50013", "Types: %list%").replace(QLatin1String("%list%"), types.join(QStringLiteral(", ")));
        }
        auto count = [&](int n, const char* key, const char* english) {
            if (n > 0) {
                lines << text(key, english).replace(QLatin1String("%count%"), QString::number(n));
            }
        };
        count(plan.alreadyThere, "50015", "Skipped, the name is already in the address book: %count%");
        count(plan.unnamed, "50016", "Skipped, no name: %count%");
        count(plan.unstorable, "50018", "Skipped, a value this system cannot store: %count%");
        // Values in a character set nobody knows are kept, read as the file's own text: said apart
        // from what is not kept.
        QMap<QString, int> dropped = plan.dropped;
        count(dropped.take(QStringLiteral("unknown character set")), "50046",
              "Read as the file's own text, their character set being unknown: %count%");
        if (!dropped.isEmpty()) {
            QStringList labels;
            for (auto it = dropped.constBegin(); it != dropped.constEnd(); ++it) {
                labels << QStringLiteral("%1 %2").arg(DroppedLabel(it.key())).arg(it.value());
            }
            lines << text("50017", "Not kept: %list%")
                         .replace(QLatin1String("%list%"), labels.join(QStringLiteral(", ")));
        }
        if (plan.toAdd.isEmpty()) {
            lines.first() = text("50020", "There is nothing to import.");
            MsgInformation(this, lines.join(QLatin1Char('\n')));
            return;
        }
        const bool confirmed = MsgConfirm(this, lines.join(QLatin1Char('\n')));
        PlaySoundRes(SoundClick);
        if (!confirmed) {
            return;
        }
        Progress progress(this, text("50021", "Importing contacts..."), text("50026", "Cancel"));
        const std::optional<qint64> firstType =
            ExecuteImport(Conn, plan, [&](int done, int total) { return progress.Step(done, total); });
        if (firstType) {
            LoadTreeData(QLatin1Char('_') + QString::number(*firstType));
        }
    } catch (...) {
        ShowError(this);
        Refresh();
    }
}

void frmMain::ExportContacts()
{
    const QString section = objectName();
    auto text = [&](const char* key, const char* english) {
        return GetLangString(section, QLatin1String(key), QLatin1String(english));
    };
    try {
        // The selected rows; else the type shown; else every record, or the search result.
        QList<ContactCard> cards;
        const QTreeWidgetItem* node = TreeView1->currentItem();
        const TypeTree::NodeKind kind = TypeTree::KindOf(node);
        QSet<qint64> ids;
        const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
        if (ListMode() == RecordListModel::Mode::Records && !selected.isEmpty()) {
            for (const QModelIndex& index : selected) {
                ids.insert(ListModel()->Id(index.row()));
            }
        } else if (kind == TypeTree::NodeKind::Search) {
            for (int row = 0; row < ListModel()->rowCount(); ++row) {
                ids.insert(ListModel()->Id(row));
            }
        }
        const QStringList filters = {QStringLiteral("vCard 4.0 (*.vcf)"), QStringLiteral("vCard 3.0 (*.vcf)"),
                                     QStringLiteral("CSV (*.csv)")};
        QString filter;
        QString fileName = ThePlatform().ChooseSaveFile(this, CommandTitle(mnuExport), filters, &filter);
        if (fileName.isEmpty()) {
            return;
        }
        const bool csv = filter == filters[2];
        if (QFileInfo(fileName).suffix().isEmpty()) {
            fileName += csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
        }
        QByteArray bytes;
        {
            Progress progress(this, text("50022", "Exporting contacts..."), text("50026", "Cancel"));
            bool cancelled = false;
            const bool byIds = !ids.isEmpty() || kind == TypeTree::NodeKind::Search;
            const std::optional<qint64> typeNo = !byIds && kind == TypeTree::NodeKind::Type
                                                     ? std::optional<qint64>(TypeTree::NumberOf(TypeTree::KeyOf(node)))
                                                     : std::nullopt;
            cards = ReadContacts(
                Conn, typeNo, byIds ? &ids : nullptr, [&](int done, int total) { return progress.Step(done, total); },
                &cancelled);
            if (cancelled) {
                return; // nothing written
            }
            bytes = csv ? WriteCsv(cards)
                        : WriteVCards(cards, filter == filters[1] ? VCardVersion::V30 : VCardVersion::V40);
        }
        // Written beside the target and renamed: a failure leaves any existing file as it was.
        QString error;
        if (!ReplaceFileContents(fileName, bytes, &error)) {
            MsgWarning(this, text("50023", "The file could not be written: %1").arg(error));
            return;
        }
        MsgInformation(this, text("50025", "%count% contacts exported.")
                                 .replace(QLatin1String("%count%"), QString::number(cards.size())));
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
