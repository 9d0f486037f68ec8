// What a wait for the server costs: Harrowatch's CPU time while it waits ten
// seconds for a "Server Configuration" form that the stand-in never shows.
// Target: under 2% of one core.
#include <windows.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "automation/process.h"
#include "platform/win32/win32_desktop.h"
#include "server/controller.h"
#include "bench/win32/bench_support.h"
#include "settings/registry.h"
#include "ui/message_box.h"

namespace {

using namespace hw;
automation::CancelSignal g_cancel;

void CALLBACK EndWait(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    g_cancel.Raise();
}



void BM_WaitForAFormThatNeverComes(benchmark::State& state) {
    platform::win32::Win32Desktop d;
    const std::string folder = bench::InstallStandin("Harrowatch Bench Quiet Server", "no-config\r\n");
    bench::SetSetting(d, server::kGameKey, "INSTDIR", folder, platform::reg::kSz);

    ui::RecordingMessageBoxes boxes;
    server::clsHarrowatch controller(d, boxes, &g_cancel);
    for (auto _ : state) {
        const double cpu0 = bench::CpuSeconds(GetCurrentProcess());
        const ULONGLONG wall0 = GetTickCount64();
        SetTimer(nullptr, 0, 10000, EndWait);
        benchmark::DoNotOptimize(controller.StartServer());
        const double wall = (GetTickCount64() - wall0) / 1000.0;
        const double cpu = bench::CpuSeconds(GetCurrentProcess()) - cpu0;
        state.counters["wait_s"] = wall;
        state.counters["cpu_s"] = cpu;
        state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
        std::printf("waited %.1f s using %.3f s of CPU: %.2f%% of one core (target: under 2%%)\n", wall, cpu,
                    wall > 0 ? 100.0 * cpu / wall : 0.0);
    }
    if (platform::Pid pid = automation::GetProcessIdByName(d, server::kServerExeName)) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid.value());
        TerminateProcess(h, 0);
        CloseHandle(h);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora");
}
BENCHMARK(BM_WaitForAFormThatNeverComes)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
