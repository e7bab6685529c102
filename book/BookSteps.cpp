#include "book/BookSteps.h"

#include <utility>

#include "core/Errors.h"
#include "core/Language.h"
#include "store/RecordPurge.h"

template <typename F> void BookStep::Replay(F&& change)
{
    const bool replaying = std::exchange(m_book.m_replaying, true);
    try {
        change();
    } catch (...) {
        m_book.m_replaying = replaying;
        throw;
    }
    m_book.m_replaying = replaying;
}

void BookStep::redo()
{
    if (std::exchange(m_done, false)) {
        return; // done before it was recorded
    }
    Replay([this] { Redo(); });
}

void BookStep::undo()
{
    Replay([this] { Undo(); });
}

RowsStep::RowsStep(AddressBook& book, const QString& text, Kind kind, AddressBook::Copy before, AddressBook::Copy after)
    : BookStep(book, text), m_kind(kind), m_before(std::move(before)), m_after(std::move(after))
{
}

RowsStep::RowsStep(AddressBook& book, const QString& text, QList<qint64> contactIds, QList<qint64> typeNos)
    : BookStep(book, text), m_kind(Kind::Added), m_copyWhenUndone(true)
{
    m_after.contactIds = std::move(contactIds);
    m_after.typeNos = std::move(typeNos);
}

void RowsStep::Redo()
{
    m_book.Restore(m_after, m_kind == Kind::Added);
}

void RowsStep::Undo()
{
    if (m_kind == Kind::Added) {
        if (m_copyWhenUndone) {
            m_after = m_book.CopyOf(m_after.contactIds, m_after.typeNos);
            m_copyWhenUndone = false; // redo puts this copy back, and the next undo removes it
        }
        m_book.Remove(m_after);
    } else {
        m_book.Restore(m_before, false);
    }
}

DeleteContactsStep::DeleteContactsStep(AddressBook& book, const QString& text, QList<qint64> ids, qint64 batch)
    : BookStep(book, text), m_ids(std::move(ids)), m_batch(batch)
{
}

DeleteContactsStep::~DeleteContactsStep()
{
    // Done and leaving the history: nothing can bring the rows back, so they may go.
    if (m_batch > 0) {
        Purger().Release(m_batch);
    }
}

void DeleteContactsStep::Redo()
{
    m_batch = m_book.HideContacts(m_ids);
}

void DeleteContactsStep::Undo()
{
    m_book.ShowContacts(m_ids, std::exchange(m_batch, 0));
}

MoveContactsStep::MoveContactsStep(AddressBook& book, const QString& text, std::shared_ptr<MovedTypes> from,
                                   qint64 typeNo)
    : BookStep(book, text), m_from(std::move(from)), m_typeNo(typeNo)
{
}

const MovedTypes::Types& MoveContactsStep::From()
{
    try {
        return m_from->Get(m_book.Conn());
    } catch (const AppError& error) {
        throw AppError(error.Number(),
                       GetLangString(QStringLiteral("AddressBook"), QStringLiteral("88000"),
                                     QStringLiteral("The contacts cannot be moved back: the types they had before "
                                                    "the move could not be read. Nothing was changed.")) +
                           QLatin1Char('\n') + error.Description());
    }
}

void MoveContactsStep::Redo()
{
    QList<qint64> ids;
    ids.reserve(static_cast<qsizetype>(From().size()));
    for (const auto& [id, type] : From()) {
        ids.append(id);
    }
    m_book.MoveContacts(ids, m_typeNo);
}

void MoveContactsStep::Undo()
{
    m_book.MoveEach(From());
}

DeleteTypeStep::DeleteTypeStep(AddressBook& book, const QString& text, AddressBook::Copy before, qint64 target)
    : BookStep(book, text), m_before(std::move(before)), m_target(target)
{
}

void DeleteTypeStep::Redo()
{
    const qint64 typeNo = m_before.typeNos.value(0, -1);
    if (m_target < 0) {
        m_book.DeleteType(typeNo);
    } else {
        m_book.DeleteTypeMovingContacts(typeNo, m_target);
    }
}

void DeleteTypeStep::Undo()
{
    m_book.Restore(m_before, false);
}
