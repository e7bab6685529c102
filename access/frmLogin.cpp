#include "access/frmLogin.h"

#include "app/AppState.h"
#include "app/ApplyLanguage.h"
#include "app/Common.h"
#include "app/Language.h"
#include "store/Database.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmLogin::frmLogin()
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    auto* form = new QFormLayout;
    txtUserName = new QLineEdit(CurrentUser, this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    auto* label1 = new QLabel(QStringLiteral("&UserName:"), this);
    label1->setObjectName(QStringLiteral("SkinLabel1"));
    label1->setProperty("Tag", QStringLiteral("10004"));
    label1->setBuddy(txtUserName);
    auto* label2 = new QLabel(QStringLiteral("&Password:"), this);
    label2->setObjectName(QStringLiteral("SkinLabel2"));
    label2->setProperty("Tag", QStringLiteral("10005"));
    label2->setBuddy(txtPassword);
    form->addRow(label1, txtUserName);
    form->addRow(label2, txtPassword);

    auto* ok = new QPushButton(QStringLiteral("&Ok"), this);
    ok->setObjectName(QStringLiteral("CmdOK"));
    ok->setProperty("Tag", QStringLiteral("10001"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("CmdCancel"));
    cancel->setProperty("Tag", QStringLiteral("10002"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    connect(ok, &QPushButton::clicked, this, &frmLogin::CmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmLogin::CmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ApplyLanguage(this);
    if (!CurrentUser.isEmpty()) {
        txtPassword->setFocus();
    }
}

void frmLogin::CmdOK_Click()
{
    PlaySoundRes(SoundClick);
    Recordset rs;
    OpenUserByLogin(rs, Conn, txtUserName->text(), txtPassword->text());
    const bool found = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    if (!found) {
        MsgWarning(this, GetLangString(objectName(), QStringLiteral("20003"), QStringLiteral("Password error")));
        txtPassword->setFocus();
        return;
    }
    CurrentUser = txtUserName->text();
    LoginPassed = true;
    hide();
}

void frmLogin::CmdCancel_Click()
{
    PlaySoundRes(SoundClick);
    reject();
}
