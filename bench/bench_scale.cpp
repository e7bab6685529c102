// The main window over a million contacts (and over 100,000): listing, re-sorting, searching,
// saving one record, deleting and moving a fragmented selection, importing and exporting, each
// driven through the real window offscreen. Every figure that has a floor is also given as a
// ratio to it, measured in the same run: the bare encrypted read of exactly what the program reads
// for the action (the same columns, through the same index, with as many readers and as warm a
// cache), or for writes the bare per-row write of the same keys with the program's settings on a
// copy of the book. Beside every figure, max_stall_ms is the longest time the window's thread went
// without running its event loop during the action: what a user sees as a frozen window. Where a
// floor reads with two readers, floor_cpu_ms and cpu_ms are the processor time all threads spent on
// the floor and on the action: a floor that kept every core busy (floor_cpu_ms near cores times
// floor_ms) cannot be beaten by a program that has to read the same pages and then do more.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <time.h>
#include <tuple>

#include "bench/BenchMain.h"
#include "bench/SampleData.h"
#include "book/AddressBook.h"
#include "core/AppState.h"
#include "editors/frmPWD.h"
#include "exchange/ContactExchange.h"
#include "exchange/VCard.h"
#include "main/BackgroundListing.h"
#include "main/BackgroundSearch.h"
#include "main/ContactPane.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/BookProtection.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/RecordPurge.h"
#include "store/Recordset.h"
#include "ui/Platform.h"

namespace {

// The desktop as a user who says yes: every question answered OK, every chooser given the file
// the benchmark names.
class YesPlatform : public Platform
{
public:
    QString file;
    QString filter = QStringLiteral("vCard 4.0 (*.vcf)");

    MsgResult MessageBox(QWidget*, const QString&, const QString&, MsgIcon, MsgButtons) override
    {
        return MsgResult::Ok;
    }
    MsgResult MessageBoxWithOther(QWidget*, const QString&, const QString&, const QString&) override
    {
        return MsgResult::Ok;
    }
    std::optional<int> ChooseItem(QWidget*, const QString&, const QString&, const QStringList&) override
    {
        return std::nullopt;
    }
    void PlaySound(int) override {}
    QString ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString ChooseOpenFile(QWidget*, const QString&, const QString&) override { return file; }
    QString ChooseSaveFile(QWidget*, const QString&, const QStringList&, QString* selectedFilter) override
    {
        if (selectedFilter != nullptr) {
            *selectedFilter = filter;
        }
        return file;
    }
    std::optional<QString> AskPassword(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    void OpenUrl(const QUrl&) override {}
    void PrintPreview(QWidget*, const std::function<void(QPrinter*)>&) override {}
};

YesPlatform& Desktop()
{
    static YesPlatform platform;
    return platform;
}

// Deletes and moves are written in the background, as in the program.
const BenchSetUp DesktopSetUp(
    [] {
        SetPlatform(&Desktop());
        Purger().Watch(Conn);
    },
    [] { SetPlatform(nullptr); });

// Starts a new peak of resident memory from what is resident now.
void ResetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) {
        refs.write("5");
    }
}

void CountMemory(benchmark::State& state)
{
    state.counters["rss_mb"] = StatusMegabytes("VmRSS:");
    state.counters["peak_rss_mb"] = StatusMegabytes("VmHWM:");
}

// Processor time of every thread of this process so far.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Runs the window's event loop until done() holds or timeoutMs has passed. The loop sleeps between
// events as the program's own does: a loop that polled would take a core from the readers the
// program starts on a two-core machine, and time them slower than a user sees them.
void WaitUntil(const std::function<bool()>& done, qint64 timeoutMs = 300000)
{
    QElapsedTimer clock;
    clock.start();
    if (done()) {
        return;
    }
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() >= timeoutMs || done()) {
            loop.quit();
        }
    });
    check.start();
    loop.exec();
}

// The longest gap between two runs of the window thread's event loop while it is watched, seen
// by a 1 ms timer on that thread. An action that returns to the loop often keeps it near 1 ms;
// one that holds the thread shows how long the window was frozen.
class StallWatch
{
public:
    StallWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start();
    }
    // The longest stall in milliseconds, up to now.
    double StopMs()
    {
        Tick();
        m_timer.stop();
        return static_cast<double>(m_longest) / 1e6;
    }

private:
    void Tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// The list's columns as the program names them in the book, in the list's order.
const QStringList ListFields = {
    QStringLiteral("Name"),     QStringLiteral("F_Phone1"),  QStringLiteral("F_MobilePhone1"),
    QStringLiteral("C_Phone1"), QStringLiteral("EMailList"), QStringLiteral("QQ"),
    QStringLiteral("MSN"),      QStringLiteral("ICQ")};

QString SortField(frmMain& w)
{
    return ListFields.value(w.ListView1->header()->sortIndicatorSection(), ListFields.first());
}

// The index of types as books had it before it held the names too, to measure what keeping the
// names in it costs.
void UsePreviousIndexes(Connection& conn)
{
    conn.Execute(QStringLiteral("DROP INDEX IF EXISTS PWDTable_TypeName"));
    conn.Execute(QStringLiteral("CREATE INDEX PWDTable_TypeNo ON PWDTable (TypeNo, PWDID)"));
}

// An address book in its own program folder, generated once per run, and the window over it.
class Book
{
public:
    // With detailsEvery, every so many contacts (from the first key on) also carry an address, a
    // birthday and a note.
    Book(int types, int records, int firstTypeRecords, int detailsEvery = 0)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("Datas"));
        m_folder = m_dir.path() + QLatin1Char('/');
        CreateDatabase(File());
        if (records > 0) {
            Connection conn;
            conn.Open(ConnectionStringForFile(File()));
            FillSampleData(conn, types, records, firstTypeRecords);
            if (detailsEvery > 0) {
                AddDetails(conn, detailsEvery);
            }
        }
    }

    QString File() const { return m_folder + QStringLiteral("Datas/address.mdb"); }

    // The window as it is after start-up on a book just opened: nothing of it read yet but the types.
    frmMain& OpenFresh()
    {
        delete m_window;
        // The program has one book open at a time: another book's window goes with its book.
        if (OpenedLast != nullptr && OpenedLast != this) {
            delete OpenedLast->m_window;
        }
        OpenedLast = this;
        Conn.Close();
        AppFolder = m_folder;
        IniFile = m_folder + QStringLiteral("Tavoren.ini");
        LangFile = QStringLiteral(TAVOREN_SOURCE_DIR_DEFAULT "/resources/Language/mvleng.ini");
        Conn.Open(BuildConnectionString(AppFolder));
        m_window = new frmMain();
        m_window->resize(1200, 800);
        m_window->show();
        QApplication::processEvents();
        return *m_window;
    }

    frmMain& Window() { return m_window.isNull() || OpenedLast != this ? OpenFresh() : *m_window; }

    // The bare read of a query's rows on a connection of its own, every value touched.
    double Floor(const QString& sql, const QVariantList& params = {}, int passes = 1)
    {
        Connection conn;
        conn.Open(ConnectionStringForFile(File()));
        QElapsedTimer timer;
        for (int i = 0; i < passes; ++i) {
            timer.start();
            benchmark::DoNotOptimize(conn.Scan(sql, params));
        }
        return Seconds(timer);
    }
    // Listing every contact reads the names with their keys, through the smallest index holding
    // both; the first time on a connection that has read nothing yet, again on one that has.
    double FloorNamesCold() { return Floor(QStringLiteral("SELECT PWDID, Name FROM PWDTable")); }
    double FloorNamesAgain() { return Floor(QStringLiteral("SELECT PWDID, Name FROM PWDTable"), {}, 2); }
    // A type's listing: the names of its contacts.
    double FloorNamesOfType(qint64 typeNo)
    {
        return Floor(QStringLiteral("SELECT PWDID, Name FROM PWDTable WHERE TypeNo = ?"), {typeNo});
    }
    // Export reads every field of every contact with its type's name, in key order.
    double FloorExport()
    {
        return Floor(QStringLiteral("SELECT PWDID, Name, F_Phone1, F_MobilePhone1, C_Phone1, EMailList, QQ, MSN, ICQ, "
                                    "TypeName, Url FROM VPWDTable ORDER BY PWDID"));
    }

    // Columns of every record as re-sorting and searching read them: a large book by two readers
    // at once, each on a fresh connection of its own with a small cache, taking spans of a 32nd of
    // the keys from either end until they meet; a small one in one go on a connection of its own.
    // cpu, when given, receives the processor time the read took on all its threads.
    double FloorTwoReaders(const QStringList& columns, double* cpu = nullptr)
    {
        const QString select = QStringLiteral("SELECT PWDID, %1 FROM PWDTable").arg(columns.join(QLatin1Char(',')));
        qint64 low = 0;
        qint64 high = 0;
        {
            Connection conn;
            conn.Open(ConnectionStringForFile(File()));
            std::tie(low, high) = RecordKeySpan(conn);
        }
        if (high - low < 200000) {
            const double cpuBefore = CpuSeconds();
            const double seconds = Floor(select + QStringLiteral(" ORDER BY PWDID"));
            if (cpu != nullptr) {
                *cpu = CpuSeconds() - cpuBefore;
            }
            return seconds;
        }
        std::mutex taking;
        constexpr int Chunks = 32;
        int front = 0;
        int back = Chunks;
        auto read = [&](bool lower) {
            Connection conn;
            conn.Open(ConnectionStringForFile(File()));
            conn.Execute(QStringLiteral("PRAGMA cache_size = -2048"));
            for (;;) {
                int chunk = 0;
                {
                    const std::scoped_lock lock(taking);
                    if (front >= back) {
                        return;
                    }
                    chunk = lower ? front++ : --back;
                }
                const qint64 span = high - low + 1;
                benchmark::DoNotOptimize(
                    conn.Scan(select + QStringLiteral(" WHERE PWDID >= ? AND PWDID < ? ORDER BY PWDID"),
                              {low + span * chunk / Chunks, low + span * (chunk + 1) / Chunks}));
            }
        };
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = CpuSeconds();
        std::exception_ptr failure;
        std::thread upper([&] {
            try {
                read(false);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        read(true);
        upper.join();
        if (failure) {
            std::rethrow_exception(failure);
        }
        const double seconds = Seconds(timer);
        if (cpu != nullptr) {
            *cpu = CpuSeconds() - cpuBefore;
        }
        return seconds;
    }

    // The bare per-row write of sql, bound to each key in ascending order, in one transaction on
    // a copy of the book opened with the program's settings; commit included. With
    // previousIndexes, the copy is first given the index of types books had before.
    double FloorWrite(const QString& sql, QList<qint64> ids, bool previousIndexes = false)
    {
        std::sort(ids.begin(), ids.end());
        QTemporaryDir dir;
        const QString copy = dir.path() + QStringLiteral("/copy.mdb");
        QFile::copy(File(), copy);
        Connection conn;
        conn.Open(ConnectionStringForFile(copy));
        if (previousIndexes) {
            UsePreviousIndexes(conn);
        }
        QElapsedTimer timer;
        timer.start();
        {
            Transaction transaction(conn);
            PreparedStatement statement(conn, sql);
            for (const qint64 id : ids) {
                statement.Bind(1, id);
                statement.Run();
            }
            transaction.Commit();
        }
        return Seconds(timer);
    }

    // The least a delete or move that answers at once can write: the keys (with a batch or a type)
    // into a table of their own, in one transaction on a copy of the book; commit included.
    double FloorMark(const QString& table, QList<qint64> ids)
    {
        std::sort(ids.begin(), ids.end());
        QTemporaryDir dir;
        const QString copy = dir.path() + QStringLiteral("/copy.mdb");
        QFile::copy(File(), copy);
        Connection conn;
        conn.Open(ConnectionStringForFile(copy));
        QElapsedTimer timer;
        timer.start();
        {
            Transaction transaction(conn);
            PreparedStatement statement(conn, QStringLiteral("INSERT INTO %1 VALUES (?, 1)").arg(table));
            for (const qint64 id : ids) {
                statement.Bind(1, id);
                statement.Run();
            }
            transaction.Commit();
        }
        return Seconds(timer);
    }

private:
    static void AddDetails(Connection& conn, int every)
    {
        QList<qint64> ids;
        conn.ForEachRow(QStringLiteral("SELECT PWDID FROM PWDTable ORDER BY PWDID"), {},
                        [&](const RowView& row) { ids.append(row.Integer(0)); });
        Transaction transaction(conn);
        ContactDetailsWriter writer(conn);
        for (qsizetype i = 0; i < ids.size(); i += every) {
            ContactDetails details;
            details.addresses = {{QStringLiteral("home"),
                                  QStringLiteral("Hauptstr. %1").arg(i % 200 + 1),
                                  {},
                                  {},
                                  QStringLiteral("Berlin"),
                                  {},
                                  QStringLiteral("%1").arg(10115 + i % 900),
                                  QStringLiteral("Germany")}};
            details.birthday = {1950 + static_cast<int>(i % 50), 1 + static_cast<int>(i % 12),
                                1 + static_cast<int>(i % 28)};
            details.note = QStringLiteral("Met at the fair in %1.\nLikes tea.").arg(2000 + i % 25);
            writer.Add(ids[i], details);
        }
        transaction.Commit();
    }

    static inline Book* OpenedLast = nullptr; // the book Conn and the global window are on
    QTemporaryDir m_dir;
    QString m_folder;
    QPointer<frmMain> m_window;
};

// After a delete or move has returned: the window's loop kept running until the background has
// written every row. Gives the time from the start of the action to the end of the writing, and
// the longest stall of the window meanwhile.
void WaitForBackground(benchmark::State& state, const QElapsedTimer& sinceAction, double floor)
{
    StallWatch stalls;
    WaitUntil([] { return !Purger().IsBusy(); });
    const double seconds = Seconds(sinceAction);
    state.counters["background_done_ms"] = seconds * 1e3;
    state.counters["background_ratio"] = seconds / floor;
    state.counters["background_stall_ms"] = stalls.StopMs();
}

// A million contacts over 100 types, 100,000 of them (and a share of the rest) in the first.
Book& Million()
{
    static Book book(100, 1000000, 100000);
    return book;
}

// The same million, a third of them with an address, a birthday and a note: what a book with
// details costs where details are not read. Its figures are to stay within a tenth of Million()'s.
Book& MillionWithDetails()
{
    static Book book(100, 1000000, 100000, 3);
    return book;
}

Book& HundredThousand()
{
    static Book book(100, 100000, 10000);
    return book;
}

void ClickNode(frmMain& w, const QString& key)
{
    QTreeWidgetItem* node = w.NodeByKey(key);
    w.TreeView1->scrollToItem(node);
    QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(node).center());
}

void ClickRow(frmMain& w, int row, Qt::KeyboardModifiers modifiers = {})
{
    const QModelIndex index = w.ListModel()->index(row, 0);
    w.ListView1->scrollTo(index);
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, modifiers, w.ListView1->visualRect(index).center());
}

void ClickHeader(frmMain& w, int column)
{
    QHeaderView* header = w.ListView1->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// Until the list's background reader has handed over every row (or a re-sort its column), the
// window's loop running; returns the seconds since timer started.
double WaitForListing(frmMain& w, const QElapsedTimer& timer, double* firstRows = nullptr)
{
    auto* listing = w.findChild<BackgroundListing*>(QStringLiteral("BackgroundListing"));
    auto* search = w.findChild<BackgroundSearch*>(QStringLiteral("BackgroundSearch"));
    if (firstRows != nullptr) {
        *firstRows = w.ListModel()->rowCount() > 0 ? Seconds(timer) : -1;
    }
    WaitUntil(
        [&] {
            if (firstRows != nullptr && *firstRows < 0 && w.ListModel()->rowCount() > 0) {
                *firstRows = Seconds(timer);
            }
            return !listing->IsRunning() && !search->IsRunning();
        },
        300000 - timer.elapsed());
    const double seconds = Seconds(timer);
    // What the last rows left for later (the view laying them out, a scroll) happens within the
    // stall watch of the caller, though not within the time.
    WaitUntil([] { return false; }, 100);
    return seconds;
}

// A type's contacts listed whole (a large type is read in the background), unless shown already.
void ShowType(frmMain& w, const QString& key)
{
    if (w.TreeView1->CurrentKey() != key) {
        QElapsedTimer timer;
        timer.start();
        ClickNode(w, key);
        WaitForListing(w, timer);
    }
}

// Every contact listed (the search node with an empty search box), timed from the click to the
// last row; firstRows, when given, to the first rows shown.
double ListAll(frmMain& w, double* firstRows = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    ClickNode(w, QStringLiteral("SearchResult"));
    return WaitForListing(w, timer, firstRows);
}

void ListAllFirst(benchmark::State& state, Book& book)
{
    const double floor = book.FloorNamesCold();
    state.counters["floor_ms"] = floor * 1e3;
    // The same read with the test that leaves out deleted contacts waiting to be removed, as the
    // program reads: what skipping them costs while there are none.
    state.counters["skip_deleted_floor_ms"] =
        book.Floor(QStringLiteral("SELECT PWDID, Name FROM PWDTable WHERE (NOT EXISTS (SELECT 1 FROM PWDDeleted) OR "
                                  "PWDID NOT IN (SELECT PWDID FROM PWDDeleted))")) *
        1e3;
    for (auto _ : state) {
        frmMain& w = book.OpenFresh();
        ResetPeakMemory();
        StallWatch stalls;
        double first = 0;
        const double seconds = ListAll(w, &first);
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.counters["first_rows_ms"] = first * 1e3;
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
    }
    state.counters["rows"] = book.Window().ListModel()->rowCount();
    CountMemory(state);
}

void ListAllAgain(benchmark::State& state, Book& book)
{
    const double floor = book.FloorNamesAgain();
    state.counters["floor_ms"] = floor * 1e3;
    frmMain& w = book.Window();
    ListAll(w);
    for (auto _ : state) {
        ClickNode(w, QStringLiteral("Root"));
        ResetPeakMemory();
        StallWatch stalls;
        double first = 0;
        const double seconds = ListAll(w, &first);
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.counters["first_rows_ms"] = first * 1e3;
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
    }
    state.counters["rows"] = w.ListModel()->rowCount();
    CountMemory(state);
}

// The window opened on the book: the tree and the list of types with the count of each. The
// floor counts the contacts of every type through the index of types.
void OpenWindow(benchmark::State& state, Book& book)
{
    const double floor = book.Floor(QStringLiteral("SELECT TypeNo, count(*) FROM PWDTable GROUP BY TypeNo"));
    state.counters["floor_ms"] = floor * 1e3;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        frmMain& w = book.OpenFresh();
        const double seconds = Seconds(timer);
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
        state.counters["rows"] = w.ListModel()->rowCount();
    }
}

void BM_OpenWindow_1M(benchmark::State& state)
{
    OpenWindow(state, Million());
}
BENCHMARK(BM_OpenWindow_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ListAll_1M_First(benchmark::State& state)
{
    ListAllFirst(state, Million());
}
BENCHMARK(BM_ListAll_1M_First)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListAll_1M_Again(benchmark::State& state)
{
    ListAllAgain(state, Million());
}
BENCHMARK(BM_ListAll_1M_Again)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The contacts of the largest type listed by a click on its node, on a window just opened. The
// floor reads the same names of the same type.
void ListType(benchmark::State& state, Book& book)
{
    const double floor = book.FloorNamesOfType(1);
    state.counters["floor_ms"] = floor * 1e3;
    // The same names read as before the index of types held them: the type's keys from the
    // index, each row then from the table.
    state.counters["table_floor_ms"] = book.Floor(QStringLiteral("SELECT PWDID, Name FROM PWDTable WHERE PWDID IN "
                                                                 "(SELECT PWDID FROM PWDTable WHERE TypeNo = 1)")) *
                                       1e3;
    for (auto _ : state) {
        frmMain& w = book.OpenFresh();
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        ClickNode(w, QStringLiteral("_1"));
        double first = 0;
        const double seconds = WaitForListing(w, timer, &first);
        state.counters["first_rows_ms"] = first * 1e3;
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
        state.counters["rows"] = w.ListModel()->rowCount();
    }
}

void BM_ListType_1M(benchmark::State& state)
{
    ListType(state, Million());
}
BENCHMARK(BM_ListType_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void Resort(benchmark::State& state, Book& book)
{
    frmMain& w = book.Window();
    if (w.TreeView1->CurrentKey() != QLatin1String("SearchResult")) {
        ListAll(w);
    }
    int column = 1;
    for (auto _ : state) {
        // The floor: the bare read of the column sorted by, for every record, as the list reads it.
        double floorCpu = 0;
        const double floor = book.FloorTwoReaders({ListFields[column]}, &floorCpu);
        state.counters["floor_ms"] = floor * 1e3;
        state.counters["floor_cpu_ms"] = floorCpu * 1e3;
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = CpuSeconds();
        ClickHeader(w, column);
        state.counters["click_returned_ms"] = Seconds(timer) * 1e3;
        const double seconds = WaitForListing(w, timer);
        state.counters["cpu_ms"] = (CpuSeconds() - cpuBefore) * 1e3;
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
        column = column % 7 + 1;
    }
    CountMemory(state);
}

void BM_Resort_1M(benchmark::State& state)
{
    Resort(state, Million());
}
BENCHMARK(BM_Resort_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void Search(benchmark::State& state, Book& book)
{
    frmMain& w = book.Window();
    // A search reads the column sorted by and the one searched, for every record.
    double floorCpu = 0;
    const double floor = book.FloorTwoReaders({SortField(w), ListFields[4]}, &floorCpu);
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["floor_cpu_ms"] = floorCpu * 1e3;
    w.txtField->setCurrentIndex(4); // the e-mail lists
    w.txtValue->clear();
    QTest::keyClicks(w.txtValue, QStringLiteral("user12"));
    for (auto _ : state) {
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = CpuSeconds();
        QTest::mouseClick(w.CmdSearch, Qt::LeftButton);
        state.counters["click_returned_ms"] = Seconds(timer) * 1e3;
        const double seconds = WaitForListing(w, timer);
        state.counters["cpu_ms"] = (CpuSeconds() - cpuBefore) * 1e3;
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
    }
    state.counters["found"] = w.ListModel()->rowCount();
    CountMemory(state);
    w.txtValue->clear();
    w.txtField->setCurrentIndex(0);
}

void BM_Search_1M(benchmark::State& state)
{
    Search(state, Million());
}
BENCHMARK(BM_Search_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Typing into the search box over a million contacts: from the last key to the first records
// shown (the pause before searching included) and to the last, and the longest time the window
// did not answer (a timer every 5 ms notes the gaps), which is what a user typing would feel.
void BM_SearchAsYouType_1M(benchmark::State& state)
{
    Book& book = Million();
    frmMain& w = book.Window();
    auto* search = w.findChild<BackgroundSearch*>(QStringLiteral("BackgroundSearch"));
    w.txtField->setCurrentIndex(4); // the e-mail lists
    auto typeAndWait = [&](const QString& text, double* first, double* all, double* stall) {
        ClickNode(w, QStringLiteral("Root"));
        QTest::keyClick(w.focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(w.txtValue, text);
        QElapsedTimer timer;
        timer.start();
        QElapsedTimer beat;
        beat.start();
        qint64 longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, beat.nsecsElapsed());
            beat.restart();
        });
        ticker.start(5);
        *first = -1;
        WaitUntil(
            [&] {
                const bool shown = w.TreeView1->CurrentKey() == QLatin1String("SearchResult") &&
                                   w.ListMode() == RecordListModel::Mode::Records && w.ListModel()->rowCount() > 0;
                if (*first < 0 && shown) {
                    *first = Seconds(timer);
                }
                return *first >= 0 && !search->IsRunning();
            },
            120000);
        *all = Seconds(timer);
        *stall = static_cast<double>(longest) / 1e6;
    };
    double first = 0;
    double all = 0;
    double stall = 0;
    typeAndWait(QStringLiteral("user99"), &first, &all, &stall); // the search's own connection opened
    state.counters["first_search_first_ms"] = first * 1000;
    for (auto _ : state) {
        typeAndWait(QStringLiteral("user12"), &first, &all, &stall);
        state.SetIterationTime(first);
    }
    state.counters["first_ms"] = first * 1000;
    state.counters["all_ms"] = all * 1000;
    state.counters["longest_stall_ms"] = stall;
    state.counters["found"] = w.ListModel()->rowCount();
    CountMemory(state);
    QTest::keyClick(w.txtValue, Qt::Key_Escape);
    w.txtField->setCurrentIndex(0);
}
BENCHMARK(BM_SearchAsYouType_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// One record of the largest type edited (F2, a phone number changed, OK), with the tree and the
// list brought up to date, timed from the key to the window's return (the editor's opening
// included; refresh_ms is from OK on).
void SaveOne(benchmark::State& state, Book& book)
{
    frmMain& w = book.Window();
    ShowType(w, QStringLiteral("_1"));
    const int rows = w.ListModel()->rowCount();
    // Keys reach the window's shortcuts only while it is the active window, which the progress
    // window of the load took over for a while.
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) {
        state.SkipWithError("the main window did not become active");
        return;
    }
    int edit = 0;
    QElapsedTimer sinceOk;
    for (auto _ : state) {
        // Closing the editor need not give the offscreen window its activation back.
        w.activateWindow();
        (void)QTest::qWaitForWindowActive(&w);
        ClickRow(w, rows / 2);
        QTimer::singleShot(0, [&edit, &sinceOk] {
            auto* editor = qobject_cast<frmPWD*>(QApplication::activeModalWidget());
            if (editor == nullptr) {
                return;
            }
            auto* phone = editor->findChild<QLineEdit*>(QStringLiteral("txtFPhone"));
            phone->selectAll();
            QTest::keyClicks(phone, QStringLiteral("+49 30 %1").arg(++edit));
            sinceOk.start();
            QTest::mouseClick(editor->findChild<QPushButton*>(QStringLiteral("CmdOK")), Qt::LeftButton);
        });
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_F2);
        state.SetIterationTime(Seconds(timer));
        state.counters["max_stall_ms"] = stalls.StopMs();
        // From OK to the window's return: the save and what the window brings up to date.
        state.counters["refresh_ms"] = Seconds(sinceOk) * 1e3;
    }
    state.counters["rows"] = rows;
    state.counters["saved"] = edit;
}

void BM_SaveOne_1M(benchmark::State& state)
{
    SaveOne(state, Million());
}
BENCHMARK(BM_SaveOne_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The same actions on the million of which a third carry details, which none of them reads but
// saving one that has them: each figure beside its own on the book without details.
void BM_ListAll_1MDetails_First(benchmark::State& state)
{
    ListAllFirst(state, MillionWithDetails());
}
BENCHMARK(BM_ListAll_1MDetails_First)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListAll_1MDetails_Again(benchmark::State& state)
{
    ListAllAgain(state, MillionWithDetails());
}
BENCHMARK(BM_ListAll_1MDetails_Again)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Resort_1MDetails(benchmark::State& state)
{
    Resort(state, MillionWithDetails());
}
BENCHMARK(BM_Resort_1MDetails)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Search_1MDetails(benchmark::State& state)
{
    Search(state, MillionWithDetails());
}
BENCHMARK(BM_Search_1MDetails)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_SaveOne_1MDetails(benchmark::State& state)
{
    SaveOne(state, MillionWithDetails());
}
BENCHMARK(BM_SaveOne_1MDetails)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// One record of the largest type deleted (a click on its row, Delete, the question answered),
// with the list and the tree brought up to date, timed from the key to the window's return.
void BM_DeleteOne_1M(benchmark::State& state)
{
    frmMain& w = Million().Window();
    ShowType(w, QStringLiteral("_1"));
    const int rows = w.ListModel()->rowCount();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) {
        state.SkipWithError("the main window did not become active");
        return;
    }
    for (auto _ : state) {
        ClickRow(w, rows / 2);
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_Delete);
        state.SetIterationTime(Seconds(timer));
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.counters["rows_left"] = w.ListModel()->rowCount();
        // Undone: the row comes back in its place, the list not read again.
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_Z, Qt::ControlModifier);
        state.counters["undo_ms"] = Seconds(timer) * 1e3;
        state.counters["rows_after_undo"] = w.ListModel()->rowCount();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_DeleteOne_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The first `count` rows of every contact in name order selected, then the list re-sorted by
// phone, which scatters them over the whole list in many ranges. Returns their keys.
QList<qint64> SelectFragmented(frmMain& w, int count)
{
    if (w.TreeView1->CurrentKey() != QLatin1String("SearchResult")) {
        ListAll(w);
    }
    QElapsedTimer timer;
    timer.start();
    if (w.ListView1->header()->sortIndicatorSection() != 0) {
        ClickHeader(w, 0);
        WaitForListing(w, timer);
    }
    if (w.ListView1->header()->sortIndicatorOrder() != Qt::AscendingOrder) {
        ClickHeader(w, 0);
        WaitForListing(w, timer);
    }
    ClickRow(w, 0);
    ClickRow(w, count - 1, Qt::ShiftModifier);
    QList<qint64> ids;
    for (int row = 0; row < count; ++row) {
        ids.append(w.ListModel()->Id(row));
    }
    ClickHeader(w, 1);
    WaitForListing(w, timer);
    return ids;
}

void DeleteSelected(benchmark::State& state, Book& book, int count)
{
    frmMain& w = book.Window();
    for (auto _ : state) {
        const QList<qint64> ids = SelectFragmented(w, count);
        state.counters["ranges"] = static_cast<double>(w.ListView1->selectionModel()->selection().size());
        // Measured before the program's delete, on a copy of the book as it is now.
        const QString remove = QStringLiteral("DELETE FROM PWDTable WHERE PWDID = ?");
        const double floor = book.FloorWrite(remove, ids);
        state.counters["floor_ms"] = floor * 1e3;
        state.counters["type_index_cost"] = floor / book.FloorWrite(remove, ids, true);
        const double markFloor = book.FloorMark(QStringLiteral("PWDDeleted"), ids);
        state.counters["mark_floor_ms"] = markFloor * 1e3;
        w.ListView1->setFocus();
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_Delete);
        const double seconds = Seconds(timer);
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
        state.counters["mark_ratio"] = seconds / markFloor;
        // Undone (Ctrl+Z) and done again (Ctrl+Y), each against the delete's own time.
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w)) {
            state.SkipWithError("the main window did not become active");
            return;
        }
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_Z, Qt::ControlModifier);
        state.counters["undo_ms"] = Seconds(timer) * 1e3;
        state.counters["undo_ratio"] = Seconds(timer) / seconds;
        timer.start();
        QTest::keyClick(w.ListView1, Qt::Key_Y, Qt::ControlModifier);
        state.counters["redo_ms"] = Seconds(timer) * 1e3;
        // The step leaves the history, so its rows may go: the purge is timed from the delete.
        TheBook().ClearHistory();
        WaitForBackground(state, timer, floor);
    }
    state.counters["rows_left"] = w.ListModel()->rowCount();
}

// A drag of the selection onto the last type: the drag text made (drag_text_ms), then the drag
// carried over the node and dropped, as the system's drag loop delivers it: the time is from the
// drag entering the tree to the drop's return.
void MoveSelected(benchmark::State& state, Book& book, int count)
{
    frmMain& w = book.Window();
    for (auto _ : state) {
        const QList<qint64> ids = SelectFragmented(w, count);
        state.counters["ranges"] = static_cast<double>(w.ListView1->selectionModel()->selection().size());
        // Measured before the program's move, on a copy of the book as it is now.
        const QString move = QStringLiteral("UPDATE PWDTable SET TypeNo = 100 WHERE PWDID = ?");
        const double floor = book.FloorWrite(move, ids);
        state.counters["floor_ms"] = floor * 1e3;
        state.counters["type_index_cost"] = floor / book.FloorWrite(move, ids, true);
        const double markFloor = book.FloorMark(QStringLiteral("PWDMoving"), ids);
        state.counters["mark_floor_ms"] = markFloor * 1e3;
        QTreeWidgetItem* target = w.NodeByKey(QStringLiteral("_100"));
        w.TreeView1->scrollToItem(target);
        const QPoint at = w.TreeView1->visualItemRect(target).center();
        StallWatch stalls;
        QElapsedTimer timer;
        // The drag's text is made as the pointer starts to move, before the drop.
        timer.start();
        QMimeData data;
        data.setText(w.ListView1->DragText());
        state.counters["drag_text_ms"] = Seconds(timer) * 1e3;
        timer.start();
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w.TreeView1->viewport(), &enter);
        for (int step = 0; step < 20; ++step) { // the pointer resting on the node
            QDragMoveEvent hover(at, Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(w.TreeView1->viewport(), &hover);
        }
        QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w.TreeView1->viewport(), &drop);
        const double seconds = Seconds(timer);
        state.counters["target_listed_ms"] = WaitForListing(w, timer) * 1e3;
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
        state.counters["mark_ratio"] = seconds / markFloor;
        WaitForBackground(state, timer, floor);
    }
    state.counters["rows_shown"] = w.ListModel()->rowCount();
}

// Moves first: the delete leaves the book smaller.
void BM_Move_100kOf1M(benchmark::State& state)
{
    MoveSelected(state, Million(), 100000);
}
BENCHMARK(BM_Move_100kOf1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Delete_100kOf1M(benchmark::State& state)
{
    DeleteSelected(state, Million(), 100000);
}
BENCHMARK(BM_Delete_100kOf1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListAll_100k_First(benchmark::State& state)
{
    ListAllFirst(state, HundredThousand());
}
BENCHMARK(BM_ListAll_100k_First)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListAll_100k_Again(benchmark::State& state)
{
    ListAllAgain(state, HundredThousand());
}
BENCHMARK(BM_ListAll_100k_Again)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListType_100k(benchmark::State& state)
{
    ListType(state, HundredThousand());
}
BENCHMARK(BM_ListType_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Every contact of the 100,000 book exported as vCard 4.0 through the window's command.
void BM_ExportVCard_100k(benchmark::State& state)
{
    Book& book = HundredThousand();
    frmMain& w = book.Window();
    ListAll(w);
    QTemporaryDir dir;
    Desktop().file = dir.path() + QStringLiteral("/contacts.vcf");
    const double floor = book.FloorExport();
    state.counters["floor_ms"] = floor * 1e3;
    for (auto _ : state) {
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        w.mnuExport->trigger();
        const double seconds = Seconds(timer);
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
    }
    state.counters["MB"] = static_cast<double>(QFileInfo(Desktop().file).size()) / 1e6;
}
BENCHMARK(BM_ExportVCard_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Delete_10kOf100k(benchmark::State& state)
{
    DeleteSelected(state, HundredThousand(), 10000);
}
BENCHMARK(BM_Delete_10kOf100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_Move_10kOf100k(benchmark::State& state)
{
    MoveSelected(state, HundredThousand(), 10000);
}
BENCHMARK(BM_Move_10kOf100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// 100,000 vCards imported through the window's command into an empty book.
void BM_ImportVCard_100k(benchmark::State& state)
{
    static Book empty(0, 0, 0);
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/contacts.vcf");
    {
        QFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(WriteVCards(SampleCards(100000), VCardVersion::V30));
        }
        state.counters["MB"] = static_cast<double>(out.size()) / 1e6;
    }
    // The floor: the same contacts, enciphered beforehand, inserted row by row into a copy of
    // the empty book; also with the index of types books had before, for what its names cost.
    const QList<ContactCard> cards = SampleCards(100000);
    std::vector<std::array<QByteArray, 9>> rows;
    rows.reserve(static_cast<std::size_t>(cards.size()));
    for (const ContactCard& c : cards) {
        rows.push_back({Encrypt(c.name).toLatin1(), Encrypt(c.homePhone).toLatin1(), Encrypt(c.mobilePhone).toLatin1(),
                        Encrypt(c.workPhone).toLatin1(), Encrypt(c.emails).toLatin1(), Encrypt(c.qq).toLatin1(),
                        Encrypt(c.msn).toLatin1(), Encrypt(c.icq).toLatin1(), c.url.toUtf8()});
    }
    auto insertFloor = [&](bool previousIndexes) {
        QTemporaryDir copyDir;
        const QString copy = copyDir.path() + QStringLiteral("/copy.mdb");
        QFile::copy(empty.File(), copy);
        Connection conn;
        conn.Open(ConnectionStringForFile(copy));
        if (previousIndexes) {
            UsePreviousIndexes(conn);
        }
        QElapsedTimer timer;
        timer.start();
        Transaction transaction(conn);
        PreparedStatement insert(conn, QStringLiteral("INSERT INTO PWDTable (TypeNo, Name, F_Phone1, F_MobilePhone1, "
                                                      "C_Phone1, EMailList, QQ, MSN, ICQ, Url) "
                                                      "VALUES (?,?,?,?,?,?,?,?,?,?)"));
        qint64 typeNo = 0;
        for (const auto& row : rows) {
            insert.Bind(1, ++typeNo % 20 + 1);
            for (int f = 0; f < 9; ++f) {
                insert.BindUntilRun(f + 2, row[static_cast<std::size_t>(f)]);
            }
            insert.Run();
        }
        transaction.Commit();
        return Seconds(timer);
    };
    const double floor = insertFloor(false);
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["type_index_cost"] = floor / insertFloor(true);
    frmMain& w = empty.OpenFresh();
    Desktop().file = file;
    for (auto _ : state) {
        StallWatch stalls;
        QElapsedTimer timer;
        timer.start();
        w.mnuImport->trigger();
        const double seconds = Seconds(timer);
        state.counters["max_stall_ms"] = stalls.StopMs();
        state.SetIterationTime(seconds);
        state.counters["floor_ratio"] = seconds / floor;
    }
    Connection conn;
    conn.Open(ConnectionStringForFile(empty.File()));
    Recordset rs;
    rs.Open(QStringLiteral("SELECT count(*) AS n FROM PWDTable"), conn);
    state.counters["imported"] = static_cast<double>(rs.Integer(0));
}
BENCHMARK(BM_ImportVCard_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The bare read of 100,000 contacts from books written with each page size: what new books'
// page size was chosen by.
void BM_BareRead_PageSize(benchmark::State& state)
{
    const int pageSize = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/book.mdb");
    {
        Connection conn;
        conn.Create(ConnectionStringForFile(file), pageSize);
        conn.ExecuteScript(SchemaScript());
        FillSampleData(conn, 100, 100000);
    }
    for (auto _ : state) {
        Connection conn; // cold: nothing deciphered yet
        conn.Open(ConnectionStringForFile(file));
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(conn.Scan(QStringLiteral("SELECT * FROM PWDTable ORDER BY PWDID")));
        state.SetIterationTime(Seconds(timer));
    }
    state.counters["file_mb"] = static_cast<double>(QFileInfo(file).size()) / 1e6;
}
BENCHMARK(BM_BareRead_PageSize)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Arg(1024)
    ->Arg(4096)
    ->Arg(8192)
    ->Arg(16384)
    ->Iterations(3);

// A book of 100,000 contacts with an account, for turning the protection with the password on.
QString ProtectableBook(const QTemporaryDir& dir)
{
    const QString file = dir.path() + QStringLiteral("/Datas/address.mdb");
    QDir().mkpath(dir.path() + QStringLiteral("/Datas"));
    CreateDatabase(file);
    Connection conn;
    conn.Open(ConnectionStringForFile(file));
    FillSampleData(conn, 100, 100000);
    InsertUser(conn, QStringLiteral("anna"), QStringLiteral("Blue heron 5"), QStringLiteral("Pet?"),
               QStringLiteral("Rex"));
    return file;
}

// Turning "Protect the address book with my password" on: the password sealed for recovery, the
// whole book written anew under the new key and renamed over the old.
void BM_Rekey_100k(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = ProtectableBook(dir);
    Connection conn;
    conn.Open(ConnectionStringForFile(file));
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        ProtectBookWithAccount(conn);
        state.SetIterationTime(Seconds(timer));
        UnprotectBook(conn);
    }
    state.counters["file_mb"] = static_cast<double>(QFileInfo(file).size()) / 1e6;
}
BENCHMARK(BM_Rekey_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// What opening the book costs at start, with the program's key (arg 0) and with the password
// (arg 1), and the bare read of every contact after it: the difference is what the protection
// adds to a start and to listing.
void BM_OpenAndRead_100k(benchmark::State& state)
{
    const bool protect = state.range(0) != 0;
    QTemporaryDir dir;
    const QString file = ProtectableBook(dir);
    if (protect) {
        Connection conn;
        conn.Open(ConnectionStringForFile(file));
        ProtectBookWithAccount(conn);
    }
    SetBookPassphrase(QString::fromLatin1(DatabasePassword));
    double openSeconds = 0;
    for (auto _ : state) {
        Connection conn;
        QElapsedTimer timer;
        timer.start();
        if (protect) {
            OpenProtectedBook(conn, file, QStringLiteral("Blue heron 5"));
        } else {
            conn.Open(ConnectionStringForFile(file));
        }
        openSeconds = Seconds(timer);
        benchmark::DoNotOptimize(conn.Scan(QStringLiteral("SELECT * FROM PWDTable ORDER BY PWDID")));
        state.SetIterationTime(Seconds(timer));
    }
    state.counters["open_ms"] = openSeconds * 1000;
    SetBookPassphrase(QString::fromLatin1(DatabasePassword));
}
BENCHMARK(BM_OpenAndRead_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Arg(0)->Arg(1)->Iterations(3);

// The contact pane after a click on a row of the largest type, at a million contacts of which a
// third carry an address, a birthday and a note: from the click to the pane laid out with the
// contact and its details, read by key. Run last: it writes details into the shared book.
void PaneShow(benchmark::State& state, Book& book, int records)
{
    frmMain& w = book.Window();
    {
        Connection& conn = TheBook().Conn();
        Transaction transaction(conn);
        ContactDetailsWriter writer(conn);
        ContactDetails details;
        details.addresses = {{QStringLiteral("home"),
                              QStringLiteral("Hauptstr. 5"),
                              {},
                              {},
                              QStringLiteral("Berlin"),
                              {},
                              QStringLiteral("10115"),
                              QStringLiteral("Germany")}};
        details.birthday = {1985, 4, 12};
        details.note = QStringLiteral("Met at the fair.\nLikes tea.");
        details.phones = {{QStringLiteral("fax"), QStringLiteral("+49 30 9999")}};
        details.organisation = QStringLiteral("Okafor & Sons");
        for (qint64 id = 1; id <= records; id += 3) {
            writer.Add(id, details);
        }
        transaction.Commit();
    }
    ShowType(w, QStringLiteral("_1")); // a large type is listed in the background: wait for all of it
    const int rows = w.ListModel()->rowCount();
    if (rows == 0) {
        state.SkipWithError("the type listed no rows");
        return;
    }
    int row = 0;
    qint64 shown = 0;
    double clickMs = 0, bareMs = 0;
    for (auto _ : state) {
        row = (row + 7919) % rows; // rows far apart, so nothing of the last one is still cached
        const QModelIndex index = w.ListModel()->index(row, 0);
        w.ListView1->scrollTo(index);
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, {}, w.ListView1->visualRect(index).center());
        clickMs += timer.nsecsElapsed() / 1e6; // up to the pane built, before its layout and paint
        QApplication::processEvents();         // the pane's layout and paint
        state.SetIterationTime(Seconds(timer));
        // The floor: the bare read of the record and its details by key.
        QElapsedTimer bare;
        bare.start();
        {
            Recordset rs;
            OpenRecordView(rs, TheBook().Conn(), w.Pane->ShownId());
            benchmark::DoNotOptimize(ReadContactDetails(TheBook().Conn(), w.Pane->ShownId()));
        }
        bareMs += bare.nsecsElapsed() / 1e6;
        shown += w.Pane->ShownId() == w.ListModel()->Id(row) ? 1 : 0;
    }
    state.counters["rows"] = rows;
    state.counters["shown"] = static_cast<double>(shown);
    state.counters["click_ms"] = clickMs / static_cast<double>(state.iterations());
    state.counters["read_ms"] = bareMs / static_cast<double>(state.iterations());
}

void BM_PaneShow_1M(benchmark::State& state)
{
    PaneShow(state, Million(), 1000000);
}
BENCHMARK(BM_PaneShow_1M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(50);

void BM_PaneShow_100k(benchmark::State& state)
{
    PaneShow(state, HundredThousand(), 100000);
}
BENCHMARK(BM_PaneShow_100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(50);

} // namespace
