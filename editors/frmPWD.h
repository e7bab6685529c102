#pragma once

#include <QDialog>
#include <QList>

#include "ui_frmPWD.h"

class ContactDetailsPage;
struct ContactDetails;

// The contact record editor: adds a record or edits one through the address book, which tells
// whoever shows it; every text field is stored enciphered.
class frmPWD : public QDialog, private Ui::frmPWD
{
    Q_OBJECT

public:
    frmPWD();

    bool EditMode() const { return m_editMode; }
    void SetEditMode(bool editMode) { m_editMode = editMode; }
    // After a save: the record's key (a new one's too) and the type it was saved under.
    int PWDID() const { return m_pwdId; }
    qint64 SavedTypeNo() const { return m_savedTypeNo; }
    // Loads the record into the boxes; -1 (or a record that is gone) leaves them empty.
    void SetPWDID(int pwdId);
    // Refills the type chooser and selects the type of this name, or the first entry for "".
    void LoadTypeData(const QString& selectName);
    // Proposes a type for a new record, as the main window does from its selection; a name that
    // is not listed changes nothing.
    void PreselectType(const QString& typeName);

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
    void txtTypeNo_Click(int index);
    void SaveRecord(int typeNo, const ContactDetails& details);
    QList<QLineEdit*> Fields() const; // the text boxes, in the order of the table's columns
    // The details tab's controls follow the first tab's, whichever lines it holds.
    void FixTabOrder();

    bool m_editMode = false;
    int m_pwdId = -1;
    qint64 m_savedTypeNo = -1;
    QString m_newTypeText;
    bool m_filling = false; // while LoadTypeData fills the chooser
    ContactDetailsPage* m_details;
};
