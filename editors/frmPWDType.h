#pragma once

#include <QDialog>

#include "ui_frmPWDType.h"

// The type editor: creates a record type or renames and describes one, through the address book.
class frmPWDType : public QDialog, private Ui::frmPWDType
{
    Q_OBJECT

public:
    frmPWDType();

    bool EditMode() const { return m_editMode; }
    void SetEditMode(bool editMode) { m_editMode = editMode; }
    int TypeNo() const { return m_typeNo; }
    qint64 SavedTypeNo() const { return m_savedTypeNo; } // after a save, a new type's too
    // Loads the type into the boxes; -1 (or a type that is gone) leaves them empty.
    void SetTypeNo(int typeNo);

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
    bool NameTaken(const QString& name) const;
    qint64 SaveType(const QString& name, const QString& description) const;

    bool m_editMode = false;
    int m_typeNo = -1;
    qint64 m_savedTypeNo = -1;
};
