// The list's model under Qt's own model checker: filling, sorting both ways, removing rows.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "main/RecordListModel.h"
#include "store/Encryption.h"

using namespace Qt::StringLiterals;

class tst_ListModel : public QObject
{
    Q_OBJECT

private slots:
    void checkedByQt()
    {
        RecordListModel model;
        model.SetCollator(QCollator(QLocale(QLocale::English, QLocale::UnitedStates)));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.Begin(RecordListModel::Mode::Records, {{u"Name"_s}, {u"Count"_s, Qt::AlignRight, true}}, QIcon());
        const QStringList names{"bob", "Alice", "carol", "Dave", "alice"};
        const QStringList counts{"10", "9", "100", "", "9"};
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray name = Encrypt(names[i]).toLatin1();
            const QByteArray count = Encrypt(counts[i]).toLatin1();
            const QByteArrayView row[] = {name, count};
            model.AddCipherRow(i + 1, row, i == 2);
        }
        model.End();
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.ListMode(), RecordListModel::Mode::Records);

        auto column = [&](int c) {
            QStringList texts;
            for (int row = 0; row < model.rowCount(); ++row) {
                texts.append(model.Text(row, c));
            }
            return texts;
        };
        // Case ignored, equal names in load order; numbers by value.
        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(column(0), (QStringList{"Alice", "alice", "bob", "carol", "Dave"}));
        QVERIFY(model.HasWebAddress(3) && !model.HasWebAddress(0) && !model.HasWebAddress(99));
        model.sort(1, Qt::DescendingOrder);
        QCOMPARE(column(1), (QStringList{"100", "10", "9", "9", ""}));
        QCOMPARE(model.RowOfKey(u"_3"_s), 0);

        model.RemoveRows({0, 4});
        QCOMPARE(column(0), (QStringList{"bob", "Alice", "alice"}));
        model.RemoveRowAt(1);
        QCOMPARE(model.Key(1), u"_5"_s);
        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(column(0), (QStringList{"alice", "bob"}));
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.ListMode(), RecordListModel::Mode::None);
    }
};

QTEST_MAIN(tst_ListModel)
#include "tst_listmodel.moc"
