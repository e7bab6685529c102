#include "access/frmUsers.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
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
#include "ui/MainViews.h"
#include "ui/Skin.h"

frmUsers::frmUsers()
{
    setObjectName(QStringLiteral("frmUsers"));
    setWindowTitle(QStringLiteral("Users"));
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setProperty("Tag", QStringLiteral("10003"));
    auto* fields = new QFormLayout(Frame1);
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtUserName = new AccountBox("txtUserName", false, Frame1);
    AddLabelledRow(fields, 1, "10004", "UserName:", txtUserName);
    txtOldPassword = new AccountBox("txtOldPassword", true, Frame1);
    AddLabelledRow(fields, 2, "10005", "Old Password:", txtOldPassword);
    txtNewPassword = new AccountBox("txtNewPassword", true, Frame1);
    AddLabelledRow(fields, 3, "10006", "New Password:", txtNewPassword);
    txtConfrimPassword = new AccountBox("txtConfrimPassword", true, Frame1);
    AddLabelledRow(fields, 4, "10007", "Confrim Password:", txtConfrimPassword);
    txtQuestion = new AccountBox("txtQuestion", false, Frame1);
    AddLabelledRow(fields, 5, "10008", "Question:", txtQuestion);
    txtAnswer = new AccountBox("txtAnswer", false, Frame1);
    AddLabelledRow(fields, 6, "10009", "Answer:", txtAnswer);
    SkinLabel7 = new QLabel(QStringLiteral("Warning:"), Frame1);
    SkinLabel7->setObjectName(QStringLiteral("SkinLabel7"));
    SkinLabel7->setProperty("Tag", QStringLiteral("10010"));
    SkinLabel7->setWordWrap(true);
    fields->addRow(SkinLabel7);

    auto* buttons = OkCancelButtons(this, &CmdOK, &CmdCancel);
    connect(CmdOK, &QPushButton::clicked, this, &frmUsers::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmUsers::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(buttons);

    ApplyLanguage(this);
    TheSkin().ApplySkin(this);
    txtUserName->setText(CurrentUser);
    txtOldPassword->setFocus();
}

bool frmUsers::OldPasswordMatches() const
{
    return AccountMatches(CurrentUser, txtOldPassword->text());
}

void frmUsers::CmdOK_Click()
{
    TrimTextBoxes(this);
    if (txtUserName->text().isEmpty()) {
        RefuseInput(this, MsgIcon::Information, "20001", "Username can't be empty!", txtUserName);
        return;
    }
    try {
        if (!OldPasswordMatches()) {
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
    CurrentUser = name;
    if (MainViews* main = MainViews::Open()) {
        main->ShowUser();
    }
    PlaySoundRes(SoundClick);
    FormInstance<frmUsers>::Unload();
}

void frmUsers::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmUsers>::Unload();
}
