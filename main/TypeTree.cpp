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

// A node carries what it is and its type's number; the design's string key is made from them
// when asked for.
class Node : public QTreeWidgetItem
{
public:
    Node(TypeTree::NodeKind kind, qint64 typeNo, const QString& text)
        : QTreeWidgetItem(QStringList{text}), m_kind(kind), m_typeNo(typeNo)
    {
    }
    TypeTree::NodeKind Kind() const { return m_kind; }
    qint64 TypeNo() const { return m_typeNo; }
    QVariant data(int column, int role) const override
    {
        switch (role) {
        case TypeTree::KeyRole:
            return m_kind == TypeTree::NodeKind::Root     ? RootKey
                   : m_kind == TypeTree::NodeKind::Search ? SearchKey
                                                          : QLatin1Char('_') + QString::number(m_typeNo);
        case TypeTree::KindRole:
            return static_cast<int>(m_kind);
        case TypeTree::TypeNoRole:
            return m_typeNo;
        default:
            return QTreeWidgetItem::data(column, role);
        }
    }

private:
    TypeTree::NodeKind m_kind;
    qint64 m_typeNo;
};

const Node* AsNode(const QTreeWidgetItem* item)
{
    return dynamic_cast<const Node*>(item);
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
    QTreeWidgetItem* root = new Node(NodeKind::Root, -1, text);
    root->setIcon(0, NodeIcon("root"));
    addTopLevelItem(root);
    root->setExpanded(true);
    return root;
}

QTreeWidgetItem* TypeTree::NewTypeNode(qint64 typeNo, const QString& name)
{
    static const QIcon icon = NodeIcon("item", "item2");
    QTreeWidgetItem* node = new Node(NodeKind::Type, typeNo, name);
    node->setIcon(0, icon);
    return node;
}

QTreeWidgetItem* TypeTree::AddSearchNode(const QString& text)
{
    QTreeWidgetItem* search = new Node(NodeKind::Search, -1, text);
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
    const NodeKind kind = key == RootKey       ? NodeKind::Root
                          : key == SearchKey   ? NodeKind::Search
                          : NumberOf(key) >= 0 ? NodeKind::Type
                                               : NodeKind::None;
    if (kind == NodeKind::Type) {
        return NodeOfType(NumberOf(key));
    }
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (kind != NodeKind::None && KindOf(topLevelItem(i)) == kind) {
            return topLevelItem(i);
        }
    }
    return nullptr;
}

QTreeWidgetItem* TypeTree::NodeOfType(qint64 typeNo) const
{
    QTreeWidgetItem* root = topLevelItem(0);
    if (KindOf(root) != NodeKind::Root) {
        return nullptr;
    }
    // The nodes are in key order.
    int low = 0;
    int high = root->childCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (TypeNoOf(root->child(middle)) < typeNo) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    QTreeWidgetItem* node = root->child(low);
    return TypeNoOf(node) == typeNo ? node : nullptr;
}

bool TypeTree::SetTypes(const std::vector<std::pair<qint64, QString>>& types)
{
    QTreeWidgetItem* root = topLevelItem(0);
    if (KindOf(root) != NodeKind::Root) {
        return false;
    }
    bool currentStays = true;
    int at = 0;
    for (const auto& [typeNo, name] : types) {
        // Nodes of types that went before this one go.
        while (at < root->childCount() && TypeNoOf(root->child(at)) < typeNo) {
            QTreeWidgetItem* gone = root->child(at);
            if (gone == m_dropNode) {
                SetDropHighlight(nullptr);
            }
            currentStays = currentStays && gone != currentItem();
            delete gone;
        }
        QTreeWidgetItem* node = root->child(at);
        if (TypeNoOf(node) == typeNo) {
            if (node->text(0) != name) {
                node->setText(0, name);
            }
        } else {
            root->insertChild(at, NewTypeNode(typeNo, name));
        }
        ++at;
    }
    while (root->childCount() > at) {
        QTreeWidgetItem* gone = root->child(at);
        if (gone == m_dropNode) {
            SetDropHighlight(nullptr);
        }
        currentStays = currentStays && gone != currentItem();
        delete gone;
    }
    return currentStays;
}

QString TypeTree::KeyOf(const QTreeWidgetItem* node)
{
    return node != nullptr ? node->data(0, KeyRole).toString() : QString();
}

TypeTree::NodeKind TypeTree::KindOf(const QTreeWidgetItem* node)
{
    const Node* own = AsNode(node);
    return own != nullptr ? own->Kind() : NodeKind::None;
}

qint64 TypeTree::TypeNoOf(const QTreeWidgetItem* node)
{
    const Node* own = AsNode(node);
    return own != nullptr && own->Kind() == NodeKind::Type ? own->TypeNo() : -1;
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
