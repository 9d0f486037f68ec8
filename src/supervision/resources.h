// What the server process uses, read once a poll through the handle the
// controller already holds: processor, private memory, handles, uptime.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop.h"

namespace hw::supervision {

// The figures of one poll. A figure Windows did not give is unknown, never 0.
struct ServerResources {
    platform::Pid pid = 0;                      // the server read; 0: none runs
    std::optional<double> cpuPercent;           // share of one core over the last second or more, in percent
    std::optional<double> cpuSeconds;           // processor time since it started
    std::optional<std::uint64_t> privateBytes;  // memory committed for it alone
    std::optional<std::uint32_t> handles;       // kernel handles it holds
    std::optional<std::uint64_t> startTime;     // when it started, seconds since 1970 (UTC)
    std::optional<std::uint64_t> uptimeSeconds;
};

class ResourceWatch {
public:
    // The log hears the figures this often.
    static constexpr std::uint64_t kLogEveryMs = 3600000;
    // The processor share is taken over this much time at least.
    static constexpr std::uint64_t kLeastShareMs = 1000;

    explicit ResourceWatch(platform::Desktop& desktop) : desktop_(desktop) {}

    // Reads the server `pid` through `process`, which needs
    // PROCESS_QUERY_LIMITED_INFORMATION, and PROCESS_VM_READ for the memory.
    // No process is opened and nothing is sent to the server.
    const ServerResources& Sample(platform::Pid pid, platform::Handle process);
    const ServerResources& Last() const { return last_; }
    // The figures for the log, when an hour has passed since they were last
    // logged (the first once the processor share is known); else nothing.
    std::optional<std::string> DueForLog();

    // One line that fits under the status: "CPU 3.2%  Memory 412.5 MB
    // Handles 318  Up 2d 4:13:07"; empty when no server runs.
    static std::string Describe(const ServerResources& r);

private:
    platform::Desktop& desktop_;
    ServerResources last_;
    // The processor time the share is taken from, in 100 ns, and when (tick count).
    std::optional<std::uint64_t> lastCpu_;
    std::uint64_t lastCpuAt_ = 0;
    std::uint64_t loggedAt_ = 0;
    bool logged_ = false;
};

}  // namespace hw::supervision
