// The facade over the real Win32 calls.
#pragma once

#include "platform/desktop.h"

namespace hw::platform::win32 {

class Win32Desktop : public Desktop {
public:
    long RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                      HKey& result) override;
    long RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                        HKey& result) override;
    long RegCloseKey(HKey key) override;
    long RegDeleteKey(HKey root, const std::string& subKey) override;
    long RegDeleteValue(HKey key, const std::string& valueName) override;
    long RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    long RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    long RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                         std::uint32_t* values, std::uint32_t* maxValueNameLen) override;
    long RegEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) override;
    long RegEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
    std::uint32_t ExpandEnvironmentStrings(const std::string& source, char* destination,
                                           std::uint32_t size) override;

    std::uint32_t GetVersionPlatformId() override;
    Handle CreateToolhelp32Snapshot(std::uint32_t flags, Pid processId) override;
    bool Process32First(Handle snapshot, ProcessEntry& entry) override;
    bool Process32Next(Handle snapshot, ProcessEntry& entry) override;
    bool EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) override;
    Handle OpenProcess(std::uint32_t access, bool inheritHandle, Pid processId) override;
    bool EnumProcessModules(Handle process, std::vector<std::uint64_t>& modules,
                            std::uint32_t maxModules) override;
    std::uint32_t GetModuleFileNameEx(Handle process, std::uint64_t module, char* name,
                                      std::uint32_t size) override;
    bool CloseHandle(Handle handle) override;
    bool CreateProcess(const std::string& commandLine, const std::string& directory,
                       const LaunchOptions& options, ProcessInformation& info) override;
    std::uint32_t WaitForInputIdle(Handle process, std::uint32_t milliseconds) override;
    std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override;
    std::string GetOwnModuleFileName() override;

    bool FileExists(const std::string& path) override;
    long DeleteFile(const std::string& path) override;

    void Sleep(std::uint32_t milliseconds) override;
    void DoEvents() override;
    std::uint64_t TickCount() override;
    LocalTime GetLocalTime() override;
};

}  // namespace hw::platform::win32
