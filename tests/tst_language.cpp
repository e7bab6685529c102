// Language lookup and form localisation against real language files.
#include <QAction>
#include <QCheckBox>
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
    void lookup_data() { Book::AddRows(QStringLiteral("language.txt")); }

    void lookup()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QVERIFY(Book::WriteFile(LangFile, Book::Sample(QStringLiteral("lookup-language.ini"))));
        QTEST(GetLangString(section, key, QStringLiteral("fallback\\nline")), "expected");
    }

    void shippedFilesAreCompleteAndAlike()
    {
        const QString dir = SourceDir() + QStringLiteral("/resources/Language/");
        const QSet<QString> english = KeysOf(dir + QStringLiteral("mvleng.ini"));
        QVERIFY(english.size() > 150);
        for (const char* name : {"mvlchs.ini", "mvlcht.ini"}) {
            QCOMPARE(KeysOf(dir + QLatin1String(name)), english);
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
        QVERIFY(Book::WriteFile(LangFile, Book::Sample(QStringLiteral("form-language.ini"))));
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
        QVERIFY(form.font().pointSizeF() == 11.0 && ok->font().pointSizeF() == 11.0);
        // The untagged button is looked up too, with "a" appended, and not found.
        const QStringList texts{form.windowTitle(),   ok->text(),          ok->toolTip(), untagged->text(),
                                group->title(),       skin->text(),        check->text(), value->text(),
                                input->text(),        splitter->toolTip(), menu->title(), exit->text(),
                                newButton->toolTip(), entry->text()};
        QCOMPARE(texts,
                 (QStringList{"Localised caption", "&Save", "Save it", "Design", "Group", "Label text", "Check text",
                              "<Search Value>", "typed", "Drag me", "&New", "E&xit", "Make one", "Contact"}));

        // Applying again (another language file) still finds the menu keys.
        QVERIFY(Book::WriteFile(LangFile, "[frmTest]\n11005=Quit\n"));
        ApplyLanguage(&form);
        QCOMPARE(exit->text(), QStringLiteral("Quit"));
    }

    // The description keeps the caption as it is.
    void toolbarPadding_data() { Book::AddRows(QStringLiteral("language.txt")); }

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
