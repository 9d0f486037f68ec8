// The virtual clock: time moves only when the code under test sleeps or
// waits, work of simulated programs runs in time order, and Harrowatch's
// own timers and posted work wait for its message loop.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <exception>

#include "common/datetime.h"

namespace hw::platform::sim {

namespace {
constexpr std::int64_t kMsPerDay = 86400000;
}  // namespace

void SimDesktop::SetStartTime(const LocalTime& t) {
    startDays_ = datetime::DaysFromCivil(t.year, t.month, t.day);
    startMsOfDay_ = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000LL + t.millisecond;
    startMsOfDay_ -= static_cast<std::int64_t>(nowMs_);
}

LocalTime SimDesktop::GetLocalTime() {
    std::int64_t total = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(nowMs_);
    std::int64_t days = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
    std::int64_t ms = total - days * kMsPerDay;
    datetime::Date d = datetime::CivilFromDays(days);
    LocalTime t;
    t.year = d.year;
    t.month = d.month;
    t.day = d.day;
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

std::uint64_t SimDesktop::FileTimeNow() {
    constexpr std::int64_t kMsFrom1601To1970 = 11644473600000;
    const std::uint64_t clock = onWorker_ ? std::max(workerClock_, nowMs_) : nowMs_;
    const std::int64_t local = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(clock);
    return static_cast<std::uint64_t>(local - utcOffsetMinutes_ * 60000LL + kMsFrom1601To1970) * 10000;
}

std::uint64_t SimDesktop::GetSystemTimeAsFileTime() {
    constexpr std::int64_t kMsFrom1601To1970 = 11644473600000LL;
    const std::int64_t utcMs = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(nowMs_) -
                               std::int64_t{utcOffsetMinutes_} * 60000;
    return static_cast<std::uint64_t>(utcMs + kMsFrom1601To1970) * 10000;
}

void SimDesktop::ScheduleAt(std::uint64_t atMs, Pid owner, std::function<void()> work) {
    work_.push_back({std::max(atMs, nowMs_), workSeq_++, owner, std::move(work)});
}

void SimDesktop::RunDue(bool includeOwn) {
    for (;;) {
        // As Windows: a timer's tick is a low-priority message, made only
        // when nothing else waits for its program (input posted after the
        // tick fell due still comes first).
        auto best = work_.end();
        for (auto it = work_.begin(); it != work_.end(); ++it) {
            if (it->atMs > nowMs_ || (!includeOwn && it->owner == ownPid_) || IsHung(it->owner)) continue;
            if (best == work_.end() || std::tie(it->atMs, it->seq) < std::tie(best->atMs, best->seq)) best = it;
        }
        if (best != work_.end() && best->timer) {
            // The same program's other work due now goes first.
            auto other = work_.end();
            for (auto it = work_.begin(); it != work_.end(); ++it)
                if (!it->timer && it->owner == best->owner && it->atMs <= nowMs_ &&
                    (other == work_.end() || std::tie(it->atMs, it->seq) < std::tie(other->atMs, other->seq)))
                    other = it;
            if (other != work_.end()) best = other;
        }
        if (best == work_.end()) return;
        auto fn = std::move(best->fn);
        work_.erase(best);
        fn();
    }
}

void SimDesktop::MoveClockTo(std::uint64_t target, bool includeOwn) {
    for (;;) {
        std::uint64_t next = target;
        // Work of a hung program waits for it to pick up again (below).
        for (const Work& w : work_)
            if ((includeOwn || w.owner != ownPid_) && w.atMs < next && !IsHung(w.owner))
                next = std::max(w.atMs, nowMs_);
        for (const SimProcess& p : processes_)  // a hung program picks up again
            if (p.alive && p.hungUntilMs > nowMs_ && p.hungUntilMs < next) next = p.hungUntilMs;
        nowMs_ = std::max(nowMs_, next);
        RunDue(includeOwn);
        if (nowMs_ >= target) return;
    }
}

void SimDesktop::Sleep(std::uint32_t milliseconds) {
    // The worker thread sleeps on its own: Harrowatch's thread goes on.
    if (onWorker_) {
        workerClock_ += milliseconds;
        return;
    }
    sleptMs_ += milliseconds;
    MoveClockTo(nowMs_ + milliseconds, false);
}

void SimDesktop::DoEvents() {
    ++yields_;
    RunDue(true);
}

void SimDesktop::AdvanceIdle(std::uint64_t ms) { MoveClockTo(nowMs_ + ms, true); }

std::uint32_t SimDesktop::SetTimer(std::uint32_t milliseconds, std::function<void()> tick) {
    const std::uint32_t id = nextTimer_++;
    timers_[id] = std::move(tick);
    ArmTimer(id, std::max<std::uint32_t>(milliseconds, 10));
    return id;
}

void SimDesktop::KillTimer(std::uint32_t id) {
    timers_.erase(id);
    std::erase_if(work_, [id](const Work& w) { return w.timer == id; });
}

void SimDesktop::ArmTimer(std::uint32_t id, std::uint32_t milliseconds) {
    // A tick is due work of Harrowatch's own: it runs when Harrowatch yields.
    ScheduleAfter(milliseconds, ownPid_, [this, id, milliseconds] {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        ArmTimer(id, milliseconds);
        auto tick = it->second;  // the tick may kill its timer
        // As Windows: nothing crosses back out of a timer procedure.
        try {
            tick();
        } catch (const std::exception& e) {
            callbackErrors_.push_back(e.what());
        } catch (...) {
            callbackErrors_.push_back("unknown exception");
        }
    });
    work_.back().timer = id;
}

// The worker thread: its jobs run one after another, each when the one
// before has finished, while Harrowatch's own thread goes on (a sleep of
// Harrowatch's lets them run, as a real thread would). `done` waits for
// Harrowatch's message loop.
void SimDesktop::RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                                 WorkLane lane) {
    const int l = static_cast<int>(lane);
    const Pid worker = static_cast<Pid>(1 + l);
    ScheduleAt(std::max(nowMs_, laneClocks_[l]), worker, [this, l, work = std::move(work), done = std::move(done)] {
        workerClock_ = std::max(laneClocks_[l], nowMs_);
        onWorker_ = true;
        try {
            work(*this);
        } catch (...) {
            callbackErrors_.push_back("background work threw");
        }
        onWorker_ = false;
        laneClocks_[l] = workerClock_;
        ScheduleAt(workerClock_, ownPid_, done);
    });
}

}  // namespace hw::platform::sim
