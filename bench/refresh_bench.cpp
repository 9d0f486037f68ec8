// One refresh cycle against the stand-in with 1,000 players, the server's
// message list already N lines long and growing by 10 lines a tick: the cost
// of a tick must not grow with N.
#include <benchmark/benchmark.h>

#include "app/main_window.h"
#include "automation/process.h"
#include "platform/sim/sim_desktop.h"
#include "standin/sim/sim_host.h"

namespace {

using namespace hw;

void BM_RefreshCycle(benchmark::State& state) {
    platform::sim::SimDesktop d;
    standin::SimStandins standins;
    const std::string folder = "C:\\Games\\Kaltor Online\\";
    standins.Install(d, folder + "KALTOR INTERNET SERVER.EXE",
                     "active\nat 0 players 1000\nat 0 messages " + std::to_string(state.range(0)) + "\n");
    d.PokeString(platform::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", folder);
    d.PokeValue(platform::kHkeyLocalMachine, "Software\\Harrowatch", "AutoStart", 4, {1, 0, 0, 0});
    ui::RecordingMessageBoxes boxes;
    ui::RecordingTrayShell shell;
    automation::CancelSignal cancel;
    ui::Application app;
    app::frmMain form(d, boxes, shell, cancel, app);
    form.Form_Load();
    d.AdvanceIdle(2000);  // the server comes up, its players join, its lines arrive
    form.RefreshTimer.SetEnabled(false);
    standin::Server& server = *standins.Latest()->server;
    // The list caught up with first, a poll's worth at a time.
    const auto lines = static_cast<std::int64_t>(standins.Latest()->host->Lines(server.messageList()).size());
    while (form.CopiedServerLines() < lines) form.FormRefresh();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 10; ++i) server.AddLine("a line arriving between ticks");
        state.ResumeTiming();
        form.FormRefresh();
    }
    state.counters["players"] = static_cast<double>(form.PlayerListView.Items().size());
    state.SetLabel("last player: " + form.PlayerListView.Items().back()[1]);
    state.counters["copied"] = static_cast<double>(form.CopiedServerLines());
}
BENCHMARK(BM_RefreshCycle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
