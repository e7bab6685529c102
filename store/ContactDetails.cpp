#include "store/ContactDetails.h"

#include <QDate>
#include <QRegularExpression>

#include <memory>
#include <sqlite3.h>

#include "core/CodePage.h"
#include "store/Connection.h"
#include "store/Encryption.h"
#include "store/Recordset.h"

namespace {

QString Cipher(const QString& text)
{
    return Encrypt(text, CodePage::System());
}

QString Plain(QByteArrayView cipher)
{
    return Decrypt(cipher, CodePage::System());
}

QByteArrayView ColumnBytes(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text == nullptr ? QByteArrayView() : QByteArrayView(text, sqlite3_column_bytes(stmt, column));
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

PostalAddress AddressFromRow(sqlite3_stmt* stmt, int first)
{
    PostalAddress a;
    QString* parts[] = {&a.type, &a.street, &a.extended, &a.poBox, &a.locality, &a.region, &a.postalCode, &a.country};
    for (int i = 0; i < 8; ++i) {
        *parts[i] = Plain(ColumnBytes(stmt, first + i));
    }
    return a;
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

} // namespace

QString ContactDate::ToText() const
{
    if (IsNull()) {
        return {};
    }
    const QString monthDay =
        QStringLiteral("%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day, 2, 10, QLatin1Char('0'));
    return year == 0 ? QStringLiteral("--") + monthDay
                     : QStringLiteral("%1-").arg(year, 4, 10, QLatin1Char('0')) + monthDay;
}

std::optional<ContactDate> ContactDate::FromText(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:(\\d{4})-?|--)(\\d{2})-?(\\d{2})(?:T[0-9:.Z+-]*)?$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    ContactDate date{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()};
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
    Recordset rs;
    rs.Open(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'ContactDetail'"), conn,
            LockType::ReadOnly);
    return !rs.IsEOF();
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
    conn.ForEachRow(QStringLiteral("SELECT Type, Street, Extended, PoBox, Locality, Region, PostalCode, Country FROM "
                                   "ContactAddress WHERE PWDID = ? ORDER BY Seq"),
                    {pwdId}, [&](const RowView& row) {
                        PostalAddress a;
                        QString* parts[] = {&a.type,     &a.street, &a.extended,   &a.poBox,
                                            &a.locality, &a.region, &a.postalCode, &a.country};
                        for (int i = 0; i < 8; ++i) {
                            *parts[i] = Plain(row.Bytes(i));
                        }
                        d.addresses.append(a);
                    });
    conn.ForEachRow(QStringLiteral("SELECT Photo FROM ContactPhoto WHERE PWDID = ?"), {pwdId},
                    [&](const RowView& row) { d.photo = QByteArray::fromBase64(Plain(row.Bytes(0)).toLatin1()); });
    return d;
}

void WriteContactDetails(Connection& conn, qint64 pwdId, const ContactDetails& details)
{
    const bool hasTables = HasContactDetailTables(conn);
    if (!hasTables && details.IsEmpty()) {
        return;
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
    writer.Add(pwdId, details);
    if (own) {
        own->Commit();
    }
}

struct ContactDetailsWriter::Statements
{
    explicit Statements(Connection& conn)
        : detail(conn,
                 QStringLiteral("INSERT INTO ContactDetail (PWDID, Seq, Kind, Type, Value) VALUES (?, ?, ?, ?, ?)")),
          address(conn,
                  QStringLiteral("INSERT INTO ContactAddress (PWDID, Seq, Type, Street, Extended, PoBox, Locality, "
                                 "Region, PostalCode, Country) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")),
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

void ContactDetailsWriter::Add(qint64 pwdId, const ContactDetails& details)
{
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
        qsizetype ends[8];
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
        s.Run();
    });
    seq = 0;
    for (const PostalAddress& a : details.addresses) {
        PreparedStatement& s = m_statements->address;
        QByteArrayView views[8];
        encipher({&a.type, &a.street, &a.extended, &a.poBox, &a.locality, &a.region, &a.postalCode, &a.country}, views);
        s.Bind(1, pwdId);
        s.Bind(2, seq++);
        for (int column = 0; column < 8; ++column) {
            s.BindUntilRun(column + 3, views[column]);
        }
        s.Run();
    }
    if (!details.photo.isEmpty()) {
        PreparedStatement& s = m_statements->photo;
        s.Bind(1, pwdId);
        s.Bind(2, Cipher(QString::fromLatin1(details.photo.toBase64())).toLatin1());
        s.Run();
    }
}

// One query per table, in key order, stepped as far as the records asked for.
struct ContactDetailsReader::Cursors
{
    explicit Cursors(Connection& c) : conn(c)
    {
        detail.stmt = conn.PrepareUnbound(QStringLiteral("SELECT PWDID, Kind, Type, Value FROM ContactDetail ORDER BY "
                                                         "PWDID, Seq"));
        address.stmt = conn.PrepareUnbound(QStringLiteral("SELECT PWDID, Type, Street, Extended, PoBox, Locality, "
                                                          "Region, PostalCode, Country FROM ContactAddress ORDER BY "
                                                          "PWDID, Seq"));
        photo.stmt = conn.PrepareUnbound(QStringLiteral("SELECT PWDID, Photo FROM ContactPhoto ORDER BY PWDID"));
    }
    ~Cursors()
    {
        for (DetailCursor* c : {&detail, &address, &photo}) {
            sqlite3_finalize(c->stmt);
        }
    }
    Cursors(const Cursors&) = delete;
    Cursors& operator=(const Cursors&) = delete;

    Connection& conn;
    DetailCursor detail;
    DetailCursor address;
    DetailCursor photo;
    bool started = false;
};

ContactDetailsReader::ContactDetailsReader(Connection& conn)
{
    if (HasContactDetailTables(conn)) {
        m_cursors = std::make_unique<Cursors>(conn);
    }
}

ContactDetailsReader::~ContactDetailsReader() = default;

ContactDetails ContactDetailsReader::Read(qint64 pwdId)
{
    ContactDetails d;
    if (!m_cursors) {
        return d;
    }
    Cursors& c = *m_cursors;
    const bool first = !c.started;
    c.started = true;
    for (bool step = first; c.detail.At(c.conn, pwdId, step); step = true) {
        AddDetailRow(d, ColumnBytes(c.detail.stmt, 1), Plain(ColumnBytes(c.detail.stmt, 2)),
                     Plain(ColumnBytes(c.detail.stmt, 3)));
    }
    for (bool step = first; c.address.At(c.conn, pwdId, step); step = true) {
        d.addresses.append(AddressFromRow(c.address.stmt, 1));
    }
    for (bool step = first; c.photo.At(c.conn, pwdId, step); step = true) {
        d.photo = QByteArray::fromBase64(Plain(ColumnBytes(c.photo.stmt, 1)).toLatin1());
    }
    return d;
}

struct ContactDetailCipherTexts::Cursors
{
    Cursors(Connection& c, const QStringList& kinds, bool addresses) : conn(c)
    {
        if (!kinds.isEmpty()) {
            // Only our own words reach the statement.
            QStringList quoted;
            for (const QString& kind : kinds) {
                static const QRegularExpression word(QStringLiteral("^[a-z]+$"));
                if (word.match(kind).hasMatch()) {
                    quoted.append(QLatin1Char('\'') + kind + QLatin1Char('\''));
                }
            }
            detail.stmt = conn.PrepareUnbound(
                QStringLiteral("SELECT PWDID, Value FROM ContactDetail WHERE Kind IN (%1) ORDER BY PWDID, Seq")
                    .arg(quoted.join(QLatin1Char(','))));
        }
        if (addresses) {
            address.stmt =
                conn.PrepareUnbound(QStringLiteral("SELECT PWDID, Street, Extended, PoBox, Locality, Region, "
                                                   "PostalCode, Country FROM ContactAddress ORDER BY "
                                                   "PWDID, Seq"));
        }
    }
    ~Cursors()
    {
        sqlite3_finalize(detail.stmt);
        sqlite3_finalize(address.stmt);
    }
    Cursors(const Cursors&) = delete;
    Cursors& operator=(const Cursors&) = delete;

    Connection& conn;
    DetailCursor detail;
    DetailCursor address;
    bool started = false;
};

ContactDetailCipherTexts::ContactDetailCipherTexts(Connection& conn, const QStringList& kinds, bool addresses)
{
    if ((!kinds.isEmpty() || addresses) && HasContactDetailTables(conn)) {
        m_cursors = std::make_unique<Cursors>(conn, kinds, addresses);
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
    Cursors& c = *m_cursors;
    const bool first = !c.started;
    c.started = true;
    // The bytes are copied: a step of the query takes them away.
    auto keep = [this](QByteArrayView bytes) {
        if (!bytes.isEmpty()) {
            m_spans.emplace_back(m_bytes.size(), static_cast<std::size_t>(bytes.size()));
            m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        }
    };
    if (c.detail.stmt != nullptr) {
        for (bool step = first; c.detail.At(c.conn, pwdId, step); step = true) {
            keep(ColumnBytes(c.detail.stmt, 1));
        }
    }
    if (c.address.stmt != nullptr) {
        for (bool step = first; c.address.At(c.conn, pwdId, step); step = true) {
            for (int column = 1; column <= 7; ++column) {
                keep(ColumnBytes(c.address.stmt, column));
            }
        }
    }
    for (const auto& [offset, length] : m_spans) {
        m_values.emplace_back(m_bytes.data() + offset, static_cast<qsizetype>(length));
    }
    return m_values;
}
