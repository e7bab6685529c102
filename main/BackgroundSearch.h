#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "main/BackgroundReader.h"
#include "main/RecordSearch.h"

// The search while the user types: the book is read on a thread of its own, through a connection
// of its own, and the records found are handed to the window as they come, so typing goes on
// while a large book is searched. Each record found is kept with its key and the text of the
// column the list sorts by.
class BackgroundSearch : public BackgroundReader
{
    Q_OBJECT

public:
    struct Request
    {
        QString text;          // trimmed
        bool matchCase = true; // letter for letter; false ignores case and accents
        SearchFields fields;   // any of them may hold the text
        QString sortColumn;    // read along, for the list's order
    };

    explicit BackgroundSearch(QObject* parent = nullptr);
    ~BackgroundSearch() override; // stops the search and waits for its thread

    // Starts a search of conn's book, stopping the one under way; what it found is dropped.
    void Start(const Connection& conn, Request request);
    // Stop() ends the search under way, if any; what it found so far stays.
    const Request& Current() const { return m_request; }

    // What was found so far, in key order.
    qsizetype Count() const { return static_cast<qsizetype>(m_ids.size()); }
    qint64 Id(qsizetype i) const { return m_ids[static_cast<std::size_t>(i)]; }
    QByteArrayView SortText(qsizetype i) const;

signals:
    void Found();                        // more records arrived
    void Finished(const QString& error); // the book was read to its end (error empty) or not

private:
    struct Pending;
    void TakePending(); // on the window's thread

    Request m_request;
    std::shared_ptr<Pending> m_pending;
    std::vector<qint64> m_ids;
    std::vector<char> m_bytes;
    std::vector<std::pair<std::size_t, std::size_t>> m_spans; // offset and length in m_bytes
};
