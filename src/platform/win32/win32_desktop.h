// The facade over the real Win32 calls.
#pragma once

#include <memory>

#include "platform/desktop.h"

namespace hw::platform::win32 {

class Win32Desktop : public Desktop {
public:
    // Called inside the catch when a timer tick throws, with where it was.
    static void SetCallbackErrorHandler(std::function<void(const char*)> handler);
    static const std::function<void(const char*)>& CallbackError();

    Win32Desktop();
    ~Win32Desktop() override;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

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
    bool QueryFullProcessImageName(Handle process, std::string& path) override;
    bool ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) override;
    Pid GetCurrentProcessId() override;
    bool CloseHandle(Handle handle) override;
    long GetLastError() override;
    bool CreateProcess(const std::string& commandLine, const std::string& directory,
                       const LaunchOptions& options, ProcessInformation& info) override;
    std::uint32_t WaitForInputIdle(Handle process, std::uint32_t milliseconds) override;
    std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override;
    bool GetExitCodeProcess(Handle process, std::uint32_t* exitCode) override;
    bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
    std::string GetOwnModuleFileName() override;
    bool GetProcessTimes(Handle process, ProcessTimes& times) override;
    std::uint32_t ProcessorCount() override;
    bool GetProcessMemoryInfo(Handle process, ProcessMemory& memory) override;
    bool GetProcessHandleCount(Handle process, std::uint32_t* count) override;
    std::uint64_t GetSystemTimeAsFileTime() override;

    Hwnd FindWindow(const char* className, const char* windowName) override;
    Hwnd FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                      const char* windowName) override;
    void EnumWindows(const std::function<bool(Hwnd)>& callback) override;
    void EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) override;
    std::uint32_t GetWindowThreadProcessId(Hwnd window, Pid* processId) override;
    std::int32_t GetWindowLong(Hwnd window, int index) override;
    int GetWindowTextLength(Hwnd window) override;
    int GetWindowText(Hwnd window, char* buffer, int size) override;
    int GetClassName(Hwnd window, char* buffer, int size) override;
    Hwnd GetParent(Hwnd window) override;
    bool IsWindow(Hwnd window) override;
    bool IsHungAppWindow(Hwnd window) override;
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    bool ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) override;
    bool IsWindowVisible(Hwnd window) override;
    int GetSystemMetrics(int index) override;
    bool SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) override;
    bool ShowWindow(Hwnd window, int command) override;
    bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) override;
    bool UpdateWindow(Hwnd window) override;
    Hwnd GetDesktopWindow() override;
    bool SetForegroundWindow(Hwnd window) override;
    bool PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                     std::int64_t lParam) override;
    bool SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                            std::int64_t lParam, std::uint32_t flags, std::uint32_t timeoutMs,
                            std::int64_t* result) override;
    bool SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                char* buffer, std::uint32_t bufferSize, std::uint32_t flags,
                                std::uint32_t timeoutMs, std::int64_t* result) override;
    std::vector<std::int64_t> GetListBoxTextLengths(Hwnd listBox, std::int32_t first, std::int32_t most,
                                                    std::uint32_t flags, std::uint32_t timeoutMs) override;
    bool GetListBoxText(Hwnd listBox, std::int32_t line, std::int64_t length, std::uint32_t flags,
                        std::uint32_t timeoutMs, std::string& text) override;

    HMenu GetMenu(Hwnd window) override;
    HMenu GetSubMenu(HMenu menu, int position) override;
    int GetMenuItemCount(HMenu menu) override;
    std::uint32_t GetMenuItemID(HMenu menu, int position) override;
    int GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                      std::uint32_t flags) override;

    RemoteAddress VirtualAllocEx(Handle process, std::uint64_t size, std::uint32_t allocationType,
                                 std::uint32_t protect) override;
    bool VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                       std::uint32_t freeType) override;
    bool ReadProcessMemory(Handle process, RemoteAddress address, void* buffer, std::uint64_t size,
                           std::uint64_t* bytesRead) override;
    bool WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                            std::uint64_t size, std::uint64_t* bytesWritten) override;
    bool IsWow64Process(Handle process, bool* wow64) override;
    bool Is64BitProcess() override { return sizeof(void*) == 8; }

    long ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                     const std::string& text) override;
    long RegisterTask(const std::string& name, const std::string& xml) override;
    long GetTaskXml(const std::string& name, std::string& xml) override;
    long DeleteTask(const std::string& name) override;
    long GetSessionUser(std::string& domainUser) override;

    bool FileExists(const std::string& path) override;
    long DeleteFile(const std::string& path) override;
    long CreateDirectory(const std::string& path, const std::string& sddl) override;
    long GetFileAttributes(const std::string& path, std::uint32_t& attributes) override;
    long GetReparseTag(const std::string& path, std::uint32_t& tag) override;
    long GetFileSecurity(const std::string& path, std::string& sddl) override;
    long SetFileSecurity(const std::string& path, const std::string& sddl) override;
    long RemoveDirectory(const std::string& path) override;
    long AppendFile(const std::string& path, const std::string& bytes) override;
    long ReadFileAsItself(const std::string& path, FileInformation& info, const FileBytes& bytes) override;
    long CopyFileAsItself(const std::string& from, const std::string& to, FileInformation& info,
                          const FileBytes& bytes) override;
    long ListFolder(const std::string& folder, std::vector<std::string>& names) override;
    long MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) override;
    long GetFileSize(const std::string& path, std::uint64_t& size) override;
    long GetFileAttributesEx(const std::string& path, FileAttributes& attributes) override;
    std::string AnsiToUtf8(const std::string& ansi) override;
    std::int32_t UtcOffsetMinutes() override;

    void Sleep(std::uint32_t milliseconds) override;
    void DoEvents() override;
    std::uint64_t TickCount() override;
    LocalTime GetLocalTime() override;
    std::uint32_t SetTimer(std::uint32_t milliseconds, std::function<void()> tick) override;
    void KillTimer(std::uint32_t id) override;
    using Desktop::RunInBackground;
    void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                         WorkLane lane) override;
    long HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                  std::uint32_t* status) override;

private:
    struct Background;
    std::unique_ptr<Background> background_[kWorkLanes];
};

}  // namespace hw::platform::win32
