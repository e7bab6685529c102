#pragma once

#include <QDialog>

class AccountBox;
class QPushButton;

// Password recovery: the secret question and answer of the account in use give back its password,
// which goes into the login dialog's password box.
class frmForget : public QDialog
{
    Q_OBJECT

public:
    frmForget();

    AccountBox* txtQuestion;
    AccountBox* txtAnswer;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();

    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
