#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "core/TextUtil.h"

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

// The text of a file whose encoding is not declared: a byte-order mark, UTF-16 by its pattern of
// zero bytes, or valid UTF-8 first, otherwise the encoding ICU's detector names (GB18030, Big5,
// Windows-1252, ...). *unreadable counts the bytes the chosen encoding could not read.
QString DecodeText(const QByteArray& bytes, QByteArray* encoding = nullptr, qsizetype* unreadable = nullptr);
// The encoding of text DecodeText would choose, without decoding it.
QByteArray TextEncoding(const QByteArray& bytes);
// UTF-16 text as UTF-8 with a byte-order mark; any other unchanged.
QByteArray NarrowText(const QByteArray& bytes);
// The legacy encoding of bytes that are not UTF-8, as iconv names it.
QByteArray LegacyEncoding(const QByteArray& bytes);

// Reads vCard 2.1, 3.0 and 4.0 (several cards per file).
ContactFile ReadVCards(const QByteArray& bytes);
// Reads CSV with a header row, separated by commas, semicolons or tabs.
ContactFile ReadCsv(const QByteArray& bytes);
// Either, by the file's content.
ContactFile ReadContactFile(const QByteArray& bytes);

enum class VCardVersion { V30, V40 };
QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version);
QByteArray WriteCsv(const QList<ContactCard>& cards);
