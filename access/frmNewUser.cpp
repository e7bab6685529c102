#include "access/frmNewUser.h"

#include <QPushButton>

#include "access/frmLogin.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Skin.h"

frmNewUser::frmNewUser()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmNewUser::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmNewUser::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::NewUser);
    TheSkin().ApplySkin(this);
    txtUserName->setFocus();
}

void frmNewUser::CmdOK_Click()
{
    TrimTextBoxes(this);
    if (txtUserName->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20001", "Username can't be empty!", txtUserName);
        return;
    }
    if (txtPassword->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20002", "Password can't be empty!", txtPassword);
        return;
    }
    if (txtConfrim->text() != txtPassword->text()) {
        RefuseInput(this, MsgIcon::Information, "20003", "Confrim password not match!", txtConfrim);
        return;
    }
    if (txtQuestion->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20004", "Question can't be empty!", txtQuestion);
        return;
    }
    if (txtAnswer->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20005", "Answer can't be empty!", txtAnswer);
        return;
    }
    if (QLineEdit* box = FirstUnstorable({txtUserName, txtPassword, txtQuestion, txtAnswer}, CodePage::System())) {
        RefuseInput(this, MsgIcon::Information, "20006",
                    "The text contains characters that this system's character set cannot store!", box);
        return;
    }
    PlaySoundRes(SoundClick);
    try {
        InsertUser(Conn, txtUserName->text(), txtPassword->text(), txtQuestion->text(), txtAnswer->text());
    } catch (...) {
        ShowError(this);
        return;
    }
    if (chkProtect->isChecked()) {
        // The account stands either way; a book that could not be re-keyed stays as it was and
        // can be protected later from Options.
        try {
            const WaitCursor wait;
            ProtectBookWithAccount(Conn);
        } catch (...) {
            ShowError(this);
        }
    }
    CurrentUser = txtUserName->text();
    LoginPassed = true;
    FormInstance<frmNewUser>::Unload();
}

void frmNewUser::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmNewUser>::Unload();
}
