#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class Connection;

// What a contact holds beside the fields of its record: postal addresses, dates, organisation,
// notes, further phones, web addresses and messenger ids, and a photo. They live in tables of
// their own keyed by the record's PWDID, made when the first detail is written, so a book without
// details is exactly what earlier versions wrote and read, and every value is enciphered as the
// record's fields are. A trigger made with the tables removes a record's details whenever the
// record is deleted, by whatever path.

// The kinds of rows in ContactDetail. Each is a word of the file format: never change one.
namespace DetailKind {
inline constexpr char Phone[] = "tel";
inline constexpr char Url[] = "url";
inline constexpr char Messenger[] = "impp";
inline constexpr char Nickname[] = "nickname";
inline constexpr char Organisation[] = "org";
inline constexpr char Department[] = "unit";
inline constexpr char Title[] = "title";
inline constexpr char Role[] = "role";
inline constexpr char Note[] = "note";
inline constexpr char Birthday[] = "bday";
inline constexpr char Anniversary[] = "anniversary";
} // namespace DetailKind

// A date, or a month and day without a year (a birthday whose year is not known).
struct ContactDate
{
    int year = 0; // 0: no year
    int month = 0;
    int day = 0;

    bool IsNull() const { return month == 0; }
    // "1985-04-12", or "--04-12" without a year; empty when null.
    QString ToText() const;
    // Reads "1985-04-12", "19850412", "--04-12", "--0412" and a date-time's date ("1985-04-12T..."):
    // nothing when the text is no such date.
    static std::optional<ContactDate> FromText(const QString& text);
    bool operator==(const ContactDate&) const = default;
};

struct PostalAddress
{
    QString type; // "home", "work" or "other"
    QString street;
    QString extended; // apartment, suite
    QString poBox;
    QString locality;
    QString region;
    QString postalCode;
    QString country;

    bool IsEmpty() const;
    bool operator==(const PostalAddress&) const = default;
};

// A phone ("home", "work", "cell", "fax", "pager" or "other"), a web address ("home", "work" or
// empty) or a messenger id (type: the service, "xmpp", "skype"; value: the id as given).
struct TypedValue
{
    QString type;
    QString value;
    bool operator==(const TypedValue&) const = default;
};

// Photos larger than this are not kept: a contact list is no picture store.
inline constexpr qsizetype MaxPhotoBytes = 1024 * 1024;

struct ContactDetails
{
    QList<PostalAddress> addresses;
    ContactDate birthday;
    ContactDate anniversary;
    QStringList nicknames;
    QString organisation;
    QString department;
    QString title;
    QString role;
    QString note; // several lines, LF between them
    QList<TypedValue> phones;
    QList<TypedValue> urls;
    QList<TypedValue> messengers;
    QByteArray photo; // JPEG or PNG, as received

    bool IsEmpty() const;
    bool operator==(const ContactDetails&) const = default;
    // Every text held, for checks over them all (the code page, line breaks).
    QList<QString*> Texts();
};

// "image/jpeg" or "image/png" for the bytes of such a picture, empty for anything else.
QString PhotoMimeType(const QByteArray& bytes);

// The tables of details, each keyed by PWDID.
const QStringList& ContactDetailTables();
// Whether the book has the tables of details (looking changes nothing).
bool HasContactDetailTables(Connection& conn);
// Makes the tables and the trigger that deletes a record's details with it, if they are missing.
void CreateContactDetailTables(Connection& conn);

// A record's details; empty for a record without any or a book without the tables.
ContactDetails ReadContactDetails(Connection& conn, qint64 pwdId);
// Replaces a record's details with these, in the caller's transaction when one is open, in one of
// its own otherwise. Writing none to a book without the tables leaves the book as it is. Returns
// the stamp of the details written, as ContactDetailStamps reads it.
QByteArray WriteContactDetails(Connection& conn, qint64 pwdId, const ContactDetails& details);

// Writes the details of many new records, the statements prepared once; the tables are made with
// the first details written. Run inside the caller's transaction.
class ContactDetailsWriter
{
public:
    explicit ContactDetailsWriter(Connection& conn);
    ~ContactDetailsWriter();
    ContactDetailsWriter(const ContactDetailsWriter&) = delete;
    ContactDetailsWriter& operator=(const ContactDetailsWriter&) = delete;
    // Adds details to a record that has none yet; stamp, when given, is set to their stamp as
    // ContactDetailStamps reads it (empty for none).
    void Add(qint64 pwdId, const ContactDetails& details, QByteArray* stamp = nullptr);

private:
    struct Statements;
    Connection& m_conn;
    std::unique_ptr<Statements> m_statements;
};

// Reads the details of records asked for in increasing key order, walking the tables once beside
// the records: an export of the whole book reads each detail once, without a query per record.
class ContactDetailsReader
{
public:
    explicit ContactDetailsReader(Connection& conn);
    ~ContactDetailsReader();
    ContactDetailsReader(const ContactDetailsReader&) = delete;
    ContactDetailsReader& operator=(const ContactDetailsReader&) = delete;
    // Whether the book has details at all: without, there is nothing to read.
    bool HasTables() const { return m_cursors != nullptr; }
    // The details of pwdId, which is larger than the key asked for before.
    ContactDetails Read(qint64 pwdId);

private:
    struct Cursors;
    std::unique_ptr<Cursors> m_cursors; // none when the book has no details
};

// The stamp of each record's details, record after record in increasing key order, read in one pass
// beside the records: a hash over the stored cipher texts, so nothing is deciphered. It changes
// with any edit of a detail and with nothing else; it is empty for a record without details.
class ContactDetailStamps
{
public:
    explicit ContactDetailStamps(Connection& conn);
    ~ContactDetailStamps();
    ContactDetailStamps(const ContactDetailStamps&) = delete;
    ContactDetailStamps& operator=(const ContactDetailStamps&) = delete;
    // The stamp of pwdId's details, which is larger than the key asked for before.
    QByteArray Of(qint64 pwdId);

private:
    struct Cursors;
    std::unique_ptr<Cursors> m_cursors; // none when the book has no details
};

// The enciphered values of chosen details, record after record in increasing key order, read in
// one pass beside the records: what a search compares without a query per record.
class ContactDetailCipherTexts
{
public:
    // kinds: of ContactDetail (DetailKind); addresses: every part of every postal address.
    ContactDetailCipherTexts(Connection& conn, const QStringList& kinds, bool addresses);
    ~ContactDetailCipherTexts();
    ContactDetailCipherTexts(const ContactDetailCipherTexts&) = delete;
    ContactDetailCipherTexts& operator=(const ContactDetailCipherTexts&) = delete;
    // The values of pwdId, which is larger than the key asked for before; valid until the next call.
    const std::vector<QByteArrayView>& Of(qint64 pwdId);

private:
    struct Cursors;
    std::unique_ptr<Cursors> m_cursors; // none when the book has no details
    std::vector<char> m_bytes;
    std::vector<std::pair<std::size_t, std::size_t>> m_spans;
    std::vector<QByteArrayView> m_values;
};
