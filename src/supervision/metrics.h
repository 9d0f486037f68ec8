// Harrowatch's figures for Prometheus: a text-format file in a folder a
// collector reads (the Windows exporter's textfile collector, say), replaced
// whole at most every 15 s, so a scrape never sees half a file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop.h"
#include "supervision/events.h"
#include "supervision/resources.h"

namespace hw::supervision {

inline constexpr const char* kMetricsFileName = "harrowatch.prom";

// What the file says of the moment it is written; counters come from the
// events since Harrowatch started.
struct MetricsState {
    bool watching = true;  // false in the file Harrowatch leaves as it exits
    bool serverUp = false;
    bool notResponding = false;
    bool relaunchHeld = false;
    std::optional<std::int64_t> players;  // unknown while the server does not answer
    ServerResources resources;
    std::optional<double> lastPollSeconds;
};

class Metrics : public EventSink {
public:
    static constexpr std::uint64_t kEveryMs = 15000;

    explicit Metrics(platform::Desktop& desktop) : desktop_(desktop) {}
    Metrics(const Metrics&) = delete;
    Metrics& operator=(const Metrics&) = delete;

    // Counts the events the file reports.
    void Take(const Event& event) override;
    // Messages sent meanwhile are warnings to the players, counted as such
    // and not as messages too.
    void SendingWarning(bool on) { sendingWarning_ = on; }

    // The file's text, in Prometheus' text format.
    std::string Text(const MetricsState& state) const;
    // Writes the file into `folder` (empty: off) when the last try is 15 s
    // old and the one before has finished: to a temporary file beside it,
    // then moved over the old one. The file calls run on the worker thread
    // (a stalled share holds no input); how they went comes back through
    // the message loop. A failure that lasts four tries (a minute) is told
    // once through onUnwritable, and again only after a write went through
    // in between. Answers whether a write was started.
    bool Write(const std::string& folder, const MetricsState& state);
    // Starts a write now, whenever the last try was, after any still under
    // way: the file Harrowatch leaves as it exits.
    bool WriteNow(const std::string& folder, const MetricsState& state);
    // Whether a write would be started now (15 s since the last try, none
    // under way).
    bool Due() const { return !writing_ && (!tried_ || desktop_.TickCount() - triedAt_ >= kEveryMs); }
    // Tells once of a write that has not come back for a minute.
    void WatchStall();
    // Whether a write started has not come back yet.
    bool Writing() const { return writing_ > 0; }
    std::function<void(const std::string& why)> onUnwritable;

private:
    platform::Desktop& desktop_;
    std::uint64_t launches_ = 0, crashes_ = 0, hangs_ = 0, plannedRestarts_ = 0;
    std::uint64_t resetsDone_ = 0, resetsFailed_ = 0;
    std::uint64_t warningsSent_ = 0, warningsNotSent_ = 0, messagesSent_ = 0, webhookNotDelivered_ = 0;
    bool sendingWarning_ = false;
    bool tried_ = false;
    std::uint64_t triedAt_ = 0;
    bool failing_ = false;
    std::string folder_;     // the folder written to last
    std::string writingTo_;  // the file of the write under way
    int writing_ = 0;  // writes handed to the worker, not yet answered
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    void Written(long error, const std::string& path);
    int failures_ = 0;  // writes failed in a row
    static constexpr int kFailuresTold = 4;
};

}  // namespace hw::supervision
