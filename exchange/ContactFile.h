#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Contacts as they travel in and out of the address book in vCard and CSV files.

// One contact with the fields the address book keeps.
struct ContactCard
{
    QString name;
    QString category; // the record type
    QString homePhone;
    QString mobilePhone;
    QString workPhone;
    QString emails; // the e-mail list as the book stores it ("a@x; b@y")
    QString qq;
    QString msn;
    QString icq;
    QString url;
};

// What reading a file found: the contacts, what they carried that the book cannot keep (with
// counts, by a short English label such as "BDAY" or "second home phone"), and a description of
// the problem when the file could not be read at all.
struct ContactFile
{
    QList<ContactCard> cards;
    QMap<QString, int> dropped;
    QString error;
    QByteArray encoding; // the text encoding the file was read in
};

// Reads a vCard or a CSV file, whichever its content is; UTF-16 is read as the UTF-8 it holds.
ContactFile ReadContactFile(const QByteArray& bytes);
