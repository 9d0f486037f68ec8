// Time, timers and the message loop, and work handed to a worker thread.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/types.h"

namespace hw::platform {

class Desktop;

class ClockApi {
public:
    virtual ~ClockApi() = default;

    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Lets pending window messages, timer ticks and posted work run (DoEvents).
    virtual void DoEvents() = 0;
    virtual std::uint64_t TickCount() = 0;
    virtual LocalTime GetLocalTime() = 0;
    // Minutes the local time is ahead of UTC (negative west of Greenwich).
    virtual std::int32_t UtcOffsetMinutes() = 0;
    // A timer of Harrowatch's own: `tick` runs from the message loop every
    // `milliseconds` until the timer is killed. 0 on failure.
    virtual std::uint32_t SetTimer(std::uint32_t milliseconds, std::function<void()> tick) = 0;
    virtual void KillTimer(std::uint32_t id) = 0;
    // The time now, as a FILETIME count of 100 ns since 1601 in UTC.
    virtual std::uint64_t GetSystemTimeAsFileTime() = 0;
    // Work that may block, off the interface thread: `work` runs on a
    // worker thread of Harrowatch's, jobs of one lane in the order given;
    // `done` then runs on the interface thread, from its message loop. When
    // no worker can be had, both run at once, on the caller's thread: never
    // neither. `work` calls the system through the desktop it is handed,
    // which the worker owns: a job still under way at exit outlives this
    // desktop, and must hold nothing of it (nor of anything else the exit
    // frees).
    // Exports (the metrics file, in a folder the operator chose, perhaps on
    // a share that stalls) have a lane of their own, so that they never
    // hold a reset's backup copy or a webhook post behind them.
    enum class WorkLane { Shared = 0, Exports = 1 };
    static constexpr int kWorkLanes = 2;
    virtual void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                                 WorkLane lane) = 0;
    void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done) {
        RunInBackground(std::move(work), std::move(done), WorkLane::Shared);
    }
};

}  // namespace hw::platform
