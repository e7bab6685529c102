#pragma once

#include <QDialog>

class QLineEdit;

// Creates the one account at first start.
class frmNewUser : public QDialog
{
public:
    frmNewUser();

private:
    void CmdOK_Click();

    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QLineEdit* txtConfirm;
    QLineEdit* txtQuestion;
    QLineEdit* txtAnswer;
};
