#pragma once

#include <functional>

// The benchmark programs share one main: an offscreen application without sounds or a login,
// around Google Benchmark's run. A program that needs more around its run (a platform, a
// background writer, a server to stop while the application still runs) says so with a static
// BenchSetUp.
class BenchSetUp
{
public:
    explicit BenchSetUp(std::function<void()> before, std::function<void()> after = {});
};
