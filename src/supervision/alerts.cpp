#include "supervision/alerts.h"

namespace hw::supervision {

std::optional<Alert> AlertThrottle::Take(const Event& event, std::uint64_t nowMs) {
    Kind& k = kinds_[event.id];
    if (!k.sent || nowMs - k.sentMs >= kSpanMs) {
        if (k.held == 0) {
            k.sent = true;
            k.sentMs = nowMs;
            return Alert{event.id, Info(event.id).alert, event.text, 1};
        }
    }
    if (k.held++ == 0) k.firstHeldMs = nowMs;
    k.lastHeldMs = nowMs;
    k.text = event.text;
    return std::nullopt;
}

std::vector<Alert> AlertThrottle::Due(std::uint64_t nowMs) {
    std::vector<Alert> due;
    for (auto& [id, k] : kinds_) {
        if (k.held == 0 || nowMs - k.sentMs < kSpanMs) continue;
        std::string title = Info(id).alert;
        if (k.held > 1) {
            const std::uint64_t minutes = std::max<std::uint64_t>(1, (k.lastHeldMs - k.firstHeldMs + 59999) / 60000);
            title += " " + std::to_string(k.held) + " times in " + std::to_string(minutes) + " min";
        }
        due.push_back({id, title, k.text, k.held});
        k.held = 0;
        k.sentMs = nowMs;
    }
    return due;
}

bool AlertThrottle::Holding() const {
    for (const auto& [id, k] : kinds_)
        if (k.held) return true;
    return false;
}

AlertSink::~AlertSink() {
    if (timer_) desktop_.KillTimer(timer_);
}

void AlertSink::Take(const Event& event) {
    const Reach reach = Info(event.id).reach;
    if (reach == Reach::Log || static_cast<int>(reach) < static_cast<int>(least_)) return;
    if (!Enabled()) return;
    if (auto now = throttle_.Take(event, desktop_.TickCount())) Send(*now);
    Arm();
}

void AlertSink::Tick() {
    const std::vector<Alert> due = throttle_.Due(desktop_.TickCount());
    if (!due.empty() && Enabled())
        for (const Alert& a : due) Send(a);
    Arm();
}

void AlertSink::Arm() {
    if (throttle_.Holding() && !timer_) {
        timer_ = desktop_.SetTimer(5000, [this] { Tick(); });
    } else if (!throttle_.Holding() && timer_) {
        desktop_.KillTimer(timer_);
        timer_ = 0;
    }
}

}  // namespace hw::supervision
