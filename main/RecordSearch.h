#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class Connection;

// What a search looks in: columns of the record (enciphered), its web address (kept as typed) and
// details of the contact. Details are read only when one is chosen, so a search of the record's
// fields costs what it always has.
struct SearchFields
{
    QStringList columns;     // of PWDTable
    bool url = false;        // the record's web address
    QStringList detailKinds; // of ContactDetail
    bool addresses = false;  // every part of every postal address

    bool NeedsDetails() const { return addresses || !detailKinds.isEmpty(); }
    // The record's fields, its web address and every detail.
    static SearchFields All(const QStringList& recordColumns);
};

// One entry of the search field chooser beyond the record's own columns.
struct SearchChoice
{
    const char* key; // in the window's language section
    const char* english;
    SearchFields fields;
};
// The details a user can search one kind at a time, in the order the chooser lists them.
const std::vector<SearchChoice>& DetailSearchChoices();

// Reads conn's live records in key order and hands found each one whose chosen fields contain text
// (see SearchMatcher), with the enciphered value of sortColumn. Before each record it asks
// keepGoing, when given, whether to go on.
void SearchRecords(Connection& conn, const QString& text, bool matchCase, const SearchFields& fields,
                   const QString& sortColumn, const std::function<void(qint64 id, QByteArrayView sortCipher)>& found,
                   const std::function<bool()>& keepGoing = {});
