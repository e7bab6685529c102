#pragma once

#include "access/Skin.h"

#include <QDialog>

class QLineEdit;

// The login dialog: the account's name and password, checked against the stored cipher texts.
// It stays loaded, hidden, after a successful login until the main window unloads it.
class frmLogin : public QDialog
{
public:
    frmLogin();

    Skin skn; // dresses every dialog of the program

private:
    void CmdOK_Click();
    void CmdCancel_Click();

    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
};
