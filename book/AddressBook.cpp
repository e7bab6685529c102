#include "book/AddressBook.h"

#include <QUndoStack>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <utility>

#include "book/BookSteps.h"
#include "core/Language.h"
#include "exchange/ContactExchange.h"
#include "store/ContactDetails.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"

namespace {

const QString ContactTable = QStringLiteral("PWDTable");
const QString ContactKey = QStringLiteral("PWDID");
const QString TypeTable = QStringLiteral("PWDType");
const QString TypeKey = QStringLiteral("TypeNo");

QStringList& DetailTables()
{
    static QStringList tables;
    return tables;
}

QString Step(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("AddressBook"), QLatin1String(key), QLatin1String(english));
}

QString CountStep(const char* key, const char* many, const char* one, qint64 count)
{
    return GetCountString(QStringLiteral("AddressBook"), QLatin1String(key), QLatin1String(many), QLatin1String(one),
                          count);
}

QString Named(QString text, const QString& name)
{
    return text.replace(QLatin1String("%name%"), name);
}

QString TypeName(const AddressBook::Copy& copy)
{
    return copy.types.Text(0, QStringLiteral("TypeName"));
}

QString ContactName(const QStringList& cipherFields)
{
    return Decrypt(cipherFields.value(0));
}

} // namespace

AddressBook::AddressBook(Connection& conn, QObject* parent)
    : QObject(parent), m_conn(conn), m_history(new QUndoStack(this))
{
    // A step keeps copies of the rows it changed: the oldest go, so a session of large deletes
    // does not hold them all.
    m_history->setUndoLimit(100);
    for (const QString& table : ContactDetailTables()) {
        AddContactTable(table);
    }
    // The steps hold rows of the book as it is open now; closing it (restore, compaction, a new
    // key) settles what they hold, so they go with it.
    conn.AddOpenObserver([this](Connection&, bool opened) {
        if (!opened && m_history->count() > 0) {
            m_history->clear();
            m_stepsLostAtClose = true;
        }
    });
}

AddressBook::~AddressBook() = default;

AddressBook& TheBook()
{
    static auto* book = new AddressBook(Conn);
    return *book;
}

void AddressBook::AddContactTable(const QString& table)
{
    if (!DetailTables().contains(table)) {
        DetailTables().append(table);
    }
}

bool AddressBook::ClearHistory()
{
    const bool hadSteps = m_history->count() > 0 || std::exchange(m_stepsLostAtClose, false);
    m_history->clear();
    return hadSteps;
}

void AddressBook::Record(QUndoCommand* step)
{
    if (m_replaying) {
        delete step;
        return;
    }
    m_history->push(step);
}

AddressBook::Copy AddressBook::CopyOf(const QList<qint64>& contactIds, const QList<qint64>& typeNos,
                                      const std::function<bool(qint64, qint64)>& progress)
{
    Copy copy;
    copy.contactIds = contactIds;
    copy.typeNos = typeNos;
    if (!contactIds.isEmpty()) {
        copy.contacts.push_back(CopyRows(m_conn, ContactTable, ContactKey, contactIds, progress));
        if (copy.contacts.back().cancelled) {
            return Copy{{}, {}, {}, {}, true};
        }
        for (const QString& table : DetailTables()) {
            // Tables of details come with the first detail stored: a book may not have them yet.
            if (!m_conn.HasTable(table.toLatin1().constData())) {
                continue;
            }
            copy.contacts.push_back(CopyRows(m_conn, table, ContactKey, contactIds));
        }
    }
    if (!typeNos.isEmpty()) {
        copy.types = CopyRows(m_conn, TypeTable, TypeKey, typeNos);
    }
    return copy;
}

void AddressBook::Restore(const Copy& copy, bool added)
{
    BeforeWrite();
    {
        Transaction transaction(m_conn);
        PutRows(m_conn, copy.types);
        QStringList copied;
        for (const StoredRows& rows : copy.contacts) {
            if (rows.table != ContactTable) {
                // Details are put back whole: those added since the copy go.
                RemoveRows(m_conn, rows.table, ContactKey, copy.contactIds);
                copied.append(rows.table);
            }
            PutRows(m_conn, rows);
        }
        // A table made after the copy (the contact's first detail) held nothing of these contacts
        // then, so nothing of them stays in it.
        for (const QString& table : DetailTables()) {
            if (!copy.contactIds.isEmpty() && !copied.contains(table) &&
                m_conn.HasTable(table.toLatin1().constData())) {
                RemoveRows(m_conn, table, ContactKey, copy.contactIds);
            }
        }
        // A row put back is the contact as stored then: a move or delete still being written for
        // it no longer applies. (Replacing a row fires no delete trigger, so this is said here.)
        for (const char* pending : {"PWDMoving", "PWDDeleted"}) {
            if (!copy.contactIds.isEmpty() && m_conn.HasTable(pending)) {
                RemoveRows(m_conn, QString::fromLatin1(pending), ContactKey, copy.contactIds);
            }
        }
        transaction.Commit();
    }
    if (!copy.typeNos.isEmpty()) {
        emit TypesChanged();
    }
    if (!copy.contactIds.isEmpty()) {
        if (added) {
            emit ContactsAdded(copy.contactIds);
        } else {
            emit ContactsChanged(copy.contactIds);
        }
    }
    emit CountsChanged();
}

void AddressBook::Remove(const Copy& copy)
{
    BeforeWrite();
    {
        Transaction transaction(m_conn);
        for (const StoredRows& rows : copy.contacts) {
            RemoveRows(m_conn, rows.table, ContactKey, copy.contactIds);
        }
        RemoveRows(m_conn, TypeTable, TypeKey, copy.typeNos);
        transaction.Commit();
    }
    if (!copy.contactIds.isEmpty()) {
        emit ContactsRemoved(copy.contactIds);
    }
    if (!copy.typeNos.isEmpty()) {
        emit TypesChanged();
    }
    emit CountsChanged();
}

void AddressBook::MoveEach(const std::vector<std::pair<qint64, qint64>>& types)
{
    BeforeWrite();
    std::map<qint64, QList<qint64>> byType;
    for (const auto& [id, type] : types) {
        byType[type].append(id);
    }
    {
        Transaction transaction(m_conn);
        for (const auto& [type, ids] : byType) {
            for (const qint64 id : ids) {
                MoveRecordToType(m_conn, id, type);
            }
        }
        transaction.Commit();
    }
    for (const auto& [type, ids] : byType) {
        emit ContactsMoved(ids, type);
    }
    emit CountsChanged();
}

// Only the user adds and edits contacts this way (the history's steps put rows back whole), so
// each is a step of its own and the windows show the saved contact.
qint64 AddressBook::AddContact(qint64 typeNo, const QStringList& cipherFields, const QString& url,
                               const ContactDetails& details)
{
    BeforeWrite();
    qint64 id = 0;
    {
        Transaction transaction(m_conn);
        id = InsertRecord(m_conn, typeNo, cipherFields, url);
        WriteContactDetails(m_conn, id, details);
        transaction.Commit();
    }
    const QString text = Named(Step("66004", "new contact “%name%”"), ContactName(cipherFields));
    Record(new RowsStep(*this, text, RowsStep::Kind::Added, {}, CopyOf({id})));
    emit ContactsAdded({id});
    emit CountsChanged();
    emit ContactSaved(id, typeNo);
    return id;
}

void AddressBook::UpdateContact(qint64 pwdId, qint64 typeNo, const QStringList& cipherFields, const QString& url,
                                const ContactDetails& details)
{
    BeforeWrite();
    Copy before = CopyOf({pwdId});
    {
        Transaction transaction(m_conn);
        ::UpdateRecord(m_conn, pwdId, typeNo, cipherFields, url);
        WriteContactDetails(m_conn, pwdId, details);
        transaction.Commit();
    }
    const QString text = Named(Step("66005", "edit of “%name%”"), ContactName(cipherFields));
    Record(new RowsStep(*this, text, RowsStep::Kind::Changed, std::move(before), CopyOf({pwdId})));
    emit ContactsChanged({pwdId});
    emit CountsChanged();
    emit ContactSaved(pwdId, typeNo);
}

void AddressBook::DeleteContacts(const QList<qint64>& ids)
{
    BeforeWrite();
    const qint64 batch = HideContacts(ids);
    if (!m_replaying) {
        const QString text =
            CountStep("66001", "delete of %count% contacts", "delete of 1 contact", static_cast<qint64>(ids.size()));
        Record(new DeleteContactsStep(*this, text, ids, batch));
    } else {
        Purger().Release(batch);
    }
}

qint64 AddressBook::HideContacts(const QList<qint64>& ids)
{
    BeforeWrite();
    // One short write: every reader skips the contacts at once. Their rows stay, hidden and held,
    // while a step of the history can bring them back; the purger removes them once none can.
    const qint64 batch = MarkRecordsDeleted(m_conn, ids);
    emit ContactsRemoved(ids);
    emit CountsChanged();
    return batch;
}

void AddressBook::ShowContacts(const QList<qint64>& ids, qint64 batch)
{
    BeforeWrite();
    if (!UnmarkRecords(m_conn, batch)) {
        // Only a book closed since (restore, compaction, a new key) loses held rows, and that
        // clears the history: this is a fault, said as one.
        throw std::runtime_error("the deleted contacts are no longer in the book");
    }
    Purger().Release(batch);
    emit ContactsAdded(ids);
    emit CountsChanged();
}

void AddressBook::MoveContacts(const QList<qint64>& ids, qint64 typeNo, qint64 fromType)
{
    BeforeWrite();
    // One short write: readers see the contacts under typeNo at once, the rows follow in the
    // background. Their types before it are kept for the undo step; after a large move they are
    // read meanwhile.
    if (m_replaying) {
        MarkRecordsMoved(m_conn, ids, typeNo);
    } else if (fromType >= 0) {
        MarkRecordsMoved(m_conn, ids, typeNo);
        // In key order, as the book would give them.
        QList<qint64> sorted = ids;
        std::sort(sorted.begin(), sorted.end());
        MovedTypes::Types from;
        from.reserve(static_cast<std::size_t>(sorted.size()));
        for (const qint64 id : sorted) {
            from.emplace_back(id, fromType);
        }
        Record(MoveStep(ids, std::make_shared<MovedTypes>(std::move(from)), typeNo));
    } else {
        Record(MoveStep(ids, MarkRecordsMovedReadingTypes(m_conn, ids, typeNo), typeNo));
    }
    emit ContactsMoved(ids, typeNo);
    emit CountsChanged();
}

QUndoCommand* AddressBook::MoveStep(const QList<qint64>& ids, std::shared_ptr<MovedTypes> from, qint64 typeNo)
{
    const QString text =
        CountStep("66002", "move of %count% contacts", "move of 1 contact", static_cast<qint64>(ids.size()));
    return new MoveContactsStep(*this, text, std::move(from), typeNo);
}

void AddressBook::BeforeWrite()
{
    // A write on the window's connection could change rows whose types are being read for the
    // undo of a move (and, in this journal mode, would wait for that read to commit anyway).
    Purger().WaitForMovedTypes();
    emit AboutToWrite();
}

qint64 AddressBook::AddType(const QString& name, const QString& description)
{
    BeforeWrite();
    const qint64 typeNo = InsertType(m_conn, name, description);
    if (!m_replaying) {
        Record(new RowsStep(*this, Named(Step("66006", "new type “%name%”"), name), RowsStep::Kind::Added, {},
                            CopyOf({}, {typeNo})));
    }
    emit TypesChanged();
    if (!m_replaying) {
        emit TypeSaved(typeNo);
    }
    return typeNo;
}

void AddressBook::UpdateType(qint64 typeNo, const QString& name, const QString& description)
{
    BeforeWrite();
    Copy before = m_replaying ? Copy{} : CopyOf({}, {typeNo});
    ::UpdateType(m_conn, typeNo, name, description);
    if (!m_replaying) {
        // Named before the copy moves into the step.
        const QString text = Named(Step("66007", "edit of type “%name%”"), TypeName(before));
        Record(new RowsStep(*this, text, RowsStep::Kind::Changed, std::move(before), CopyOf({}, {typeNo})));
    }
    emit TypesChanged();
    if (!m_replaying) {
        emit TypeSaved(typeNo);
    }
}

void AddressBook::DeleteType(qint64 typeNo)
{
    BeforeWrite();
    Copy before = m_replaying ? Copy{} : CopyOf({}, {typeNo});
    ::DeleteType(m_conn, typeNo);
    if (!m_replaying) {
        const QString text = Named(Step("66008", "delete of type “%name%”"), TypeName(before));
        Record(new DeleteTypeStep(*this, text, std::move(before), -1));
    }
    emit TypesChanged();
    emit CountsChanged();
}

void AddressBook::DeleteTypeMovingContacts(qint64 typeNo, qint64 target)
{
    BeforeWrite();
    QList<qint64> moved;
    m_conn.ForEachRow(QStringLiteral("Select PWDID From VPWDTable Where TypeNo = ?"), {typeNo},
                      [&](const RowView& row) { moved.append(row.Integer(0)); });
    Copy before = m_replaying ? Copy{} : CopyOf(moved, {typeNo});
    MarkTypeMovedAndDelete(m_conn, typeNo, target);
    if (!m_replaying) {
        const QString text = Named(Step("66008", "delete of type “%name%”"), TypeName(before));
        Record(new DeleteTypeStep(*this, text, std::move(before), target));
    }
    emit TypesChanged();
    emit ContactsMoved(moved, target);
    emit CountsChanged();
}

std::optional<qint64> AddressBook::Import(const ImportPlan& plan, const std::function<bool(int, int)>& progress)
{
    BeforeWrite();
    ImportedKeys added;
    const std::optional<qint64> firstType = ExecuteImport(m_conn, plan, progress, &added);
    if (!firstType) {
        return firstType;
    }
    const QList<qint64>& contacts = added.contacts;
    const QList<qint64>& types = added.types;
    if (!m_replaying) {
        const QString text = CountStep("66003", "import of %count% contacts", "import of 1 contact",
                                       static_cast<qint64>(contacts.size()));
        Record(new RowsStep(*this, text, contacts, types));
    }
    if (!types.isEmpty()) {
        emit TypesChanged();
    }
    emit ContactsAdded(contacts);
    emit CountsChanged();
    return firstType;
}

void AddressBook::NoteExternalChanges(const QList<qint64>& added, const QList<qint64>& changed,
                                      const QList<qint64>& removed, bool typesChanged)
{
    if (typesChanged) {
        emit TypesChanged();
    }
    if (!removed.isEmpty()) {
        emit ContactsRemoved(removed);
    }
    if (!added.isEmpty()) {
        emit ContactsAdded(added);
    }
    if (!changed.isEmpty()) {
        emit ContactsChanged(changed);
    }
    if (!added.isEmpty() || !removed.isEmpty() || !changed.isEmpty()) {
        emit CountsChanged();
    }
}
