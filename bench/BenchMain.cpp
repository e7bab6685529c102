#include "bench/BenchMain.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <utility>
#include <vector>

#include "core/AppState.h"

namespace {

struct Hooks
{
    std::vector<std::function<void()>> before;
    std::vector<std::function<void()>> after;
};

Hooks& TheHooks()
{
    static Hooks hooks;
    return hooks;
}

} // namespace

BenchSetUp::BenchSetUp(std::function<void()> before, std::function<void()> after)
{
    if (before) {
        TheHooks().before.push_back(std::move(before));
    }
    if (after) {
        TheHooks().after.push_back(std::move(after));
    }
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SoundEnabled = false;
    LoginEnabled = false;
    for (const auto& before : TheHooks().before) {
        before();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Undone in reverse, while the application still runs.
    for (auto it = TheHooks().after.rbegin(); it != TheHooks().after.rend(); ++it) {
        (*it)();
    }
    return 0;
}
