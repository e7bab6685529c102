#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "store/BookRows.h"
#include "store/Database.h"

class QUndoStack;
struct ContactDetails;
struct ImportPlan;

// The address book the windows work on: the connection, one typed operation per change (each in
// one transaction), and the signals that say exactly what changed, so that the views bring only
// that up to date. Every change made through it can be undone for the rest of the session.
class AddressBook : public QObject
{
    Q_OBJECT

public:
    explicit AddressBook(Connection& conn, QObject* parent = nullptr);
    ~AddressBook() override;

    Connection& Conn() const { return m_conn; }
    // The steps that can be undone and redone.
    QUndoStack* History() const { return m_history; }
    // Forgets every step: the book was replaced (restore, compaction) or opened anew. True when
    // there were steps, counting those a closing of the book took since the last call.
    bool ClearHistory();

    // The whole contact: its fields (the eight cipher texts in the table's order: name, home,
    // mobile and office phone, e-mail list, QQ, MSN, ICQ), its web address (kept plain, as imports
    // keep it) and its details, written in one transaction and undone as one step. No details on a
    // book without their tables leave the book as it was.
    qint64 AddContact(qint64 typeNo, const QStringList& cipherFields, const QString& url,
                      const ContactDetails& details);
    void UpdateContact(qint64 pwdId, qint64 typeNo, const QStringList& cipherFields, const QString& url,
                       const ContactDetails& details);
    // All of them or none, each one short write; the rows follow in the background.
    void DeleteContacts(const QList<qint64>& ids);
    // fromType: the type all of them are in now, when the caller knows it (a drag out of a type's
    // list), which spares reading it for the undo step; -1 reads it from the book.
    void MoveContacts(const QList<qint64>& ids, qint64 typeNo, qint64 fromType = -1);
    // Hides contacts as deleted and returns their batch, held until released; ShowContacts brings
    // a held batch back and releases it. For the steps of the history.
    qint64 HideContacts(const QList<qint64>& ids);
    void ShowContacts(const QList<qint64>& ids, qint64 batch);

    // Types.
    qint64 AddType(const QString& name, const QString& description);
    void UpdateType(qint64 typeNo, const QString& name, const QString& description);
    // The type goes; its contacts stay in the book without a type.
    void DeleteType(qint64 typeNo);
    // Its contacts go to target first.
    void DeleteTypeMovingContacts(qint64 typeNo, qint64 target);

    // A planned import, as one step; the first type that received contacts, nothing when
    // cancelled.
    std::optional<qint64> Import(const ImportPlan& plan, const std::function<bool(int, int)>& progress = {});

    // Changes made on another connection (a sync, after its merge): the views learn of them like
    // of any other. They are not steps of the history. Called on the windows' thread.
    void NoteExternalChanges(const QList<qint64>& added, const QList<qint64>& changed, const QList<qint64>& removed,
                             bool typesChanged);
    // The account in use changed (its name shows in the main window).
    void NoteAccountChanged() { emit AccountChanged(); }

    // Tables of further details of a contact, keyed by PWDID: a step copies and restores their
    // rows with the contact's.
    static void AddContactTable(const QString& table);

    // What a step keeps to restore contacts and types exactly: their stored rows.
    struct Copy
    {
        std::vector<StoredRows> contacts; // the contact table, then each table of details
        StoredRows types;
        QList<qint64> contactIds;
        QList<qint64> typeNos;
        bool cancelled = false;
    };
    // progress as CopyRows takes it; the copy is empty when it says stop.
    Copy CopyOf(const QList<qint64>& contactIds, const QList<qint64>& typeNos = {},
                const std::function<bool(qint64, qint64)>& progress = {});
    // Puts the copied rows back over what is stored, in one transaction; added says the contacts
    // were not in the book (else they changed).
    void Restore(const Copy& copy, bool added);
    // Removes the copied contacts and types, in one transaction.
    void Remove(const Copy& copy);
    // Moves each contact back to its own type: pairs of key and type.
    void MoveEach(const std::vector<std::pair<qint64, qint64>>& types);

signals:
    // A write is about to start on the connection: readers of the book on other connections of
    // this process stop (or yield) first, so that the write does not wait for them.
    void AboutToWrite();
    void ContactsAdded(const QList<qint64>& ids);
    void ContactsChanged(const QList<qint64>& ids);
    // The contacts now belong to typeNo; nothing else of them changed.
    void ContactsMoved(const QList<qint64>& ids, qint64 typeNo);
    void ContactsRemoved(const QList<qint64>& ids);
    void TypesChanged();
    // The user saved this contact under typeNo (a new one or an edit): the windows show it.
    void ContactSaved(qint64 pwdId, qint64 typeNo);
    // The user saved this type (a new one or an edit): the windows show it.
    void TypeSaved(qint64 typeNo);
    // How many contacts some type holds changed.
    void CountsChanged();
    void AccountChanged();

private:
    void Record(class QUndoCommand* step);
    class QUndoCommand* MoveStep(const QList<qint64>& ids, std::shared_ptr<class MovedTypes> from, qint64 typeNo);
    // Waits for what must end before the book is written, then says a write starts.
    void BeforeWrite();

    Connection& m_conn;
    QUndoStack* m_history;
    bool m_replaying = false; // while a step is undone or redone: it records nothing
    bool m_stepsLostAtClose = false;
    friend class BookStep;
};

// The book of the program's connection.
AddressBook& TheBook();
