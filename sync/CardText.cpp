#include "sync/CardText.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

#include "core/TextUtil.h"
#include "exchange/VCard.h"

namespace {

const struct Messenger
{
    const char* x;      // the vCard 3.0 property
    const char* scheme; // the IMPP scheme
    QString ContactCard::*field;
} Messengers[] = {
    {"X-QQ", "qq", &ContactCard::qq}, {"X-MSN", "msn", &ContactCard::msn}, {"X-ICQ", "icq", &ContactCard::icq}};

bool Han(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF; });
}

// The words of text, and whether words (the start or end of it) match.
QStringList Words(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A structured name (family; given; additional; prefix; suffix) for a new full name, keeping the
// parts of the old one the new name still has where they were: a changed first name changes the
// given name only. The parts always read back as the new name, as the reader joins them.
QStringList NameParts(QStringList parts, const QString& name)
{
    while (parts.size() < 5) {
        parts.append(QString());
    }
    parts = parts.mid(0, 5);
    for (QString& p : parts) {
        p = TrimBlank(p);
    }
    QString& family = parts[0];
    QString& given = parts[1];
    QString& additional = parts[2];
    QString& prefix = parts[3];
    QString& suffix = parts[4];
    if (Han(name) || Han(family) || Han(given)) {
        // Family name first, no space.
        prefix.clear();
        suffix.clear();
        additional.clear();
        if (!family.isEmpty() && name.startsWith(family) && name.size() > family.size()) {
            given = name.mid(family.size());
        } else if (!given.isEmpty() && name.endsWith(given) && name.size() > given.size()) {
            family = name.left(name.size() - given.size());
        } else {
            family = name.left(1);
            given = name.mid(1);
        }
        return parts;
    }
    QStringList words = Words(name);
    const auto takeFront = [&words](QString& part) {
        const QStringList w = Words(part);
        if (w.isEmpty() || words.mid(0, w.size()) != w || words.size() == w.size()) {
            part.clear();
            return;
        }
        words = words.mid(w.size());
    };
    const auto takeBack = [&words](QString& part) {
        const QStringList w = Words(part);
        if (w.isEmpty() || words.size() <= w.size() || words.mid(words.size() - w.size()) != w) {
            part.clear();
            return;
        }
        words = words.mid(0, words.size() - w.size());
    };
    takeFront(prefix);
    takeBack(suffix);
    if (words.size() == 1) {
        (family.isEmpty() || !given.isEmpty() ? given : family) = words.first();
        (family.isEmpty() || !given.isEmpty() ? family : given).clear();
        additional.clear();
        return parts;
    }
    const QStringList oldFamily = Words(family);
    if (!oldFamily.isEmpty() && words.size() > oldFamily.size() &&
        words.mid(words.size() - oldFamily.size()) == oldFamily) {
        words = words.mid(0, words.size() - oldFamily.size());
    } else {
        family = words.isEmpty() ? QString() : words.takeLast();
    }
    const QStringList oldGiven = Words(given);
    if (!oldGiven.isEmpty() && words.size() >= oldGiven.size() && words.mid(0, oldGiven.size()) == oldGiven) {
        words = words.mid(oldGiven.size());
    } else {
        given = words.isEmpty() ? QString() : words.takeFirst();
    }
    additional = words.join(QLatin1Char(' '));
    return parts;
}

// A telephone number as a vCard 4.0 tel: URI allows it: global, digits and visual separators.
bool TelUri(const QString& number)
{
    static const QRegularExpression global(QStringLiteral("^\\+[0-9][0-9.()-]*$"));
    return global.match(number).hasMatch();
}

QByteArrayList WithoutEncoding(QByteArrayList params)
{
    params.removeIf([](const QByteArray& p) {
        const QByteArray upper = p.trimmed().toUpper();
        return upper == "QUOTED-PRINTABLE" || upper.startsWith("ENCODING=") || upper.startsWith("CHARSET=");
    });
    return params;
}

} // namespace

QStringList EmailAddresses(const QString& list)
{
    QStringList addresses;
    for (const QString& part : list.split(QLatin1Char(';'))) {
        const QString address = TrimBlank(part);
        if (!address.isEmpty() && !addresses.contains(address, Qt::CaseInsensitive)) {
            addresses.append(address);
        }
    }
    return addresses;
}

std::optional<CardText> CardText::Parse(const QByteArray& bytes, QString* error)
{
    const ContactFile file = ReadVCards(bytes, CardParts::Everything);
    if (!file.error.isEmpty() || file.cards.size() != 1 || file.dropped.contains(QStringLiteral("card without END"))) {
        if (error != nullptr) {
            *error = file.error.isEmpty() ? QStringLiteral("not one complete vCard") : file.error;
        }
        return std::nullopt;
    }
    CardText card;
    card.m_lines = ParseVCardLines(bytes);
    card.m_fields = file.cards.first();
    card.m_fields->category.clear();
    card.m_unshown = file.dropped;
    return card;
}

CardText CardText::New(const ContactCard& fields, const QString& uid)
{
    ContactCard plain = fields;
    plain.category.clear();
    // One EMAIL line per address, however the list was typed.
    plain.emails = EmailAddresses(plain.emails).join(QStringLiteral("; "));
    QByteArray bytes = WriteVCards({plain}, VCardVersion::V30);
    bytes.insert(bytes.indexOf("END:VCARD"), WriteVCardLine({}, "UID", {}, EscapeVCardText(uid)));
    QString error;
    return *Parse(bytes, &error);
}

ContactCard CardText::Fields() const
{
    if (!m_fields) {
        const ContactFile file = ReadVCards(Bytes(), CardParts::Everything);
        m_fields = file.cards.value(0);
        m_fields->category.clear();
        m_unshown = file.dropped;
    }
    return *m_fields;
}

QString CardText::Uid() const
{
    for (const VCardLine& line : m_lines) {
        if (line.name == "UID") {
            return line.Text();
        }
    }
    return {};
}

QMap<QString, int> CardText::Unshown() const
{
    if (!m_unshown) {
        Fields();
    }
    return *m_unshown;
}

QByteArray CardText::Bytes() const
{
    QByteArray out;
    for (const VCardLine& line : m_lines) {
        out += line.raw;
    }
    return out;
}

bool CardText::IsV4() const
{
    for (const VCardLine& line : m_lines) {
        if (line.name == "VERSION") {
            return line.Text().startsWith(QLatin1String("4"));
        }
    }
    return false;
}

void CardText::Replace(qsizetype index, const QString& value, QByteArrayList params)
{
    // The new value is written as plain UTF-8, so an old line's encoding no longer applies.
    m_lines[index].Set(WithoutEncoding(std::move(params)), value);
}

qsizetype CardText::EndIndex() const
{
    // The END that closes the card, whatever stray lines follow it.
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].name == "END" && m_lines[i].Text().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return m_lines.size();
}

void CardText::Append(const QString& text)
{
    m_lines.insert(EndIndex(), MakeVCardLine(text));
}

ContactCard CardText::ReadLine(qsizetype index) const
{
    const VCardLine& line = m_lines[index];
    QByteArray bytes = "BEGIN:VCARD\r\n";
    for (const VCardLine& l : m_lines) {
        if (l.name == "VERSION") {
            bytes += l.raw;
            break;
        }
    }
    bytes += line.raw;
    if (!line.group.isEmpty()) {
        // A label in the same group can say what the value is (an anniversary among dates).
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (i != index && m_lines[i].group.compare(line.group, Qt::CaseInsensitive) == 0) {
                bytes += m_lines[i].raw;
            }
        }
    }
    bytes += "END:VCARD\r\n";
    return ReadVCards(bytes, CardParts::Everything).cards.value(0);
}

qsizetype CardText::Find(const QList<QByteArray>& names, const QString& value, const char* preferredType) const
{
    const auto holds = [&value](const VCardLine& line, bool reader) {
        const QString text = line.Text();
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        const QString bare = colon > 0 && line.name != "URL" ? TrimBlank(text.mid(colon + 1)) : text;
        if (text == value || bare == value) {
            return true;
        }
        if (!reader) {
            return false;
        }
        // A value in a character set or encoding of its own: read as the address book read it.
        const ContactCard c = ReadVCards("BEGIN:VCARD\r\nVERSION:3.0\r\n" + line.raw + "END:VCARD\r\n").cards.value(0);
        for (const QString& f : {c.name, c.homePhone, c.mobilePhone, c.workPhone, c.qq, c.msn, c.icq, c.url}) {
            if (!f.isEmpty() && f == value) {
                return true;
            }
        }
        return EmailAddresses(c.emails).contains(value);
    };
    for (const bool reader : {false, true}) {
        qsizetype found = -1;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (!names.contains(m_lines[i].name) || !holds(m_lines[i], reader)) {
                continue;
            }
            if (preferredType == nullptr || m_lines[i].HasParam(preferredType)) {
                return i;
            }
            if (found < 0) {
                found = i;
            }
        }
        if (found >= 0) {
            return found;
        }
    }
    return -1;
}

void CardText::ChangeValue(const QList<QByteArray>& names, const QString& before, const QString& after,
                           const QString& add, const char* preferredType)
{
    const qsizetype index = before.isEmpty() ? -1 : Find(names, before, preferredType);
    if (index >= 0 && after.isEmpty()) {
        Remove(index);
    } else if (index >= 0) {
        // Keep a scheme the server wrote ("qq:") in front of the new value.
        const QString old = m_lines[index].Text();
        const qsizetype colon = old.indexOf(QLatin1Char(':'));
        const bool scheme = colon > 0 && old.mid(colon + 1).trimmed() == before && m_lines[index].name != "URL";
        Replace(index, (scheme ? old.left(colon + 1) : QString()) + EscapeVCardText(after));
    } else if (!after.isEmpty()) {
        Append(add + EscapeVCardText(after));
    }
}

void CardText::ChangePhone(const QString& before, const QString& after, const char* type)
{
    if (!IsV4()) {
        ChangeValue({"TEL"}, before, after, QStringLiteral("TEL;TYPE=%1:").arg(QLatin1String(type)), type);
        return;
    }
    // vCard 4.0 phones are URIs unless marked as text: a number a tel: URI cannot hold (spaces,
    // a local number) is written as text.
    const bool uri = TelUri(after);
    const QString value = uri ? QStringLiteral("tel:") + after : EscapeVCardText(after);
    const qsizetype index = before.isEmpty() ? -1 : Find({"TEL"}, before, type);
    if (index >= 0 && after.isEmpty()) {
        Remove(index);
    } else if (index >= 0) {
        QByteArrayList params = m_lines[index].params;
        params.removeIf([](const QByteArray& p) { return p.trimmed().toUpper().startsWith("VALUE="); });
        params.prepend(uri ? "VALUE=uri" : "VALUE=text");
        Replace(index, value, params);
    } else if (!after.isEmpty()) {
        Append(QStringLiteral("TEL;VALUE=%1;TYPE=%2:")
                   .arg(QLatin1String(uri ? "uri" : "text"), QString::fromLatin1(type).toLower()) +
               value);
    }
}

void CardText::ChangeName(const QString& before, const QString& after)
{
    const qsizetype fn = Find({"FN"}, before);
    if (fn >= 0) {
        Replace(fn, EscapeVCardText(after));
    } else {
        Append(QStringLiteral("FN:") + EscapeVCardText(after));
    }
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].name == "N") {
            const QByteArray value =
                m_lines[i].IsQuotedPrintable() ? DecodeQuotedPrintable(m_lines[i].value) : m_lines[i].value;
            QStringList parts;
            for (const QString& part : NameParts(SplitVCardParts(QString::fromUtf8(value)), after)) {
                parts.append(EscapeVCardText(part));
            }
            Replace(i, parts.join(QLatin1Char(';')));
            break;
        }
    }
}

void CardText::Change(const ContactCard& before, const ContactCard& after)
{
    const QByteArray was = Bytes();
    if (before.name != after.name) {
        ChangeName(before.name, after.name);
    }
    ChangePhone(before.homePhone, after.homePhone, "HOME");
    ChangePhone(before.mobilePhone, after.mobilePhone, "CELL");
    ChangePhone(before.workPhone, after.workPhone, "WORK");
    if (before.emails != after.emails) {
        const QStringList old = EmailAddresses(before.emails);
        const QStringList now = EmailAddresses(after.emails);
        for (const QString& address : old) {
            if (!now.contains(address, Qt::CaseInsensitive)) {
                const qsizetype index = Find({"EMAIL"}, address);
                if (index >= 0) {
                    Remove(index);
                }
            }
        }
        for (const QString& address : now) {
            if (!old.contains(address, Qt::CaseInsensitive)) {
                Append(QStringLiteral("EMAIL:") + EscapeVCardText(address));
            }
        }
    }
    const bool v4 = IsV4();
    for (const Messenger& m : Messengers) {
        const QString add = v4 ? QStringLiteral("IMPP:%1:").arg(QLatin1String(m.scheme))
                               : QStringLiteral("%1:").arg(QLatin1String(m.x));
        ChangeValue({m.x, "IMPP"}, before.*m.field, after.*m.field, add);
    }
    ChangeValue({"URL"}, before.url, after.url, QStringLiteral("URL:"));
    ChangeDetails(before.Details(), after.Details());
    if (Bytes() != was) {
        m_fields.reset();
        m_unshown.reset();
        // Other clients tell the newer copy of a card by its revision.
        const QString rev = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
        const auto line =
            std::find_if(m_lines.begin(), m_lines.end(), [](const VCardLine& l) { return l.name == "REV"; });
        if (line != m_lines.end()) {
            line->Set({}, rev);
        } else {
            Append(QStringLiteral("REV:") + rev);
        }
    }
}

void CardText::ChangeSingle(const std::function<bool(qsizetype)>& belongs, const ContactDetails& only)
{
    QList<qsizetype> old;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (belongs(i)) {
            old.append(i);
        }
    }
    if (old.isEmpty()) {
        ChangeOne(-1, {}, only);
        return;
    }
    for (qsizetype i = old.size() - 1; i > 0; --i) {
        Remove(old[i]);
    }
    ChangeOne(old.first(), {}, only);
}

void CardText::ChangeOne(qsizetype at, const QByteArray& name, const ContactDetails& only)
{
    // The lines the export writes for the value: one way of writing a detail, wherever it goes.
    QList<VCardLine> fresh = ParseVCardLines(WriteVCardDetails(only, IsV4() ? VCardVersion::V40 : VCardVersion::V30));
    QByteArray group;
    qsizetype insert = EndIndex();
    if (at >= 0) {
        group = m_lines[at].group;
        const QByteArray oldName = m_lines[at].name;
        Remove(at);
        insert = at;
        if (fresh.size() != 1 || fresh.first().name != oldName) {
            group.clear();
        }
    } else if (!name.isEmpty()) {
        // A new value of a repeatable detail goes after the others of its kind.
        for (qsizetype i = 0; i < insert; ++i) {
            if (m_lines[i].name == name) {
                at = i;
            }
        }
        insert = at >= 0 ? at + 1 : insert;
    }
    for (VCardLine& line : fresh) {
        if (!group.isEmpty()) {
            // A label another client gave the value (item1.X-ABLABEL) stays with it.
            line.group = group;
            line.raw = WriteVCardLine(line.group, line.name, line.params, QString::fromUtf8(line.value));
        }
        m_lines.insert(insert++, line);
    }
}

template <typename T, typename Locate, typename Only>
void CardText::ChangeList(const QList<T>& before, const QList<T>& after, const QByteArray& name, Locate find, Only only)
{
    QList<T> gone;
    QList<T> come;
    for (const T& value : before) {
        if (!after.contains(value)) {
            gone.append(value);
        }
    }
    for (const T& value : after) {
        if (!before.contains(value)) {
            come.append(value);
        }
    }
    // A value changed takes the place of the one it was; the rest come and go.
    for (qsizetype i = 0; i < std::max(gone.size(), come.size()); ++i) {
        const qsizetype at = i < gone.size() ? find(gone[i]) : -1;
        if (i < come.size()) {
            ChangeOne(at, name, only(come[i]));
        } else if (at >= 0) {
            Remove(at);
        }
    }
}

void CardText::ChangeDetails(const ContactDetails& before, const ContactDetails& after)
{
    if (before == after) {
        return;
    }
    const auto named = [this](const QByteArray& name) {
        return [this, name](qsizetype i) { return m_lines[i].name == name; };
    };
    const auto single = [this](bool changed, const std::function<bool(qsizetype)>& belongs,
                               const std::function<void(ContactDetails&)>& set) {
        if (changed) {
            ContactDetails only;
            set(only);
            ChangeSingle(belongs, only);
        }
    };
    single(before.birthday != after.birthday, named("BDAY"), [&](ContactDetails& d) { d.birthday = after.birthday; });
    single(
        before.anniversary != after.anniversary,
        [this](qsizetype i) {
            const QByteArray& name = m_lines[i].name;
            if (name == "ANNIVERSARY" || name == "X-ANNIVERSARY") {
                return true;
            }
            // Another client's anniversary: a date and its label, grouped.
            return (name == "X-ABDATE" || name == "X-ABLABEL") && !m_lines[i].group.isEmpty() &&
                   !ReadLine(i).Details().anniversary.IsNull();
        },
        [&](ContactDetails& d) { d.anniversary = after.anniversary; });
    single(before.nicknames != after.nicknames, named("NICKNAME"),
           [&](ContactDetails& d) { d.nicknames = after.nicknames; });
    single(before.organisation != after.organisation || before.department != after.department, named("ORG"),
           [&](ContactDetails& d) {
               d.organisation = after.organisation;
               d.department = after.department;
           });
    single(before.title != after.title, named("TITLE"), [&](ContactDetails& d) { d.title = after.title; });
    single(before.role != after.role, named("ROLE"), [&](ContactDetails& d) { d.role = after.role; });
    single(before.note != after.note, named("NOTE"), [&](ContactDetails& d) { d.note = after.note; });
    single(before.photo != after.photo, named("PHOTO"), [&](ContactDetails& d) { d.photo = after.photo; });

    ChangeList(
        before.addresses, after.addresses, "ADR",
        [this](const PostalAddress& address) {
            for (qsizetype i = 0; i < m_lines.size(); ++i) {
                if (m_lines[i].name == "ADR" && ReadLine(i).Details().addresses.contains(address)) {
                    return i;
                }
            }
            return qsizetype(-1);
        },
        [](const PostalAddress& address) {
            ContactDetails d;
            d.addresses = {address};
            return d;
        });
    ChangeList(
        before.urls, after.urls, "URL", [this](const TypedValue& url) { return Find({"URL"}, url.value); },
        [](const TypedValue& url) {
            ContactDetails d;
            d.urls = {url};
            return d;
        });
    ChangeList(
        before.messengers, after.messengers, "IMPP",
        [this](const TypedValue& messenger) { return Find({"IMPP"}, messenger.value); },
        [](const TypedValue& messenger) {
            ContactDetails d;
            d.messengers = {messenger};
            return d;
        });

    // Further phones are written as the record's phones are, so a 4.0 card keeps valid tel: URIs.
    QList<TypedValue> gone;
    QList<TypedValue> come;
    for (const TypedValue& phone : before.phones) {
        if (!after.phones.contains(phone)) {
            gone.append(phone);
        }
    }
    for (const TypedValue& phone : after.phones) {
        if (!before.phones.contains(phone)) {
            come.append(phone);
        }
    }
    for (qsizetype i = 0; i < std::max(gone.size(), come.size()); ++i) {
        const QByteArray goneType = i < gone.size() ? gone[i].type.toUpper().toLatin1() : QByteArray();
        const QByteArray comeType = i < come.size() ? come[i].type.toUpper().toLatin1() : QByteArray();
        if (!goneType.isEmpty() && goneType == comeType) {
            ChangePhone(gone[i].value, come[i].value, goneType.constData());
            continue;
        }
        if (!goneType.isEmpty()) {
            ChangePhone(gone[i].value, QString(), goneType.constData());
        }
        if (!comeType.isEmpty()) {
            ChangePhone(QString(), come[i].value, comeType.constData());
        }
    }
}
