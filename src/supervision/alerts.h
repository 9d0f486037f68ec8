// Events that reach an operator away from the console: tray balloons and the
// webhook. Each kind goes out at most once a minute; what comes within the
// minute is held and goes out merged when the minute is over ("Server
// crashed 5 times in 3 min").
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "supervision/events.h"

namespace hw::supervision {

struct Alert {
    EventId id;
    std::string title;  // the event's alert name, with the count when merged
    std::string text;   // the latest event's own text
    int count = 1;
};

class AlertThrottle {
public:
    static constexpr std::uint64_t kSpanMs = 60000;
    // An event now: the alert to send at once, or nothing while it is held.
    std::optional<Alert> Take(const Event& event, std::uint64_t nowMs);
    // Held alerts whose minute is over, each kind merged into one.
    std::vector<Alert> Due(std::uint64_t nowMs);
    bool Holding() const;

private:
    struct Kind {
        std::uint64_t sentMs = 0;
        bool sent = false;
        int held = 0;
        std::uint64_t firstHeldMs = 0, lastHeldMs = 0;
        std::string text;
    };
    std::map<EventId, Kind> kinds_;
};

// A sink of the alerts of one reach and beyond: the throttle, and a timer
// that runs only while something is held.
class AlertSink : public EventSink {
public:
    AlertSink(platform::Desktop& desktop, Reach least) : desktop_(desktop), least_(least) {}
    ~AlertSink() override;
    AlertSink(const AlertSink&) = delete;
    AlertSink& operator=(const AlertSink&) = delete;
    void Take(const Event& event) override;
    // Sends what is due; the timer calls it, tests may too.
    void Tick();

protected:
    virtual bool Enabled() = 0;
    virtual void Send(const Alert& alert) = 0;
    platform::Desktop& desktop_;

private:
    void Arm();
    Reach least_;
    AlertThrottle throttle_;
    std::uint32_t timer_ = 0;
};

}  // namespace hw::supervision
