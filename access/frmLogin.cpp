#include "access/frmLogin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "access/AccountParts.h"
#include "access/frmForget.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "store/Database.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/Forms.h"

frmLogin::frmLogin()
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    auto* fields = new QFormLayout;
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtUserName = new AccountBox("txtUserName", false, this);
    AddLabelledRow(fields, 1, "10004", "&UserName:", txtUserName);
    txtPassword = new AccountBox("txtPassword", true, this);
    AddLabelledRow(fields, 2, "10005", "&Password:", txtPassword);

    auto* buttons = OkCancelButtons(this, &CmdOK, &CmdCancel);
    CmdForget = CommandButton(buttons, "CmdForget", "10003", "&Forget");
    buttons->addButton(CmdForget, QDialogButtonBox::ResetRole); // apart from OK and Cancel
    connect(CmdOK, &QPushButton::clicked, this, &frmLogin::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmLogin::reject);
    connect(CmdForget, &QPushButton::clicked, this, &frmLogin::CmdForget_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);

    ApplyLanguage(this);
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
        found = AccountMatches(name, txtPassword->text());
    } catch (...) {
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
