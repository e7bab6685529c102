#include "dialogs/frmSyncPassword.h"

#include <QPushButton>

#include "core/Language.h"
#include "ui/ApplyLanguage.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Skin.h"

frmSyncPassword::frmSyncPassword(QWidget* parent, const QString& user, const QString& server, bool keyringAnswered,
                                 const QString& trouble)
    : QDialog(parent)
{
    setupUi(this);
    connect(buttons->Ok(), &QPushButton::clicked, this, [this] {
        PlaySoundRes(SoundClick);
        accept();
    });
    connect(buttons->Cancel(), &QPushButton::clicked, this, [this] {
        PlaySoundRes(SoundClick);
        reject();
    });
    ApplyLanguage(this);
    TheSkin().ApplySkin(this);
    const QString section = QStringLiteral("frmSyncPassword");
    const QString account =
        GetLangString(section, QStringLiteral("10005"), QStringLiteral("%1 on %2")).arg(user, server);
    QString why;
    if (keyringAnswered) {
        why = GetLangString(section, QStringLiteral("10006"),
                            QStringLiteral("The system keyring holds no password for %1. Type it to sync; Tavoren "
                                           "keeps it in the keyring."))
                  .arg(account);
        chkRemember->hide(); // the keyring keeps it
    } else {
        why = GetLangString(section, QStringLiteral("10001"),
                            QStringLiteral("Tavoren keeps server passwords in the system keyring, never in the "
                                           "address book, and no keyring can be reached now. Type the password of "
                                           "%1 to sync; it is kept until Tavoren closes only if you tick the box "
                                           "below."))
                  .arg(account);
        if (!trouble.isEmpty()) {
            why += QLatin1Char('\n') +
                   GetLangString(section, QStringLiteral("10002"), QStringLiteral("The keyring says: %1")).arg(trouble);
        }
    }
    lblWhy->setText(why);
    txtPassword->setFocus();
}

QString frmSyncPassword::Password() const
{
    return txtPassword->text();
}

bool frmSyncPassword::Remember() const
{
    return chkRemember->isChecked();
}

std::optional<SyncPasswordAnswer> AskSyncPassword(QWidget* parent, const QString& user, const QString& server,
                                                  bool keyringAnswered, const QString& trouble)
{
    frmSyncPassword form(parent, user, server, keyringAnswered, trouble);
    if (form.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return SyncPasswordAnswer{form.Password(), form.Remember()};
}
