#include "main/RecordListView.h"

#include <QDrag>
#include <QEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>

#include <algorithm>
#include <utility>

RecordListView::RecordListView(QWidget* parent) : QTableView(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setHeader(horizontalHeader());
    FitRowHeight();
}

void RecordListView::setHeader(QHeaderView* header)
{
    if (header != horizontalHeader()) {
        setHorizontalHeader(header);
    }
    // With whole rows selected every column holds a selected cell; the captions stay plain.
    header->setHighlightSections(false);
}

void RecordListView::setModel(QAbstractItemModel* model)
{
    for (const QMetaObject::Connection& connection : m_layoutOnChange) {
        disconnect(connection);
    }
    QTableView::setModel(model);
    if (model != nullptr) {
        const auto layOut = [this] { LayOutBeforePaint(); };
        m_layoutOnChange = {connect(model, &QAbstractItemModel::modelReset, this, layOut),
                            connect(model, &QAbstractItemModel::layoutChanged, this, layOut)};
    }
}

void RecordListView::LayOutBeforePaint()
{
    // The view lays out a list refilled or put in another order from a zero timer, which fires
    // after the next paint: the list was painted, then laid out and painted whole again (the first
    // time without the scroll bar a refill brings). A queued call comes before the paint, and
    // several changes in a row are laid out once.
    if (std::exchange(m_layoutQueued, true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_layoutQueued = false;
            executeDelayedItemsLayout();
        },
        Qt::QueuedConnection);
}

void RecordListView::ResizeColumnsAtOnce(const std::function<void()>& change)
{
    // The table view's own connection to its header, by name: it offers no other handle on it.
    const bool held =
        disconnect(horizontalHeader(), SIGNAL(sectionResized(int, int, int)), this, SLOT(columnResized(int, int, int)));
    const auto done = qScopeGuard([&] {
        if (held) {
            connect(horizontalHeader(), SIGNAL(sectionResized(int, int, int)), this,
                    SLOT(columnResized(int, int, int)));
        }
        doItemsLayout();
    });
    change();
}

int RecordListView::ContentsWidth(int column) const
{
    const QAbstractItemModel* rows = model();
    const int height = verticalHeader()->defaultSectionSize();
    if (rows == nullptr || height <= 0) {
        return 0;
    }
    const int first = std::max(0, rowAt(0));
    const int last = std::min(rows->rowCount() - 1, first + viewport()->height() / height);
    int widest = 0;
    for (int row = first; row <= last; ++row) {
        widest = std::max(widest, sizeHintForIndex(rows->index(row, column)).width());
    }
    return widest;
}

void RecordListView::FitRowHeight()
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = QStringLiteral("Xg");
    const int height = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height();
    if (height > 0 && height != verticalHeader()->defaultSectionSize()) {
        verticalHeader()->setDefaultSectionSize(height);
    }
}

void RecordListView::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        FitRowHeight();
    }
}

QModelIndex RecordListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    switch (cursorAction) {
    case MoveHome:
    case MoveEnd:
        // The first or last row, not the first or last column of this row.
        return QTableView::moveCursor(cursorAction, modifiers | Qt::ControlModifier);
    case MoveLeft:
    case MoveRight: {
        // Rows are chosen whole; the arrows show the columns off screen instead.
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() + (cursorAction == MoveLeft ? -bar->singleStep() : bar->singleStep()));
        return currentIndex();
    }
    default:
        return QTableView::moveCursor(cursorAction, modifiers);
    }
}

void RecordListView::startDrag(Qt::DropActions)
{
    const QString text = DragText ? DragText() : QString();
    if (text.isEmpty()) {
        return;
    }
    auto* mime = new QMimeData;
    mime->setText(text);
    QDrag drag(this);
    drag.setMimeData(mime);
    drag.exec(Qt::MoveAction, Qt::MoveAction);
    if (DragFinished) {
        DragFinished();
    }
}

void RecordListView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (!alternatingRowColors() || model() == nullptr) {
        return;
    }
    // The cells draw their own stripes; the part of each row right of the last column is drawn
    // here.
    const QHeaderView* columns = horizontalHeader();
    const int right = columns->length() - columns->offset();
    const int width = viewport()->width();
    if (right >= width) {
        return;
    }
    const QHeaderView* rows = verticalHeader();
    const int first = rows->visualIndexAt(0);
    if (first < 0) {
        return;
    }
    const int height = viewport()->height();
    const int count = model()->rowCount(rootIndex());
    QPainter painter(viewport());
    for (int row = first; row < count; ++row) {
        const int top = rows->sectionViewportPosition(row);
        if (top >= height) {
            break;
        }
        if ((row & 1) != 0) {
            painter.fillRect(QRect(right, top, width - right, rows->sectionSize(row)), palette().alternateBase());
        }
    }
}
