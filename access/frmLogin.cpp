#include "access/frmLogin.h"

#include <QPushButton>

#include <algorithm>

#include "access/frmForget.h"
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

namespace {

// Whether the text is empty or holds nothing but spaces.
bool IsBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

} // namespace

frmLogin::frmLogin()
{
    setupUi(this);
    QPushButton* CmdForget = buttons->AddCommand("CmdForget", "10003", "&Forget", QDialogButtonBox::ResetRole);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmLogin::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmLogin::reject);
    connect(CmdForget, &QPushButton::clicked, this, &frmLogin::CmdForget_Click);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Login);
    skn.ApplySkin(this);
    txtUserName->setText(CurrentUser);
    // With a name proposed, the password is what is left to type.
    (CurrentUser.isEmpty() ? txtUserName : txtPassword)->setFocus();
}

void frmLogin::CmdOK_Click()
{
    if (IsBlank(txtUserName->text())) {
        RefuseInput(this, MsgIcon::Information, "20001", "Username can't be empty!", txtUserName);
        return;
    }
    if (IsBlank(txtPassword->text())) {
        RefuseInput(this, MsgIcon::Information, "20002", "Password can't be empty!", txtPassword);
        return;
    }
    // The texts are compared exactly as typed: the stored name was trimmed when it was saved, so a
    // name typed with spaces around it does not match.
    const QString name = txtUserName->text();
    bool found = false;
    try {
        found = Conn.IsOpen() ? AccountMatches(name, txtPassword->text()) : OpenBook(name, txtPassword->text());
    } catch (...) {
        Conn.Close();
        ShowError(this);
        return;
    }
    if (!found) {
        RefuseInput(this, MsgIcon::Warning, "20003", "Password error", txtPassword);
        return;
    }
    CurrentUser = name;
    PlaySoundRes(SoundClick);
    LoginPassed = true;
    txtPassword->clear(); // the dialog stays loaded for the whole run; the password need not
    hide();               // not unloaded: the skin stays with the program
}

void frmLogin::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmLogin>::Unload();
}

void frmLogin::CmdForget_Click()
{
    PlaySoundRes(SoundInformation);
    Form<frmForget>().exec();
}

bool frmLogin::OpenBook(const QString& name, const QString& password)
{
    const QString book = ConnectionStringValue(BuildConnectionString(DataFolder), QStringLiteral("Data Source"));
    if (OpenProtectedBook(Conn, book, password) == BookOpening::WrongPassword) {
        return false;
    }
    // The book opening with the password proves the password; one that opened with the program's
    // own key (its protection was being turned on or off) proves nothing, so the account is asked.
    const bool proven = BookPassphrase() == PassphraseForPassword(password);
    const bool found = proven ? AccountName(Conn) == std::optional<QString>(name) : AccountMatches(name, password);
    if (!found) {
        Conn.Close();
    }
    return found;
}

bool frmLogin::AccountMatches(const QString& name, const QString& password)
{
    // A character the code page cannot hold would be stored as '?', so no stored value has it.
    if (!CodePage::System().CanEncode(name) || !CodePage::System().CanEncode(password)) {
        return false;
    }
    Recordset rs;
    OpenUserByLogin(rs, Conn, name, password);
    const bool found = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    return found;
}
