#pragma once

#include <QDialog>

#include "ui_frmOptions.h"

// Switches the interface sounds, the login at start-up and the automatic contact sync, and saves
// the choices.
class frmOptions : public QDialog, private Ui::frmOptions
{
    Q_OBJECT

public:
    frmOptions();

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();

    bool m_protected = false; // the book is protected with the account password
};
