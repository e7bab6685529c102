// Reading what the history keeps of a drag: the type of every contact moved, before the move.
// Each strategy of TypesOfRecords against the choice it makes, at two sizes of book and key
// counts on both sides of where the choice switches. And opening a book once more, as every long
// read's own reader does.
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <map>
#include <memory>

#include "bench/SampleData.h"
#include "store/BookRows.h"
#include "store/Connection.h"
#include "store/Database.h"

namespace {

struct SampleBook
{
    QTemporaryDir dir;
    QString file;
};

// One book per size for the whole run: filling a million contacts takes a while.
const SampleBook& BookOf(int records)
{
    static std::map<int, std::unique_ptr<SampleBook>> books;
    auto& book = books[records];
    if (!book) {
        book = std::make_unique<SampleBook>();
        book->file = book->dir.path() + QStringLiteral("/book.mdb");
        CreateDatabase(book->file);
        Connection conn;
        conn.Open(ConnectionStringForFile(book->file));
        FillSampleData(conn, 10, records);
    }
    return *book;
}

// Keys spread evenly over the book, as a selection of a type's contacts is over a large file.
QList<qint64> SpreadKeys(int records, int count)
{
    QList<qint64> keys;
    keys.reserve(count);
    const double step = double(records) / count;
    for (int i = 0; i < count; ++i) {
        keys.append(1 + qint64(i * step));
    }
    return keys;
}

void BM_TypesOfRecords(benchmark::State& state)
{
    const int records = int(state.range(0));
    const int count = int(state.range(1));
    const auto how = static_cast<KeyReading>(state.range(2));
    const QString file = BookOf(records).file;
    const QList<qint64> keys = SpreadKeys(records, count);
    for (auto _ : state) {
        // A connection of its own each time: the window's cache rarely holds the pages wanted.
        state.PauseTiming();
        Connection conn;
        conn.Open(ConnectionStringForFile(file));
        state.ResumeTiming();
        benchmark::DoNotOptimize(TypesOfRecords(conn, keys, how).size());
    }
    state.SetLabel(how == KeyReading::Choose ? "choose" : how == KeyReading::OneByOne ? "one by one" : "one scan");
}

// A connection opened and closed on a book this process has opened before: the readers of a
// re-sort, a search and the background purge each open one.
void BM_OpenAgain(benchmark::State& state)
{
    const QString connection = ConnectionStringForFile(BookOf(1'000).file);
    {
        Connection first;
        first.Open(connection);
    }
    for (auto _ : state) {
        Connection conn;
        conn.Open(connection);
        benchmark::DoNotOptimize(conn.PageSize());
    }
}
BENCHMARK(BM_OpenAgain)->Unit(benchmark::kMillisecond);

void Sizes(benchmark::internal::Benchmark* bench)
{
    for (const int records : {100'000, 1'000'000}) {
        for (const int count : {50, 200, 500, 2'000, 10'000}) {
            for (const int how : {0, 1, 2}) {
                bench->Args({records, count, how});
            }
        }
    }
}
BENCHMARK(BM_TypesOfRecords)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
