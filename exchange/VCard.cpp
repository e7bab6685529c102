// Reading and writing vCard 2.1, 3.0 and 4.0.
#include "exchange/VCard.h"

#include <QBuffer>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "exchange/Encoding.h"
#include "exchange/FilePieces.h"

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

// Joins the physical lines of the file into logical ones as pieces of it arrive: folded lines
// joined, quoted-printable soft breaks joined. CR LF, LF, a lone CR and the CR CR LF some phones
// write all end a line. A line is complete once the next one is known not to continue it.
class LineJoiner
{
public:
    // Adds the lines completed by piece to lines.
    void Feed(QByteArrayView piece, QByteArrayList& lines)
    {
        const char* const data = piece.data();
        const char* const end = data + piece.size();
        const char* start = data;
        while (start < end) {
            auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
            const char* stop = lf != nullptr ? lf : end;
            auto* cr = static_cast<const char*>(std::memchr(start, '\r', static_cast<size_t>(stop - start)));
            if (cr == nullptr) {
                Add(QByteArrayView(start, stop), lines);
                start = stop + 1;
            } else if (cr + 1 == stop || (cr + 2 == stop && cr[1] == '\r')) {
                Add(QByteArrayView(start, cr), lines); // CR LF or CR CR LF: one line end
                start = stop + 1;
            } else {
                Add(QByteArrayView(start, cr), lines); // a CR by itself ends a line too
                start = cr + 1;
            }
        }
    }
    // At the end of the file: the last line is complete too.
    void Finish(QByteArrayList& lines)
    {
        if (m_pending) {
            lines.append(std::move(m_line));
            m_pending = false;
        }
    }

private:
    void Add(QByteArrayView physical, QByteArrayList& lines)
    {
        if (m_pending && (physical.startsWith(' ') || physical.startsWith('\t'))) {
            m_line.append(physical.sliced(1));
        } else if (m_pending && m_line.endsWith('=') && IsQuotedPrintable(m_line)) {
            m_line.chop(1);
            m_line.append(physical);
        } else {
            if (m_pending) {
                lines.append(std::move(m_line));
            }
            m_line = physical.toByteArray();
            m_pending = true;
        }
    }

    QByteArray m_line; // the last line, which the next may still continue
    bool m_pending = false;
};

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

// The cards of a file, line by line: each card's properties go to a CardReader, and a card
// written as another's AGENT value is skipped with it.
class CardsReader
{
public:
    CardsReader(ContactFile& file, FileEncodings& encodings) : m_file(file), m_encodings(encodings) {}

    void Line(const QByteArray& line)
    {
        if (line.trimmed().isEmpty()) {
            return;
        }
        const std::optional<Property> property = ParseLine(line);
        if (!property) {
            if (m_card && m_nested == 0) {
                ++m_file.dropped[QStringLiteral("unreadable line")];
            }
            return;
        }
        const QByteArray value = property->rawValue.trimmed().toUpper();
        if (property->name == "BEGIN" && value == "VCARD") {
            if (m_card && (m_nested > 0 || m_card->AgentFollows())) {
                ++m_nested; // reported as the outer card's AGENT
                return;
            }
            if (m_card) {
                ++m_file.dropped[QStringLiteral("card without END")]; // a half card is not imported
            }
            m_card.emplace(m_encodings, m_file.dropped);
            m_sawCard = true;
        } else if (property->name == "END" && value.startsWith("VCARD")) { // some phones write "END:VCARD."
            if (m_nested > 0) {
                --m_nested;
            } else if (m_card) {
                m_file.cards.append(m_card->Finish());
                m_card.reset();
            }
        } else if (m_card && m_nested == 0) {
            m_card->Add(*property);
        }
    }

    void Finish()
    {
        if (m_card) {
            ++m_file.dropped[QStringLiteral("card without END")];
        }
        if (!m_sawCard) {
            m_file.error = QStringLiteral("no vCard");
        }
    }

private:
    ContactFile& m_file;
    FileEncodings& m_encodings;
    std::optional<CardReader> m_card;
    int m_nested = 0; // depth inside a card written as another's AGENT value
    bool m_sawCard = false;
};

// A value as a content line writes it: backslash, comma, semicolon and line breaks escaped, in
// UTF-8. Most values need no escape and go straight through.
void AppendEscaped(QByteArray& out, QStringView text)
{
    const auto special = [](QChar c) { return c == u'\\' || c == u',' || c == u';' || c == u'\n' || c == u'\r'; };
    if (std::none_of(text.begin(), text.end(), special)) {
        out.append(text.toUtf8());
        return;
    }
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QLatin1String("\\\\");
            break;
        case u',':
            escaped += QLatin1String("\\,");
            break;
        case u';':
            escaped += QLatin1String("\\;");
            break;
        case u'\n':
            escaped += QLatin1String("\\n");
            break;
        case u'\r':
            break;
        default:
            escaped += c;
        }
    }
    out.append(escaped.toUtf8());
}

// Writes one content line, name and escaped value, folded at 75 octets without splitting a UTF-8
// character. line is scratch space, kept by the caller so its memory is reused.
void AppendLine(QByteArray& out, QByteArray& line, QByteArrayView name, QStringView value, QByteArrayView suffix = {})
{
    line.resize(0);
    line.append(name);
    AppendEscaped(line, value);
    line.append(suffix);
    qsizetype start = 0;
    qsizetype limit = 75;
    while (line.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(QByteArrayView(line).sliced(start, cut - start)).append("\r\n ");
        start = cut;
        limit = 74; // the leading space of a continuation counts
    }
    out.append(QByteArrayView(line).sliced(start)).append("\r\n");
}

} // namespace

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

ContactFile ReadVCards(const QByteArray& original)
{
    QByteArray bytes = NarrowText(original);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadVCards(buffer, {}, std::max<qint64>(bytes.size(), 1));
}

ContactFile ReadVCards(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes)
{
    ContactFile file;
    FilePieces pieces(device, pieceBytes);
    LineJoiner joiner;
    // The encodings are judged on the first lines: all of them in a file of ordinary size, and in
    // a huge one enough to tell as well.
    QByteArrayList prefix;
    for (qint64 prefixBytes = 0; !pieces.AtEnd() && prefixBytes < EncodingPrefixBytes;) {
        QByteArray piece = pieces.Next();
        // Only a byte-order mark at the very start of the file is one.
        if (prefixBytes == 0 && piece.startsWith("\xEF\xBB\xBF")) {
            piece.remove(0, 3);
        }
        prefixBytes += std::max<qsizetype>(piece.size(), 1);
        joiner.Feed(piece, prefix);
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            ContactFile cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
    }
    if (pieces.AtEnd()) {
        joiner.Finish(prefix);
    }
    // The encoding is judged on the unfolded text: a fold may split a character in two.
    const QByteArray unfolded = prefix.join('\n');
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
    FileEncodings encodings(encodingName, encodingName != "UTF-8" ? encodingName : named, prefix);

    CardsReader reader(file, encodings);
    for (const QByteArray& line : std::as_const(prefix)) {
        reader.Line(line);
    }
    QByteArrayList lines;
    while (!pieces.AtEnd()) {
        lines.clear();
        joiner.Feed(pieces.Next(), lines);
        if (pieces.AtEnd()) {
            joiner.Finish(lines);
        }
        for (const QByteArray& line : std::as_const(lines)) {
            reader.Line(line);
        }
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            ContactFile cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
    }
    reader.Finish();
    return file;
}

QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version)
{
    const bool v4 = version == VCardVersion::V40;
    QByteArray out;
    out.reserve(cards.size() * 300);
    QByteArray line;
    auto typed = [&](const char* v4Name, const char* v3Name, const QString& value) {
        if (!value.isEmpty()) {
            AppendLine(out, line, v4 ? v4Name : v3Name, value);
        }
    };
    for (const ContactCard& c : cards) {
        out.append("BEGIN:VCARD\r\n");
        out.append(v4 ? "VERSION:4.0\r\n" : "VERSION:3.0\r\n");
        AppendLine(out, line, "FN:", c.name);
        if (!v4) {
            AppendLine(out, line, "N:", c.name, ";;;;"); // required in 3.0
        }
        typed("TEL;TYPE=home:", "TEL;TYPE=HOME:", c.homePhone);
        typed("TEL;TYPE=cell:", "TEL;TYPE=CELL:", c.mobilePhone);
        typed("TEL;TYPE=work:", "TEL;TYPE=WORK:", c.workPhone);
        // One EMAIL per address when the list splits cleanly; otherwise the list as it stands,
        // so reading the file back gives exactly the stored text.
        const QStringList addresses = c.emails.split(QStringLiteral("; "));
        const bool clean = addresses.join(QStringLiteral("; ")) == c.emails &&
                           std::none_of(addresses.begin(), addresses.end(),
                                        [](const QString& a) { return a.isEmpty() || TrimBlank(a) != a; });
        for (const QString& address : clean ? addresses : QStringList{c.emails}) {
            if (!address.isEmpty()) {
                AppendLine(out, line, "EMAIL:", address);
            }
        }
        typed("IMPP:qq:", "X-QQ:", c.qq);
        typed("IMPP:msn:", "X-MSN:", c.msn);
        typed("IMPP:icq:", "X-ICQ:", c.icq);
        if (!c.url.isEmpty()) {
            AppendLine(out, line, "URL:", c.url);
        }
        if (!c.category.isEmpty()) {
            AppendLine(out, line, "CATEGORIES:", c.category);
        }
        out.append("END:VCARD\r\n");
    }
    return out;
}
