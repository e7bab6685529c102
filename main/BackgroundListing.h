#pragma once

#include <QCollator>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "main/BackgroundReader.h"
#include "main/ColumnTexts.h"
#include "main/SortKeys.h"

class CarriedRows;

// A long read for the list on a thread of its own, through a connection of its own: one column of
// the records of a type (or of every record), read while the window goes on answering. The first
// rows are handed over as soon as there is a screenful; at the end every row, in key order, with
// each row's place in the list's order made on the same thread, so the window only adopts them.
class BackgroundListing : public BackgroundReader
{
    Q_OBJECT

public:
    struct Request
    {
        qint64 typeNo = -1;  // -1 for every record
        QString field;       // the stored column read
        int column = 0;      // the list's column it fills
        QCollator collator;  // the list's, for the places
        bool resort = false; // read for a re-sort of rows the list already shows
        // The texts of records a move just took to the type, as the list held them: not read again.
        std::shared_ptr<const CarriedRows> carried;
        std::size_t expected = 0; // about how many rows the read will give, when known
    };

    // Keys in the order read (the first rows) or ascending (all rows), the column's cipher texts
    // (row i's at i) as the list keeps them, and for all rows each one's place by the column's
    // text (equal texts equal).
    struct Rows
    {
        RowKeys ids;
        ColumnTexts texts;
        RowPlaces ranks;
    };

    // The first rows handed over, once the read has gone on for FirstRowsAfter: a read done by
    // then hands over only all its rows.
    static constexpr std::size_t FirstScreen = 200;
    static constexpr std::chrono::milliseconds FirstRowsAfter{50};
    // While set, a read hands over its first rows as soon as it has read them, and waits then
    // (until cleared or abandoned): the tests' way to act on the list while rows are still to come.
    static std::atomic<bool> HoldAfterFirstRows;

    explicit BackgroundListing(QObject* parent = nullptr);
    ~BackgroundListing() override; // stops the read and waits for its thread

    // Opens the reader ahead of the first read, and readies what making the keys of a long list
    // in collator's order takes the first time in a session (the collation's data, its shortcuts).
    void Prepare(const Connection& conn, const QCollator& collator);
    // Starts reading conn's book, abandoning the read under way.
    void Start(const Connection& conn, Request request);
    const Request& Current() const { return m_request; }

    // What the last FirstRows or Finished handed over; taken once.
    Rows TakeRows() { return std::move(m_rows); }

signals:
    void FirstRows();
    void Finished(const QString& error); // empty when every row was read

private:
    Request m_request;
    Rows m_rows;
};
