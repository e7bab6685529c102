#include "exchange/ContactExchange.h"

#include <QHash>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"

namespace {

QStringList CardFields(const ContactCard& c)
{
    return {c.name, c.homePhone, c.mobilePhone, c.workPhone, c.emails, c.qq, c.msn, c.icq};
}

} // namespace

ImportPlan PlanImport(Connection& conn, const ContactFile& file, const QString& defaultType)
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
    QSet<QString> names;
    {
        Recordset rs;
        OpenRecordNames(rs, conn);
        for (; !rs.IsEOF(); rs.MoveNext()) {
            names.insert(rs.Text(0));
        }
    }
    const CodePage& codePage = CodePage::System();
    for (ContactCard card : file.cards) {
        for (QString* field : {&card.name, &card.homePhone, &card.mobilePhone, &card.workPhone, &card.emails, &card.qq,
                               &card.msn, &card.icq, &card.url, &card.category}) {
            *field = TrimBlank(*field);
        }
        if (card.name.isEmpty()) {
            ++plan.unnamed;
            continue;
        }
        const QStringList fields = CardFields(card);
        if (!std::all_of(fields.begin(), fields.end(), [&](const QString& f) { return codePage.CanEncode(f); })) {
            ++plan.unstorable; // never store a value the code page would turn into '?'
            continue;
        }
        const QString cipherName = Encrypt(card.name);
        if (names.contains(cipherName)) {
            ++plan.alreadyThere;
            continue;
        }
        names.insert(cipherName);
        const QString wanted = card.category.isEmpty() ? defaultType : card.category;
        const QString folded = wanted.toCaseFolded();
        if (!types.contains(folded)) {
            types.insert(folded, wanted);
            plan.newTypes.append(wanted);
        }
        card.category = types.value(folded);
        ++plan.perType[card.category];
        plan.toAdd.append(card);
    }
    return plan;
}

std::optional<qint64> ExecuteImport(Connection& conn, const ImportPlan& plan,
                                    const std::function<bool(int, int)>& progress)
{
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
        typeNumbers.insert(type, InsertType(conn, type, QString()));
    }
    std::optional<qint64> firstType;
    RecordInserter inserter(conn);
    const int total = static_cast<int>(plan.toAdd.size());
    for (int i = 0; i < total; ++i) {
        if (progress && i % 256 == 0 && !progress(i, total)) {
            return std::nullopt; // the transaction rolls back
        }
        const ContactCard& card = plan.toAdd[i];
        QStringList cipher;
        for (const QString& field : CardFields(card)) {
            cipher.append(Encrypt(field));
        }
        const qint64 typeNo = typeNumbers.value(card.category);
        inserter.Insert(typeNo, cipher, card.url);
        if (!firstType) {
            firstType = typeNo;
        }
    }
    if (progress && !progress(total, total)) {
        return std::nullopt;
    }
    transaction.Commit();
    return firstType;
}

QList<ContactCard> ReadContacts(Connection& conn, std::optional<qint64> typeNo, const QSet<qint64>* only,
                                const std::function<bool(int, int)>& progress, bool* cancelled)
{
    if (cancelled != nullptr) {
        *cancelled = false;
    }
    Recordset rs;
    if (typeNo) {
        OpenRecordsWithTypesOfType(rs, conn, *typeNo);
    } else {
        OpenRecordsWithTypes(rs, conn);
    }
    const int id = rs.FieldIndex(u"PWDID");
    const int type = rs.FieldIndex(u"TypeName");
    const int url = rs.FieldIndex(u"Url");
    const int columns[] = {rs.FieldIndex(u"Name"),     rs.FieldIndex(u"F_Phone1"),  rs.FieldIndex(u"F_MobilePhone1"),
                           rs.FieldIndex(u"C_Phone1"), rs.FieldIndex(u"EMailList"), rs.FieldIndex(u"QQ"),
                           rs.FieldIndex(u"MSN"),      rs.FieldIndex(u"ICQ")};
    QList<ContactCard> cards;
    cards.reserve(rs.RecordCount());
    const int total = rs.RecordCount();
    for (int row = 0; !rs.IsEOF(); rs.MoveNext(), ++row) {
        if (progress && row % 1024 == 0 && !progress(row, total)) {
            if (cancelled != nullptr) {
                *cancelled = true;
            }
            return {};
        }
        if (only != nullptr && !only->contains(rs.Integer(id))) {
            continue;
        }
        ContactCard c;
        QString* fields[] = {&c.name, &c.homePhone, &c.mobilePhone, &c.workPhone, &c.emails, &c.qq, &c.msn, &c.icq};
        for (std::size_t i = 0; i < std::size(columns); ++i) {
            *fields[i] = Decrypt(rs.Bytes(columns[i]));
        }
        c.category = rs.Text(type);
        c.url = rs.Text(url);
        cards.append(c);
    }
    return cards;
}
