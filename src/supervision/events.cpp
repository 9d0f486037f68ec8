#include "supervision/events.h"

#include <array>
#include <stdexcept>

namespace hw::supervision {

namespace {
constexpr std::array<EventInfo, 24> kEvents{{
    {EventId::Started, Level::Information, "Harrowatch started", Reach::Log, "started", ""},
    {EventId::Exited, Level::Information, "Harrowatch exited", Reach::Log, "exited", ""},
    {EventId::ServerFound, Level::Information, "Server found running", Reach::Log, "server_found", ""},
    {EventId::ServerLaunched, Level::Information, "Server launched", Reach::Log, "server_launched", ""},
    {EventId::ServerEnded, Level::Warning, "Server ended", Reach::Balloon, "server_crashed", "Server crashed"},
    {EventId::RelaunchDelayed, Level::Warning, "Relaunch delayed", Reach::Balloon, "relaunch_delayed",
     "Server relaunch delayed"},
    {EventId::NotResponding, Level::Warning, "Server not responding", Reach::Balloon, "not_responding",
     "Server not responding"},
    {EventId::RespondingAgain, Level::Information, "Server responding again", Reach::Webhook, "responding_again",
     "Server responding again"},
    {EventId::HungServerEnded, Level::Error, "Hung server ended", Reach::Balloon, "hung_server_ended",
     "Hung server ended"},
    {EventId::ResetDone, Level::Information, "Scheduled reset done", Reach::Log, "reset_done", ""},
    {EventId::ResetFailed, Level::Error, "Scheduled reset failed", Reach::Balloon, "reset_failed",
     "Scheduled reset failed"},
    {EventId::MessageSent, Level::Information, "Message sent to the players", Reach::Log, "message_sent", ""},
    {EventId::SettingsApplied, Level::Information, "Settings applied", Reach::Log, "settings_applied", ""},
    {EventId::ErrorReported, Level::Error, "Error reported", Reach::Log, "error_reported", ""},
    {EventId::LogUnwritable, Level::Warning, "Log cannot be written", Reach::Log, "log_unwritable", ""},
    {EventId::WarningNotSent, Level::Warning, "Warning to the players not sent", Reach::Log, "warning_not_sent", ""},
    {EventId::ServerStopped, Level::Information, "Server stopped", Reach::Log, "server_stopped", ""},
    {EventId::RelaunchedAfterCrashes, Level::Information, "Server relaunched after repeated crashes", Reach::Webhook,
     "relaunched_after_crashes", "Server relaunched after repeated crashes"},
    {EventId::WebhookNotDelivered, Level::Warning, "Webhook not delivered", Reach::Log, "webhook_not_delivered", ""},
    {EventId::MessageNotSent, Level::Warning, "Message to the players not sent", Reach::Log, "message_not_sent", ""},
    {EventId::ServerResources, Level::Information, "Server resources", Reach::Log, "server_resources", ""},
    {EventId::MetricsUnwritable, Level::Warning, "Metrics cannot be written", Reach::Log, "metrics_unwritable", ""},
    {EventId::PlannedRestart, Level::Information, "Planned restart", Reach::Balloon, "planned_restart",
     "Planned restart"},
    {EventId::PlannedRestartFailed, Level::Warning, "Planned restart not done", Reach::Balloon,
     "planned_restart_failed", "Planned restart not done"},
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
