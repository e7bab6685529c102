#include "access/frmUsers.h"

#include <QPushButton>

#include "access/frmLogin.h"
#include "book/AddressBook.h"
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

frmUsers::frmUsers()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmUsers::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmUsers::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Users);
    TheSkin().ApplySkin(this);
    txtUserName->setText(CurrentUser);
    txtOldPassword->setFocus();
}

void frmUsers::CmdOK_Click()
{
    TrimTextBoxes(this);
    if (txtUserName->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20001", "Username can't be empty!", txtUserName);
        return;
    }
    try {
        if (!frmLogin::AccountMatches(CurrentUser, txtOldPassword->text())) {
            RefuseInput(this, MsgIcon::Information, "20002", "Old Password error!", txtOldPassword);
            return;
        }
    } catch (...) {
        ShowError(this);
        return;
    }
    // An empty new password keeps the old one, so its confirmation does not matter then.
    const QString newPassword = txtNewPassword->text();
    if (!newPassword.isEmpty() && newPassword != txtConfrimPassword->text()) {
        RefuseInput(this, MsgIcon::Information, "20003", "Confrim Password error!", txtConfrimPassword);
        return;
    }
    if (QLineEdit* box = FirstUnstorable({txtUserName, txtNewPassword, txtQuestion, txtAnswer}, CodePage::System())) {
        RefuseInput(this, MsgIcon::Information, "20004",
                    "The text contains characters that this system's character set cannot store!", box);
        return;
    }
    // All or nothing: a failure halfway must not leave a new name with the old password, or a
    // password the user was never told about.
    const QString name = txtUserName->text();
    try {
        Transaction transaction(Conn);
        UpdateUsersName(Conn, name);
        if (!newPassword.isEmpty()) {
            UpdateUsersPassword(Conn, newPassword);
        }
        if (!txtQuestion->text().isEmpty()) {
            UpdateUsersQuestion(Conn, txtQuestion->text());
        }
        if (!txtAnswer->text().isEmpty()) {
            UpdateUsersAnswer(Conn, txtAnswer->text());
        }
        transaction.Commit();
    } catch (...) {
        ShowError(this);
        return;
    }
    if (IsProtectedBook(Conn.DatabasePath())) {
        // The book follows the new password, and the recovery material the new question and answer.
        // Until this is done the old password still opens it, and logging in with it still works.
        try {
            const WaitCursor wait;
            ProtectBookWithAccount(Conn);
        } catch (...) {
            ShowError(this);
        }
    }
    CurrentUser = name;
    TheBook().NoteAccountChanged();
    PlaySoundRes(SoundClick);
    FormInstance<frmUsers>::Unload();
}

void frmUsers::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmUsers>::Unload();
}
