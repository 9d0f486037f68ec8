// The schedule step with 1,000 rows of which 10 are due: each run stores its
// entry and re-sorts the grid. It must stay far below one poll interval
// (5,000 ms).
#include <benchmark/benchmark.h>

#include "platform/sim/sim_desktop.h"
#include "schedule/catalogue.h"
#include "schedule/grid_layout.h"
#include "schedule/next_time.h"
#include "schedule/schedule.h"

namespace {

using namespace hw;

struct AlwaysDone : schedule::ScheduledItemRunner {
    bool ProcessScheduledItem(const std::string&) override { return true; }
};

void BM_ScheduleStep(benchmark::State& state) {
    platform::sim::SimDesktop desktop;
    desktop.SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    ui::RecordingMessageBoxes boxes;
    AlwaysDone runner;
    for (auto _ : state) {
        state.PauseTiming();
        ui::GridModel grid;
        schedule::Schedule s(grid, desktop, boxes, {});
        schedule::InitializeResultGrid(grid, schedule::kScheduleGridSpec, boxes, {});
        for (int i = 0; i < 1000; ++i) {
            // Ten rows due this morning, the rest spread over the coming months.
            schedule::DateTime when{2026, 12, 6, 8, i % 60};
            if (i >= 10) when = {2027, 1 + i % 12, 1 + i % 28, i % 24, i % 60};
            s.AddRow(schedule::kResetItems[i % 16].index, i % 3, schedule::FormatNextTime(when));
        }
        s.FormSave();
        state.ResumeTiming();
        s.RunDueItems(runner);
    }
}
BENCHMARK(BM_ScheduleStep)->Unit(benchmark::kMillisecond);

}  // namespace
