// Fills an address book with sample contacts, to look at the window with real-looking data:
//   fill_sample <database file> <types> <records>
#include <QCoreApplication>

#include <cstdio>

#include "bench/SampleData.h"
#include "store/Connection.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: fill_sample <database file> <types> <records>\n");
        return 2;
    }
    Connection conn;
    conn.Open(ConnectionStringForFile(QString::fromLocal8Bit(argv[1])));
    FillSampleData(conn, std::atoi(argv[2]), std::atoi(argv[3]));
    return 0;
}
