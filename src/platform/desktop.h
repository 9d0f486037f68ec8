// The operating system as Harrowatch sees it: a thin facade over the Win32
// primitives the behaviour calls. Each call has the meaning and the result of
// the Win32 call it is named after (0 = none, Win32 error codes). No policy
// lives here; the real backend is platform/win32, the simulated desktop is
// platform/sim.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class Desktop {
public:
    Desktop() : serial_(NextSerial()) {}
    virtual ~Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Tells desktops apart for the whole run: one made later may take the
    // address of one that is gone, never its serial.
    std::uint64_t Serial() const { return serial_; }

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
    // The full path of the process's program file; needs only
    // PROCESS_QUERY_LIMITED_INFORMATION, so it also names an elevated process.
    virtual bool QueryFullProcessImageName(Handle process, std::string& path) = 0;
    // The Windows session the process runs in. Takes no handle but the
    // right to query the process fully (ERROR_ACCESS_DENIED without it), and
    // fails (ERROR_INVALID_PARAMETER) for a process that is not there.
    virtual bool ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) = 0;
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
    // The time now, as a FILETIME count of 100 ns since 1601 in UTC.
    virtual std::uint64_t GetSystemTimeAsFileTime() = 0;

    // --- Windows (user32). Handles of other processes' windows are valid
    // until those windows go; every call on a gone window fails cleanly.
    // className / windowName may be null to match any.
    virtual Hwnd FindWindow(const char* className, const char* windowName) = 0;
    virtual Hwnd FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                              const char* windowName) = 0;
    // Top-level windows in z-order; the callback answers false to stop.
    virtual void EnumWindows(const std::function<bool(Hwnd)>& callback) = 0;
    // All descendants of parent, each followed by its own descendants.
    virtual void EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) = 0;
    virtual std::uint32_t GetWindowThreadProcessId(Hwnd window, Pid* processId) = 0;
    virtual std::int32_t GetWindowLong(Hwnd window, int index) = 0;
    // For another process's window: the caption the window manager keeps,
    // without asking the window. For one's own: what WM_GETTEXT answers.
    virtual int GetWindowTextLength(Hwnd window) = 0;
    virtual int GetWindowText(Hwnd window, char* buffer, int size) = 0;
    virtual int GetClassName(Hwnd window, char* buffer, int size) = 0;
    virtual Hwnd GetParent(Hwnd window) = 0;
    virtual bool IsWindow(Hwnd window) = 0;
    virtual bool IsWindowVisible(Hwnd window) = 0;
    // Windows' own test of a hung window: its thread has taken no message
    // for 5 s and is not waiting for one. False for a window that is gone.
    virtual bool IsHungAppWindow(Hwnd window) = 0;
    virtual bool ShowWindow(Hwnd window, int command) = 0;
    virtual bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) = 0;
    virtual bool UpdateWindow(Hwnd window) = 0;
    virtual Hwnd GetDesktopWindow() = 0;
    virtual bool SetForegroundWindow(Hwnd window) = 0;
    virtual bool PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) = 0;
    // Sends and waits at most timeoutMs for the answer; false when the
    // window is gone, its program hung or the time ran out.
    virtual bool SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                    std::int64_t lParam, std::uint32_t flags,
                                    std::uint32_t timeoutMs, std::int64_t* result) = 0;
    // The text messages whose lParam is a buffer of Harrowatch's own:
    // WM_GETTEXT (wParam is ignored, bufferSize counts), LB_GETTEXT (wParam
    // the line) and WM_SETTEXT (buffer holds the text). Never writes more
    // than bufferSize bytes, a terminating NUL included; texts come in the
    // ANSI code page.
    virtual bool SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                        char* buffer, std::uint32_t bufferSize,
                                        std::uint32_t flags, std::uint32_t timeoutMs,
                                        std::int64_t* result) = 0;
    // Lines start..count-1 of a list box of another program, in the ANSI
    // code page: one check that its program answers for the whole read, then
    // two sends a line (its length, its text). The time-out bounds the whole
    // read: each send waits only what is left of it (the Windows backend asks
    // for a run of lengths at once and waits for them together). The first
    // line that cannot be read in time ends the read; the lines before it are
    // answered.
    virtual std::vector<std::string> ReadListBoxLines(Hwnd listBox, std::int32_t start, std::int32_t count,
                                                      std::uint32_t flags, std::uint32_t timeoutMs) = 0;

    // A message number the whole desktop agrees on for `name`; 0 on failure.
    virtual std::uint32_t RegisterWindowMessage(const std::string& name) = 0;
    // Lets `message` through to `window` from processes of lower integrity
    // (kMsgfltAllow), which user interface privilege isolation drops otherwise.
    virtual bool ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) = 0;

    // --- Menus.
    virtual HMenu GetMenu(Hwnd window) = 0;
    virtual HMenu GetSubMenu(HMenu menu, int position) = 0;
    virtual int GetMenuItemCount(HMenu menu) = 0;
    virtual std::uint32_t GetMenuItemID(HMenu menu, int position) = 0;
    virtual int GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                              std::uint32_t flags) = 0;

    // --- The session.
    // Harrowatch asks only for SM_SHUTTINGDOWN (session::kSmShuttingDown,
    // non-zero while the session ends); the simulated desktop answers 0 for
    // any other.
    virtual int GetSystemMetrics(int index) = 0;
    // Where this program comes in the order Windows ends the session's
    // programs in (session::k...ShutdownLevel); false (error 87) for a level
    // outside the programs' range.
    virtual bool SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) = 0;

    // --- Memory of another process.
    virtual RemoteAddress VirtualAllocEx(Handle process, std::uint64_t size,
                                         std::uint32_t allocationType, std::uint32_t protect) = 0;
    virtual bool VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                               std::uint32_t freeType) = 0;
    virtual bool ReadProcessMemory(Handle process, RemoteAddress address, void* buffer,
                                   std::uint64_t size, std::uint64_t* bytesRead) = 0;
    virtual bool WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                    std::uint64_t size, std::uint64_t* bytesWritten) = 0;
    // True in *wow64 when the process is a 32-bit one on 64-bit Windows.
    virtual bool IsWow64Process(Handle process, bool* wow64) = 0;
    // Whether Harrowatch itself is a 64-bit program.
    virtual bool Is64BitProcess() = 0;

    // --- The Application event log: one event of `source` (a source
    // registered or not), type 1 error, 2 warning, 4 information; `eventId`
    // with its severity bits, as the message table numbers it.
    virtual long ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                             const std::string& text) = 0;

    // --- HTTP, from a worker thread only (it blocks up to its time-outs).
    // One POST of a JSON body to an http:// or https:// address. 0 with the
    // HTTP status in *status, or the WinHTTP or Win32 error: an address it
    // cannot take 12005 (12006 for another scheme), no connection 12029, a
    // time-out 12002. Redirects are never followed: a 3xx answer comes back
    // as its status (sent on, a POST would arrive as a GET without its body).
    virtual long HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                          std::uint32_t* status) = 0;

    // --- Task Scheduler (results are HRESULTs, 0 = S_OK). A task of the
    // root folder, given and read back as its XML definition.
    virtual long RegisterTask(const std::string& name, const std::string& xml) = 0;
    virtual long GetTaskXml(const std::string& name, std::string& xml) = 0;
    virtual long DeleteTask(const std::string& name) = 0;
    // DOMAIN\user of the user logged on to Harrowatch's Windows session
    // (wtsapi32), who is not the one Harrowatch runs as when an administrator
    // typed a password to elevate it. Win32 error code, 0 on success.
    virtual long GetSessionUser(std::string& domainUser) = 0;

    // --- Files.
    virtual bool FileExists(const std::string& path) = 0;
    // 0 on success, else the Win32 error code. A link goes, not what it
    // leads to; a folder, a junction included, is no file to delete (5).
    virtual long DeleteFile(const std::string& path) = 0;
    // A folder (its parent must exist); ERROR_ALREADY_EXISTS when it does.
    // `sddl` gives its owner and access list ("O:BAD:P(A;OICI;FA;;;BA)..."),
    // "" what it inherits from its parent.
    virtual long CreateDirectory(const std::string& path, const std::string& sddl) = 0;
    // FILE_ATTRIBUTE_* of a file or folder, as GetFileAttributes gives them:
    // a junction or symbolic link at the end of the path is not followed and
    // shows FILE_ATTRIBUTE_REPARSE_POINT. Missing: 2 (3 when its folder is).
    virtual long GetFileAttributes(const std::string& path, std::uint32_t& attributes) = 0;
    // The owner and access list of a file or folder, in SDDL ("O:..D:..").
    virtual long GetFileSecurity(const std::string& path, std::string& sddl) = 0;
    // Gives a file or folder the owner and access list of `sddl`, the list
    // protected from what its parent passes on; what it passes on reaches the
    // files and folders in it. A reparse point is refused (4395). An owner
    // other than oneself needs administrator rights (else 1307).
    virtual long SetFileSecurity(const std::string& path, const std::string& sddl) = 0;
    // Removes an empty folder.
    virtual long RemoveDirectory(const std::string& path) = 0;
    // Appends bytes to a file, making it when it is not there; a junction or
    // symbolic link in its place is refused (4395), a reparse point of
    // another kind (compressed, deduplicated, cloud) written as the file.
    virtual long AppendFile(const std::string& path, const std::string& bytes) = 0;
    // Copies a file; with failIfExists an existing copy is an error (80). A
    // target that is a reparse point is refused (4395). The copy keeps the
    // file's last-write time. It blocks while it copies: call it from the
    // worker thread (RunInBackground).
    virtual long CopyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
    // A file read as itself, for a copy that must never be turned to another
    // file: opened by one handle (CreateFile, FILE_FLAG_OPEN_REPARSE_POINT,
    // shared for reading only, as CopyFile opens it) and checked on that
    // handle before a byte is read. A reparse point that is no name
    // surrogate (compressed, deduplicated, cloud files) is opened again
    // without FILE_FLAG_OPEN_REPARSE_POINT, for its content, and must still be
    // the same file. Refused: a junction or symbolic link at the end of the
    // path, or a path that reaches the file through one on the way (4395);
    // a file with more than one name (1142: a hard link may be any file of
    // the volume); a folder (5). `info` is what
    // GetFileInformationByHandle told; `bytes` takes its content in runs.
    // Blocks: for the worker thread.
    using FileBytes = std::function<void(const char* bytes, std::size_t size)>;
    virtual long ReadFileAsItself(const std::string& path, FileInformation& info, const FileBytes& bytes) = 0;
    // The same read, each run also written to the new file `to`, which must
    // not be there (80: nor a link in its place), made with what its folder
    // passes on and given the source's last-write time. A copy cut short is
    // deleted.
    virtual long CopyFileAsItself(const std::string& from, const std::string& to, FileInformation& info,
                                  const FileBytes& bytes) = 0;
    // The names in a folder (files and folders, without "." and ".."); an
    // error when the folder cannot be listed (a missing one: 3), or is itself
    // a junction or link (4395: never listed through).
    virtual long ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Moves a file within a volume (file::kMoveReplaceExisting takes the
    // place of a file there; file::kMoveWriteThrough returns only once the
    // move is on the disk). The replace is atomic: a reader sees the old
    // file or the new one, never part of either. 0, or the Win32 error.
    virtual long MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) = 0;
    // The size of a file in bytes, as GetFileAttributesEx reports it (a
    // folder: 0); a missing file 2, a missing folder 3.
    virtual long GetFileSize(const std::string& path, std::uint64_t& size) = 0;
    // Whether it is a folder, its size and its last-write time; errors as
    // GetFileSize's.
    virtual long GetFileAttributesEx(const std::string& path, FileAttributes& attributes) = 0;

    // --- Text. Text in the ANSI code page as UTF-8: MultiByteToWideChar with
    // CP_ACP, then WideCharToMultiByte with CP_UTF8. Bytes the code page
    // leaves undefined come out as the code page's table maps them.
    virtual std::string AnsiToUtf8(const std::string& ansi) = 0;

    // --- Time and the message loop.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Lets pending window messages, timer ticks and posted work run (DoEvents).
    virtual void DoEvents() = 0;
    virtual std::uint64_t TickCount() = 0;
    virtual LocalTime GetLocalTime() = 0;
    // Minutes the local time is ahead of UTC (negative west of Greenwich).
    virtual std::int32_t UtcOffsetMinutes() = 0;
    // A timer of Harrowatch's own: `tick` runs from the message loop every
    // `milliseconds` until the timer is killed. 0 on failure.
    virtual std::uint32_t SetTimer(std::uint32_t milliseconds, std::function<void()> tick) = 0;
    virtual void KillTimer(std::uint32_t id) = 0;
    // Work that may block, off the interface thread: `work` runs on a
    // worker thread of Harrowatch's, jobs of one lane in the order given;
    // `done` then runs on the interface thread, from its message loop. When
    // no worker can be had, both run at once, on the caller's thread: never
    // neither. `work` calls the system through the desktop it is handed,
    // which the worker owns: a job still under way at exit outlives this
    // desktop, and must hold nothing of it (nor of anything else the exit
    // frees).
    // Exports (the metrics file, in a folder the operator chose, perhaps on
    // a share that stalls) have a lane of their own, so that they never
    // hold a reset's backup copy or a webhook post behind them.
    enum class WorkLane { Shared = 0, Exports = 1 };
    static constexpr int kWorkLanes = 2;
    virtual void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                                 WorkLane lane) = 0;
    void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done) {
        RunInBackground(std::move(work), std::move(done), WorkLane::Shared);
    }

private:
    static std::uint64_t NextSerial() {
        static std::atomic<std::uint64_t> next{0};
        return ++next;
    }
    std::uint64_t serial_;
};

}  // namespace hw::platform
