// The login, recovery and account dialogs driven by their controls over a real address book, and
// the start-up paths that show them.
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include <optional>

#include "access/frmForget.h"
#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "access/frmUsers.h"
#include "app/Application.h"
#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/frmMain.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Common.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;

namespace {

const QStringList Alice{"alice", "secret", "colour?", "blue"};

template <class... F> QDialog* LoadOf(const QString& name)
{
    QDialog* dialog = nullptr;
    ((dialog = dialog != nullptr || name != F::staticMetaObject.className() ? dialog : &Form<F>()), ...);
    return dialog;
}

constexpr auto Load = LoadOf<frmLogin, frmForget, frmNewUser, frmUsers>;

// Fills boxes from "Name=value|Name=value", each box named without its "txt", and presses the
// button, if any; <huge> stands for 5,000 quotes, <lone> for half a surrogate pair, which no code
// page can hold.
void Submit(QWidget* form, const QString& entries, const char* button = "CmdOK")
{
    for (const QString& pair : entries.split(u'|', Qt::SkipEmptyParts)) {
        auto* box = form->findChild<QLineEdit*>("txt" + pair.section(u'=', 0, 0));
        QVERIFY2(box != nullptr, qPrintable(pair));
        box->setText(pair.section(u'=', 1).replace("<huge>", QString(5000, u'\'')).replace("<lone>", QChar(0xD800)));
    }
    if (button != nullptr) {
        QTest::mouseClick(form->findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    }
}

// When the next modal dialog runs: notes its name and proposed user name, submits it, or closes
// it when there is no button.
void Reply(QObject& guard, const QString& entries, const char* button = "CmdOK", QStringList* seen = nullptr)
{
    QTimer::singleShot(0, &guard, [=] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        if (seen != nullptr) {
            *seen = {dialog->objectName(), dialog->findChild<QLineEdit*>("txtUserName")->text()};
        }
        Submit(dialog, entries, button);
        if (button == nullptr) {
            dialog->close();
        }
    });
}

QStringList StoredAccount() // deciphered, read straight from the table
{
    Recordset rs;
    OpenUsers(rs, Conn);
    QStringList values;
    for (const char16_t* field : {u"UserName", u"Password", u"Question", u"Answer"}) {
        if (rs.RecordCount() > 0) {
            values.append(Decrypt(rs.Text(field)));
        }
    }
    return values;
}

void AddAlice()
{
    InsertUser(Conn, Alice[0], Alice[1], Alice[2], Alice[3]);
    CurrentUser = Alice[0];
}

QStringList Logged; // everything logged during a test
QtMessageHandler QtTestHandler = nullptr;

} // namespace

class tst_Access : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init()
    {
        m_world.emplace();
        Logged.clear();
        QtTestHandler =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                Logged.append(text);
                QtTestHandler(type, context, text);
            });
    }

    void cleanup()
    {
        CloseEveryWindow(); // the main window writes the settings file as it closes
        qInstallMessageHandler(QtTestHandler);
        // No password in a log, the settings file, or any message but the recovery message.
        Logged.append(QString::fromUtf8(Book::ReadFile(IniFile)));
        for (const RecordingPlatform::Call& box : m_world->platform.Boxes()) {
            Logged.append(box.text.startsWith("Your password is:") ? QString() : box.text);
        }
        m_world.reset();
        for (const QString& text : std::as_const(Logged)) {
            QVERIFY2(!text.contains("secret") && !text.contains("hunter2"), qPrintable(text));
        }
    }

    // Captions by language, masked password boxes in the language's font like every other box,
    // OK as default and Escape as cancel.
    void controls_data() { Book::AddRows(u"access.txt"_s); }
    void controls()
    {
        QFETCH(QString, language);
        QFETCH(QString, form);
        QFETCH(QString, control);
        m_world->folder.UseLanguage(language);
        WriteIni(QStringLiteral("Info"), QStringLiteral("FontSize"), QStringLiteral("16"), LangFile);
        QDialog* dialog = Load(form);
        dialog->show();
        QTEST(dialog->windowTitle(), "title");
        QTEST(dialog->findChild<QObject*>(control)->property("text").toString(), "caption");
        for (QLineEdit* box : dialog->findChildren<QLineEdit*>()) {
            const bool secret = box->objectName().contains("Password") || box->objectName() == "txtConfrim";
            QCOMPARE(box->echoMode(), secret ? QLineEdit::Password : QLineEdit::Normal);
            QVERIFY(!secret || box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box) == '*');
            QCOMPARE(box->font().pointSizeF(), 16.0);
        }
        QVERIFY(dialog->findChild<QPushButton*>("CmdOK")->isDefault());
        QTest::keyClick(dialog, Qt::Key_Escape); // the cancel button
        QVERIFY(!IsFormLoaded(form));
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("104"));
    }

    // Each refusal: its text, icon and sounds, the focus on the box at fault, and nothing written.
    void refusals_data() { Book::AddRows(u"access.txt"_s); }

    void refusals()
    {
        QFETCH(QString, form);
        QFETCH(QString, currentUser);
        QFETCH(QString, icon);
        if (form != "frmNewUser") {
            AddAlice();
        }
        if (QByteArray(QTest::currentDataTag()).startsWith("built-in")) {
            m_world->folder.UseLanguage("none");
        }
        const QStringList before = StoredAccount();
        CurrentUser = currentUser;
        QDialog* dialog = Load(form);
        dialog->show();
        QFETCH(QString, fields);
        Submit(dialog,
               (form == "frmNewUser" ? "UserName=bob|Password=pw|Confrim=pw|Question=q|Answer=a|" : "") + fields);
        QCOMPARE(m_world->platform.Sequence(), (icon == "!" ? "101" : "102") + QStringLiteral(",box,104"));
        QTEST(m_world->platform.Boxes().value(0).text, "message");
        QCOMPARE(m_world->platform.Boxes().value(0).icon, icon == "!" ? MsgIcon::Warning : MsgIcon::Information);
        QVERIFY(dialog->isVisible() && dialog->focusWidget() != nullptr);
        QTEST(dialog->focusWidget()->objectName().mid(3), "focus");
        QCOMPARE(StoredAccount(), before);
        QVERIFY(CurrentUser == currentUser && !LoginPassed);
    }

    // Retries without limit; recovery for the account in use fills the password box, and OK still
    // has to be pressed; success hides the dialog but keeps it loaded for its skin.
    void loginAndRecovery()
    {
        QObject guard;
        AddAlice();
        frmLogin& login = Form<frmLogin>();
        login.show();
        for (const char* wrong : {"secre", "secret ", "x"}) {
            Submit(&login, "Password=" + QLatin1String(wrong));
        }
        QCOMPARE(m_world->platform.Boxes().size(), 3);
        m_world->platform.calls.clear();
        Reply(guard, "Question=colour?|Answer=blue");
        Submit(&login, "UserName=mallory", "CmdForget");
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("102,101,box,104"));
        QCOMPARE(m_world->platform.Boxes()[0].text, QStringLiteral("Your password is:\nsecret"));
        QCOMPARE(m_world->platform.Boxes()[0].icon, MsgIcon::Warning);
        QVERIFY(!IsFormLoaded("frmForget"));
        QCOMPARE(login.txtPassword->text(), QStringLiteral("secret"));
        QVERIFY(login.isVisible() && !LoginPassed);
        login.txtUserName->setText("alice");
        m_world->platform.calls.clear();
        QTest::keyClick(login.txtPassword, Qt::Key_Return); // OK is the default button
        QVERIFY(LoginPassed && CurrentUser == QLatin1String("alice"));
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("104"));
        QVERIFY(!login.isVisible() && login.txtPassword->text().isEmpty());
        QCOMPARE(FormInstance<frmLogin>::IfLoaded(), &login);
    }

    // Name always, the rest only when given; a failure halfway leaves the account as it was.
    void changeAccount_data() { Book::AddRows(u"access.txt"_s); }

    void changeAccount()
    {
        AddAlice();
        const bool fails = QTest::currentDataTag() == QLatin1String("answer update fails");
        if (fails) {
            Conn.Execute(
                "CREATE TRIGGER NoAnswer BEFORE UPDATE OF Answer ON Users BEGIN SELECT RAISE(ABORT, 'no'); END");
        }
        frmUsers& dialog = Form<frmUsers>();
        dialog.show();
        QCOMPARE(dialog.txtUserName->text(), QStringLiteral("alice"));
        QFETCH(QString, fields);
        Submit(&dialog, "OldPassword=secret|" + fields);
        QCOMPARE(m_world->platform.Sequence(), fails ? QStringLiteral("103,box,104") : QStringLiteral("104"));
        QFETCH(QStringList, stored);
        QCOMPARE(StoredAccount(), stored.replaceInStrings(u"<huge>"_s, QString(5000, u'\'')));
        QCOMPARE(CurrentUser, StoredAccount().value(0));
        QCOMPARE(IsFormLoaded("frmUsers"), fails);
    }

    // A new password re-keys a protected book, and recovery follows the new question and answer.
    void changeAccountOfProtectedBook()
    {
        AddAlice();
        QVERIFY(ProtectBookWithAccount(Conn));
        const auto reset = qScopeGuard([] { SetBookPassphrase(QString::fromLatin1(DatabasePassword)); });
        const QString book = Conn.DatabasePath();
        frmUsers& dialog = Form<frmUsers>();
        dialog.show();
        Submit(&dialog, "OldPassword=secret|NewPassword=n2|ConfrimPassword=n2|Answer=green");
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("104"));
        QCOMPARE(StoredAccount(), (QStringList{"alice", "n2", "colour?", "green"}));
        QCOMPARE(BookPassphrase(), PassphraseForPassword("n2"));
        QVERIFY(IsAddressBookFile(book, PassphraseForPassword("n2")));
        QVERIFY(!IsAddressBookFile(book, PassphraseForPassword("secret")));
        QCOMPARE(RecoverPassword(book, "colour?", "green"), std::optional<QString>("n2"));
        QCOMPARE(RecoverPassword(book, "colour?", "blue"), std::nullopt);
    }

    void statusBarAndNextStart()
    {
        QObject guard;
        AddAlice();
        QPointer<frmMain> main = &Form<frmMain>();
        QCOMPARE(main->PanelText(2), QStringLiteral("User: alice"));
        Reply(guard, "UserName=carol|OldPassword=secret");
        main->findChild<QAction*>("mnuUser")->trigger();
        QCOMPARE(main->PanelText(2), QStringLiteral("User: carol"));
        main->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(main.isNull() && !IsFormLoaded("frmLogin")); // the main window unloads the hidden login dialog
        Conn.Close();
        QStringList seen;
        Reply(guard, "", nullptr, &seen);
        QVERIFY(!OpenDatabaseAndLogIn());
        QCOMPARE(seen, (QStringList{"frmLogin", "carol"}));
    }

    // A book protected with the password: a start asks for it whatever the login switch says, a
    // wrong one opens nothing, and recovery unseals it from beside the shut book.
    void protectedStartup()
    {
        QObject guard;
        AddAlice();
        QVERIFY(ProtectBookWithAccount(Conn));
        const auto reset = qScopeGuard([] { SetBookPassphrase(QString::fromLatin1(DatabasePassword)); });
        Conn.Close();
        SetBookPassphrase(QString::fromLatin1(DatabasePassword)); // as a new start finds it
        CurrentUser.clear();
        LoginEnabled = false;
        QStringList seen;
        QTimer::singleShot(0, &guard, [&] {
            auto* login = qobject_cast<frmLogin*>(QApplication::activeModalWidget());
            QVERIFY(login != nullptr);
            seen.append(login->txtUserName->text()); // nothing to propose: the book is shut
            Submit(login, "UserName=alice|Password=hunter2");
            Submit(login, "UserName=mallory|Password=secret"); // the password, but not the account's name
            seen.append(Conn.IsOpen() ? "open" : "shut");
            Reply(guard, "Question=colour?|Answer=blue");
            Submit(login, "", "CmdForget");
            Submit(login, "UserName=alice"); // with the password recovery filled in
        });
        QVERIFY(OpenDatabaseAndLogIn());
        QCOMPARE(seen, (QStringList{"", "shut"}));
        QVERIFY(LoginPassed && Conn.IsOpen());
        QCOMPARE(CurrentUser, QStringLiteral("alice"));
        QCOMPARE(BookPassphrase(), PassphraseForPassword("secret"));
        const QList<RecordingPlatform::Call> boxes = m_world->platform.Boxes();
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0].text, QStringLiteral("Incorrect user name or password!"));
        QCOMPARE(boxes[1].text, QStringLiteral("Incorrect user name or password!"));
        QCOMPARE(boxes[2].text, QStringLiteral("Your password is:\nsecret"));
        QCOMPARE(StoredAccount(), Alice);
    }

    void startup_data() { Book::AddRows(u"access.txt"_s); }

    void startup()
    {
        QObject guard;
        QFETCH(QString, login);
        QFETCH(QString, account);
        QFETCH(QString, button);
        const bool passes = button.isEmpty() || button == "CmdOK", loggedIn = passes && login == "on";
        if (!account.isEmpty()) {
            AddAlice();
        }
        Conn.Close();
        CurrentUser.clear();
        LoginEnabled = login == "on";
        // At first start the boxes are trimmed and every value stored enciphered, quotes and all.
        const QByteArray pressed = button.toLatin1();
        QStringList seen{"", ""};
        Reply(guard,
              account.isEmpty() ? "UserName= alice |Password=s'%|Confrim=s'% |Question= 猫？|Answer=🐱 "
                                : "Password=secret",
              button == "none" ? nullptr : pressed.constData(), &seen);
        QCOMPARE(OpenDatabaseAndLogIn(), passes);
        QCOMPARE(seen[0], login == "off" ? "" : account.isEmpty() ? "frmNewUser" : "frmLogin");
        QCOMPARE(seen[1], account.isEmpty() || login == "off" ? QString() : QStringLiteral("alice"));
        QCOMPARE(LoginPassed, loggedIn);
        QCOMPARE(Conn.IsOpen(), passes);
        QVERIFY(m_world->platform.Boxes().isEmpty()); // a cancel ends quietly
        QCOMPARE(IsFormLoaded("frmLogin"), loggedIn);
        QCOMPARE(CurrentUser, loggedIn || !seen[1].isEmpty() ? QStringLiteral("alice") : QString());
        if (loggedIn && account.isEmpty()) { // read back through the cipher
            QCOMPARE(StoredAccount(), (QStringList{"alice", "s'%", "猫？", "🐱"}));
        }
    }
};

QTEST_MAIN(tst_Access)
#include "tst_access.moc"
