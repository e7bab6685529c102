#pragma once

#include <QList>
#include <QString>

#include "exchange/ContactFile.h"

class Connection;

// Fills an address book with realistic contacts, for benchmarks and for looking at the window:
// typeCount types and recordCount records spread over them (Latin and Chinese names, phones,
// e-mail lists, messenger ids), every field enciphered as the program stores it. The first
// type receives firstTypeRecords of them.
void FillSampleData(Connection& conn, int typeCount, int recordCount, int firstTypeRecords = 0);

// count contacts as a contact file brings them, over 20 categories, for import and export.
QList<ContactCard> SampleCards(int count);

// A size line of /proc/self/status ("VmRSS:", "VmHWM:") in megabytes; 0 where there is none.
double StatusMegabytes(const char* field);
