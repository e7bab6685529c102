// Reading and writing vCard 2.1, 3.0 and 4.0.
#include "exchange/VCard.h"

#include <QBuffer>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "exchange/Encoding.h"
#include "exchange/FilePieces.h"

namespace {

// The property names the reader knows; every other is counted as left out.
enum class Name : quint8 {
    Begin,
    End,
    Agent,
    Fn,
    N,
    Tel,
    Email,
    Url,
    Categories,
    Impp,
    Qq,
    Msn,
    Icq,
    Org,
    Adr,
    Bday,
    Anniversary, // ANNIVERSARY, and X-ANNIVERSARY as 3.0 writers name it
    AbDate,      // a date with a label of its own in the item group (X-ABDATE)
    AbLabel,
    Nickname,
    Title,
    Role,
    Note,
    Photo,
    Ignored, // VERSION, PRODID, REV, UID, CLIENTPIDMAP: nothing to keep, nothing lost
    Other,
};

Name NameOf(QByteArrayView name)
{
    static const std::pair<QByteArrayView, Name> names[] = {
        {"BEGIN", Name::Begin},
        {"END", Name::End},
        {"AGENT", Name::Agent},
        {"FN", Name::Fn},
        {"N", Name::N},
        {"TEL", Name::Tel},
        {"EMAIL", Name::Email},
        {"URL", Name::Url},
        {"CATEGORIES", Name::Categories},
        {"IMPP", Name::Impp},
        {"X-QQ", Name::Qq},
        {"X-MSN", Name::Msn},
        {"X-ICQ", Name::Icq},
        {"ORG", Name::Org},
        {"ADR", Name::Adr},
        {"BDAY", Name::Bday},
        {"ANNIVERSARY", Name::Anniversary},
        {"X-ANNIVERSARY", Name::Anniversary},
        {"X-ABDATE", Name::AbDate},
        {"X-ABLABEL", Name::AbLabel},
        {"NICKNAME", Name::Nickname},
        {"TITLE", Name::Title},
        {"ROLE", Name::Role},
        {"NOTE", Name::Note},
        {"PHOTO", Name::Photo},
        {"VERSION", Name::Ignored},
        {"PRODID", Name::Ignored},
        {"REV", Name::Ignored},
        {"UID", Name::Ignored},
        {"CLIENTPIDMAP", Name::Ignored},
    };
    for (const auto& [text, kind] : names) {
        if (SameVCardWord(name, text)) {
            return kind;
        }
    }
    return Name::Other;
}

// The parameters the reader looks at; 2.1's bare values count as TYPE, or as ENCODING.
enum class Key : quint8 { Type, Pref, Charset, Encoding, ServiceType, OmitYear, Other };

Key KeyOf(QByteArrayView key)
{
    return SameVCardWord(key, "TYPE")                ? Key::Type
           : SameVCardWord(key, "PREF")              ? Key::Pref
           : SameVCardWord(key, "CHARSET")           ? Key::Charset
           : SameVCardWord(key, "ENCODING")          ? Key::Encoding
           : SameVCardWord(key, "X-SERVICE-TYPE")    ? Key::ServiceType
           : SameVCardWord(key, "X-APPLE-OMIT-YEAR") ? Key::OmitYear
                                                     : Key::Other;
}

// One property of a card, its parts as offsets into the card's text.
struct Span
{
    qsizetype start = 0;
    qsizetype size = 0;
};

struct Param
{
    Key key;
    Span value;
};

struct Property
{
    Name name;
    Span group;
    Span nameText;
    Span value;
    qsizetype firstParam = 0;
    qsizetype params = 0;
};

// The logical lines of the pieces read first, which are all of the file when it ended.
template <typename Sink> void ForEachLine(const QByteArrayList& pieces, bool wholeFile, Sink&& sink)
{
    VCardLineJoiner joiner;
    for (const QByteArray& piece : pieces) {
        joiner.Feed(piece, sink);
    }
    if (wholeFile) {
        joiner.Finish(sink);
    }
}

// What values without a CHARSET are read in: the file's own encoding, and for quoted-printable
// bytes that are not UTF-8 in a UTF-8 file, the legacy code page the file names or, judged once
// when first needed, the one such bytes of the file's first pieces suggest.
class FileEncodings
{
public:
    FileEncodings(const QByteArray& text, const QByteArray& legacy, const QByteArrayList& prefix, bool wholeFile)
        : m_text(text), m_legacy(legacy), m_prefix(prefix), m_wholeFile(wholeFile)
    {
    }
    const CodePage& Text() const { return m_text; }
    QByteArray Legacy()
    {
        if (m_legacy.isEmpty()) {
            QByteArray eightBit;
            ForEachLine(m_prefix, m_wholeFile, [&](QByteArrayView line) {
                const qsizetype colon = line.indexOf(':');
                if (IsQuotedPrintableLine(line) && !ContainsVCardWord(line.first(colon), "CHARSET")) {
                    const QByteArray value = DecodeQuotedPrintable(line.sliced(colon + 1).toByteArray());
                    if (!value.isValidUtf8()) {
                        eightBit += value + '\n';
                    }
                }
            });
            m_legacy = eightBit.isEmpty() ? QByteArray("CP1252") : LegacyEncoding(eightBit);
        }
        return m_legacy;
    }

private:
    CodePage m_text;
    QByteArray m_legacy;
    const QByteArrayList& m_prefix;
    bool m_wholeFile;
};

bool IsWide(const QByteArray& name)
{
    return name.startsWith("UTF-16");
}

// One card: its properties as they come, kept in one buffer reused for the next card, and read
// into a contact at its end.
class CardReader
{
public:
    CardReader(FileEncodings& encodings, QMap<QString, int>& dropped, CardParts parts)
        : m_encodings(encodings), m_dropped(dropped), m_parts(parts)
    {
    }

    void Start()
    {
        m_text.resize(0);
        m_properties.clear();
        m_params.clear();
        m_nearby.clear();
    }

    void Add(Name name, QByteArrayView line, const VCardHead& head)
    {
        const qsizetype base = m_text.size();
        m_text.append(line);
        const auto span = [&](QByteArrayView part) { return Span{base + (part.data() - line.data()), part.size()}; };
        Property property{name,
                          head.group.isEmpty() ? Span{} : span(head.group),
                          span(head.name),
                          span(head.value),
                          static_cast<qsizetype>(m_params.size()),
                          0};
        // Parameters: ;KEY=VALUE,VALUE or 2.1's bare ;VALUE, split at semicolons outside quotes;
        // TYPE="work,voice" lists two types.
        QByteArrayView rest = head.params;
        while (!rest.isEmpty()) {
            const qsizetype end = VCardParamEnd(rest);
            const QByteArrayView param = rest.sliced(1, end - 1).trimmed();
            rest = rest.sliced(end);
            const qsizetype eq = param.indexOf('=');
            Key key = eq >= 0 ? KeyOf(param.first(eq).trimmed()) : Key::Type;
            QByteArrayView value = eq >= 0 ? param.sliced(eq + 1) : param;
            if (eq < 0 && (SameVCardWord(value, "QUOTED-PRINTABLE") || SameVCardWord(value, "BASE64"))) {
                key = Key::Encoding; // 2.1 allows the encoding as a bare value
            }
            value = value.trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"')) {
                value = value.sliced(1, value.size() - 2);
            }
            for (;;) {
                const qsizetype comma = value.indexOf(',');
                m_params.push_back({key, span((comma >= 0 ? value.first(comma) : value).trimmed())});
                ++property.params;
                if (comma < 0) {
                    break;
                }
                value = value.sliced(comma + 1);
            }
        }
        m_properties.push_back(property);
    }

    // An AGENT written as a whole card of its own follows an AGENT line without a value.
    bool AgentFollows() const
    {
        return !m_properties.empty() && m_properties.back().name == Name::Agent &&
               View(m_properties.back().value).trimmed().isEmpty();
    }

    ContactCard Finish()
    {
        // The charset another value of the card names is the likeliest for one that names none.
        for (const Property& p : m_properties) {
            if (const std::optional<QByteArrayView> charset = First(p, Key::Charset)) {
                const std::optional<QByteArray> known = CodePage::Known(*charset);
                if (known && *known != "UTF-8" && !IsWide(*known)) {
                    m_nearby = *known;
                    break;
                }
            }
        }
        ContactCard card;
        ContactDetails& details = m_details;
        details = {};
        QString fn;
        QString n;
        QString org;
        QList<std::pair<int, const Property*>> phones;
        for (const Property& p : m_properties) {
            switch (p.name) {
            case Name::Fn:
                Keep(fn, Text(p), "second name");
                break;
            case Name::N:
                if (n.isEmpty()) {
                    n = NameFromParts(SplitVCardParts(Decoded(p), u';'));
                }
                break;
            case Name::Tel:
                phones.append({Preference(p), &p});
                break;
            case Name::Email: {
                const QString address = TrimBlank(Text(p));
                if (!address.isEmpty()) {
                    card.emails += (card.emails.isEmpty() ? QString() : QStringLiteral("; ")) + address;
                }
                break;
            }
            case Name::Url: {
                const QString url = TrimBlank(Text(p));
                if (card.url.isEmpty()) {
                    card.url = url;
                } else if (!url.isEmpty() && url != card.url) {
                    AddOnce(details.urls, {UrlType(p), url});
                }
                break;
            }
            case Name::Categories: {
                const QStringList categories = SplitVCardParts(Decoded(p), u',');
                for (qsizetype i = 0; i < categories.size(); ++i) {
                    if (i == 0) {
                        Keep(card.category, categories[i], "second category");
                    } else if (!TrimBlank(categories[i]).isEmpty()) {
                        ++m_dropped[QStringLiteral("second category")];
                    }
                }
                break;
            }
            case Name::Impp:
                Messenger(card, p);
                break;
            case Name::Qq:
                Keep(card.qq, Text(p), "second QQ");
                break;
            case Name::Msn:
                Keep(card.msn, Text(p), "second MSN");
                break;
            case Name::Icq:
                Keep(card.icq, Text(p), "second ICQ");
                break;
            case Name::Org: {
                const QStringList parts = SplitVCardParts(Decoded(p), u';');
                const QString unit = TrimBlank(parts.mid(1).join(QLatin1String(", ")));
                if (org.isEmpty() && details.department.isEmpty()) {
                    org = TrimBlank(parts.value(0));
                    details.department = unit;
                } else if (org != TrimBlank(parts.value(0)) || details.department != unit) {
                    ++m_dropped[QStringLiteral("ORG")];
                }
                break;
            }
            case Name::Adr:
                Address(details, p);
                break;
            case Name::Bday:
                Date(details.birthday, p, "BDAY");
                break;
            case Name::Anniversary:
                Date(details.anniversary, p, "ANNIVERSARY");
                break;
            case Name::AbDate:
                // Apple's address book writes an anniversary as a date labelled so in its group.
                if (AnniversaryGroup(p)) {
                    Date(details.anniversary, p, "ANNIVERSARY");
                } else {
                    ++m_dropped[QStringLiteral("X-ABDATE")];
                }
                break;
            case Name::AbLabel:
                if (!AnniversaryLabel(p)) {
                    ++m_dropped[QStringLiteral("X-ABLABEL")];
                }
                break;
            case Name::Nickname:
                for (const QString& nickname : SplitVCardParts(Decoded(p), u',')) {
                    const QString nick = TrimBlank(nickname);
                    if (!nick.isEmpty() && !details.nicknames.contains(nick)) {
                        details.nicknames.append(nick);
                    }
                }
                break;
            case Name::Title:
                Keep(details.title, Text(p), "TITLE");
                break;
            case Name::Role:
                Keep(details.role, Text(p), "ROLE");
                break;
            case Name::Note: {
                const QString note = TrimBlank(Text(p));
                if (!note.isEmpty()) {
                    details.note += (details.note.isEmpty() ? QString() : QStringLiteral("\n")) + note;
                }
                break;
            }
            case Name::Photo:
                Photo(details, p);
                break;
            case Name::Begin:
            case Name::End:
            case Name::Ignored:
                break;
            case Name::Agent:
            case Name::Other:
                ++m_dropped[QString::fromLatin1(View(p.nameText).toByteArray().toUpper())];
                break;
            }
        }
        card.name = TrimBlank(fn.isEmpty() ? n : fn);
        details.organisation = org;
        // A card of a company (as address books write them, with an empty FN) is named by it.
        if (card.name.isEmpty() && !org.isEmpty()) {
            card.name = org;
        }
        // A card of nothing but an address (as mail programs collect them) is named by it, as a
        // CSV list of addresses is.
        if (card.name.isEmpty() && !card.emails.isEmpty()) {
            card.name = card.emails.section(QStringLiteral("; "), 0, 0);
        }
        AssignPhones(card, phones);
        if (m_parts == CardParts::RecordFields) {
            CountDetails(card);
        } else if (!details.IsEmpty()) {
            card.SetDetails(std::move(details));
        }
        return card;
    }

private:
    QByteArrayView View(Span span) const { return QByteArrayView(m_text).sliced(span.start, span.size); }

    // The first value of a parameter, if the property has it.
    std::optional<QByteArrayView> First(const Property& p, Key key) const
    {
        for (qsizetype i = p.firstParam; i < p.firstParam + p.params; ++i) {
            if (m_params[static_cast<std::size_t>(i)].key == key) {
                return View(m_params[static_cast<std::size_t>(i)].value);
            }
        }
        return std::nullopt;
    }

    bool HasType(const Property& p, QByteArrayView type) const
    {
        for (qsizetype i = p.firstParam; i < p.firstParam + p.params; ++i) {
            const Param& param = m_params[static_cast<std::size_t>(i)];
            if (param.key == Key::Type && SameVCardWord(View(param.value), type)) {
                return true;
            }
        }
        return false;
    }

    int Preference(const Property& p) const
    {
        if (const std::optional<QByteArrayView> pref = First(p, Key::Pref)) {
            bool ok = false;
            const int value = pref->toInt(&ok);
            return ok ? value : 1;
        }
        return HasType(p, "PREF") ? 1 : 101;
    }

    // A value's text: quoted-printable and charset undone, escapes kept for structured values.
    // A value no encoding reads without invalid bytes is not kept, and named in the report.
    QString Decoded(const Property& p)
    {
        QByteArrayView bytes = View(p.value);
        QByteArray decoded;
        const bool quotedPrintable =
            SameVCardWord(First(p, Key::Encoding).value_or(QByteArrayView()), "QUOTED-PRINTABLE");
        if (quotedPrintable) {
            decoded = DecodeQuotedPrintable(bytes.toByteArray());
            bytes = decoded;
        }
        const CodePage* codePage = &m_encodings.Text();
        std::optional<CodePage> own;
        const QByteArrayView charset = First(p, Key::Charset).value_or(QByteArrayView());
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
            ++m_dropped[QStringLiteral("%1 (unreadable text)")
                            .arg(QString::fromLatin1(View(p.nameText).toByteArray().toUpper()))];
            return {};
        }
        return text;
    }

    QString Text(const Property& p) { return UnescapeVCardText(Decoded(p)); }

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
        const auto han = [](const QString& text) {
            return std::any_of(text.begin(), text.end(),
                               [](QChar c) { return c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF; });
        };
        if (han(family) || han(given)) {
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
        const QString service =
            QString::fromLatin1(First(p, Key::ServiceType).value_or(QByteArrayView()).toByteArray()).toLower();
        QString kind = service.isEmpty() ? scheme : service;
        // Some write the service as a TYPE of a bare id: IMPP;TYPE=QQ:12345.
        for (const char* const named : {"QQ", "MSN", "ICQ"}) {
            if (kind.isEmpty() && HasType(p, named)) {
                kind = QString::fromLatin1(named).toLower();
            }
        }
        if (kind == QLatin1String("qq")) {
            Keep(card.qq, id, "second QQ");
        } else if (kind == QLatin1String("msn") || kind == QLatin1String("msnim")) {
            Keep(card.msn, id, "second MSN");
        } else if (kind == QLatin1String("icq")) {
            Keep(card.icq, id, "second ICQ");
        } else {
            AddOnce(m_details.messengers, {kind, v});
        }
    }

    void AssignPhones(ContactCard& card, QList<std::pair<int, const Property*>>& phones)
    {
        // The preferred phone of a kind first, otherwise the file's order.
        std::stable_sort(phones.begin(), phones.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<QString> untyped;
        for (const auto& [pref, p] : phones) {
            QString number = TrimBlank(Text(*p));
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
                number = number.mid(4); // vCard 4.0 gives phones as tel: addresses
            }
            if (number.isEmpty()) {
                continue;
            }
            const bool mobile = HasType(*p, "CELL") || HasType(*p, "MOBILE");
            if (mobile) {
                // A mobile that is also a home or work phone takes that field when the mobile's is taken.
                QString* other = HasType(*p, "HOME")   ? &card.homePhone
                                 : HasType(*p, "WORK") ? &card.workPhone
                                                       : nullptr;
                if (!card.mobilePhone.isEmpty() && card.mobilePhone != number && other != nullptr &&
                    (other->isEmpty() || *other == number)) {
                    *other = number;
                } else {
                    KeepOrAdd(card.mobilePhone, number, "cell");
                }
            } else if (HasType(*p, "FAX")) {
                AddOnce(m_details.phones, {QStringLiteral("fax"), number});
            } else if (HasType(*p, "PAGER")) {
                AddOnce(m_details.phones, {QStringLiteral("pager"), number});
            } else if (HasType(*p, "HOME")) {
                KeepOrAdd(card.homePhone, number, "home");
            } else if (HasType(*p, "WORK")) {
                KeepOrAdd(card.workPhone, number, "work");
            } else if (HasType(*p, "OTHER")) {
                AddOnce(m_details.phones, {QStringLiteral("other"), number});
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
                AddOnce(m_details.phones, {QStringLiteral("other"), number});
            }
        }
    }

    // A further value of a kind the record holds one of goes with the details.
    void KeepOrAdd(QString& field, const QString& number, const char* type)
    {
        if (field.isEmpty()) {
            field = number;
        } else if (field != number) {
            AddOnce(m_details.phones, {QLatin1String(type), number});
        }
    }

    static void AddOnce(QList<TypedValue>& list, const TypedValue& value)
    {
        if (!value.value.isEmpty() && !list.contains(value)) {
            list.append(value);
        }
    }

    QString UrlType(const Property& p) const
    {
        return HasType(p, "HOME") ? QStringLiteral("home") : HasType(p, "WORK") ? QStringLiteral("work") : QString();
    }

    void Address(ContactDetails& details, const Property& p)
    {
        // PO box; extended address; street; locality; region; postal code; country
        const QStringList parts = SplitVCardParts(Decoded(p), u';');
        const auto part = [&](int i) { return TrimBlank(parts.value(i)); };
        const QString type = HasType(p, "HOME")   ? QStringLiteral("home")
                             : HasType(p, "WORK") ? QStringLiteral("work")
                                                  : QStringLiteral("other");
        const PostalAddress address{type, part(2), part(1), part(0), part(3), part(4), part(5), part(6)};
        if (!address.IsEmpty() && !details.addresses.contains(address)) {
            details.addresses.append(address);
        }
    }

    void Date(ContactDate& field, const Property& p, const char* label)
    {
        const QString text = TrimBlank(Text(p));
        if (text.isEmpty()) {
            return;
        }
        std::optional<ContactDate> date = ContactDate::FromText(text);
        if (!date) {
            ++m_dropped[QStringLiteral("%1 (not a date)").arg(QLatin1String(label))];
            return;
        }
        // Apple's address book writes a date without a year in a year it names as none.
        if (const std::optional<QByteArrayView> omit = First(p, Key::OmitYear)) {
            if (omit->toInt() == date->year) {
                date->year = 0;
            }
        }
        if (field.IsNull()) {
            field = *date;
        } else if (!(field == *date)) {
            ++m_dropped[QLatin1String(label)];
        }
    }

    static bool IsAnniversaryLabel(const QString& label)
    {
        return label.contains(QLatin1String("anniversary"), Qt::CaseInsensitive);
    }

    // Whether an X-ABDATE's group labels it an anniversary.
    bool AnniversaryGroup(const Property& p)
    {
        if (p.group.size == 0) {
            return false;
        }
        for (const Property& other : m_properties) {
            if (other.name == Name::AbLabel &&
                SameVCardWord(View(other.group), View(p.group).toByteArray().toUpper()) &&
                IsAnniversaryLabel(Text(other))) {
                return true;
            }
        }
        return false;
    }

    // Whether an X-ABLABEL is the label of an anniversary read with its date.
    bool AnniversaryLabel(const Property& label)
    {
        if (label.group.size == 0 || !IsAnniversaryLabel(Text(label))) {
            return false;
        }
        return std::any_of(m_properties.begin(), m_properties.end(), [&](const Property& other) {
            return other.name == Name::AbDate &&
                   SameVCardWord(View(other.group), View(label.group).toByteArray().toUpper());
        });
    }

    // A photo written inline (base64) or as a data: address; a link to one elsewhere is not
    // fetched, and a picture too large or of another kind is not kept.
    void Photo(ContactDetails& details, const Property& p)
    {
        const QByteArrayView encoding = First(p, Key::Encoding).value_or(QByteArrayView());
        QByteArray base64;
        if (SameVCardWord(encoding, "B") || SameVCardWord(encoding, "BASE64")) {
            base64 = View(p.value).toByteArray();
        } else {
            const QByteArrayView value = View(p.value).trimmed();
            const qsizetype comma = value.indexOf(',');
            if (value.size() < 5 || !SameVCardWord(value.first(5), "DATA:") || comma < 0 ||
                !ContainsVCardWord(value.first(comma), ";BASE64")) {
                ++m_dropped[QStringLiteral("PHOTO (link)")];
                return;
            }
            base64 = value.sliced(comma + 1).toByteArray();
        }
        base64.replace("\\", "");
        if (base64.size() / 4 * 3 > MaxPhotoBytes + 3) {
            ++m_dropped[QStringLiteral("PHOTO (over 1 MB)")];
            return;
        }
        const QByteArray bytes = QByteArray::fromBase64(base64);
        if (bytes.size() > MaxPhotoBytes) {
            ++m_dropped[QStringLiteral("PHOTO (over 1 MB)")];
        } else if (PhotoMimeType(bytes).isEmpty()) {
            ++m_dropped[QStringLiteral("PHOTO (not JPEG or PNG)")];
        } else if (details.photo.isEmpty()) {
            details.photo = bytes;
        } else if (details.photo != bytes) {
            ++m_dropped[QStringLiteral("PHOTO")];
        }
    }

    // The details of a card read for its record's fields alone, counted as left out, by the names
    // a reader without details gives them.
    void CountDetails(ContactCard& card)
    {
        const ContactDetails& d = m_details;
        m_dropped[QStringLiteral("ADR")] += static_cast<int>(d.addresses.size());
        const std::pair<const char*, bool> present[] = {
            {"BDAY", !d.birthday.IsNull()},
            {"ANNIVERSARY", !d.anniversary.IsNull()},
            {"NICKNAME", !d.nicknames.isEmpty()},
            {"ORG", (!d.organisation.isEmpty() && d.organisation != card.name) || !d.department.isEmpty()},
            {"TITLE", !d.title.isEmpty()},
            {"ROLE", !d.role.isEmpty()},
            {"NOTE", !d.note.isEmpty()},
            {"PHOTO", !d.photo.isEmpty()},
        };
        for (const auto& [name, held] : present) {
            if (held) {
                ++m_dropped[QLatin1String(name)];
            }
        }
        for (const TypedValue& phone : d.phones) {
            const QString type = phone.type;
            ++m_dropped[type == QLatin1String("fax") || type == QLatin1String("pager") ? type
                        : type == QLatin1String("other")                               ? QStringLiteral("other phone")
                        : type == QLatin1String("cell") ? QStringLiteral("second mobile phone")
                                                        : QStringLiteral("second %1 phone").arg(type)];
        }
        m_dropped[QStringLiteral("second web address")] += static_cast<int>(d.urls.size());
        for (const TypedValue& messenger : d.messengers) {
            ++m_dropped[QStringLiteral("IMPP (%1)")
                            .arg(messenger.type.isEmpty() ? QStringLiteral("?") : messenger.type)];
        }
        for (auto it = m_dropped.begin(); it != m_dropped.end();) {
            it = it.value() == 0 ? m_dropped.erase(it) : std::next(it);
        }
    }

    FileEncodings& m_encodings;
    QMap<QString, int>& m_dropped;
    CardParts m_parts;
    ContactDetails m_details; // the card's, reused from card to card
    QByteArray m_text;        // the card's lines, one after another
    std::vector<Property> m_properties;
    std::vector<Param> m_params;
    QByteArray m_nearby;
};

// The cards of a file, line by line: each card's properties go to a CardReader, and a card
// written as another's AGENT value is skipped with it. A card that begins inside another is read
// as a contact of its own; the outer one goes on after its END and is complete with an END of its
// own, so a nested card costs nothing, and a card truly left without END is still told.
class CardsReader
{
public:
    CardsReader(ContactFile& file, FileEncodings& encodings, CardParts parts)
        : m_file(file), m_encodings(encodings), m_parts(parts)
    {
    }

    void Line(QByteArrayView line)
    {
        if (line.trimmed().isEmpty()) {
            return;
        }
        const std::optional<VCardHead> head = ParseVCardHead(line);
        if (!head) {
            if (m_open > 0 && m_nested == 0) {
                ++m_file.dropped[QStringLiteral("unreadable line")];
            }
            return;
        }
        const Name name = NameOf(head->name);
        if (name == Name::Begin && SameVCardWord(head->value.trimmed(), "VCARD")) {
            if (m_open > 0 && (m_nested > 0 || Current().AgentFollows())) {
                ++m_nested; // reported as the outer card's AGENT
                return;
            }
            if (m_open == MaxDepth) {
                ++m_file.dropped[QStringLiteral("card without END")]; // the deepest is given up
                --m_open;
            }
            if (m_open == m_cards.size()) {
                m_cards.push_back(std::make_unique<CardReader>(m_encodings, m_file.dropped, m_parts));
            }
            ++m_open;
            Current().Start();
            m_sawCard = true;
        } else if (name == Name::End && head->value.trimmed().size() >= 5 &&
                   SameVCardWord(head->value.trimmed().first(5), "VCARD")) { // some phones write "END:VCARD."
            if (m_nested > 0) {
                --m_nested;
            } else if (m_open > 0) {
                m_file.cards.append(Current().Finish());
                --m_open;
            }
        } else if (m_open > 0 && m_nested == 0) {
            if (name == Name::Begin || name == Name::End) {
                return; // the BEGIN or END of something other than a card
            }
            Current().Add(name, line, *head);
        }
    }

    void Finish()
    {
        if (m_open > 0) {
            m_file.dropped[QStringLiteral("card without END")] += static_cast<int>(m_open);
        }
        if (!m_sawCard) {
            m_file.error = QStringLiteral("no vCard");
        }
    }

private:
    // How deep cards may begin inside each other before the deepest open one is given up.
    static constexpr std::size_t MaxDepth = 8;

    CardReader& Current() { return *m_cards[m_open - 1]; }

    ContactFile& m_file;
    FileEncodings& m_encodings;
    CardParts m_parts;
    std::vector<std::unique_ptr<CardReader>> m_cards; // kept, so their buffers serve the next cards
    std::size_t m_open = 0;                           // cards begun and not ended, outermost first
    int m_nested = 0;                                 // depth inside a card written as another's AGENT value
    bool m_sawCard = false;
};

char* Put(char* at, QByteArrayView bytes)
{
    if (!bytes.isEmpty()) {
        std::memcpy(at, bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    return at + bytes.size();
}

// Writes one content line, name and escaped value, folded at 75 octets without splitting a UTF-8
// character. Most lines are short and go straight to at; a long one is folded from line, working
// space for the unfolded line.
char* PutLine(char* at, char* line, QByteArrayView name, QByteArrayView value, QByteArrayView suffix = {})
{
    char* const lineEnd = Put(PutEscapedVCardText(Put(at, name), value), suffix);
    const qsizetype length = lineEnd - at;
    if (length <= 75) {
        return Put(lineEnd, "\r\n");
    }
    std::memcpy(line, at, static_cast<std::size_t>(length));
    return PutFoldedVCardLine(at, line, length);
}

// The next address of an e-mail list and the rest after its "; ".
std::pair<QByteArrayView, QByteArrayView> NextAddress(QByteArrayView list)
{
    for (qsizetype i = 0; i + 1 < list.size(); ++i) {
        if (list[i] == ';' && list[i + 1] == ' ') {
            return {list.first(i), list.sliced(i + 2)};
        }
    }
    return {list, {}};
}

// Whether UTF-8 text starts or ends with a character TrimBlank removes: white space or a control
// character. Characters beyond the 16-bit range are neither.
bool BlankAtEnds(QByteArrayView text)
{
    const auto blank = [](QByteArrayView character) {
        char32_t c = static_cast<unsigned char>(character[0]);
        if (c >= 0x80) {
            const qsizetype length = character.size();
            if (length > 3) {
                return false;
            }
            c &= length == 2 ? 0x1Fu : 0x0Fu;
            for (qsizetype i = 1; i < length; ++i) {
                c = (c << 6) | (static_cast<unsigned char>(character[i]) & 0x3Fu);
            }
        }
        const QChar q(static_cast<char16_t>(c));
        return q.isSpace() || q.category() == QChar::Other_Control;
    };
    const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    qsizetype firstEnd = 1;
    while (firstEnd < text.size() && isContinuation(text[firstEnd])) {
        ++firstEnd;
    }
    qsizetype lastStart = text.size() - 1;
    while (lastStart > 0 && isContinuation(text[lastStart])) {
        --lastStart;
    }
    return blank(text.first(firstEnd)) || blank(text.sliced(lastStart));
}

// The details of a contact as content lines, after the record's fields. They are few and rare
// beside the fields, so they are written plainly rather than into room made in advance.
void AppendDetails(QByteArray& out, const ContactDetails& d, bool v4)
{
    const auto type = [v4](const QString& word) {
        return "TYPE=" + (v4 ? word.toLatin1() : word.toLatin1().toUpper());
    };
    const auto line = [&out](const QByteArray& name, const QByteArrayList& params, const QString& value) {
        out.append(WriteVCardLine({}, name, params, value));
    };
    for (const PostalAddress& a : d.addresses) {
        QStringList parts;
        for (const QString* part :
             {&a.poBox, &a.extended, &a.street, &a.locality, &a.region, &a.postalCode, &a.country}) {
            parts.append(EscapeVCardText(*part));
        }
        line("ADR", a.type == QLatin1String("other") ? QByteArrayList() : QByteArrayList{type(a.type)},
             parts.join(u';'));
    }
    if (!d.nicknames.isEmpty()) {
        QStringList escaped;
        for (const QString& nickname : d.nicknames) {
            escaped.append(EscapeVCardText(nickname));
        }
        line("NICKNAME", {}, escaped.join(u','));
    }
    if (!d.organisation.isEmpty() || !d.department.isEmpty()) {
        line("ORG", {},
             EscapeVCardText(d.organisation) +
                 (d.department.isEmpty() ? QString() : QLatin1Char(';') + EscapeVCardText(d.department)));
    }
    for (const auto& [name, value] :
         {std::pair{"TITLE", &d.title}, std::pair{"ROLE", &d.role}, std::pair{"NOTE", &d.note}}) {
        if (!value->isEmpty()) {
            line(name, {}, EscapeVCardText(*value));
        }
    }
    // 4.0 writes dates without hyphens, and a date without a year as --MMDD.
    const auto date = [v4](const ContactDate& day) {
        return v4 ? day.ToText().remove(u'-').prepend(day.year == 0 ? QStringLiteral("--") : QString()) : day.ToText();
    };
    if (!d.birthday.IsNull()) {
        line("BDAY", {}, date(d.birthday));
    }
    if (!d.anniversary.IsNull()) {
        line(v4 ? "ANNIVERSARY" : "X-ANNIVERSARY", {}, date(d.anniversary));
    }
    for (const TypedValue& phone : d.phones) {
        line("TEL", {type(phone.type)}, EscapeVCardText(phone.value));
    }
    for (const TypedValue& url : d.urls) {
        line("URL", url.type.isEmpty() ? QByteArrayList() : QByteArrayList{type(url.type)}, EscapeVCardText(url.value));
    }
    for (const TypedValue& messenger : d.messengers) {
        QByteArray service;
        for (const QChar c : messenger.type) {
            if (c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.') {
                service += c.toLatin1();
            }
        }
        line("IMPP", service.isEmpty() ? QByteArrayList() : QByteArrayList{"X-SERVICE-TYPE=" + service},
             EscapeVCardText(messenger.value));
    }
    if (!d.photo.isEmpty()) {
        const QString mime = PhotoMimeType(d.photo);
        const QString base64 = QString::fromLatin1(d.photo.toBase64());
        if (v4) {
            line("PHOTO", {}, QStringLiteral("data:%1;base64,").arg(mime) + base64);
        } else {
            line("PHOTO", {"ENCODING=b", mime.endsWith(QLatin1String("png")) ? "TYPE=PNG" : "TYPE=JPEG"}, base64);
        }
    }
}

} // namespace

ContactFile ReadVCards(const QByteArray& original, CardParts parts)
{
    QByteArray bytes = NarrowText(original);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadVCards(buffer, {}, std::max<qint64>(bytes.size(), 1), parts);
}

namespace {

// The first `limit` bytes of the unfolded text of the pieces: their logical lines joined by LF.
QByteArray UnfoldedStart(const QByteArrayList& prefix, bool wholeFile, qsizetype limit)
{
    QByteArray start;
    bool first = true;
    const auto add = [&](QByteArrayView line) {
        if (start.size() < limit) {
            if (!first) {
                start += '\n';
            }
            start += line;
            first = false;
        }
    };
    VCardLineJoiner joiner;
    for (const QByteArray& piece : prefix) {
        joiner.Feed(piece, add);
        if (start.size() >= limit) {
            return start.left(limit);
        }
    }
    if (wholeFile) {
        joiner.Finish(add);
    }
    return start.left(limit);
}

} // namespace

ContactFile ReadVCards(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes, CardParts parts)
{
    ContactFile file;
    FilePieces pieces(device, pieceBytes);
    // The encodings are judged on the first pieces: all of a file of ordinary size, and of a huge
    // one enough to tell as well. They are kept, to be read as the rest.
    QByteArrayList prefix;
    std::vector<qint64> prefixEnds; // where each piece of it ends in the file
    for (qint64 prefixBytes = 0; !pieces.AtEnd() && prefixBytes < EncodingPrefixBytes;) {
        QByteArray piece = pieces.Next();
        prefixEnds.push_back(pieces.Done());
        // Only a byte-order mark at the very start of the file is one.
        if (prefixBytes == 0 && piece.startsWith("\xEF\xBB\xBF")) {
            piece.remove(0, 3);
        }
        prefixBytes += std::max<qsizetype>(piece.size(), 1);
        prefix.append(piece);
        // Reading is quick; the progress is of the parsing, which follows.
        if (progress && !progress(0, pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    const bool wholeFile = pieces.AtEnd();
    // The encoding is judged on the unfolded text: a fold may split a character in two. Text that
    // is UTF-8 (without the zero bytes of UTF-16) before unfolding is so after it, since folds and
    // line ends fall beside ASCII bytes, which are never part of a longer character.
    constexpr qsizetype declarationBytes = 64 * 1024;
    const bool utf8 = std::all_of(prefix.begin(), prefix.end(),
                                  [](const QByteArray& piece) { return piece.isValidUtf8() && !piece.contains('\0'); });
    QByteArray encodingName;
    LegacyGuess guess;
    QByteArray start;
    if (utf8) {
        encodingName = "UTF-8";
        start = UnfoldedStart(prefix, wholeFile, declarationBytes);
    } else {
        QByteArray unfolded;
        ForEachLine(prefix, wholeFile, [&, first = true](QByteArrayView line) mutable {
            if (!first) {
                unfolded += '\n';
            }
            unfolded += line;
            first = false;
        });
        encodingName = TextEncoding(unfolded, &guess);
        start = unfolded.left(declarationBytes);
    }
    // A file that names a charset for some values most likely uses it for the others too.
    static const QRegularExpression declared(QStringLiteral(";CHARSET=([A-Za-z0-9_.-]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QByteArray named;
    if (start.contains('=')) {
        for (const QRegularExpressionMatch& m : declared.globalMatch(QString::fromLatin1(start))) {
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
    if (encodingName == guess.name) { // not one the file names
        file.encodingGuessed = guess.weak;
        file.encodingExample = guess.example;
    }
    FileEncodings encodings(encodingName, encodingName != "UTF-8" ? encodingName : named, prefix, wholeFile);

    CardsReader reader(file, encodings, parts);
    VCardLineJoiner joiner;
    const auto line = [&reader](QByteArrayView text) { reader.Line(text); };
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        joiner.Feed(prefix[i], line);
        if (progress && !progress(prefixEnds[static_cast<std::size_t>(i)], pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    while (!pieces.AtEnd()) {
        joiner.Feed(pieces.Next(), line);
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    joiner.Finish(line);
    reader.Finish();
    if (joiner.TooLong() > 0) {
        file.dropped[QStringLiteral("value too long")] += joiner.TooLong();
    }
    return file;
}

void AppendVCard(QByteArray& out, QByteArray& scratch, const ContactText& c, VCardVersion version)
{
    // Room for the card at its longest: every value escaped to twice its size and folded, the
    // name twice, a line for each address; what is not used is cut off again.
    const QByteArrayView values[] = {c.name,   c.name, c.category, c.homePhone, c.mobilePhone, c.workPhone,
                                     c.emails, c.qq,   c.msn,      c.icq,       c.url};
    qsizetype longest = 0;
    qsizetype total = 0;
    for (const QByteArrayView v : values) {
        longest = std::max(longest, v.size());
        total += v.size();
    }
    if (scratch.size() < 2 * longest + 64) {
        scratch.resize(2 * longest + 64);
    }
    char* const line = scratch.data();
    const qsizetype start = out.size();
    out.resize(start + 512 + 3 * total + 8 * c.emails.size());
    char* at = out.data() + start;

    const bool v4 = version == VCardVersion::V40;
    auto typed = [&](QByteArrayView v4Name, QByteArrayView v3Name, QByteArrayView value) {
        if (!value.isEmpty()) {
            at = PutLine(at, line, v4 ? v4Name : v3Name, value);
        }
    };
    at = Put(at,
             v4 ? QByteArrayView("BEGIN:VCARD\r\nVERSION:4.0\r\n") : QByteArrayView("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    at = PutLine(at, line, "FN:", c.name);
    if (!v4) {
        at = PutLine(at, line, "N:", c.name, ";;;;"); // required in 3.0
    }
    typed("TEL;TYPE=home:", "TEL;TYPE=HOME:", c.homePhone);
    typed("TEL;TYPE=cell:", "TEL;TYPE=CELL:", c.mobilePhone);
    typed("TEL;TYPE=work:", "TEL;TYPE=WORK:", c.workPhone);
    // One EMAIL per address when the list splits cleanly; otherwise the list as it stands,
    // so reading the file back gives exactly the stored text.
    const auto eachAddress = [&c](auto&& fn) {
        for (QByteArrayView rest = c.emails;;) {
            const auto [address, next] = NextAddress(rest);
            if (!fn(address) || next.data() == nullptr) {
                return;
            }
            rest = next;
        }
    };
    bool clean = true;
    eachAddress([&](QByteArrayView address) { return clean = !address.isEmpty() && !BlankAtEnds(address); });
    if (clean) {
        eachAddress([&](QByteArrayView address) { return at = PutLine(at, line, "EMAIL:", address), true; });
    } else if (!c.emails.isEmpty()) {
        at = PutLine(at, line, "EMAIL:", c.emails);
    }
    typed("IMPP:qq:", "X-QQ:", c.qq);
    typed("IMPP:msn:", "X-MSN:", c.msn);
    typed("IMPP:icq:", "X-ICQ:", c.icq);
    if (!c.url.isEmpty()) {
        at = PutLine(at, line, "URL:", c.url);
    }
    if (!c.category.isEmpty()) {
        at = PutLine(at, line, "CATEGORIES:", c.category);
    }
    if (c.details != nullptr) {
        out.resize(at - out.data());
        AppendDetails(out, *c.details, v4);
        out.append("END:VCARD\r\n");
        return;
    }
    at = Put(at, "END:VCARD\r\n");
    out.resize(at - out.data());
}

QByteArray WriteVCardDetails(const ContactDetails& details, VCardVersion version)
{
    QByteArray out;
    AppendDetails(out, details, version == VCardVersion::V40);
    return out;
}

QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version)
{
    QByteArray out;
    out.reserve(cards.size() * 300);
    QByteArray scratch;
    ContactUtf8 utf8;
    for (const ContactCard& card : cards) {
        AppendVCard(out, scratch, utf8.Of(card), version);
    }
    return out;
}
