#include "editors/frmPWD.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "core/Language.h"
#include "editors/ContactDetailsPage.h"
#include "editors/frmPWDType.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Forms.h"
#include "ui/HelpWindow.h"
#include "ui/Skin.h"

namespace {

// The value of the chooser's last entry, which opens the type editor instead of naming a type.
constexpr int NewTypeEntry = -1;

// The columns of the text boxes, in the order of Fields().
constexpr const char16_t* FieldColumns[] = {u"Name", u"F_Phone1", u"F_MobilePhone1", u"C_Phone1", u"EMailList", u"QQ",
                                            u"MSN",  u"ICQ"};

} // namespace

frmPWD::frmPWD()
{
    setupUi(this);
    // The record's own fields keep their tab; the rest of the contact scrolls on the second.
    auto* scroll = new QScrollArea(tabDetails);
    scroll->setObjectName(QStringLiteral("scrollDetails"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the boxes, not to the frame around them
    m_details = new ContactDetailsPage(scroll);
    scroll->setWidget(m_details);
    detailsLayout->addWidget(scroll);
    tabs->setTabText(0, GetLangString(QStringLiteral("frmPWD"), QStringLiteral("68002"), QStringLiteral("Contact")));
    tabs->setTabText(1, GetLangString(QStringLiteral("frmPWD"), QStringLiteral("68003"), QStringLiteral("Details")));
    tabs->setCurrentIndex(0);
    tabs->setAccessibleName(GetLangString(objectName(), QStringLiteral("10000"), QStringLiteral("Contact")));
    connect(m_details, &ContactDetailsPage::RowsChanged, this, &frmPWD::FixTabOrder);
    connect(buttons->Ok(), &QPushButton::clicked, this, &frmPWD::CmdOK_Click);
    connect(buttons->Cancel(), &QPushButton::clicked, this, &frmPWD::reject);
    connect(txtTypeNo, &QComboBox::activated, this, &frmPWD::txtTypeNo_Click);

    ApplyLanguage(this);
    InstallHelpKey(this, HelpPage::Contact);
    m_newTypeText = GetLangString(QStringLiteral("General"), QStringLiteral("20004"), QStringLiteral("New..."));
    TheSkin().ApplySkin(this);
    // Unlike the other dialogs this one grows: a contact with many details reads better tall.
    QDialog::layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    LoadTypeData(QString());
    FixTabOrder();
}

void frmPWD::FixTabOrder()
{
    QWidget* previous = txtUrl;
    for (QWidget* next : m_details->TabChain()) {
        setTabOrder(previous, next);
        previous = next;
    }
    setTabOrder(previous, buttons->Ok());
}

void frmPWD::LoadTypeData(const QString& selectName)
{
    m_filling = true;
    txtTypeNo->clear();
    std::exception_ptr error;
    try {
        Recordset rs;
        OpenTypes(rs, Conn, LockType::Unspecified);
        const int typeNo = rs.FieldIndex(u"TypeNo");
        const int typeName = rs.FieldIndex(u"TypeName");
        for (; !rs.IsEOF(); rs.MoveNext()) {
            txtTypeNo->addItem(rs.Text(typeName), static_cast<int>(rs.Integer(typeNo)));
        }
        ReleaseRecordset(rs);
    } catch (...) {
        error = std::current_exception();
    }
    txtTypeNo->addItem(m_newTypeText, NewTypeEntry);
    // A name that is not listed selects nothing, so OK asks for a type rather than guessing one.
    txtTypeNo->setCurrentIndex(selectName.isEmpty() ? 0 : txtTypeNo->findText(selectName));
    m_filling = false;
    if (error) {
        ShowError(error, this);
    }
}

void frmPWD::PreselectType(const QString& typeName)
{
    const int index = txtTypeNo->findText(typeName, Qt::MatchExactly);
    if (index >= 0 && txtTypeNo->itemData(index).toInt() != NewTypeEntry) {
        txtTypeNo->setCurrentIndex(index);
    }
}

void frmPWD::SetPWDID(int pwdId)
{
    m_pwdId = pwdId;
    const QList<QLineEdit*> boxes = Fields();
    try {
        Recordset rs;
        OpenRecordView(rs, Conn, pwdId);
        if (rs.RecordCount() == 0) {
            for (QLineEdit* box : boxes) {
                box->clear();
            }
            txtUrl->clear();
            m_details->SetDetails({});
            txtTypeNo->setCurrentIndex(0);
        } else {
            for (qsizetype i = 0; i < boxes.size(); ++i) {
                boxes[i]->setText(Decrypt(rs.Text(FieldColumns[i])));
                boxes[i]->setCursorPosition(0); // a long e-mail list shows its start
            }
            txtUrl->setText(rs.Text(u"Url"));
            txtUrl->setCursorPosition(0);
            m_details->SetDetails(ReadContactDetails(Conn, pwdId));
            // By number: a record whose type was deleted must not quietly move to the first type
            // when it is saved, so it selects nothing and OK asks for a type.
            txtTypeNo->setCurrentIndex(
                rs.IsNull(u"TypeName") ? -1 : txtTypeNo->findData(static_cast<int>(rs.Integer(u"TypeNo"))));
        }
        // The title names the contact, so the window says whose details these are.
        const QString name = txtName->text().trimmed();
        setWindowTitle(rs.RecordCount() == 0 || name.isEmpty()
                           ? GetLangString(objectName(), QStringLiteral("10013"), QStringLiteral("New contact"))
                           : name);
        ReleaseRecordset(rs);
    } catch (...) {
        // Saving boxes that were never (or only partly) filled would overwrite the record.
        buttons->Ok()->setEnabled(false);
        ShowError(this);
    }
}

void frmPWD::txtTypeNo_Click(int index)
{
    if (m_filling || txtTypeNo->itemData(index).toInt() != NewTypeEntry) {
        return;
    }
    txtTypeNo->setCurrentIndex(0);
    // A saved type refills this chooser through LoadTypeData; a cancelled one leaves the first entry.
    frmPWDType& editor = Form<frmPWDType>();
    editor.SetEditMode(false);
    editor.SetTypeNo(-1);
    editor.exec();
}

void frmPWD::CmdOK_Click()
{
    TrimTextBoxes(this);
    const QString section = objectName();
    if (txtName->text().isEmpty()) {
        MsgInformation(this, GetLangString(section, QStringLiteral("20001"), QStringLiteral("Name can't be empty!")));
        tabs->setCurrentWidget(tabContact); // the box at fault in view
        txtName->setFocus();
        return;
    }
    const int typeNo = txtTypeNo->currentIndex() < 0 ? NewTypeEntry : txtTypeNo->currentData().toInt();
    if (typeNo == NewTypeEntry) {
        MsgInformation(this, GetLangString(section, QStringLiteral("20002"), QStringLiteral("Please choose a type!")));
        tabs->setCurrentWidget(tabContact); // the box at fault in view
        txtTypeNo->setFocus();
        return;
    }
    // The cipher works on the system code page: a character it cannot hold would come back as '?'.
    if (QLineEdit* box = FirstUnstorable(Fields(), CodePage::System())) {
        MsgInformation(this, GetLangString(section, QStringLiteral("20003"),
                                           QStringLiteral("The text contains characters that this system's "
                                                          "character set cannot store!")));
        tabs->setCurrentWidget(tabContact); // the box at fault in view
        box->setFocus();
        return;
    }
    QLineEdit* detailBox = FirstUnstorable(m_details->TextBoxes(), CodePage::System());
    if (detailBox != nullptr || !CodePage::System().CanEncode(m_details->NoteBox()->toPlainText())) {
        tabs->setCurrentWidget(tabDetails);
        MsgInformation(this, GetLangString(section, QStringLiteral("20003"),
                                           QStringLiteral("The text contains characters that this system's "
                                                          "character set cannot store!")));
        if (detailBox != nullptr) {
            detailBox->setFocus();
        } else {
            m_details->NoteBox()->setFocus();
        }
        return;
    }
    const std::optional<ContactDetails> details = m_details->Details(this);
    if (!details) {
        return;
    }
    try {
        Recordset rs;
        OpenRecordsNamedExcept(rs, Conn, txtName->text(), m_pwdId);
        if (rs.RecordCount() > 0) {
            ReleaseRecordset(rs);
            PlaySoundRes(SoundWarning);
            return;
        }
        PlaySoundRes(SoundClick);
        ReleaseRecordset(rs);
        SaveRecord(typeNo, *details);
    } catch (...) {
        ShowError(this);
        return;
    }
    done(Accepted);
    FormInstance<frmPWD>::Unload();
}

// One insert or one update: a failure leaves the stored record as it was.
void frmPWD::SaveRecord(int typeNo, const ContactDetails& details)
{
    QStringList cipherFields;
    for (const QLineEdit* box : Fields()) {
        cipherFields.append(Encrypt(box->text()));
    }
    Recordset rs;
    OpenRecordForWrite(rs, Conn, m_pwdId);
    const bool exists = rs.RecordCount() > 0;
    ReleaseRecordset(rs);
    AddressBook& book = TheBook();
    if (exists) {
        book.UpdateContact(m_pwdId, typeNo, cipherFields, txtUrl->text(), details);
    } else {
        m_pwdId = static_cast<int>(book.AddContact(typeNo, cipherFields, txtUrl->text(), details));
    }
    m_savedTypeNo = typeNo;
}

QList<QLineEdit*> frmPWD::Fields() const
{
    return {txtName, txtFPhone, txtMobile, txtCPhone, txtMail, txtQQ, txtMSN, txtICQ};
}

void frmPWD::reject()
{
    PlaySoundRes(SoundClick);
    QDialog::reject();
    FormInstance<frmPWD>::Unload();
}
