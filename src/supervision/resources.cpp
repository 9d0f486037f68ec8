#include "supervision/resources.h"

#include <algorithm>
#include <cstdio>

namespace hw::supervision {

namespace {
constexpr std::uint64_t kFileTimePerSecond = 10000000;
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ULL;
}  // namespace

const ServerResources& ResourceWatch::Sample(platform::Pid pid, platform::Handle process) {
    const std::uint64_t now = desktop_.TickCount();
    if (pid != last_.pid) {
        lastCpu_.reset();  // another server: its share starts afresh
        last_.cpuPercent.reset();
    }
    ServerResources r;
    r.pid = pid;
    if (!pid) {
        last_ = r;
        return last_;
    }
    platform::ProcessTimes times;
    if (desktop_.GetProcessTimes(process, times)) {
        const std::uint64_t cpu = times.kernel + times.user;
        r.cpuSeconds = static_cast<double>(cpu) / kFileTimePerSecond;
        // Over a second at least: readings a few ms apart (two polls close
        // together) would give wild shares, so a sooner one keeps the last.
        // Processor times come in scheduler ticks: never more than every
        // processor busy all the time.
        if (lastCpu_ && cpu >= *lastCpu_ && now - lastCpuAt_ < kLeastShareMs) {
            r.cpuPercent = last_.cpuPercent;
        } else {
            if (lastCpu_ && cpu >= *lastCpu_)
                r.cpuPercent = std::min(static_cast<double>(cpu - *lastCpu_) / 100.0 / static_cast<double>(now - lastCpuAt_),
                                        100.0 * desktop_.ProcessorCount());
            lastCpu_ = cpu;
            lastCpuAt_ = now;
        }
        if (times.creation >= kFileTimeOf1970) r.startTime = (times.creation - kFileTimeOf1970) / kFileTimePerSecond;
        // A clock set back before its start gives no time at all.
        const std::uint64_t clock = desktop_.GetSystemTimeAsFileTime();
        if (times.creation && clock >= times.creation) r.uptimeSeconds = (clock - times.creation) / kFileTimePerSecond;
    } else {
        lastCpu_.reset();
    }
    platform::ProcessMemory memory;
    if (desktop_.GetProcessMemoryInfo(process, memory)) r.privateBytes = memory.privateUsage;
    std::uint32_t handles = 0;
    if (desktop_.GetProcessHandleCount(process, &handles)) r.handles = handles;
    last_ = r;
    return last_;
}

std::optional<std::string> ResourceWatch::DueForLog() {
    if (!last_.pid) return std::nullopt;
    const std::uint64_t now = desktop_.TickCount();
    if (logged_ ? now - loggedAt_ < kLogEveryMs : !last_.cpuPercent) return std::nullopt;
    logged_ = true;
    loggedAt_ = now;
    return "process id " + std::to_string(last_.pid.value()) + ": " + Describe(last_);
}

std::string ResourceWatch::Describe(const ServerResources& r) {
    if (!r.pid) return "";
    char buffer[64];
    std::string line = "CPU ";
    if (r.cpuPercent) {
        // A share of one core: many busy cores make it four figures, shown
        // whole, no wider than "100.0%".
        std::snprintf(buffer, sizeof buffer, *r.cpuPercent >= 999.95 ? "%.0f%%" : "%.1f%%", *r.cpuPercent);
        line += buffer;
    } else {
        line += "unknown";
    }
    line += "  Memory ";
    if (r.privateBytes) {
        const double mb = static_cast<double>(*r.privateBytes) / (1024.0 * 1024.0);
        // Never more than "1023 MB" or "999.9 GB": the line keeps to its width.
        if (mb >= 1023.5)
            std::snprintf(buffer, sizeof buffer, "%.1f GB", mb / 1024.0);
        else
            std::snprintf(buffer, sizeof buffer, "%.0f MB", mb);
        line += buffer;
    } else {
        line += "unknown";
    }
    line += "  Handles " + (r.handles ? std::to_string(*r.handles) : std::string("unknown"));
    line += "  Up ";
    if (r.uptimeSeconds) {
        const std::uint64_t s = *r.uptimeSeconds;
        const std::uint64_t days = s / 86400;
        std::snprintf(buffer, sizeof buffer, "%u:%02u:%02u", static_cast<unsigned>(s / 3600 % 24),
                      static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60));
        line += (days ? std::to_string(days) + "d " : std::string()) + buffer;
    } else {
        line += "unknown";
    }
    return line;
}

}  // namespace hw::supervision
