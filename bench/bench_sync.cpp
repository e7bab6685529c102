// Contact sync with a local radicale: the first sync of 10,000 contacts from the server (and the
// longest the window's event loop waits meanwhile), a sync with nothing changed, and a sync of one
// contact changed here, on address books of 10,000 and of 1,000 contacts. The server's own answer to a sync with
// nothing changed grows with the address book, so both sizes are measured.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <map>
#include <memory>

#include "bench/BenchMain.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/SyncTables.h"
#include "sync/Dav.h"
#include "sync/SyncEngine.h"
#include "sync/SyncWorker.h"
#include "tests/support/Radicale.h"

namespace {

RadicaleServer* TheServer = nullptr;

// Stopped while the application still runs: a server left behind would outlive the benchmark.
const BenchSetUp StopServer({}, [] {
    if (TheServer != nullptr) {
        TheServer->Stop();
    }
});

// The server's address book of that many cards.
QString BookPath(int contacts)
{
    return QStringLiteral("/alice/c%1/").arg(contacts);
}

void FillAddressBook(RadicaleServer& server, int contacts)
{
    const QString name = QStringLiteral("c%1").arg(contacts);
    if (server.AddAddressBook(name, name).isEmpty()) {
        qFatal("%s", qPrintable(server.Reason()));
    }
    const QString folder = server.StorageFolder(BookPath(contacts));
    for (int i = 0; i < contacts; ++i) {
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
    // The server reads every new card once, and at its first sync report writes down each card's
    // state (a file and a disk flush each, most of a minute for 10,000); that is its own cost,
    // once, not the sync's.
    server.Cards(BookPath(contacts));
    server.Request("REPORT", BookPath(contacts), SyncCollectionBody(QString()),
                   {{"Content-Type", "application/xml; charset=utf-8"}});
}

// One server for every benchmark, with address books of 10,000 and 1,000 cards.
RadicaleServer& Server()
{
    static RadicaleServer server;
    TheServer = &server;
    static const bool started = [] {
        if (!server.Start()) {
            qFatal("%s", qPrintable(server.Reason()));
        }
        FillAddressBook(server, 10000);
        FillAddressBook(server, 1000);
        return true;
    }();
    Q_UNUSED(started);
    return server;
}

// A new address book with one type linked to the server's address book of that many cards.
struct LinkedBook
{
    QTemporaryDir dir;
    Connection conn;
    qint64 typeNo = 0;

    explicit LinkedBook(int contacts)
    {
        const QString path = dir.path() + QStringLiteral("/address.mdb");
        CreateDatabase(path);
        conn.Open(ConnectionStringForFile(path));
        typeNo = InsertType(conn, QStringLiteral("Big"), QString());
        const qint64 account = AddSyncAccount(conn, Server().Root(), Server().User(), Server().Password());
        LinkAddressBook(conn, account, {BookPath(contacts), QStringLiteral("Big"), true, {}}, typeNo);
    }
};

void BM_FirstSync_10k(benchmark::State& state)
{
    Server();
    for (auto _ : state) {
        state.PauseTiming();
        LinkedBook book(10000);
        state.ResumeTiming();
        SyncEngine engine(book.conn);
        engine.SetTimeout(600000);
        const SyncSummary summary = engine.Run();
        state.counters["added"] = summary.addedHere;
        state.counters["requests"] = summary.requests;
    }
}
BENCHMARK(BM_FirstSync_10k)->Unit(benchmark::kMillisecond)->Iterations(2);

// How long the window's event loop goes unserved during a first sync of 10,000 contacts, run as
// the window runs it (on a worker with its own connection, its progress heard by the window's
// thread): the longest gap between two turns of a timer that fires at every turn of the loop.
void BM_EventLoopGapFirstSync_10k(benchmark::State& state)
{
    Server();
    for (auto _ : state) {
        state.PauseTiming();
        LinkedBook book(10000);
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        tick.start();
        SyncWorker worker(book.conn.ConnectionString);
        worker.SetTimeout(600000);
        int steps = 0;
        QObject::connect(&worker, &SyncWorker::Progress, [&steps](int, int) { ++steps; });
        QEventLoop loop;
        QObject::connect(&worker, &SyncWorker::Finished, &loop, &QEventLoop::quit);
        worker.Start();
        loop.exec();
        tick.stop();
        longest = std::max(longest, clock.elapsed() - last);
        const SyncSummary summary = worker.Result();
        state.counters["added"] = summary.addedHere;
        state.counters["progress_steps"] = steps;
        state.counters["longest_gap_ms"] = static_cast<double>(longest);
    }
}
BENCHMARK(BM_EventLoopGapFirstSync_10k)->Unit(benchmark::kMillisecond)->Iterations(1);

// A book synced once with the server's address book of that many cards, kept for the benchmarks
// that follow.
LinkedBook& SyncedBook(int contacts)
{
    static std::map<int, std::unique_ptr<LinkedBook>> books;
    std::unique_ptr<LinkedBook>& book = books[contacts];
    if (!book) {
        book = std::make_unique<LinkedBook>(contacts);
        SyncEngine engine(book->conn);
        engine.SetTimeout(600000);
        engine.Run();
    }
    return *book;
}

void BM_SyncNothingChanged(benchmark::State& state)
{
    LinkedBook& book = SyncedBook(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        SyncEngine engine(book.conn);
        state.counters["requests"] = engine.Run().requests;
    }
}
BENCHMARK(BM_SyncNothingChanged)
    ->Name("BM_SyncNothingChanged_10k")
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_SyncNothingChanged)
    ->Name("BM_SyncNothingChanged_1k")
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The server's own part of the sync with nothing changed: its answer to the one request, the
// floor under that sync's time.
void BM_ServerAnswersSyncReport(benchmark::State& state)
{
    const int contacts = static_cast<int>(state.range(0));
    const QString token = SyncLinks(SyncedBook(contacts).conn).first().token;
    for (auto _ : state) {
        const auto reply = Server().Request("REPORT", BookPath(contacts), SyncCollectionBody(token),
                                            {{"Content-Type", "application/xml; charset=utf-8"}});
        if (reply.status != 207) {
            state.SkipWithError("the server did not answer the sync report");
        }
    }
}
BENCHMARK(BM_ServerAnswersSyncReport)
    ->Name("BM_ServerAnswersSyncReport_10k")
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();
BENCHMARK(BM_ServerAnswersSyncReport)
    ->Name("BM_ServerAnswersSyncReport_1k")
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

void BM_SyncOneChangedHere(benchmark::State& state)
{
    LinkedBook& book = SyncedBook(static_cast<int>(state.range(0)));
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
BENCHMARK(BM_SyncOneChangedHere)
    ->Name("BM_SyncOneChangedHere_10k")
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_SyncOneChangedHere)
    ->Name("BM_SyncOneChangedHere_1k")
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace
