// The help: the built-in pages of every language and their links, F1 in each dialog, the menu
// item and toolbar button, and the search.
#include <QDirIterator>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

#include <functional>
#include <optional>

#include "access/frmForget.h"
#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "access/frmUsers.h"
#include "core/AppState.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmSync.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "main/frmMain.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"

namespace {

const QStringList Languages{"eng", "chs", "cht"};

QStringList Pages(const QString& language)
{
    return QDir(QStringLiteral(":/help/") + language).entryList({"*.html"}, QDir::Files, QDir::Name);
}

frmHelp* Help()
{
    return FormInstance<frmHelp>::IfLoaded();
}

using Loader = std::function<QDialog*()>;

// Types as a user does: Latin letters on the keyboard, Chinese committed by the input method.
void Type(QWidget* target, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(target, c.toLatin1());
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(target, &commit);
        }
    }
}

} // namespace

Q_DECLARE_METATYPE(Loader)

class tst_Help : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init() { m_world.emplace(); }

    void cleanup() { m_world.reset(); }

    // Every language has the same pages, each with a title, and the language file leads to them.
    void everyPageInEveryLanguage()
    {
        const QStringList english = Pages("eng");
        QVERIFY(english.size() >= 15);
        for (const QString& language : Languages) {
            QCOMPARE(Pages(language), english);
            m_world->folder.UseLanguage(language);
            QCOMPARE(HelpFolder(), ":/help/" + language + "/");
            for (const QString& page : english) {
                QFile file(":/help/" + language + "/" + page);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString html = QString::fromUtf8(file.readAll());
                QVERIFY2(QRegularExpression("<title>[^<]+</title>").match(html).hasMatch(),
                         qPrintable(language + "/" + page));
            }
        }
    }

    // A language the program does not know brings its own pages beside its language file; one
    // naming pages that are not there gets the English ones.
    void aLanguageBringsItsOwnPages()
    {
        const QString language = m_world->folder.Path() + "Language/";
        QVERIFY(QDir(language).mkpath("own"));
        QVERIFY(Book::WriteFile(language + "own/index.html", "<a href=\"hello.html\">Hello</a>"));
        QVERIFY(Book::WriteFile(language + "own/hello.html", "<title>Hello</title><p>Hello, world</p>"));
        QVERIFY(Book::WriteFile(language + "mvlown.ini", "[Info]\nHelpFolder=own\n"));
        QVERIFY(Book::WriteFile(language + "mvlnone.ini", "[Info]\nHelpFolder=none\n"));
        LangFile = language + "mvlown.ini";
        QCOMPARE(HelpFolder(), language + "own/");
        ShowHelp("hello");
        QCOMPARE(Help()->CurrentPage(), QStringLiteral("hello"));
        QCOMPARE(Help()->Search("world"), QStringList{"hello"});
        LangFile = language + "mvlnone.ini";
        QCOMPARE(HelpFolder(), QStringLiteral(":/help/eng/"));
        ShowHelp("hello"); // no such page in English: the contents
        QCOMPARE(Help()->CurrentPage(), QStringLiteral("index"));
        QVERIFY(Help()->Folder().startsWith(":/help/eng/"));
    }

    // Every link and picture of every page is there, and every page but the contents is linked
    // from the contents.
    void everyLinkResolves()
    {
        static const QRegularExpression reference(QStringLiteral("(href|src)=\"([^\"]*)\""));
        for (const QString& language : Languages) {
            const QString folder = ":/help/" + language + "/";
            QFile index(folder + "index.html");
            QVERIFY(index.open(QIODevice::ReadOnly));
            const QString contents = QString::fromUtf8(index.readAll());
            for (const QString& page : Pages(language)) {
                QFile file(folder + page);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString html = QString::fromUtf8(file.readAll());
                for (auto it = reference.globalMatch(html); it.hasNext();) {
                    const QString target = it.next().captured(2).section(u'#', 0, 0);
                    const QString where = language + "/" + page + ": " + target;
                    QVERIFY2(!target.isEmpty() && !target.contains(':'), qPrintable(where));
                    QVERIFY2(QFile::exists(folder + target), qPrintable(where));
                }
                QVERIFY2(page == "index.html" || contents.contains("href=\"" + page + "\""),
                         qPrintable(language + ": not in the contents: " + page));
            }
        }
    }

    // F1 on the focused control of each dialog, shown as the program shows it, opens that
    // dialog's page; the help window stays usable beside the modal dialog.
    void f1OpensTheDialogsPage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<Loader>("load");
        QTest::addColumn<QString>("page");
        auto row = [](const char* name, const char* language, Loader load, const char* page) {
            QTest::newRow(name) << QString(language) << load << QString(page);
        };
        row(
            "login", "eng", [] { return &Form<frmLogin>(); }, "login");
        row(
            "forget", "chs", [] { return &Form<frmForget>(); }, "forget");
        row(
            "new user", "cht", [] { return &Form<frmNewUser>(); }, "newuser");
        row(
            "users", "eng", [] { return &Form<frmUsers>(); }, "users");
        row(
            "record editor", "chs",
            [] {
                frmPWD* editor = &Form<frmPWD>();
                editor->SetPWDID(-1);
                return editor;
            },
            "contacts");
        row(
            "type editor", "cht",
            [] {
                frmPWDType* editor = &Form<frmPWDType>();
                editor->SetTypeNo(-1);
                return editor;
            },
            "types");
        row(
            "options", "eng", [] { return &Form<frmOptions>(); }, "options");
        row(
            "about", "chs", [] { return &Form<frmAbout>(); }, "about");
        row(
            "sync accounts", "cht", [] { return &Form<frmSync>(); }, "sync");
    }

    void f1OpensTheDialogsPage()
    {
        QFETCH(QString, language);
        QFETCH(Loader, load);
        QFETCH(QString, page);
        m_world->folder.UseLanguage(language);
        CurrentUser = QStringLiteral("alice");
        QDialog* dialog = load();
        QString shown;
        QString opened;
        QTimer::singleShot(0, dialog, [&] {
            const auto close = qScopeGuard([&] { dialog->reject(); });
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QWidget* focused = QApplication::focusWidget();
            QVERIFY(focused != nullptr && focused->window() == dialog);
            QTest::keyClick(focused, Qt::Key_F1);
            QVERIFY(Help() != nullptr && Help()->isVisible());
            shown = Help()->CurrentPage();
            // A click on the contents while the dialog is still up reaches the help window.
            auto* list = Help()->findChild<QListWidget*>("lstContents");
            const QModelIndex first = list->model()->index(0, 0);
            // Through the window, as the window system delivers it, so a blocked window drops it.
            const QPoint at = list->viewport()->mapTo(Help(), list->visualRect(first).center());
            QTest::mouseClick(Help()->windowHandle(), Qt::LeftButton, {}, at);
            opened = Help()->CurrentPage();
        });
        dialog->exec();
        QCOMPARE(shown, page);
        QCOMPARE(opened, QStringLiteral("start"));
        QVERIFY(Help()->Folder().endsWith(language + "/"));
    }

    // The Help menu item, the toolbar's Help button and F1 in the main window open the contents,
    // all in the one window.
    void mainWindowOpensTheContents()
    {
        frmMain& main = Form<frmMain>();
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));

        main.findChild<QAction*>("mnuHelpContents")->trigger();
        frmHelp* help = Help();
        QVERIFY(help != nullptr && help->isVisible());
        QCOMPARE(help->CurrentPage(), QStringLiteral("index"));

        help->ShowPage(QStringLiteral("search"));
        help->close();
        auto* bar = main.findChild<QToolBar*>("Toolbar1");
        QTest::mouseClick(bar->widgetForAction(main.findChild<QAction*>("Toolbar1_Help")), Qt::LeftButton);
        QCOMPARE(Help(), help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->CurrentPage(), QStringLiteral("index"));

        help->close();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QCOMPARE(Help(), help);
        QVERIFY(help->isVisible());
        // Back leads to the page before.
        help->ShowPage(QStringLiteral("types"));
        auto* back = help->findChild<QAction*>("cmdBack");
        QVERIFY(back->isEnabled());
        back->trigger();
        QCOMPARE(help->CurrentPage(), QStringLiteral("index"));
    }

    // Typing in the search box lists the pages holding every word, in each language; Enter opens
    // the first.
    void searchFindsPages_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("page");
        QTest::newRow("English, two words, any case") << "eng"
                                                      << "COMPACT database"
                                                      << "maintenance";
        QTest::newRow("Simplified Chinese, no word breaks") << "chs"
                                                            << "压缩"
                                                            << "maintenance";
        QTest::newRow("Traditional Chinese") << "cht"
                                             << "拖曳 反白"
                                             << "moving";
        QTest::newRow("nothing") << "eng"
                                 << "zzyzx"
                                 << "";
    }

    void searchFindsPages()
    {
        QFETCH(QString, language);
        QFETCH(QString, words);
        QFETCH(QString, page);
        m_world->folder.UseLanguage(language);
        ShowHelp();
        frmHelp* help = Help();
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        Type(QApplication::focusWidget(), words);
        auto* results = help->findChild<QListWidget*>("lstResults");
        QVERIFY(results->isVisible());
        QStringList found;
        for (int row = 0; row < results->count(); ++row) {
            found.append(results->item(row)->data(Qt::UserRole).toString());
        }
        if (page.isEmpty()) {
            QCOMPARE(found, QStringList{QString()}); // the one line that says nothing was found
            return;
        }
        QVERIFY2(found.contains(page), qPrintable(found.join(',')));
        QCOMPARE(found, help->Search(words));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(help->CurrentPage(), found.first());
    }
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
