#include "access/frmNewUser.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "access/AccountParts.h"
#include "access/frmLogin.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "store/Database.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/Skin.h"

frmNewUser::frmNewUser()
{
    setObjectName(QStringLiteral("frmNewUser"));
    setWindowTitle(QStringLiteral("New user"));
    Frame1 = new QGroupBox(QStringLiteral("User info:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setProperty("Tag", QStringLiteral("10003"));
    auto* fields = new QFormLayout(Frame1);
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtUserName = new AccountBox("txtUserName", false, Frame1);
    AddLabelledRow(fields, 1, "10004", "User Name:", txtUserName);
    txtPassword = new AccountBox("txtPassword", true, Frame1);
    AddLabelledRow(fields, 2, "10005", "Password:", txtPassword);
    txtConfrim = new AccountBox("txtConfrim", true, Frame1);
    AddLabelledRow(fields, 3, "10006", "Confrim Password:", txtConfrim);
    txtQuestion = new AccountBox("txtQuestion", false, Frame1);
    AddLabelledRow(fields, 4, "10007", "Question:", txtQuestion);
    txtAnswer = new AccountBox("txtAnswer", false, Frame1);
    AddLabelledRow(fields, 5, "10008", "Answer:", txtAnswer);

    auto* buttons = OkCancelButtons(this, &CmdOK, &CmdCancel);
    connect(CmdOK, &QPushButton::clicked, this, &frmNewUser::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmNewUser::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(buttons);

    ApplyLanguage(this);
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
    CurrentUser = txtUserName->text();
    LoginPassed = true;
    FormInstance<frmNewUser>::Unload();
}

void frmNewUser::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmNewUser>::Unload();
}
