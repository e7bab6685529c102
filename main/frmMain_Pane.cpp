// The contact pane beside the list: its View menu entry, its place and width kept in the settings
// file, and the selection it follows.
#include "main/frmMain.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSplitter>

#include <algorithm>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/ContactPane.h"
#include "ui/FormState.h"

namespace {

constexpr int DefaultPaneWidth = 4500; // twips
constexpr int PaneMargin = 1500;       // twips the pane is at least wide
const QString PaneShownKey = QStringLiteral("ContactPane");
const QString PaneWidthKey = QStringLiteral("ContactPaneWidth");

// Never more than this of the room: a pane left wide on a larger screen must not hide the list.
int MaxPaneShare(int total)
{
    return total * 3 / 5;
}

} // namespace

void frmMain::BuildContactPane(QMenu* view)
{
    Pane = new ContactPane(TheBook(), this);
    Pane->setMinimumWidth(TwipsToPixels(PaneMargin, TwipsPerPixelX(this)));
    mnuContactPane = MenuItem(view, "mnuContactPane", "72002");
    mnuContactPane->setCheckable(true);
    mnuContactPane->setChecked(true);
    mnuContactPane->setShortcut(QKeySequence(Qt::Key_F3));
    connect(mnuContactPane, &QAction::toggled, this, [this](bool shown) {
        if (!shown) {
            m_paneTwips = PixelsToTwips(Pane->width(), TwipsPerPixelX(this));
        }
        Pane->setVisible(shown);
        if (shown) {
            const int total = PaneSplitter->width() - PaneSplitter->handleWidth();
            const int width = std::min(TwipsToPixels(m_paneTwips, TwipsPerPixelX(this)), MaxPaneShare(total));
            PaneSplitter->setSizes({total - width, width});
            FollowSelection(true); // it did not follow while hidden
        }
    });
    // A refilled list (a refresh, another type, a restored book) shows what the book holds now.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { FollowSelection(true); });
    // A row that leaves the list (deleted, moved to another type) is no longer what is selected.
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { FollowSelection(); });
}

void frmMain::FollowSelection(bool reread)
{
    if (Pane == nullptr || ListView1 == nullptr || !Pane->isVisibleTo(this)) {
        return;
    }
    // One selected contact row is shown; a type row, several rows or none show the placeholder.
    // The selection is a few ranges even after Select All of a million rows.
    int row = -1;
    qsizetype rows = 0;
    if (ListMode() == RecordListModel::Mode::Records) {
        for (const QItemSelectionRange& range : ListView1->selectionModel()->selection()) {
            rows += range.height();
            row = range.top();
            if (rows > 1) {
                break;
            }
        }
    }
    if (rows != 1 || row < 0 || row >= m_model->rowCount()) {
        Pane->ShowNothing();
        return;
    }
    const qint64 id = m_model->Id(row);
    if (reread && Pane->ShownId() == id) {
        Pane->Reload();
    } else {
        Pane->ShowContact(id);
    }
}

void frmMain::RestorePaneState()
{
    const QString section = objectName();
    const bool shown = IniToInt(ReadIni(section, PaneShownKey, QStringLiteral("1"), IniFile)).value_or(1) != 0;
    m_paneTwips =
        IniToInt(ReadIni(section, PaneWidthKey, QString::number(DefaultPaneWidth), IniFile)).value_or(DefaultPaneWidth);
    if (m_paneTwips < PaneMargin) {
        m_paneTwips = DefaultPaneWidth;
    }
    const int total = PaneSplitter->width() - PaneSplitter->handleWidth();
    const int width = std::min(TwipsToPixels(m_paneTwips, TwipsPerPixelX(this)), MaxPaneShare(total));
    PaneSplitter->setSizes({total - width, width});
    mnuContactPane->setChecked(shown);
    Pane->setVisible(shown);
}

std::pair<QString, QString> frmMain::PaneShownSetting() const
{
    return {PaneShownKey, Pane->isVisibleTo(this) ? QStringLiteral("1") : QStringLiteral("0")};
}

std::pair<QString, QString> frmMain::PaneWidthSetting() const
{
    const int twips = Pane->isVisibleTo(this) ? PixelsToTwips(Pane->width(), TwipsPerPixelX(this)) : m_paneTwips;
    return {PaneWidthKey, QString::number(twips)};
}
