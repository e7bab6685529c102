#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cstdlib>

#include "core/Errors.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace Book;

namespace {

const QString Password = u"Blue heron 5"_s;
const QString Question = u"First pet?"_s;
const QString Answer = u"Rex the dog"_s;
const QString Contact = u"Zoe Quartermain"_s;

bool Opens(const QString& path, const QString& passphrase)
{
    try {
        Connection conn;
        conn.Open(ConnectionStringForFile(path, passphrase));
        return true;
    } catch (const DbError&) {
        return false;
    }
}

// What a reader of the file finds without the password: the bytes themselves, read as they are
// and with the field cipher undone wherever they look like its hexadecimal text.
bool RevealsAnything(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
    for (const QString& secret : {Contact, Password, Answer}) {
        if (bytes.contains(secret.toUtf8()) || bytes.contains(Encrypt(secret).toLatin1())) {
            return true;
        }
    }
    return Opens(path, QString::fromLatin1(DatabasePassword)) || Opens(path, PassphraseForPassword(u"wrong"_s)) ||
           Opens(path, Password);
}

} // namespace

class tst_Protection : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        SetBookPassphrase(QString::fromLatin1(DatabasePassword));
        m_folder.emplace();
        AddRecord(AddType(u"Friends"_s), Contact, {u"555-0100"_s});
        InsertUser(Conn, u"anna"_s, Password, Question, Answer);
    }

    void cleanup()
    {
        Conn.Close();
        m_folder.reset();
        SetBookPassphrase(QString::fromLatin1(DatabasePassword));
    }

    // With the option on, nothing of the book can be read without the password: the book, a backup,
    // a compacted book, a journal left by a write that was cut off.
    void nothingReadableWithoutPassword()
    {
        const QString book = m_folder->DatabasePath();
        const QStringList before = Dump();
        ProtectBook(Conn, Password, Question, Answer);
        QCOMPARE(Dump(), before); // the open connection reads it as before
        QTemporaryDir out;
        const QString backup = BackupDatabase(Conn, out.path(), QDate(2026, 12, 7));

        // A write cut off with its journal beside the book: copied as a crash would leave them.
        Conn.Execute(u"BEGIN"_s);
        Conn.Execute(u"UPDATE PWDTable SET F_Phone1 = 'x'"_s);
        Conn.Execute(u"PRAGMA cache_spill = 1"_s);
        const QString journal = book + u"-journal"_s;
        QVERIFY(QFile::exists(journal));
        const QString crashed = out.filePath(u"crashed.mdb"_s);
        QVERIFY(QFile::copy(book, crashed));
        QVERIFY(QFile::copy(journal, crashed + u"-journal"_s));
        Conn.Execute(u"ROLLBACK"_s);
        Conn.Close();
        QCOMPARE(CompactDatabaseFile(book), CompactOutcome::Compacted);

        for (const QString& file : {book, backup, crashed + u"-journal"_s, crashed}) {
            QVERIFY2(!RevealsAnything(file), qPrintable(file));
        }
        // The password opens each, and the crashed copy comes back as it was before the write.
        for (const QString& file : {book, backup, crashed}) {
            QCOMPARE(DumpFile(file), before);
        }
        QCOMPARE(QFileInfo(RecoveryMaterialPath(book)).permissions() & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(!ReadFile(RecoveryMaterialPath(book)).contains(Password.toUtf8()));
    }

    // The question and answer, exactly as typed, give the password back; anything else does not.
    void recovery_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("recovered");
        QTest::newRow("as typed") << Question << Answer << true;
        QTest::newRow("wrong answer") << Question << u"Rex the cat"_s << false;
        QTest::newRow("answer in other case") << Question << Answer.toUpper() << false;
        QTest::newRow("wrong question") << u"First car?"_s << Answer << false;
        QTest::newRow("nothing") << QString() << QString() << false;
    }

    void recovery()
    {
        QFETCH(QString, question);
        QFETCH(QString, answer);
        QFETCH(bool, recovered);
        ProtectBook(Conn, Password, Question, Answer);
        const auto password = RecoverPassword(m_folder->DatabasePath(), question, answer);
        QCOMPARE(password.has_value(), recovered);
        if (recovered) {
            QCOMPARE(*password, Password);
        }
    }

    // Turning the option off puts the program's key back; a backup made while it was on still
    // needs its password, and opens with it.
    void turnedOff()
    {
        const QString book = m_folder->DatabasePath();
        const QStringList before = Dump();
        ProtectBook(Conn, Password, Question, Answer);
        QTemporaryDir out;
        const QString backup = BackupDatabase(Conn, out.path(), QDate(2026, 12, 7));
        UnprotectBook(Conn);
        QVERIFY(!IsProtectedBook(book));
        QCOMPARE(BookPassphrase(), QString::fromLatin1(DatabasePassword));
        QVERIFY(Opens(book, QString::fromLatin1(DatabasePassword)));
        QCOMPARE(Dump(), before);
        QVERIFY(!IsAddressBookFile(backup));
        QVERIFY(Opens(backup, PassphraseForPassword(Password)));
    }

    // Opening a protected book: the right password, a wrong one, and a book whose protection was
    // being turned on or off when the program stopped, with the material left behind.
    void open_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("opened");
        QTest::newRow("right password") << true << Password << true;
        QTest::newRow("wrong password") << true << u"Blue heron 6"_s << false;
        QTest::newRow("material without protection") << false << u"anything"_s << true;
    }

    void open()
    {
        QFETCH(bool, protect);
        QFETCH(QString, password);
        QFETCH(bool, opened);
        const QString book = m_folder->DatabasePath();
        const QStringList before = Dump();
        if (protect) {
            ProtectBook(Conn, Password, Question, Answer);
        } else {
            WriteRecoveryMaterial(book, Password, Question, Answer);
        }
        Conn.Close();
        SetBookPassphrase(QString::fromLatin1(DatabasePassword));
        QCOMPARE(OpenProtectedBook(Conn, book, password), opened ? BookOpening::Opened : BookOpening::WrongPassword);
        QCOMPARE(Conn.IsOpen(), opened);
        QCOMPARE(IsProtectedBook(book), protect);
        if (opened) {
            QCOMPARE(Dump(), before);
        }
    }

    // Turning the option on or off, killed at its last moment or stopped by a full disk, leaves
    // the book whole under one key, and the next start opens it.
    void interrupted_data()
    {
        QTest::addColumn<bool>("on"); // turning it on, else off
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("on, killed") << true << false;
        QTest::newRow("off, killed") << false << false;
        QTest::newRow("on, full disk") << true << true;
    }

    void interrupted()
    {
        QFETCH(bool, on);
        QFETCH(bool, fullDisk);
        const QStringList before = Dump();
        QString book = m_folder->DatabasePath();
        if (!on) {
            ProtectBook(Conn, Password, Question, Answer);
        }
        Conn.Close();
        if (fullDisk) {
            SmallDisk disk(2 * 1024 * 1024);
            REQUIRE_SMALL_DISK(disk);
            const QString small = disk.Path() + u"address.mdb"_s;
            QVERIFY(QFile::copy(book, small));
            disk.Fill();
            Conn.Open(ConnectionStringForFile(small));
            QVERIFY_THROWS_EXCEPTION(AppError, ProtectBook(Conn, Password, Question, Answer));
            QVERIFY(Conn.IsOpen());
            QCOMPARE(Dump(), before);
            Conn.Close();
            QVERIFY(Opens(small, QString::fromLatin1(DatabasePassword)));
            QVERIFY(!QFile::exists(CompactWorkPath(small)));
            return;
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TAVOREN_DIE_REKEYING"_s, (on ? u"on\n"_s : u"off\n"_s) + book);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 3);
        QVERIFY(QFile::exists(CompactWorkPath(book))); // it died with its work file complete
        if (on) {
            QVERIFY(!RevealsAnything(CompactWorkPath(book))); // the work file is under the password already
        }
        SetBookPassphrase(QString::fromLatin1(DatabasePassword));
        QCOMPARE(OpenProtectedBook(Conn, book, Password), BookOpening::Opened);
        QCOMPARE(Dump(), before);
        QCOMPARE(BookPassphrase(), on ? QString::fromLatin1(DatabasePassword) : PassphraseForPassword(Password));
        QCOMPARE(IsProtectedBook(book), !on);
    }

private:
    std::optional<TestProgramFolder> m_folder;
};

int main(int argc, char** argv)
{
    // The child of interrupted: turns the option on or off and dies with the new file complete.
    const QStringList victim = QString::fromLocal8Bit(qgetenv("TAVOREN_DIE_REKEYING")).split(u'\n');
    if (victim.size() == 2) {
        QCoreApplication app(argc, argv);
        const bool on = victim[0] == u"on";
        SetBookPassphrase(on ? QString::fromLatin1(DatabasePassword) : PassphraseForPassword(Password));
        Conn.Open(ConnectionStringForFile(victim[1]));
        const auto die = [](qint64 done, qint64 total) {
            if (total > 0 && done >= total) {
                std::_Exit(3);
            }
        };
        if (on) {
            ProtectBook(Conn, Password, Question, Answer, die);
        } else {
            UnprotectBook(Conn, die);
        }
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_Protection test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_protection.moc"
