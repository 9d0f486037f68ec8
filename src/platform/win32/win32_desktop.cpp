#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "platform/win32/win32_desktop.h"

#include <algorithm>
#include <exception>
#include <cstring>
#include <map>
#include <string>

namespace hw::platform::win32 {

namespace {

// Registry access goes through the 32-bit view, where the 32-bit game and
// earlier 32-bit builds of Harrowatch keep their values.
constexpr REGSAM kView = KEY_WOW64_32KEY;

::HKEY ToHkey(HKey k) { return reinterpret_cast<::HKEY>(static_cast<ULONG_PTR>(k.value())); }
::HANDLE ToHandle(Handle h) { return reinterpret_cast<::HANDLE>(static_cast<ULONG_PTR>(h.value())); }
Handle FromHandle(::HANDLE h) { return static_cast<Handle>(reinterpret_cast<ULONG_PTR>(h)); }

::HWND ToHwnd(Hwnd h) { return reinterpret_cast<::HWND>(static_cast<ULONG_PTR>(h.value())); }
Hwnd FromHwnd(::HWND h) { return static_cast<Hwnd>(reinterpret_cast<ULONG_PTR>(h)); }
::HMENU ToHmenu(HMenu m) { return reinterpret_cast<::HMENU>(static_cast<ULONG_PTR>(m.value())); }
HMenu FromHmenu(::HMENU m) { return static_cast<HMenu>(reinterpret_cast<ULONG_PTR>(m)); }

std::map<UINT_PTR, std::function<void()>>& Timers() {
    static std::map<UINT_PTR, std::function<void()>> timers;
    return timers;
}

std::function<void(const char*)>& CallbackErrorHandler() {
    static std::function<void(const char*)> handler;
    return handler;
}

// Nothing may cross back into Windows from a timer procedure: what a tick
// throws goes to the program's handler, inside the catch.
void CALLBACK TimerTrampoline(::HWND, UINT, UINT_PTR id, DWORD) noexcept {
    auto it = Timers().find(id);
    if (it == Timers().end()) return;
    try {
        auto tick = it->second;  // the tick may kill its timer
        tick();
    } catch (...) {
        try {
            if (CallbackErrorHandler()) CallbackErrorHandler()("TimerProc");
        } catch (...) {
        }
    }
}

// One enumeration: the caller's callback, and what it threw, rethrown once
// the API has returned.
struct Enumeration {
    const std::function<bool(Hwnd)>& callback;
    std::exception_ptr error;
};

BOOL CALLBACK EnumTrampoline(::HWND hwnd, LPARAM lp) noexcept {
    auto* e = reinterpret_cast<Enumeration*>(lp);
    try {
        return e->callback(FromHwnd(hwnd)) ? TRUE : FALSE;
    } catch (...) {
        e->error = std::current_exception();
        return FALSE;
    }
}

// Under Wine, text messages that need converting between ANSI and UTF-16
// (WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETTEXT, LB_GETTEXT, LB_GETTEXTLEN) wait
// for a hung receiver however short the time-out. A WM_NULL first, which
// keeps its time-out, tells a hung program from a live one.
bool IsTextMessage(UINT message) {
    return message == WM_GETTEXT || message == WM_GETTEXTLENGTH || message == WM_SETTEXT ||
           message == LB_GETTEXT || message == LB_GETTEXTLEN;
}

bool Answers(::HWND h, UINT flags, UINT timeoutMs) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == ::GetCurrentProcessId()) return ::IsWindow(h) != FALSE;
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(h, WM_NULL, 0, 0, flags, timeoutMs, &r) != 0;
}

// A line's text in UTF-16 into `wide`, sized by its length (with room to
// spare), then converted.
bool ReadListBoxText(::HWND h, WPARAM line, DWORD_PTR len, UINT flags, UINT timeoutMs, std::wstring& wide,
                     std::string& ansi) {
    if (len > (1u << 20)) return false;
    if (wide.size() < len + 64) wide.resize(len + 64);
    DWORD_PTR r = 0;
    if (!::SendMessageTimeoutW(h, LB_GETTEXT, line, reinterpret_cast<LPARAM>(wide.data()), flags, timeoutMs, &r))
        return false;
    if (static_cast<LONG_PTR>(r) < 0) return false;
    const int n = static_cast<int>(std::min<DWORD_PTR>(r, wide.size() - 1));
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    ansi.assign(static_cast<size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), n, ansi.data(), bytes, nullptr, nullptr);
    return true;
}

// One line of a list box, possibly of another process: two sends. Under Wine
// it answers the ANSI request in UTF-16, and Windows copies back as much as
// the line holds, so it is asked in UTF-16 into a buffer sized by the line
// (`wide`, kept from line to line), then converted to the ANSI code page.
bool ReadListBoxLine(::HWND h, WPARAM line, UINT flags, UINT timeoutMs, std::wstring& wide, std::string& ansi) {
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(h, LB_GETTEXTLEN, line, 0, flags, timeoutMs, &len)) return false;
    if (static_cast<LONG_PTR>(len) < 0) return false;  // LB_ERR: no such line
    return ReadListBoxText(h, line, len, flags, timeoutMs, wide, ansi);
}

// The lengths of a run of list box lines, asked for all at once with
// SendMessageCallback (allowed across processes: LB_GETTEXTLEN carries no
// pointer) and answered while this thread waits for them: the other program
// answers them back to back, where one send at a time would wait for each.
// Answers to a run given up on arrive later and are dropped by their stamp.
class LengthRun {
public:
    static constexpr std::int32_t kMost = 64;

    LengthRun() : stamp_(++lastStamp_ & kStampMask) { active_.push_back(this); }
    LengthRun(const LengthRun&) = delete;
    LengthRun& operator=(const LengthRun&) = delete;
    ~LengthRun() { std::erase(active_, this); }

    // Asks for lines first..first+n-1, once; answers how many were asked for.
    std::int32_t Ask(::HWND h, std::int32_t first, std::int32_t n) {
        lengths_.assign(static_cast<size_t>(n), kUnanswered);
        answered_ = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            const auto cookie = static_cast<ULONG_PTR>(stamp_ << kIndexBits | static_cast<std::uint32_t>(i));
            if (!::SendMessageCallbackW(h, LB_GETTEXTLEN, static_cast<WPARAM>(first + i), 0, &Answered, cookie)) {
                lengths_.resize(static_cast<size_t>(i));
                break;
            }
        }
        return static_cast<std::int32_t>(lengths_.size());
    }
    // Lets the answers in until all have come or the time-out has passed.
    // Only sent messages and callbacks are handled meanwhile, as while a
    // SendMessageTimeout waits; the queue's posted messages stay.
    void Wait(UINT timeoutMs) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        MSG m;
        for (;;) {
            ::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            const ULONGLONG now = ::GetTickCount64();
            if (answered_ >= lengths_.size() || now >= end) break;
            ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_SENDMESSAGE, 0);
        }
    }
    // A line's length; false when it was not answered or there is no such line.
    bool Length(std::int32_t i, DWORD_PTR& length) const {
        if (i < 0 || static_cast<size_t>(i) >= lengths_.size()) return false;
        const LRESULT r = lengths_[static_cast<size_t>(i)];
        if (r == kUnanswered || r < 0) return false;
        length = static_cast<DWORD_PTR>(r);
        return true;
    }

private:
    static constexpr LRESULT kUnanswered = LB_ERR - 1;
    // A cookie is 32 bits in a 32-bit build: the run's stamp, then the line.
    static constexpr unsigned kIndexBits = 8;
    static constexpr std::uint32_t kStampMask = 0xFFFFFFu;
    static_assert(kMost <= 1 << kIndexBits);
    // Runs may nest (a sent message handled while one waits may start
    // another read): each answer goes to the run that bears its stamp.
    static void CALLBACK Answered(::HWND, UINT, ULONG_PTR cookie, LRESULT result) {
        const auto i = static_cast<size_t>(cookie & ((1u << kIndexBits) - 1));
        for (LengthRun* run : active_) {
            if ((cookie >> kIndexBits & kStampMask) != run->stamp_ || i >= run->lengths_.size()) continue;
            if (run->lengths_[i] == kUnanswered) ++run->answered_;
            run->lengths_[i] = result;
        }
    }

    static thread_local std::vector<LengthRun*> active_;
    static thread_local std::uint32_t lastStamp_;
    const std::uint32_t stamp_;
    std::vector<LRESULT> lengths_;
    size_t answered_ = 0;
};
thread_local std::vector<LengthRun*> LengthRun::active_;
thread_local std::uint32_t LengthRun::lastStamp_ = 0;

ProcessEntry ToEntry(const PROCESSENTRY32& pe) {
    ProcessEntry e;
    e.processId = pe.th32ProcessID;
    e.exeFile.assign(pe.szExeFile, strnlen(pe.szExeFile, MAX_PATH));
    return e;
}

}  // namespace

long Win32Desktop::RegOpenKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                HKey& result) {
    ::HKEY k = nullptr;
    LONG r = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, access | kView, &k);
    result = r == ERROR_SUCCESS ? static_cast<HKey>(reinterpret_cast<ULONG_PTR>(k)) : 0;
    return r;
}

long Win32Desktop::RegCreateKeyEx(HKey root, const std::string& subKey, std::uint32_t access,
                                  HKey& result) {
    ::HKEY k = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    char emptyClass[1] = {0};
    LONG r = ::RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                               access | kView, &sa, &k, nullptr);
    result = r == ERROR_SUCCESS ? static_cast<HKey>(reinterpret_cast<ULONG_PTR>(k)) : 0;
    return r;
}

long Win32Desktop::RegCloseKey(HKey key) { return ::RegCloseKey(ToHkey(key)); }

long Win32Desktop::RegDeleteKey(HKey root, const std::string& subKey) {
    return ::RegDeleteKeyExA(ToHkey(root), subKey.c_str(), kView, 0);
}

long Win32Desktop::RegDeleteValue(HKey key, const std::string& valueName) {
    return ::RegDeleteValueA(ToHkey(key), valueName.c_str());
}

long Win32Desktop::RegQueryValueEx(HKey key, const std::string& valueName, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) {
    DWORD t = 0, s = size ? *size : 0;
    LONG r = ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, &t, data,
                                size ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return r;
}

long Win32Desktop::RegSetValueEx(HKey key, const std::string& valueName, std::uint32_t type,
                                 const std::uint8_t* data, std::uint32_t size) {
    return ::RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, data, size);
}

long Win32Desktop::RegQueryInfoKey(HKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                   std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    DWORD sk = 0, msk = 0, v = 0, mv = 0;
    LONG r = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &sk, &msk, nullptr, &v, &mv,
                                nullptr, nullptr, nullptr);
    if (subKeys) *subKeys = sk;
    if (maxSubKeyLen) *maxSubKeyLen = msk;
    if (values) *values = v;
    if (maxValueNameLen) *maxValueNameLen = mv;
    return r;
}

long Win32Desktop::RegEnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) {
    DWORD n = *nameLen;
    LONG r = ::RegEnumValueA(ToHkey(key), index, name, &n, nullptr, nullptr, nullptr, nullptr);
    *nameLen = n;
    return r;
}

long Win32Desktop::RegEnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
    return ::RegEnumKeyA(ToHkey(key), index, name, nameSize);
}

std::uint32_t Win32Desktop::ExpandEnvironmentStrings(const std::string& source, char* destination,
                                                     std::uint32_t size) {
    return ::ExpandEnvironmentStringsA(source.c_str(), destination, size);
}

std::uint32_t Win32Desktop::GetVersionPlatformId() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
    return info.dwPlatformId;
}

Handle Win32Desktop::CreateToolhelp32Snapshot(std::uint32_t flags, Pid processId) {
    return FromHandle(::CreateToolhelp32Snapshot(flags, processId));
}

bool Win32Desktop::Process32First(Handle snapshot, ProcessEntry& entry) {
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    if (!::Process32First(ToHandle(snapshot), &pe)) return false;
    entry = ToEntry(pe);
    return true;
}

bool Win32Desktop::Process32Next(Handle snapshot, ProcessEntry& entry) {
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    if (!::Process32Next(ToHandle(snapshot), &pe)) return false;
    entry = ToEntry(pe);
    return true;
}

bool Win32Desktop::EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) {
    DWORD got = 0;
    BOOL ok = ::K32EnumProcesses(reinterpret_cast<DWORD*>(ids), bytes, &got);
    *bytesReturned = got;
    return ok != FALSE;
}

Handle Win32Desktop::OpenProcess(std::uint32_t access, bool inheritHandle, Pid processId) {
    return FromHandle(::OpenProcess(access, inheritHandle, processId));
}

bool Win32Desktop::ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(processId, &session)) return false;
    *sessionId = session;
    return true;
}

Pid Win32Desktop::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

bool Win32Desktop::EnumProcessModules(Handle process, std::vector<std::uint64_t>& modules,
                                      std::uint32_t maxModules) {
    std::vector<HMODULE> buf(maxModules ? maxModules : 1);
    DWORD needed = 0;
    modules.clear();
    if (!::K32EnumProcessModules(ToHandle(process), buf.data(),
                              static_cast<DWORD>(buf.size() * sizeof(HMODULE)), &needed))
        return false;
    size_t n = std::min<size_t>(needed / sizeof(HMODULE), buf.size());
    for (size_t i = 0; i < n; ++i)
        modules.push_back(static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(buf[i])));
    return true;
}

std::uint32_t Win32Desktop::GetModuleFileNameEx(Handle process, std::uint64_t module, char* name,
                                                std::uint32_t size) {
    return ::K32GetModuleFileNameExA(ToHandle(process),
                                  reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(module)), name,
                                  size);
}

bool Win32Desktop::CloseHandle(Handle handle) { return ::CloseHandle(ToHandle(handle)) != FALSE; }

bool Win32Desktop::QueryFullProcessImageName(Handle process, std::string& path) {
    char buffer[MAX_PATH * 2];
    DWORD size = sizeof buffer;
    path.clear();
    if (!::QueryFullProcessImageNameA(ToHandle(process), 0, buffer, &size)) return false;
    path.assign(buffer, size);
    return true;
}

long Win32Desktop::ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                               const std::string& text) {
    ::HANDLE log = ::RegisterEventSourceA(nullptr, source.c_str());
    if (!log) return static_cast<long>(::GetLastError());
    const char* strings[1] = {text.c_str()};
    const BOOL ok = ::ReportEventA(log, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
    const long error = ok ? 0 : static_cast<long>(::GetLastError());
    ::DeregisterEventSource(log);
    return error;
}

bool Win32Desktop::GetExitCodeProcess(Handle process, std::uint32_t* exitCode) {
    DWORD code = 0;
    if (!::GetExitCodeProcess(ToHandle(process), &code)) return false;
    *exitCode = code;
    return true;
}

bool Win32Desktop::TerminateProcess(Handle process, std::uint32_t exitCode) {
    return ::TerminateProcess(ToHandle(process), exitCode) != FALSE;
}

long Win32Desktop::GetLastError() { return static_cast<long>(::GetLastError()); }

bool Win32Desktop::CreateProcess(const std::string& commandLine, const std::string& directory,
                                 const LaunchOptions& options, ProcessInformation& info) {
    std::string command = commandLine;  // CreateProcessA may write to it
    SECURITY_ATTRIBUTES processSa{sizeof processSa, nullptr, TRUE};
    SECURITY_ATTRIBUTES threadSa{sizeof threadSa, nullptr, TRUE};
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = options.showWindow;
    PROCESS_INFORMATION pi{};
    BOOL ok = ::CreateProcessA(nullptr, command.data(), &processSa, &threadSa,
                               options.inheritHandles, options.creationFlags, nullptr,
                               directory.empty() ? nullptr : directory.c_str(), &si, &pi);
    if (!ok) return false;
    info.process = FromHandle(pi.hProcess);
    info.thread = FromHandle(pi.hThread);
    info.processId = pi.dwProcessId;
    return true;
}

std::uint32_t Win32Desktop::WaitForInputIdle(Handle process, std::uint32_t milliseconds) {
    return ::WaitForInputIdle(ToHandle(process), milliseconds);
}

std::uint32_t Win32Desktop::WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(ToHandle(handle), milliseconds);
}

std::string Win32Desktop::GetOwnModuleFileName() {
    char path[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

namespace {
std::uint64_t FromFileTime(const ::FILETIME& t) {
    return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}
}  // namespace

bool Win32Desktop::GetProcessTimes(Handle process, ProcessTimes& times) {
    ::FILETIME creation{}, exit{}, kernel{}, user{};
    if (!::GetProcessTimes(ToHandle(process), &creation, &exit, &kernel, &user)) return false;
    times.creation = FromFileTime(creation);
    times.exit = FromFileTime(exit);
    times.kernel = FromFileTime(kernel);
    times.user = FromFileTime(user);
    return true;
}

std::uint32_t Win32Desktop::ProcessorCount() {
    // Every group's: a process may run in more than one. 0 is the failure.
    const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (count) return count;
    ::SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

bool Win32Desktop::GetProcessMemoryInfo(Handle process, ProcessMemory& memory) {
    // The _EX record carries the private bytes; the call takes it through
    // the plain record's pointer, told its size.
    ::PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!::K32GetProcessMemoryInfo(ToHandle(process), reinterpret_cast<::PROCESS_MEMORY_COUNTERS*>(&counters),
                                   sizeof counters))
        return false;
    memory.privateUsage = counters.PrivateUsage;
    memory.workingSetSize = counters.WorkingSetSize;
    return true;
}

bool Win32Desktop::GetProcessHandleCount(Handle process, std::uint32_t* count) {
    DWORD n = 0;
    if (!::GetProcessHandleCount(ToHandle(process), &n)) return false;
    *count = n;
    return true;
}

std::uint64_t Win32Desktop::GetSystemTimeAsFileTime() {
    ::FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FromFileTime(now);
}

Hwnd Win32Desktop::FindWindow(const char* className, const char* windowName) {
    return FromHwnd(::FindWindowA(className, windowName));
}

Hwnd Win32Desktop::FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                                const char* windowName) {
    return FromHwnd(::FindWindowExA(ToHwnd(parent), ToHwnd(childAfter), className, windowName));
}

void Win32Desktop::EnumWindows(const std::function<bool(Hwnd)>& callback) {
    Enumeration e{callback, nullptr};
    ::EnumWindows(EnumTrampoline, reinterpret_cast<LPARAM>(&e));
    if (e.error) std::rethrow_exception(e.error);
}

void Win32Desktop::EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) {
    Enumeration e{callback, nullptr};
    ::EnumChildWindows(ToHwnd(parent), EnumTrampoline, reinterpret_cast<LPARAM>(&e));
    if (e.error) std::rethrow_exception(e.error);
}

std::uint32_t Win32Desktop::GetWindowThreadProcessId(Hwnd window, Pid* processId) {
    DWORD pid = 0;
    DWORD tid = ::GetWindowThreadProcessId(ToHwnd(window), &pid);
    if (processId) *processId = pid;
    return tid;
}

std::int32_t Win32Desktop::GetWindowLong(Hwnd window, int index) {
    return ::GetWindowLongA(ToHwnd(window), index);
}

int Win32Desktop::GetWindowTextLength(Hwnd window) { return ::GetWindowTextLengthA(ToHwnd(window)); }

int Win32Desktop::GetWindowText(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetWindowTextA(ToHwnd(window), buffer, size);
}

int Win32Desktop::GetClassName(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetClassNameA(ToHwnd(window), buffer, size);
}

Hwnd Win32Desktop::GetParent(Hwnd window) { return FromHwnd(::GetParent(ToHwnd(window))); }
bool Win32Desktop::IsWindow(Hwnd window) { return ::IsWindow(ToHwnd(window)) != FALSE; }

bool Win32Desktop::IsHungAppWindow(Hwnd window) { return ::IsHungAppWindow(ToHwnd(window)) != FALSE; }

std::uint32_t Win32Desktop::RegisterWindowMessage(const std::string& name) {
    return ::RegisterWindowMessageA(name.c_str());
}

int Win32Desktop::GetSystemMetrics(int index) {
    return ::GetSystemMetrics(index);
}

bool Win32Desktop::SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) {
    return ::SetProcessShutdownParameters(level, flags) != FALSE;
}

bool Win32Desktop::ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) {
    return ::ChangeWindowMessageFilterEx(ToHwnd(window), message, action, nullptr) != FALSE;
}
bool Win32Desktop::IsWindowVisible(Hwnd window) { return ::IsWindowVisible(ToHwnd(window)) != FALSE; }
bool Win32Desktop::ShowWindow(Hwnd window, int command) {
    return ::ShowWindow(ToHwnd(window), command) != FALSE;
}
bool Win32Desktop::MoveWindow(Hwnd window, int x, int y, int width, int height, bool repaint) {
    return ::MoveWindow(ToHwnd(window), x, y, width, height, repaint) != FALSE;
}
bool Win32Desktop::UpdateWindow(Hwnd window) { return ::UpdateWindow(ToHwnd(window)) != FALSE; }
Hwnd Win32Desktop::GetDesktopWindow() { return FromHwnd(::GetDesktopWindow()); }
bool Win32Desktop::SetForegroundWindow(Hwnd window) {
    return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

bool Win32Desktop::PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                               std::int64_t lParam) {
    return ::PostMessageA(ToHwnd(window), message, static_cast<WPARAM>(wParam),
                          static_cast<LPARAM>(lParam)) != FALSE;
}

bool Win32Desktop::SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                      std::int64_t lParam, std::uint32_t flags,
                                      std::uint32_t timeoutMs, std::int64_t* result) {
    DWORD_PTR r = 0;
    if (result) *result = 0;
    if (IsTextMessage(message) && !Answers(ToHwnd(window), flags, timeoutMs)) return false;
    LRESULT ok = ::SendMessageTimeoutA(ToHwnd(window), message, static_cast<WPARAM>(wParam),
                                       static_cast<LPARAM>(lParam), flags, timeoutMs, &r);
    if (result) *result = ok ? static_cast<std::int64_t>(static_cast<LONG_PTR>(r)) : 0;
    return ok != 0;
}

bool Win32Desktop::SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                          char* buffer, std::uint32_t bufferSize,
                                          std::uint32_t flags, std::uint32_t timeoutMs,
                                          std::int64_t* result) {
    if (result) *result = 0;
    const ::HWND h = ToHwnd(window);
    DWORD_PTR r = 0;
    if (!Answers(h, flags, timeoutMs)) return false;
    if (message == WM_SETTEXT) {
        bool ok = ::SendMessageTimeoutA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(buffer), flags,
                                        timeoutMs, &r) != 0;
        if (result) *result = static_cast<std::int64_t>(r);
        return ok;
    }
    if (bufferSize == 0) return false;
    buffer[0] = 0;
    if (message == WM_GETTEXT) {
        if (!::SendMessageTimeoutA(h, WM_GETTEXT, bufferSize, reinterpret_cast<LPARAM>(buffer), flags,
                                   timeoutMs, &r))
            return false;
        buffer[bufferSize - 1] = 0;
        if (result) *result = static_cast<std::int64_t>(std::min<DWORD_PTR>(r, bufferSize - 1));
        return true;
    }
    if (message != LB_GETTEXT) return false;
    std::wstring wide;
    std::string ansi;
    if (!ReadListBoxLine(h, static_cast<WPARAM>(wParam), flags, timeoutMs, wide, ansi)) return false;
    const size_t copy = std::min<size_t>(ansi.size(), bufferSize - 1);
    std::memcpy(buffer, ansi.data(), copy);
    buffer[copy] = 0;
    if (result) *result = static_cast<std::int64_t>(copy);
    return true;
}

std::vector<std::string> Win32Desktop::ReadListBoxLines(Hwnd listBox, std::int32_t start, std::int32_t count,
                                                        std::uint32_t flags, std::uint32_t timeoutMs) {
    std::vector<std::string> lines;
    const ::HWND h = ToHwnd(listBox);
    // One probe for the batch: Wine makes each text message wait out a hung
    // receiver, so it goes first. The time-out bounds the whole read: each
    // wait after the probe takes what is left of it.
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    auto left = [until] {
        const ULONGLONG now = ::GetTickCount64();
        return static_cast<UINT>(until > now ? until - now : 0);
    };
    if (start < 0 || count <= start || !Answers(h, flags, timeoutMs)) return lines;
    lines.reserve(static_cast<size_t>(count - start));
    std::wstring wide;
    std::string ansi;
    for (std::int32_t first = start; first < count && left(); first += LengthRun::kMost) {
        LengthRun run;
        const std::int32_t asked = run.Ask(h, first, std::min(LengthRun::kMost, count - first));
        run.Wait(left());
        for (std::int32_t i = 0; i < asked; ++i) {
            DWORD_PTR len = 0;
            const UINT wait = left();
            if (!wait || !run.Length(i, len) ||
                !ReadListBoxText(h, static_cast<WPARAM>(first + i), len, flags, wait, wide, ansi))
                return lines;
            lines.push_back(ansi);
        }
        if (asked < std::min(LengthRun::kMost, count - first)) break;
    }
    return lines;
}

HMenu Win32Desktop::GetMenu(Hwnd window) {
    return FromHmenu(::GetMenu(ToHwnd(window)));
}
HMenu Win32Desktop::GetSubMenu(HMenu menu, int position) {
    return FromHmenu(::GetSubMenu(ToHmenu(menu), position));
}
int Win32Desktop::GetMenuItemCount(HMenu menu) { return ::GetMenuItemCount(ToHmenu(menu)); }
std::uint32_t Win32Desktop::GetMenuItemID(HMenu menu, int position) {
    return ::GetMenuItemID(ToHmenu(menu), position);
}
int Win32Desktop::GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                                std::uint32_t flags) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetMenuStringA(ToHmenu(menu), item, buffer, size, flags);
}

RemoteAddress Win32Desktop::VirtualAllocEx(Handle process, std::uint64_t size,
                                           std::uint32_t allocationType, std::uint32_t protect) {
    return static_cast<RemoteAddress>(reinterpret_cast<ULONG_PTR>(
        ::VirtualAllocEx(ToHandle(process), nullptr, size, allocationType, protect)));
}
bool Win32Desktop::VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                                 std::uint32_t freeType) {
    return ::VirtualFreeEx(ToHandle(process), reinterpret_cast<void*>(static_cast<ULONG_PTR>(address.value())),
                           size, freeType) != FALSE;
}
bool Win32Desktop::ReadProcessMemory(Handle process, RemoteAddress address, void* buffer,
                                     std::uint64_t size, std::uint64_t* bytesRead) {
    SIZE_T n = 0;
    BOOL ok = ::ReadProcessMemory(ToHandle(process),
                                  reinterpret_cast<const void*>(static_cast<ULONG_PTR>(address.value())), buffer,
                                  size, &n);
    if (bytesRead) *bytesRead = n;
    return ok != FALSE;
}
bool Win32Desktop::WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                      std::uint64_t size, std::uint64_t* bytesWritten) {
    SIZE_T n = 0;
    BOOL ok = ::WriteProcessMemory(ToHandle(process),
                                   reinterpret_cast<void*>(static_cast<ULONG_PTR>(address.value())), buffer, size,
                                   &n);
    if (bytesWritten) *bytesWritten = n;
    return ok != FALSE;
}
bool Win32Desktop::IsWow64Process(Handle process, bool* wow64) {
    BOOL w = FALSE;
    if (!::IsWow64Process(ToHandle(process), &w)) return false;
    *wow64 = w != FALSE;
    return true;
}

bool Win32Desktop::FileExists(const std::string& path) {
    DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

long Win32Desktop::DeleteFile(const std::string& path) {
    return ::DeleteFileA(path.c_str()) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::RemoveDirectory(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    const DWORD target = ::GetFileAttributesA(to.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_REPARSE_POINT)) return err::kReparsePoint;
    return ::CopyFileA(from.c_str(), to.c_str(), failIfExists) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) {
    return ::MoveFileExA(from.c_str(), to.c_str(), flags) ? 0 : static_cast<long>(::GetLastError());
}

long Win32Desktop::GetFileSize(const std::string& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return static_cast<long>(::GetLastError());
    size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
               ? 0
               : static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return 0;
}

long Win32Desktop::GetFileAttributesEx(const std::string& path, FileAttributes& attributes) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return static_cast<long>(::GetLastError());
    attributes.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.size =
        attributes.folder ? 0 : static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    attributes.lastWriteTime =
        static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return 0;
}

std::string Win32Desktop::AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n = static_cast<int>(ansi.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring w(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, w.data(), wide);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::int32_t Win32Desktop::UtcOffsetMinutes() {
    TIME_ZONE_INFORMATION zone;
    const DWORD which = ::GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    return static_cast<std::int32_t>(-bias);
}

void Win32Desktop::Sleep(std::uint32_t milliseconds) {
    // Messages other programs send meanwhile are answered: a program that
    // waits on one of Harrowatch's windows (to activate it, say) must not
    // wait for as long as Harrowatch waits for that program.
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void Win32Desktop::SetCallbackErrorHandler(std::function<void(const char*)> handler) {
    CallbackErrorHandler() = std::move(handler);
}

const std::function<void(const char*)>& Win32Desktop::CallbackError() { return CallbackErrorHandler(); }

void Win32Desktop::DoEvents() {
    // What is waiting now, not a stream without end: while the desktop's
    // drawing is frozen a window may be asked to paint again and again.
    MSG msg;
    ::HWND painted = nullptr;
    for (int n = 0; n < 500 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
            return;
        }
        if (msg.message == WM_PAINT) {
            // The same window asking twice in one pass cannot paint now.
            if (msg.hwnd && msg.hwnd == painted) {
                ::ValidateRect(msg.hwnd, nullptr);
                continue;
            }
            painted = msg.hwnd;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

std::uint32_t Win32Desktop::SetTimer(std::uint32_t milliseconds, std::function<void()> tick) {
    const UINT_PTR id = ::SetTimer(nullptr, 0, milliseconds, TimerTrampoline);
    if (id) Timers()[id] = std::move(tick);
    return static_cast<std::uint32_t>(id);
}

void Win32Desktop::KillTimer(std::uint32_t id) {
    ::KillTimer(nullptr, id);
    Timers().erase(id);
}

std::uint64_t Win32Desktop::TickCount() { return ::GetTickCount64(); }

LocalTime Win32Desktop::GetLocalTime() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace hw::platform::win32
