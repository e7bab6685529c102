#pragma once

#include <QDialog>

#include "ui_frmNewUser.h"

// Creates the one account at first start: name, password with its confirmation, and the secret
// question and answer that recover a forgotten password.
class frmNewUser : public QDialog, private Ui::frmNewUser
{
    Q_OBJECT

public:
    frmNewUser();

    using Ui::frmNewUser::txtAnswer;
    using Ui::frmNewUser::txtConfrim;
    using Ui::frmNewUser::txtPassword;
    using Ui::frmNewUser::txtQuestion;
    using Ui::frmNewUser::txtUserName;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
};
