#include "ui/controls.h"

#include <algorithm>

namespace hw::ui {

void ListBox::AddLines(const std::vector<std::string>& lines, Follow follow) {
    lines_.insert(lines_.end(), lines.begin(), lines.end());
    std::size_t dropped = 0;
    if (maxLines_ && lines_.size() > maxLines_) {
        // Down to a tenth below the cap, so that lines are dropped in blocks
        // rather than a few at every add: a native list box drops its first
        // line at a cost that grows with its length, and a block is cheaper
        // drawn anew.
        dropped = lines_.size() - (maxLines_ - maxLines_ / 10);
        lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(dropped));
    }
    if (follow == SelectLast)
        selected_ = static_cast<int>(lines_.size()) - 1;
    else if (selected_ >= 0)  // the line selected stays selected while it is kept
        selected_ = static_cast<std::size_t>(selected_) >= dropped ? selected_ - static_cast<int>(dropped) : -1;
    if (onRedraw) onRedraw(dropped);
}

void Timer::SetEnabled(bool on) {
    // Switched off while held, it keeps no moment it was due: switched on
    // again, it counts a whole interval.
    heldDueAt_ = 0;
    if (on == enabled_) return;
    enabled_ = on;
    Restart();
}

void Timer::Hold(bool on) {
    if (on == enabled_) return;
    if (!on) {
        const bool running = id_ != 0;
        enabled_ = false;
        Stop();
        heldDueAt_ = running ? dueAt_ : 0;
        return;
    }
    enabled_ = true;
    const std::uint64_t due = heldDueAt_, now = desktop_.TickCount();
    heldDueAt_ = 0;
    if (!due || interval_ == 0) return Restart();
    Stop();
    // The time held counts: a tick that fell due meanwhile comes at once.
    Arm(static_cast<std::uint32_t>(due > now ? std::min<std::uint64_t>(due - now, interval_) : 1));
}

bool Timer::SetInterval(std::int64_t ms) {
    if (ms < 0 || ms > 65535) return false;
    if (static_cast<std::uint32_t>(ms) == interval_) return true;
    interval_ = static_cast<std::uint32_t>(ms);
    Restart();
    return true;
}

void Timer::Stop() {
    if (id_) desktop_.KillTimer(id_);
    id_ = 0;
}

void Timer::Restart() {
    Stop();
    if (enabled_ && interval_ > 0) Arm(interval_);
}

void Timer::Arm(std::uint32_t ms) {
    period_ = ms;
    dueAt_ = desktop_.TickCount() + ms;
    id_ = desktop_.SetTimer(ms, [this] {
        // The rest of a held countdown has run: back to the interval.
        if (period_ != interval_) {
            Stop();
            Arm(interval_);
        } else {
            dueAt_ = desktop_.TickCount() + interval_;
        }
        if (onTick) onTick();
    });
}

}  // namespace hw::ui
