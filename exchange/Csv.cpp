// Reading and writing contacts as CSV (RFC 4180), with the header layouts of the common
// address books.
#include "exchange/Csv.h"

#include <QBuffer>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/CodePage.h"
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

// Splits text into records of fields as it arrives, piece by piece: a record, a quoted field,
// even a doubled quote or a line end may continue in the next piece.
class RecordSplitter
{
public:
    explicit RecordSplitter(QChar separator) : m_separator(separator) {}

    template <typename Sink> void Feed(QStringView text, Sink&& sink)
    {
        for (const QChar c : text) {
            Add(c, sink);
        }
    }

    // False when a quoted field never ends.
    template <typename Sink> bool Finish(Sink&& sink)
    {
        if (m_state == State::QuoteInQuotes) {
            m_quoted = false; // the closing quote, at the very end
        }
        if (m_quoted) {
            return false;
        }
        if (m_fieldStarted || !m_record.isEmpty()) {
            m_record.append(m_field);
            sink(m_record);
        }
        return true;
    }

private:
    template <typename Sink> void Add(QChar c, Sink& sink)
    {
        const State state = std::exchange(m_state, State::Plain);
        if (state == State::QuoteInQuotes) {
            if (c == u'"') {
                m_field += u'"'; // a doubled quote stands for one
                return;
            }
            m_quoted = false; // the quote closed the field; c comes after it
        } else if (state == State::AfterCr && c == u'\n') {
            return; // CR LF: one line end
        } else if (state == State::AfterQuotedCr && (c == u'\n' || c == u'\r')) {
            // A line break inside a value is kept as LF alone, whichever line ends the file uses.
            if (c == u'\r') {
                m_state = State::AfterQuotedCr;
            }
            return;
        }
        if (m_quoted) {
            if (c == u'"') {
                m_state = State::QuoteInQuotes;
            } else if (c == u'\r') {
                m_field += u'\n';
                m_state = State::AfterQuotedCr;
            } else {
                m_field += c;
            }
        } else if (c == u'"' && !m_fieldStarted) {
            m_quoted = true;
            m_fieldStarted = true;
        } else if (c == m_separator) {
            m_record.append(m_field);
            m_field.clear();
            m_fieldStarted = false;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r') {
                m_state = State::AfterCr;
            }
            m_record.append(m_field);
            if (!(m_record.size() == 1 && m_record.first().isEmpty())) {
                sink(m_record); // blank lines are skipped
            }
            m_record.clear();
            m_field.clear();
            m_fieldStarted = false;
        } else {
            m_field += c;
            m_fieldStarted = true;
        }
    }

    // What the last character leaves undecided until the next.
    enum class State : quint8 {
        Plain,
        QuoteInQuotes, // a quote inside quotes: doubled, or the end of the field
        AfterCr,       // a CR ending a record: an LF after it belongs to it
        AfterQuotedCr, // a CR inside quotes: CRs and one LF after it belong to it
    };

    QChar m_separator;
    QStringList m_record;
    QString m_field;
    bool m_quoted = false;
    bool m_fieldStarted = false;
    State m_state = State::Plain;
};

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

// Writes a value as a field: quoted when it holds a separator, a quote or a line break, or starts
// or ends with a space. Writes at most twice its size and two quotes.
char* PutField(char* at, QByteArrayView value)
{
    const bool plain = std::none_of(value.begin(), value.end(),
                                    [](char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; }) &&
                       !value.startsWith(' ') && !value.endsWith(' ');
    if (plain) {
        std::memcpy(at, value.data(), static_cast<std::size_t>(value.size()));
        return at + value.size();
    }
    *at++ = '"';
    for (const char c : value) {
        *at++ = c;
        if (c == '"') {
            *at++ = '"';
        }
    }
    *at++ = '"';
    return at;
}

// The contacts of a file's records: the first names the columns, each other is a contact.
class CsvCards
{
public:
    explicit CsvCards(ContactFile& file) : m_file(file) {}

    void Record(const QStringList& record)
    {
        if (!m_error.isEmpty()) {
            return;
        }
        if (!m_sawHeader) {
            Header(record);
        } else {
            Contact(record);
        }
    }

    bool SawHeader() const { return m_sawHeader; }
    const QString& Error() const { return m_error; }

private:
    void Header(const QStringList& headers)
    {
        m_sawHeader = true;
        m_headers = headers;
        bool knowsAName = false;
        for (const QString& h : headers) {
            m_fields.append(FieldOf(h));
            knowsAName = knowsAName || m_fields.last() == Field::Name || m_fields.last() == Field::First ||
                         m_fields.last() == Field::Last;
            m_ownLayout = m_ownLayout || m_fields.last() == Field::Type;
        }
        // A list of addresses alone still names its people: by their addresses.
        m_nameByEmail = !knowsAName && m_fields.contains(Field::Email);
        if (!knowsAName && !m_nameByEmail) {
            m_error = QStringLiteral("no name column");
        }
    }

    void Contact(const QStringList& record)
    {
        const QLatin1String multiValue(" ::: ");
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
            const Field field = m_fields.value(i, Field::Unknown);
            const QString cell = TrimBlank(record[i]);
            if (cell.isEmpty() && field != Field::PhoneType && field != Field::ImService) {
                continue;
            }
            // Google puts several values in one cell, separated by " ::: "; our own files never split.
            QStringList values;
            if (m_ownLayout || !cell.contains(multiValue)) {
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
                        ++m_file.dropped[QLatin1String(lost)];
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
                            ++m_file.dropped[QStringLiteral("second category")];
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
                    const QString n = Normalised(m_headers.value(i));
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
                        ++m_file.dropped[QStringLiteral("fax")];
                    } else if (phoneType.contains(QLatin1String("pager"))) {
                        ++m_file.dropped[QStringLiteral("pager")];
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
                        ++m_file.dropped[QStringLiteral("IM (%1)").arg(imService.isEmpty() ? QStringLiteral("?")
                                                                                           : imService)];
                    }
                    break;
                case Field::Ignored:
                    break;
                case Field::Unknown:
                    ++m_file.dropped[TrimBlank(m_headers.value(i))];
                    break;
                }
            }
        }
        if (record.size() > m_headers.size()) {
            ++m_file.dropped[QStringLiteral("extra column")];
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
                ++m_file.dropped[QStringLiteral("other phone")];
            }
        }
        card.emails = Joined(emails, QStringLiteral("; "));
        if (card.name.isEmpty()) {
            static const QRegularExpression han(QStringLiteral("[\\x{3400}-\\x{9FFF}]"));
            card.name = last.contains(han) || first.contains(han) ? last + first
                                                                  : Joined({first, middle, last}, QStringLiteral(" "));
        }
        if (m_nameByEmail && card.name.isEmpty()) {
            card.name = emails.value(0);
        }
        m_file.cards.append(card);
    }

    ContactFile& m_file;
    bool m_sawHeader = false;
    QString m_error;
    QStringList m_headers;
    QList<Field> m_fields;
    bool m_ownLayout = false;
    bool m_nameByEmail = false;
};

} // namespace

ContactFile ReadCsv(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadCsv(buffer, {}, std::max<qint64>(bytes.size(), 1));
}

ContactFile ReadCsv(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes)
{
    ContactFile file;
    FilePieces pieces(device, pieceBytes);
    // The encoding is judged on the first pieces: all of a file of ordinary size, and of a huge
    // one enough to tell as well.
    QByteArray start;
    while (!pieces.AtEnd() && start.size() < EncodingPrefixBytes) {
        start += pieces.Next();
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            ContactFile cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
    }
    file.encoding = TextEncoding(start);
    const CodePage codePage(file.encoding);
    // Only a byte-order mark at the very start of the file is one.
    qsizetype mark = 0;
    if (file.encoding == "UTF-8" && start.startsWith("\xEF\xBB\xBF")) {
        mark = 3;
    } else if ((file.encoding == "UTF-16LE" && start.startsWith("\xFF\xFE")) ||
               (file.encoding == "UTF-16BE" && start.startsWith("\xFE\xFF"))) {
        mark = 2;
    }
    if (file.encoding.startsWith("UTF-16")) {
        // Pieces end at LF bytes, which in UTF-16 may be half a character: such a file is read whole.
        while (!pieces.AtEnd()) {
            start += pieces.Next();
        }
    }
    qsizetype unreadable = 0;
    CsvCards cards(file);
    std::optional<RecordSplitter> splitter;
    const auto record = [&cards](const QStringList& fields) { cards.Record(fields); };
    const auto feed = [&](QByteArrayView bytes) {
        const QString text = codePage.ToUnicode(bytes, &unreadable);
        if (!splitter) {
            splitter.emplace(SeparatorOf(text));
        }
        splitter->Feed(text, record);
    };
    feed(QByteArrayView(start).sliced(mark));
    start.clear();
    while (!pieces.AtEnd()) {
        feed(pieces.Next());
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            ContactFile cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
    }
    const bool complete = splitter->Finish(record);
    const QByteArray encoding = file.encoding;
    if (!complete || !cards.SawHeader() || !cards.Error().isEmpty()) {
        file = ContactFile();
        file.encoding = encoding;
        file.error = !complete            ? QStringLiteral("unterminated quote")
                     : !cards.SawHeader() ? QStringLiteral("empty")
                                          : cards.Error();
    }
    if (unreadable > 0) {
        file.dropped[QStringLiteral("unreadable character")] = static_cast<int>(unreadable);
    }
    return file;
}

QByteArrayView CsvHeader()
{
    // UTF-8 with a byte-order mark, so spreadsheets open it in the right encoding.
    return "\xEF\xBB\xBFName,Type,Home Phone,Mobile Phone,Business Phone,E-mail,QQ,MSN,ICQ,Web Page\r\n";
}

void AppendCsvRow(QByteArray& out, const ContactText& c)
{
    const QByteArrayView fields[] = {c.name,   c.category, c.homePhone, c.mobilePhone, c.workPhone,
                                     c.emails, c.qq,       c.msn,       c.icq,         c.url};
    qsizetype room = 32;
    for (const QByteArrayView field : fields) {
        room += 2 * field.size() + 3;
    }
    const qsizetype start = out.size();
    out.resize(start + room);
    char* at = out.data() + start;
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0) {
            *at++ = ',';
        }
        at = PutField(at, fields[i]);
    }
    *at++ = '\r';
    *at++ = '\n';
    out.resize(at - out.data());
}

QByteArray WriteCsv(const QList<ContactCard>& cards)
{
    QByteArray out(CsvHeader().toByteArray());
    ContactUtf8 utf8;
    for (const ContactCard& card : cards) {
        AppendCsvRow(out, utf8.Of(card));
    }
    return out;
}
