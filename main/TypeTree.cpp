#include "main/TypeTree.h"

#include <QDropEvent>
#include <QMimeData>

#include "main/DragText.h"
#include "ui/Colours.h"

namespace {

const QString RootKey = QStringLiteral("Root");
const QString SearchKey = QStringLiteral("SearchResult");

QIcon NodeIcon(const char* normal, const char* selected = nullptr)
{
    QIcon icon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(normal)));
    if (selected != nullptr) {
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1String(selected)), {}, QIcon::Selected);
    }
    return icon;
}

QTreeWidgetItem* Node(TypeTree::NodeKind kind, const QString& key, const QString& text)
{
    auto* node = new QTreeWidgetItem({text});
    node->setData(0, TypeTree::KeyRole, key);
    node->setData(0, TypeTree::KindRole, static_cast<int>(kind));
    return node;
}

} // namespace

TypeTree::TypeTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

QTreeWidgetItem* TypeTree::AddRoot(const QString& text)
{
    QTreeWidgetItem* root = Node(NodeKind::Root, RootKey, text);
    root->setIcon(0, NodeIcon("root"));
    addTopLevelItem(root);
    root->setExpanded(true);
    return root;
}

QTreeWidgetItem* TypeTree::NewTypeNode(qint64 typeNo, const QString& name)
{
    static const QIcon icon = NodeIcon("item", "item2");
    QTreeWidgetItem* node = Node(NodeKind::Type, QLatin1Char('_') + QString::number(typeNo), name);
    node->setIcon(0, icon);
    return node;
}

QTreeWidgetItem* TypeTree::AddSearchNode(const QString& text)
{
    QTreeWidgetItem* search = Node(NodeKind::Search, SearchKey, text);
    search->setIcon(0, NodeIcon("search"));
    search->setForeground(0, SearchNodeColour());
    addTopLevelItem(search);
    return search;
}

void TypeTree::Clear()
{
    SetDropHighlight(nullptr); // the node it marks is about to go
    clear();
}

QTreeWidgetItem* TypeTree::NodeByKey(const QString& key) const
{
    for (QTreeWidgetItemIterator it(const_cast<TypeTree*>(this)); *it != nullptr; ++it) {
        if (KeyOf(*it) == key) {
            return *it;
        }
    }
    return nullptr;
}

QString TypeTree::KeyOf(const QTreeWidgetItem* node)
{
    return node != nullptr ? node->data(0, KeyRole).toString() : QString();
}

TypeTree::NodeKind TypeTree::KindOf(const QTreeWidgetItem* node)
{
    return node != nullptr ? static_cast<NodeKind>(node->data(0, KindRole).toInt()) : NodeKind::None;
}

qint64 TypeTree::NumberOf(const QString& key)
{
    bool ok = false;
    const qint64 number = key.startsWith(u'_') ? QStringView(key).mid(1).toLongLong(&ok) : 0;
    return ok ? number : -1;
}

QTreeWidgetItem* TypeTree::TargetOf(QDropEvent* event) const
{
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    const bool ours = m_dragIds.has_value() && (event->possibleActions() & Qt::MoveAction);
    // The root, the search node and empty space take nothing.
    return ours && KindOf(node) == NodeKind::Type ? node : nullptr;
}

void TypeTree::ReadDrag(const QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    m_dragIds = mime != nullptr && mime->hasText() ? ParseDragText(mime->text()) : std::nullopt;
}

bool TypeTree::Answer(QDropEvent* event, QTreeWidgetItem* target)
{
    if (target == nullptr) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    return true;
}

void TypeTree::dragEnterEvent(QDragEnterEvent* event)
{
    ReadDrag(event); // once per drag, not on every move of the pointer: it can carry 100,000 keys
    dragMoveEvent(event);
}

void TypeTree::dragMoveEvent(QDragMoveEvent* event)
{
    QTreeWidgetItem* node = TargetOf(event);
    SetDropHighlight(node);
    Answer(event, node);
}

void TypeTree::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropHighlight(nullptr);
    event->accept();
}

void TypeTree::dropEvent(QDropEvent* event)
{
    if (!m_dragIds) {
        ReadDrag(event); // a careless source can drop without a drag-enter
    }
    QTreeWidgetItem* node = TargetOf(event);
    const std::optional<QList<qint64>> ids = std::exchange(m_dragIds, std::nullopt);
    SetDropHighlight(nullptr);
    if (Answer(event, node)) {
        emit RecordsDropped(*ids, KeyOf(node));
    }
}

void TypeTree::SetDropHighlight(QTreeWidgetItem* node)
{
    if (m_dropNode == node) {
        return;
    }
    if (m_dropNode != nullptr) {
        m_dropNode->setData(0, Qt::BackgroundRole, QVariant());
        m_dropNode->setData(0, Qt::ForegroundRole, QVariant());
    }
    m_dropNode = node;
    if (node != nullptr) {
        node->setBackground(0, palette().highlight());
        node->setForeground(0, palette().highlightedText());
    }
}

QColor TypeTree::SearchNodeColour() const
{
    return ReadableOn(QColor(0, 0, 255), palette().color(QPalette::Base));
}

void TypeTree::changeEvent(QEvent* event)
{
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        if (QTreeWidgetItem* search = NodeByKey(SearchKey); search != nullptr) {
            search->setForeground(0, SearchNodeColour());
        }
    }
}
