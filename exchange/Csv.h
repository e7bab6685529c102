#pragma once

#include <QByteArray>
#include <QList>

#include "exchange/ContactFile.h"

// Reads CSV with a header row, separated by commas, semicolons or tabs.
ContactFile ReadCsv(const QByteArray& bytes);
QByteArray WriteCsv(const QList<ContactCard>& cards);
