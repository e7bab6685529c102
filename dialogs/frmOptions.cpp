#include "dialogs/frmOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/FormState.h"
#include "ui/Forms.h"
#include "ui/Skin.h"

frmOptions::frmOptions()
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    ChkSounds = new QCheckBox(QStringLiteral("Play sounds"), this);
    ChkSounds->setObjectName(QStringLiteral("ChkSounds"));
    ChkSounds->setProperty("Tag", QStringLiteral("10003"));
    chklogin = new QCheckBox(QStringLiteral("Login at start-up"), this);
    chklogin->setObjectName(QStringLiteral("chklogin"));
    chklogin->setProperty("Tag", QStringLiteral("10004"));

    CmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    CmdOK->setObjectName(QStringLiteral("CmdOK"));
    CmdOK->setProperty("Tag", QStringLiteral("10001"));
    CmdOK->setDefault(true);
    CmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    CmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    CmdCancel->setProperty("Tag", QStringLiteral("10002"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(CmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(CmdCancel, QDialogButtonBox::RejectRole);
    connect(CmdOK, &QPushButton::clicked, this, &frmOptions::CmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmOptions::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ChkSounds);
    layout->addWidget(chklogin);
    layout->addSpacing(8);
    layout->addWidget(buttons);

    ApplyLanguage(this);
    TheSkin().ApplySkin(this);
    ChkSounds->setChecked(SoundEnabled);
    chklogin->setChecked(LoginEnabled);
}

void frmOptions::CmdOK_Click()
{
    // The click belongs to the setting in force until now: switching sounds off still clicks.
    PlaySoundRes(SoundClick);
    SoundEnabled = ChkSounds->isChecked();
    LoginEnabled = chklogin->isChecked();
    // The switches hold for this run; the user must know when the next start will not keep them.
    SaveSettings(this, QStringLiteral("General"),
                 {{QStringLiteral("PlaySound"), IniFromBool(SoundEnabled)},
                  {QStringLiteral("login"), IniFromBool(LoginEnabled)}},
                 SettingsReport::Always);
    done(Accepted);
    FormInstance<frmOptions>::Unload();
}

void frmOptions::reject()
{
    PlaySoundRes(SoundClick);
    QDialog::reject();
    FormInstance<frmOptions>::Unload();
}
