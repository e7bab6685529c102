#include "dialogs/frmOptions.h"

#include <QPushButton>

#include "core/AppState.h"
#include "core/Errors.h"
#include "core/OperateIni.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/FormState.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Skin.h"

frmOptions::frmOptions()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmOptions::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmOptions::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Options);
    TheSkin().ApplySkin(this);
    ChkSounds->setChecked(SoundEnabled);
    chklogin->setChecked(LoginEnabled);
    // Sync is off until the user asks for it.
    chkSyncStart->setChecked(
        IniToBool(ReadIni(QStringLiteral("General"), QStringLiteral("SyncAtStart"), QStringLiteral("False"), IniFile))
            .value_or(false));
    // Only a book with a login account has a password to be protected with.
    const QString book = Conn.IsOpen() ? Conn.DatabasePath() : QString();
    m_protected = !book.isEmpty() && IsProtectedBook(book);
    chkProtect->setChecked(m_protected);
    try {
        chkProtect->setEnabled(m_protected || (!book.isEmpty() && AccountName(Conn).has_value()));
    } catch (const AppError&) {
        chkProtect->setEnabled(false);
    }
    spnSyncMinutes->setValue(
        IniToInt(ReadIni(QStringLiteral("General"), QStringLiteral("SyncMinutes"), QStringLiteral("0"), IniFile))
            .value_or(0));
}

void frmOptions::CmdOK_Click()
{
    // The click belongs to the setting in force until now: switching sounds off still clicks.
    PlaySoundRes(SoundClick);
    if (chkProtect->isChecked() != m_protected) {
        // The whole book is written anew under the other key; a failure leaves it as it was.
        try {
            const WaitCursor wait;
            if (chkProtect->isChecked()) {
                ProtectBookWithAccount(Conn);
            } else {
                UnprotectBook(Conn);
            }
        } catch (...) {
            ShowError(this);
            return;
        }
        m_protected = chkProtect->isChecked();
    }
    SoundEnabled = ChkSounds->isChecked();
    LoginEnabled = chklogin->isChecked();
    // The switches hold for this run; the user must know when the next start will not keep them.
    SaveSettings(this, QStringLiteral("General"),
                 {{QStringLiteral("PlaySound"), IniFromBool(SoundEnabled)},
                  {QStringLiteral("login"), IniFromBool(LoginEnabled)},
                  {QStringLiteral("SyncAtStart"), IniFromBool(chkSyncStart->isChecked())},
                  {QStringLiteral("SyncMinutes"), QString::number(spnSyncMinutes->value())}},
                 SettingsReport::Always);
    done(Accepted);
    FormInstance<frmOptions>::Unload();
}

void frmOptions::reject()
{
    PlaySoundRes(SoundClick);
    QDialog::reject();
    FormInstance<frmOptions>::Unload();
}
