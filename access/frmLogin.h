#pragma once

#include <QDialog>

#include "ui/Skin.h"

class AccountBox;
class QPushButton;

// The login dialog: the account's name and password, checked against the stored cipher texts.
// It stays loaded, hidden, after a successful login until the main window unloads it, because its
// skin dresses every dialog of the program.
class frmLogin : public QDialog
{
    Q_OBJECT

public:
    frmLogin();

    Skin& skn = TheSkin(); // the one skin, which dresses every dialog

    AccountBox* txtUserName;
    AccountBox* txtPassword; // the recovery dialog writes the recovered password here

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
    void CmdForget_Click();

    QPushButton* CmdOK;
    QPushButton* CmdCancel;
    QPushButton* CmdForget;
};
