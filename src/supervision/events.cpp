#include "supervision/events.h"

#include <array>
#include <stdexcept>

namespace hw::supervision {

namespace {
constexpr std::array<EventInfo, 16> kEvents{{
    {EventId::Started, Level::Information, "Harrowatch started"},
    {EventId::Exited, Level::Information, "Harrowatch exited"},
    {EventId::ServerFound, Level::Information, "Server found running"},
    {EventId::ServerLaunched, Level::Information, "Server launched"},
    {EventId::ServerEnded, Level::Warning, "Server ended"},
    {EventId::RelaunchDelayed, Level::Warning, "Relaunch delayed"},
    {EventId::NotResponding, Level::Warning, "Server not responding"},
    {EventId::RespondingAgain, Level::Information, "Server responding again"},
    {EventId::HungServerEnded, Level::Error, "Hung server ended"},
    {EventId::ResetDone, Level::Information, "Scheduled reset done"},
    {EventId::ResetFailed, Level::Error, "Scheduled reset failed"},
    {EventId::MessageSent, Level::Information, "Message sent to the players"},
    {EventId::SettingsApplied, Level::Information, "Settings applied"},
    {EventId::ErrorReported, Level::Error, "Error reported"},
    {EventId::LogUnwritable, Level::Warning, "Log cannot be written"},
    {EventId::WarningNotSent, Level::Warning, "Warning to the players not sent"},
}};
}  // namespace

const EventInfo& Info(EventId id) {
    for (const EventInfo& e : kEvents)
        if (e.id == id) return e;
    throw std::out_of_range("unknown supervision event");
}

void Events::Raise(EventId id, const std::string& text) {
    const Event event{id, Info(id).level, text};
    if (recent_.size() >= 200) recent_.erase(recent_.begin());
    recent_.push_back(event);
    for (EventSink* sink : sinks_) {
        // A sink that fails never stops supervision, nor the other sinks.
        try {
            sink->Take(event);
        } catch (...) {
        }
    }
}

}  // namespace hw::supervision
