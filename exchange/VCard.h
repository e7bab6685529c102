#pragma once

#include <QByteArray>
#include <QList>

#include "exchange/ContactFile.h"
#include "exchange/FilePieces.h"
#include "exchange/VCardLine.h"

class QIODevice;

// What a reader fills in: the record's fields alone, everything else counted as left out (what
// sync compares and keeps), or the details as well (what an import keeps).
enum class CardParts { RecordFields, Everything };

// Reads vCard 2.1, 3.0 and 4.0 (several cards per file).
ContactFile ReadVCards(const QByteArray& bytes, CardParts parts = CardParts::RecordFields);
// The same from a device, pieceBytes at a time, without holding the file whole; the text must
// not be UTF-16 (NarrowText). The encodings are judged on the first EncodingPrefixBytes.
ContactFile ReadVCards(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes,
                       CardParts parts = CardParts::Everything);

enum class VCardVersion { V30, V40 };
QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version);
// Appends one card as WriteVCards writes it; scratch is working space, reused from card to card.
void AppendVCard(QByteArray& out, QByteArray& scratch, const ContactText& card, VCardVersion version);
// The content lines a contact's details are written as in a card, in the order a card has them.
QByteArray WriteVCardDetails(const ContactDetails& details, VCardVersion version);
