#pragma once

#include <QUndoCommand>

#include <memory>
#include <utility>
#include <vector>

#include "book/AddressBook.h"
#include "store/RecordPurge.h"

// One step of the book's history. It is made after its change was done, so its first redo (when
// it is pushed) does nothing; later redos and undos go through the book's operations, which record
// nothing meanwhile.
class BookStep : public QUndoCommand
{
public:
    void redo() final;
    void undo() final;

protected:
    BookStep(AddressBook& book, const QString& text) : QUndoCommand(text), m_book(book) {}
    virtual void Redo() = 0;
    virtual void Undo() = 0;
    AddressBook& m_book;

private:
    template <typename F> void Replay(F&& change);
    bool m_done = true;
};

// Contacts and types that a step added, changed or removed: put back as they were stored before
// (undo) and after (redo). The rows are copies of the stored values, so keys and cipher texts come
// back the same.
class RowsStep : public BookStep
{
public:
    enum class Kind { Added, Changed };
    RowsStep(AddressBook& book, const QString& text, Kind kind, AddressBook::Copy before, AddressBook::Copy after);
    // Rows added by keys, copied only when the step is undone: an import of many contacts returns
    // without reading them all back, and undo copies them as they stand before removing them.
    RowsStep(AddressBook& book, const QString& text, QList<qint64> contactIds, QList<qint64> typeNos);

protected:
    void Redo() override;
    void Undo() override;

private:
    Kind m_kind;
    AddressBook::Copy m_before;
    AddressBook::Copy m_after;
    bool m_copyWhenUndone = false;
};

// Deleted contacts: their rows stay in the book, hidden, while the step is done and in the
// history, so undo only shows them again and redo hides them again.
class DeleteContactsStep : public BookStep
{
public:
    DeleteContactsStep(AddressBook& book, const QString& text, QList<qint64> ids, qint64 batch);
    ~DeleteContactsStep() override;
    DeleteContactsStep(const DeleteContactsStep&) = delete;
    DeleteContactsStep& operator=(const DeleteContactsStep&) = delete;

protected:
    void Redo() override;
    void Undo() override;

private:
    QList<qint64> m_ids;
    qint64 m_batch; // held while done; 0 while undone
};

// Contacts moved to one type: undo sends each back to its own. After a large move their types are
// still being read when the step is made; undoing it waits for them.
class MoveContactsStep : public BookStep
{
public:
    MoveContactsStep(AddressBook& book, const QString& text, std::shared_ptr<MovedTypes> from, qint64 typeNo);

protected:
    void Redo() override;
    void Undo() override;

private:
    const MovedTypes::Types& From();
    std::shared_ptr<MovedTypes> m_from; // key, type before
    qint64 m_typeNo;
};

// A deleted type, its contacts moved to target first or (target -1) left without a type: undo
// puts the type and those contacts back as they were stored.
class DeleteTypeStep : public BookStep
{
public:
    DeleteTypeStep(AddressBook& book, const QString& text, AddressBook::Copy before, qint64 target);

protected:
    void Redo() override;
    void Undo() override;

private:
    AddressBook::Copy m_before;
    qint64 m_target;
};
