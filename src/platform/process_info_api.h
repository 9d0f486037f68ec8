// What a process is and uses (kernel32, psapi): its program file, its
// session, its times, memory and handles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class ProcessInfoApi {
public:
    virtual ~ProcessInfoApi() = default;

    // At most maxModules module handles, the program file first.
    virtual bool EnumProcessModules(Handle process, std::vector<std::uint64_t>& modules,
                                    std::uint32_t maxModules) = 0;
    // Copies at most size - 1 characters and a terminator; returns the count copied.
    virtual std::uint32_t GetModuleFileNameEx(Handle process, std::uint64_t module, char* name,
                                              std::uint32_t size) = 0;
    // The full path of the process's program file; needs only
    // PROCESS_QUERY_LIMITED_INFORMATION, so it also names an elevated process.
    virtual bool QueryFullProcessImageName(Handle process, std::string& path) = 0;
    // The Windows session the process runs in. Takes no handle but the
    // right to query the process fully (ERROR_ACCESS_DENIED without it), and
    // fails (ERROR_INVALID_PARAMETER) for a process that is not there.
    virtual bool ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) = 0;
    // Full path of Harrowatch's own program file.
    virtual std::string GetOwnModuleFileName() = 0;
    // What the process has used. Times are FILETIME counts of 100 ns: its
    // creation and end (0 while it runs) since 1601 in UTC, the processor
    // time in kernel and user mode since it started. Needs
    // PROCESS_QUERY_LIMITED_INFORMATION (or the full query right).
    virtual bool GetProcessTimes(Handle process, ProcessTimes& times) = 0;
    // The logical processors a process may run on, in all processor groups
    // (GetActiveProcessorCount); never less than 1.
    virtual std::uint32_t ProcessorCount() = 0;
    // The memory counters (PROCESS_MEMORY_COUNTERS_EX): needs a query right
    // and PROCESS_VM_READ.
    virtual bool GetProcessMemoryInfo(Handle process, ProcessMemory& memory) = 0;
    // The kernel handles the process holds; needs a query right.
    virtual bool GetProcessHandleCount(Handle process, std::uint32_t* count) = 0;
};

}  // namespace hw::platform
