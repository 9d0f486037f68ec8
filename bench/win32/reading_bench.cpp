// Reading N new lines of the real stand-in's message list, as each poll
// does, against the floor: one bare LB_GETTEXT per line into a buffer
// already large enough. The two take turns within each iteration, so that
// whatever else the machine does weighs on both alike.
// Target: at most 1.5x the floor.
#include <windows.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>

#include "automation/remote_lists.h"
#include "bench/win32/bench_support.h"
#include "platform/win32/win32_desktop.h"

namespace {

using namespace hw;
platform::win32::Win32Desktop g_desktop;
platform::Hwnd g_list = 0;
int g_count = 0;  // the list's lines: the script's and the server's own
constexpr int kLines = 2000;

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Floor(int n) {
    const HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(g_list.value()));
    static std::wstring buffer(4096, L'\0');
    for (int i = g_count - n; i < g_count; ++i) {
        DWORD_PTR r = 0;
        if (!SendMessageTimeoutW(h, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()),
                                 SMTO_ABORTIFHUNG, 400, &r))
            return false;
    }
    return true;
}

void BM_NewLinesAgainstFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double floor = 0, ours = 0;
    std::vector<double> ratios;  // each iteration's: their median is little moved by a stray slow send
    for (auto _ : state) {
        const double t0 = Seconds();
        const bool floorRead = Floor(n);
        const double t1 = Seconds();
        const size_t read = automation::GetListBoxLines(g_desktop, g_list, g_count - n).size();
        const double t2 = Seconds();
        if (!floorRead || read != static_cast<size_t>(n)) {
            state.SkipWithError("not every line was read");
            return;
        }
        floor += t1 - t0;
        ours += t2 - t1;
        ratios.push_back((t2 - t1) / (t1 - t0));
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = 1000.0 * floor / iterations;
    state.counters["ours_ms"] = 1000.0 * ours / iterations;
    state.counters["ratio"] = median;
    std::printf("%d new lines: %.2f ms against the floor's %.2f ms on average; median %.2fx (target: at most 1.5x)\n",
                n, 1000.0 * ours / iterations, 1000.0 * floor / iterations, median);
}
BENCHMARK(BM_NewLinesAgainstFloor)->Arg(50)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::Standin server(g_desktop, "Harrowatch Bench Reading",
                          "active\r\nat 0 messages " + std::to_string(kLines) + "\r\n");
    g_list = server.MessageList(kLines);
    std::int64_t count = 0;
    if (!g_list || !g_desktop.SendMessageTimeout(g_list, platform::msg::kLbGetCount, 0, 0,
                                                 platform::msg::kSmtoAbortIfHung, 2000, &count)) {
        std::fprintf(stderr, "the stand-in server did not come up with %d lines\n", kLines);
        return 1;
    }
    g_count = static_cast<int>(count);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
