// What happens to the server and to Harrowatch, as one list of supervision
// events. Every sink (the day's log file, the Windows event log, the tray's
// balloons, the webhook) takes every event and keeps what reaches it: a new
// event is one line in the table in events.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hw::supervision {

enum class Level { Information, Warning, Error };

// The event numbers are also the message ids of the event log's message table.
enum class EventId : std::uint32_t {
    Started = 1,
    Exited = 2,
    ServerFound = 3,
    ServerLaunched = 4,
    ServerEnded = 5,
    RelaunchDelayed = 6,
    NotResponding = 7,
    RespondingAgain = 8,
    HungServerEnded = 9,
    ResetDone = 10,
    ResetFailed = 11,
    MessageSent = 12,
    SettingsApplied = 13,
    ErrorReported = 14,
    LogUnwritable = 15,
    WarningNotSent = 16,
    ServerStopped = 17,
    RelaunchedAfterCrashes = 18,
    WebhookNotDelivered = 19,
    MessageNotSent = 20,
    ServerResources = 21,
    MetricsUnwritable = 22,
    PlannedRestart = 23,
    PlannedRestartFailed = 24,
};

// Who hears of an event beyond the log and the event log: the webhook, or
// the webhook and a tray balloon.
enum class Reach { Log, Webhook, Balloon };

struct EventInfo {
    EventId id;
    Level level;
    const char* name;   // as the log writes it
    Reach reach;
    const char* key;    // the webhook's "event"
    const char* alert;  // what a balloon or the webhook calls it
};

// The table: each event's level and name.
const EventInfo& Info(EventId id);

struct Event {
    EventId id;
    Level level;
    std::string text;  // what happened, in one line
};

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void Take(const Event& event) = 0;
};

// The one list: raised events go to every sink, in the order added.
class Events {
public:
    void AddSink(EventSink* sink) { sinks_.push_back(sink); }
    void Raise(EventId id, const std::string& text);
    // Events raised so far (the latest 200), for tests and the status.
    const std::vector<Event>& Recent() const { return recent_; }

private:
    std::vector<EventSink*> sinks_;
    std::vector<Event> recent_;
};

}  // namespace hw::supervision
