#include "sync/SyncEngine.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"
#include "store/SyncPasswords.h"
#include "store/SyncTables.h"
#include "sync/CardText.h"
#include "sync/SyncError.h"

namespace {

// Server texts and credentials are kept whole whatever the locale's code page; cards byte for byte.
const CodePage& Utf8()
{
    static const CodePage codePage = CodePage::Utf8();
    return codePage;
}

const CodePage& Bytes()
{
    static const CodePage codePage(QByteArrayLiteral("ISO-8859-1"));
    return codePage;
}

QString Seal(const QString& text)
{
    return Encrypt(text, Utf8());
}

QString Unseal(const QString& cipher)
{
    return Decrypt(QStringView(cipher), Utf8());
}

QString SealCard(const QByteArray& card)
{
    return Encrypt(QString::fromLatin1(card), Bytes());
}

QByteArray UnsealCard(QByteArrayView cipher)
{
    return Decrypt(cipher, Bytes()).toLatin1();
}

// The fields the address book owns, apart from the e-mail list, which merges differently.
const struct
{
    QString ContactCard::*field;
    const char* label;
} Owned[] = {{&ContactCard::name, "name"},
             {&ContactCard::homePhone, "home phone"},
             {&ContactCard::mobilePhone, "mobile phone"},
             {&ContactCard::workPhone, "work phone"},
             {&ContactCard::qq, "QQ"},
             {&ContactCard::msn, "MSN"},
             {&ContactCard::icq, "ICQ"},
             {&ContactCard::url, "web address"}};

bool Same(const ContactCard& a, const ContactCard& b)
{
    for (const auto& f : Owned) {
        if (a.*f.field != b.*f.field) {
            return false;
        }
    }
    return a.emails == b.emails && a.Details() == b.Details();
}

QStringList CipherFields(const ContactCard& c)
{
    QStringList cipher;
    for (const QString* f : {&c.name, &c.homePhone, &c.mobilePhone, &c.workPhone, &c.emails, &c.qq, &c.msn, &c.icq}) {
        cipher.append(Encrypt(*f));
    }
    return cipher;
}

QString Digest(const QList<QByteArrayView>& cipher, QStringView url)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QByteArrayView c : cipher) {
        hash.addData(c);
        hash.addData("\x1f");
    }
    hash.addData(url.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

// Every digest written since details are synced starts so: a link recorded before knows the
// record's fields only, and took none of its card's details.
const QLatin1String DigestMark("2:");

// The change stamp of a record: its fields and, when it has any, its details' stamp (of their
// cipher texts as stored, so nothing is deciphered to tell a change). A record without details
// keeps the stamp of its fields alone.
QString RecordDigest(const QString& fieldsDigest, const QByteArray& detailStamp)
{
    if (detailStamp.isEmpty()) {
        return DigestMark + fieldsDigest;
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(fieldsDigest.toLatin1());
    hash.addData(detailStamp);
    return DigestMark + QString::fromLatin1(hash.result().toHex());
}

QString Digest(const QStringList& cipher, const QString& url)
{
    QList<QByteArray> bytes;
    for (const QString& c : cipher) {
        bytes.append(c.toLatin1());
    }
    return Digest(QList<QByteArrayView>(bytes.begin(), bytes.end()), url);
}

// The card's fields as the book would hold them: trimmed, and through the code page, so a value
// the code page cannot hold does not look like a change made here.
ContactCard Storable(ContactCard c)
{
    c.category.clear();
    for (const auto& f : Owned) {
        c.*f.field = TrimBlank(c.*f.field);
        if (f.field != &ContactCard::url) {
            c.*f.field = Decrypt(QStringView(Encrypt(c.*f.field)));
        }
    }
    c.emails = Decrypt(QStringView(Encrypt(EmailAddresses(c.emails).join(QStringLiteral("; ")))));
    if (c.sharedDetails) {
        ContactDetails details = c.Details();
        for (QString* text : details.Texts()) {
            *text = Decrypt(QStringView(Encrypt(TrimBlank(*text))));
        }
        c.SetDetails(std::move(details));
    }
    return c;
}

QString DetailText(const QList<TypedValue>& values)
{
    QStringList texts;
    for (const TypedValue& v : values) {
        texts.append(v.value);
    }
    return texts.join(QStringLiteral("; "));
}

// The details as the design's fields are merged: each kind (the addresses, the birthday, the
// note...) is one field, taken from the side that changed it, the server's where both did.
ContactDetails MergeDetails(const ContactDetails& l, const ContactDetails& b, const ContactDetails& r,
                            const QString& name, QList<SyncConflict>& conflicts)
{
    ContactDetails merged = r;
    const auto field = [&](auto member, const char* label, const auto& text) {
        if (l.*member == b.*member || l.*member == r.*member) {
            merged.*member = r.*member;
        } else if (r.*member == b.*member) {
            merged.*member = l.*member;
        } else {
            merged.*member = r.*member;
            conflicts.append({name, QLatin1String(label), text(l.*member)});
        }
    };
    const auto plain = [](const QString& text) { return text; };
    const auto date = [](const ContactDate& d) { return d.ToText(); };
    field(&ContactDetails::addresses, "address", [](const QList<PostalAddress>& addresses) {
        QStringList texts;
        for (const PostalAddress& a : addresses) {
            QStringList parts;
            for (const QString& part : {a.street, a.extended, a.poBox, a.locality, a.region, a.postalCode, a.country}) {
                if (!part.isEmpty()) {
                    parts.append(part);
                }
            }
            texts.append(parts.join(QStringLiteral(", ")));
        }
        return texts.join(QStringLiteral("; "));
    });
    field(&ContactDetails::birthday, "birthday", date);
    field(&ContactDetails::anniversary, "anniversary", date);
    field(&ContactDetails::nicknames, "nickname", [](const QStringList& n) { return n.join(QStringLiteral(", ")); });
    field(&ContactDetails::organisation, "organisation", plain);
    field(&ContactDetails::department, "department", plain);
    field(&ContactDetails::title, "job title", plain);
    field(&ContactDetails::role, "role", plain);
    field(&ContactDetails::note, "note", plain);
    field(&ContactDetails::phones, "other phones", DetailText);
    field(&ContactDetails::urls, "other web addresses", DetailText);
    field(&ContactDetails::messengers, "messengers", DetailText);
    field(&ContactDetails::photo, "photo", [](const QByteArray&) { return QString(); });
    return merged;
}

// Field by field against the last synced version: a side that left a field alone takes the
// other's change; where both changed it, the server wins and the local value is named.
ContactCard Merge(const ContactCard& local, const ContactCard& base, const ContactCard& remote,
                  QList<SyncConflict>& conflicts)
{
    ContactCard merged = remote;
    for (const auto& f : Owned) {
        const QString& l = local.*f.field;
        const QString& b = base.*f.field;
        const QString& r = remote.*f.field;
        if (l == b || l == r) {
            merged.*f.field = r;
        } else if (r == b) {
            merged.*f.field = l;
        } else {
            merged.*f.field = r;
            conflicts.append({remote.name.isEmpty() ? local.name : remote.name, QLatin1String(f.label), l});
        }
    }
    if (local.emails == base.emails || local.emails == remote.emails) {
        merged.emails = remote.emails;
    } else if (remote.emails == base.emails) {
        merged.emails = local.emails;
    } else {
        QStringList addresses = EmailAddresses(remote.emails);
        for (const QString& a : EmailAddresses(local.emails)) {
            if (!addresses.contains(a, Qt::CaseInsensitive)) {
                addresses.append(a);
            }
        }
        merged.emails = addresses.join(QStringLiteral("; "));
    }
    if (local.sharedDetails || base.sharedDetails || remote.sharedDetails) {
        merged.SetDetails(MergeDetails(local.Details(), base.Details(), remote.Details(),
                                       remote.name.isEmpty() ? local.name : remote.name, conflicts));
    }
    return merged;
}

// A control character inside a value; those at its ends go when the value is stored.
bool HasControl(const ContactCard& c)
{
    for (const auto& f : Owned) {
        const QString value = TrimBlank(c.*f.field);
        if (std::any_of(value.begin(), value.end(), [](QChar q) { return q.category() == QChar::Other_Control; })) {
            return true;
        }
    }
    const QString emails = EmailAddresses(c.emails).join(QLatin1Char(' '));
    if (std::any_of(emails.begin(), emails.end(), [](QChar q) { return q.category() == QChar::Other_Control; })) {
        return true;
    }
    if (!c.sharedDetails) {
        return false;
    }
    // A note and a street may hold line breaks, and nothing else.
    ContactDetails details = c.Details();
    for (const QString* text : details.Texts()) {
        const QString value = TrimBlank(*text);
        if (std::any_of(value.begin(), value.end(),
                        [](QChar q) { return q.category() == QChar::Other_Control && q != QLatin1Char('\n'); })) {
            return true;
        }
    }
    return false;
}

QString FileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString Folder(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

SyncAction PlanContact(SyncSide here, SyncSide there)
{
    // Rows: here unchanged, changed, deleted; columns: the same there. A deletion never wins
    // over a change: the contact is kept, with the change.
    static constexpr SyncAction table[3][3] = {
        {SyncAction::Nothing, SyncAction::Download, SyncAction::DeleteHere},
        {SyncAction::Upload, SyncAction::Merge, SyncAction::RestoreThere},
        {SyncAction::DeleteThere, SyncAction::RestoreHere, SyncAction::Forget},
    };
    return table[static_cast<int>(here)][static_cast<int>(there)];
}

namespace {

// The name under which an account's password is kept outside the book.
QString AccountInstance(Connection& conn, qint64 accountNo)
{
    Recordset rs;
    OpenSyncAccounts(rs, conn);
    for (; !rs.IsEOF(); rs.MoveNext()) {
        if (rs.Integer(u"AccountNo") == accountNo) {
            return rs.Text(u"Instance");
        }
    }
    return {};
}

} // namespace

QList<SyncAccountInfo> SyncAccounts(Connection& conn)
{
    CreateSyncTables(conn);
    QList<SyncAccountInfo> accounts;
    Recordset rs;
    OpenSyncAccounts(rs, conn);
    for (; !rs.IsEOF(); rs.MoveNext()) {
        const qint64 no = rs.Integer(u"AccountNo");
        const QString instance = rs.Text(u"Instance");
        accounts.append({no, QUrl(Unseal(rs.Text(u"Url"))), Unseal(rs.Text(u"UserName")),
                         SyncAccountPassword(conn, no, instance, rs.Text(u"Password")), instance});
    }
    return accounts;
}

qint64 AddSyncAccount(Connection& conn, const QUrl& url, const QString& user, const QString& password)
{
    CreateSyncTables(conn);
    // The password goes to the keyring (or this session's memory), never into the book.
    const QString instance = QUuid::createUuid().toString(QUuid::WithoutBraces);
    SaveSyncPassword(instance, password);
    return InsertSyncAccount(conn, Seal(url.adjusted(QUrl::RemoveUserInfo).toString()), Seal(user), QString(),
                             instance);
}

void ChangeSyncAccount(Connection& conn, qint64 accountNo, const QUrl& url, const QString& password)
{
    CreateSyncTables(conn);
    // Like a new account's, the password goes to the keyring (or this session's memory); one an
    // older version kept in the book is erased with it.
    SaveSyncPassword(AccountInstance(conn, accountNo), password);
    Transaction transaction(conn);
    UpdateSyncAccountUrl(conn, accountNo, Seal(url.adjusted(QUrl::RemoveUserInfo).toString()));
    conn.Execute(QStringLiteral("PRAGMA secure_delete = ON"));
    UpdateSyncAccountPassword(conn, accountNo, QString());
    transaction.Commit();
    conn.Execute(QStringLiteral("PRAGMA secure_delete = OFF"));
}

void RemoveSyncAccount(Connection& conn, qint64 accountNo)
{
    CreateSyncTables(conn);
    const QString instance = AccountInstance(conn, accountNo);
    Transaction transaction(conn);
    DeleteSyncAccount(conn, accountNo);
    transaction.Commit();
    if (!instance.isEmpty()) {
        ForgetSyncPassword(instance);
    }
}

void AddSyncNotices(Connection& conn, const QStringList& notices)
{
    CreateSyncTables(conn);
    Transaction transaction(conn);
    for (const QString& notice : notices) {
        InsertSyncNotice(conn, Seal(notice));
    }
    transaction.Commit();
}

QStringList SyncNotices(Connection& conn)
{
    QStringList notices;
    if (!HasSyncNotices(conn)) {
        return notices;
    }
    Recordset rs;
    for (OpenSyncNotices(rs, conn); !rs.IsEOF(); rs.MoveNext()) {
        notices.append(Unseal(rs.Text(u"Notice")));
    }
    return notices;
}

void ClearSyncNotices(Connection& conn)
{
    if (HasSyncNotices(conn)) {
        DeleteSyncNotices(conn);
    }
}

QList<SyncLink> SyncLinks(Connection& conn)
{
    CreateSyncTables(conn);
    QList<SyncLink> links;
    Recordset rs;
    OpenSyncBooks(rs, conn);
    for (; !rs.IsEOF(); rs.MoveNext()) {
        links.append({rs.Integer(u"BookNo"), rs.Integer(u"AccountNo"), Unseal(rs.Text(u"Path")),
                      rs.Text(u"DisplayName"), rs.Integer(u"TypeNo"), rs.Integer(u"SyncReport") != 0,
                      rs.Text(u"SyncToken")});
    }
    return links;
}

std::optional<SyncLink> LinkOf(Connection& conn, const QUrl& url, const QString& path)
{
    const auto server = [](const QUrl& u) {
        return QStringList{u.scheme().toLower(), u.host().toLower(), QString::number(u.port(-1))};
    };
    QMap<qint64, QStringList> servers;
    for (const SyncAccountInfo& account : SyncAccounts(conn)) {
        servers.insert(account.no, server(account.url));
    }
    for (const SyncLink& link : SyncLinks(conn)) {
        if (servers.value(link.account) == server(url) && Folder(link.path) == Folder(path)) {
            return link;
        }
    }
    return std::nullopt;
}

qint64 LinkAddressBook(Connection& conn, qint64 accountNo, const RemoteBook& book, qint64 typeNo)
{
    CreateSyncTables(conn);
    for (const SyncAccountInfo& account : SyncAccounts(conn)) {
        if (account.no == accountNo && LinkOf(conn, account.url, book.path)) {
            throw SyncError(SyncFault::AlreadyLinked, book.displayName.isEmpty() ? book.path : book.displayName);
        }
    }
    return InsertSyncBook(conn, accountNo, Seal(book.path), book.displayName, typeNo, book.syncCollection);
}

void UnlinkAddressBook(Connection& conn, qint64 linkNo)
{
    CreateSyncTables(conn);
    Transaction transaction(conn);
    DeleteSyncBook(conn, linkNo);
    transaction.Commit();
}

struct SyncEngine::State
{
    struct Item
    {
        QString path;
        qint64 pwdId = 0;
        QString etag;
        QString digest;
        QByteArray card;   // empty until needed: then read from sealed
        QByteArray sealed; // as stored
    };
    struct Remote
    {
        QString etag;
        CardText card;
    };
    struct Book
    {
        SyncLink link;
        std::shared_ptr<CardDavClient> client;
        QString instance;
        QHash<QString, Item> items; // by path
        RemoteChanges changes;
        QMap<QString, Remote> remote; // changed or new on the server
        QSet<QString> removed;        // linked cards gone from the server
        bool checkedLost = false;     // listed whole once a write found one of its cards gone
    };
    struct Record
    {
        qint64 typeNo = 0;
        ContactCard fields;   // deciphered, details too, only when the record takes part (Decode)
        QString fieldsDigest; // of the fields alone, as links recorded before details were synced have it
        QString digest;
        QString cipherName;
        QList<QByteArray> cipher;
        QString url;
        bool decoded = false;
        QByteArray detailStamp; // empty when the record has no details
    };

    QList<Book> books;
    QMap<qint64, Record> records;
    QHash<QString, qint64> names; // enciphered name -> record
    QHash<qint64, int> bookOfType;
    QSet<qint64> linked;
    QSet<qint64> moved; // moved to another address book on the server, so to another type here
    SyncSummary summary;
    std::unique_ptr<ContactDetailsWriter> detailsWriter; // the details of records added here
};

namespace {

using State = SyncEngine::State;

// Most records and cards of a large book are unchanged: they are deciphered and parsed only when
// a sync has something to do with them.
State::Record& Decode(Connection& conn, State& state, qint64 pwdId)
{
    State::Record& record = state.records[pwdId];
    if (!record.decoded) {
        ContactCard& f = record.fields;
        QString* fields[] = {&f.name, &f.homePhone, &f.mobilePhone, &f.workPhone, &f.emails, &f.qq, &f.msn, &f.icq};
        for (int i = 0; i < 8; ++i) {
            *fields[i] = Decrypt(record.cipher.value(i));
        }
        f.url = record.url;
        if (!record.detailStamp.isEmpty()) {
            f.SetDetails(ReadContactDetails(conn, pwdId));
        }
        record.decoded = true;
    }
    return record;
}

QByteArray CardOf(const State::Item& item)
{
    return item.card.isEmpty() ? UnsealCard(item.sealed) : item.card;
}

void Save(Connection& conn, const State::Book& book, const State::Item& item)
{
    SaveSyncItem(conn, book.link.no, Seal(item.path), item.pwdId, item.etag, item.digest, SealCard(item.card));
}

void Unsave(Connection& conn, State::Book& book, const QString& path)
{
    DeleteSyncItem(conn, book.link.no, Seal(path));
    book.items.remove(path);
}

// Adds a record; nothing when its name is taken (the book keeps names unique, as import does).
std::optional<qint64> Insert(Connection& conn, State& state, qint64 typeNo, const ContactCard& fields)
{
    const QStringList cipher = CipherFields(fields);
    if (state.names.contains(cipher.first())) {
        state.summary.duplicates.append(fields.name);
        return std::nullopt;
    }
    const qint64 pwdId = InsertRecord(conn, typeNo, cipher, fields.url);
    state.summary.changes.added.insert(pwdId);
    const QString fieldsDigest = Digest(cipher, fields.url);
    QByteArray detailStamp;
    if (!fields.Details().IsEmpty()) {
        // In the transaction of the record, its ETag and its card; the statements are prepared
        // once for a first sync's thousands. The details are Storable already: what is written
        // is what the next sync reads.
        if (!state.detailsWriter) {
            state.detailsWriter = std::make_unique<ContactDetailsWriter>(conn);
        }
        state.detailsWriter->Add(pwdId, fields.Details(), &detailStamp);
    }
    state.records.insert(pwdId, {typeNo,
                                 fields,
                                 fieldsDigest,
                                 RecordDigest(fieldsDigest, detailStamp),
                                 cipher.first(),
                                 {},
                                 {},
                                 true,
                                 detailStamp});
    state.names.insert(cipher.first(), pwdId);
    return pwdId;
}

void Write(Connection& conn, State& state, qint64 pwdId, ContactCard fields)
{
    State::Record& record = Decode(conn, state, pwdId);
    QStringList cipher = CipherFields(fields);
    if (cipher.first() != record.cipherName && state.names.contains(cipher.first())) {
        // The name stays as it is here, and the server keeps its own.
        state.summary.namesKept.append(QStringLiteral("%1 → %2").arg(record.fields.name, fields.name));
        fields.name = record.fields.name;
        cipher.first() = record.cipherName;
    }
    UpdateRecordFields(conn, pwdId, cipher, fields.url);
    if (fields.Details() != record.fields.Details()) {
        // Read back as stored, so what this side holds is what the next sync reads.
        record.detailStamp = WriteContactDetails(conn, pwdId, fields.Details());
        fields.SetDetails(ReadContactDetails(conn, pwdId));
    }
    if (!state.summary.changes.added.contains(pwdId)) {
        state.summary.changes.changed.insert(pwdId);
    }
    state.names.remove(record.cipherName);
    state.names.insert(cipher.first(), pwdId);
    record.fields = fields;
    record.fieldsDigest = Digest(cipher, fields.url);
    record.digest = RecordDigest(record.fieldsDigest, record.detailStamp);
    record.cipherName = cipher.first();
}

// The record as this side changed it. A name the server gave the card that this book could not
// take (another contact has it) is no rename made here: it stays on the server as it is.
ContactCard LocalView(const State& state, qint64 pwdId, const ContactCard& base)
{
    ContactCard view = state.records.value(pwdId).fields;
    if (view.name != base.name && state.names.value(Encrypt(base.name), pwdId) != pwdId) {
        view.name = base.name;
    }
    return view;
}

// The record a card with this UID was made from by this book, when it is here and not linked yet.
std::optional<qint64> OwnRecord(const State& state, const State::Book& book, const QString& uid)
{
    const QString prefix = book.instance + QLatin1Char('-');
    bool ok = false;
    const qint64 pwdId = uid.startsWith(prefix) ? uid.mid(prefix.size()).toLongLong(&ok) : 0;
    if (!ok || !state.records.contains(pwdId) || state.linked.contains(pwdId) ||
        state.records.value(pwdId).typeNo != book.link.typeNo) {
        return std::nullopt;
    }
    return pwdId;
}

void Erase(Connection& conn, State& state, qint64 pwdId)
{
    DeleteRecord(conn, pwdId);
    state.summary.changes.added.remove(pwdId);
    state.summary.changes.changed.remove(pwdId);
    state.summary.changes.removed.insert(pwdId);
    state.names.remove(state.records.value(pwdId).cipherName);
    state.records.remove(pwdId);
}

// Many deletions at once are more often a server's fault (an emptied or re-created address book,
// the wrong one) than anyone's wish: all of a book's contacts, or more than a fifth and at least 20.
bool Massive(qsizetype count, qsizetype linked)
{
    return count > 0 && (count == linked || (count >= 20 && count * 5 > linked));
}

QString BookName(const State::Book& book)
{
    return book.link.displayName.isEmpty() ? book.link.path : book.link.displayName;
}

} // namespace

SyncEngine::SyncEngine(Connection& conn) : m_conn(conn) {}

SyncEngine::~SyncEngine() = default;

void SyncEngine::Cancel()
{
    m_cancelled = true;
    const QMutexLocker lock(&m_clientsMutex);
    for (const auto& client : std::as_const(m_clients)) {
        client->Cancel();
    }
}

void SyncEngine::Settle()
{
    if (m_pending) {
        m_pending->Commit();
        m_pending.reset();
    }
}

void SyncEngine::Checkpoint()
{
    Settle();
    m_pending = std::make_unique<Transaction>(m_conn);
}

void SyncEngine::CheckCancelled()
{
    if (m_cancelled) {
        // What the server confirmed so far stays recorded: the next sync goes on from there.
        Settle();
        throw SyncError(SyncFault::Cancelled, {});
    }
}

namespace {

// Thrown when writes to cards this book had found them gone and a listing shows most of the
// address book's cards gone with them: the book is asked about and the sync made again.
struct BookGone
{
    qint64 linkNo = 0;
    QString name;
    int count = 0;
};

void Unite(SyncChanges& into, const SyncChanges& from)
{
    into.added.unite(from.added);
    into.changed.unite(from.changed);
    into.removed.unite(from.removed);
    into.typesAdded.unite(from.typesAdded);
    into.added.subtract(into.removed);
    into.changed.subtract(into.removed);
}

} // namespace

SyncSummary SyncEngine::Run()
{
    m_cancelled = false;
    m_changes = {};
    m_lostChoices.clear();
    for (;;) {
        try {
            return RunOnce();
        } catch (const BookGone& gone) {
            const LostBookChoice choice = m_askLostBook ? m_askLostBook(gone.name, gone.count) : LostBookChoice::Cancel;
            if (choice == LostBookChoice::Cancel) {
                throw SyncError(SyncFault::Cancelled, {});
            }
            // Once more from the start, with the whole listing of that book and the answer given.
            m_lostChoices.insert(gone.linkNo, choice);
            UpdateSyncBookToken(m_conn, gone.linkNo, QString());
        }
    }
}

void SyncEngine::CheckLost(State& state, const QString& bookPath)
{
    for (State::Book& book : state.books) {
        if (book.link.path != bookPath || book.checkedLost || m_lostChoices.contains(book.link.no)) {
            continue;
        }
        // One card gone is one contact's conflict; most of them gone is the book lost (deleted
        // and made again, or restored) while its sync token still passed.
        book.checkedLost = true;
        if (book.items.size() < 2) {
            return;
        }
        const RemoteChanges all = book.client->Changes({book.link.path, book.link.displayName, false, {}}, QString());
        int gone = 0;
        for (auto it = book.items.constBegin(); it != book.items.constEnd(); ++it) {
            gone += all.etags.contains(it.key()) ? 0 : 1;
        }
        if (gone * 2 > book.items.size()) {
            throw BookGone{book.link.no, BookName(book), gone};
        }
        return;
    }
}

SyncSummary SyncEngine::RunOnce()
{
    {
        const QMutexLocker lock(&m_clientsMutex);
        m_clients.clear();
    }
    CreateSyncTables(m_conn);
    State state;
    try {
        m_pending = std::make_unique<Transaction>(m_conn);
        Gather(state);
        FollowMoves(state);
        GuardDeletions(state);
        Reconcile(state);
        AddFromServer(state);
        AddToServer(state);
        TakeTokens(state);
        CheckCancelled();
        Settle();
    } catch (...) {
        // Only what no request has followed yet is undone: everything before it is committed.
        m_pending.reset();
        Unite(m_changes, state.summary.changes);
        throw;
    }
    Unite(m_changes, state.summary.changes);
    state.summary.changes = m_changes;
    const QMutexLocker lock(&m_clientsMutex);
    for (const auto& client : std::as_const(m_clients)) {
        state.summary.requests += client->Requests();
    }
    return state.summary;
}

void SyncEngine::Gather(State& state)
{
    QMap<qint64, SyncAccountInfo> accounts;
    for (const SyncAccountInfo& account : SyncAccounts(m_conn)) {
        accounts.insert(account.no, account);
    }
    QSet<qint64> types;
    {
        Recordset rs;
        OpenTypes(rs, m_conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            types.insert(rs.Integer(u"TypeNo"));
        }
    }
    for (const SyncLink& link : SyncLinks(m_conn)) {
        if (!accounts.contains(link.account) || !types.contains(link.typeNo)) {
            // The type was deleted here: the link goes with it, and the server keeps its cards.
            DeleteSyncBook(m_conn, link.no);
            continue;
        }
        if (state.bookOfType.contains(link.typeNo)) {
            continue; // one address book per type
        }
        const SyncAccountInfo& account = accounts[link.account];
        std::shared_ptr<CardDavClient> client = m_clients.value(account.no);
        if (!client) {
            client = std::make_shared<CardDavClient>(account.url, account.user, account.password);
            client->SetTimeout(m_timeout);
            client->SetDeadline(m_deadline);
            client->SetAroundRequest([this] { Settle(); },
                                     [this] {
                                         if (!m_pending) {
                                             m_pending = std::make_unique<Transaction>(m_conn);
                                         }
                                     });
            const QMutexLocker lock(&m_clientsMutex);
            m_clients.insert(account.no, client);
            if (m_cancelled) {
                client->Cancel();
            }
        }
        State::Book book;
        book.link = link;
        book.client = client;
        book.instance = account.instance;
        Recordset rs;
        OpenSyncItems(rs, m_conn, link.no);
        // Columns looked up once: a large book has tens of thousands of rows.
        const int path = rs.FieldIndex(u"Path");
        const int pwdId = rs.FieldIndex(u"PWDID");
        const int etag = rs.FieldIndex(u"ETag");
        const int digest = rs.FieldIndex(u"Digest");
        const int card = rs.FieldIndex(u"Card");
        for (; !rs.IsEOF(); rs.MoveNext()) {
            State::Item item{Unseal(rs.Text(path)),       rs.Integer(pwdId), rs.Text(etag), rs.Text(digest), {},
                             rs.Bytes(card).toByteArray()};
            state.linked.insert(item.pwdId);
            book.items.insert(item.path, item);
        }
        state.bookOfType.insert(link.typeNo, static_cast<int>(state.books.size()));
        state.books.append(book);
    }
    {
        Recordset rs;
        OpenRecordsForSync(rs, m_conn);
        // The details' stamps walked beside the records, both in key order, deciphering nothing; a
        // book without details reads none.
        ContactDetailStamps details(m_conn);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            State::Record record;
            record.typeNo = rs.Integer(1);
            QList<QByteArrayView> cipher;
            for (int column = 2; column < 10; ++column) {
                cipher.append(rs.Bytes(column));
            }
            record.url = rs.Text(10);
            record.fieldsDigest = Digest(cipher, record.url);
            record.detailStamp = details.Of(rs.Integer(0));
            record.digest = RecordDigest(record.fieldsDigest, record.detailStamp);
            for (const QByteArrayView c : cipher) {
                record.cipher.append(c.toByteArray());
            }
            record.cipherName = QString::fromLatin1(cipher[0]);
            state.names.insert(record.cipherName, rs.Integer(0));
            state.records.insert(rs.Integer(0), record);
        }
    }
    for (State::Book& book : state.books) {
        const RemoteBook remote{book.link.path, book.link.displayName, book.link.syncReport, {}};
        // A listing names each card in a few hundred bytes: room for a first listing of a quarter
        // of a million cards and for the book to grow tenfold, and never the endless answer of a
        // broken server.
        book.client->SetAnswerLimit(64 * 1024 * 1024 + qint64(book.items.size()) * 4096);
        book.changes = book.client->Changes(remote, book.link.token);
        QStringList wanted;
        for (auto it = book.changes.etags.constBegin(); it != book.changes.etags.constEnd(); ++it) {
            const auto item = book.items.constFind(it.key());
            if (item == book.items.constEnd() || item->etag != it.value() || it.value().isEmpty()) {
                wanted.append(it.key());
            }
        }
        for (const QString& path : book.changes.removed) {
            if (book.items.contains(path)) {
                book.removed.insert(path);
            }
        }
        if (book.changes.full) {
            for (const QString& path : book.items.keys()) {
                if (!book.changes.etags.contains(path)) {
                    book.removed.insert(path);
                }
            }
        }
        for (const RemoteCard& fetched : book.client->Fetch(book.link.path, wanted)) {
            if (fetched.problem != RemoteCard::None) {
                // Left as it is on both sides; the next sync tries it again.
                (fetched.problem == RemoteCard::TooLarge ? state.summary.tooLarge : state.summary.unreadable)
                    .append(FileName(fetched.path));
                continue;
            }
            if (fetched.data.isEmpty()) {
                if (book.items.contains(fetched.path)) {
                    book.removed.insert(fetched.path);
                }
                continue;
            }
            QString error;
            std::optional<CardText> card = CardText::Parse(fetched.data, &error);
            if (!card) {
                throw SyncError(SyncFault::Malformed, QStringLiteral("%1: %2").arg(FileName(fetched.path), error));
            }
            if (HasControl(card->Fields())) {
                // A control character inside a value (a NUL in a phone number): refused, as import does.
                state.summary.unreadable.append(FileName(fetched.path));
                continue;
            }
            const QMap<QString, int> unshown = card->Unshown();
            for (auto it = unshown.constBegin(); it != unshown.constEnd(); ++it) {
                state.summary.unshown[it.key()] += it.value();
            }
            book.remote.insert(fetched.path, {fetched.etag, *card});
        }
    }
}

void SyncEngine::FollowMoves(State& state)
{
    // A card that leaves one address book while a card of the same UID arrives in another (or
    // under another name in the same one) was moved there: the record follows it, keeping its
    // key, its edits and the card it was last synced as, instead of going and coming back new.
    QHash<QString, std::pair<int, QString>> arrived; // UID -> book, path
    for (int bi = 0; bi < state.books.size(); ++bi) {
        const State::Book& book = state.books[bi];
        for (auto it = book.remote.constBegin(); it != book.remote.constEnd(); ++it) {
            const QString uid = it->card.Uid();
            if (!book.items.contains(it.key()) && !uid.isEmpty() && !arrived.contains(uid)) {
                arrived.insert(uid, {bi, it.key()});
            }
        }
    }
    if (arrived.isEmpty()) {
        return;
    }
    for (State::Book& from : state.books) {
        for (const QString& path : QStringList(from.removed.begin(), from.removed.end())) {
            const State::Item item = from.items.value(path);
            if (!state.records.contains(item.pwdId) || from.remote.contains(path)) {
                continue; // deleted here: the card comes in as it is now, the change kept
            }
            const std::optional<CardText> base = CardText::Parse(CardOf(item), nullptr);
            const auto there = base ? arrived.constFind(base->Uid()) : arrived.constEnd();
            if (there == arrived.constEnd()) {
                continue;
            }
            const auto [bi, newPath] = *there;
            arrived.erase(there);
            State::Book& to = state.books[bi];
            State::Item moved = item;
            moved.path = newPath;
            moved.card = CardOf(item);
            moved.sealed.clear();
            moved.etag = to.remote.value(newPath).etag;
            from.removed.remove(path);
            Unsave(m_conn, from, path);
            to.items.insert(newPath, moved);
            State::Record& record = state.records[item.pwdId];
            if (record.typeNo != to.link.typeNo) {
                MoveRecordToType(m_conn, item.pwdId, to.link.typeNo);
                state.summary.changes.changed.insert(item.pwdId);
                record.typeNo = to.link.typeNo;
                state.moved.insert(item.pwdId);
            }
        }
    }
}

void SyncEngine::Reconcile(State& state)
{
    QList<std::pair<int, QString>> leaving;
    QStringList leavingNames;
    for (int bi = 0; bi < state.books.size(); ++bi) {
        QStringList paths = state.books[bi].items.keys();
        paths.sort(); // the same order at every sync
        int done = 0;
        for (const QString& path : paths) {
            CheckCancelled();
            // Most of a large book is unchanged and goes by in microseconds: the progress window
            // (which handles events at every step) hears of every 64th of those only, and of
            // every contact with work to do.
            const int step = done++;
            const auto report = [&] {
                if (m_progress) {
                    m_progress(step, static_cast<int>(paths.size()));
                }
            };
            if (step % 64 == 0) {
                report();
            }
            State::Book& book = state.books[bi];
            if (!book.items.contains(path)) {
                continue;
            }
            State::Item item = book.items.value(path);
            const bool remoteRemoved = book.removed.contains(path);
            bool remoteChanged = book.remote.contains(path);
            QString error;
            if (!remoteRemoved && !remoteChanged && state.records.contains(item.pwdId)) {
                const State::Record& record = state.records[item.pwdId];
                if (record.digest == item.digest && record.typeNo == book.link.typeNo) {
                    continue; // unchanged on both sides
                }
            }
            if (step % 64 != 0) {
                report();
            }
            std::optional<CardText> base = CardText::Parse(CardOf(item), &error);
            if (!base) {
                throw SyncError(SyncFault::Malformed, error);
            }
            ContactCard baseFields = Storable(base->Fields());

            const bool here = state.records.contains(item.pwdId);
            // Linked before details were synced: the book took none of the card's details, so none
            // count as synced. Those the card has come down as the server's change; those the
            // record has go up as this side's.
            const bool legacy = !item.digest.startsWith(DigestMark);
            if (legacy) {
                if (here && !remoteRemoved && !remoteChanged && !baseFields.Details().IsEmpty() &&
                    state.bookOfType.value(state.records[item.pwdId].typeNo, -1) == bi) {
                    book.remote.insert(path, {item.etag, *base});
                    remoteChanged = true;
                }
                baseFields.SetDetails({});
            }
            const bool fieldsChanged = here && (legacy ? state.records[item.pwdId].fieldsDigest != item.digest ||
                                                             !state.records[item.pwdId].detailStamp.isEmpty()
                                                       : state.records[item.pwdId].digest != item.digest);
            const bool movedHere = here && state.records[item.pwdId].typeNo != book.link.typeNo;
            const SyncAction action = PlanContact(!here                        ? SyncSide::Deleted
                                                  : fieldsChanged || movedHere ? SyncSide::Changed
                                                                               : SyncSide::Unchanged,
                                                  remoteRemoved   ? SyncSide::Deleted
                                                  : remoteChanged ? SyncSide::Changed
                                                                  : SyncSide::Unchanged);

            if (!here) {
                std::optional<State::Remote> remote;
                if (action == SyncAction::RestoreHere) {
                    remote = book.remote.value(path);
                } else if (action == SyncAction::DeleteThere && !book.client->Remove(path, item.etag)) {
                    // Changed on the server since it was listed: fetch it to keep the change.
                    const QList<RemoteCard> again = book.client->Fetch(book.link.path, {path});
                    std::optional<CardText> card;
                    if (!again.isEmpty() && !again.first().data.isEmpty()) {
                        card = CardText::Parse(again.first().data, &error);
                    } else if (!again.isEmpty() && again.first().problem == RemoteCard::None) {
                        CheckLost(state, book.link.path);
                    }
                    if (card) {
                        remote = State::Remote{again.first().etag, *card};
                    }
                } else if (action == SyncAction::DeleteThere) {
                    ++state.summary.deletedThere;
                }
                Unsave(m_conn, book, path);
                if (remote) {
                    const ContactCard fields = Storable(remote->card.Fields());
                    if (const std::optional<qint64> pwdId = Insert(m_conn, state, book.link.typeNo, fields)) {
                        const State::Item kept{
                            path, *pwdId, remote->etag, state.records[*pwdId].digest, remote->card.Bytes(), {}};
                        Save(m_conn, book, kept);
                        book.items.insert(path, kept);
                        state.linked.insert(*pwdId);
                        state.summary.kept.append(fields.name);
                        ++state.summary.addedHere;
                    }
                }
                book.remote.remove(path);
                if (action == SyncAction::DeleteThere) {
                    Checkpoint();
                }
                continue;
            }

            const State::Record record = Decode(m_conn, state, item.pwdId);
            const int target = state.bookOfType.value(record.typeNo, -1);
            if (target < 0) { // moved to a type that is not linked
                if (remoteRemoved) {
                    Unsave(m_conn, book, path);
                } else if (!remoteChanged) {
                    leaving.append({bi, path});
                    leavingNames.append(record.fields.name);
                }
                book.remote.remove(path);
                continue;
            }

            CardText card = *base;
            QString etag = item.etag;
            bool put = false;
            const bool create = action == SyncAction::RestoreThere;
            switch (action) {
            case SyncAction::DeleteHere:
                Erase(m_conn, state, item.pwdId);
                Unsave(m_conn, book, path);
                ++state.summary.deletedHere;
                continue;
            case SyncAction::RestoreThere:
                card.Change(baseFields, LocalView(state, item.pwdId, baseFields));
                if (fieldsChanged) {
                    state.summary.kept.append(record.fields.name);
                }
                break;
            case SyncAction::Download:
            case SyncAction::Merge: {
                const State::Remote remote = book.remote.take(path);
                const ContactCard remoteFields = Storable(remote.card.Fields());
                const ContactCard merged = action == SyncAction::Merge
                                               ? Merge(LocalView(state, item.pwdId, baseFields), baseFields,
                                                       remoteFields, state.summary.conflicts)
                                               : remoteFields;
                card = remote.card;
                card.Change(remoteFields, merged);
                etag = remote.etag;
                put = !Same(merged, remoteFields);
                const bool rewritten = !Same(merged, record.fields);
                if (rewritten) {
                    Write(m_conn, state, item.pwdId, merged);
                }
                if (rewritten || state.moved.contains(item.pwdId)) {
                    ++state.summary.changedHere;
                }
                break;
            }
            case SyncAction::Upload: {
                const ContactCard view = LocalView(state, item.pwdId, baseFields);
                card.Change(baseFields, view);
                put = !Same(view, baseFields);
                break;
            }
            default:
                break;
            }
            if (action == SyncAction::Nothing && target == bi) {
                if (legacy) {
                    // Nothing to do but record the stamp, once: the next sync passes it by unread.
                    item.digest = record.digest;
                    item.card = CardOf(item);
                    Save(m_conn, book, item);
                    book.items.insert(path, item);
                }
                continue;
            }

            if (target == bi) {
                if (create || put) {
                    const std::optional<QString> newTag = Deliver(state, *book.client, book.link.path, path, card,
                                                                  create ? QString() : etag, item.pwdId, baseFields);
                    if (!newTag) {
                        continue;
                    }
                    etag = *newTag;
                    ++(create ? state.summary.addedThere : state.summary.changedThere);
                }
                item.etag = etag;
                item.card = card.Bytes();
                item.digest = state.records.value(item.pwdId).digest;
                Save(m_conn, book, item);
                book.items.insert(path, item);
                if (create || put) {
                    Checkpoint();
                }
                continue;
            }

            // Moved to another linked type: written there first, then removed here, so an
            // interruption leaves it on the server at least once and never loses it.
            State::Book& to = state.books[target];
            const QString newPath = Folder(to.link.path) + FileName(path);
            const std::optional<QString> newTag =
                Deliver(state, *to.client, to.link.path, newPath, card, QString(), item.pwdId, baseFields);
            if (!newTag) {
                continue;
            }
            if (!create) {
                book.client->Remove(path, etag);
            }
            Unsave(m_conn, book, path);
            const State::Item moved{newPath,      item.pwdId, *newTag, state.records.value(item.pwdId).digest,
                                    card.Bytes(), {}};
            Save(m_conn, to, moved);
            Checkpoint();
            to.items.insert(newPath, moved);
            to.remote.remove(newPath);
            ++state.summary.changedThere;
        }
    }
    if (!leaving.isEmpty()) {
        if (!m_confirm || m_confirm(leavingNames)) {
            for (const auto& [bi, path] : leaving) {
                State::Book& book = state.books[bi];
                if (book.client->Remove(path, book.items.value(path).etag)) {
                    ++state.summary.deletedThere;
                }
                Unsave(m_conn, book, path);
                Checkpoint();
            }
        } else {
            state.summary.leftAlone = leavingNames;
        }
    }
}

void SyncEngine::AddFromServer(State& state)
{
    for (State::Book& book : state.books) {
        int done = 0;
        for (auto it = book.remote.constBegin(); it != book.remote.constEnd(); ++it) {
            CheckCancelled();
            if (m_progress && done % 64 == 0) {
                m_progress(done, static_cast<int>(book.remote.size()));
            }
            ++done;
            const QString& path = it.key();
            if (book.items.contains(path)) {
                continue;
            }
            const ContactCard fields = Storable(it->card.Fields());
            if (fields.name.isEmpty()) {
                ++state.summary.unnamed;
                continue;
            }
            // A card this book sent in a sync cut short before it was recorded names the record it
            // came from: that record's card, whatever the record is called now, and the card is
            // no newer than the record. Else the same name on both sides before their first sync
            // is one contact, merged.
            std::optional<qint64> joined = OwnRecord(state, book, it->card.Uid());
            const ContactCard base = joined ? fields : ContactCard{};
            if (!joined) {
                const auto same = state.names.constFind(Encrypt(fields.name));
                if (same != state.names.constEnd()) {
                    joined = *same;
                }
            }
            if (joined) {
                const qint64 pwdId = *joined;
                const State::Record record = Decode(m_conn, state, pwdId);
                if (record.typeNo != book.link.typeNo || state.linked.contains(pwdId)) {
                    state.summary.duplicates.append(fields.name);
                    continue;
                }
                const ContactCard merged = Merge(record.fields, base, fields, state.summary.conflicts);
                CardText card = it->card;
                card.Change(fields, merged);
                QString etag = it->etag;
                if (!Same(merged, record.fields)) {
                    Write(m_conn, state, pwdId, merged);
                }
                state.linked.insert(pwdId); // found on the server: never sent as a new card
                const bool deliver = !Same(merged, fields);
                if (deliver) {
                    const std::optional<QString> newTag =
                        Deliver(state, *book.client, book.link.path, path, card, etag, pwdId, base);
                    if (!newTag) {
                        continue;
                    }
                    etag = *newTag;
                }
                const State::Item item{path, pwdId, etag, state.records.value(pwdId).digest, card.Bytes(), {}};
                Save(m_conn, book, item);
                if (deliver) {
                    Checkpoint();
                }
                book.items.insert(path, item);
                state.linked.insert(pwdId);
                state.summary.joined.append(fields.name);
                continue;
            }
            if (const std::optional<qint64> pwdId = Insert(m_conn, state, book.link.typeNo, fields)) {
                const State::Item item{path, *pwdId, it->etag, state.records.value(*pwdId).digest, it->card.Bytes(),
                                       {}};
                Save(m_conn, book, item);
                book.items.insert(path, item);
                state.linked.insert(*pwdId);
                ++state.summary.addedHere;
            }
        }
    }
}

void SyncEngine::AddToServer(State& state)
{
    QList<qint64> fresh;
    for (auto it = state.records.constBegin(); it != state.records.constEnd(); ++it) {
        if (state.bookOfType.contains(it->typeNo) && !state.linked.contains(it.key())) {
            fresh.append(it.key());
        }
    }
    int done = 0;
    for (const qint64 pwdId : fresh) {
        CheckCancelled();
        if (m_progress) {
            m_progress(done++, static_cast<int>(fresh.size()));
        }
        const State::Record& record = Decode(m_conn, state, pwdId);
        State::Book& book = state.books[state.bookOfType.value(record.typeNo)];
        // Named after this book and the record's key, which is never reused: an upload retried
        // after an interruption lands on the same card instead of making a second one.
        const QString uid = QStringLiteral("%1-%2").arg(book.instance).arg(pwdId);
        const QString path = Folder(book.link.path) + uid + QStringLiteral(".vcf");
        const CardText card = CardText::New(record.fields, uid);
        CardText sent = card;
        std::optional<QString> etag = book.client->Put(path, card.Bytes(), QString());
        if (!etag) {
            // Our own card from a sync cut short: the record here is the newer.
            const QList<RemoteCard> there = book.client->Fetch(book.link.path, {path});
            etag = book.client->Put(path, card.Bytes(), there.value(0).etag);
            if (!etag) {
                state.summary.retryLater.append(record.fields.name);
                continue;
            }
        }
        etag = Confirm(state, *book.client, book.link.path, path, sent, *etag, pwdId);
        if (!etag) {
            state.linked.insert(pwdId); // on the server, though not as sent: joined at the next sync
            continue;
        }
        const State::Item item{path, pwdId, *etag, record.digest, sent.Bytes(), {}};
        Save(m_conn, book, item);
        Checkpoint();
        book.items.insert(path, item);
        state.linked.insert(pwdId);
        ++state.summary.addedThere;
    }
}

void SyncEngine::GuardDeletions(State& state)
{
    for (State::Book& book : state.books) {
        const qsizetype linked = book.items.size();
        qsizetype goneThere = 0; // contacts here whose cards the server no longer has
        qsizetype goneHere = 0;  // cards whose contacts were deleted here
        for (auto it = book.items.constBegin(); it != book.items.constEnd(); ++it) {
            const bool here = state.records.contains(it->pwdId);
            if (book.removed.contains(it.key())) {
                goneThere += here ? 1 : 0;
            } else if (!here && !book.remote.contains(it.key())) {
                ++goneHere;
            }
        }
        // Every card gone, or many gone just as the server stopped knowing the book's sync token:
        // the server lost the address book (deleted and made again, restored, migrated) more
        // likely than anybody deleted them.
        const auto decided = m_lostChoices.constFind(book.link.no);
        const bool lost = linked > 0 && goneThere > 0 &&
                          (decided != m_lostChoices.constEnd() || book.removed.size() == linked ||
                           (book.changes.restarted && Massive(goneThere, linked)));
        if (lost) {
            const LostBookChoice choice = decided != m_lostChoices.constEnd() ? *decided
                                          : m_askLostBook ? m_askLostBook(BookName(book), static_cast<int>(goneThere))
                                                          : LostBookChoice::Cancel;
            if (choice == LostBookChoice::Cancel) {
                throw SyncError(SyncFault::Cancelled, {});
            }
            if (choice == LostBookChoice::UploadAgain) {
                // Forget what was synced: the server's cards are joined by name, the rest sent anew.
                for (const QString& path : book.items.keys()) {
                    state.linked.remove(book.items.value(path).pwdId);
                    Unsave(m_conn, book, path);
                }
                book.removed.clear();
            }
            continue;
        }
        for (const auto& [count, onServer] : {std::pair{goneThere, false}, std::pair{goneHere, true}}) {
            if (Massive(count, linked) &&
                !(m_confirmDeletions && m_confirmDeletions(BookName(book), static_cast<int>(count), onServer))) {
                throw SyncError(SyncFault::Cancelled, {});
            }
        }
    }
}

void SyncEngine::TakeTokens(State& state)
{
    for (const State::Book& book : state.books) {
        if (!book.link.syncReport) {
            continue;
        }
        QString token = book.changes.token;
        if (book.client->Writes() > 0 && !token.isEmpty()) {
            // Our own writes moved the server on. Keeping the token from before them would hide a
            // card written here and deleted by another client before the next sync (the server
            // sees nothing between a token without the card and now): take the newer token when
            // all it adds is our own doing, else the older one, so others' changes come next time.
            const RemoteChanges since = book.client->Changes({book.link.path, book.link.displayName, true, {}}, token);
            bool ours = !since.full && !since.token.isEmpty();
            for (auto it = since.etags.constBegin(); ours && it != since.etags.constEnd(); ++it) {
                const auto item = book.items.constFind(it.key());
                ours = item != book.items.constEnd() && item->etag == it.value();
            }
            for (const QString& path : since.removed) {
                ours = ours && !book.items.contains(path);
            }
            if (ours) {
                token = since.token;
            }
        }
        UpdateSyncBookToken(m_conn, book.link.no, token);
    }
}

std::optional<QString> SyncEngine::Confirm(State& state, CardDavClient& client, const QString& bookPath,
                                           const QString& path, CardText& card, const QString& tag, qint64 pwdId)
{
    if (!tag.isEmpty()) {
        return tag; // the server names what it stored: what was sent
    }
    // Without an ETag the server may hold something other than what was sent: read it back.
    const RemoteCard back = client.Fetch(bookPath, {path}).value(0);
    if (back.data.isEmpty() && back.problem == RemoteCard::None) {
        return tag;
    }
    const std::optional<CardText> held = CardText::Parse(back.data, nullptr);
    if (!held || !Same(Storable(held->Fields()), Storable(card.Fields()))) {
        state.summary.retryLater.append(state.records.value(pwdId).fields.name);
        return std::nullopt;
    }
    card = *held;
    return back.etag;
}

std::optional<QString> SyncEngine::Deliver(State& state, CardDavClient& client, const QString& bookPath,
                                           const QString& path, CardText& card, const QString& etag, qint64 pwdId,
                                           const ContactCard& base)
{
    const std::optional<QString> tag = DeliverOnce(state, client, bookPath, path, card, etag, pwdId, base);
    return tag ? Confirm(state, client, bookPath, path, card, *tag, pwdId) : tag;
}

std::optional<QString> SyncEngine::DeliverOnce(State& state, CardDavClient& client, const QString& bookPath,
                                               const QString& path, CardText& card, const QString& etag, qint64 pwdId,
                                               const ContactCard& base)
{
    if (std::optional<QString> tag = client.Put(path, card.Bytes(), etag)) {
        return tag;
    }
    // Changed (or deleted, or made) on the server since it was listed: a conflict of this one
    // contact, merged with the server's copy as it is now and written once more.
    const RemoteCard there = client.Fetch(bookPath, {path}).value(0);
    if (there.problem != RemoteCard::None) {
        // Unreadable there now: left for the next sync, which names it.
    } else if (there.data.isEmpty()) {
        if (!etag.isEmpty()) {
            CheckLost(state, bookPath);
            if (std::optional<QString> tag = client.Put(path, card.Bytes(), QString())) {
                return tag;
            }
        }
    } else if (const std::optional<CardText> remote = CardText::Parse(there.data, nullptr)) {
        const ContactCard remoteFields = Storable(remote->Fields());
        Decode(m_conn, state, pwdId); // what this side holds, read before its view of it is taken
        const ContactCard merged = Merge(LocalView(state, pwdId, base), base, remoteFields, state.summary.conflicts);
        if (!Same(merged, state.records[pwdId].fields)) {
            Write(m_conn, state, pwdId, merged);
        }
        CardText next = *remote;
        next.Change(remoteFields, merged);
        if (Same(merged, remoteFields)) {
            card = next;
            return there.etag;
        }
        if (std::optional<QString> tag = client.Put(path, next.Bytes(), there.etag)) {
            card = next;
            return tag;
        }
    }
    state.summary.retryLater.append(state.records.value(pwdId).fields.name);
    return std::nullopt;
}
