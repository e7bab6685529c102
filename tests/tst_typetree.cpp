// The type tree on its own: which drags it takes, where, and what a drop reports.
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include "main/TypeTree.h"
#include "tests/support/Book.h"

using namespace Qt::StringLiterals;

class tst_TypeTree : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tree = std::make_unique<TypeTree>();
        QTreeWidgetItem* root = m_tree->AddRoot(u"Tavoren"_s);
        root->addChildren({TypeTree::NewTypeNode(7, u"Friends"_s), TypeTree::NewTypeNode(12, u"Work"_s)});
        m_tree->AddSearchNode(u"Search results"_s);
        m_tree->resize(200, 300);
        m_tree->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_tree.get()));
    }
    void cleanup() { m_tree.reset(); }
    void nodes();
    void drop_data() { Book::AddRows(u"typetree.txt"_s); }
    void drop();

private:
    std::unique_ptr<TypeTree> m_tree;
};

void tst_TypeTree::nodes()
{
    QCOMPARE(m_tree->NodeByKey(u"_12"_s)->text(0), u"Work"_s);
    QCOMPARE(TypeTree::KindOf(m_tree->NodeByKey(u"Root"_s)), TypeTree::NodeKind::Root);
    QCOMPARE(TypeTree::KindOf(m_tree->NodeByKey(u"SearchResult"_s)), TypeTree::NodeKind::Search);
    QVERIFY(m_tree->NodeByKey(u"_99"_s) == nullptr);
    QCOMPARE(TypeTree::KindOf(nullptr), TypeTree::NodeKind::None);
    for (const auto& [key, number] : {std::pair{u"_12"_s, 12LL}, {u"Root"_s, -1LL}, {u"_x"_s, -1LL}, {u""_s, -1LL}}) {
        QCOMPARE(TypeTree::NumberOf(key), number);
    }
}

// What the system's drag loop sends: enter, moves, then a drop (which a careless source sends even
// after a refusal).
void tst_TypeTree::drop()
{
    QFETCH(QString, text);
    QFETCH(QString, node);
    QFETCH(QString, dropped);
    const bool taken = !dropped.isEmpty();
    QTreeWidgetItem* target = m_tree->NodeByKey(node);
    const QPoint at =
        target != nullptr ? m_tree->visualItemRect(target).center() : QPoint(5, m_tree->viewport()->height() - 3);
    QCOMPARE(m_tree->itemAt(at) == nullptr, node.isEmpty());
    QMimeData data;
    text.isNull() ? data.setData(u"application/octet-stream"_s, "Morvanta:1") : data.setText(text);
    QSignalSpy reported(m_tree.get(), &TypeTree::RecordsDropped);

    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(m_tree->viewport(), &enter);
    QDragMoveEvent move(at + QPoint(1, 0), Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(m_tree->viewport(), &move);
    QCOMPARE(enter.isAccepted(), taken);
    QCOMPARE(move.isAccepted() && move.dropAction() == Qt::MoveAction, taken);
    QVERIFY(m_tree->DropHighlight() == (taken ? target : nullptr));
    QVERIFY(!taken || target->background(0) != m_tree->NodeByKey(u"Root"_s)->background(0));

    QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(m_tree->viewport(), &drop);
    QCOMPARE(drop.isAccepted(), taken);
    QVERIFY(m_tree->DropHighlight() == nullptr);
    QString report;
    for (const QList<QVariant>& call : reported) {
        QDebug(&report).noquote().nospace() << call.at(0).value<QList<qint64>>() << " on " << call.at(1).toString();
    }
    QCOMPARE(report, dropped);
}

QTEST_MAIN(tst_TypeTree)
#include "tst_typetree.moc"
