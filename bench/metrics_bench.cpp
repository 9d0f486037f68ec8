// Writing the metrics file, which a poll does at most every 15 s: its text,
// the temporary file and the move over the old one. Target: under 1 ms a
// write. On the simulated desktop (the text and the calls), and on this
// machine's disk (the text, a new file, a rename over the old one).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/sim/sim_desktop.h"
#include "supervision/metrics.h"

namespace {

using namespace hw;

supervision::MetricsState Busy() {
    supervision::MetricsState s;
    s.serverUp = true;
    s.players = 100;
    s.resources.pid = platform::Pid{1234};
    s.resources.cpuPercent = 3.2;
    s.resources.cpuSeconds = 86400.25;
    s.resources.privateBytes = 432013312;
    s.resources.handles = 318;
    s.resources.startTime = 1796544023;
    s.resources.uptimeSeconds = 86400;
    s.lastPollSeconds = 0.012;
    return s;
}

void BM_MetricsWrite(benchmark::State& state) {
    platform::sim::SimDesktop d;
    d.MakeFolder("C:\\Metrics");
    supervision::Metrics metrics(d);
    for (int i = 0; i < 500; ++i) metrics.Take({supervision::EventId::ResetDone, supervision::Level::Information, ""});
    const supervision::MetricsState s = Busy();
    for (auto _ : state) {
        state.PauseTiming();
        d.AdvanceIdle(supervision::Metrics::kEveryMs);
        state.ResumeTiming();
        if (!metrics.Write("C:\\Metrics", s)) state.SkipWithError("not written");
    }
    state.counters["target_ms"] = 1;
    state.counters["bytes"] = static_cast<double>(d.FileContent("C:\\Metrics\\harrowatch.prom").size());
}
BENCHMARK(BM_MetricsWrite)->Unit(benchmark::kMicrosecond);

void BM_MetricsFileOnDisk(benchmark::State& state) {
    platform::sim::SimDesktop d;
    supervision::Metrics metrics(d);
    const supervision::MetricsState s = Busy();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "hw-metrics-bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / supervision::kMetricsFileName;
    const std::filesystem::path temporary = folder / "harrowatch.prom.tmp";
    for (auto _ : state) {
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << metrics.Text(s);
        }
        std::filesystem::rename(temporary, file);
    }
    state.counters["target_ms"] = 1;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_MetricsFileOnDisk)->Unit(benchmark::kMicrosecond);

}  // namespace
