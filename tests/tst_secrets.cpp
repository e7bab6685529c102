#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include "core/CodePage.h"
#include "dialogs/frmSyncPassword.h"
#include "main/SyncCommands.h"
#include "store/Connection.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "store/Recordset.h"
#include "store/SecretStore.h"
#include "store/SyncPasswords.h"
#include "store/SyncTables.h"
#include "sync/SyncEngine.h"
#include "tests/support/Book.h"
#include "tests/support/Radicale.h"
#include "tests/support/TestSupport.h"
#include "ui/DialogKit.h"

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

// ctest runs this twice: with a real keyring ("running") and with none ("none").
bool KeyringRunning()
{
    return qEnvironmentVariable("TAVOREN_KEYRING") == u"running"_s;
}

// Every value of every table of the book at path, opened with the program's key, as text.
QStringList EveryValue(const QString& path)
{
    Connection conn;
    conn.Open(ConnectionStringForFile(path));
    QStringList values;
    Recordset tables;
    tables.Open(u"SELECT name FROM sqlite_master WHERE type = 'table'"_s, conn, LockType::ReadOnly);
    for (; !tables.IsEOF(); tables.MoveNext()) {
        Recordset rs;
        rs.Open(u"SELECT * FROM \"%1\""_s.arg(tables.Text(0)), conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            for (int i = 0; i < rs.FieldCount(); ++i) {
                values.append(rs.Text(i));
            }
        }
    }
    conn.Close();
    return values;
}

// An account as an older version stored it: the password enciphered in the book.
qint64 OldStyleAccount(const QString& password, const QString& instance)
{
    CreateSyncTables(Conn);
    return InsertSyncAccount(Conn, Encrypt(u"https://dav.example.com/"_s, CodePage::Utf8()),
                             Encrypt(u"anna"_s, CodePage::Utf8()), Encrypt(password, CodePage::Utf8()), instance);
}

SecretStore::Answer KeyringRead(const QString& instance)
{
    return KeyringSecretStore(u"Tavoren"_s).Read(u"sync account "_s + instance);
}

} // namespace

class tst_Secrets : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { CloseEveryWindow(); }

    // The keyring itself, or its absence, as the program meets it.
    void keyring()
    {
        KeyringSecretStore store(u"Tavoren tests"_s);
        const auto expect = KeyringRunning() ? SecretStore::Outcome::Done : SecretStore::Outcome::Unavailable;
        QCOMPARE(store.Write(u"one"_s, u"Wonder land 7 \u00e9\u4e2d"_s).outcome, expect);
        const SecretStore::Answer read = store.Read(u"one"_s);
        QCOMPARE(read.outcome, expect);
        if (!KeyringRunning()) {
            QVERIFY(!read.why.isEmpty()); // the system's reason, shown to the user
            return;
        }
        QCOMPARE(read.secret, u"Wonder land 7 \u00e9\u4e2d"_s);
        QCOMPARE(store.Read(u"two"_s).outcome, SecretStore::Outcome::Missing);
        QCOMPARE(store.Erase(u"one"_s).outcome, SecretStore::Outcome::Done);
        QCOMPARE(store.Read(u"one"_s).outcome, SecretStore::Outcome::Missing);
    }

    // A password an older version kept in the book goes to the keyring and leaves the book; with
    // no keyring it stays, so nothing is lost.
    void storedPasswordMoves()
    {
        TestProgramFolder folder;
        const QString instance = u"old-account"_s;
        const QString cipher = Encrypt(u"hunter2"_s, CodePage::Utf8());
        OldStyleAccount(u"hunter2"_s, instance);
        for (int i = 0; i < 2; ++i) { // again, as the next start reads it
            ForgetSessionSyncPassword(instance);
            const QList<SyncAccountInfo> accounts = SyncAccounts(Conn);
            QCOMPARE(accounts.size(), 1);
            QCOMPARE(accounts[0].password, u"hunter2"_s);
        }
        Recordset rs;
        OpenSyncAccounts(rs, Conn);
        QCOMPARE(rs.Text(u"Password"), KeyringRunning() ? QString() : cipher);
        rs.Close();
        if (KeyringRunning()) {
            QCOMPARE(KeyringRead(instance).secret, u"hunter2"_s);
            RemoveSyncAccount(Conn, SyncAccounts(Conn)[0].no);
            QCOMPARE(KeyringRead(instance).outcome, SecretStore::Outcome::Missing);
        }
    }

    // Neither the book nor its backup holds a server password, enciphered or plain.
    void noPasswordInBookOrBackup()
    {
        TestProgramFolder folder;
        const QString password = u"Correct horse 42"_s;
        const QString older = u"Old battery 17"_s;
        const qint64 typeNo = AddType(u"Friends"_s);
        const qint64 account = AddSyncAccount(Conn, QUrl(u"https://dav.example.com/"_s), u"anna"_s, password);
        LinkAddressBook(Conn, account, {u"/anna/book/"_s, u"Book"_s, true, {}}, typeNo);
        if (KeyringRunning()) {
            OldStyleAccount(older, u"older-account"_s);
        }
        const QList<SyncAccountInfo> accounts = SyncAccounts(Conn);
        QCOMPARE(accounts[0].password, password);
        QTemporaryDir backups;
        const QString backup = BackupDatabase(Conn, backups.path(), QDate(2026, 12, 7));
        const QString databasePath = folder.DatabasePath();
        Conn.Close();
        for (const QString& path : {databasePath, backup}) {
            const QStringList values = EveryValue(path);
            QVERIFY(!values.isEmpty());
            for (const QString& secret : {password, older}) {
                for (const QString& value : values) {
                    QVERIFY2(!value.contains(secret) && !value.contains(Encrypt(secret, CodePage::Utf8())) &&
                                 !Decrypt(QStringView(value), CodePage::Utf8()).contains(secret),
                             qPrintable(path + u": "_s + value));
                }
            }
        }
        // The password is still to be had: from the keyring, or from this session's memory.
        QCOMPARE(FindSyncPassword(accounts[0].instance).password, std::optional<QString>(password));
        QCOMPARE(KeyringRead(accounts[0].instance).outcome,
                 KeyringRunning() ? SecretStore::Outcome::Done : SecretStore::Outcome::Unavailable);
    }

    // A sync that needs a password nobody keeps asks for it, says why, and keeps it as chosen.
    void askedWhenNeeded_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::newRow("for this session") << true;
        QTest::newRow("for this sync only") << false;
    }

    void askedWhenNeeded()
    {
        QFETCH(bool, remember);
        RecordingPlatform platform;
        TestProgramFolder folder;
        RadicaleServer server;
        REQUIRE_RADICALE(server);
        const QString path = server.AddAddressBook(u"contacts"_s, u"Contacts"_s);
        const qint64 typeNo = AddType(u"Friends"_s);
        AddRecord(typeNo, u"Anna"_s);
        const qint64 account = AddSyncAccount(Conn, server.Root(), server.User(), server.Password());
        LinkAddressBook(Conn, account, {path, u"Contacts"_s, true, {}}, typeNo);
        ForgetSyncPassword(SyncAccounts(Conn)[0].instance); // lost, or never kept

        QMainWindow window;
        SyncCommands commands(&window, [] {});
        auto* toolbar = window.addToolBar(u"Toolbar1"_s);
        commands.AddTo(toolbar);
        commands.Start(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QStringList asked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &window, [&] {
            auto* form = qobject_cast<frmSyncPassword*>(QApplication::activeModalWidget());
            // The form may be up before its box has the focus: typed then, the keys would go
            // nowhere. The next tick answers.
            if (form == nullptr || QApplication::focusWidget() == nullptr ||
                !form->isAncestorOf(QApplication::focusWidget())) {
                return;
            }
            asked.append(form->findChild<QLabel*>(u"lblWhy"_s)->text());
            auto* box = form->findChild<QCheckBox*>(u"chkRemember"_s);
            QCOMPARE(box->isVisible(), !KeyringRunning());
            QTest::keyClicks(QApplication::focusWidget(), server.Password());
            if (remember && box->isVisible()) {
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
            }
            QTest::mouseClick(form->findChild<OkCancelBox*>()->Ok(), Qt::LeftButton);
        });
        answer.start(20);
        auto* status = window.findChild<QLabel*>(u"StatusBar1_Sync"_s);
        QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
        QVERIFY2(status->text().endsWith(u"done"_s), qPrintable(status->text()));
        QCOMPARE(server.Cards(path).size(), 1);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(u"alice on 127.0.0.1"_s));
        QCOMPARE(asked[0].contains(u"no keyring can be reached"_s), !KeyringRunning());

        // The next sync asks again only when nothing kept the password.
        QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!commands.IsSyncing(), 60000);
        answer.stop();
        QVERIFY2(status->text().endsWith(u"done"_s), qPrintable(status->text()));
        QCOMPARE(asked.size(), KeyringRunning() || remember ? 1 : 2);
        if (KeyringRunning()) {
            QCOMPARE(KeyringRead(SyncAccounts(Conn)[0].instance).secret, server.Password());
        }
    }

    // Cancelling the question cancels the sync, and nothing goes to the server.
    void askCancelled()
    {
        RecordingPlatform platform;
        TestProgramFolder folder;
        RadicaleServer server;
        REQUIRE_RADICALE(server);
        const QString path = server.AddAddressBook(u"contacts"_s, u"Contacts"_s);
        const qint64 typeNo = AddType(u"Friends"_s);
        AddRecord(typeNo, u"Anna"_s);
        const qint64 account = AddSyncAccount(Conn, server.Root(), server.User(), server.Password());
        LinkAddressBook(Conn, account, {path, u"Contacts"_s, true, {}}, typeNo);
        ForgetSyncPassword(SyncAccounts(Conn)[0].instance);
        QMainWindow window;
        SyncCommands commands(&window, [] {});
        auto* toolbar = window.addToolBar(u"Toolbar1"_s);
        commands.AddTo(toolbar);
        commands.Start(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        int asked = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &window, [&] {
            if (auto* form = qobject_cast<frmSyncPassword*>(QApplication::activeModalWidget())) {
                ++asked;
                QTest::mouseClick(form->findChild<OkCancelBox*>()->Cancel(), Qt::LeftButton);
            }
        });
        answer.start(20);
        QTest::mouseClick(toolbar->widgetForAction(commands.Toolbar1_Sync), Qt::LeftButton);
        answer.stop();
        QVERIFY(!commands.IsSyncing());
        QCOMPARE(asked, 1);
        QVERIFY(platform.Boxes().isEmpty());
        QVERIFY(server.Cards(path).isEmpty());
    }
};

QTEST_MAIN(tst_Secrets)
#include "tst_secrets.moc"
