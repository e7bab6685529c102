#pragma once

#include <QList>
#include <QTreeWidget>

#include <optional>
#include <utility>
#include <vector>

// The type tree of the main window: the root, one node per type under it, the search node; what
// each node is and its type's number (its key as the design names it, "Root", "_" and the type's
// number, "SearchResult", is made only when asked for); and the drop of
// dragged records on a type node, which it highlights while the pointer is over it and reports
// as RecordsDropped. Anything that is not a record drag of this program is refused.
class TypeTree : public QTreeWidget
{
    Q_OBJECT

public:
    enum class NodeKind { None, Root, Type, Search };
    static constexpr int KeyRole = Qt::UserRole;
    static constexpr int KindRole = Qt::UserRole + 1;
    static constexpr int TypeNoRole = Qt::UserRole + 2;

    explicit TypeTree(QWidget* parent = nullptr);

    // Building, in this order: the root, the type nodes (made, then added under the root in one
    // go), the search node.
    QTreeWidgetItem* AddRoot(const QString& text);
    static QTreeWidgetItem* NewTypeNode(qint64 typeNo, const QString& name);
    QTreeWidgetItem* AddSearchNode(const QString& text);
    void Clear(); // all nodes, and the highlight with them

    QTreeWidgetItem* NodeByKey(const QString& key) const;
    QTreeWidgetItem* NodeOfType(qint64 typeNo) const; // nullptr when the tree has none
    // Makes the type nodes name these types (in key order), keeping the nodes of the types that
    // stay, and the current node with them. False when the current node went.
    bool SetTypes(const std::vector<std::pair<qint64, QString>>& types);
    static QString KeyOf(const QTreeWidgetItem* node); // "" for none
    static NodeKind KindOf(const QTreeWidgetItem* node);
    static qint64 TypeNoOf(const QTreeWidgetItem* node); // -1 for all but type nodes
    // The number in a type or record key ("_12" gives 12); -1 for any other key.
    static qint64 NumberOf(const QString& key);
    QString CurrentKey() const { return KeyOf(currentItem()); }
    NodeKind CurrentKind() const { return KindOf(currentItem()); }
    qint64 CurrentTypeNo() const { return TypeNoOf(currentItem()); }

    QTreeWidgetItem* DropHighlight() const { return m_dropNode; }
    void ClearDropHighlight() { SetDropHighlight(nullptr); }

signals:
    // Records were dropped on the type node with this key.
    void RecordsDropped(const QList<qint64>& ids, const QString& typeKey);

protected:
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Blue, made lighter on a dark scheme so it reads on the tree's background.
    QColor SearchNodeColour() const;
    // The type node under the pointer when the drag is ours and may move; none otherwise.
    QTreeWidgetItem* TargetOf(QDropEvent* event) const;
    void ReadDrag(const QDropEvent* event);                         // the drag's records, if it is ours
    static bool Answer(QDropEvent* event, QTreeWidgetItem* target); // takes the drag when there is a target
    void SetDropHighlight(QTreeWidgetItem* node);

    QTreeWidgetItem* m_dropNode = nullptr;
    std::optional<QList<qint64>> m_dragIds; // the records of the drag under way, read once
};
