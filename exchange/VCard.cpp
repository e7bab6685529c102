// Reading and writing vCard 2.1, 3.0 and 4.0.
#include "exchange/VCard.h"

#include <QRegularExpression>

#include <cstring>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "exchange/Encoding.h"

namespace {

// One content line: [group.]NAME;PARAM=VALUE;...:value
struct Property
{
    QByteArray name;                         // upper case, without the group
    QMap<QByteArray, QByteArrayList> params; // upper-case names; 2.1's bare values under "TYPE"
    QByteArray rawValue;
};

bool HasType(const Property& p, const char* type)
{
    for (const QByteArray& t : p.params.value("TYPE")) {
        if (t.compare(type, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

int Preference(const Property& p)
{
    if (p.params.contains("PREF")) {
        bool ok = false;
        const int pref = p.params.value("PREF").value(0).toInt(&ok);
        return ok ? pref : 1;
    }
    return HasType(p, "PREF") ? 1 : 101;
}

// Splits at `separator` outside double quotes.
QByteArrayList SplitOutsideQuotes(const QByteArray& text, char separator)
{
    QByteArrayList parts;
    QByteArray current;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == separator && !quoted) {
            parts.append(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    parts.append(current);
    return parts;
}

std::optional<Property> ParseLine(const QByteArray& line)
{
    // The value starts after the first colon that is not inside a quoted parameter value.
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) {
        return std::nullopt;
    }
    Property property;
    const QByteArrayList parts = SplitOutsideQuotes(line.left(colon), ';');
    QByteArray name = parts.first().trimmed().toUpper();
    const qsizetype dot = name.lastIndexOf('.');
    property.name = dot >= 0 ? name.mid(dot + 1) : name;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray param = parts[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        QByteArray key = eq >= 0 ? param.left(eq).trimmed().toUpper() : QByteArray("TYPE");
        QByteArray value = eq >= 0 ? param.mid(eq + 1) : param;
        if (eq < 0 && (value.compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0 ||
                       value.compare("BASE64", Qt::CaseInsensitive) == 0)) {
            key = "ENCODING"; // 2.1 allows the encoding as a bare value
        }
        value = value.trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) {
            value = value.mid(1, value.size() - 2); // TYPE="work,voice" lists two types
        }
        for (const QByteArray& v : value.split(',')) {
            property.params[key].append(v.trimmed());
        }
    }
    property.rawValue = line.mid(colon + 1);
    return property;
}

bool IsQuotedPrintable(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

QByteArray DecodeQuotedPrintable(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            bool ok = false;
            const int value = text.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(value));
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

// The logical lines of the file: folded lines joined, quoted-printable soft breaks joined. CR LF,
// LF, a lone CR and the CR CR LF some phones write all end a line.
QByteArrayList LogicalLines(const QByteArray& bytes)
{
    QByteArrayList lines;
    auto add = [&lines](QByteArrayView physical) {
        if (!lines.isEmpty() && (physical.startsWith(' ') || physical.startsWith('\t'))) {
            lines.last().append(physical.sliced(1));
        } else if (!lines.isEmpty() && lines.last().endsWith('=') && IsQuotedPrintable(lines.last())) {
            lines.last().chop(1);
            lines.last().append(physical);
        } else {
            lines.append(physical.toByteArray());
        }
    };
    const char* const data = bytes.constData();
    const char* const end = data + bytes.size();
    const char* start = data;
    while (start < end) {
        auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
        const char* stop = lf != nullptr ? lf : end;
        auto* cr = static_cast<const char*>(std::memchr(start, '\r', static_cast<size_t>(stop - start)));
        if (cr == nullptr) {
            add(QByteArrayView(start, stop));
            start = stop + 1;
        } else if (cr + 1 == stop || (cr + 2 == stop && cr[1] == '\r')) {
            add(QByteArrayView(start, cr)); // CR LF or CR CR LF: one line end
            start = stop + 1;
        } else {
            add(QByteArrayView(start, cr)); // a CR by itself ends a line too
            start = cr + 1;
        }
    }
    return lines;
}

QString Unescape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            out.append(next == u'n' || next == u'N' ? QChar(u'\n') : next);
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

// Splits a structured value at separators that are not escaped.
QStringList SplitEscaped(const QString& text, QChar separator)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            current.append(text[i]).append(text[i + 1]);
            ++i;
        } else if (text[i] == separator) {
            parts.append(Unescape(current));
            current.clear();
        } else {
            current.append(text[i]);
        }
    }
    parts.append(Unescape(current));
    return parts;
}

// What values without a CHARSET are read in: the file's own encoding, and for quoted-printable
// bytes that are not UTF-8 in a UTF-8 file, the legacy code page the file names or, judged once
// when first needed, the one such bytes of the whole file suggest.
class FileEncodings
{
public:
    FileEncodings(const QByteArray& text, const QByteArray& legacy, const QByteArrayList& lines)
        : m_text(text), m_legacy(legacy), m_lines(lines)
    {
    }
    const CodePage& Text() const { return m_text; }
    QByteArray Legacy()
    {
        if (m_legacy.isEmpty()) {
            QByteArray eightBit;
            for (const QByteArray& line : m_lines) {
                if (IsQuotedPrintable(line) && !line.left(line.indexOf(':')).toUpper().contains("CHARSET")) {
                    const QByteArray value = DecodeQuotedPrintable(line.mid(line.indexOf(':') + 1));
                    if (!value.isValidUtf8()) {
                        eightBit += value + '\n';
                    }
                }
            }
            m_legacy = eightBit.isEmpty() ? QByteArray("CP1252") : LegacyEncoding(eightBit);
        }
        return m_legacy;
    }

private:
    CodePage m_text;
    QByteArray m_legacy;
    const QByteArrayList& m_lines;
};

bool IsWide(const QByteArray& name)
{
    return name.startsWith("UTF-16");
}

class CardReader
{
public:
    CardReader(FileEncodings& encodings, QMap<QString, int>& dropped) : m_encodings(encodings), m_dropped(dropped) {}

    void Add(const Property& p) { m_properties.append(p); }
    // An AGENT written as a whole card of its own follows an AGENT line without a value.
    bool AgentFollows() const
    {
        return !m_properties.isEmpty() && m_properties.last().name == "AGENT" &&
               m_properties.last().rawValue.trimmed().isEmpty();
    }

    ContactCard Finish()
    {
        // The charset another value of the card names is the likeliest for one that names none.
        for (const Property& p : m_properties) {
            const auto charset = p.params.constFind("CHARSET");
            const std::optional<QByteArray> known =
                charset != p.params.constEnd() ? CodePage::Known(charset->value(0)) : std::nullopt;
            if (known && *known != "UTF-8" && !IsWide(*known)) {
                m_nearby = *known;
                break;
            }
        }
        ContactCard card;
        QString fn;
        QString n;
        QList<std::pair<int, Property>> phones;
        for (const Property& p : m_properties) {
            const QByteArray& name = p.name;
            if (name == "FN") {
                Keep(fn, Text(p), "second name");
            } else if (name == "N") {
                if (n.isEmpty()) {
                    n = NameFromParts(SplitEscaped(Decoded(p), u';'));
                }
            } else if (name == "TEL") {
                phones.append({Preference(p), p});
            } else if (name == "EMAIL") {
                const QString address = TrimBlank(Text(p));
                if (!address.isEmpty()) {
                    card.emails += (card.emails.isEmpty() ? QString() : QStringLiteral("; ")) + address;
                }
            } else if (name == "URL") {
                Keep(card.url, Text(p), "second web address");
            } else if (name == "CATEGORIES") {
                const QStringList categories = SplitEscaped(Decoded(p), u',');
                for (qsizetype i = 0; i < categories.size(); ++i) {
                    if (i == 0) {
                        Keep(card.category, categories[i], "second category");
                    } else if (!TrimBlank(categories[i]).isEmpty()) {
                        ++m_dropped[QStringLiteral("second category")];
                    }
                }
            } else if (name == "IMPP") {
                Messenger(card, p);
            } else if (name == "X-QQ") {
                Keep(card.qq, Text(p), "second QQ");
            } else if (name == "X-MSN") {
                Keep(card.msn, Text(p), "second MSN");
            } else if (name == "X-ICQ") {
                Keep(card.icq, Text(p), "second ICQ");
            } else if (name != "BEGIN" && name != "END" && name != "VERSION" && name != "PRODID" && name != "REV" &&
                       name != "UID" && name != "CLIENTPIDMAP") {
                ++m_dropped[QString::fromLatin1(name)];
            }
        }
        card.name = TrimBlank(fn.isEmpty() ? n : fn);
        AssignPhones(card, phones);
        return card;
    }

private:
    // A value's text: quoted-printable and charset undone, escapes kept for structured values.
    // A value no encoding reads without invalid bytes is not kept, and named in the report.
    QString Decoded(const Property& p)
    {
        QByteArray bytes = p.rawValue;
        const bool quotedPrintable = p.params.value("ENCODING").value(0).toUpper() == "QUOTED-PRINTABLE";
        if (quotedPrintable) {
            bytes = DecodeQuotedPrintable(bytes);
        }
        const CodePage* codePage = &m_encodings.Text();
        std::optional<CodePage> own;
        const QByteArray charset = p.params.value("CHARSET").value(0);
        if (!charset.isEmpty()) {
            const std::optional<QByteArray> known = CodePage::Known(charset);
            if (!known) {
                ++m_dropped[QStringLiteral("unknown character set")]; // read in the file's own
            } else if (!IsWide(*known)) {
                // A wide charset names the file's encoding, which the reader has already undone.
                own.emplace(*known);
                codePage = &*own;
            }
        } else if (quotedPrintable && codePage->IsUtf8() && !bytes.isValidUtf8()) {
            own.emplace(!m_nearby.isEmpty() ? m_nearby : m_encodings.Legacy());
            codePage = &*own;
        }
        qsizetype invalid = 0;
        QString text = codePage->ToUnicode(bytes, &invalid);
        if (invalid > 0) {
            ++m_dropped[QStringLiteral("%1 (unreadable text)").arg(QString::fromLatin1(p.name))];
            return {};
        }
        return text;
    }

    QString Text(const Property& p) { return Unescape(Decoded(p)); }

    // The first value of a kind is kept; another, different one is counted as lost.
    void Keep(QString& field, const QString& value, const char* lostLabel)
    {
        const QString v = TrimBlank(value);
        if (v.isEmpty()) {
            return;
        }
        if (field.isEmpty()) {
            field = v;
        } else if (field != v) {
            ++m_dropped[QLatin1String(lostLabel)];
        }
    }

    static QString NameFromParts(const QStringList& parts)
    {
        // Family; Given; Additional; Prefix; Suffix
        const QString family = TrimBlank(parts.value(0));
        const QString given = TrimBlank(parts.value(1));
        static const QRegularExpression han(QStringLiteral("[\\x{3400}-\\x{9FFF}]"));
        if (family.contains(han) || given.contains(han)) {
            return family + given; // Chinese names: family name first, no space
        }
        QStringList words;
        for (const QString& w : {parts.value(3), given, parts.value(2), family, parts.value(4)}) {
            if (!TrimBlank(w).isEmpty()) {
                words.append(TrimBlank(w));
            }
        }
        return words.join(QLatin1Char(' '));
    }

    // The service a client names outright (X-SERVICE-TYPE=QQ) decides before the address's scheme,
    // which some write as their own ("x-apple:12345").
    void Messenger(ContactCard& card, const Property& p)
    {
        const QString v = TrimBlank(Text(p));
        const qsizetype colon = v.indexOf(u':');
        const QString scheme = colon > 0 ? v.left(colon).toLower() : QString();
        const QString id = colon > 0 ? v.mid(colon + 1) : v;
        const QString service = QString::fromLatin1(p.params.value("X-SERVICE-TYPE").value(0)).toLower();
        const QString kind = service.isEmpty() ? scheme : service;
        if (kind == QLatin1String("qq")) {
            Keep(card.qq, id, "second QQ");
        } else if (kind == QLatin1String("msn") || kind == QLatin1String("msnim")) {
            Keep(card.msn, id, "second MSN");
        } else if (kind == QLatin1String("icq")) {
            Keep(card.icq, id, "second ICQ");
        } else {
            ++m_dropped[QStringLiteral("IMPP (%1)").arg(kind.isEmpty() ? QStringLiteral("?") : kind)];
        }
    }

    void AssignPhones(ContactCard& card, QList<std::pair<int, Property>>& phones)
    {
        // The preferred phone of a kind first, otherwise the file's order.
        std::stable_sort(phones.begin(), phones.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<QString> untyped;
        for (const auto& [pref, p] : phones) {
            QString number = TrimBlank(Text(p));
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
                number = number.mid(4); // vCard 4.0 gives phones as tel: addresses
            }
            if (number.isEmpty()) {
                continue;
            }
            const bool mobile = HasType(p, "CELL") || HasType(p, "MOBILE");
            if (mobile) {
                // A mobile that is also a home or work phone takes that field when the mobile's is taken.
                QString* other = HasType(p, "HOME") ? &card.homePhone : HasType(p, "WORK") ? &card.workPhone : nullptr;
                if (!card.mobilePhone.isEmpty() && card.mobilePhone != number && other != nullptr &&
                    (other->isEmpty() || *other == number)) {
                    *other = number;
                } else {
                    Keep(card.mobilePhone, number, "second mobile phone");
                }
            } else if (HasType(p, "FAX")) {
                ++m_dropped[QStringLiteral("fax")];
            } else if (HasType(p, "PAGER")) {
                ++m_dropped[QStringLiteral("pager")];
            } else if (HasType(p, "HOME")) {
                Keep(card.homePhone, number, "second home phone");
            } else if (HasType(p, "WORK")) {
                Keep(card.workPhone, number, "second work phone");
            } else {
                untyped.append(number);
            }
        }
        // A phone of no kind goes to the first free of the three.
        for (const QString& number : untyped) {
            QString* free = card.homePhone.isEmpty()     ? &card.homePhone
                            : card.mobilePhone.isEmpty() ? &card.mobilePhone
                            : card.workPhone.isEmpty()   ? &card.workPhone
                                                         : nullptr;
            if (free != nullptr) {
                *free = number;
            } else if (number != card.homePhone && number != card.mobilePhone && number != card.workPhone) {
                ++m_dropped[QStringLiteral("other phone")];
            }
        }
    }

    FileEncodings& m_encodings;
    QMap<QString, int>& m_dropped;
    QList<Property> m_properties;
    QByteArray m_nearby;
};

QString Escape(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u',':
            out += QLatin1String("\\,");
            break;
        case u';':
            out += QLatin1String("\\;");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Folds a content line at 75 octets without splitting a UTF-8 character.
void AppendFolded(QByteArray& out, const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    qsizetype start = 0;
    qsizetype limit = 75;
    while (utf8.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(utf8.mid(start, cut - start)).append("\r\n ");
        start = cut;
        limit = 74; // the leading space of a continuation counts
    }
    out.append(utf8.mid(start)).append("\r\n");
}

} // namespace

ContactFile ReadVCards(const QByteArray& original)
{
    ContactFile file;
    const QByteArray bytes = NarrowText(original);
    // Only a byte-order mark at the very start of the file is one.
    const QByteArrayList lines = LogicalLines(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    // The encoding is judged on the unfolded text: a fold may split a character in two.
    const QByteArray unfolded = lines.join('\n');
    QByteArray encodingName = TextEncoding(unfolded);
    // A file that names a charset for some values most likely uses it for the others too.
    static const QRegularExpression declared(QStringLiteral(";CHARSET=([A-Za-z0-9_.-]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QByteArray named;
    if (unfolded.contains('=')) {
        for (const QRegularExpressionMatch& m : declared.globalMatch(QString::fromLatin1(unfolded.left(64 * 1024)))) {
            const std::optional<QByteArray> known = CodePage::Known(m.captured(1).toLatin1());
            if (known && *known != "UTF-8" && !IsWide(*known)) {
                named = *known;
                break;
            }
        }
    }
    if (encodingName != "UTF-8" && !named.isEmpty()) {
        encodingName = named;
    }
    file.encoding = encodingName;
    FileEncodings encodings(encodingName, encodingName != "UTF-8" ? encodingName : named, lines);

    std::optional<CardReader> card;
    int nested = 0; // depth inside a card written as another's AGENT value
    bool sawCard = false;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const std::optional<Property> property = ParseLine(line);
        if (!property) {
            if (card && nested == 0) {
                ++file.dropped[QStringLiteral("unreadable line")];
            }
            continue;
        }
        const QByteArray value = property->rawValue.trimmed().toUpper();
        if (property->name == "BEGIN" && value == "VCARD") {
            if (card && (nested > 0 || card->AgentFollows())) {
                ++nested; // reported as the outer card's AGENT
                continue;
            }
            if (card) {
                ++file.dropped[QStringLiteral("card without END")]; // a half card is not imported
            }
            card.emplace(encodings, file.dropped);
            sawCard = true;
        } else if (property->name == "END" && value.startsWith("VCARD")) { // some phones write "END:VCARD."
            if (nested > 0) {
                --nested;
            } else if (card) {
                file.cards.append(card->Finish());
                card.reset();
            }
        } else if (card && nested == 0) {
            card->Add(*property);
        }
    }
    if (card) {
        ++file.dropped[QStringLiteral("card without END")];
    }
    if (!sawCard) {
        file.error = QStringLiteral("no vCard");
    }
    return file;
}

QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version)
{
    const bool v4 = version == VCardVersion::V40;
    QByteArray out;
    out.reserve(cards.size() * 300);
    auto line = [&out](const QString& text) { AppendFolded(out, text); };
    auto typed = [&](const char* property, const char* type4, const char* type3, const QString& value) {
        if (!value.isEmpty()) {
            line(QStringLiteral("%1;TYPE=%2:%3")
                     .arg(QLatin1String(property), QLatin1String(v4 ? type4 : type3), Escape(value)));
        }
    };
    for (const ContactCard& c : cards) {
        out.append("BEGIN:VCARD\r\n");
        out.append(v4 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n");
        line(QStringLiteral("FN:") + Escape(c.name));
        if (!v4) {
            line(QStringLiteral("N:") + Escape(c.name) + QStringLiteral(";;;;")); // required in 3.0
        }
        typed("TEL", "home", "HOME", c.homePhone);
        typed("TEL", "cell", "CELL", c.mobilePhone);
        typed("TEL", "work", "WORK", c.workPhone);
        // One EMAIL per address when the list splits cleanly; otherwise the list as it stands,
        // so reading the file back gives exactly the stored text.
        const QStringList addresses = c.emails.split(QStringLiteral("; "));
        const bool clean = addresses.join(QStringLiteral("; ")) == c.emails &&
                           std::none_of(addresses.begin(), addresses.end(),
                                        [](const QString& a) { return a.isEmpty() || TrimBlank(a) != a; });
        for (const QString& address : clean ? addresses : QStringList{c.emails}) {
            if (!address.isEmpty()) {
                line(QStringLiteral("EMAIL:") + Escape(address));
            }
        }
        for (const auto& [scheme, value, x] :
             {std::tuple{"qq", c.qq, "X-QQ"}, std::tuple{"msn", c.msn, "X-MSN"}, std::tuple{"icq", c.icq, "X-ICQ"}}) {
            if (!value.isEmpty()) {
                line(v4 ? QStringLiteral("IMPP:%1:%2").arg(QLatin1String(scheme), Escape(value))
                        : QStringLiteral("%1:%2").arg(QLatin1String(x), Escape(value)));
            }
        }
        if (!c.url.isEmpty()) {
            line(QStringLiteral("URL:") + Escape(c.url));
        }
        if (!c.category.isEmpty()) {
            line(QStringLiteral("CATEGORIES:") + Escape(c.category));
        }
        out.append("END:VCARD\r\n");
    }
    return out;
}
