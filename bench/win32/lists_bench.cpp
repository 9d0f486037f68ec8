// The refresh cycle reads every player row on every tick. Reading the real
// stand-in's list view of 500 players x 3 columns under Windows: cell by cell
// (a process open, two remote blocks, a write, a message and two reads per
// cell) against the whole-list reader (one of each, a message per cell).
#include <windows.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
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


template <typename F>
bool WaitFor(F done, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

bool StartServer() {
    const std::string folder =
        bench::InstallStandin("Harrowatch Bench Kaltor", "at 0 players " + std::to_string(kRows) + "\r\n");
    const std::string program = folder + "KALTOR INTERNET SERVER.EXE";

    g_server = automation::LaunchProgram(g_desktop, program, folder, false);
    platform::Hwnd save = 0;
    if (!g_server || !WaitFor([&] {
            platform::Hwnd form = g_desktop.FindWindow("ThunderRT6FormDC", "Server Configuration");
            return (save = g_desktop.FindWindowEx(form, 0, "ThunderRT6CommandButton", "&Save")) != 0;
        }, 20000))
        return false;
    g_desktop.PostMessage(save, 0x0201, 0, 0);
    g_desktop.PostMessage(save, 0x0202, 0, 0);
    const platform::Hwnd main = automation::GetProcessMainWindow(g_desktop, g_server);
    return WaitFor([&] {
        for (platform::Hwnd h : automation::GetChildWindows(g_desktop, main))
            if (h && automation::GetWindowClass(g_desktop, h) == "ListViewWndClass") g_listView = h;
        std::int64_t count = 0;
        return g_listView &&
               g_desktop.SendMessageTimeout(g_listView, platform::msg::kLvmGetItemCount, 0, 0, 2, 2000, &count) &&
               count == kRows;
    }, 20000);
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

// Remembers each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) times[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!StartServer()) {
        std::fprintf(stderr, "the stand-in server did not come up with %d players\n", kRows);
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double cells = reporter.times["BM_CellByCell"], whole = reporter.times["BM_WholeList"];
    if (whole > 0) std::printf("cell-by-cell / whole-list: %.1fx (target: at least 5x)\n", cells / whole);
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, g_server);
    if (h) {
        TerminateProcess(h, 0);
        CloseHandle(h);
    }
    return 0;
}
