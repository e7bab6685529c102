#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

#include "exchange/ContactFile.h"
#include "exchange/VCardLine.h"

// One vCard kept as the lines it came in, so that changing the fields the address book owns
// leaves every other line (photo, address, birthday, notes, unknown extensions) as the server
// sent it, but for line ends, which are always CRLF.
class CardText
{
public:
    // Nothing, with *error set (when given), unless bytes hold exactly one readable vCard.
    static std::optional<CardText> Parse(const QByteArray& bytes, QString* error);
    // A new card holding the record's fields.
    static CardText New(const ContactCard& card, const QString& uid);

    // The fields as the address book would store them (no category: the address book is the type).
    ContactCard Fields() const;
    // The card's UID, empty when it has none.
    QString Uid() const;
    // What the card holds that the address book cannot show, by label.
    QMap<QString, int> Unshown() const;
    // Changes the lines of every field that differs between before and after.
    void Change(const ContactCard& before, const ContactCard& after);
    QByteArray Bytes() const;

private:
    // Sets a line's value (escaped), without an encoding the old value had.
    void Replace(qsizetype index, const QString& value, QByteArrayList params);
    void Replace(qsizetype index, const QString& value) { Replace(index, value, m_lines[index].params); }
    // Adds a line before the card's END.
    void Append(const QString& line);
    void Remove(qsizetype index) { m_lines.removeAt(index); }
    // The line of one of the names holding value (first of a preferred type when several), or -1.
    qsizetype Find(const QList<QByteArray>& names, const QString& value, const char* preferredType = nullptr) const;
    void ChangeValue(const QList<QByteArray>& names, const QString& before, const QString& after, const QString& add,
                     const char* preferredType = nullptr);
    void ChangePhone(const QString& before, const QString& after, const char* type);
    void ChangeName(const QString& before, const QString& after);
    void ChangeDetails(const ContactDetails& before, const ContactDetails& after);
    // The lines of one detail that holds a single value (a birthday, the note): those of the old
    // value go, the new value's lines take the place of the first of them.
    void ChangeSingle(const std::function<bool(qsizetype)>& belongs, const ContactDetails& only);
    // One value of a repeatable detail (an address, a web address): at, the line of the old value
    // (-1 when there was none), takes the new value's lines; an empty only removes it.
    void ChangeOne(qsizetype at, const QByteArray& name, const ContactDetails& only);
    template <typename T, typename Locate, typename Only>
    void ChangeList(const QList<T>& before, const QList<T>& after, const QByteArray& name, Locate find, Only only);
    // The line at index read as a card of its own, with the other lines of its group.
    ContactCard ReadLine(qsizetype index) const;
    // Where the card's END is: new lines go before it.
    qsizetype EndIndex() const;
    bool IsV4() const;

    QList<VCardLine> m_lines;
    // What the reader makes of the lines, kept from reading them until they change: a large
    // book's cards are read once per sync, not once per question.
    mutable std::optional<ContactCard> m_fields;
    mutable std::optional<QMap<QString, int>> m_unshown;
};

// The e-mail list as single addresses, in order, without blanks and repeats.
QStringList EmailAddresses(const QString& list);
