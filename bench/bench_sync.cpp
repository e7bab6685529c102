// Contact sync with a local radicale: the first sync of 10,000 contacts from the server, a sync
// with nothing changed, and a sync of one contact changed here.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/SyncTables.h"
#include "sync/Dav.h"
#include "sync/SyncEngine.h"
#include "tests/support/Radicale.h"

namespace {

constexpr int Contacts = 10000;

RadicaleServer* TheServer = nullptr;

// One server for every benchmark, its address book filled with 10,000 cards.
RadicaleServer& Server()
{
    static RadicaleServer server;
    TheServer = &server;
    static const bool started = [] {
        if (!server.Start() || server.AddAddressBook(QStringLiteral("big"), QStringLiteral("Big")).isEmpty()) {
            qFatal("%s", qPrintable(server.Reason()));
        }
        const QString folder = server.StorageFolder(QStringLiteral("/alice/big/"));
        for (int i = 0; i < Contacts; ++i) {
            QFile file(folder + QStringLiteral("c%1.vcf").arg(i));
            if (!file.open(QIODevice::WriteOnly)) {
                qFatal("cannot write the sample cards");
            }
            file.write(QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%1\r\nFN:Contact %1\r\nN:%1;Contact;;;\r\n"
                                      "TEL;TYPE=CELL:+49 171 %2\r\nTEL;TYPE=HOME:+49 30 %2\r\nEMAIL:c%1@example.org\r\n"
                                      "ADR;TYPE=HOME:;;Street %1;Berlin;;10115;Germany\r\nBDAY:1980-01-01\r\n"
                                      "END:VCARD\r\n")
                           .arg(i)
                           .arg(2000000 + i)
                           .toUtf8());
        }
        // The server reads every new card once, and at its first sync report writes down each
        // card's state (a file and a disk flush each, most of a minute for 10,000); that is its
        // own cost, once, not the sync's.
        server.Cards(QStringLiteral("/alice/big/"));
        server.Request("REPORT", QStringLiteral("/alice/big/"), SyncCollectionBody(QString()),
                       {{"Content-Type", "application/xml; charset=utf-8"}});
        return true;
    }();
    Q_UNUSED(started);
    return server;
}

// A new address book with one type linked to the server's.
struct LinkedBook
{
    QTemporaryDir dir;
    Connection conn;
    qint64 typeNo = 0;

    LinkedBook()
    {
        const QString path = dir.path() + QStringLiteral("/address.mdb");
        CreateDatabase(path);
        conn.Open(ConnectionStringForFile(path));
        typeNo = InsertType(conn, QStringLiteral("Big"), QString());
        const qint64 account = AddSyncAccount(conn, Server().Root(), Server().User(), Server().Password());
        LinkAddressBook(conn, account, {QStringLiteral("/alice/big/"), QStringLiteral("Big"), true, {}}, typeNo);
    }
};

void BM_FirstSync_10k(benchmark::State& state)
{
    Server();
    for (auto _ : state) {
        state.PauseTiming();
        LinkedBook book;
        state.ResumeTiming();
        SyncEngine engine(book.conn);
        engine.SetTimeout(600000);
        const SyncSummary summary = engine.Run();
        state.counters["added"] = summary.addedHere;
        state.counters["requests"] = summary.requests;
    }
}
BENCHMARK(BM_FirstSync_10k)->Unit(benchmark::kMillisecond)->Iterations(2);

LinkedBook& SyncedBook()
{
    static LinkedBook book;
    static const bool synced = [] {
        SyncEngine engine(book.conn);
        engine.SetTimeout(600000);
        engine.Run();
        return true;
    }();
    Q_UNUSED(synced);
    return book;
}

void BM_SyncNothingChanged_10k(benchmark::State& state)
{
    LinkedBook& book = SyncedBook();
    for (auto _ : state) {
        SyncEngine engine(book.conn);
        state.counters["requests"] = engine.Run().requests;
    }
}
BENCHMARK(BM_SyncNothingChanged_10k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The server's own part of the sync with nothing changed: its answer to the one request, the
// floor under that sync's time.
void BM_ServerAnswersSyncReport_10k(benchmark::State& state)
{
    const QString token = SyncLinks(SyncedBook().conn).first().token;
    for (auto _ : state) {
        const auto reply = Server().Request("REPORT", QStringLiteral("/alice/big/"), SyncCollectionBody(token),
                                            {{"Content-Type", "application/xml; charset=utf-8"}});
        if (reply.status != 207) {
            state.SkipWithError("the server did not answer the sync report");
        }
    }
}
BENCHMARK(BM_ServerAnswersSyncReport_10k)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_SyncOneChangedHere_10k(benchmark::State& state)
{
    LinkedBook& book = SyncedBook();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The first contact's mobile phone, different every round.
        book.conn.Execute(QStringLiteral("UPDATE PWDTable SET F_MobilePhone1 = ? WHERE PWDID = "
                                         "(SELECT min(PWDID) FROM PWDTable)"),
                          {Encrypt(QStringLiteral("+1 555 %1").arg(++round))});
        state.ResumeTiming();
        SyncEngine engine(book.conn);
        const SyncSummary summary = engine.Run();
        state.counters["requests"] = summary.requests;
        state.counters["changed"] = summary.changedThere;
    }
}
BENCHMARK(BM_SyncOneChangedHere_10k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Stopped while the application still runs: a server left behind would outlive the benchmark.
    if (TheServer != nullptr) {
        TheServer->Stop();
    }
    return 0;
}
