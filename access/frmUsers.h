#pragma once

#include <QDialog>

class AccountBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Changes the account: its name always, its password, question and answer when new ones are given.
// The old password must be given first.
class frmUsers : public QDialog
{
    Q_OBJECT

public:
    frmUsers();

    AccountBox* txtUserName;
    AccountBox* txtOldPassword;
    AccountBox* txtNewPassword;
    AccountBox* txtConfrimPassword;
    AccountBox* txtQuestion;
    AccountBox* txtAnswer;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
    bool OldPasswordMatches() const;

    QGroupBox* Frame1;
    QLabel* SkinLabel7;
    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
