#include "sync/CardText.h"

#include "core/TextUtil.h"
#include "exchange/VCard.h"

namespace {

// The colon that ends a line's name and parameters (not one inside a quoted parameter), or -1.
qsizetype ValueColon(const QByteArray& line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return i;
        }
    }
    return -1;
}

QByteArray NameOf(const QByteArray& logical)
{
    const qsizetype colon = ValueColon(logical);
    QByteArray name = logical.left(colon < 0 ? 0 : colon);
    const qsizetype semicolon = name.indexOf(';');
    if (semicolon >= 0) {
        name.truncate(semicolon);
    }
    const qsizetype dot = name.lastIndexOf('.');
    return name.mid(dot + 1).trimmed().toUpper();
}

QString Escape(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c != u'\r') {
            out += c;
        }
    }
    return out;
}

QString Unescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            out += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

QByteArray Fold(const QString& line, const QByteArray& eol)
{
    const QByteArray utf8 = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    qsizetype limit = 75;
    while (utf8.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(utf8.mid(start, cut - start)).append(eol).append(' ');
        start = cut;
        limit = 74;
    }
    return out.append(utf8.mid(start)).append(eol);
}

// A line's value as text: quoted-printable undone, escapes undone, blanks trimmed; the "tel:" or
// messenger scheme is the caller's to strip.
QString ValueText(const QByteArray& logical)
{
    const qsizetype colon = ValueColon(logical);
    QByteArray value = logical.mid(colon + 1);
    if (logical.left(colon).toUpper().contains("QUOTED-PRINTABLE")) {
        value = DecodeQuotedPrintable(value);
    }
    return TrimBlank(Unescape(QString::fromUtf8(value)));
}

bool HasType(const QByteArray& logical, const char* type)
{
    const QByteArray params = logical.left(ValueColon(logical)).toUpper();
    return params.contains(QByteArray(type).toUpper());
}

const struct Messenger
{
    const char* x;      // the vCard 3.0 property
    const char* scheme; // the IMPP scheme
    QString ContactCard::*field;
} Messengers[] = {
    {"X-QQ", "qq", &ContactCard::qq}, {"X-MSN", "msn", &ContactCard::msn}, {"X-ICQ", "icq", &ContactCard::icq}};

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
    const ContactFile file = ReadVCards(bytes);
    if (!file.error.isEmpty() || file.cards.size() != 1 || file.dropped.contains(QStringLiteral("card without END"))) {
        if (error != nullptr) {
            *error = file.error.isEmpty() ? QStringLiteral("not one complete vCard") : file.error;
        }
        return std::nullopt;
    }
    CardText card;
    if (!bytes.contains("\r\n") && bytes.contains('\n')) {
        card.m_eol = "\n";
    }
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArray physical = bytes.mid(start, end - start);
        QByteArray content = physical;
        while (content.endsWith('\n') || content.endsWith('\r')) {
            content.chop(1);
        }
        const bool continuation = physical.startsWith(' ') || physical.startsWith('\t');
        const bool softBreak = !card.m_lines.isEmpty() && card.m_lines.last().logical.endsWith('=') &&
                               card.m_lines.last()
                                   .logical.left(ValueColon(card.m_lines.last().logical))
                                   .toUpper()
                                   .contains("QUOTED-PRINTABLE");
        if (!card.m_lines.isEmpty() && (continuation || softBreak)) {
            Line& last = card.m_lines.last();
            last.raw += physical;
            if (softBreak && !continuation) {
                last.logical.chop(1);
                last.logical += content;
            } else {
                last.logical += content.mid(1);
            }
        } else {
            card.m_lines.append({physical, content, {}});
        }
        start = end;
    }
    for (Line& line : card.m_lines) {
        line.name = NameOf(line.logical);
    }
    // The card must end with a line end, so lines added before END read as lines of their own.
    if (!card.m_lines.isEmpty() && !card.m_lines.last().raw.endsWith('\n')) {
        card.m_lines.last().raw += card.m_eol;
    }
    return card;
}

CardText CardText::New(const ContactCard& fields, const QString& uid)
{
    ContactCard plain = fields;
    plain.category.clear();
    QByteArray bytes = WriteVCards({plain}, VCardVersion::V30);
    bytes.insert(bytes.indexOf("END:VCARD"), Fold(QStringLiteral("UID:") + Escape(uid), "\r\n"));
    QString error;
    return *Parse(bytes, &error);
}

ContactCard CardText::Fields() const
{
    ContactCard card = ReadVCards(Bytes()).cards.value(0);
    card.category.clear();
    return card;
}

QString CardText::Uid() const
{
    for (const Line& line : m_lines) {
        if (line.name == "UID") {
            return ValueText(line.logical);
        }
    }
    return {};
}

QMap<QString, int> CardText::Unshown() const
{
    return ReadVCards(Bytes()).dropped;
}

QByteArray CardText::Bytes() const
{
    QByteArray out;
    for (const Line& line : m_lines) {
        out += line.raw;
    }
    return out;
}

bool CardText::IsV4() const
{
    for (const Line& line : m_lines) {
        if (line.name == "VERSION") {
            return ValueText(line.logical).startsWith(QLatin1String("4"));
        }
    }
    return false;
}

void CardText::Replace(qsizetype index, const QString& value)
{
    Line& line = m_lines[index];
    QByteArray prefix = line.logical.left(ValueColon(line.logical));
    // The new value is written as plain UTF-8, so an old line's encoding no longer applies.
    QByteArrayList params = prefix.split(';');
    params.removeIf([](const QByteArray& p) {
        const QByteArray upper = p.trimmed().toUpper();
        return upper == "QUOTED-PRINTABLE" || upper.startsWith("ENCODING=") || upper.startsWith("CHARSET=");
    });
    prefix = params.join(';');
    line.raw = Fold(QString::fromUtf8(prefix) + QLatin1Char(':') + value, m_eol);
    line.logical = line.raw;
    line.logical.chop(m_eol.size());
}

void CardText::Append(const QString& text)
{
    qsizetype end = m_lines.size();
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
        if (m_lines[i].name == "END") {
            end = i;
            break;
        }
    }
    Line line{Fold(text, m_eol), text.toUtf8(), {}};
    line.name = NameOf(line.logical);
    m_lines.insert(end, line);
}

qsizetype CardText::Find(const QList<QByteArray>& names, const QString& value, const char* preferredType) const
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (!names.contains(m_lines[i].name)) {
            continue;
        }
        QString text = ValueText(m_lines[i].logical);
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        const QString bare = colon > 0 && m_lines[i].name != "URL" ? TrimBlank(text.mid(colon + 1)) : text;
        if (text == value || bare == value) {
            if (preferredType == nullptr || HasType(m_lines[i].logical, preferredType)) {
                return i;
            }
            if (found < 0) {
                found = i;
            }
        }
    }
    return found;
}

void CardText::ChangeValue(const QList<QByteArray>& names, const QString& before, const QString& after,
                           const QString& add, const char* preferredType)
{
    const qsizetype index = before.isEmpty() ? -1 : Find(names, before, preferredType);
    if (index >= 0 && after.isEmpty()) {
        Remove(index);
    } else if (index >= 0) {
        // Keep a scheme the server wrote ("tel:", "qq:") in front of the new value.
        const QString old = ValueText(m_lines[index].logical);
        const qsizetype colon = old.indexOf(QLatin1Char(':'));
        const bool scheme = colon > 0 && old.mid(colon + 1).trimmed() == before && m_lines[index].name != "URL";
        Replace(index, (scheme ? old.left(colon + 1) : QString()) + Escape(after));
    } else if (!after.isEmpty()) {
        Append(add + Escape(after));
    }
}

void CardText::Change(const ContactCard& before, const ContactCard& after)
{
    const bool v4 = IsV4();
    if (before.name != after.name) {
        const qsizetype fn = Find({"FN"}, before.name);
        if (fn >= 0) {
            Replace(fn, Escape(after.name));
        } else {
            Append(QStringLiteral("FN:") + Escape(after.name));
        }
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].name == "N") {
                Replace(i, Escape(after.name) + QStringLiteral(";;;;"));
                break;
            }
        }
    }
    const struct
    {
        QString ContactCard::*field;
        const char* type;
    } phones[] = {
        {&ContactCard::homePhone, "HOME"}, {&ContactCard::mobilePhone, "CELL"}, {&ContactCard::workPhone, "WORK"}};
    for (const auto& phone : phones) {
        const QString type = v4 ? QString::fromLatin1(phone.type).toLower() : QString::fromLatin1(phone.type);
        ChangeValue({"TEL"}, before.*phone.field, after.*phone.field, QStringLiteral("TEL;TYPE=%1:").arg(type),
                    phone.type);
    }
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
                Append(QStringLiteral("EMAIL:") + Escape(address));
            }
        }
    }
    for (const Messenger& m : Messengers) {
        const QString add = v4 ? QStringLiteral("IMPP:%1:").arg(QLatin1String(m.scheme))
                               : QStringLiteral("%1:").arg(QLatin1String(m.x));
        ChangeValue({m.x, "IMPP"}, before.*m.field, after.*m.field, add);
    }
    ChangeValue({"URL"}, before.url, after.url, QStringLiteral("URL:"));
}
