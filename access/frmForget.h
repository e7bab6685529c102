#pragma once

#include <QDialog>

#include "ui_frmForget.h"

// Password recovery: the secret question and answer of the account in use give back its password,
// which goes into the login dialog's password box.
class frmForget : public QDialog, private Ui::frmForget
{
    Q_OBJECT

public:
    frmForget();

    using Ui::frmForget::txtAnswer;
    using Ui::frmForget::txtQuestion;

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
};
