#include "exchange/ContactExchange.h"

#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "exchange/Csv.h"
#include "exchange/VCard.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"

namespace {

// A line break inside a value, whichever way the file wrote it (CR LF, LF, a lone CR, or one
// decoded from quoted-printable), is one LF in a field that may hold several lines, and a space in
// the type name, which is one line in the tree: never a CR, which files lose, gluing the words.
void MendLineBreaks(QString& value, bool multiLine)
{
    if (!value.contains(u'\r') && (multiLine || !value.contains(u'\n'))) {
        return;
    }
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n') {
                ++i;
            }
            out.append(multiLine ? QChar(u'\n') : QChar(u' '));
        } else {
            out.append(c);
        }
    }
    value = out;
}

// A further phone or web address stands in for the record's own field when that is empty, as a
// file read back would have it: the details hold only what the record's fields cannot.
void PromoteDetails(ContactCard& card)
{
    if (!card.sharedDetails) {
        return;
    }
    // Looked at first, so the details of most cards, which have nothing to promote, stay shared
    // with the file's.
    const ContactDetails& held = card.Details();
    const bool phoneToPromote = std::any_of(held.phones.begin(), held.phones.end(), [&card](const TypedValue& p) {
        return (p.type == QLatin1String("home") && card.homePhone.isEmpty()) ||
               (p.type == QLatin1String("cell") && card.mobilePhone.isEmpty()) ||
               (p.type == QLatin1String("work") && card.workPhone.isEmpty());
    });
    if (!phoneToPromote && !(card.url.isEmpty() && !held.urls.isEmpty())) {
        return;
    }
    ContactDetails& details = card.EditDetails();
    const std::pair<QString*, const char*> fields[] = {
        {&card.homePhone, "home"}, {&card.mobilePhone, "cell"}, {&card.workPhone, "work"}};
    for (const auto& [field, type] : fields) {
        QList<TypedValue>& phones = details.phones;
        const auto it = std::find_if(phones.begin(), phones.end(),
                                     [type](const TypedValue& p) { return p.type == QLatin1String(type); });
        if (field->isEmpty() && it != phones.end()) {
            *field = it->value;
            phones.erase(it);
        }
    }
    if (card.url.isEmpty() && !details.urls.isEmpty()) {
        card.url = details.urls.takeFirst().value;
    }
}

// Calls fn(text, multiLine) for each text of the details ContactDetails::Texts lists, until fn
// returns false; returns whether it never did. Only a note and a street may hold several lines.
template <typename Fn> bool AllDetailTexts(const ContactDetails& d, Fn&& fn)
{
    for (const QString* text : {&d.organisation, &d.department, &d.title, &d.role}) {
        if (!fn(*text, false)) {
            return false;
        }
    }
    if (!fn(d.note, true)) {
        return false;
    }
    for (const QString& nickname : d.nicknames) {
        if (!fn(nickname, false)) {
            return false;
        }
    }
    for (const PostalAddress& a : d.addresses) {
        for (const QString* part :
             {&a.type, &a.street, &a.extended, &a.poBox, &a.locality, &a.region, &a.postalCode, &a.country}) {
            if (!fn(*part, part == &a.street)) {
                return false;
            }
        }
    }
    for (const QList<TypedValue>* list : {&d.phones, &d.urls, &d.messengers}) {
        for (const TypedValue& v : *list) {
            if (!fn(v.type, false) || !fn(v.value, false)) {
                return false;
            }
        }
    }
    return true;
}

// A set of byte strings kept side by side in large blocks: a book's and a file's names cost no
// allocation each.
class NameSet
{
public:
    void Reserve(qsizetype count) { m_views.reserve(count); }
    // Adds bytes; false when they are there already.
    bool Insert(QByteArrayView bytes)
    {
        if (m_views.contains(bytes)) {
            return false;
        }
        if (m_blocks.empty() || m_used + bytes.size() > m_blockSize) {
            m_blockSize = std::max<qsizetype>(BlockBytes, bytes.size());
            m_blocks.push_back(std::make_unique<char[]>(static_cast<std::size_t>(m_blockSize)));
            m_used = 0;
        }
        char* at = m_blocks.back().get() + m_used;
        std::copy(bytes.begin(), bytes.end(), at);
        m_used += bytes.size();
        m_views.insert(QByteArrayView(at, bytes.size()));
        return true;
    }

private:
    static constexpr qsizetype BlockBytes = 1024 * 1024;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_blockSize = 0;
    qsizetype m_used = 0;
    QSet<QByteArrayView> m_views;
};

// Whether MendLineBreaks or TrimBlank would change the text.
bool NeedsMending(const QString& text, bool multiLine)
{
    return text.contains(u'\r') || (!multiLine && text.contains(u'\n')) || TrimBlank(text).size() != text.size();
}

} // namespace

ImportPlan PlanImport(Connection& conn, const ContactFile& file, const QString& defaultType,
                      const std::function<bool(int, int)>& progress)
{
    ImportPlan plan;
    plan.dropped = file.dropped;

    // Existing types by case-folded name, so "friends" joins "Friends".
    QHash<QString, QString> types;
    {
        Recordset rs;
        OpenTypes(rs, conn, LockType::ReadOnly);
        const int name = rs.FieldIndex(u"TypeName");
        for (; !rs.IsEOF(); rs.MoveNext()) {
            const QString typeName = rs.Text(name);
            types.insert(typeName.toCaseFolded(), typeName);
        }
    }
    // Names stay unique, as the record editor requires: compared as stored, enciphered.
    NameSet names;
    {
        Recordset rs;
        OpenRecordNames(rs, conn);
        names.Reserve(rs.RecordCount() + file.cards.size());
        for (; !rs.IsEOF(); rs.MoveNext()) {
            names.Insert(rs.Bytes(0));
        }
    }
    const CodePage& codePage = CodePage::System();
    QByteArray cipherName;
    plan.toAdd.reserve(file.cards.size());
    const int total = static_cast<int>(file.cards.size());
    int done = 0;
    QHash<QString, std::pair<QString, int*>> resolved; // a type name as the file gives it -> the book's, its count
    for (ContactCard card : file.cards) {
        if (progress && done++ % 1024 == 0 && !progress(done, total)) {
            ImportPlan cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        for (QString* field : {&card.name, &card.homePhone, &card.mobilePhone, &card.workPhone, &card.emails, &card.qq,
                               &card.msn, &card.icq, &card.url, &card.category}) {
            MendLineBreaks(*field, field != &card.category);
            *field = TrimBlank(*field);
        }
        PromoteDetails(card);
        // Most contacts have no details, and most details need no mending: they cost no copy here,
        // and one look at each text.
        const auto encodable = [&codePage](const QString& text, bool) { return codePage.CanEncode(text); };
        bool detailsStorable = true;
        bool mend = false;
        if (card.sharedDetails) {
            AllDetailTexts(card.Details(), [&](const QString& text, bool multiLine) {
                mend = NeedsMending(text, multiLine);
                detailsStorable = detailsStorable && encodable(text, multiLine);
                return !mend;
            });
        }
        if (mend) {
            ContactDetails& held = card.EditDetails();
            for (QString* text : held.Texts()) {
                // Only a note and a street may hold several lines.
                const bool multiLine =
                    text == &held.note || std::any_of(held.addresses.begin(), held.addresses.end(),
                                                      [text](const PostalAddress& a) { return text == &a.street; });
                MendLineBreaks(*text, multiLine);
                *text = TrimBlank(*text);
            }
            detailsStorable = AllDetailTexts(held, encodable);
        }
        if (card.name.isEmpty()) {
            ++plan.unnamed;
            continue;
        }
        const QString* fields[] = {&card.name,   &card.homePhone, &card.mobilePhone, &card.workPhone,
                                   &card.emails, &card.qq,        &card.msn,         &card.icq};
        if (!std::all_of(std::begin(fields), std::end(fields),
                         [&](const QString* f) { return codePage.CanEncode(*f); }) ||
            !detailsStorable) {
            ++plan.unstorable; // never store a value the code page would turn into '?'
            continue;
        }
        cipherName.resize(0);
        AppendEncrypted(cipherName, card.name, codePage);
        if (!names.Insert(cipherName)) {
            ++plan.alreadyThere;
            continue;
        }
        const QString& wanted = card.category.isEmpty() ? defaultType : card.category;
        // A file names few types, each many times: each name is case-folded and found once.
        auto known = resolved.constFind(wanted);
        if (known == resolved.constEnd()) {
            const QString folded = wanted.toCaseFolded();
            const auto type = types.constFind(folded);
            QString name = wanted;
            if (type == types.constEnd()) {
                types.insert(folded, wanted);
                plan.newTypes.append(wanted);
            } else {
                name = type.value();
            }
            known = resolved.insert(wanted, {name, &plan.perType[name]});
        }
        card.category = known->first;
        ++*known->second;
        plan.toAdd.append(std::move(card));
    }
    return plan;
}

std::optional<qint64> ExecuteImport(Connection& conn, const ImportPlan& plan,
                                    const std::function<bool(int, int)>& progress, ImportedKeys* added)
{
    ImportedKeys keys;
    // About 2 KiB of pages a contact with details takes, up to the cap the book's cache has.
    const LargeWriteCache cache(conn, std::clamp<qint64>(plan.toAdd.size() * 2, 8 * 1024, 256 * 1024));
    Transaction transaction(conn);
    QHash<QString, qint64> typeNumbers;
    {
        Recordset rs;
        OpenTypes(rs, conn, LockType::ReadOnly);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            typeNumbers.insert(rs.Text(u"TypeName"), rs.Integer(u"TypeNo"));
        }
    }
    for (const QString& type : plan.newTypes) {
        keys.types.append(InsertType(conn, type, QString()));
        typeNumbers.insert(type, keys.types.last());
    }
    std::optional<qint64> firstType;
    RecordInserter inserter(conn);
    ContactDetailsWriter details(conn);
    const CodePage& codePage = CodePage::System();
    // The cipher texts of one record side by side in one buffer, reused for the next.
    QByteArray cipher;
    const int total = static_cast<int>(plan.toAdd.size());
    keys.contacts.reserve(total);
    for (int i = 0; i < total; ++i) {
        if (progress && i % 256 == 0 && !progress(i, total)) {
            return std::nullopt; // the transaction rolls back
        }
        const ContactCard& card = plan.toAdd[i];
        const QString* fields[] = {&card.name,   &card.homePhone, &card.mobilePhone, &card.workPhone,
                                   &card.emails, &card.qq,        &card.msn,         &card.icq};
        qsizetype ends[std::size(fields)];
        cipher.resize(0);
        for (std::size_t f = 0; f < std::size(fields); ++f) {
            AppendEncrypted(cipher, *fields[f], codePage);
            ends[f] = cipher.size();
        }
        std::array<QByteArrayView, 8> views;
        for (std::size_t f = 0; f < views.size(); ++f) {
            const qsizetype start = f == 0 ? 0 : ends[f - 1];
            views[f] = QByteArrayView(cipher).sliced(start, ends[f] - start);
        }
        const QByteArray url = card.url.toUtf8();
        const qint64 typeNo = typeNumbers.value(card.category);
        const qint64 pwdId = inserter.Insert(typeNo, views, url);
        keys.contacts.append(pwdId);
        details.Add(pwdId, card.Details());
        if (!firstType) {
            firstType = typeNo;
        }
    }
    if (progress && !progress(total, total)) {
        return std::nullopt;
    }
    transaction.Commit();
    if (added != nullptr) {
        *added = std::move(keys);
    }
    return firstType;
}

namespace {

// The columns of a record of VPWDTable a contact is read from, looked up once per query.
struct CardColumns
{
    explicit CardColumns(const Recordset& rs)
        : id(rs.FieldIndex(u"PWDID")), type(rs.FieldIndex(u"TypeName")), url(rs.FieldIndex(u"Url")),
          fields{rs.FieldIndex(u"Name"),     rs.FieldIndex(u"F_Phone1"),  rs.FieldIndex(u"F_MobilePhone1"),
                 rs.FieldIndex(u"C_Phone1"), rs.FieldIndex(u"EMailList"), rs.FieldIndex(u"QQ"),
                 rs.FieldIndex(u"MSN"),      rs.FieldIndex(u"ICQ")}
    {
    }
    // The record's fields, deciphered; its details are the caller's to read.
    ContactCard Card(const Recordset& rs) const
    {
        ContactCard c;
        QString* values[] = {&c.name, &c.homePhone, &c.mobilePhone, &c.workPhone, &c.emails, &c.qq, &c.msn, &c.icq};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            *values[i] = Decrypt(rs.Bytes(fields[i]));
        }
        c.category = rs.Text(type);
        c.url = rs.Text(url);
        return c;
    }

    int id;
    int type;
    int url;
    int fields[8];
};

} // namespace

QList<ContactCard> ReadContacts(Connection& conn, std::optional<qint64> typeNo, const QSet<qint64>* only)
{
    Recordset rs;
    if (typeNo) {
        OpenRecordsWithTypesOfType(rs, conn, *typeNo);
    } else {
        OpenRecordsWithTypes(rs, conn);
    }
    const CardColumns columns(rs);
    QList<ContactCard> cards;
    cards.reserve(rs.RecordCount());
    ContactDetailsReader details(conn);
    for (; !rs.IsEOF(); rs.MoveNext()) {
        if (only != nullptr && !only->contains(rs.Integer(columns.id))) {
            continue;
        }
        ContactCard c = columns.Card(rs);
        if (details.HasTables()) {
            c.SetDetails(details.Read(rs.Integer(columns.id)));
        }
        cards.append(c);
    }
    return cards;
}

QList<ContactCard> ReadContactsByKey(Connection& conn, const QList<qint64>& ids)
{
    QList<ContactCard> cards;
    cards.reserve(ids.size());
    for (const qint64 id : ids) {
        Recordset rs;
        OpenRecordView(rs, conn, id);
        if (rs.IsEOF()) {
            continue;
        }
        ContactCard c = CardColumns(rs).Card(rs);
        ReleaseRecordset(rs);
        c.SetDetails(ReadContactDetails(conn, id));
        cards.append(c);
    }
    return cards;
}

namespace {

// Text from the book as UTF-8, appended to out: exactly the bytes the text would have once read
// as a QString, which for valid UTF-8 are its own.
void AppendUtf8(QByteArray& out, QByteArrayView bytes)
{
    if (bytes.isValidUtf8()) {
        out.append(bytes);
    } else {
        out.append(Utf8Text(bytes).toUtf8());
    }
}

// A deciphered field as UTF-8, appended to out; plain is working space for other code pages.
void AppendDeciphered(QByteArray& out, QByteArray& plain, QByteArrayView cipher, const CodePage& codePage)
{
    if (codePage.IsUtf8()) {
        // Deciphered in place; the rare value that is not valid UTF-8 is replaced by its text's.
        const qsizetype start = out.size();
        AppendDecryptedBytes(out, cipher);
        const QByteArrayView added = QByteArrayView(out).sliced(start);
        if (!added.isValidUtf8()) {
            const QByteArray text = Utf8Text(added).toUtf8();
            out.resize(start);
            out.append(text);
        }
        return;
    }
    plain.resize(0);
    AppendDecryptedBytes(plain, cipher);
    out.append(codePage.ToUnicode(plain).toUtf8());
}

// Written to the file a megabyte at a time.
constexpr qsizetype WriteBlockBytes = 1024 * 1024;

} // namespace

ExportResult WriteContacts(Connection& conn, QIODevice& out, ContactFormat format, std::optional<qint64> typeNo,
                           const QSet<qint64>* only, const std::function<bool(int, int)>& progress)
{
    ExportResult result;
    const int total = progress ? static_cast<int>(CountRecords(conn, typeNo)) : 0;
    const CodePage& codePage = CodePage::System();
    const VCardVersion version = format == ContactFormat::VCard30 ? VCardVersion::V30 : VCardVersion::V40;
    QByteArray block;
    block.reserve(WriteBlockBytes + 64 * 1024);
    if (format == ContactFormat::Csv) {
        block.append(CsvHeader());
    }
    // Rows come in key order: the keys wanted, in order too, are passed by as they go.
    std::vector<qint64> wanted;
    if (only != nullptr) {
        wanted.assign(only->cbegin(), only->cend());
        std::sort(wanted.begin(), wanted.end());
    }
    auto nextWanted = wanted.cbegin();
    QByteArray fields; // one record's values as UTF-8, side by side
    QByteArray plain;
    QByteArray scratch;
    ContactDetailsReader details(conn);
    ContactDetails held; // the row's details, read only when the book has any
    int row = 0;
    struct Stop
    {
    };
    try {
        ReadRecordsWithTypes(conn, typeNo, [&](const RowView& view) {
            if (progress && row % 1024 == 0 && !progress(row, total)) {
                result.cancelled = true;
                throw Stop();
            }
            ++row;
            if (only != nullptr) {
                const qint64 id = view.Integer(0);
                while (nextWanted != wanted.cend() && *nextWanted < id) {
                    ++nextWanted;
                }
                if (nextWanted == wanted.cend() || *nextWanted != id) {
                    return;
                }
            }
            // Columns 1 to 8 enciphered, 9 and 10 (type name, web address) plain.
            qsizetype ends[10];
            fields.resize(0);
            for (int column = 1; column <= 10; ++column) {
                if (column <= 8) {
                    AppendDeciphered(fields, plain, view.Bytes(column), codePage);
                } else {
                    AppendUtf8(fields, view.Bytes(column));
                }
                ends[column - 1] = fields.size();
            }
            const auto field = [&](int i) {
                const qsizetype start = i == 0 ? 0 : ends[i - 1];
                return QByteArrayView(fields).sliced(start, ends[i] - start);
            };
            if (details.HasTables()) {
                held = details.Read(view.Integer(0));
            }
            const ContactText card{field(0),
                                   field(8),
                                   field(1),
                                   field(2),
                                   field(3),
                                   field(4),
                                   field(5),
                                   field(6),
                                   field(7),
                                   field(9),
                                   !details.HasTables() || held.IsEmpty() ? nullptr : &held};
            if (format == ContactFormat::Csv) {
                AppendCsvRow(block, card);
            } else {
                AppendVCard(block, scratch, card, version);
            }
            ++result.count;
            if (block.size() >= WriteBlockBytes) {
                if (out.write(block) != block.size()) {
                    result.failed = true;
                    throw Stop();
                }
                block.resize(0);
            }
        });
    } catch (const Stop&) {
        return result;
    }
    if (!block.isEmpty() && out.write(block) != block.size()) {
        result.failed = true;
    } else if (progress && !progress(total, total)) {
        result.cancelled = true;
    }
    return result;
}
