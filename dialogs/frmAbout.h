#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's title, version, credits and a mail address that opens the mail client.
class frmAbout : public QDialog
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

    QLabel* SkinLabel3;
    QLabel* lblVersion; // lbl(1)
    QLabel* lblCredit;  // lbl(0)
    QLabel* lblMail;
    QPushButton* CmdOK;
};
