#include "editors/frmPWDType.h"

#include <QPushButton>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "core/TextUtil.h"
#include "editors/frmPWD.h"
#include "store/Database.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Skin.h"

frmPWDType::frmPWDType()
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmPWDType::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmPWDType::reject);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Type);
    TheSkin().ApplySkin(this);
}

void frmPWDType::SetTypeNo(int typeNo)
{
    m_typeNo = typeNo;
    try {
        Recordset rs;
        OpenType(rs, Conn, typeNo, LockType::Unspecified);
        if (rs.RecordCount() == 0) {
            txtTypeName->clear();
            txtDescription->clear();
        } else {
            txtTypeName->setText(TrimSpaces(rs.Text(u"TypeName")));
            txtDescription->setText(TrimSpaces(rs.Text(u"Description")));
        }
        ReleaseRecordset(rs);
    } catch (...) {
        // Saving boxes that were never filled would blank the type.
        buttons->Ok()->setEnabled(false);
        ShowError(this);
    }
}

void frmPWDType::CmdOK_Click()
{
    PlaySoundRes(SoundClick);
    const QString section = objectName();
    // The boxes keep what the user typed; only the stored values lose their spaces.
    const QString name = TrimSpaces(txtTypeName->text());
    if (name.isEmpty()) {
        MsgInformation(this,
                       GetLangString(section, QStringLiteral("20001"), QStringLiteral("Type name can't be empty!")));
        txtTypeName->setFocus();
        return;
    }
    const QString description = TrimSpaces(txtDescription->text());
    if (QLineEdit* box = FirstUnstorable({txtTypeName, txtDescription}, CodePage::Utf8())) {
        MsgInformation(this, GetLangString(section, QStringLiteral("20003"),
                                           QStringLiteral("The text contains characters that cannot be stored!")));
        box->setFocus();
        return;
    }
    qint64 savedTypeNo = -1;
    try {
        if (NameTaken(name)) {
            MsgWarning(
                this, GetLangString(section, QStringLiteral("20002"), QStringLiteral("The type name has been exist!")));
            txtTypeName->setFocus();
            return;
        }
        savedTypeNo = SaveType(name, description);
    } catch (...) {
        ShowError(this);
        return;
    }
    m_savedTypeNo = savedTypeNo;
    done(Accepted);
    FormInstance<frmPWDType>::Unload();
    if (IsFormLoaded(QStringLiteral("frmPWD"))) {
        if (frmPWD* record = FormInstance<frmPWD>::IfLoaded()) {
            record->LoadTypeData(name);
        }
    }
}

// Another type of this name, ignoring letter case (non-ASCII letters too).
bool frmPWDType::NameTaken(const QString& name) const
{
    Recordset rs;
    OpenTypesNamedExcept(rs, Conn, name, m_typeNo);
    const bool taken = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    return taken;
}

// One insert or one update; returns the type's number, for a new type the one the engine assigned.
qint64 frmPWDType::SaveType(const QString& name, const QString& description) const
{
    Recordset rs;
    OpenType(rs, Conn, m_typeNo, LockType::ReadOnly);
    const bool exists = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    if (!exists) {
        return TheBook().AddType(name, description);
    }
    TheBook().UpdateType(m_typeNo, name, description);
    return m_typeNo;
}

void frmPWDType::reject()
{
    PlaySoundRes(SoundClick);
    QDialog::reject();
    FormInstance<frmPWDType>::Unload();
}
