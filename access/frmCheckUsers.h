#pragma once

#include <QDialog>

class AccountBox;
class QLabel;
class QPushButton;

// Asks for the account's password once more before something that needs it.
class frmCheckUsers : public QDialog
{
    Q_OBJECT

public:
    frmCheckUsers();

    // Loads the dialog, shows it modally and gives its Result: 1 when the right password was given,
    // 2 otherwise. The dialog unloads itself, so its Result could not be read from it afterwards.
    static int Verify();

    int Result = 2;
    AccountBox* txtPassword;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();

    int* m_resultOut = nullptr; // where Verify waits for the result
    QLabel* Image1;
    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
