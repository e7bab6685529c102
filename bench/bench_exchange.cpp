// Importing and exporting contacts in bulk, on real SQLCipher files.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "bench/SampleData.h"
#include "exchange/ContactExchange.h"
#include "exchange/VCard.h"
#include "store/Database.h"

namespace {

// Parse, plan and commit a 10,000-contact vCard 3.0 file into a fresh book each time, the file
// read from a device a piece at a time as the import command reads it.
void BM_ImportVCard_10k(benchmark::State& state)
{
    const QByteArray file = WriteVCards(SampleCards(10000), VCardVersion::V30);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/book.mdb");
        CreateDatabase(path);
        Connection conn;
        conn.Open(ConnectionStringForFile(path));
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        state.ResumeTiming();
        const ImportPlan plan = PlanImport(conn, ReadContactFile(device), QStringLiteral("Imported"));
        benchmark::DoNotOptimize(ExecuteImport(conn, plan));
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_ImportVCard_10k)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same for 100,000 contacts: reading the file dominates, so this is where the line reader's
// speed shows.
void BM_ImportVCard_100k(benchmark::State& state)
{
    const QByteArray file = WriteVCards(SampleCards(100000), VCardVersion::V30);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/book.mdb");
        CreateDatabase(path);
        Connection conn;
        conn.Open(ConnectionStringForFile(path));
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        state.ResumeTiming();
        const ImportPlan plan = PlanImport(conn, ReadContactFile(device), QStringLiteral("Imported"));
        benchmark::DoNotOptimize(ExecuteImport(conn, plan));
    }
    state.counters["MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_ImportVCard_100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same where every contact also carries a postal address, a birthday and a note, which go
// to the tables of details in the same transaction.
void BM_ImportVCardDetails_100k(benchmark::State& state)
{
    QList<ContactCard> cards = SampleCards(100000);
    for (qsizetype i = 0; i < cards.size(); ++i) {
        ContactDetails& d = cards[i].EditDetails();
        d.addresses = {{QStringLiteral("home"),
                        QStringLiteral("%1 Main Street").arg(i),
                        {},
                        {},
                        QStringLiteral("Springfield"),
                        QStringLiteral("IL"),
                        QStringLiteral("62701"),
                        QStringLiteral("USA")}};
        d.birthday = {1970 + static_cast<int>(i % 40), 1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28)};
        d.note = QStringLiteral("Met at the conference in %1.\nCall after six.").arg(2000 + i % 20);
    }
    const QByteArray file = WriteVCards(cards, VCardVersion::V30);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/book.mdb");
        CreateDatabase(path);
        Connection conn;
        conn.Open(ConnectionStringForFile(path));
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        state.ResumeTiming();
        const ImportPlan plan = PlanImport(conn, ReadContactFile(device), QStringLiteral("Imported"));
        benchmark::DoNotOptimize(ExecuteImport(conn, plan));
    }
    state.counters["MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_ImportVCardDetails_100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// Only reading 100,000 vCards into contacts, without the book.
void BM_ReadVCard_100k(benchmark::State& state)
{
    const QByteArray file = WriteVCards(SampleCards(100000), VCardVersion::V30);
    for (auto _ : state) {
        QBuffer device;
        device.setData(file);
        device.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(ReadContactFile(device).cards.size());
    }
}
BENCHMARK(BM_ReadVCard_100k)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Read 100,000 records from the book and write them as vCard 4.0, as the export command does.
void BM_ExportVCard_100k(benchmark::State& state)
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.path() + QStringLiteral("/book.mdb");
        CreateDatabase(p);
        Connection conn;
        conn.Open(ConnectionStringForFile(p));
        FillSampleData(conn, 100, 100000);
        return p;
    }();
    Connection conn;
    conn.Open(ConnectionStringForFile(path));
    qsizetype bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        WriteContacts(conn, out, ContactFormat::VCard40);
        bytes = out.data().size();
        benchmark::DoNotOptimize(out.data().data());
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_ExportVCard_100k)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
