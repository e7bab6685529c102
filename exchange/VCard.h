#pragma once

#include <QByteArray>
#include <QList>

#include "exchange/ContactFile.h"

// Reads vCard 2.1, 3.0 and 4.0 (several cards per file).
ContactFile ReadVCards(const QByteArray& bytes);

enum class VCardVersion { V30, V40 };
QByteArray WriteVCards(const QList<ContactCard>& cards, VCardVersion version);
