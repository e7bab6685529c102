#include "access/frmForget.h"

#include <QPushButton>

#include "access/frmLogin.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Skin.h"

frmForget::frmForget()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmForget::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmForget::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Forget);
    TheSkin().ApplySkin(this);
    txtQuestion->setFocus();
}

void frmForget::CmdOK_Click()
{
    const QString section = objectName();
    // The account is the one in use, whatever name was typed in the login dialog; the question and
    // the answer count exactly as typed.
    bool found = false;
    QString password;
    if (!Conn.IsOpen()) {
        // A book protected with the password is still shut: the question and answer unseal the
        // password kept beside it.
        const auto recovered =
            RecoverPassword(ConnectionStringValue(BuildConnectionString(DataFolder), QStringLiteral("Data Source")),
                            txtQuestion->text(), txtAnswer->text());
        found = recovered.has_value();
        password = recovered.value_or(QString());
    } else if (FirstUnstorable({txtQuestion, txtAnswer}, CodePage::System()) == nullptr) {
        try {
            Recordset rs;
            OpenUserByRecovery(rs, Conn, CurrentUser, txtQuestion->text(), txtAnswer->text());
            found = rs.RecordCount() > 0;
            if (found) {
                password = Decrypt(rs.Bytes(rs.FieldIndex(u"Password"))); // Null reads as empty
            }
            ReleaseRecordset(rs);
        } catch (...) {
            ShowError(this);
            return;
        }
    }
    if (!found) {
        RefuseInput(this, MsgIcon::Warning, "20001", "Question error", txtQuestion);
        return;
    }
    PlaySoundRes(SoundWarning);
    ThePlatform().MessageBox(
        this, GetLangString(section, QStringLiteral("20002"), QStringLiteral("You password is:")) + password,
        GetLangString(QStringLiteral("General"), QStringLiteral("10002"), QStringLiteral("Information")),
        MsgIcon::Warning, MsgButtons::Ok);
    Form<frmLogin>().txtPassword->setText(password);
    PlaySoundRes(SoundClick);
    FormInstance<frmForget>::Unload();
}

void frmForget::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmForget>::Unload();
}
