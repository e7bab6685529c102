// The column layout kept per list mode: what goes into the settings file, what comes back, and
// that junk in the file leaves the list as it is.
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/ColumnLayout.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/FormState.h"

using namespace Qt::StringLiterals;

namespace {

// Four columns 100 pixels wide, in their own order.
struct List
{
    List() : model(0, 4)
    {
        view.setModel(&model);
        for (int i = 0; i < 4; ++i) {
            view.header()->resizeSection(i, 100);
        }
    }
    // Each column's display position and width, "position:width".
    QStringList Shape() const
    {
        QStringList shape;
        for (int i = 0; i < 4; ++i) {
            shape.append(u"%1:%2"_s.arg(view.header()->visualIndex(i)).arg(view.header()->sectionSize(i)));
        }
        return shape;
    }
    QStandardItemModel model;
    QTreeView view;
};

} // namespace

class tst_ColumnLayout : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_world.emplace(false); }
    void cleanup() { m_world.reset(); }

    // Saved in one mode, read back into a new list of that mode; the other mode keeps its own.
    void roundTripPerMode()
    {
        List before;
        before.view.header()->moveSection(3, 0);
        before.view.header()->resizeSection(1, 211);
        ColumnLayout(u"frmMain"_s, u"List"_s).Save(nullptr, before.view.header(), {2, 1});
        const int tx = TwipsPerPixelX(before.view.header());
        QCOMPARE(ReadIni(u"frmMain"_s, u"List_HW2"_s, {}, IniFile), QString::number(211 * tx));
        QCOMPARE(ReadIni(u"frmMain"_s, u"List_HP4"_s, {}, IniFile), u"1"_s);

        List after;
        const ColumnLayout::Sort sort = ColumnLayout(u"frmMain"_s, u"List"_s).Load(after.view.header(), {0, 0});
        QCOMPARE(after.Shape(), before.Shape());
        QCOMPARE((std::pair{sort.column, sort.order}), (std::pair{2, 1}));

        List other;
        const ColumnLayout::Sort kept = ColumnLayout(u"frmMain"_s, u"Type"_s).Load(other.view.header(), {1, 0});
        QCOMPARE(other.Shape(), (QStringList{"0:100", "1:100", "2:100", "3:100"}));
        QCOMPARE((std::pair{kept.column, kept.order}), (std::pair{1, 0}));
        QVERIFY(m_world->platform.Boxes().isEmpty());
    }

    // Whether the widths are the list's own fit: said when saved, and only a plain 1 says so, so
    // the widths of earlier versions and junk stay the user's.
    void fittedOrTheUsers()
    {
        List list;
        const ColumnLayout layout(u"frmMain"_s, u"List"_s);
        layout.Save(nullptr, list.view.header(), {0, 0}, true);
        QVERIFY(layout.Fitted());
        QVERIFY(!ColumnLayout(u"frmMain"_s, u"Type"_s).Fitted());
        layout.Save(nullptr, list.view.header(), {0, 0}, false);
        QVERIFY(!layout.Fitted());
        for (const char* junk : {"List_HW1=1500\n", "List_Fitted=yes\n", "List_Fitted=2\n", "List_Fitted=\n"}) {
            QVERIFY(Book::WriteFile(IniFile, QByteArray("[frmMain]\n") + junk));
            QVERIFY2(!layout.Fitted(), junk);
        }
    }

    // Natural widths that fit are kept; otherwise the narrow columns keep theirs and the widest
    // share what is left, never below the minimum.
    void fitWidths_data() { Book::AddRows(u"columnlayout.txt"_s); }
    void fitWidths()
    {
        QFETCH(QStringList, natural);
        QFETCH(int, available);
        QFETCH(int, minimum);
        QList<int> widths;
        for (const QString& width : natural) {
            widths.append(width.toInt());
        }
        QStringList fitted;
        for (const int width : ColumnLayout::FitWidths(widths, available, minimum)) {
            fitted.append(QString::number(width));
        }
        QTEST(fitted, "fitted");
    }

    void junkKeepsTheList_data() { Book::AddRows(u"columnlayout.txt"_s); }

    void junkKeepsTheList()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, shape);
        QVERIFY(Book::WriteFile(IniFile, "[frmMain]\n" + settings));
        List list;
        const ColumnLayout::Sort sort = ColumnLayout(u"frmMain"_s, u"List"_s).Load(list.view.header(), {3, 1});
        QStringList positions;
        for (const QString& column : list.Shape()) {
            const int width = column.section(u':', 1).toInt();
            QVERIFY2(width > 0 && width <= 4000, qPrintable(column));
            positions.append(column.section(u':', 0, 0));
        }
        QCOMPARE(shape.first().contains(u':') ? list.Shape() : positions, shape);
        QTEST(sort.column, "sortColumn");
        QTEST(sort.order, "sortOrder");
    }

private:
    std::optional<TestWorld> m_world;
};

QTEST_MAIN(tst_ColumnLayout)
#include "tst_columnlayout.moc"
