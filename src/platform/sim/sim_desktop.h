// The simulated desktop: registry, processes, files and a virtual clock
// behind the same facade as Windows. Deterministic: time moves only when the
// code under test sleeps or waits, and work scheduled by simulated programs
// runs in time order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/desktop.h"
#include "platform/sim/sim_world.h"

namespace hw::platform::sim {

class SimDesktop : public Desktop {
public:
    SimDesktop();
    ~SimDesktop() override;

    // --- Set-up and inspection for tests and hosted programs.
    void SetPlatformId(std::uint32_t id) { platformId_ = id; }
    void SetOwnModuleFileName(std::string path);
    Pid OwnPid() const { return ownPid_; }
    void SetStartTime(const LocalTime& t);
    // The local clock jumps (set by hand, or a daylight-saving switch); the
    // tick count goes on as it was.
    void ShiftLocalTime(std::int64_t ms) { startMsOfDay_ += ms; }
    std::uint64_t NowMs() const { return nowMs_; }
    // Messages sent to other programs' windows so far: the cost of reading them.
    std::uint64_t SendsToOthers() const { return sendsToOthers_; }
    void SetEnvironment(const std::string& name, const std::string& value);

    // Files. Paths compare without regard to case.
    void WriteFile(const std::string& path, std::string content = {});
    bool HasFile(const std::string& path) const;
    void SetFileLocked(const std::string& path, bool locked);
    // Another program has the file open for reading, sharing reads only: it
    // is read and copied, but neither deleted, moved nor written (32).
    void SetFileOpenForReading(const std::string& path, bool open);
    // That program also locks the file's bytes (LockFile): reading them, and
    // so copying the file, fails with ERROR_LOCK_VIOLATION (33).
    void SetFileRangeLocked(const std::string& path, bool locked);
    // Another program has a handle on the folder, not sharing deletion (a
    // command prompt in it, a window on it): the folder is neither renamed
    // nor removed (32). Without `sharesWrite` nothing new goes into it,
    // nor is renamed there (32).
    void SetFolderOpenElsewhere(const std::string& path, bool open, bool sharesWrite = true);
    void SetFileReadOnly(const std::string& path) { readOnly_.insert(text::Upper(path)); }
    // Folders: made by a file written into them, or made empty.
    void MakeFolder(const std::string& path);
    bool HasFolder(const std::string& path) const;
    // A junction at `path` (a folder entry) leading to the folder `target`;
    // paths through it lead there, as on Windows.
    void MakeJunction(const std::string& path, const std::string& target);
    // The same, by a user who is not an administrator: refused (5) unless the
    // folder it goes in lets ordinary users add folders.
    long UserMakeJunction(const std::string& path, const std::string& target);
    // A symbolic link at `path` (a file entry) leading to the file `target`:
    // opened by name, it is that file.
    void MakeSymbolicLink(const std::string& path, const std::string& target);
    // Makes the file or folder at `path` a reparse point of `tag` that is no
    // link (file::kTagWof, kTagDedup, kTagCloud...): its content stays its own.
    void SetReparseTag(const std::string& path, std::uint32_t tag);
    // A second name, `link`, of the file `existing` (a hard link): one file,
    // its content and access list seen under either name.
    void MakeHardLink(const std::string& existing, const std::string& link);
    // Owner and access list of a file or folder (SDDL), set or as inherited.
    void SetSecurity(const std::string& path, const std::string& sddl);
    std::string SecurityOf(const std::string& path) const;
    // Whether an ordinary user (not an administrator) may do `rights` on it.
    bool UserMay(const std::string& path, std::uint32_t rights) const;
    static constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
    void InstallProgram(const std::string& path, ProgramSpec spec);

    // Processes.
    Pid AddProcess(const std::string& imagePath, bool alive = true);
    SimProcess* FindProcess(Pid pid);
    void KillProcess(Pid pid, std::uint32_t exitCode = 1);
    std::size_t OpenHandleCount() const { return handles_.size(); }
    // Runs right before OpenProcess opens a process (to end it mid-enumeration).
    std::function<void(Pid)> beforeOpenProcess;
    // Runs right before a message is sent to another program's window (to
    // hang or end that program part-way through a read).
    std::function<void(Hwnd, std::uint32_t message)> beforeSendToOthers;

    // Windows.
    Hwnd CreateWindow(Pid owner, const std::string& className, const std::string& caption,
                      Hwnd parent, std::int32_t exStyle = 0, WindowProc proc = {});
    void DestroyWindow(Hwnd window);
    SimWindow* Window(Hwnd window);
    // Delivers a message to a window of any process at once (as its own
    // message loop would); default handling when the procedure does not.
    std::int64_t Deliver(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                         std::int64_t lParam);
    HMenu CreateMenu(std::vector<SimMenuItem> items);
    // The process stops answering messages for a while.
    void HangProcess(Pid pid, std::uint64_t ms);
    bool IsHung(Pid pid) const;
    Hwnd TaskbarWindow() const { return taskbar_; }
    Pid ShellPid() const { return shellPid_; }
    // Harrowatch runs elevated (high integrity) unless a test says otherwise.
    void SetIntegrity(Pid pid, std::uint32_t level);
    // A message posted by another process, through user interface privilege
    // isolation: false (error 5) when a lower level may not reach the window.
    bool PostFrom(Pid sender, Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
    // Posted to every top-level window, as HWND_BROADCAST does; the windows
    // the filter drops just miss it.
    void BroadcastFrom(Pid sender, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
    // The session starts to end (SM_SHUTTINGDOWN is set from here on, before
    // any program is asked), or its end is called off.
    void SetShuttingDown(bool ending) { shuttingDown_ = ending; }
    // Harrowatch's own shutdown level; every other program keeps the default.
    std::uint32_t OwnShutdownLevel() const { return ownShutdownLevel_; }
    // Tasks registered with the Task Scheduler, by name.
    const std::map<std::string, std::string>& Tasks() const { return tasks_; }
    // When set, consulted before every task call; a non-zero answer fails it.
    std::function<long(const std::string& operation, const std::string& name)> taskFault;
    // Memory of a simulated process, for the programs hosted in it.
    bool ReadMemory(Pid pid, RemoteAddress address, void* buffer, std::uint64_t size);
    bool WriteMemory(Pid pid, RemoteAddress address, const void* buffer, std::uint64_t size);
    std::size_t RemoteBlockCount(Pid pid);
    // A hosted program that reads or writes memory already given back with
    // VirtualFreeEx: on Windows an access violation in that program, or
    // worse, a write into whatever took the address next. Kept here for the
    // tests; the access itself fails.
    struct ReleasedMemoryAccess {
        Pid pid;
        RemoteAddress address;
        bool write;
    };
    const std::vector<ReleasedMemoryAccess>& ReleasedMemoryAccesses() const { return releasedAccesses_; }

    // Registry faults: when set, consulted before every change (create, set,
    // delete), each key opened ("open" for writing, "openread"), each value
    // or key listed ("enumvalue", "enumkey") and each value queried
    // ("query"); a non-zero answer is returned as the call's error.
    std::function<long(const std::string& operation, const std::string& key,
                       const std::string& value)>
        registryFault;
    static bool IsRegistryRead(const std::string& operation) {
        return operation == "query" || operation == "enumvalue" || operation == "openread" || operation == "enumkey";
    }
    // Raw look at a value, bypassing handles: type and bytes, or false.
    bool PeekValue(HKey root, const std::string& key, const std::string& name,
                   std::uint32_t& type, std::vector<std::uint8_t>& data) const;
    bool PeekKey(HKey root, const std::string& key) const;
    // Writes a value directly (as another program or an installer would).
    void PokeValue(HKey root, const std::string& key, const std::string& name,
                   std::uint32_t type, std::vector<std::uint8_t> data);
    void PokeString(HKey root, const std::string& key, const std::string& name,
                    const std::string& text, std::uint32_t type = reg::kSz);

    // Work of simulated programs: runs when the virtual clock reaches atMs.
    // Work of other processes runs during sleeps too; work of Harrowatch's
    // own process runs only when it yields to its message loop.
    void ScheduleAt(std::uint64_t atMs, Pid owner, std::function<void()> work);
    void ScheduleAfter(std::uint64_t delayMs, Pid owner, std::function<void()> work) {
        ScheduleAt(nowMs_ + delayMs, owner, std::move(work));
    }
    // Moves the clock on, running due work of every process (as time passing
    // while Harrowatch's message loop is idle).
    void AdvanceIdle(std::uint64_t ms);
    std::uint64_t SleptMs() const { return sleptMs_; }
    std::uint64_t YieldCount() const { return yields_; }

    // --- Desktop.
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

    std::uint32_t GetVersionPlatformId() override { return platformId_; }
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
    Pid GetCurrentProcessId() override { return ownPid_; }
    bool CloseHandle(Handle handle) override;
    bool CreateProcess(const std::string& commandLine, const std::string& directory,
                       const LaunchOptions& options, ProcessInformation& info) override;
    std::uint32_t WaitForInputIdle(Handle process, std::uint32_t milliseconds) override;
    std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override;
    bool GetExitCodeProcess(Handle process, std::uint32_t* exitCode) override;
    bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
    std::string GetOwnModuleFileName() override { return ownModule_; }
    bool GetProcessTimes(Handle process, ProcessTimes& times) override;
    std::uint32_t ProcessorCount() override { return processorCount_; }
    void SetProcessorCount(std::uint32_t count) { processorCount_ = count ? count : 1; }
    bool GetProcessMemoryInfo(Handle process, ProcessMemory& memory) override;
    bool GetProcessHandleCount(Handle process, std::uint32_t* count) override;
    std::uint64_t GetSystemTimeAsFileTime() override;
    long GetLastError() override { return lastError_; }

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
    bool IsWindow(Hwnd window) override { return Window(window) != nullptr; }
    bool IsHungAppWindow(Hwnd window) override;
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    bool ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) override;
    bool IsWindowVisible(Hwnd window) override;
    int GetSystemMetrics(int index) override {
        return index == session::kSmShuttingDown && shuttingDown_ ? 1 : 0;
    }
    bool SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) override;
    bool ShowWindow(Hwnd window, int command) override;
    bool MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) override;
    bool UpdateWindow(Hwnd window) override { return Window(window) != nullptr; }
    Hwnd GetDesktopWindow() override { return desktopWindow_; }
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
    bool Is64BitProcess() override { return harrowatch64_; }
    // The x86 Harrowatch, on 64-bit Windows or on 32-bit Windows.
    void RunAs32Bit(bool onWindows64) {
        harrowatch64_ = false;
        windows64_ = onWindows64;
        FindProcess(ownPid_)->is32Bit = true;
    }

    Hwnd ForegroundWindow() const { return foreground_; }

    long ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                     const std::string& text) override;
    struct LoggedEvent {
        std::string source;
        std::uint16_t type;
        std::uint32_t id;
        std::string text;
    };
    const std::vector<LoggedEvent>& EventLog() const { return eventLog_; }
    long RegisterTask(const std::string& name, const std::string& xml) override;
    long GetTaskXml(const std::string& name, std::string& xml) override;
    long DeleteTask(const std::string& name) override;
    long GetSessionUser(std::string& domainUser) override;
    // The user logged on to the session ("" for the one in USERDOMAIN and
    // USERNAME), and the error the call fails with (0: none).
    std::string sessionUser;
    long sessionUserError = 0;

    bool FileExists(const std::string& path) override {
        return !(fileFault && fileFault("attributes", path)) && HasFile(path);
    }
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
    // Files replaced by a move, in order: the tests see that a reader was
    // never shown a file half written.
    std::uint64_t MovesDone() const { return moves_; }
    long GetFileSize(const std::string& path, std::uint64_t& size) override;
    long GetFileAttributesEx(const std::string& path, FileAttributes& attributes) override;
    // How fast a copy or read goes: it takes virtual time in proportion to the
    // bytes. On the worker thread the worker's time passes; on Harrowatch's
    // own thread the clock moves with that thread blocked (its timers and
    // posted work wait, other programs go on).
    void SetCopyBytesPerSecond(std::uint64_t bytes) { copyBytesPerSecond_ = bytes ? bytes : 1; }
    // Copies and reads made on Harrowatch's own thread so far.
    std::uint64_t CopiesOnOwnThread() const { return copiesOnOwnThread_; }
    // Windows-1252, as on a western Windows.
    std::string AnsiToUtf8(const std::string& ansi) override;
    // The room on the disk for the content of files: a write or copy that
    // would pass it fails with ERROR_DISK_FULL (112). Unset: no limit.
    void SetDiskSpace(std::uint64_t bytes) { diskSpace_ = bytes; }
    std::uint64_t DiskUsed() const;
    std::int32_t UtcOffsetMinutes() override { return utcOffsetMinutes_; }
    void SetUtcOffsetMinutes(std::int32_t minutes) { utcOffsetMinutes_ = minutes; }
    // A folder that takes no new files or folders (a full or locked disk).
    void SetFolderReadOnly(const std::string& path) { readOnlyFolders_.insert(FolderKeyOf(path)); }
    void SetFolderWritable(const std::string& path) { readOnlyFolders_.erase(FolderKeyOf(path)); }
    // A folder whose files answer slowly (a stalled network share): each
    // write, move or delete of a file directly in it takes `ms` (0: quick
    // again). Time passes as for a copy: the worker's on the worker
    // thread, the whole clock with Harrowatch's own thread held on it.
    void SetFolderSlow(const std::string& path, std::uint32_t ms) {
        if (ms) slowFolders_[FolderKeyOf(path)] = ms;
        else slowFolders_.erase(FolderKeyOf(path));
    }
    // The files below a folder (any depth), as first spelled.
    std::vector<std::string> FilesUnder(const std::string& folder) const;
    // Runs right before a file that exists is deleted (its content still there).
    std::function<void(const std::string& path)> beforeDeleteFile;
    // Runs as SetFileSecurity begins, before it opens what it sets: what a
    // user does between Harrowatch's checks and its lock-down.
    std::function<void(const std::string& path)> beforeSetFileSecurity;
    // A Win32 error for a file operation ("attributes": GetFileAttributesEx)
    // on `path`, or 0 to let it run.
    std::function<long(const std::string& operation, const std::string& path)> fileFault;
    std::string FileContent(const std::string& path) const;

    void Sleep(std::uint32_t milliseconds) override;
    void DoEvents() override;
    std::uint64_t TickCount() override { return nowMs_; }
    LocalTime GetLocalTime() override;
    std::uint32_t SetTimer(std::uint32_t milliseconds, std::function<void()> tick) override;
    void KillTimer(std::uint32_t id) override;
    std::size_t TimerCount() const { return timers_.size(); }
    // The work is handed this desktop: the simulated worker never outlives it.
    using Desktop::RunInBackground;
    void RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                         WorkLane lane) override;

    // --- HTTP. What an address answers is up to `httpServer` (none: nothing
    // listens, 12029); every POST is kept. An answer slower than the caller's
    // time-out is a time-out. A redirect (a 3xx status with its `location`)
    // comes back as it is: nothing is sent to the location. The worker
    // thread's time passes by the answers' delays, while the interface
    // thread goes on.
    struct HttpPosted {
        std::string url, body;
        std::uint64_t atMs;
    };
    struct HttpAnswer {
        long error = 0;
        std::uint32_t status = 200;
        std::uint32_t delayMs = 0;
        std::string location;  // where a redirect points
    };
    std::function<HttpAnswer(const HttpPosted&)> httpServer;
    const std::vector<HttpPosted>& HttpPosts() const { return httpPosts_; }
    long HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                  std::uint32_t* status) override;
    // What timer ticks threw: caught at the dispatch, as Windows' callback
    // boundary would have to; a sound program leaves this empty.
    const std::vector<std::string>& CallbackErrors() const { return callbackErrors_; }

private:
    struct RegValue {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    struct RegNode {
        std::string name;
        std::vector<std::unique_ptr<RegNode>> children;
        std::vector<RegValue> values;
        RegNode* parent = nullptr;
        bool deleted = false;
    };
    struct KeyHandle {
        RegNode* node;
        std::uint32_t access;
        std::shared_ptr<bool> alive;
    };
    struct HandleEntry {
        enum Kind { Process, Thread, Snapshot } kind;
        Pid pid = 0;
        std::uint32_t access = 0;  // the rights it was opened with
        std::vector<ProcessEntry> snapshot;
        std::size_t cursor = 0;
    };
    struct Work {
        std::uint64_t atMs;
        std::uint64_t seq;
        Pid owner;
        std::function<void()> fn;
        std::uint32_t timer = 0;  // the timer whose tick this is
    };

    RegNode* RootNode(HKey root) const;
    RegNode* NodeOf(HKey key) const;
    // The node of an open key that carries `needed`; else a Win32 error.
    long KeyAccess(HKey key, std::uint32_t needed, RegNode*& node) const;
    bool MayWrite(HKey root, std::uint32_t access) const;
    RegNode* Walk(RegNode* from, const std::string& path, bool create);
    const RegNode* WalkConst(const RegNode* from, const std::string& path) const;
    static std::string PathOf(const RegNode* node);
    void MarkDeleted(RegNode* node);
    long Fault(const std::string& op, const RegNode* node, const std::string& value);

    Handle NewHandle(HandleEntry entry);
    HandleEntry* FindHandle(Handle h);
    SimProcess* ProcessOf(Handle h);
    // The process behind a handle that carries `all` of those rights and at
    // least one of `any` (when given); else null with the last error set:
    // 6 for a closed handle or one of another kind, 5 for missing rights.
    SimProcess* ProcessWith(Handle h, std::uint32_t all, std::uint32_t any = 0);
    bool Fail(long error) {
        lastError_ = error;
        return false;
    }
    // Whether a message from `sender` gets through to the window (UIPI).
    bool MayReach(Pid sender, const SimWindow& w, std::uint32_t message) const;
    std::uint32_t IntegrityOf(Pid pid) const;
    bool OnOwnDesktop(Hwnd window);
    void RunDue(bool includeOwn);
    void MoveClockTo(std::uint64_t target, bool includeOwn);

    std::vector<HttpPosted> httpPosts_;
    bool onWorker_ = false;
    std::map<std::string, std::uint32_t> slowFolders_;
    void TakeFileCallTime(const std::string& key);
    std::uint64_t workerClock_ = 0;  // where the worker thread now running has got to
    std::uint64_t laneClocks_[kWorkLanes] = {};  // ... and each lane's thread
    long lastError_ = 0;
    std::vector<std::string> callbackErrors_;
    Pid shellPid_ = 0;
    std::map<std::string, std::uint32_t> registeredMessages_;
    std::map<std::string, std::string> tasks_;
    std::vector<LoggedEvent> eventLog_;
    std::uint32_t platformId_ = proc::kPlatformWin32Nt;
    std::uint32_t processorCount_ = 4;
    std::string ownModule_;
    Pid ownPid_ = 0;
    bool harrowatch64_ = true, windows64_ = true;
    bool shuttingDown_ = false;
    std::uint32_t ownShutdownLevel_ = session::kDefaultShutdownLevel;
    Pid nextPid_{100};
    std::deque<SimProcess> processes_;  // stable addresses while processes come and go
    std::map<Handle, HandleEntry> handles_;
    Handle nextHandle_{0x100};

    std::map<std::string, std::string> files_;  // upper-cased path -> content
    std::map<std::string, bool> locked_;
    std::set<std::string> openForReading_, rangeLocked_;  // upper-cased paths
    std::map<std::string, bool> openFolders_;  // folder key -> whether its holder shares writing
    // Whether another program's handle keeps the file from being deleted,
    // moved or written.
    bool HeldElsewhere(const std::string& key) const {
        const auto it = locked_.find(key);
        return (it != locked_.end() && it->second) || openForReading_.count(key) || rangeLocked_.count(key);
    }
    std::map<std::string, std::uint64_t> lastWrite_;  // upper-cased path -> FILETIME
    std::uint64_t copyBytesPerSecond_ = 200ull << 20;
    std::uint64_t copiesOnOwnThread_ = 0;
    // The current thread's time as a FILETIME (UTC).
    std::uint64_t FileTimeNow();
    std::set<std::string> folders_;   // upper-cased, without the trailing backslash
    std::set<std::string> readOnly_;
    std::set<std::string> readOnlyFolders_;
    std::uint64_t moves_ = 0;
    std::uint64_t diskSpace_ = UINT64_MAX;
    // Whether `more` bytes still fit on the disk.
    bool Fits(std::uint64_t more) const {
        return diskSpace_ == UINT64_MAX || (more <= diskSpace_ && DiskUsed() <= diskSpace_ - more);
    }
    std::map<std::string, std::string> spelled_;  // upper-cased path -> as it was first written (case kept)
    std::int32_t utcOffsetMinutes_ = 60;
    static std::string FolderKeyOf(const std::string& path);
    // Whether a new entry may go into the folder that holds `path`.
    long MayCreateIn(const std::string& path) const;
    // Upper-cased, through any junction on the way; through one at the end
    // too when `last`.
    std::string Resolve(const std::string& path, bool last) const;
    std::map<std::string, std::string> junctions_;  // upper-cased path -> target, resolved
    std::map<std::string, std::uint32_t> reparseTags_;  // files and folders that are reparse points of another kind
    // The reparse tag of an entry, 0 when it is none.
    std::uint32_t ReparseTagOf(const std::string& key) const;
    // Whether the file at `key` was saved since it was opened as `opened`.
    bool SavedMeanwhile(const std::string& key, const FileInformation& opened) const;
    // The names of each file that has more than one (upper-cased paths).
    std::map<std::string, std::shared_ptr<std::set<std::string>>> hardLinks_;
    // After a write under `key`, the file's other names show it too.
    void ShareContent(const std::string& key);
    // Opens a file as itself, with the refusals of ReadFileAsItself; `key` its entry.
    long OpenAsItself(const std::string& path, FileInformation& info, std::string& key);
    // A copy's bytes take their time.
    void TakeCopyTime(std::uint64_t bytes);
    // A name gone (deleted, or moved away): the file's other names stay.
    void DropName(const std::string& key);
    std::map<std::string, std::string> security_;   // set explicitly, SDDL
    std::map<std::string, std::string> owners_;     // who made it, when not set explicitly
    bool Elevated() const;
    // Whether Harrowatch's own token is granted all of `rights` on it.
    bool CallerMay(const std::string& path, std::uint32_t rights) const;
    // A folder (or junction) renamed within its volume, with all in it.
    long MoveFolder(const std::string& source, const std::string& target, const std::string& spelled);
    std::map<std::string, ProgramSpec> programs_;
    std::map<std::string, std::string> environment_;

    std::unique_ptr<RegNode> hklm_, hkcu_, hkcr_;
    std::map<HKey, KeyHandle> keys_;
    HKey nextKey_{0x1000};

    // A send of Harrowatch's to a window. When the sender gives up on a hung
    // program, `late` (or, when empty, the message itself) is still handled
    // once the program takes messages again; its answer goes nowhere.
    bool SendFromOwn(Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                     std::uint32_t timeoutMs, std::int64_t* result, std::function<void()> late);
    void HandleLateSends(Pid pid);
    std::vector<ReleasedMemoryAccess> releasedAccesses_;
    // Whether the process gave back the block that held `address`.
    bool WasReleased(const SimProcess& p, RemoteAddress address) const;

    bool ReadListBoxLine(Hwnd listBox, std::uint64_t line, std::uint32_t flags, std::uint32_t timeoutMs,
                         std::string& text);

    std::uint64_t sendsToOthers_ = 0;
    std::uint64_t nowMs_ = 0;
    std::int64_t startDays_ = 0;      // days since 1970 of the start time
    std::int64_t startMsOfDay_ = 0;
    std::uint64_t sleptMs_ = 0;
    std::uint64_t yields_ = 0;
    std::vector<Work> work_;
    std::uint64_t workSeq_ = 0;

    std::map<Hwnd, SimWindow> windows_;
    std::vector<Hwnd> topLevel_;  // z-order, topmost first
    Hwnd nextWindow_{0x10020};
    Hwnd desktopWindow_ = 0, taskbar_ = 0, foreground_ = 0;
    std::map<HMenu, std::vector<SimMenuItem>> menus_;
    std::map<std::uint32_t, std::function<void()>> timers_;
    std::uint32_t nextTimer_ = 1;
    void ArmTimer(std::uint32_t id, std::uint32_t milliseconds);
    HMenu nextMenu_{0x50000};
    // The bytes at address..address+size of one block of the process, or null.
    std::uint8_t* MemoryAt(Pid pid, RemoteAddress address, std::uint64_t size);
    // The same for a hosted program's own access; one to a block given back
    // is kept in releasedAccesses_.
    std::uint8_t* HostedAccess(Pid pid, RemoteAddress address, std::uint64_t size, bool write);
    bool EnumChildren(Hwnd parent, const std::function<bool(Hwnd)>& callback);
    bool DefaultProc(SimWindow& w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                     std::int64_t* result);
};

}  // namespace hw::platform::sim
