// Language lookup and form localisation against real language files.
#include "app/AppState.h"
#include "app/ApplyLanguage.h"
#include "app/CodePage.h"
#include "app/Language.h"
#include "app/OperateIni.h"
#include "tests/support/TestSupport.h"

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
#include <QRegularExpression>
#include <QSet>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// (section, key) pairs of a language file.
QSet<QString> KeysOf(const QString& path)
{
    QSet<QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return keys;
    }
    QString section;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            section = line.mid(1, line.indexOf(u']') - 1);
        } else if (line.contains(u'=') && !line.startsWith(u';')) {
            keys.insert(section + QLatin1Char('/') + line.left(line.indexOf(u'=')).trimmed());
        }
    }
    return keys;
}

} // namespace

class tst_Language : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_folder = std::make_unique<TestProgramFolder>(false); }
    void cleanup() { m_folder.reset(); }

    void lookup_data();
    void lookup();
    void missingFileGivesDefaults();
    void shippedFilesAreCompleteAndAlike();
    void legacyCodePageFile();
    void applyLanguageOnAForm();
    void toolbarPadding_data();
    void toolbarPadding();

private:
    std::unique_ptr<TestProgramFolder> m_folder;
};

void tst_Language::lookup_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "frmLogin"
                           << "20001"
                           << "Login message";
    QTest::newRow("same key, other section") << "frmPWD"
                                             << "20001"
                                             << "Record message";
    QTest::newRow("backslash-n is a line break") << "General"
                                                 << "30000"
                                                 << "first\nsecond";
    QTest::newRow("a lone backslash stays") << "General"
                                            << "30001"
                                            << "C:\\path";
    QTest::newRow("empty value empties") << "General"
                                         << "30002"
                                         << "";
    QTest::newRow("missing key gives the default") << "General"
                                                   << "39999"
                                                   << "fallback\nline";
    QTest::newRow("empty key gives the default untouched") << "General"
                                                           << ""
                                                           << "fallback\\nline";
    QTest::newRow("section name ignores case") << "FRMLOGIN"
                                               << "20001"
                                               << "Login message";
}

void tst_Language::lookup()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    WriteFile(LangFile, "[General]\n30000=first\\nsecond\n30001=C:\\path\n30002=\n"
                        "[frmLogin]\n20001=Login message\n[frmPWD]\n20001=Record message\n");
    QCOMPARE(GetLangString(section, key, QStringLiteral("fallback\\nline")), expected);
}

void tst_Language::missingFileGivesDefaults()
{
    LangFile = m_folder->Path() + QStringLiteral("Language/none.ini");
    QCOMPARE(GetLangString(QStringLiteral("General"), QStringLiteral("10001"), QStringLiteral("Error")),
             QStringLiteral("Error"));

    // A form keeps its design texts and the menus show their keys.
    QMainWindow form;
    form.setObjectName(QStringLiteral("frmMain"));
    form.setWindowTitle(QStringLiteral("Tavoren"));
    QMenu* file = form.menuBar()->addMenu(QStringLiteral("10001"));
    file->menuAction()->setProperty("Tag", QStringLiteral("10001"));
    QAction* exit = file->addAction(QStringLiteral("11005"));
    exit->setProperty("Tag", QStringLiteral("11005"));
    auto* ok = new QPushButton(QStringLiteral("&Ok"), &form);
    ok->setProperty("Tag", QStringLiteral("10001"));
    ApplyLanguage(&form);
    QCOMPARE(form.windowTitle(), QStringLiteral("Tavoren"));
    QCOMPARE(file->title(), QStringLiteral("10001"));
    QCOMPARE(exit->text(), QStringLiteral("11005"));
    QCOMPARE(ok->text(), QStringLiteral("&Ok"));
}

void tst_Language::shippedFilesAreCompleteAndAlike()
{
    const QString dir = SourceDir() + QStringLiteral("/resources/Language/");
    const QSet<QString> english = KeysOf(dir + QStringLiteral("mvleng.ini"));
    QVERIFY(english.size() > 150);
    for (const char* name : {"mvlchs.ini", "mvlcht.ini"}) {
        const QSet<QString> other = KeysOf(dir + QLatin1String(name));
        QCOMPARE(QSet<QString>(other).subtract(english), QSet<QString>());
        QCOMPARE(QSet<QString>(english).subtract(other), QSet<QString>());
    }
    // Keys the program looks up by name, in every file.
    const char* required[] = {"General/10001",   "General/10002",    "General/10003", "General/20002",
                              "General/20003",   "General/20004",    "frmMain/30004", "frmMain/30005",
                              "frmMain/40001",   "frmMain/50009",    "frmMain/60008", "frmMain/11102",
                              "frmMain/14003",   "frmMain/20009a",   "frmPWD/20002",  "frmLogin/20003",
                              "frmForget/20002", "frmPWDType/20002", "Info/FontName"};
    for (const char* key : required) {
        QVERIFY2(english.contains(QLatin1String(key)), key);
    }
    // The user panel keeps its placeholder in every language.
    for (const char* suffix : {"eng", "chs", "cht"}) {
        m_folder->UseLanguage(QLatin1String(suffix));
        QVERIFY(GetLangString(QStringLiteral("frmMain"), QStringLiteral("30004"), QString())
                    .contains(QStringLiteral("%name%")));
    }
}

void tst_Language::legacyCodePageFile()
{
    // A Simplified Chinese file kept in its old code page reads the same as the shipped UTF-8 one.
    m_folder->UseLanguage(QStringLiteral("chs"));
    const QString utf8Text = GetLangString(QStringLiteral("frmMain"), QStringLiteral("40002"), QString());
    QVERIFY(!utf8Text.isEmpty());
    QFile shipped(LangFile);
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    const QByteArray gbk = CodePage("CP936").FromUnicode(QString::fromUtf8(shipped.readAll()));
    shipped.close();
    QVERIFY(!gbk.isValidUtf8());
    WriteFile(LangFile, gbk);
    QCOMPARE(GetLangString(QStringLiteral("frmMain"), QStringLiteral("40002"), QString()), utf8Text);
}

void tst_Language::applyLanguageOnAForm()
{
    WriteFile(LangFile, "[Info]\nFontName=DejaVu Sans\nFontSize=11\n"
                        "[frmTest]\n10000=Localised caption\n10001a=&Save\n10001c=Save it\n10003=Group\n"
                        "10004=Label text\n10005=Check text\n30000=<Search Value>\n30003=Drag me\n"
                        "11001=&New\n11005=E&xit\n20001a=New\n20001b=Make one\n11101=Contact\n");
    QMainWindow form;
    form.setObjectName(QStringLiteral("frmTest"));
    form.setWindowTitle(QStringLiteral("design"));
    auto* central = new QWidget(&form);
    form.setCentralWidget(central);
    auto tagged = [](QWidget* w, const char* tag) {
        w->setProperty("Tag", QLatin1String(tag));
        return w;
    };
    auto* ok = static_cast<QPushButton*>(tagged(new QPushButton(QStringLiteral("&Ok"), central), "10001"));
    auto* untaggedButton = new QPushButton(QStringLiteral("Design"), central);
    auto* group = static_cast<QGroupBox*>(tagged(new QGroupBox(QStringLiteral("design"), central), "10003"));
    auto* skin = static_cast<QLabel*>(tagged(new QLabel(QStringLiteral("design"), central), "10004"));
    auto* plain = new QLabel(QStringLiteral("Search:"), central);
    auto* check = static_cast<QCheckBox*>(tagged(new QCheckBox(QStringLiteral("design"), central), "10005"));
    auto* value = static_cast<QLineEdit*>(tagged(new QLineEdit(central), "30000"));
    auto* input = new QLineEdit(QStringLiteral("typed"), central);
    auto* splitter = static_cast<QSplitter*>(tagged(new QSplitter(central), "30003"));
    splitter->addWidget(new QWidget);
    splitter->addWidget(new QWidget);

    QMenu* menu = form.menuBar()->addMenu(QStringLiteral("11001"));
    menu->menuAction()->setProperty("Tag", QStringLiteral("11001"));
    QAction* separator = menu->addSeparator();
    QAction* exit = menu->addAction(QStringLiteral("11005"));
    exit->setProperty("Tag", QStringLiteral("11005"));

    QToolBar* bar = form.addToolBar(QStringLiteral("bar"));
    QAction* newButton = bar->addAction(QStringLiteral("New"));
    newButton->setProperty("Tag", QStringLiteral("20001"));
    auto* dropDown = new QMenu(&form);
    QAction* entry = dropDown->addAction(QStringLiteral("Password data"));
    entry->setProperty("Tag", QStringLiteral("11101"));
    newButton->setMenu(dropDown);

    ApplyLanguage(&form);

    QCOMPARE(form.windowTitle(), QStringLiteral("Localised caption"));
    QCOMPARE(form.font().pointSizeF(), 11.0);
    QCOMPARE(ok->font().pointSizeF(), 11.0);
    QCOMPARE(menu->font().pointSizeF(), 11.0);
    QCOMPARE(ok->text(), QStringLiteral("&Save"));
    QCOMPARE(ok->toolTip(), QStringLiteral("Save it"));
    QCOMPARE(untaggedButton->text(), QStringLiteral("Design")); // "a" is appended: looked up, not found
    QCOMPARE(group->title(), QStringLiteral("Group"));
    QCOMPARE(skin->text(), QStringLiteral("Label text"));
    QCOMPARE(plain->text(), QStringLiteral("Search:"));
    QCOMPARE(check->text(), QStringLiteral("Check text"));
    QCOMPARE(value->text(), QStringLiteral("<Search Value>"));
    QCOMPARE(input->text(), QStringLiteral("typed"));
    QCOMPARE(splitter->toolTip(), QStringLiteral("Drag me"));
    QCOMPARE(menu->title(), QStringLiteral("&New"));
    QCOMPARE(exit->text(), QStringLiteral("E&xit"));
    QVERIFY(separator->text().isEmpty());
    QCOMPARE(newButton->text(), QStringLiteral("New"));
    QCOMPARE(newButton->toolTip(), QStringLiteral("Make one"));
    QCOMPARE(entry->text(), QStringLiteral("Contact"));

    // Applying again (another language file) still finds the menu keys.
    WriteFile(LangFile, "[frmTest]\n11005=Quit\n");
    ApplyLanguage(&form);
    QCOMPARE(exit->text(), QStringLiteral("Quit"));
}

void tst_Language::toolbarPadding_data()
{
    QTest::addColumn<QByteArray>("caption");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("description");
    QTest::newRow("two Chinese characters are widened")
        << QByteArray("新建") << QStringLiteral(" 新建 ") << QStringLiteral("新建");
    QTest::newRow("two Latin letters too") << QByteArray("Go") << QStringLiteral(" Go ") << QStringLiteral("Go");
    QTest::newRow("three stay") << QByteArray("New") << QStringLiteral("New") << QStringLiteral("New");
    QTest::newRow("one stays") << QByteArray("X") << QStringLiteral("X") << QStringLiteral("X");
}

void tst_Language::toolbarPadding()
{
    QFETCH(QByteArray, caption);
    QFETCH(QString, shown);
    QFETCH(QString, description);
    WriteFile(LangFile, "[frmTest]\n20001a=" + caption + "\n");
    QMainWindow form;
    form.setObjectName(QStringLiteral("frmTest"));
    QToolBar* bar = form.addToolBar(QStringLiteral("bar"));
    QAction* button = bar->addAction(QStringLiteral("New"));
    button->setProperty("Tag", QStringLiteral("20001"));
    ApplyLanguage(&form);
    QCOMPARE(button->text(), shown);
    QCOMPARE(button->property("Description").toString(), description);
}

QTEST_MAIN(tst_Language)
#include "tst_language.moc"
