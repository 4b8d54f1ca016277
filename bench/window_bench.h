#pragma once
// Helpers of the benchmarks that draw: a window of the residuals window's
// size, and a main that runs the benchmarks inside the window layer's
// application (headless unless QT_QPA_PLATFORM says otherwise).

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "platform/appgraphics.h"

namespace window_bench {

// A 750 x 500 window, closed when it goes.
class BenchWindow {
public:
    BenchWindow() : id_(appgraphics::initwindow(750, 500, "Bench")) {}
    ~BenchWindow() { appgraphics::closewindow(id_); }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

private:
    int id_;
};

// Runs the registered benchmarks on the logic thread of the application.
inline int run(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return appgraphics::run_application(argc, argv, [&] {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    });
}

}  // namespace window_bench
