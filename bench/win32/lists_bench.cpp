// The refresh cycle reads every player row on every tick. Reading the real
// stand-in's list view of 500 players x 3 columns under Windows: cell by cell
// (a process open, two remote blocks, a write, a message and two reads per
// cell) against the whole-list reader (one of each, a message per cell).
#include <windows.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "automation/process.h"
#include "bench/win32/bench_support.h"
#include "automation/remote_lists.h"
#include "automation/windows.h"
#include "platform/win32/win32_desktop.h"

namespace {

using namespace hw;
platform::win32::Win32Desktop g_desktop;
platform::Hwnd g_listView = 0;
platform::Pid g_server = 0;
constexpr int kRows = 500;


std::unique_ptr<bench::Standin> g_standin;

bool StartServer() {
    g_standin = std::make_unique<bench::Standin>(g_desktop, "Harrowatch Bench Kaltor",
                                                 "at 0 players " + std::to_string(kRows) + "\r\n");
    g_server = g_standin->Pid();
    g_listView = g_standin->PlayerList(kRows);
    return g_listView != 0;
}

void BM_CellByCell(benchmark::State& state) {
    for (auto _ : state)
        for (int row = 0; row < kRows; ++row)
            for (int col = 1; col <= 3; ++col)
                benchmark::DoNotOptimize(automation::GetListViewCellText(g_desktop, g_listView, g_server, col, row));
}
BENCHMARK(BM_CellByCell)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_WholeList(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(automation::GetListViewCells(g_desktop, g_listView, g_server, kRows, {1, 2, 3}));
}
BENCHMARK(BM_WholeList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!StartServer()) {
        std::fprintf(stderr, "the stand-in server did not come up with %d players\n", kRows);
        return 1;
    }
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double cells = reporter.times["BM_CellByCell"], whole = reporter.times["BM_WholeList"];
    if (whole > 0) std::printf("cell-by-cell / whole-list: %.1fx (target: at least 5x)\n", cells / whole);
    g_standin.reset();
    return 0;
}
