#pragma once

#include <QDialog>

#include "ui_frmUsers.h"

// Changes the account: its name always, its password, question and answer when new ones are given.
// The old password must be given first.
class frmUsers : public QDialog, private Ui::frmUsers
{
    Q_OBJECT

public:
    frmUsers();

    using Ui::frmUsers::txtAnswer;
    using Ui::frmUsers::txtConfrimPassword;
    using Ui::frmUsers::txtNewPassword;
    using Ui::frmUsers::txtOldPassword;
    using Ui::frmUsers::txtQuestion;
    using Ui::frmUsers::txtUserName;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
};
