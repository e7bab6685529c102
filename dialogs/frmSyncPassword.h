#pragma once

#include <QDialog>

#include <optional>

#include "ui_frmSyncPassword.h"

// Asks for a server password that no keyring keeps, says why it asks, and lets the user keep it
// for this session.
class frmSyncPassword : public QDialog, private Ui::frmSyncPassword
{
    Q_OBJECT

public:
    // user and server name the account. keyringAnswered: the keyring is there but has lost the
    // password, which then goes back into it; otherwise trouble is the keyring's own reason, when
    // it gave one, and the user chooses whether this session keeps the password.
    frmSyncPassword(QWidget* parent, const QString& user, const QString& server, bool keyringAnswered,
                    const QString& trouble);

    QString Password() const;
    bool Remember() const;
};

struct SyncPasswordAnswer
{
    QString password;
    bool remember = false;
};

// Shows the dialog; nullopt when the user cancels.
std::optional<SyncPasswordAnswer> AskSyncPassword(QWidget* parent, const QString& user, const QString& server,
                                                  bool keyringAnswered, const QString& trouble);
