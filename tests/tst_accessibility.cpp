// What a screen reader finds in each window: every control that takes the focus has a name it
// can speak, in the language of the window.
#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

#include "access/frmForget.h"
#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "access/frmUsers.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmSync.h"
#include "dialogs/frmSyncPassword.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "main/frmMain.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/HelpWindow.h"

using namespace Qt::StringLiterals;

namespace {

// The focusable controls without a name, as "role objectName", walking the accessible tree.
void Unnamed(QAccessibleInterface* node, QStringList& found, int depth = 0)
{
    if (node == nullptr || depth > 40) {
        return;
    }
    // Controls, that is widgets: the rows and cells of a list speak their own texts.
    const QAccessible::State state = node->state();
    const QObject* object = node->object();
    if (object != nullptr && object->isWidgetType() && state.focusable && !state.invisible && !state.disabled &&
        node->text(QAccessible::Name).trimmed().isEmpty()) {
        found.append(u"%1 %2"_s.arg(int(node->role())).arg(object->objectName()));
    }
    for (int i = 0; i < node->childCount(); ++i) {
        Unnamed(node->child(i), found, depth + 1);
    }
}

} // namespace

class tst_Accessibility : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_world.emplace(); }
    void cleanup() { m_world.reset(); }

    void everyControlNamed_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("language");
        for (const char* language : {"eng", "chs"}) {
            for (const char* window :
                 {"frmMain", "frmPWD", "frmPWDType", "frmOptions", "frmAbout", "frmSync", "frmLogin", "frmForget",
                  "frmNewUser", "frmUsers", "frmHelp", "frmSyncPassword"}) {
                QTest::addRow("%s %s", window, language)
                    << QString::fromLatin1(window) << QString::fromLatin1(language);
            }
        }
    }

    void everyControlNamed()
    {
        QFETCH(QString, window);
        QFETCH(QString, language);
        m_world->folder.UseLanguage(language);
        Book::AddRecord(Book::AddType(u"Friends"_s), u"Alice"_s, {u"555-0100"_s});
        const std::map<QString, std::function<QWidget*()>> make{
            {u"frmMain"_s, [] { return new frmMain(); }},
            {u"frmPWD"_s, [] { return new frmPWD(); }},
            {u"frmPWDType"_s, [] { return new frmPWDType(); }},
            {u"frmOptions"_s, [] { return new frmOptions(); }},
            {u"frmAbout"_s, [] { return new frmAbout(); }},
            {u"frmSync"_s, [] { return new frmSync(); }},
            {u"frmLogin"_s, [] { return new frmLogin(); }},
            {u"frmForget"_s, [] { return new frmForget(); }},
            {u"frmNewUser"_s, [] { return new frmNewUser(); }},
            {u"frmUsers"_s, [] { return new frmUsers(); }},
            {u"frmHelp"_s, [] { return new frmHelp(); }},
            {u"frmSyncPassword"_s,
             [] { return new frmSyncPassword(nullptr, u"ann"_s, u"dav.example"_s, false, u"No keyring"_s); }},
        };
        std::unique_ptr<QWidget> form(make.at(window)());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QStringList found;
        Unnamed(QAccessible::queryAccessibleInterface(form.get()), found);
        if (window == u"frmPWD"_s) { // the details tab too, with a line of each kind
            auto* tabs = form->findChild<QTabWidget*>(u"tabs"_s);
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
            for (const char* add : {"CmdAddPhone", "CmdAddAddress", "CmdAddWebAddress", "CmdAddMessenger"}) {
                QTest::mouseClick(form->findChild<QPushButton*>(QLatin1String(add)), Qt::LeftButton);
            }
            Unnamed(QAccessible::queryAccessibleInterface(form.get()), found);
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u", "_s)));
    }

private:
    std::optional<TestWorld> m_world;
};

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
