// Processes through kernel32, psapi and the tool help snapshots.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace hw::platform::win32 {

namespace {

ProcessEntry ToEntry(const PROCESSENTRY32& pe) {
    ProcessEntry e;
    e.processId = Pid{pe.th32ProcessID};
    e.exeFile.assign(pe.szExeFile, strnlen(pe.szExeFile, MAX_PATH));
    return e;
}

// One step of a snapshot's walk: Process32First or Process32Next.
bool SnapshotStep(decltype(&::Process32First) step, Handle snapshot, ProcessEntry& entry) {
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    if (!step(ToHandle(snapshot), &pe)) return false;
    entry = ToEntry(pe);
    return true;
}

}  // namespace

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
    return FromHandle(::CreateToolhelp32Snapshot(flags, processId.value()));
}

bool Win32Desktop::Process32First(Handle snapshot, ProcessEntry& entry) {
    return SnapshotStep(::Process32First, snapshot, entry);
}

bool Win32Desktop::Process32Next(Handle snapshot, ProcessEntry& entry) {
    return SnapshotStep(::Process32Next, snapshot, entry);
}

bool Win32Desktop::EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) {
    std::vector<DWORD> read(bytes / sizeof(DWORD));
    DWORD got = 0;
    const BOOL ok = ::K32EnumProcesses(read.data(), static_cast<DWORD>(read.size() * sizeof(DWORD)), &got);
    for (std::size_t i = 0; i < got / sizeof(DWORD); ++i) ids[i] = Pid{read[i]};
    *bytesReturned = got;
    return ok != FALSE;
}

Handle Win32Desktop::OpenProcess(std::uint32_t access, bool inheritHandle, Pid processId) {
    return FromHandle(::OpenProcess(access, inheritHandle, processId.value()));
}

bool Win32Desktop::ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(processId.value(), &session)) return false;
    *sessionId = session;
    return true;
}

Pid Win32Desktop::GetCurrentProcessId() { return Pid{::GetCurrentProcessId()}; }

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
    info.processId = Pid{pi.dwProcessId};
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

int Win32Desktop::GetSystemMetrics(int index) {
    return ::GetSystemMetrics(index);
}

bool Win32Desktop::SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) {
    return ::SetProcessShutdownParameters(level, flags) != FALSE;
}

}  // namespace hw::platform::win32
