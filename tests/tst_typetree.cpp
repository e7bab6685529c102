// The type tree on its own: which drags it takes, where, and what a drop reports.
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include "main/TypeTree.h"

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
    void drop_data();
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

void tst_TypeTree::drop_data()
{
    QTest::addColumn<QString>("text"); // a null string: a drag of other data
    QTest::addColumn<QString>("node"); // where the pointer is; "" for empty space
    QTest::addColumn<QString>("dropped");
    auto row = [](const char* name, const QString& text, const char* node, const char* dropped) {
        QTest::newRow(name) << text << QString(node) << QString(dropped);
    };
    row("records on a type", u"Morvanta:3,1,40"_s, "_12", "3,1,40 on _12");
    row("onto the root", u"Morvanta:1"_s, "Root", "");
    row("onto the search node", u"Morvanta:1"_s, "SearchResult", "");
    row("onto empty space", u"Morvanta:1"_s, "", "");
    row("the largest key", u"Morvanta:2147483647"_s, "_7", "2147483647 on _7");
    // Anything else another program may drag; none of it is a record drag.
    for (const QString& text :
         {u"Morvanta:"_s, u"Morvanta:3,x"_s, u"Morvanta:1;2"_s, u"Morvanta:99999999999"_s, u"Morvanta:2147483648"_s,
          u"Morvanta:0"_s, u"Morvanta:-1"_s, u"Morvanta:+1"_s, u"Morvanta: 1"_s, u"morvanta:3"_s, u"Morvanta:3,"_s,
          u"Morvanta:1 OR 1=1"_s, u"Hello from another program"_s, QString()}) {
        const QByteArray name = text.isNull() ? "no text" : "text: " + text.toUtf8();
        row(name.constData(), text, "_7", "");
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
    QStringList report;
    for (const QList<QVariant>& call : reported) {
        QStringList ids;
        for (const qint64 id : call.at(0).value<QList<qint64>>()) {
            ids.append(QString::number(id));
        }
        report.append(ids.join(u',') + u" on "_s + call.at(1).toString());
    }
    QCOMPARE(report.join(u'|'), dropped);
}

QTEST_MAIN(tst_TypeTree)
#include "tst_typetree.moc"
