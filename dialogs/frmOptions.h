#pragma once

#include <QDialog>

#include "ui_frmOptions.h"

// Switches the interface sounds and the login at start-up on and off and saves both choices.
class frmOptions : public QDialog, private Ui::frmOptions
{
    Q_OBJECT

public:
    frmOptions();

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();
};
