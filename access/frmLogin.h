#pragma once

#include <QDialog>

#include "ui/Skin.h"
#include "ui_frmLogin.h"

// The login dialog: the account's name and password, checked against the stored cipher texts.
// It stays loaded, hidden, after a successful login until the main window unloads it, because its
// skin dresses every dialog of the program.
class frmLogin : public QDialog, private Ui::frmLogin
{
    Q_OBJECT

public:
    frmLogin();

    // Whether an account has exactly this name and password (as typed, enciphered for the look-up).
    // Text the system code page cannot hold matches nothing. Throws on a database error.
    static bool AccountMatches(const QString& name, const QString& password);
    // Opens the protected book with password; true when it opened and the account is name's.
    static bool OpenBook(const QString& name, const QString& password);

    Skin& skn = TheSkin(); // the one skin, which dresses every dialog

    using Ui::frmLogin::txtPassword; // the recovery dialog writes the recovered password here
    using Ui::frmLogin::txtUserName;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
    void CmdForget_Click();
};
