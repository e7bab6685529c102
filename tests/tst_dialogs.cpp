// The Options and About dialogs, driven through their controls, and the progress of a long command.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <optional>

#include "core/AppState.h"
#include "core/Version.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Maintenance.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;

class tst_Dialogs : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init() { m_world.emplace(); }

    void cleanup() { m_world.reset(); }

    // The protection is turned on and off from Options, where the book has an account to take the
    // password from; without one there is nothing to protect it with.
    void optionsProtect()
    {
        const QString book = Conn.DatabasePath();
        const auto reset = qScopeGuard([] { SetBookPassphrase(QString::fromLatin1(DatabasePassword)); });
        auto toggle = [&](bool expectEnabled) {
            frmOptions& dialog = Form<frmOptions>();
            dialog.show();
            auto* box = dialog.findChild<QCheckBox*>(u"chkProtect"_s);
            QCOMPARE(box->isEnabled(), expectEnabled);
            QCOMPARE(box->isChecked(), IsProtectedBook(book));
            if (expectEnabled) {
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
            }
            QTest::mouseClick(dialog.findChild<OkCancelBox*>()->Ok(), Qt::LeftButton);
        };
        toggle(false);
        QVERIFY(!IsProtectedBook(book));
        InsertUser(Conn, u"anna"_s, u"Heron 5"_s, u"Pet?"_s, u"Rex"_s);
        toggle(true);
        QVERIFY(IsProtectedBook(book));
        QCOMPARE(BookPassphrase(), PassphraseForPassword(u"Heron 5"_s));
        QCOMPARE(Book::DumpFile(book), Book::Dump()); // the whole book, under the password
        SetBookPassphrase(QString::fromLatin1(DatabasePassword));
        QVERIFY(!IsAddressBookFile(book));
        SetBookPassphrase(PassphraseForPassword(u"Heron 5"_s));
        toggle(true);
        QVERIFY(!IsProtectedBook(book));
        QCOMPARE(BookPassphrase(), QString::fromLatin1(DatabasePassword));
        QVERIFY(IsAddressBookFile(book));
        QVERIFY(m_world->platform.Boxes().isEmpty());
    }

    void options_data() { Book::AddRows(u"dialogs.txt"_s); }

    void options()
    {
        QFETCH(bool, soundsBefore);
        QFETCH(bool, sounds);
        QFETCH(bool, login);
        QFETCH(QString, button);
        QFETCH(int, clicks);
        SoundEnabled = soundsBefore;
        frmOptions& dialog = Form<frmOptions>();
        dialog.show();
        auto* chkSounds = dialog.findChild<QCheckBox*>(u"ChkSounds"_s);
        auto* chkLogin = dialog.findChild<QCheckBox*>(u"chklogin"_s);
        QCOMPARE(chkSounds->isChecked(), soundsBefore);
        QVERIFY(chkLogin->isChecked());
        for (QCheckBox* box : {chkSounds, chkLogin}) {
            if (box->isChecked() != (box == chkSounds ? sounds : login)) {
                QTest::mouseClick(box, Qt::LeftButton);
            }
        }
        QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(FormInstance<frmOptions>::IfLoaded() == nullptr);
        QCOMPARE(m_world->platform.Sounds().count(SoundClick), clicks);
        if (button != u"CmdOK") {
            QCOMPARE(SoundEnabled, soundsBefore);
            QVERIFY(LoginEnabled);
            QVERIFY(!QFileInfo::exists(IniFile));
            return;
        }
        // Saved, and the next start reads both back.
        SoundEnabled = !sounds;
        LoginEnabled = !login;
        InitApplicationState(m_world->folder.Path(), u"Tavoren"_s, 1033);
        QCOMPARE(SoundEnabled, sounds);
        QCOMPARE(LoginEnabled, login);
    }

    void about_data() { Book::AddRows(u"dialogs.txt"_s); }

    // Localised title and version, the credit, the mail address that opens the mail client, and a
    // single OK button that closes.
    // A long command on the window's thread: before its dialog shows, the window's timers still
    // run (and it paints); the dialog comes after the delay and goes with the command.
    void busyProgress()
    {
        QWidget window;
        window.show();
        int ticks = 0;
        QTimer timer;
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        const auto dialogShown = [] {
            const QWidgetList tops = QApplication::topLevelWidgets();
            return std::any_of(tops.begin(), tops.end(), [](const QWidget* top) {
                return top->objectName() == QLatin1String("BusyProgress") && top->isVisible();
            });
        };
        BusyProgress::SetShowDelay(300);
        {
            BusyProgress busy(&window, u"Working"_s);
            QElapsedTimer elapsed;
            elapsed.start();
            while (elapsed.elapsed() < 200) {
                QVERIFY(busy.Step(elapsed.elapsed(), 1000));
            }
            QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
            QVERIFY(!dialogShown());
            while (elapsed.elapsed() < 400) {
                busy.Step(elapsed.elapsed(), 1000);
            }
            QVERIFY(dialogShown());
        }
        QVERIFY(!dialogShown());
    }

    void about()
    {
        QFETCH(QString, language);
        QFETCH(int, lcid);
        m_world->folder.UseLanguage(language);
        CreditText = CreditTextFor(lcid);
        frmAbout& dialog = Form<frmAbout>();
        dialog.show();
        const auto text = [&](const QString& label) { return dialog.findChild<QLabel*>(label)->text(); };
        QFETCH(QStringList, labels);
        labels.replaceInStrings(u"%version%"_s, QStringLiteral(TAVOREN_VERSION));
        QCOMPARE((QStringList{text(u"SkinLabel3"_s), text(u"lbl(1)"_s)}), labels);
        const QString credit = text(u"lbl(0)"_s);
        QVERIFY2(credit.endsWith(CreditText) && credit.startsWith(u"Copyright"), qPrintable(credit));
        QCOMPARE(dialog.findChildren<QPushButton*>().size(), 1);

        QTest::mouseClick(dialog.findChild<QLabel*>(u"lblMail"_s), Qt::LeftButton);
        QCOMPARE(m_world->platform.Sequence(), u"104,url"_s);
        QCOMPARE(m_world->platform.calls.last().text, u"mailto:"_s + frmAbout::MailAddress());
        QTest::mouseClick(dialog.findChild<QPushButton*>(u"CmdOK"_s), Qt::LeftButton);
        QVERIFY(FormInstance<frmAbout>::IfLoaded() == nullptr);
        QCOMPARE(m_world->platform.Sounds(), (QList<int>{SoundClick, SoundClick}));
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
