// The login, recovery and account dialogs driven by their controls over a real address book, and
// the start-up paths that show them.
#include "access/AccountParts.h"
#include "access/frmCheckUsers.h"
#include "access/frmForget.h"
#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "access/frmUsers.h"
#include "app/AppState.h"
#include "app/Common.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include <memory>

namespace {

const QStringList Alice{"alice", "secret", "colour?", "blue"};

QDialog* Load(const QString& name)
{
    const QMap<QString, QDialog* (*)()> forms{{"frmLogin", []() -> QDialog* { return &Form<frmLogin>(); }},
                                              {"frmForget", []() -> QDialog* { return &Form<frmForget>(); }},
                                              {"frmNewUser", []() -> QDialog* { return &Form<frmNewUser>(); }},
                                              {"frmUsers", []() -> QDialog* { return &Form<frmUsers>(); }}};
    return forms.value(name, []() -> QDialog* { return &Form<frmCheckUsers>(); })();
}

// Fills boxes from "Name=value|Name=value", each box named without its "txt"; <huge> stands for
// 5,000 quotes, <lone> for half a surrogate pair, which no code page can hold.
void Fill(QWidget* form, const QString& entries)
{
    for (const QString& pair : entries.split(u'|', Qt::SkipEmptyParts)) {
        auto* box = form->findChild<QLineEdit*>("txt" + pair.section(u'=', 0, 0));
        QVERIFY2(box != nullptr, qPrintable(pair));
        box->setText(pair.section(u'=', 1).replace("<huge>", QString(5000, u'\'')).replace("<lone>", QChar(0xD800)));
    }
}

void Click(QWidget* form, const char* button)
{
    form->findChild<QPushButton*>(QLatin1String(button))->click();
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

private slots:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void refusals_data();
    void refusals();
    void loginAndRecovery();
    void changeAccount_data();
    void changeAccount();
    void statusBarAndNextStart();
    void checkUsersResult();
    void startup_data();
    void startup();

private:
    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<TestProgramFolder> m_folder;
};

void tst_Access::init()
{
    m_platform = std::make_unique<RecordingPlatform>();
    m_folder = std::make_unique<TestProgramFolder>();
    Logged.clear();
    QtTestHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        Logged.append(text);
        QtTestHandler(type, context, text);
    });
}

void tst_Access::cleanup()
{
    if (frmMain* main = FormInstance<frmMain>::IfLoaded()) {
        main->close();
    }
    FormInstance<frmForget>::Unload();
    FormInstance<frmNewUser>::Unload();
    FormInstance<frmUsers>::Unload();
    FormInstance<frmCheckUsers>::Unload();
    FormInstance<frmLogin>::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qInstallMessageHandler(QtTestHandler);
    // No password in a log, the settings file, or any message but the recovery message.
    QFile settings(IniFile);
    if (settings.open(QIODevice::ReadOnly)) {
        Logged.append(QString::fromUtf8(settings.readAll()));
    }
    for (const RecordingPlatform::Call& box : m_platform->Boxes()) {
        Logged.append(box.text.startsWith("Your password is:") ? QString() : box.text);
    }
    m_folder.reset();
    m_platform.reset();
    for (const QString& text : std::as_const(Logged)) {
        QVERIFY2(!text.contains("secret") && !text.contains("hunter2"), qPrintable(text));
    }
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_Access::controls_data()
{
    for (const char* column : {"language", "form", "title", "widget", "text"}) {
        QTest::addColumn<QString>(column);
    }
    const char* rows[][6] = {
        {"built-in login", "none", "frmLogin", "Login", "CmdForget", "&Forget"},
        {"built-in forget", "none", "frmForget", "Forget password", "SkinLabel2", "Answer:"},
        {"built-in check", "none", "frmCheckUsers", "Check Users", "SkinLabel2", "Password:"},
        {"simplified", "chs", "frmUsers", "用户账户", "SkinLabel3", "新密码："},
        {"traditional", "cht", "frmNewUser", "建立使用者", "CmdCancel", "取消(&C)"},
    };
    for (const auto& r : rows) {
        QTest::newRow(r[0]) << r[1] << r[2] << QString::fromUtf8(r[3]) << r[4] << QString::fromUtf8(r[5]);
    }
}

void tst_Access::controls()
{
    QFETCH(QString, language);
    QFETCH(QString, form);
    QFETCH(QString, widget);
    m_folder->UseLanguage(language);
    QDialog* dialog = Load(form);
    dialog->show();
    QTEST(dialog->windowTitle(), "title");
    QTEST(dialog->findChild<QObject*>(widget)->property("text").toString(), "text");
    for (QLineEdit* box : dialog->findChildren<QLineEdit*>()) {
        const bool secret = box->objectName().contains("Password") || box->objectName() == "txtConfrim";
        QCOMPARE(box->echoMode(), secret ? QLineEdit::Password : QLineEdit::Normal);
        QVERIFY(!secret || box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box) == '*');
    }
    QVERIFY(dialog->findChild<QPushButton*>("CmdOK")->isDefault());
    QTest::keyClick(dialog, Qt::Key_Escape); // the cancel button
    QVERIFY(!IsFormLoaded(form));
    QCOMPARE(m_platform->Sequence(), QStringLiteral("104"));
}

// Each refusal: its text, icon and sounds, the focus on the box at fault, and nothing written.
void tst_Access::refusals_data()
{
    for (const char* column : {"form", "currentUser", "fields", "message", "icon", "focus"}) {
        QTest::addColumn<QString>(column);
    }
    const char* wrong = "Incorrect user name or password!";
    const char* badAnswer = "The question or answer is incorrect!";
    const char* foreign = "The text contains characters that this system's character set cannot store!";
    const char* rows[][7] = {
        {"login name blank", "Login", "alice", "UserName=   |Password=x", "The user name cannot be empty!", "i",
         "UserName"},
        {"login password blank", "Login", "alice", "Password=  ", "The password cannot be empty!", "i", "Password"},
        {"built-in, name spaced", "Login", "alice", "UserName= alice |Password=secret", "Password error", "!",
         "Password"},
        {"login case", "Login", "alice", "UserName=Alice|Password=secret", wrong, "!", "Password"},
        {"login injection", "Login", "alice", "UserName=' OR ''='|Password=%' OR 1=1 --", wrong, "!", "Password"},
        {"login huge, foreign", "Login", "alice", "UserName=<huge>|Password=secret<lone>", wrong, "!", "Password"},
        {"recovery untrimmed", "Forget", "alice", "Question=colour?|Answer=blue ", badAnswer, "!", "Question"},
        {"recovery other account", "Forget", "bob", "Question=colour?|Answer=blue", badAnswer, "!", "Question"},
        {"new name first", "NewUser", "", "UserName=|Answer=", "The user name cannot be empty!", "i", "UserName"},
        {"new password spaces", "NewUser", "", "Password=   ", "The password cannot be empty!", "i", "Password"},
        {"new confirmation", "NewUser", "", "Confrim=pW", "The passwords do not match!", "i", "Confrim"},
        {"new foreign", "NewUser", "", "Question=q<lone>", foreign, "i", "Question"},
        {"users old password", "Users", "alice", "OldPassword=Secret", "The old password is incorrect!", "i",
         "OldPassword"},
        {"users login was off", "Users", "", "UserName=alice|OldPassword=secret", "The old password is incorrect!", "i",
         "OldPassword"},
        {"users confirmation", "Users", "alice", "OldPassword=secret|NewPassword=new|ConfrimPassword=New",
         "The new password and its confirmation do not match!", "i", "ConfrimPassword"},
        {"users foreign", "Users", "alice", "OldPassword=secret|Answer=<lone>", foreign, "i", "Answer"},
        {"check password", "CheckUsers", "alice", "Password=secret ", "Incorrect password!", "!", "Password"},
    };
    for (const auto& r : rows) {
        // The new-user rows change one box of an entry that is otherwise complete.
        const bool newUser = QLatin1String(r[1]) == "NewUser";
        QTest::newRow(r[0]) << "frm" + QString(r[1]) << r[2]
                            << (newUser ? "UserName=bob|Password=pw|Confrim=pw|Question=q|Answer=a|" : "") +
                                   QString::fromUtf8(r[3])
                            << r[4] << r[5] << r[6];
    }
}

void tst_Access::refusals()
{
    QFETCH(QString, form);
    QFETCH(QString, currentUser);
    QFETCH(QString, icon);
    if (form != "frmNewUser") {
        AddAlice();
    }
    if (QByteArray(QTest::currentDataTag()).startsWith("built-in")) {
        m_folder->UseLanguage("none");
    }
    const QStringList before = StoredAccount();
    CurrentUser = currentUser;
    QDialog* dialog = Load(form);
    dialog->show();
    QFETCH(QString, fields);
    Fill(dialog, fields);
    Click(dialog, "CmdOK");
    QCOMPARE(m_platform->Sequence(), icon == "!" ? QStringLiteral("101,box,104") : QStringLiteral("102,box,104"));
    QTEST(m_platform->Boxes().value(0).text, "message");
    QCOMPARE(m_platform->Boxes().value(0).icon, icon == "!" ? MsgIcon::Warning : MsgIcon::Information);
    QVERIFY(dialog->isVisible() && dialog->focusWidget() != nullptr);
    QTEST(dialog->focusWidget()->objectName().mid(3), "focus");
    QCOMPARE(StoredAccount(), before);
    QVERIFY(CurrentUser == currentUser && !LoginPassed);
}

// Retries without limit; recovery for the account in use fills the password box, and OK still
// has to be pressed; success hides the dialog but keeps it loaded for its skin.
void tst_Access::loginAndRecovery()
{
    AddAlice();
    frmLogin& login = Form<frmLogin>();
    login.show();
    for (const char* wrong : {"secre", "secret ", "x"}) {
        login.txtPassword->setText(QLatin1String(wrong));
        Click(&login, "CmdOK");
    }
    QCOMPARE(m_platform->Boxes().size(), 3);
    m_platform->calls.clear();
    login.txtUserName->setText("mallory");
    QObject guard;
    QTimer::singleShot(0, &guard, [] {
        Fill(FormInstance<frmForget>::IfLoaded(), "Question=colour?|Answer=blue");
        Click(FormInstance<frmForget>::IfLoaded(), "CmdOK");
    });
    Click(&login, "CmdForget");
    QCOMPARE(m_platform->Sequence(), QStringLiteral("102,101,box,104"));
    QCOMPARE(m_platform->Boxes()[0].text, QStringLiteral("Your password is:\nsecret"));
    QCOMPARE(m_platform->Boxes()[0].icon, MsgIcon::Warning);
    QVERIFY(!IsFormLoaded("frmForget"));
    QCOMPARE(login.txtPassword->text(), QStringLiteral("secret"));
    QVERIFY(login.isVisible() && !LoginPassed);
    login.txtUserName->setText("alice");
    m_platform->calls.clear();
    QTest::keyClick(login.txtPassword, Qt::Key_Return); // OK is the default button
    QVERIFY(LoginPassed && CurrentUser == QLatin1String("alice"));
    QCOMPARE(m_platform->Sequence(), QStringLiteral("104"));
    QVERIFY(!login.isVisible() && login.txtPassword->text().isEmpty());
    QCOMPARE(FormInstance<frmLogin>::IfLoaded(), &login);
}

// Name always, the rest only when given; a failure halfway leaves the account as it was.
void tst_Access::changeAccount_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("name only, any confirmation")
        << "UserName=carol|ConfrimPassword=whatever" << QStringList{"carol", "secret", "colour?", "blue"};
    QTest::newRow("same name, new password")
        << "NewPassword= n2 |ConfrimPassword=n2" << QStringList{"alice", "n2", "colour?", "blue"};
    QTest::newRow("everything, awkward")
        << "UserName=O'Neil 100%|NewPassword=<huge>|ConfrimPassword=<huge>|Question=猫？|Answer=Ün 🐱"
        << QStringList{"O'Neil 100%", QString(5000, u'\''), "猫？", "Ün 🐱"};
    QTest::newRow("answer update fails") << "UserName=carol|NewPassword=hunter2|ConfrimPassword=hunter2|Answer=green"
                                         << Alice;
}

void tst_Access::changeAccount()
{
    AddAlice();
    const bool fails = QTest::currentDataTag() == QLatin1String("answer update fails");
    if (fails) {
        Conn.Execute("CREATE TRIGGER NoAnswer BEFORE UPDATE OF Answer ON Users BEGIN SELECT RAISE(ABORT, 'no'); END");
    }
    frmUsers& dialog = Form<frmUsers>();
    dialog.show();
    QCOMPARE(dialog.txtUserName->text(), QStringLiteral("alice"));
    QFETCH(QString, fields);
    Fill(&dialog, "OldPassword=secret|" + fields);
    Click(&dialog, "CmdOK");
    QCOMPARE(m_platform->Sequence(), fails ? QStringLiteral("103,box,104") : QStringLiteral("104"));
    QTEST(StoredAccount(), "stored");
    QCOMPARE(CurrentUser, StoredAccount().value(0));
    QCOMPARE(IsFormLoaded("frmUsers"), fails);
}

void tst_Access::statusBarAndNextStart()
{
    AddAlice();
    QPointer<frmMain> main = &Form<frmMain>();
    QCOMPARE(main->PanelText(2), QStringLiteral("User: alice"));
    QObject guard;
    QTimer::singleShot(0, &guard, [] {
        Fill(FormInstance<frmUsers>::IfLoaded(), "UserName=carol|OldPassword=secret");
        Click(FormInstance<frmUsers>::IfLoaded(), "CmdOK");
    });
    main->findChild<QAction*>("mnuUser")->trigger();
    QCOMPARE(main->PanelText(2), QStringLiteral("User: carol"));
    main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(main.isNull() && !IsFormLoaded("frmLogin")); // the main window unloads the hidden login dialog
    Conn.Close();
    QString proposed;
    QTimer::singleShot(0, &guard, [&proposed] {
        proposed = FormInstance<frmLogin>::IfLoaded()->txtUserName->text();
        FormInstance<frmLogin>::IfLoaded()->close();
    });
    QVERIFY(!OpenDatabaseAndLogIn());
    QCOMPARE(proposed, QStringLiteral("carol"));
}

void tst_Access::checkUsersResult()
{
    AddAlice();
    QObject guard;
    for (const char* password : {"secret", ""}) {
        QTimer::singleShot(0, &guard, [password] {
            frmCheckUsers* dialog = FormInstance<frmCheckUsers>::IfLoaded();
            QCOMPARE(dialog->Result, 2);
            dialog->txtPassword->setText(QLatin1String(password));
            Click(dialog, *password != '\0' ? "CmdOK" : "CmdCancel");
        });
        QCOMPARE(frmCheckUsers::Verify(), *password != '\0' ? 1 : 2);
    }
}

void tst_Access::startup_data()
{
    for (const char* column : {"login", "account", "action", "shown"}) {
        QTest::addColumn<QString>(column); // action: what the shown dialog gets, ok, cancel or close
    }
    const char* rows[][5] = {
        {"login off, no account", "off", "", "", ""},       {"login off, account", "off", "yes", "", ""},
        {"first start", "on", "", "ok", "frmNewUser"},      {"first start, cancel", "on", "", "cancel", "frmNewUser"},
        {"login", "on", "yes", "ok", "frmLogin"},           {"login, cancel", "on", "yes", "cancel", "frmLogin"},
        {"login, close", "on", "yes", "close", "frmLogin"},
    };
    for (const auto& r : rows) {
        QTest::newRow(r[0]) << r[1] << r[2] << r[3] << r[4];
    }
}

void tst_Access::startup()
{
    QFETCH(QString, login);
    QFETCH(QString, account);
    QFETCH(QString, action);
    const bool passes = !action.startsWith('c'), loggedIn = passes && login == "on";
    if (!account.isEmpty()) {
        AddAlice();
    }
    Conn.Close();
    CurrentUser.clear();
    LoginEnabled = login == "on";
    QString shown, proposed;
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        QDialog* dialog = FormInstance<frmNewUser>::IfLoaded();
        if (dialog == nullptr) {
            dialog = FormInstance<frmLogin>::IfLoaded();
            proposed = FormInstance<frmLogin>::IfLoaded()->txtUserName->text();
        }
        shown = dialog->isVisible() ? dialog->objectName() : "hidden";
        if (action == "close") {
            dialog->close();
            return;
        }
        // At first start the boxes are trimmed and every value stored enciphered, quotes and all.
        Fill(dialog, shown == "frmLogin" ? "Password=secret"
                                         : "UserName= alice |Password=s'%|Confrim=s'% |Question= 猫？|"
                                           "Answer=🐱 ");
        Click(dialog, action == "ok" ? "CmdOK" : "CmdCancel");
    });
    QCOMPARE(OpenDatabaseAndLogIn(), passes);
    QTEST(shown, "shown");
    QCOMPARE(proposed, account.isEmpty() || login == "off" ? QString() : QStringLiteral("alice"));
    QCOMPARE(LoginPassed, loggedIn);
    QCOMPARE(Conn.IsOpen(), passes);
    QVERIFY(m_platform->Boxes().isEmpty()); // a cancel ends quietly
    QCOMPARE(IsFormLoaded("frmLogin"), loggedIn);
    QCOMPARE(CurrentUser, loggedIn || !proposed.isEmpty() ? QStringLiteral("alice") : QString());
    if (loggedIn && account.isEmpty()) { // read back through the cipher
        QCOMPARE(StoredAccount(), (QStringList{"alice", "s'%", "猫？", "🐱"}));
    }
}

QTEST_MAIN(tst_Access)
#include "tst_access.moc"
