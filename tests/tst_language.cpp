// Language lookup and form localisation against real language files.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QToolBar>
#include <QtTest>

#include "core/AppState.h"
#include "core/Language.h"
#include "core/OperateIni.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/ApplyLanguage.h"

namespace {

// (section, key) pairs of a language file.
QSet<QString> KeysOf(const QString& path)
{
    QSet<QString> keys;
    QString section;
    for (const QByteArray& raw : Book::ReadFile(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            section = line.mid(1, line.indexOf(u']') - 1);
        } else if (line.contains(u'=') && !line.startsWith(u';')) {
            keys.insert(section + QLatin1Char('/') + line.left(line.indexOf(u'=')).trimmed());
        }
    }
    return keys;
}

template <class W> W* Tagged(W* widget, const char* tag)
{
    widget->setProperty("Tag", QLatin1String(tag));
    return widget;
}

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init() { m_world.emplace(false); }
    void cleanup() { m_world.reset(); }
    void lookup_data()
    {
        for (const char* column : {"section", "key", "expected"}) {
            QTest::addColumn<QString>(column);
        }
        const char* rows[][4] = {
            {"plain", "frmLogin", "20001", "Login message"},
            {"same key, other section", "frmPWD", "20001", "Record message"},
            {"backslash-n is a line break", "General", "30000", "first\nsecond"},
            {"a lone backslash stays", "General", "30001", "C:\\path"},
            {"empty value empties", "General", "30002", ""},
            {"missing key gives the default", "General", "39999", "fallback\nline"},
            {"empty key gives the default untouched", "General", "", "fallback\\nline"},
            {"section name ignores case", "FRMLOGIN", "20001", "Login message"},
        };
        for (const auto& r : rows) {
            QTest::newRow(r[0]) << r[1] << r[2] << r[3];
        }
    }

    void lookup()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QVERIFY(Book::WriteFile(LangFile, "[General]\n30000=first\\nsecond\n30001=C:\\path\n30002=\n"
                                          "[frmLogin]\n20001=Login message\n[frmPWD]\n20001=Record message\n"));
        QTEST(GetLangString(section, key, QStringLiteral("fallback\\nline")), "expected");
    }

    // Without a file a form keeps its design texts and the menus show their keys.
    void missingFileGivesDefaults()
    {
        LangFile = m_world->folder.Path() + QStringLiteral("Language/none.ini");
        QMainWindow form;
        form.setObjectName(QStringLiteral("frmMain"));
        form.setWindowTitle(QStringLiteral("Tavoren"));
        QAction* exit =
            Tagged(form.menuBar()->addMenu(QStringLiteral("10001"))->addAction(QStringLiteral("11005")), "11005");
        auto* ok = Tagged(new QPushButton(QStringLiteral("&Ok"), &form), "10001");
        ApplyLanguage(&form);
        QCOMPARE(form.windowTitle(), QStringLiteral("Tavoren"));
        QCOMPARE(exit->text(), QStringLiteral("11005"));
        QCOMPARE(ok->text(), QStringLiteral("&Ok"));
    }

    void shippedFilesAreCompleteAndAlike()
    {
        const QString dir = SourceDir() + QStringLiteral("/resources/Language/");
        const QSet<QString> english = KeysOf(dir + QStringLiteral("mvleng.ini"));
        QVERIFY(english.size() > 150);
        for (const char* name : {"mvlchs.ini", "mvlcht.ini"}) {
            const QSet<QString> other = KeysOf(dir + QLatin1String(name));
            QCOMPARE(QSet<QString>(other).subtract(english), QSet<QString>());
            QCOMPARE(QSet<QString>(english).subtract(other), QSet<QString>());
        }
        // Keys the program looks up by name.
        for (const char* key :
             {"General/10001", "General/20004", "frmMain/30004", "frmMain/40001", "frmMain/20009a", "frmPWD/20002",
              "frmLogin/20003", "frmForget/20002", "frmPWDType/20002", "Info/FontName"}) {
            QVERIFY2(english.contains(QLatin1String(key)), key);
        }
        // The user panel keeps its placeholder in every language.
        for (const char* suffix : {"eng", "chs", "cht"}) {
            m_world->folder.UseLanguage(QLatin1String(suffix));
            QVERIFY(GetLangString(QStringLiteral("frmMain"), QStringLiteral("30004"), QString()).contains("%name%"));
        }
    }

    void applyLanguageOnAForm()
    {
        QVERIFY(Book::WriteFile(LangFile,
                                "[Info]\nFontName=DejaVu Sans\nFontSize=11\n"
                                "[frmTest]\n10000=Localised caption\n10001a=&Save\n10001c=Save it\n10003=Group\n"
                                "10004=Label text\n10005=Check text\n30000=<Search Value>\n30003=Drag me\n"
                                "11001=&New\n11005=E&xit\n20001a=New\n20001b=Make one\n11101=Contact\n"));
        QMainWindow form;
        form.setObjectName(QStringLiteral("frmTest"));
        auto* central = new QWidget(&form);
        form.setCentralWidget(central);
        auto* ok = Tagged(new QPushButton(QStringLiteral("&Ok"), central), "10001");
        auto* untagged = new QPushButton(QStringLiteral("Design"), central);
        auto* group = Tagged(new QGroupBox(QStringLiteral("design"), central), "10003");
        auto* skin = Tagged(new QLabel(QStringLiteral("design"), central), "10004");
        auto* check = Tagged(new QCheckBox(QStringLiteral("design"), central), "10005");
        auto* value = Tagged(new QLineEdit(central), "30000");
        auto* input = new QLineEdit(QStringLiteral("typed"), central);
        auto* splitter = Tagged(new QSplitter(central), "30003");
        QMenu* menu = form.menuBar()->addMenu(QStringLiteral("11001"));
        menu->menuAction()->setProperty("Tag", QStringLiteral("11001"));
        QAction* exit = Tagged(menu->addAction(QStringLiteral("11005")), "11005");
        QAction* newButton = Tagged(form.addToolBar(QStringLiteral("bar"))->addAction(QStringLiteral("New")), "20001");
        auto* dropDown = new QMenu(&form);
        QAction* entry = Tagged(dropDown->addAction(QStringLiteral("Password data")), "11101");
        newButton->setMenu(dropDown);

        ApplyLanguage(&form);
        QCOMPARE(form.windowTitle(), QStringLiteral("Localised caption"));
        QCOMPARE(form.font().pointSizeF(), 11.0);
        QCOMPARE(ok->font().pointSizeF(), 11.0);
        QCOMPARE(ok->text(), QStringLiteral("&Save"));
        QCOMPARE(ok->toolTip(), QStringLiteral("Save it"));
        QCOMPARE(untagged->text(), QStringLiteral("Design")); // "a" is appended: looked up, not found
        QCOMPARE(group->title(), QStringLiteral("Group"));
        QCOMPARE(skin->text(), QStringLiteral("Label text"));
        QCOMPARE(check->text(), QStringLiteral("Check text"));
        QCOMPARE(value->text(), QStringLiteral("<Search Value>"));
        QCOMPARE(input->text(), QStringLiteral("typed"));
        QCOMPARE(splitter->toolTip(), QStringLiteral("Drag me"));
        QCOMPARE(menu->title(), QStringLiteral("&New"));
        QCOMPARE(exit->text(), QStringLiteral("E&xit"));
        QCOMPARE(newButton->toolTip(), QStringLiteral("Make one"));
        QCOMPARE(entry->text(), QStringLiteral("Contact"));

        // Applying again (another language file) still finds the menu keys.
        QVERIFY(Book::WriteFile(LangFile, "[frmTest]\n11005=Quit\n"));
        ApplyLanguage(&form);
        QCOMPARE(exit->text(), QStringLiteral("Quit"));
    }

    // Two-character captions are widened with a space each side; the description keeps the caption.
    void toolbarPadding_data()
    {
        QTest::addColumn<QByteArray>("caption");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two Chinese characters") << QByteArray("新建") << QStringLiteral(" 新建 ");
        QTest::newRow("two Latin letters") << QByteArray("Go") << QStringLiteral(" Go ");
        QTest::newRow("three stay") << QByteArray("New") << QStringLiteral("New");
        QTest::newRow("one stays") << QByteArray("X") << QStringLiteral("X");
    }

    void toolbarPadding()
    {
        QFETCH(QByteArray, caption);
        QVERIFY(Book::WriteFile(LangFile, "[frmTest]\n20001a=" + caption + "\n"));
        QMainWindow form;
        form.setObjectName(QStringLiteral("frmTest"));
        QAction* button = Tagged(form.addToolBar(QStringLiteral("bar"))->addAction(QStringLiteral("New")), "20001");
        ApplyLanguage(&form);
        QTEST(button->text(), "shown");
        QCOMPARE(button->property("Description").toString(), QString::fromUtf8(caption));
    }
};

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
