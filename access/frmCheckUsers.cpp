#include "access/frmCheckUsers.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "access/AccountParts.h"
#include "access/frmLogin.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "store/Database.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/Forms.h"
#include "ui/Skin.h"

frmCheckUsers::frmCheckUsers()
{
    setObjectName(QStringLiteral("frmCheckUsers"));
    setWindowTitle(QStringLiteral("Check Users"));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    Image1->setAlignment(Qt::AlignTop);
    auto* prompt = new QLabel(this);
    prompt->setObjectName(QStringLiteral("SkinLabel1"));
    prompt->setProperty("Tag", QStringLiteral("10003"));
    auto* fields = new QFormLayout;
    txtPassword = new AccountBox("txtPassword", true, this);
    AddLabelledRow(fields, 2, "10004", "Password:", txtPassword);

    auto* buttons = OkCancelButtons(this, &CmdOK, &CmdCancel);
    connect(CmdOK, &QPushButton::clicked, this, &frmCheckUsers::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmCheckUsers::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(Image1, 0, 0, 2, 1);
    layout->addWidget(prompt, 0, 1);
    layout->addLayout(fields, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);

    ApplyLanguage(this);
    TheSkin().ApplySkin(this);
    txtPassword->setFocus();
}

int frmCheckUsers::Verify()
{
    int result = 2;
    frmCheckUsers& form = Form<frmCheckUsers>();
    form.m_resultOut = &result;
    form.exec();
    return result;
}

void frmCheckUsers::CmdOK_Click()
{
    bool found = false;
    try {
        found = AccountMatches(CurrentUser, txtPassword->text());
    } catch (...) {
        ShowError(this);
        return;
    }
    if (!found) {
        RefuseInput(this, MsgIcon::Warning, "20001", "Password error", txtPassword);
        return;
    }
    PlaySoundRes(SoundClick);
    Result = 1;
    if (m_resultOut != nullptr) {
        *m_resultOut = Result;
    }
    FormInstance<frmCheckUsers>::Unload();
}

void frmCheckUsers::reject()
{
    PlaySoundRes(SoundClick);
    FormInstance<frmCheckUsers>::Unload();
}
