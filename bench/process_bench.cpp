// GetProcessIdByName opens every process on each call, and the controller
// calls it in every pass of its waits: the cost of one look-up on a busy
// machine (300 processes, the server last).
#include <benchmark/benchmark.h>

#include "automation/process.h"
#include "platform/sim/sim_desktop.h"

static void BM_GetProcessIdByName(benchmark::State& state) {
    hw::platform::sim::SimDesktop desktop;
    for (int i = 0; i < state.range(0); ++i)
        desktop.AddProcess("C:\\Windows\\System32\\svc" + std::to_string(i) + ".exe");
    desktop.AddProcess("C:\\Games\\Kaltor\\KALTOR INTERNET SERVER.EXE");
    for (auto _ : state)
        benchmark::DoNotOptimize(
            hw::automation::GetProcessIdByName(desktop, "KALTOR INTERNET SERVER.EXE"));
}
BENCHMARK(BM_GetProcessIdByName)->Arg(300);
