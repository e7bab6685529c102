// Reading and writing contacts as CSV (RFC 4180), with the header layouts of the common
// address books.
#include "store/ContactFile.h"

#include <QHash>
#include <QRegularExpression>

namespace {

enum class Field {
    Unknown,
    Name,
    First,
    Middle,
    Last,
    Category,
    Type, // our own export's: one type, taken whole
    Home,
    Mobile,
    Work,
    Email,
    Qq,
    Msn,
    Icq,
    Url,
    PhoneType,  // Google: "Phone 1 - Type"
    PhoneValue, // Google: "Phone 1 - Value"
    Ignored,
};

// Header names compared without case, blanks, dashes, dots and underscores.
QString Normalised(const QString& header)
{
    QString n;
    for (const QChar c : header) {
        if (c.isLetterOrNumber()) {
            n += c.toLower();
        }
    }
    return n;
}

Field FieldOf(const QString& header)
{
    static const QHash<QString, Field> known = {
        {QStringLiteral("name"), Field::Name},
        {QStringLiteral("displayname"), Field::Name},
        {QStringLiteral("fullname"), Field::Name},
        {QStringLiteral("fn"), Field::Name},
        {QStringLiteral("firstname"), Field::First},
        {QStringLiteral("givenname"), Field::First},
        {QStringLiteral("middlename"), Field::Middle},
        {QStringLiteral("additionalname"), Field::Middle},
        {QStringLiteral("lastname"), Field::Last},
        {QStringLiteral("familyname"), Field::Last},
        {QStringLiteral("surname"), Field::Last},
        {QStringLiteral("type"), Field::Type},
        {QStringLiteral("category"), Field::Category},
        {QStringLiteral("categories"), Field::Category},
        {QStringLiteral("group"), Field::Category},
        {QStringLiteral("groupmembership"), Field::Category},
        {QStringLiteral("homephone"), Field::Home},
        {QStringLiteral("phonehome"), Field::Home},
        {QStringLiteral("hometelephone"), Field::Home},
        {QStringLiteral("mobilephone"), Field::Mobile},
        {QStringLiteral("mobilenumber"), Field::Mobile},
        {QStringLiteral("mobile"), Field::Mobile},
        {QStringLiteral("cellphone"), Field::Mobile},
        {QStringLiteral("cellularphone"), Field::Mobile},
        {QStringLiteral("businessphone"), Field::Work},
        {QStringLiteral("workphone"), Field::Work},
        {QStringLiteral("officephone"), Field::Work},
        {QStringLiteral("companyphone"), Field::Work},
        {QStringLiteral("email"), Field::Email},
        {QStringLiteral("emailaddress"), Field::Email},
        {QStringLiteral("primaryemail"), Field::Email},
        {QStringLiteral("secondaryemail"), Field::Email},
        {QStringLiteral("email2address"), Field::Email},
        {QStringLiteral("email3address"), Field::Email},
        {QStringLiteral("qq"), Field::Qq},
        {QStringLiteral("msn"), Field::Msn},
        {QStringLiteral("icq"), Field::Icq},
        {QStringLiteral("webpage"), Field::Url},
        {QStringLiteral("webpage1"), Field::Url},
        {QStringLiteral("personalwebpage"), Field::Url},
        {QStringLiteral("website"), Field::Url},
        {QStringLiteral("webaddress"), Field::Url},
        {QStringLiteral("url"), Field::Url},
    };
    const QString n = Normalised(header);
    const auto it = known.constFind(n);
    if (it != known.constEnd()) {
        return it.value();
    }
    // Google's numbered columns: "E-mail 1 - Value", "Phone 2 - Type", "Website 1 - Value", ...
    static const QRegularExpression numbered(QStringLiteral("^(email|phone|website)\\d+(value|type)$"));
    const QRegularExpressionMatch m = numbered.match(n);
    if (m.hasMatch()) {
        const QString kind = m.captured(1);
        const bool value = m.captured(2) == QLatin1String("value");
        if (kind == QLatin1String("phone")) {
            return value ? Field::PhoneValue : Field::PhoneType;
        }
        if (!value) {
            return Field::Ignored; // the type of an address or site adds nothing we keep
        }
        return kind == QLatin1String("email") ? Field::Email : Field::Url;
    }
    return Field::Unknown;
}

// Splits the text into records of fields. False when a quoted field never ends.
bool SplitRecords(const QString& text, QChar separator, QList<QStringList>& records)
{
    QStringList record;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            record.append(field);
            field.clear();
            fieldStarted = false;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            record.append(field);
            if (!(record.size() == 1 && record.first().isEmpty())) {
                records.append(record); // blank lines are skipped
            }
            record.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted) {
        return false;
    }
    if (fieldStarted || !record.isEmpty()) {
        record.append(field);
        records.append(record);
    }
    return true;
}

// The separator of the header line: the most frequent of comma, semicolon and tab.
QChar SeparatorOf(const QString& text)
{
    const QString header = text.left(text.indexOf(u'\n'));
    int best = 0;
    QChar separator = u',';
    for (const QChar candidate : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
        const int count = static_cast<int>(header.count(candidate));
        if (count > best) {
            best = count;
            separator = candidate;
        }
    }
    return separator;
}

QString Joined(const QStringList& parts, const QString& separator)
{
    QStringList kept;
    for (const QString& p : parts) {
        if (!TrimSpaces(p).isEmpty()) {
            kept.append(TrimSpaces(p));
        }
    }
    return kept.join(separator);
}

QString QuoteCsv(const QString& value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r') &&
        TrimSpaces(value) == value) {
        return value;
    }
    return QLatin1Char('"') + QString(value).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

} // namespace

ContactFile ReadCsv(const QByteArray& bytes)
{
    ContactFile file;
    const QString text = DecodeText(bytes, &file.encoding);
    QList<QStringList> records;
    if (!SplitRecords(text, SeparatorOf(text), records)) {
        file.error = QStringLiteral("unterminated quote");
        return file;
    }
    if (records.size() < 1) {
        file.error = QStringLiteral("empty");
        return file;
    }
    const QStringList headers = records.takeFirst();
    QList<Field> fields;
    bool knowsAName = false;
    for (const QString& h : headers) {
        fields.append(FieldOf(h));
        knowsAName =
            knowsAName || fields.last() == Field::Name || fields.last() == Field::First || fields.last() == Field::Last;
    }
    if (!knowsAName) {
        file.error = QStringLiteral("no name column");
        return file;
    }
    for (const QStringList& record : records) {
        ContactCard card;
        QString first;
        QString middle;
        QString last;
        QString phoneType;
        QStringList emails;
        QStringList untypedPhones;
        for (qsizetype i = 0; i < record.size(); ++i) {
            const QString value = TrimSpaces(record[i]);
            const Field field = fields.value(i, Field::Unknown);
            if (value.isEmpty() && field != Field::PhoneType) {
                continue;
            }
            auto keep = [&](QString& target, const char* lost) {
                if (target.isEmpty()) {
                    target = value;
                } else if (target != value) {
                    ++file.dropped[QLatin1String(lost)];
                }
            };
            switch (field) {
            case Field::Name:
                keep(card.name, "second name");
                break;
            case Field::First:
                first = value;
                break;
            case Field::Middle:
                middle = value;
                break;
            case Field::Last:
                last = value;
                break;
            case Field::Category: {
                // Several categories come separated by ";" (or Google's " ::: ").
                QStringList all;
                for (const QString& part : value.split(QRegularExpression(QStringLiteral(";|:::")))) {
                    const QString trimmed = TrimSpaces(part); // Google writes "* myContacts ::: Family"
                    if (!trimmed.isEmpty() && trimmed != QLatin1String("* myContacts")) {
                        all.append(trimmed);
                    }
                }
                for (qsizetype c = 0; c < all.size(); ++c) {
                    const QString category = all[c].remove(QRegularExpression(QStringLiteral("^\\* ")));
                    if (c == 0) {
                        card.category = category;
                    } else if (!category.isEmpty()) {
                        ++file.dropped[QStringLiteral("second category")];
                    }
                }
                break;
            }
            case Field::Type:
                card.category = value;
                break;
            case Field::Home:
                keep(card.homePhone, "second home phone");
                break;
            case Field::Mobile:
                keep(card.mobilePhone, "second mobile phone");
                break;
            case Field::Work:
                keep(card.workPhone, "second work phone");
                break;
            case Field::Email:
                emails.append(value);
                break;
            case Field::Qq:
                keep(card.qq, "second QQ");
                break;
            case Field::Msn:
                keep(card.msn, "second MSN");
                break;
            case Field::Icq:
                keep(card.icq, "second ICQ");
                break;
            case Field::Url:
                keep(card.url, "second web address");
                break;
            case Field::PhoneType:
                phoneType = value.toLower();
                break;
            case Field::PhoneValue:
                if (phoneType.contains(QLatin1String("fax"))) {
                    ++file.dropped[QStringLiteral("fax")];
                } else if (phoneType.contains(QLatin1String("pager"))) {
                    ++file.dropped[QStringLiteral("pager")];
                } else if (phoneType.contains(QLatin1String("mobile"))) {
                    keep(card.mobilePhone, "second mobile phone");
                } else if (phoneType.contains(QLatin1String("home"))) {
                    keep(card.homePhone, "second home phone");
                } else if (phoneType.contains(QLatin1String("work"))) {
                    keep(card.workPhone, "second work phone");
                } else {
                    untypedPhones.append(value);
                }
                break;
            case Field::Ignored:
                break;
            case Field::Unknown:
                ++file.dropped[TrimSpaces(headers.value(i))];
                break;
            }
        }
        if (record.size() > headers.size()) {
            ++file.dropped[QStringLiteral("extra column")];
        }
        for (const QString& number : untypedPhones) {
            QString* free = card.homePhone.isEmpty()     ? &card.homePhone
                            : card.mobilePhone.isEmpty() ? &card.mobilePhone
                            : card.workPhone.isEmpty()   ? &card.workPhone
                                                         : nullptr;
            if (free != nullptr) {
                *free = number;
            } else {
                ++file.dropped[QStringLiteral("other phone")];
            }
        }
        card.emails = Joined(emails, QStringLiteral("; "));
        if (card.name.isEmpty()) {
            static const QRegularExpression han(QStringLiteral("[\\x{3400}-\\x{9FFF}]"));
            card.name = last.contains(han) || first.contains(han) ? last + first
                                                                  : Joined({first, middle, last}, QStringLiteral(" "));
        }
        file.cards.append(card);
    }
    return file;
}

QByteArray WriteCsv(const QList<ContactCard>& cards)
{
    // UTF-8 with a byte-order mark, so spreadsheets open it in the right encoding.
    QString text = QStringLiteral("Name,Type,Home Phone,Mobile Phone,Business Phone,E-mail,QQ,MSN,ICQ,Web Page\r\n");
    for (const ContactCard& c : cards) {
        const QStringList fields = {c.name,   c.category, c.homePhone, c.mobilePhone, c.workPhone,
                                    c.emails, c.qq,       c.msn,       c.icq,         c.url};
        QStringList quoted;
        for (const QString& f : fields) {
            quoted.append(QuoteCsv(f));
        }
        text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}
