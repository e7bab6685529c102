#include "access/frmNewUser.h"

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

frmNewUser::frmNewUser()
{
    setObjectName(QStringLiteral("frmNewUser"));
    setWindowTitle(QStringLiteral("New user"));
    auto* form = new QFormLayout;
    const struct
    {
        QLineEdit** box;
        const char* name;
        const char* label;
        const char* tag;
        bool secret;
    } rows[] = {{&txtUserName, "txtUserName", "User Name:", "10004", false},
                {&txtPassword, "txtPassword", "Password:", "10005", true},
                {&txtConfirm, "txtConfirm", "Confirm Password:", "10006", true},
                {&txtQuestion, "txtQuestion", "Question:", "10007", false},
                {&txtAnswer, "txtAnswer", "Answer:", "10008", false}};
    int n = 1;
    for (const auto& row : rows) {
        *row.box = new QLineEdit(this);
        (*row.box)->setObjectName(QLatin1String(row.name));
        if (row.secret) {
            (*row.box)->setEchoMode(QLineEdit::Password);
        }
        auto* label = new QLabel(QLatin1String(row.label), this);
        label->setObjectName(QStringLiteral("SkinLabel%1").arg(n++));
        label->setProperty("Tag", QLatin1String(row.tag));
        form->addRow(label, *row.box);
    }
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
    connect(ok, &QPushButton::clicked, this, &frmNewUser::CmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ApplyLanguage(this);
}

void frmNewUser::CmdOK_Click()
{
    PlaySoundRes(SoundClick);
    TrimTextBoxes(this);
    const QString section = objectName();
    if (txtUserName->text().isEmpty()) {
        MsgInformation(this,
                       GetLangString(section, QStringLiteral("20001"), QStringLiteral("Username can't be empty!")));
        txtUserName->setFocus();
        return;
    }
    if (txtPassword->text().isEmpty()) {
        MsgInformation(this,
                       GetLangString(section, QStringLiteral("20002"), QStringLiteral("Password can't be empty!")));
        txtPassword->setFocus();
        return;
    }
    if (txtPassword->text() != txtConfirm->text()) {
        MsgInformation(this,
                       GetLangString(section, QStringLiteral("20003"), QStringLiteral("Confrim password not match!")));
        txtConfirm->setFocus();
        return;
    }
    InsertUser(Conn, txtUserName->text(), txtPassword->text(), txtQuestion->text(), txtAnswer->text());
    CurrentUser = txtUserName->text();
    LoginPassed = true;
    accept();
}
