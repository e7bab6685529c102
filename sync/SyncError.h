#pragma once

#include <QString>

#include <stdexcept>

// Why a sync stopped. The window turns the kind into a sentence in the user's language; the
// detail is the server's or the network's own words, never a credential.
enum class SyncFault {
    Insecure,      // plain HTTP to a host other than this computer
    Certificate,   // the server's certificate failed verification
    Network,       // no connection, connection dropped, response cut short
    Timeout,       // the server stopped answering
    Refused,       // wrong user name or password
    Http,          // any other HTTP error
    Malformed,     // the server's XML or a vCard could not be read
    NoAddressBook, // discovery found nothing to sync with
    Changed,       // a card changed on the server while this sync wrote it
    AlreadyLinked, // the address book is linked with a type already
    TooLarge,      // an answer larger than the book could need
    Cancelled,
};

class SyncError : public std::runtime_error
{
public:
    SyncError(SyncFault fault, const QString& detail);

    SyncFault Fault() const { return m_fault; }
    const QString& Detail() const { return m_detail; }

private:
    SyncFault m_fault;
    QString m_detail;
};
