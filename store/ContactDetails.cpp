#include "store/ContactDetails.h"

#include <QCryptographicHash>
#include <QDate>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <sqlite3.h>

#include "core/CodePage.h"
#include "store/Connection.h"
#include "store/Encryption.h"

namespace {

QString Cipher(const QString& text)
{
    return Encrypt(text, CodePage::System());
}

QString Plain(QByteArrayView cipher)
{
    return Decrypt(cipher, CodePage::System());
}

void AddDetailRow(ContactDetails& d, QByteArrayView kind, const QString& type, const QString& value)
{
    if (kind == DetailKind::Phone) {
        d.phones.append({type, value});
    } else if (kind == DetailKind::Url) {
        d.urls.append({type, value});
    } else if (kind == DetailKind::Messenger) {
        d.messengers.append({type, value});
    } else if (kind == DetailKind::Nickname) {
        d.nicknames.append(value);
    } else if (kind == DetailKind::Organisation) {
        d.organisation = value;
    } else if (kind == DetailKind::Department) {
        d.department = value;
    } else if (kind == DetailKind::Title) {
        d.title = value;
    } else if (kind == DetailKind::Role) {
        d.role = value;
    } else if (kind == DetailKind::Note) {
        d.note = value;
    } else if (kind == DetailKind::Birthday || kind == DetailKind::Anniversary) {
        (kind == DetailKind::Birthday ? d.birthday : d.anniversary) =
            ContactDate::FromText(value).value_or(ContactDate());
    }
    // A kind a later version added is left alone: it stays in the book untouched.
}

// The columns of ContactAddress that hold an address, in the order of its parts.
constexpr char AddressColumns[] = "Type, Street, Extended, PoBox, Locality, Region, PostalCode, Country";
constexpr int AddressParts = 8;

// An address from its parts, deciphered, in row's columns from first on (AddressColumns' order),
// whichever query read them.
PostalAddress AddressFromRow(const RowView& row, int first)
{
    PostalAddress a;
    QString* parts[AddressParts] = {&a.type,     &a.street, &a.extended,   &a.poBox,
                                    &a.locality, &a.region, &a.postalCode, &a.country};
    for (int i = 0; i < AddressParts; ++i) {
        *parts[i] = Plain(row.Bytes(first + i));
    }
    return a;
}

// A photo as ContactPhoto keeps it: its bytes in Base64, enciphered.
QByteArray PhotoFromCipher(QByteArrayView cipher)
{
    return QByteArray::fromBase64(Plain(cipher).toLatin1());
}

// Every row of ContactDetail a record's details make, in order: kind, type, value.
template <typename Fn> void ForEachDetailRow(const ContactDetails& d, Fn&& fn)
{
    for (const QString& nickname : d.nicknames) {
        fn(DetailKind::Nickname, QString(), nickname);
    }
    const std::pair<const char*, const QString*> singles[] = {{DetailKind::Organisation, &d.organisation},
                                                              {DetailKind::Department, &d.department},
                                                              {DetailKind::Title, &d.title},
                                                              {DetailKind::Role, &d.role},
                                                              {DetailKind::Note, &d.note}};
    for (const auto& [kind, value] : singles) {
        if (!value->isEmpty()) {
            fn(kind, QString(), *value);
        }
    }
    if (!d.birthday.IsNull()) {
        fn(DetailKind::Birthday, QString(), d.birthday.ToText());
    }
    if (!d.anniversary.IsNull()) {
        fn(DetailKind::Anniversary, QString(), d.anniversary.ToText());
    }
    for (const auto& [kind, list] : {std::pair{DetailKind::Phone, &d.phones}, std::pair{DetailKind::Url, &d.urls},
                                     std::pair{DetailKind::Messenger, &d.messengers}}) {
        for (const TypedValue& v : *list) {
            fn(kind, v.type, v.value);
        }
    }
}

// A query over one table of details in key order, stepped as far as the records asked for.
struct DetailCursor
{
    sqlite3_stmt* stmt = nullptr;
    bool atEnd = false;
    // Steps past the rows of keys below pwdId; true while the current row is of pwdId.
    bool At(Connection& conn, qint64 pwdId, bool step)
    {
        while (!atEnd) {
            if (step) {
                const int rc = sqlite3_step(stmt);
                if (rc == SQLITE_DONE) {
                    atEnd = true;
                    return false;
                }
                if (rc != SQLITE_ROW) {
                    conn.Throw(sqlite3_extended_errcode(conn.Handle()));
                }
            }
            const qint64 key = sqlite3_column_int64(stmt, 0);
            if (key >= pwdId) {
                return key == pwdId;
            }
            step = true;
        }
        return false;
    }
};

// What each walk over the tables of details reads: the columns after PWDID of each table, none
// where empty (that table is not read), and of ContactDetail only rows of these kinds when given.
struct DetailColumns
{
    QString detail;
    QString address;
    QString photo;
    QStringList kinds;
};

// One query per table of details, in key order, walked beside the records: each record's rows are
// handed on as they pass, columns after PWDID from 1 on.
class DetailCursorSet
{
public:
    DetailCursorSet(Connection& conn, const DetailColumns& columns) : m_conn(conn)
    {
        if (!columns.detail.isEmpty()) {
            QString where;
            if (!columns.kinds.isEmpty()) {
                // Only our own words reach the statement.
                QStringList quoted;
                for (const QString& kind : columns.kinds) {
                    if (!kind.isEmpty() &&
                        std::all_of(kind.begin(), kind.end(), [](QChar c) { return c >= u'a' && c <= u'z'; })) {
                        quoted.append(QLatin1Char('\'') + kind + QLatin1Char('\''));
                    }
                }
                where = QStringLiteral(" WHERE Kind IN (%1)").arg(quoted.join(QLatin1Char(',')));
            }
            m_cursors[0].stmt = conn.PrepareUnbound(
                QStringLiteral("SELECT PWDID, %1 FROM ContactDetail%2 ORDER BY PWDID, Seq").arg(columns.detail, where));
        }
        if (!columns.address.isEmpty()) {
            m_cursors[1].stmt = conn.PrepareUnbound(
                QStringLiteral("SELECT PWDID, %1 FROM ContactAddress ORDER BY PWDID, Seq").arg(columns.address));
        }
        if (!columns.photo.isEmpty()) {
            m_cursors[2].stmt = conn.PrepareUnbound(
                QStringLiteral("SELECT PWDID, %1 FROM ContactPhoto ORDER BY PWDID").arg(columns.photo));
        }
    }
    ~DetailCursorSet()
    {
        for (DetailCursor& c : m_cursors) {
            sqlite3_finalize(c.stmt);
        }
    }
    DetailCursorSet(const DetailCursorSet&) = delete;
    DetailCursorSet& operator=(const DetailCursorSet&) = delete;

    // Hands each row of pwdId, which is larger than the key asked for before, to the function of
    // its table: ContactDetail's, ContactAddress's, then ContactPhoto's.
    template <typename OnDetail, typename OnAddress, typename OnPhoto>
    void Rows(qint64 pwdId, OnDetail&& onDetail, OnAddress&& onAddress, OnPhoto&& onPhoto)
    {
        const bool first = !m_started;
        m_started = true;
        const auto walk = [&](DetailCursor& c, auto&& fn) {
            if (c.stmt == nullptr) {
                return;
            }
            for (bool step = first; c.At(m_conn, pwdId, step); step = true) {
                fn(RowView(c.stmt));
            }
        };
        walk(m_cursors[0], onDetail);
        walk(m_cursors[1], onAddress);
        walk(m_cursors[2], onPhoto);
    }

private:
    Connection& m_conn;
    DetailCursor m_cursors[3];
    bool m_started = false;
};

// The stamp of a record's details: a hash over the enciphered rows as stored, table after table in
// key order. Reading it deciphers nothing; any edit of a detail changes a cipher text, so the stamp.
class DetailStampHash
{
public:
    void Row(char table, std::initializer_list<QByteArrayView> columns)
    {
        if (!m_hash) {
            m_hash.emplace(QCryptographicHash::Sha1);
        }
        m_hash->addData(QByteArrayView(&table, 1));
        for (const QByteArrayView column : columns) {
            Column(column);
        }
    }
    void Row(char table, const RowView& row, int columns)
    {
        Row(table, {});
        for (int i = 1; i <= columns; ++i) {
            Column(row.Bytes(i));
        }
    }
    // Empty for a record without details.
    QByteArray Result() const { return m_hash ? m_hash->result() : QByteArray(); }

private:
    // Each value led by its length, so no two rows' values run into each other.
    void Column(QByteArrayView bytes)
    {
        const quint32 length = qToLittleEndian(static_cast<quint32>(bytes.size()));
        m_hash->addData(QByteArrayView(reinterpret_cast<const char*>(&length), sizeof length));
        m_hash->addData(bytes);
    }
    std::optional<QCryptographicHash> m_hash;
};

constexpr char DetailTable = 'd';
constexpr char AddressTable = 'a';
constexpr char PhotoTable = 'p';

} // namespace

QString ContactDate::ToText() const
{
    if (IsNull()) {
        return {};
    }
    if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99) {
        const QString monthDay =
            QStringLiteral("%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day, 2, 10, QLatin1Char('0'));
        return year == 0 ? QStringLiteral("--") + monthDay
                         : QStringLiteral("%1-").arg(year, 4, 10, QLatin1Char('0')) + monthDay;
    }
    // Written digit by digit: an import and an export write one per contact.
    char16_t text[10];
    qsizetype n = 0;
    const auto put = [&](int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10) {
            text[n + i] = static_cast<char16_t>(u'0' + value % 10);
        }
        n += width;
    };
    if (year == 0) {
        text[n++] = u'-';
    } else {
        put(year, 4);
    }
    text[n++] = u'-';
    put(month, 2);
    text[n++] = u'-';
    put(day, 2);
    return QString(reinterpret_cast<const QChar*>(text), n);
}

std::optional<ContactDate> ContactDate::FromText(const QString& text)
{
    // "yyyy-mm-dd", "yyyymmdd", "--mm-dd" or "--mmdd", then perhaps a time after 'T'. Read by hand:
    // an import meets one per contact, and a pattern match costs more than the rest of the card.
    const QStringView t = QStringView(text).trimmed();
    qsizetype at = 0;
    const auto number = [&](int width, int& out) {
        out = 0;
        for (int i = 0; i < width; ++i, ++at) {
            if (at >= t.size() || t[at] < u'0' || t[at] > u'9') {
                return false;
            }
            out = out * 10 + (t[at].unicode() - u'0');
        }
        return true;
    };
    const auto dash = [&] {
        if (at < t.size() && t[at] == u'-') {
            ++at;
        }
    };
    ContactDate date;
    if (t.startsWith(u"--")) {
        at = 2;
    } else {
        if (!number(4, date.year)) {
            return std::nullopt;
        }
        dash();
    }
    if (!number(2, date.month)) {
        return std::nullopt;
    }
    dash();
    if (!number(2, date.day)) {
        return std::nullopt;
    }
    if (at < t.size()) {
        if (t[at] != u'T') {
            return std::nullopt;
        }
        for (++at; at < t.size(); ++at) {
            const QChar c = t[at];
            if (!((c >= u'0' && c <= u'9') || c == u':' || c == u'.' || c == u'Z' || c == u'+' || c == u'-')) {
                return std::nullopt;
            }
        }
    }
    // A day that no year has (February 30th) is no date; February 29th needs no year.
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > days[date.month - 1]) {
        return std::nullopt;
    }
    if (date.year != 0 && !QDate(date.year, date.month, date.day).isValid()) {
        return std::nullopt;
    }
    return date;
}

bool PostalAddress::IsEmpty() const
{
    return street.isEmpty() && extended.isEmpty() && poBox.isEmpty() && locality.isEmpty() && region.isEmpty() &&
           postalCode.isEmpty() && country.isEmpty();
}

bool ContactDetails::IsEmpty() const
{
    return addresses.isEmpty() && birthday.IsNull() && anniversary.IsNull() && nicknames.isEmpty() &&
           organisation.isEmpty() && department.isEmpty() && title.isEmpty() && role.isEmpty() && note.isEmpty() &&
           phones.isEmpty() && urls.isEmpty() && messengers.isEmpty() && photo.isEmpty();
}

QList<QString*> ContactDetails::Texts()
{
    QList<QString*> texts{&organisation, &department, &title, &role, &note};
    for (QString& n : nicknames) {
        texts.append(&n);
    }
    for (PostalAddress& a : addresses) {
        texts << &a.type << &a.street << &a.extended << &a.poBox << &a.locality << &a.region << &a.postalCode
              << &a.country;
    }
    for (QList<TypedValue>* list : {&phones, &urls, &messengers}) {
        for (TypedValue& v : *list) {
            texts << &v.type << &v.value;
        }
    }
    return texts;
}

QString PhotoMimeType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF")) {
        return QStringLiteral("image/jpeg");
    }
    if (bytes.startsWith("\x89PNG\r\n\x1A\n")) {
        return QStringLiteral("image/png");
    }
    return {};
}

const QStringList& ContactDetailTables()
{
    static const QStringList tables{QStringLiteral("ContactDetail"), QStringLiteral("ContactAddress"),
                                    QStringLiteral("ContactPhoto")};
    return tables;
}

bool HasContactDetailTables(Connection& conn)
{
    return conn.HasTable("ContactDetail");
}

void CreateContactDetailTables(Connection& conn)
{
    conn.ExecuteScript(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS ContactDetail (PWDID INTEGER NOT NULL, Seq INTEGER NOT NULL, Kind TEXT NOT NULL, "
        "Type TEXT, Value TEXT, PRIMARY KEY (PWDID, Seq));"
        "CREATE TABLE IF NOT EXISTS ContactAddress (PWDID INTEGER NOT NULL, Seq INTEGER NOT NULL, Type TEXT, "
        "Street TEXT, Extended TEXT, PoBox TEXT, Locality TEXT, Region TEXT, PostalCode TEXT, Country TEXT, "
        "PRIMARY KEY (PWDID, Seq));"
        "CREATE TABLE IF NOT EXISTS ContactPhoto (PWDID INTEGER PRIMARY KEY, Photo TEXT);"
        "CREATE TRIGGER IF NOT EXISTS ContactDetails_Delete AFTER DELETE ON PWDTable BEGIN "
        "DELETE FROM ContactDetail WHERE PWDID = old.PWDID; "
        "DELETE FROM ContactAddress WHERE PWDID = old.PWDID; "
        "DELETE FROM ContactPhoto WHERE PWDID = old.PWDID; END;"));
}

ContactDetails ReadContactDetails(Connection& conn, qint64 pwdId)
{
    ContactDetails d;
    if (!HasContactDetailTables(conn)) {
        return d;
    }
    // By key: one contact's rows come from the tables' index, however large the book is.
    conn.ForEachRow(
        QStringLiteral("SELECT Kind, Type, Value FROM ContactDetail WHERE PWDID = ? ORDER BY Seq"), {pwdId},
        [&](const RowView& row) { AddDetailRow(d, row.Bytes(0), Plain(row.Bytes(1)), Plain(row.Bytes(2))); });
    conn.ForEachRow(
        QStringLiteral("SELECT %1 FROM ContactAddress WHERE PWDID = ? ORDER BY Seq").arg(QLatin1String(AddressColumns)),
        {pwdId}, [&](const RowView& row) { d.addresses.append(AddressFromRow(row, 0)); });
    conn.ForEachRow(QStringLiteral("SELECT Photo FROM ContactPhoto WHERE PWDID = ?"), {pwdId},
                    [&](const RowView& row) { d.photo = PhotoFromCipher(row.Bytes(0)); });
    return d;
}

QByteArray WriteContactDetails(Connection& conn, qint64 pwdId, const ContactDetails& details)
{
    const bool hasTables = HasContactDetailTables(conn);
    if (!hasTables && details.IsEmpty()) {
        return {};
    }
    std::optional<Transaction> own;
    if (!conn.InTransaction()) {
        own.emplace(conn);
    }
    if (hasTables) {
        for (const QString& table : ContactDetailTables()) {
            conn.Execute(QStringLiteral("DELETE FROM %1 WHERE PWDID = ?").arg(table), {pwdId});
        }
    }
    ContactDetailsWriter writer(conn);
    QByteArray stamp;
    writer.Add(pwdId, details, &stamp);
    if (own) {
        own->Commit();
    }
    return stamp;
}

struct ContactDetailsWriter::Statements
{
    explicit Statements(Connection& conn)
        : detail(conn,
                 QStringLiteral("INSERT INTO ContactDetail (PWDID, Seq, Kind, Type, Value) VALUES (?, ?, ?, ?, ?)")),
          address(conn, QStringLiteral("INSERT INTO ContactAddress (PWDID, Seq, %1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                                       "?, ?)")
                            .arg(QLatin1String(AddressColumns))),
          photo(conn, QStringLiteral("INSERT INTO ContactPhoto (PWDID, Photo) VALUES (?, ?)"))
    {
    }
    PreparedStatement detail;
    PreparedStatement address;
    PreparedStatement photo;
    QByteArray cipher;
};

ContactDetailsWriter::ContactDetailsWriter(Connection& conn) : m_conn(conn) {}

ContactDetailsWriter::~ContactDetailsWriter() = default;

void ContactDetailsWriter::Add(qint64 pwdId, const ContactDetails& details, QByteArray* stamp)
{
    if (stamp != nullptr) {
        stamp->clear();
    }
    if (details.IsEmpty()) {
        return;
    }
    if (!m_statements) {
        CreateContactDetailTables(m_conn);
        m_statements = std::make_unique<Statements>(m_conn);
    }
    // The cipher texts of a row side by side in one buffer, kept for the next row: an import of
    // many contacts makes no text per value.
    QByteArray& cipher = m_statements->cipher;
    const CodePage& codePage = CodePage::System();
    auto encipher = [&](std::initializer_list<const QString*> values, QByteArrayView* views) {
        cipher.resize(0);
        qsizetype ends[AddressParts];
        qsizetype n = 0;
        for (const QString* value : values) {
            AppendEncrypted(cipher, *value, codePage);
            ends[n++] = cipher.size();
        }
        for (qsizetype i = 0; i < n; ++i) {
            const qsizetype start = i == 0 ? 0 : ends[i - 1];
            views[i] = QByteArrayView(cipher).sliced(start, ends[i] - start);
        }
    };
    // The stamp is made of what is bound, as the walk over the tables would make it of what they hold.
    std::optional<DetailStampHash> hash;
    if (stamp != nullptr) {
        hash.emplace();
    }
    qint64 seq = 0;
    ForEachDetailRow(details, [&](const char* kind, const QString& type, const QString& value) {
        PreparedStatement& s = m_statements->detail;
        QByteArrayView views[2];
        encipher({&type, &value}, views);
        s.Bind(1, pwdId);
        s.Bind(2, seq++);
        s.BindUntilRun(3, QByteArrayView(kind));
        s.BindUntilRun(4, views[0]);
        s.BindUntilRun(5, views[1]);
        if (hash) {
            hash->Row(DetailTable, {QByteArrayView(kind), views[0], views[1]});
        }
        s.Run();
    });
    seq = 0;
    for (const PostalAddress& a : details.addresses) {
        PreparedStatement& s = m_statements->address;
        QByteArrayView views[AddressParts];
        encipher({&a.type, &a.street, &a.extended, &a.poBox, &a.locality, &a.region, &a.postalCode, &a.country}, views);
        s.Bind(1, pwdId);
        s.Bind(2, seq++);
        for (int column = 0; column < AddressParts; ++column) {
            s.BindUntilRun(column + 3, views[column]);
        }
        if (hash) {
            hash->Row(AddressTable, {views[0], views[1], views[2], views[3], views[4], views[5], views[6], views[7]});
        }
        s.Run();
    }
    if (!details.photo.isEmpty()) {
        PreparedStatement& s = m_statements->photo;
        const QByteArray photo = Cipher(QString::fromLatin1(details.photo.toBase64())).toLatin1();
        s.Bind(1, pwdId);
        s.Bind(2, photo);
        if (hash) {
            hash->Row(PhotoTable, {photo});
        }
        s.Run();
    }
    if (hash) {
        *stamp = hash->Result();
    }
}

namespace {

// Every stored column of every detail: what the reader deciphers and the stamps hash.
DetailColumns StoredDetailColumns()
{
    return {QStringLiteral("Kind, Type, Value"), QLatin1String(AddressColumns), QStringLiteral("Photo"), {}};
}

} // namespace

struct ContactDetailsReader::Cursors : DetailCursorSet
{
    using DetailCursorSet::DetailCursorSet;
};

ContactDetailsReader::ContactDetailsReader(Connection& conn)
{
    if (HasContactDetailTables(conn)) {
        m_cursors = std::make_unique<Cursors>(conn, StoredDetailColumns());
    }
}

ContactDetailsReader::~ContactDetailsReader() = default;

ContactDetails ContactDetailsReader::Read(qint64 pwdId)
{
    ContactDetails d;
    if (!m_cursors) {
        return d;
    }
    m_cursors->Rows(
        pwdId, [&](const RowView& row) { AddDetailRow(d, row.Bytes(1), Plain(row.Bytes(2)), Plain(row.Bytes(3))); },
        [&](const RowView& row) { d.addresses.append(AddressFromRow(row, 1)); },
        [&](const RowView& row) { d.photo = PhotoFromCipher(row.Bytes(1)); });
    return d;
}

struct ContactDetailStamps::Cursors : DetailCursorSet
{
    using DetailCursorSet::DetailCursorSet;
};

ContactDetailStamps::ContactDetailStamps(Connection& conn)
{
    if (HasContactDetailTables(conn)) {
        m_cursors = std::make_unique<Cursors>(conn, StoredDetailColumns());
    }
}

ContactDetailStamps::~ContactDetailStamps() = default;

QByteArray ContactDetailStamps::Of(qint64 pwdId)
{
    if (!m_cursors) {
        return {};
    }
    DetailStampHash stamp;
    m_cursors->Rows(
        pwdId, [&](const RowView& row) { stamp.Row(DetailTable, row, 3); },
        [&](const RowView& row) { stamp.Row(AddressTable, row, AddressParts); },
        [&](const RowView& row) { stamp.Row(PhotoTable, row, 1); });
    return stamp.Result();
}

struct ContactDetailCipherTexts::Cursors : DetailCursorSet
{
    using DetailCursorSet::DetailCursorSet;
};

ContactDetailCipherTexts::ContactDetailCipherTexts(Connection& conn, const QStringList& kinds, bool addresses)
{
    if ((!kinds.isEmpty() || addresses) && HasContactDetailTables(conn)) {
        // The address's parts without its type, which no search compares.
        m_cursors = std::make_unique<Cursors>(
            conn, DetailColumns{kinds.isEmpty() ? QString() : QStringLiteral("Value"),
                                addresses ? QStringLiteral("Street, Extended, PoBox, Locality, Region, PostalCode, "
                                                           "Country")
                                          : QString(),
                                QString(), kinds});
    }
}

ContactDetailCipherTexts::~ContactDetailCipherTexts() = default;

const std::vector<QByteArrayView>& ContactDetailCipherTexts::Of(qint64 pwdId)
{
    m_bytes.clear();
    m_spans.clear();
    m_values.clear();
    if (!m_cursors) {
        return m_values;
    }
    // The bytes are copied: a step of the query takes them away.
    auto keep = [this](QByteArrayView bytes) {
        if (!bytes.isEmpty()) {
            m_spans.emplace_back(m_bytes.size(), static_cast<std::size_t>(bytes.size()));
            m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        }
    };
    m_cursors->Rows(
        pwdId, [&](const RowView& row) { keep(row.Bytes(1)); },
        [&](const RowView& row) {
            for (int column = 1; column < AddressParts; ++column) {
                keep(row.Bytes(column));
            }
        },
        [](const RowView&) {});
    for (const auto& [offset, length] : m_spans) {
        m_values.emplace_back(m_bytes.data() + offset, static_cast<qsizetype>(length));
    }
    return m_values;
}
