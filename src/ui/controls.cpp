#include "ui/controls.h"

namespace hw::ui {

void ListBox::AddLines(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) lines_.push_back(l);
    std::size_t dropped = 0;
    while (maxLines_ && lines_.size() > maxLines_) {
        lines_.pop_front();
        ++dropped;
    }
    if (onRedraw) onRedraw(dropped);
}

void Timer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Restart();
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
    if (enabled_ && interval_ > 0)
        id_ = desktop_.SetTimer(interval_, [this] {
            if (onTick) onTick();
        });
}

}  // namespace hw::ui
