// Simulated processes: handles with their access rights, integrity
// levels, programs launched from their files, what each process uses.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace hw::platform::sim {

namespace {
// The program of a command line: the quoted first token, or up to the
// first blank.
std::string ProgramOf(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}
}  // namespace

void SimDesktop::InstallProgram(const std::string& path, ProgramSpec spec) {
    WriteFile(path, "MZ");
    programs_[text::Upper(path)] = std::move(spec);
}

Pid SimDesktop::AddProcess(const std::string& imagePath, bool alive) {
    SimProcess p;
    p.pid = nextPid_;
    nextPid_ = Pid{nextPid_.value() + 4};
    p.imagePath = imagePath;
    p.alive = alive;
    p.createdAtMs = NowMs();
    p.createdFileTime = GetSystemTimeAsFileTime();
    processes_.push_back(p);
    return p.pid;
}

SimProcess* SimDesktop::FindProcess(Pid pid) {
    for (SimProcess& p : processes_)
        if (p.pid == pid) return &p;
    return nullptr;
}

void SimDesktop::KillProcess(Pid pid, std::uint32_t exitCode) {
    SimProcess* p = FindProcess(pid);
    if (!p || !p->alive) return;
    p->alive = false;
    p->exitCode = exitCode;
    p->endedAtMs = NowMs();
    p->memory.clear();
    p->lateSends.clear();
    std::vector<Hwnd> gone;
    for (auto& [h, w] : windows_)
        if (w.owner == pid && !Window(w.parent)) gone.push_back(h);
    for (Hwnd h : gone) DestroyWindow(h);
    // Work the program had scheduled dies with it.
    work_.erase(std::remove_if(work_.begin(), work_.end(), [pid](const Work& w) { return w.owner == pid; }),
                work_.end());
}

Handle SimDesktop::NewHandle(HandleEntry entry) {
    Handle h = nextHandle_;
    nextHandle_ = Handle{nextHandle_.value() + 4};
    handles_.emplace(h, std::move(entry));
    return h;
}

SimDesktop::HandleEntry* SimDesktop::FindHandle(Handle h) {
    auto it = handles_.find(h);
    return it == handles_.end() ? nullptr : &it->second;
}

SimProcess* SimDesktop::ProcessOf(Handle h) {
    HandleEntry* e = FindHandle(h);
    return e && e->kind != HandleEntry::Snapshot ? FindProcess(e->pid) : nullptr;
}

SimProcess* SimDesktop::ProcessWith(Handle h, std::uint32_t all, std::uint32_t any) {
    HandleEntry* e = FindHandle(h);
    if (!e || e->kind == HandleEntry::Snapshot) {
        Fail(err::kInvalidHandle);
        return nullptr;
    }
    if ((e->access & all) != all || (any && !(e->access & any))) {
        Fail(err::kAccessDenied);
        return nullptr;
    }
    return FindProcess(e->pid);
}

std::uint32_t SimDesktop::IntegrityOf(Pid pid) const {
    for (const SimProcess& p : processes_)
        if (p.pid == pid) return p.integrity;
    return proc::kIntegrityMedium;
}

void SimDesktop::SetIntegrity(Pid pid, std::uint32_t level) {
    if (SimProcess* p = FindProcess(pid)) p->integrity = level;
}

Handle SimDesktop::CreateToolhelp32Snapshot(std::uint32_t flags, Pid) {
    if (!(flags & proc::kSnapProcess)) return kInvalidHandle;
    HandleEntry e{HandleEntry::Snapshot};
    for (const SimProcess& p : processes_)
        if (p.alive) e.snapshot.push_back({p.pid, p.imagePath});
    return NewHandle(std::move(e));
}

bool SimDesktop::Process32First(Handle snapshot, ProcessEntry& entry) {
    HandleEntry* e = FindHandle(snapshot);
    if (!e || e->kind != HandleEntry::Snapshot) return Fail(err::kInvalidHandle);
    e->cursor = 0;
    return Process32Next(snapshot, entry);
}

bool SimDesktop::Process32Next(Handle snapshot, ProcessEntry& entry) {
    HandleEntry* e = FindHandle(snapshot);
    if (!e || e->kind != HandleEntry::Snapshot) return Fail(err::kInvalidHandle);
    if (e->cursor >= e->snapshot.size()) return Fail(18 /* ERROR_NO_MORE_FILES */);
    entry = e->snapshot[e->cursor++];
    return true;
}

bool SimDesktop::EnumProcesses(Pid* ids, std::uint32_t bytes, std::uint32_t* bytesReturned) {
    if (!ids || !bytesReturned) return Fail(998 /* ERROR_NOACCESS */);
    std::uint32_t n = 0;
    for (const SimProcess& p : processes_) {
        if (!p.alive) continue;
        if ((n + 1) * 4 > bytes) break;
        ids[n++] = p.pid;
    }
    *bytesReturned = n * 4;
    return true;
}

Handle SimDesktop::OpenProcess(std::uint32_t access, bool, Pid processId) {
    if (beforeOpenProcess) beforeOpenProcess(processId);
    SimProcess* p = FindProcess(processId);
    if (!p || !p->alive) {
        Fail(err::kInvalidParameter);
        return 0;
    }
    if (!p->openable || access == 0) {
        Fail(access == 0 ? err::kInvalidParameter : err::kAccessDenied);
        return 0;
    }
    // A process of a higher integrity level grants a lower one no more than
    // to ask its name and wait for its end (no read up, no write up).
    constexpr std::uint32_t kGrantedUp = proc::kQueryLimitedInformation | proc::kSynchronize;
    if (p->integrity > IntegrityOf(ownPid_) && (access & ~kGrantedUp)) {
        Fail(err::kAccessDenied);
        return 0;
    }
    // The full query right implies the limited one.
    if (access & proc::kQueryInformation) access |= proc::kQueryLimitedInformation;
    HandleEntry e{HandleEntry::Process, processId};
    e.access = access;
    return NewHandle(std::move(e));
}

bool SimDesktop::ProcessIdToSessionId(Pid processId, std::uint32_t* sessionId) {
    const SimProcess* p = FindProcess(processId);
    if (!p || !p->alive) {
        Fail(err::kInvalidParameter);
        return false;
    }
    // It takes the full query right on the process: another user's process,
    // or one of a higher integrity level, does not tell.
    if (!p->openable || p->integrity > IntegrityOf(ownPid_)) {
        Fail(err::kAccessDenied);
        return false;
    }
    *sessionId = p->session;
    return true;
}

bool SimDesktop::EnumProcessModules(Handle process, std::vector<std::uint64_t>& modules,
                                    std::uint32_t maxModules) {
    modules.clear();
    SimProcess* p = ProcessWith(process, proc::kQueryInformation | proc::kVmRead);
    if (!p) return false;
    if (!p->alive || !p->hasModules) return Fail(299 /* ERROR_PARTIAL_COPY */);
    // A buffer too small for one module still succeeds; it just holds none.
    if (maxModules > 0) modules.push_back(0x400000);  // the program file's module
    return true;
}

bool SimDesktop::GetProcessTimes(Handle process, ProcessTimes& times) {
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    // An ended process still tells its times through a handle kept open.
    const std::uint64_t until = p->alive ? nowMs_ : p->endedAtMs;
    const std::uint64_t ran = until > p->createdAtMs ? until - p->createdAtMs : 0;
    const std::uint64_t busyMs = p->cpuMs + static_cast<std::uint64_t>(p->cpuShare * static_cast<double>(ran));
    times.creation = p->createdFileTime;
    times.exit = p->alive ? 0 : p->createdFileTime + ran * 10000;
    times.kernel = busyMs / 10 * 10000;
    times.user = (busyMs - busyMs / 10) * 10000;
    return true;
}

bool SimDesktop::GetProcessMemoryInfo(Handle process, ProcessMemory& memory) {
    SimProcess* p = ProcessWith(process, proc::kVmRead, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    if (p->memoryUnreadable) return Fail(err::kAccessDenied);
    // An ended process has given its memory back.
    memory.privateUsage = p->alive ? p->privateBytes : 0;
    memory.workingSetSize = p->alive ? p->privateBytes / 2 : 0;
    return true;
}

bool SimDesktop::GetProcessHandleCount(Handle process, std::uint32_t* count) {
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    if (!count) return Fail(err::kInvalidParameter);
    *count = p->alive ? p->handleCount : 0;
    return true;
}

std::uint32_t SimDesktop::GetModuleFileNameEx(Handle process, std::uint64_t, char* name,
                                              std::uint32_t size) {
    SimProcess* p = ProcessWith(process, proc::kVmRead, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return 0;
    if (!p->alive) return Fail(299), 0;
    if (size == 0 || !name) return Fail(err::kInvalidParameter), 0;
    auto n = static_cast<std::uint32_t>(std::min<size_t>(p->imagePath.size(), size - 1));
    std::memcpy(name, p->imagePath.data(), n);
    name[n] = 0;
    return n;
}

bool SimDesktop::QueryFullProcessImageName(Handle process, std::string& path) {
    path.clear();
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    if (!p->alive) return Fail(31 /* ERROR_GEN_FAILURE */);
    path = p->imagePath;
    return true;
}

bool SimDesktop::CloseHandle(Handle handle) {
    return handles_.erase(handle) != 0 || Fail(err::kInvalidHandle);
}

bool SimDesktop::CreateProcess(const std::string& commandLine, const std::string& directory,
                               const LaunchOptions&, ProcessInformation& info) {
    const std::string program = ProgramOf(commandLine);
    auto it = programs_.find(text::Upper(program));
    if (it == programs_.end()) return Fail(HasFile(program) ? 193 /* ERROR_BAD_EXE_FORMAT */ : err::kFileNotFound);
    const ProgramSpec& spec = it->second;
    Pid pid = AddProcess(program);
    SimProcess* p = FindProcess(pid);
    p->commandLine = commandLine;
    p->currentDirectory = directory;
    p->is32Bit = spec.is32Bit;
    p->integrity = IntegrityOf(ownPid_);  // a child runs at its parent's level
    p->idleAtMs = nowMs_ + spec.idleAfterMs;
    p->neverIdle = spec.neverIdle;
    info.processId = pid;
    constexpr std::uint32_t kAllAccess = 0x001FFFFF;
    info.process = NewHandle({HandleEntry::Process, pid, kAllAccess});
    info.thread = NewHandle({HandleEntry::Thread, pid, kAllAccess});
    if (spec.onStart) spec.onStart(*this, pid);
    return true;
}

std::uint32_t SimDesktop::WaitForInputIdle(Handle process, std::uint32_t milliseconds) {
    // Checked under Wine: the limited query right is not enough.
    SimProcess* p = ProcessWith(process, proc::kQueryInformation);
    if (!p) return proc::kWaitFailed;
    auto idle = [&] {
        SimProcess* q = ProcessOf(process);
        return q && q->alive && !q->neverIdle && nowMs_ >= q->idleAtMs;
    };
    if (idle()) return 0;
    if (!p->alive) return Fail(err::kInvalidParameter), proc::kWaitFailed;
    if (milliseconds == 0) return proc::kWaitTimeout;
    std::uint64_t until = milliseconds == proc::kInfinite ? ~0ull : nowMs_ + milliseconds;
    if (!p->neverIdle) until = std::min(until, std::max(p->idleAtMs, nowMs_));
    if (until == ~0ull) return proc::kWaitTimeout;  // would block forever
    MoveClockTo(until, false);
    return idle() ? 0 : proc::kWaitTimeout;
}

std::uint32_t SimDesktop::WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    SimProcess* p = ProcessWith(handle, proc::kSynchronize);
    if (!p) return proc::kWaitFailed;
    if (!p->alive) return proc::kWaitObject0;
    if (milliseconds == 0) return proc::kWaitTimeout;
    if (milliseconds == proc::kInfinite) return proc::kWaitTimeout;  // would block forever
    MoveClockTo(nowMs_ + milliseconds, false);
    p = ProcessOf(handle);
    return p && !p->alive ? proc::kWaitObject0 : proc::kWaitTimeout;
}

bool SimDesktop::GetExitCodeProcess(Handle process, std::uint32_t* exitCode) {
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    if (!exitCode) return Fail(998 /* ERROR_NOACCESS */);
    *exitCode = p->alive ? 259u : p->exitCode;
    return true;
}

bool SimDesktop::TerminateProcess(Handle process, std::uint32_t exitCode) {
    SimProcess* p = ProcessWith(process, proc::kTerminate);
    if (!p) return false;
    if (!p->alive) return Fail(err::kAccessDenied);  // as Windows answers for one that has ended
    KillProcess(p->pid, exitCode);
    return true;
}

bool SimDesktop::SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) {
    if (level < session::kLowestShutdownLevel || level > session::kHighestShutdownLevel ||
        (flags & ~session::kShutdownNoRetry))
        return Fail(err::kInvalidParameter);
    ownShutdownLevel_ = level;
    return true;
}

}  // namespace hw::platform::sim
