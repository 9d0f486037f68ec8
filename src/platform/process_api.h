// Processes (kernel32): finding, opening, starting, waiting for and ending
// them, and this program's own place in the Windows session.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class ProcessApi {
public:
    virtual ~ProcessApi() = default;

    virtual std::uint32_t GetVersionPlatformId() = 0;
    // kInvalidHandle on failure.
    virtual Handle CreateToolhelp32Snapshot(std::uint32_t flags, Pid processId) = 0;
    virtual bool Process32First(Handle snapshot, ProcessEntry& entry) = 0;
    virtual bool Process32Next(Handle snapshot, ProcessEntry& entry) = 0;
    // Fills at most bytes / 4 ids; *bytesReturned is the number of bytes filled.
    virtual bool EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) = 0;
    virtual Handle OpenProcess(std::uint32_t access, bool inheritHandle, Pid processId) = 0;
    virtual Pid GetCurrentProcessId() = 0;
    virtual bool CloseHandle(Handle handle) = 0;
    virtual bool CreateProcess(const std::string& commandLine, const std::string& directory,
                               const LaunchOptions& options, ProcessInformation& info) = 0;
    virtual std::uint32_t WaitForInputIdle(Handle process, std::uint32_t milliseconds) = 0;
    virtual std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) = 0;
    // 259 (STILL_ACTIVE) while it runs; needs a query right.
    virtual bool GetExitCodeProcess(Handle process, std::uint32_t* exitCode) = 0;
    // Needs PROCESS_TERMINATE.
    virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
    // The error of the last call that failed on this thread, as Win32's
    // GetLastError reports it.
    virtual long GetLastError() = 0;

    // --- The session.
    // Harrowatch asks only for SM_SHUTTINGDOWN (session::kSmShuttingDown,
    // non-zero while the session ends); the simulated desktop answers 0 for
    // any other.
    virtual int GetSystemMetrics(int index) = 0;
    // Where this program comes in the order Windows ends the session's
    // programs in (session::k...ShutdownLevel); false (error 87) for a level
    // outside the programs' range.
    virtual bool SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) = 0;
};

}  // namespace hw::platform
