// sonavelle-bench [--micro | --harness] [Google Benchmark options]
// Without a mode: the hot-path benchmarks, then the conversation harness.
#include "Harness.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char* argv[]) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);

    bool micro = true, harness = true;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--micro") == 0)
            harness = false;
        else if (std::strcmp(argv[i], "--harness") == 0)
            micro = false;
        else
            rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    QApplication app(n, rest.data());
    const double appStartMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    if (micro) {
        benchmark::Initialize(&n, rest.data());
        if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 2;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    return harness ? (bench::RunHarness(appStartMs) == 0 ? 0 : 1) : 0;
}
