#pragma once

#include <QColor>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QScrollArea>
#include <QStringList>
#include <QUrl>

class AddressBook;
struct ContactDate;
struct ContactDetails;
class QGridLayout;
class QLocale;

// A phone number or e-mail address in the contact pane: plain text (never markup) that opens its
// tel: or mailto: address through the shell when clicked or when Enter is pressed on it, and
// copies its value from its context menu or with Ctrl+C.
class PaneLink : public QLabel
{
    Q_OBJECT

public:
    PaneLink(const QString& value, const QString& shown, QUrl url, QWidget* parent = nullptr);

    QString Value() const { return m_value; }
    QUrl Url() const { return m_url; }
    void Open();
    void Copy();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyLinkColour();

    QString m_value;
    QUrl m_url;
    QColor m_colour; // the link colour set, readable on the palette's base
    bool m_pressed = false;
};

// The selected contact as a person reads it, beside the list: photo, name, organisation and title,
// then every phone, e-mail, address, date, web address, messenger id, nickname and note. It reads
// one record and its details by key, and follows the book's changes to that contact.
class ContactPane : public QScrollArea
{
    Q_OBJECT

public:
    explicit ContactPane(AddressBook& book, QWidget* parent = nullptr);

    // Shows this contact; asking for the one already shown reads nothing.
    void ShowContact(qint64 pwdId);
    // The calm placeholder: no contact selected, a type, or several contacts.
    void ShowNothing();
    // Reads the shown contact again (the book was refreshed or replaced).
    void Reload();
    qint64 ShownId() const { return m_id; }
    // What the pane shows, a line per row as "caption: value" (the name, organisation and title
    // without a caption): for the screen reader's summary and for checks.
    QStringList ShownTexts() const;

    // A date as the reader's language writes it: the month and day alone when it has no year.
    static QString DateText(const ContactDate& date, const QLocale& locale);
    // The phone or e-mail address a link opens: tel: keeps the digits, a leading + and the pause
    // and extension letters a dialler takes; nothing when there is nothing to dial or mail.
    static QUrl PhoneUrl(const QString& number);
    static QUrl MailUrl(const QString& address);
    // The addresses of an e-mail list, split where the list separates them.
    static QStringList MailAddresses(const QString& list);

protected:
    void changeEvent(QEvent* event) override;

private:
    void Fill(const QStringList& fields, const QString& url, const ContactDetails& details);
    void Replace(QWidget* content);
    void AddRow(QGridLayout* grid, const QString& caption, QWidget* value);
    void AddText(QGridLayout* grid, const QString& caption, const QString& text);
    void AddLink(QGridLayout* grid, const QString& caption, const QString& value, const QUrl& url);
    QString Lang(const char* key, const char* english) const;
    void Book_ContactsChanged(const QList<qint64>& ids);
    void Book_ContactsRemoved(const QList<qint64>& ids);

    AddressBook& m_book;
    qint64 m_id = -1;
    QStringList m_shown;
    mutable QHash<QString, QString> m_captions; // by language key
};
