#pragma once

#include <QDialog>

#include "ui_frmAbout.h"

// The program's title, version, credits and a mail address that opens the mail client.
class frmAbout : public QDialog, private Ui::frmAbout
{
    Q_OBJECT

public:
    frmAbout();

    // The address lblMail shows.
    static QString MailAddress();

public slots:
    void reject() override; // OK, Esc and the window's close button

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MailTo();
};
