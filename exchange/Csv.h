#pragma once

#include <QByteArray>
#include <QList>

#include "exchange/ContactFile.h"
#include "exchange/FilePieces.h"

class QIODevice;

// Reads CSV with a header row, separated by commas, semicolons or tabs.
ContactFile ReadCsv(const QByteArray& bytes);
// The same from a device, pieceBytes at a time, without holding the file whole (but a UTF-16 one).
// The encoding is judged on the first EncodingPrefixBytes.
ContactFile ReadCsv(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes);
QByteArray WriteCsv(const QList<ContactCard>& cards);
// What WriteCsv writes before the first contact, and for each contact.
QByteArrayView CsvHeader();
void AppendCsvRow(QByteArray& out, const ContactText& card);
