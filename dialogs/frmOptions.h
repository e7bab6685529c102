#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// Switches the interface sounds and the login at start-up on and off and saves both choices.
class frmOptions : public QDialog
{
    Q_OBJECT

public:
    frmOptions();

public slots:
    void reject() override; // Cancel, Esc and the window's close button

private:
    void CmdOK_Click();

    QCheckBox* ChkSounds;
    QCheckBox* chklogin;
    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
