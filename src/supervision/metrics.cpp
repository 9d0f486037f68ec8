#include "supervision/metrics.h"

#include <cstdio>

#ifndef HW_VERSION
#define HW_VERSION "0.0.0"
#endif

namespace hw::supervision {

namespace {

std::string Number(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return buffer;
}

// One family: its HELP and TYPE lines, then its samples (none when the
// figure is unknown: no sample rather than a false 0).
void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void SampleLine(std::string& out, const char* name, const std::string& value, const char* labels = "") {
    out += name;
    out += labels;
    out += ' ';
    out += value;
    out += '\n';
}

void Gauge(std::string& out, const char* name, const char* help, const std::optional<std::string>& value) {
    Family(out, name, "gauge", help);
    if (value) SampleLine(out, name, *value);
}

void Counter(std::string& out, const char* name, const char* help, std::uint64_t value) {
    Family(out, name, "counter", help);
    SampleLine(out, name, std::to_string(value));
}

std::string Flag(bool on) { return on ? "1" : "0"; }

// 1 January 1970 in Windows' file time, as milliseconds since 1601.
constexpr std::uint64_t kFileTimeOf1970Ms = 11644473600000ULL;

}  // namespace

void Metrics::Take(const Event& event) {
    switch (event.id) {
        case EventId::ServerLaunched: ++launches_; break;
        case EventId::ServerEnded: ++crashes_; break;
        case EventId::NotResponding: ++hangs_; break;
        case EventId::PlannedRestart: ++plannedRestarts_; break;
        case EventId::ResetDone: ++resetsDone_; break;
        case EventId::ResetFailed: ++resetsFailed_; break;
        case EventId::WarningNotSent: ++warningsNotSent_; break;
        case EventId::MessageSent: ++(sendingWarning_ ? warningsSent_ : messagesSent_); break;
        case EventId::WebhookNotDelivered: ++webhookNotDelivered_; break;
        default: break;
    }
}

std::string Metrics::Text(const MetricsState& s) const {
    const ServerResources& r = s.resources;
    std::string out;
    out.reserve(4096);
    Family(out, "harrowatch_build_info", "gauge", "Harrowatch's version, as a label.");
    SampleLine(out, "harrowatch_build_info", "1", "{version=\"" HW_VERSION "\"}");
    // The file outlives Harrowatch: what it says of the server holds only
    // while Harrowatch watches, and when it was written shows its age.
    Gauge(out, "harrowatch_watching", "Whether Harrowatch runs and watches the game server (0: it has exited).",
          Flag(s.watching));
    Gauge(out, "harrowatch_last_write_timestamp_seconds", "When Harrowatch wrote this file, in seconds since 1970.",
          Number(static_cast<double>(desktop_.GetSystemTimeAsFileTime() / 10000 - kFileTimeOf1970Ms) / 1000.0));
    Gauge(out, "harrowatch_server_up", "Whether the game server runs.", Flag(s.serverUp));
    Gauge(out, "harrowatch_server_not_responding", "Whether the game server's windows have stopped answering.",
          Flag(s.notResponding));
    Gauge(out, "harrowatch_server_relaunch_held",
          "Whether the server's relaunch is held back after quick ends.", Flag(s.relaunchHeld));
    Gauge(out, "harrowatch_players_online", "Players connected to the game server.",
          s.players ? std::optional<std::string>(std::to_string(*s.players)) : std::nullopt);
    Family(out, "harrowatch_server_cpu_seconds_total", "counter",
           "Processor time the server process has used since it started, in seconds.");
    if (r.cpuSeconds) SampleLine(out, "harrowatch_server_cpu_seconds_total", Number(*r.cpuSeconds));
    Gauge(out, "harrowatch_server_private_bytes", "Memory committed for the server process alone, in bytes.",
          r.privateBytes ? std::optional<std::string>(std::to_string(*r.privateBytes)) : std::nullopt);
    Gauge(out, "harrowatch_server_handles", "Kernel handles the server process holds.",
          r.handles ? std::optional<std::string>(std::to_string(*r.handles)) : std::nullopt);
    Gauge(out, "harrowatch_server_start_time_seconds", "When the server process started, in seconds since 1970.",
          r.startTime ? std::optional<std::string>(std::to_string(*r.startTime)) : std::nullopt);
    Counter(out, "harrowatch_launches_total", "Server launches by Harrowatch.", launches_);
    Counter(out, "harrowatch_crashes_total", "Server ends Harrowatch did not ask for.", crashes_);
    Counter(out, "harrowatch_hangs_total", "Times the server stopped answering.", hangs_);
    Counter(out, "harrowatch_planned_restarts_total", "Planned restarts of the server.", plannedRestarts_);
    Family(out, "harrowatch_resets_total", "counter", "Scheduled resets carried out, by result.");
    SampleLine(out, "harrowatch_resets_total", std::to_string(resetsDone_), "{result=\"done\"}");
    SampleLine(out, "harrowatch_resets_total", std::to_string(resetsFailed_), "{result=\"failed\"}");
    Counter(out, "harrowatch_warnings_sent_total", "Warnings sent to the players before resets.", warningsSent_);
    Counter(out, "harrowatch_warnings_not_sent_total", "Warnings to the players that could not be sent.",
            warningsNotSent_);
    Counter(out, "harrowatch_messages_sent_total", "Messages sent to the players.", messagesSent_);
    Counter(out, "harrowatch_webhook_posts_not_delivered_total", "Webhook posts given up on.", webhookNotDelivered_);
    Gauge(out, "harrowatch_last_poll_duration_seconds", "How long the last poll of the server took, in seconds.",
          s.lastPollSeconds ? std::optional<std::string>(Number(*s.lastPollSeconds)) : std::nullopt);
    return out;
}

void Metrics::WatchStall() {
    // A write that has not come back for as long as four failed tries (a
    // share that stalls for good) is a folder that cannot be written: told
    // once, while the file goes stale.
    if (!writing_ || failing_ || desktop_.TickCount() - triedAt_ < kFailuresTold * kEveryMs) return;
    failing_ = true;
    if (onUnwritable)
        onUnwritable(writingTo_ + " (a write has not come back for " +
                     std::to_string((desktop_.TickCount() - triedAt_) / 1000) + " s)");
}

bool Metrics::Write(const std::string& folder, const MetricsState& state) {
    return Due() && WriteNow(folder, state);
}

namespace {

// The file calls of one write, on the worker thread: Windows' error, or 0.
long Replace(platform::Desktop& d, const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    // A temporary file left by an earlier try goes first; the scraper reads
    // only *.prom, so it never sees this one.
    long error = d.DeleteFile(temporary);
    if (error == platform::err::kFileNotFound) error = 0;
    if (error) return error;  // what is there, a user's maybe, is neither written nor moved
    error = d.AppendFile(temporary, text);
    if (error) {
        d.DeleteFile(temporary);
        return error;
    }
    const std::uint32_t replace = platform::file::kMoveReplaceExisting | platform::file::kMoveWriteThrough;
    error = d.MoveFileEx(temporary, path, replace);
    if (error == platform::err::kAccessDenied || error == platform::err::kSharingViolation) {
        // A scraper reading the old file holds it for a moment (readers that
        // do not share deletion keep it from being replaced): once more, soon.
        d.Sleep(50);
        error = d.MoveFileEx(temporary, path, replace);
    }
    if (error) d.DeleteFile(temporary);
    return error;
}

}  // namespace

bool Metrics::WriteNow(const std::string& folder, const MetricsState& state) {
    tried_ = true;
    triedAt_ = desktop_.TickCount();
    if (folder.empty()) {
        failing_ = false;  // off: a folder set later is told of afresh
        return false;
    }
    // Another folder is told of afresh, however the last one went.
    if (folder != folder_) {
        folder_ = folder;
        failing_ = false;
        failures_ = 0;
    }
    std::string path = folder;
    if (path.back() != '\\') path += '\\';
    path += kMetricsFileName;
    writingTo_ = path;
    ++writing_;
    auto error = std::make_shared<long>(0);
    // Only copies cross to the worker; the answer comes back through the
    // message loop, to an object that may have gone meanwhile.
    desktop_.RunInBackground(
        [path, text = Text(state), error](platform::Desktop& worker) { *error = Replace(worker, path, text); },
        [this, alive = std::weak_ptr<bool>(alive_), path, error] {
            if (!alive.expired()) Written(*error, path);
        },
        platform::Desktop::WorkLane::Exports);
    return true;
}

void Metrics::Written(long error, const std::string& path) {
    --writing_;
    if (!error) {
        failing_ = false;
        failures_ = 0;
        return;
    }
    // Told once it has lasted a minute, not at each chance collision.
    if (++failures_ >= kFailuresTold && !failing_) {
        failing_ = true;
        if (onUnwritable) onUnwritable(path + " (Windows error " + std::to_string(error) + ")");
    }
}

}  // namespace hw::supervision
