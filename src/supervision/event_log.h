// Warnings and errors in the Windows Application event log, under the source
// "Harrowatch" and the message table built into Harrowatch.exe: an operator
// with many machines sees them in the event collection already running.
#pragma once

#include "platform/desktop.h"
#include "supervision/events.h"

namespace hw::supervision {

inline constexpr const char* kEventSource = "Harrowatch";
inline constexpr const char* kEventSourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Harrowatch";

class EventLogSink : public EventSink {
public:
    explicit EventLogSink(platform::Desktop& desktop) : d_(desktop) {}
    void Take(const Event& event) override;

    // The id the message table gives the event: its number with the severity
    // in the top two bits.
    static std::uint32_t MessageId(const Event& event);

private:
    // Registers the source with Harrowatch.exe as its message file, once
    // (the installer does it too). False when it cannot (not elevated).
    bool RegisterSource();
    platform::Desktop& d_;
    bool registered_ = false;
};

}  // namespace hw::supervision
