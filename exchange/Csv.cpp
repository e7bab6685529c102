// Reading and writing contacts as CSV (RFC 4180), with the header layouts of the common
// address books.
#include "exchange/Csv.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

#include "core/TextUtil.h"
#include "exchange/Encoding.h"

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
    ExtraPhone, // "Primary Phone", "Car Phone", ...: the first free phone field
    HomeMobile, // the mobile field, else the first free one
    PhoneType,  // Google: "Phone 1 - Type"
    PhoneValue, // Google: "Phone 1 - Value"
    ImService,  // Google: "IM 1 - Service"
    ImValue,    // Google: "IM 1 - Value"
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
        {QStringLiteral("homemobile"), Field::HomeMobile},
        {QStringLiteral("primaryphone"), Field::ExtraPhone},
        {QStringLiteral("otherphone"), Field::ExtraPhone},
        {QStringLiteral("carphone"), Field::ExtraPhone},
        {QStringLiteral("homephone2"), Field::ExtraPhone},
        {QStringLiteral("businessphone2"), Field::ExtraPhone},
        {QStringLiteral("mobilephone2"), Field::ExtraPhone},
    };
    const QString n = Normalised(header);
    const auto it = known.constFind(n);
    if (it != known.constEnd()) {
        return it.value();
    }
    // Google's numbered columns: "E-mail 1 - Value", "Phone 2 - Type", "Website 1 - Value", ...
    static const QRegularExpression numbered(QStringLiteral("^(email|phone|website|im)\\d+(value|type|service)$"));
    const QRegularExpressionMatch m = numbered.match(n);
    if (m.hasMatch()) {
        const QString kind = m.captured(1);
        const QString part = m.captured(2);
        if (kind == QLatin1String("phone")) {
            return part == QLatin1String("value") ? Field::PhoneValue : Field::PhoneType;
        }
        if (kind == QLatin1String("im")) {
            return part == QLatin1String("value") ? Field::ImValue : Field::ImService;
        }
        if (part != QLatin1String("value")) {
            return Field::Ignored; // the type of an address or site adds nothing we keep
        }
        return kind == QLatin1String("email") ? Field::Email : Field::Url;
    }
    // "Email Home", "Work E-mail", "E-mail 2", "Home Email Address": every one joins the list.
    static const QRegularExpression email(
        QStringLiteral("^(home|work|other|business|personal|primary|secondary|alternate)?e?mail\\d*(address)?\\d*"
                       "(home|work|other|business|personal)?$"));
    if (email.match(n).hasMatch()) {
        return Field::Email;
    }
    // "Web Page 2", "Website Home", "Business Web Page": the first usable one is the web address.
    if (n.startsWith(QLatin1String("website")) || n.startsWith(QLatin1String("webpage")) ||
        n.endsWith(QLatin1String("webpage"))) {
        return Field::Url;
    }
    // "IM Icq", "IM MSN", "QQ Number", "ICQ UIN".
    static const QRegularExpression messenger(QStringLiteral("^(im)?(qq|icq|msn)(number|id|uin|address|messenger)?$"));
    const QRegularExpressionMatch im = messenger.match(n);
    if (im.hasMatch()) {
        const QString service = im.captured(2);
        return service == QLatin1String("qq") ? Field::Qq : service == QLatin1String("icq") ? Field::Icq : Field::Msn;
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
            } else if (c == u'\r') {
                // A line break inside a value is kept as LF alone, whichever line ends the file uses.
                field += u'\n';
                while (i + 1 < text.size() && (text[i + 1] == u'\n' || text[i + 1] == u'\r')) {
                    if (text[++i] == u'\n') {
                        break;
                    }
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
        if (!TrimBlank(p).isEmpty()) {
            kept.append(TrimBlank(p));
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
    qsizetype unreadable = 0;
    const QString text = DecodeText(bytes, &file.encoding, &unreadable);
    if (unreadable > 0) {
        file.dropped[QStringLiteral("unreadable character")] = static_cast<int>(unreadable);
    }
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
    bool ownLayout = false;
    for (const QString& h : headers) {
        fields.append(FieldOf(h));
        knowsAName =
            knowsAName || fields.last() == Field::Name || fields.last() == Field::First || fields.last() == Field::Last;
        ownLayout = ownLayout || fields.last() == Field::Type;
    }
    // A list of addresses alone still names its people: by their addresses.
    const bool nameByEmail = !knowsAName && fields.contains(Field::Email);
    if (!knowsAName && !nameByEmail) {
        file.error = QStringLiteral("no name column");
        return file;
    }
    const QLatin1String multiValue(" ::: ");
    for (const QStringList& record : records) {
        ContactCard card;
        QString first;
        QString middle;
        QString last;
        QString phoneType;
        QString imService;
        QStringList emails;
        struct Extra
        {
            int rank;
            bool mobileFirst;
            QString number;
        };
        QList<Extra> extras; // phones for whichever phone field is free
        for (qsizetype i = 0; i < record.size(); ++i) {
            const Field field = fields.value(i, Field::Unknown);
            const QString cell = TrimBlank(record[i]);
            if (cell.isEmpty() && field != Field::PhoneType && field != Field::ImService) {
                continue;
            }
            // Google puts several values in one cell, separated by " ::: "; our own files never split.
            QStringList values;
            if (ownLayout || !cell.contains(multiValue)) {
                values.append(cell);
            } else {
                for (const QString& part : cell.split(multiValue)) {
                    if (!TrimBlank(part).isEmpty()) {
                        values.append(TrimBlank(part));
                    }
                }
            }
            for (qsizetype v = 0; v < values.size(); ++v) {
                const QString& value = values[v];
                auto keep = [&](QString& target, const char* lost) {
                    if (target.isEmpty()) {
                        target = value;
                    } else if (target != value) {
                        ++file.dropped[QLatin1String(lost)];
                    }
                };
                // A phone column's further values fill free phone fields.
                auto phone = [&](QString& target, const char* lost) {
                    if (v == 0) {
                        keep(target, lost);
                    } else {
                        extras.append({5, false, value});
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
                    // Several categories come separated by ";" (or Google's " ::: "); Google's own
                    // "* myContacts" group is no category, and its "* " marks a system group.
                    static const QRegularExpression separators(QStringLiteral(";|:::"));
                    static const QRegularExpression systemGroup(QStringLiteral("^\\*\\s*"));
                    QStringList all;
                    for (const QString& part : value.split(separators)) {
                        const QString trimmed = TrimBlank(part);
                        if (!trimmed.isEmpty() && Normalised(trimmed) != QLatin1String("mycontacts")) {
                            all.append(trimmed);
                        }
                    }
                    for (qsizetype c = 0; c < all.size(); ++c) {
                        const QString category = all[c].remove(systemGroup);
                        if (card.category.isEmpty()) {
                            card.category = category;
                        } else if (!category.isEmpty() && category != card.category) {
                            ++file.dropped[QStringLiteral("second category")];
                        }
                    }
                    break;
                }
                case Field::Type:
                    card.category = value;
                    break;
                case Field::Home:
                    phone(card.homePhone, "second home phone");
                    break;
                case Field::Mobile:
                    phone(card.mobilePhone, "second mobile phone");
                    break;
                case Field::Work:
                    phone(card.workPhone, "second work phone");
                    break;
                case Field::HomeMobile:
                    extras.append({0, true, value});
                    break;
                case Field::ExtraPhone: {
                    const QString n = Normalised(headers.value(i));
                    const int rank = n == QLatin1String("primaryphone") ? 1
                                     : n == QLatin1String("otherphone") ? 2
                                     : n == QLatin1String("carphone")   ? 3
                                                                        : 4;
                    extras.append({rank, false, value});
                    break;
                }
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
                        phone(card.mobilePhone, "second mobile phone");
                    } else if (phoneType.contains(QLatin1String("home"))) {
                        phone(card.homePhone, "second home phone");
                    } else if (phoneType.contains(QLatin1String("work"))) {
                        phone(card.workPhone, "second work phone");
                    } else {
                        extras.append({5, false, value});
                    }
                    break;
                case Field::ImService:
                    imService = Normalised(value);
                    break;
                case Field::ImValue:
                    if (imService == QLatin1String("qq")) {
                        keep(card.qq, "second QQ");
                    } else if (imService == QLatin1String("icq")) {
                        keep(card.icq, "second ICQ");
                    } else if (imService == QLatin1String("msn") || imService == QLatin1String("windowslive")) {
                        keep(card.msn, "second MSN");
                    } else {
                        ++file.dropped[QStringLiteral("IM (%1)").arg(imService.isEmpty() ? QStringLiteral("?")
                                                                                         : imService)];
                    }
                    break;
                case Field::Ignored:
                    break;
                case Field::Unknown:
                    ++file.dropped[TrimBlank(headers.value(i))];
                    break;
                }
            }
        }
        if (record.size() > headers.size()) {
            ++file.dropped[QStringLiteral("extra column")];
        }
        std::stable_sort(extras.begin(), extras.end(), [](const Extra& a, const Extra& b) { return a.rank < b.rank; });
        for (const Extra& extra : extras) {
            const QString& number = extra.number;
            if (number == card.homePhone || number == card.mobilePhone || number == card.workPhone) {
                continue; // already kept
            }
            QString* order[] = {&card.homePhone, &card.mobilePhone, &card.workPhone};
            if (extra.mobileFirst) {
                std::swap(order[0], order[1]);
            }
            QString** free = std::find_if(std::begin(order), std::end(order), [](QString* f) { return f->isEmpty(); });
            if (free != std::end(order)) {
                **free = number;
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
        if (nameByEmail && card.name.isEmpty()) {
            card.name = emails.value(0);
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
