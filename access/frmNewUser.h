#pragma once

#include <QDialog>

class AccountBox;
class QGroupBox;
class QPushButton;

// Creates the one account at first start: name, password with its confirmation, and the secret
// question and answer that recover a forgotten password.
class frmNewUser : public QDialog
{
    Q_OBJECT

public:
    frmNewUser();

    AccountBox* txtUserName;
    AccountBox* txtPassword;
    AccountBox* txtConfrim;
    AccountBox* txtQuestion;
    AccountBox* txtAnswer;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();

    QGroupBox* Frame1;
    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
