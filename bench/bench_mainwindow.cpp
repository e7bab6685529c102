// The main window with a large address book: listing, re-sorting and searching 100,000 contacts,
// and building a tree of 1,000 types, on real SQLCipher files with the real window offscreen. And
// the list's ordering alone: the sort keys of a million names or phone numbers, made and ranked.
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>
#include <memory>

#include "bench/SampleData.h"
#include "core/AppState.h"
#include "main/RecordListModel.h"
#include "main/SearchMatcher.h"
#include "main/SortKeys.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "ui/Forms.h"

namespace {

// One program folder per scenario, made once: its database and the window over it.
class Fixture
{
public:
    Fixture(int types, int records, int firstTypeRecords)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("Datas"));
        m_path = m_dir.path() + QLatin1Char('/');
        CreateDatabase(m_path + QStringLiteral("Datas/address.mdb"));
        Connection conn;
        conn.Open(BuildConnectionString(m_path));
        FillSampleData(conn, types, records, firstTypeRecords);
    }

    frmMain& Open()
    {
        if (m_window.isNull()) {
            Conn.Close();
            AppFolder = m_path;
            IniFile = m_path + QStringLiteral("Tavoren.ini");
            LangFile = QStringLiteral(TAVOREN_SOURCE_DIR_DEFAULT "/resources/Language/mvleng.ini");
            Conn.Open(BuildConnectionString(AppFolder));
            m_window = new frmMain();
        }
        return *m_window;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QPointer<frmMain> m_window;
};

// 100,000 contacts in one type (and a few in the others), for listing and sorting.
Fixture& OneBigType()
{
    static Fixture fixture(100, 100000, 100000);
    return fixture;
}

// 100,000 contacts spread over 100 types, for the search.
Fixture& Spread()
{
    static Fixture fixture(100, 100000, 0);
    return fixture;
}

Fixture& ManyTypes()
{
    static Fixture fixture(1000, 2000, 0);
    return fixture;
}

void BM_LoadListData_100k(benchmark::State& state)
{
    frmMain& window = OneBigType().Open();
    QTreeWidgetItem* node = window.NodeByKey(QStringLiteral("_1"));
    for (auto _ : state) {
        window.LoadListData(node, QString());
    }
    state.counters["rows"] = window.ListModel()->rowCount();
    state.counters["resident_MB"] = StatusMegabytes("VmRSS:");
}
BENCHMARK(BM_LoadListData_100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The bare read of the same rows: the statement's recordset, nothing deciphered or shown.
void BM_QueryOnly_100k(benchmark::State& state)
{
    OneBigType().Open();
    for (auto _ : state) {
        Recordset rs;
        OpenRecordsOfType(rs, Conn, 1);
        benchmark::DoNotOptimize(rs.RecordCount());
    }
}
BENCHMARK(BM_QueryOnly_100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ColumnClick_100k(benchmark::State& state)
{
    frmMain& window = OneBigType().Open();
    window.LoadListData(window.NodeByKey(QStringLiteral("_1")), QString());
    QHeaderView* header = window.ListView1->header();
    int column = 1;
    for (auto _ : state) {
        // A different column each time, so every click really re-sorts.
        emit header->sectionClicked(column);
        column = column % 7 + 1;
    }
}
BENCHMARK(BM_ColumnClick_100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Search_100k(benchmark::State& state)
{
    frmMain& window = Spread().Open();
    window.txtField->setCurrentIndex(4); // the e-mail lists
    window.txtValue->setText(QStringLiteral("user12"));
    for (auto _ : state) {
        window.CmdSearch->click();
    }
    state.counters["found"] = window.ListModel()->rowCount();
}
BENCHMARK(BM_Search_100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadTreeData_1000Types(benchmark::State& state)
{
    frmMain& window = ManyTypes().Open();
    for (auto _ : state) {
        window.LoadTreeData(QStringLiteral("Root"));
    }
    state.counters["nodes"] = window.TreeView1->topLevelItem(0)->childCount();
}
BENCHMARK(BM_LoadTreeData_1000Types)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A million texts as a listing hands them over: their keys made on one thread, then ranked.
// Argument 0: phone numbers; 1: names.
void BM_SortKeys_1M(benchmark::State& state)
{
    constexpr std::size_t Count = 1000000;
    std::vector<QString> texts;
    texts.reserve(Count);
    for (std::size_t i = 0; i < Count; ++i) {
        const auto n = static_cast<qulonglong>((i * 7919) % Count);
        texts.push_back(state.range(0) == 0
                            ? QStringLiteral("+%1 %2 %3-%4").arg(n % 97 + 1).arg(n % 989 + 10).arg(n % 900 + 100).arg(n)
                            : QStringLiteral("Contact %1 Miller").arg(n));
    }
    QCollator caseless; // as the list sorts
    caseless.setCaseSensitivity(Qt::CaseInsensitive);
    const SortKeys keys{caseless};
    for (auto _ : state) {
        std::vector<SortKeys::Maker> makers;
        makers.emplace_back(keys, Count);
        for (std::size_t i = 0; i < Count; ++i) {
            makers[0].Add(i, texts[i]);
        }
        benchmark::DoNotOptimize(SortKeys::Ranks(makers, Count).data());
    }
    state.SetLabel(state.range(0) == 0 ? "phone numbers" : "names");
}
BENCHMARK(BM_SortKeys_1M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A million enciphered e-mail addresses matched as a search reads them, on one thread. Argument 0:
// letter for letter (matched enciphered); 1: case and accents ignored (each deciphered and folded).
void BM_SearchMatch_1M(benchmark::State& state)
{
    constexpr std::size_t Count = 1000000;
    std::vector<QByteArray> ciphers;
    ciphers.reserve(Count);
    for (std::size_t i = 0; i < Count; ++i) {
        ciphers.push_back(Encrypt(QStringLiteral("User.%1@Example.org").arg((i * 7919) % Count)).toLatin1());
    }
    const SearchMatcher matcher(QStringLiteral("user.12"), state.range(0) == 0);
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const QByteArray& cipher : ciphers) {
            const QByteArrayView value(cipher);
            found += matcher.Matches(&value, 1) ? 1 : 0;
        }
    }
    state.counters["found"] = static_cast<double>(found);
    state.SetLabel(state.range(0) == 0 ? "letter for letter" : "case ignored");
}
BENCHMARK(BM_SearchMatch_1M)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
