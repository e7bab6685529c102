#pragma once

#include <QSet>

#include <functional>
#include <optional>

#include "exchange/ContactFile.h"

class Connection;
class QIODevice;

// What an import would write, worked out before anything is written, so the user can be told
// exactly what is added, under which types, and what is left out.
struct ImportPlan
{
    QList<ContactCard> toAdd; // each with the name of the type it goes to
    QStringList newTypes;     // types to create, in order of first use
    QMap<QString, int> perType;
    int alreadyThere = 0; // names that exist in the book or earlier in the file
    int unnamed = 0;
    int unstorable = 0; // values the code page cannot hold
    QMap<QString, int> dropped;
    bool cancelled = false; // the planning's progress said stop: nothing else is filled in
};

// Plans an import of file into the book on conn: contacts without a category go to
// defaultType; categories and existing types are matched without regard to case.
// progress(done, total) may return false to stop planning; the plan is then empty and cancelled.
ImportPlan PlanImport(Connection& conn, const ContactFile& file, const QString& defaultType,
                      const std::function<bool(int, int)>& progress = {});

// The keys an import gave, in the order it gave them.
struct ImportedKeys
{
    QList<qint64> contacts;
    QList<qint64> types;
};

// Writes the plan in one transaction, every field enciphered and trimmed as the record editor
// stores it. progress(done, total) may return false to cancel: then nothing is written and the
// result is empty. Returns the TypeNo of the first type that received contacts; added, when
// given, receives the keys of the contacts and types written.
std::optional<qint64> ExecuteImport(Connection& conn, const ImportPlan& plan,
                                    const std::function<bool(int, int)>& progress = {}, ImportedKeys* added = nullptr);

// The contacts of the book, deciphered, in key order: all, or one type's, optionally only those
// whose keys are in `only`.
QList<ContactCard> ReadContacts(Connection& conn, std::optional<qint64> typeNo = std::nullopt,
                                const QSet<qint64>* only = nullptr);

// The contacts of these keys, deciphered with their details, in the order given: each read by its
// key, so a few cost a few reads however large the book is. A key no contact has is passed by.
QList<ContactCard> ReadContactsByKey(Connection& conn, const QList<qint64>& ids);

enum class ContactFormat { VCard40, VCard30, Csv };

// What WriteContacts did.
struct ExportResult
{
    int count = 0;          // contacts written
    bool cancelled = false; // progress said stop
    bool failed = false;    // a write failed: out's error says why
};

// Writes the contacts ReadContacts would read to out, exactly as WriteVCards or WriteCsv would
// write them, without holding them all: rows are read, deciphered and written a block at a time.
// On a cancel or a failed write it stops; what was written is the caller's to discard.
ExportResult WriteContacts(Connection& conn, QIODevice& out, ContactFormat format,
                           std::optional<qint64> typeNo = std::nullopt, const QSet<qint64>* only = nullptr,
                           const std::function<bool(int, int)>& progress = {});
