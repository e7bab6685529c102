#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>

#include "exchange/FilePieces.h"
#include "store/ContactDetails.h"

class QIODevice;

// Contacts as they travel in and out of the address book in vCard and CSV files.

// One contact with the fields the address book keeps.
struct ContactCard
{
    QString name;
    QString category; // the record type
    QString homePhone;
    QString mobilePhone;
    QString workPhone;
    QString emails; // the e-mail list as the book stores it ("a@x; b@y")
    QString qq;
    QString msn;
    QString icq;
    QString url;
    // All the contact holds beside the record's fields, shared between copies of the card and
    // absent when there is none: most contacts have none, and a card stays small to move.
    std::shared_ptr<ContactDetails> sharedDetails = {};

    const ContactDetails& Details() const;
    // The card's own details, to change.
    ContactDetails& EditDetails();
    // Keeps none when details is empty.
    void SetDetails(ContactDetails details);
};

// A contact's fields as UTF-8 bytes, in the order of ContactCard, for the writers: an export
// takes them from the book without making text of them first.
struct ContactText
{
    QByteArrayView name;
    QByteArrayView category;
    QByteArrayView homePhone;
    QByteArrayView mobilePhone;
    QByteArrayView workPhone;
    QByteArrayView emails;
    QByteArrayView qq;
    QByteArrayView msn;
    QByteArrayView icq;
    QByteArrayView url;
    const ContactDetails* details = nullptr; // none: the contact has none
};

// The UTF-8 of a card's fields, valid until the next card.
class ContactUtf8
{
public:
    const ContactText& Of(const ContactCard& card);

private:
    QByteArray m_fields[10];
    ContactText m_text;
};

// The largest UTF-16 contact file an import reads: it is converted whole.
inline constexpr qint64 MaxWholeContactFileBytes = 256LL * 1024 * 1024;

// What reading a file found: the contacts, what they carried that the book cannot keep (with
// counts, by a short English label such as "BDAY" or "second home phone"), and a description of
// the problem when the file could not be read at all.
struct ContactFile
{
    QList<ContactCard> cards;
    QMap<QString, int> dropped;
    QString error;
    QByteArray encoding;          // the text encoding the file was read in
    bool encodingGuessed = false; // it was chosen on weak evidence: the user should judge it
    QString encodingExample;      // a value as read in it, when guessed
    bool cancelled = false;       // the reader's progress said stop: nothing else is filled in

    static ContactFile Cancelled()
    {
        ContactFile file;
        file.cancelled = true;
        return file;
    }
};

// Reads a vCard or a CSV file, whichever its content is; UTF-16 is read as the UTF-8 it holds.
ContactFile ReadContactFile(const QByteArray& bytes);
// The same from a device, read a piece at a time so the file is never held whole; only a UTF-16
// file is read whole, and refused (error "too large") beyond maxWholeBytes.
ContactFile ReadContactFile(QIODevice& device, const ReadProgress& progress = {}, qint64 pieceBytes = FilePieceBytes,
                            qint64 maxWholeBytes = MaxWholeContactFileBytes);

// The largest contact file an import takes: what a quarter of the machine's memory holds once read
// (a contact takes about twice its size in the file), and never less than 256 MB.
qint64 MaxContactFileBytes();
