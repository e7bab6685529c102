// The Options and About dialogs, driven through their controls.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <optional>

#include "core/AppState.h"
#include "dialogs/frmAbout.h"
#include "dialogs/frmOptions.h"
#include "tests/support/TestSupport.h"
#include "ui/Common.h"
#include "ui/Forms.h"

using namespace Qt::StringLiterals;

class tst_Dialogs : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init() { m_world.emplace(); }

    void cleanup() { m_world.reset(); }

    void options_data()
    {
        QTest::addColumn<bool>("soundsBefore");
        QTest::addColumn<bool>("sounds");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("clicks"); // click sounds heard, as the sound was before
        QTest::newRow("sounds and login off, OK still clicks") << true << false << false << "CmdOK" << 1;
        QTest::newRow("sounds on, OK is silent") << false << true << true << "CmdOK" << 0;
        QTest::newRow("Cancel") << true << false << false << "CmdCancel" << 1;
    }

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

    void about_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("lcid");
        QTest::addColumn<QStringList>("labels"); // the title, the version
        QTest::newRow("English") << "eng" << 1033 << QStringList{"Tavoren Address Book", "Version V1.0.1"};
        QTest::newRow("Simplified Chinese") << "chs" << 2052 << QStringList{"Tavoren 通讯录", "版本 V1.0.1"};
        QTest::newRow("Traditional Chinese") << "cht" << 1028 << QStringList{"Tavoren 通訊錄", "版本 V1.0.1"};
    }

    // Localised title and version, the credit, the mail address that opens the mail client, and a
    // single OK button that closes.
    void about()
    {
        QFETCH(QString, language);
        QFETCH(int, lcid);
        QFETCH(QStringList, labels);
        m_world->folder.UseLanguage(language);
        CreditText = CreditTextFor(lcid);
        frmAbout& dialog = Form<frmAbout>();
        dialog.show();
        const auto text = [&](const QString& label) { return dialog.findChild<QLabel*>(label)->text(); };
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
