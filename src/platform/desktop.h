// The operating system as Harrowatch sees it: a thin facade over the Win32
// primitives the behaviour calls. Each call has the meaning and the result of
// the Win32 call it is named after (0 = none, Win32 error codes). No policy
// lives here; the real backend is platform/win32, the simulated desktop is
// platform/sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class Desktop {
public:
    virtual ~Desktop() = default;

    // --- Registry (advapi32). Results are Win32 error codes. Keys are opened
    // in the 32-bit view of the registry on 64-bit Windows.
    virtual long RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                              HKey& result) = 0;
    virtual long RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                HKey& result) = 0;
    virtual long RegCloseKey(HKey key) = 0;
    // Deletes a key that has no sub-keys (its values go with it).
    virtual long RegDeleteKey(HKey root, const std::string& subKey) = 0;
    virtual long RegDeleteValue(HKey key, const std::string& valueName) = 0;
    // data may be null to ask for the type and size only. With data given and
    // *size too small the call fails with ERROR_MORE_DATA and sets *size.
    virtual long RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) = 0;
    virtual long RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) = 0;
    virtual long RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                 std::uint32_t* values, std::uint32_t* maxValueNameLen) = 0;
    // *nameLen: in, the buffer's size in characters; out, the name's length.
    virtual long RegEnumValue(HKey key, std::uint32_t index, char* name,
                              std::uint32_t* nameLen) = 0;
    virtual long RegEnumKey(HKey key, std::uint32_t index, char* name,
                            std::uint32_t nameSize) = 0;
    // Returns the characters needed including the terminator (0 on failure).
    virtual std::uint32_t ExpandEnvironmentStrings(const std::string& source, char* destination,
                                                   std::uint32_t size) = 0;

    // --- Processes (kernel32, psapi).
    virtual std::uint32_t GetVersionPlatformId() = 0;
    // kInvalidHandle on failure.
    virtual Handle CreateToolhelp32Snapshot(std::uint32_t flags, Pid processId) = 0;
    virtual bool Process32First(Handle snapshot, ProcessEntry& entry) = 0;
    virtual bool Process32Next(Handle snapshot, ProcessEntry& entry) = 0;
    // Fills at most bytes / 4 ids; *bytesReturned is the number of bytes filled.
    virtual bool EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) = 0;
    virtual Handle OpenProcess(std::uint32_t access, bool inheritHandle, Pid processId) = 0;
    // At most maxModules module handles, the program file first.
    virtual bool EnumProcessModules(Handle process, std::vector<std::uint64_t>& modules,
                                    std::uint32_t maxModules) = 0;
    // Copies at most size - 1 characters and a terminator; returns the count copied.
    virtual std::uint32_t GetModuleFileNameEx(Handle process, std::uint64_t module, char* name,
                                              std::uint32_t size) = 0;
    virtual bool CloseHandle(Handle handle) = 0;
    virtual bool CreateProcess(const std::string& commandLine, const std::string& directory,
                               const LaunchOptions& options, ProcessInformation& info) = 0;
    virtual std::uint32_t WaitForInputIdle(Handle process, std::uint32_t milliseconds) = 0;
    virtual std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) = 0;
    // Full path of Harrowatch's own program file.
    virtual std::string GetOwnModuleFileName() = 0;

    // --- Files.
    virtual bool FileExists(const std::string& path) = 0;
    // 0 on success, else the Win32 error code.
    virtual long DeleteFile(const std::string& path) = 0;

    // --- Time and the message loop.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Lets pending window messages, timer ticks and posted work run (DoEvents).
    virtual void DoEvents() = 0;
    virtual std::uint64_t TickCount() = 0;
    virtual LocalTime GetLocalTime() = 0;
};

}  // namespace hw::platform
