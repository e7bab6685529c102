#pragma once

#include <QLabel>
#include <QList>
#include <QWidget>

#include <optional>

#include "store/ContactDetails.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

// Reads a date as people type it: "1985-04-12", "04-12" or "--04-12" without a year, or the
// locale's short date. Empty text is no date; nullopt when the text is not a date.
std::optional<ContactDate> ParseTypedDate(const QString& text);
// How the editor shows a stored date: "1985-04-12", or "04-12" without a year.
QString ShowDate(const ContactDate& date);

// The contact's picture: shows it scaled, and takes a JPEG or PNG file dropped on it.
class PhotoWell : public QLabel
{
    Q_OBJECT

public:
    explicit PhotoWell(QWidget* parent = nullptr);
    void SetPhoto(const QByteArray& bytes);

signals:
    void FileDropped(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// Lines of a type and a value (phones, web addresses, messenger ids), each with its remove
// button, and a button that adds one.
class TypedRows : public QWidget
{
    Q_OBJECT

public:
    // types: stored type and its shown name; an editable chooser takes any type (a service).
    TypedRows(const QString& name, const QList<std::pair<QString, QString>>& types, bool editableType,
              const QString& addText, QWidget* parent = nullptr);
    void SetValues(const QList<TypedValue>& values);
    // The lines with a value, in their order.
    QList<TypedValue> Values() const;
    QList<QWidget*> TabChain() const;
    QPushButton* AddButton() const { return m_add; }

signals:
    void RowsChanged();

private:
    struct Row
    {
        QWidget* line;
        QComboBox* type;
        QLineEdit* value;
        QPushButton* remove;
    };
    Row& AddRow(const TypedValue& value);
    void RemoveRow(QWidget* line);

    QString m_name;
    QList<std::pair<QString, QString>> m_types;
    bool m_editableType;
    QVBoxLayout* m_rows;
    QPushButton* m_add;
    QList<Row> m_lines;
};

// Postal addresses, each a small form with its type and remove button, and a button that adds one.
class AddressRows : public QWidget
{
    Q_OBJECT

public:
    explicit AddressRows(QWidget* parent = nullptr);
    void SetAddresses(const QList<PostalAddress>& addresses);
    // The addresses with any part filled in, in their order.
    QList<PostalAddress> Addresses() const;
    QList<QWidget*> TabChain() const;

signals:
    void RowsChanged();

private:
    struct Row
    {
        QWidget* frame;
        QComboBox* type;
        QList<QLineEdit*> parts; // street, extended, PO box, locality, region, postal code, country
        QPushButton* remove;
    };
    Row& AddRow(const PostalAddress& address);
    void RemoveRow(QWidget* frame);

    QVBoxLayout* m_rows;
    QPushButton* m_add;
    QList<Row> m_lines;
};

// The editor's "Details" tab: everything a contact holds beside the record's own fields.
class ContactDetailsPage : public QWidget
{
    Q_OBJECT

public:
    explicit ContactDetailsPage(QWidget* parent = nullptr);

    void SetDetails(const ContactDetails& details);
    // What the boxes say; nullopt after telling the user which box holds no date (it gets the
    // focus). The text boxes have been trimmed before.
    std::optional<ContactDetails> Details(QWidget* dialog);
    // Every box whose text is stored enciphered, for the code page check.
    QList<QLineEdit*> TextBoxes() const;
    QPlainTextEdit* NoteBox() const { return m_note; }
    // The focusable controls in reading order.
    QList<QWidget*> TabChain() const;
    // Takes a picture file chosen or dropped: false, after saying why, when it is not kept.
    bool TakePhotoFile(const QString& path);

signals:
    // Lines were added or removed: the tab order follows.
    void RowsChanged();

private:
    void ChoosePhoto();
    void RemovePhoto();

    QLineEdit* m_nickname;
    QLineEdit* m_birthday;
    QLineEdit* m_anniversary;
    QLineEdit* m_organisation;
    QLineEdit* m_department;
    QLineEdit* m_title;
    QLineEdit* m_role;
    AddressRows* m_addresses;
    TypedRows* m_phones;
    TypedRows* m_urls;
    TypedRows* m_messengers;
    QPlainTextEdit* m_note;
    PhotoWell* m_photoWell;
    QPushButton* m_choosePhoto;
    QPushButton* m_removePhoto;
    QByteArray m_photo;
};
