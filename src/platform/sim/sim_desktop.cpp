#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <optional>
#include <tuple>

#include "common/datetime.h"
#include "common/sddl.h"
#include "common/text.h"

namespace hw::platform::sim {

namespace {
constexpr std::int64_t kMsPerDay = 86400000;

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

SimDesktop::SimDesktop()
    : hklm_(std::make_unique<RegNode>()), hkcu_(std::make_unique<RegNode>()),
      hkcr_(std::make_unique<RegNode>()) {
    // A machine with a system process nobody may open, the shell, and
    // Harrowatch itself.
    Pid system = AddProcess("System");
    FindProcess(system)->openable = false;
    AddProcess("C:\\Windows\\explorer.exe");
    SetOwnModuleFileName("C:\\Program Files\\Harrowatch\\Harrowatch.exe");
    SetEnvironment("SystemRoot", "C:\\Windows");
    SetEnvironment("TEMP", "C:\\Windows\\Temp");
    SetEnvironment("ProgramData", "C:\\ProgramData");
    MakeFolder("C:\\ProgramData");
    MakeFolder("C:\\Windows\\Temp");
    SetStartTime({2026, 12, 6, 9, 0, 0, 0});
    desktopWindow_ = CreateWindow(system, "#32769", "", 0);
    shellPid_ = processes_[1].pid;
    taskbar_ = CreateWindow(shellPid_, "Shell_TrayWnd", "", 0);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::SetOwnModuleFileName(std::string path) {
    ownModule_ = std::move(path);
    if (!HasFile(ownModule_)) WriteFile(ownModule_, "MZ");
    if (SimProcess* own = FindProcess(ownPid_)) {
        own->imagePath = ownModule_;
    } else {
        ownPid_ = AddProcess(ownModule_);
        FindProcess(ownPid_)->is32Bit = false;
        // The manifest asks for administrator rights.
        FindProcess(ownPid_)->integrity = proc::kIntegrityHigh;
    }
}

void SimDesktop::SetStartTime(const LocalTime& t) {
    startDays_ = datetime::DaysFromCivil(t.year, t.month, t.day);
    startMsOfDay_ = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000LL + t.millisecond;
    startMsOfDay_ -= static_cast<std::int64_t>(nowMs_);
}

LocalTime SimDesktop::GetLocalTime() {
    std::int64_t total = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(nowMs_);
    std::int64_t days = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
    std::int64_t ms = total - days * kMsPerDay;
    datetime::Date d = datetime::CivilFromDays(days);
    LocalTime t;
    t.year = d.year;
    t.month = d.month;
    t.day = d.day;
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

void SimDesktop::SetEnvironment(const std::string& name, const std::string& value) {
    environment_[text::Upper(name)] = value;
}

// --- Files -----------------------------------------------------------------

namespace {
// The folder a path is in, upper-cased, without its trailing backslash.
std::string FolderKey(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : text::Upper(path.substr(0, cut));
}
}  // namespace

std::string SimDesktop::FolderKeyOf(const std::string& path) {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

long SimDesktop::MayCreateIn(const std::string& path) const {
    const std::string parent = Resolve(FolderKey(FolderKeyOf(path)), true);
    if (!folders_.count(parent)) return err::kPathNotFound;
    if (readOnlyFolders_.count(parent)) return err::kAccessDenied;
    if (const auto held = openFolders_.find(parent); held != openFolders_.end() && !held->second)
        return err::kSharingViolation;
    return err::kSuccess;
}

long SimDesktop::CreateDirectory(const std::string& path, const std::string& sddl) {
    const std::string key = Resolve(path, false);
    if (folders_.count(key) || files_.count(key)) return err::kAlreadyExists;
    if (long e = MayCreateIn(key)) return e;
    if (!sddl.empty()) {
        const std::optional<sddl::Descriptor> d = sddl::Parse(sddl);
        if (!d) return err::kInvalidParameter;
        if (d->owner != "" && d->owner != (Elevated() ? "BA" : kUserSid)) return err::kInvalidOwner;
        security_[key] = sddl;
    }
    owners_[key] = Elevated() ? "BA" : kUserSid;
    folders_.insert(key);
    spelled_.emplace(key, path);
    return err::kSuccess;
}

long SimDesktop::RemoveDirectory(const std::string& path) {
    const std::string key = Resolve(path, false);
    if (!folders_.count(key)) return err::kFileNotFound;
    if (openFolders_.count(key)) return err::kSharingViolation;
    if (junctions_.erase(key)) {  // the link goes, not what it leads to
        folders_.erase(key);
        return err::kSuccess;
    }
    for (const auto& [f, content] : files_)
        if (FolderKey(f) == key) return err::kDirNotEmpty;
    for (const std::string& f : folders_)
        if (f != key && FolderKey(f) == key) return err::kDirNotEmpty;
    folders_.erase(key);
    return err::kSuccess;
}

long SimDesktop::AppendFile(const std::string& path, const std::string& bytes) {
    const std::string key = Resolve(path, false);
    TakeFileCallTime(key);
    if (junctions_.count(key)) return err::kReparsePoint;
    if (folders_.count(key)) return err::kAccessDenied;
    if (!files_.count(key))
        if (long e = MayCreateIn(key)) return e;
    if (readOnly_.count(key) || HeldElsewhere(key)) return readOnly_.count(key) ? err::kAccessDenied : err::kSharingViolation;
    if (!Fits(bytes.size())) return err::kDiskFull;
    files_[key] += bytes;
    lastWrite_[key] = FileTimeNow();
    spelled_.emplace(key, path);
    ShareContent(key);
    return err::kSuccess;
}

long SimDesktop::CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    const std::string source = Resolve(from, true), target = Resolve(to, false);
    if (junctions_.count(target)) return err::kReparsePoint;
    auto it = files_.find(source);
    if (it == files_.end()) return HasFolder(FolderKey(source)) ? err::kFileNotFound : err::kPathNotFound;
    if (locked_[source]) return err::kSharingViolation;
    if (rangeLocked_.count(source)) return err::kLockViolation;
    if (files_.count(target)) {
        if (failIfExists) return err::kFileExists;
        if (readOnly_.count(target)) return err::kAccessDenied;
    } else if (long e = MayCreateIn(target)) {
        return e;
    }
    const auto old = files_.find(target);
    const std::uint64_t had = old == files_.end() ? 0 : old->second.size();
    if (it->second.size() > had && !Fits(it->second.size() - had)) return err::kDiskFull;
    files_[target] = it->second;
    lastWrite_[target] = lastWrite_[source];
    spelled_.emplace(target, to);
    ShareContent(target);
    TakeCopyTime(it->second.size());
    return err::kSuccess;
}

void SimDesktop::TakeFileCallTime(const std::string& key) {
    const auto slow = slowFolders_.find(FolderKey(key));
    if (slow == slowFolders_.end()) return;
    if (onWorker_)
        workerClock_ += slow->second;
    else
        MoveClockTo(nowMs_ + slow->second, false);
}

long SimDesktop::MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) {
    const std::string source = Resolve(from, false), target = Resolve(to, false);
    TakeFileCallTime(target);
    if (folders_.count(source)) return MoveFolder(source, target, to);
    auto it = files_.find(source);
    if (it == files_.end()) return HasFolder(FolderKey(source)) ? err::kFileNotFound : err::kPathNotFound;
    // A file open elsewhere cannot be moved, nor one replaced while it is;
    // a read-only file is not replaced.
    if (HeldElsewhere(source)) return err::kSharingViolation;
    if (source == target) return err::kSuccess;
    if (files_.count(target)) {
        if (!(flags & file::kMoveReplaceExisting)) return err::kAlreadyExists;
        if (readOnly_.count(target) || HeldElsewhere(target)) return err::kAccessDenied;
    } else if (folders_.count(target)) {
        return err::kAccessDenied;
    } else if (long e = MayCreateIn(target)) {
        return e;
    }
    // Renaming needs a folder that takes changes, the source's as well.
    if (long e = MayCreateIn(source)) return e;
    DropName(target);
    if (const auto names = hardLinks_.find(source); names != hardLinks_.end()) {
        names->second->erase(source);
        names->second->insert(target);
        hardLinks_[target] = names->second;
        hardLinks_.erase(source);
    }
    if (const auto link = junctions_.find(source); link != junctions_.end()) {
        junctions_[target] = link->second;
        junctions_.erase(source);
    }
    if (const auto tag = reparseTags_.find(source); tag != reparseTags_.end()) {
        reparseTags_[target] = tag->second;
        reparseTags_.erase(source);
    }
    files_[target] = std::move(it->second);
    files_.erase(source);
    lastWrite_[target] = lastWrite_[source];  // a rename keeps the file's times
    lastWrite_.erase(source);
    locked_.erase(source);
    openForReading_.erase(source);
    rangeLocked_.erase(source);
    spelled_.erase(target);
    spelled_.emplace(target, to);
    ++moves_;
    return err::kSuccess;
}

std::uint64_t SimDesktop::FileTimeNow() {
    constexpr std::int64_t kMsFrom1601To1970 = 11644473600000;
    const std::uint64_t clock = onWorker_ ? std::max(workerClock_, nowMs_) : nowMs_;
    const std::int64_t local = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(clock);
    return static_cast<std::uint64_t>(local - utcOffsetMinutes_ * 60000LL + kMsFrom1601To1970) * 10000;
}

long SimDesktop::ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    if (junctions_.count(Resolve(folder, false))) return err::kReparsePoint;
    const std::string key = Resolve(folder, true);
    if (!folders_.count(key)) return err::kPathNotFound;
    auto nameOf = [this](const std::string& key) {
        auto it = spelled_.find(key);
        const std::string& path = it == spelled_.end() ? key : it->second;
        std::string name = path.substr(path.find_last_of('\\') + 1);
        return name.empty() ? key.substr(key.find_last_of('\\') + 1) : name;
    };
    for (const auto& [f, content] : files_)
        if (FolderKey(f) == key) names.push_back(nameOf(f));
    for (const std::string& f : folders_)
        if (f != key && FolderKey(f) == key) names.push_back(nameOf(f));
    return err::kSuccess;
}

long SimDesktop::GetFileSize(const std::string& path, std::uint64_t& size) {
    const std::string key = Resolve(path, false);
    const auto it = files_.find(key);
    if (it != files_.end()) {
        size = it->second.size();
        return err::kSuccess;
    }
    if (HasFolder(key)) {
        size = 0;
        return err::kSuccess;
    }
    return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
}

long SimDesktop::GetFileAttributesEx(const std::string& path, FileAttributes& attributes) {
    if (fileFault)
        if (const long e = fileFault("attributes", path)) return e;
    const std::string key = Resolve(path, false);
    if (files_.count(key)) {
        attributes = {false, files_[key].size(), lastWrite_[key]};
        return err::kSuccess;
    }
    if (HasFolder(key)) {
        attributes = {true, 0, 0};
        return err::kSuccess;
    }
    return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
}

std::uint64_t SimDesktop::DiskUsed() const {
    std::uint64_t used = 0;
    for (const auto& [path, content] : files_) used += content.size();
    return used;
}

std::string SimDesktop::AnsiToUtf8(const std::string& ansi) {
    // Windows-1252's 0x80-0x9F; the five it leaves undefined map to the C1
    // controls of the same number. The rest is Latin-1.
    static constexpr char16_t k80To9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        const char32_t u = c >= 0x80 && c <= 0x9F ? k80To9F[c - 0x80] : c;
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string SimDesktop::FileContent(const std::string& path) const {
    auto it = files_.find(text::Upper(path));
    return it == files_.end() ? std::string() : it->second;
}

void SimDesktop::MakeFolder(const std::string& path) {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    for (; !folder.empty(); folder = FolderKey(folder)) folders_.insert(folder);
}

bool SimDesktop::HasFolder(const std::string& path) const {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folders_.count(folder) != 0;
}

void SimDesktop::WriteFile(const std::string& path, std::string content) {
    MakeFolder(FolderKey(path));
    files_[text::Upper(path)] = std::move(content);
    lastWrite_[text::Upper(path)] = FileTimeNow();
    spelled_.emplace(text::Upper(path), path);
    ShareContent(text::Upper(path));
}

bool SimDesktop::HasFile(const std::string& path) const {
    return files_.count(Resolve(path, true)) != 0;
}

void SimDesktop::SetFileLocked(const std::string& path, bool locked) {
    locked_[text::Upper(path)] = locked;
}

void SimDesktop::SetFileOpenForReading(const std::string& path, bool open) {
    if (open)
        openForReading_.insert(text::Upper(path));
    else
        openForReading_.erase(text::Upper(path));
}

void SimDesktop::SetFolderOpenElsewhere(const std::string& path, bool open, bool sharesWrite) {
    if (open)
        openFolders_[FolderKeyOf(path)] = sharesWrite;
    else
        openFolders_.erase(FolderKeyOf(path));
}

void SimDesktop::SetFileRangeLocked(const std::string& path, bool locked) {
    if (locked)
        rangeLocked_.insert(text::Upper(path));
    else
        rangeLocked_.erase(text::Upper(path));
}

void SimDesktop::InstallProgram(const std::string& path, ProgramSpec spec) {
    WriteFile(path, "MZ");
    programs_[text::Upper(path)] = std::move(spec);
}

std::vector<std::string> SimDesktop::FilesUnder(const std::string& folder) const {
    std::string prefix = text::Upper(folder);
    if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
    std::vector<std::string> found;
    for (auto it = files_.lower_bound(prefix); it != files_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const auto spelled = spelled_.find(it->first);
        found.push_back(spelled != spelled_.end() ? spelled->second : it->first);
    }
    return found;
}

long SimDesktop::DeleteFile(const std::string& path) {
    const std::string key = Resolve(path, false);
    TakeFileCallTime(key);
    if (folders_.count(key)) return err::kAccessDenied;  // a folder, or a junction: no file to delete
    if (!files_.count(key)) return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
    if (readOnly_.count(key)) return err::kAccessDenied;
    if (HeldElsewhere(key)) return err::kSharingViolation;
    for (const SimProcess& p : processes_)
        if (p.alive && text::Upper(p.imagePath) == key) return err::kAccessDenied;
    if (beforeDeleteFile) beforeDeleteFile(path);
    files_.erase(key);
    DropName(key);
    return err::kSuccess;
}

// --- Processes ---------------------------------------------------------------

Pid SimDesktop::AddProcess(const std::string& imagePath, bool alive) {
    SimProcess p;
    p.pid = nextPid_;
    nextPid_ += 4;
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

std::uint64_t SimDesktop::GetSystemTimeAsFileTime() {
    constexpr std::int64_t kMsFrom1601To1970 = 11644473600000LL;
    const std::int64_t utcMs = startDays_ * kMsPerDay + startMsOfDay_ + static_cast<std::int64_t>(nowMs_) -
                               std::int64_t{utcOffsetMinutes_} * 60000;
    return static_cast<std::uint64_t>(utcMs + kMsFrom1601To1970) * 10000;
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

// --- Clock and work ------------------------------------------------------------

void SimDesktop::ScheduleAt(std::uint64_t atMs, Pid owner, std::function<void()> work) {
    work_.push_back({std::max(atMs, nowMs_), workSeq_++, owner, std::move(work)});
}

void SimDesktop::RunDue(bool includeOwn) {
    for (;;) {
        // As Windows: a timer's tick is a low-priority message, made only
        // when nothing else waits for its program (input posted after the
        // tick fell due still comes first).
        auto best = work_.end();
        for (auto it = work_.begin(); it != work_.end(); ++it) {
            if (it->atMs > nowMs_ || (!includeOwn && it->owner == ownPid_) || IsHung(it->owner)) continue;
            if (best == work_.end() || std::tie(it->atMs, it->seq) < std::tie(best->atMs, best->seq)) best = it;
        }
        if (best != work_.end() && best->timer) {
            // The same program's other work due now goes first.
            auto other = work_.end();
            for (auto it = work_.begin(); it != work_.end(); ++it)
                if (!it->timer && it->owner == best->owner && it->atMs <= nowMs_ &&
                    (other == work_.end() || std::tie(it->atMs, it->seq) < std::tie(other->atMs, other->seq)))
                    other = it;
            if (other != work_.end()) best = other;
        }
        if (best == work_.end()) return;
        auto fn = std::move(best->fn);
        work_.erase(best);
        fn();
    }
}

void SimDesktop::MoveClockTo(std::uint64_t target, bool includeOwn) {
    for (;;) {
        std::uint64_t next = target;
        // Work of a hung program waits for it to pick up again (below).
        for (const Work& w : work_)
            if ((includeOwn || w.owner != ownPid_) && w.atMs < next && !IsHung(w.owner))
                next = std::max(w.atMs, nowMs_);
        for (const SimProcess& p : processes_)  // a hung program picks up again
            if (p.alive && p.hungUntilMs > nowMs_ && p.hungUntilMs < next) next = p.hungUntilMs;
        nowMs_ = std::max(nowMs_, next);
        RunDue(includeOwn);
        if (nowMs_ >= target) return;
    }
}

void SimDesktop::Sleep(std::uint32_t milliseconds) {
    // The worker thread sleeps on its own: Harrowatch's thread goes on.
    if (onWorker_) {
        workerClock_ += milliseconds;
        return;
    }
    sleptMs_ += milliseconds;
    MoveClockTo(nowMs_ + milliseconds, false);
}

void SimDesktop::DoEvents() {
    ++yields_;
    RunDue(true);
}

void SimDesktop::AdvanceIdle(std::uint64_t ms) { MoveClockTo(nowMs_ + ms, true); }

}  // namespace hw::platform::sim

namespace hw::platform::sim {

std::uint32_t SimDesktop::SetTimer(std::uint32_t milliseconds, std::function<void()> tick) {
    const std::uint32_t id = nextTimer_++;
    timers_[id] = std::move(tick);
    ArmTimer(id, std::max<std::uint32_t>(milliseconds, 10));
    return id;
}

void SimDesktop::KillTimer(std::uint32_t id) {
    timers_.erase(id);
    std::erase_if(work_, [id](const Work& w) { return w.timer == id; });
}

void SimDesktop::ArmTimer(std::uint32_t id, std::uint32_t milliseconds) {
    // A tick is due work of Harrowatch's own: it runs when Harrowatch yields.
    ScheduleAfter(milliseconds, ownPid_, [this, id, milliseconds] {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        ArmTimer(id, milliseconds);
        auto tick = it->second;  // the tick may kill its timer
        // As Windows: nothing crosses back out of a timer procedure.
        try {
            tick();
        } catch (const std::exception& e) {
            callbackErrors_.push_back(e.what());
        } catch (...) {
            callbackErrors_.push_back("unknown exception");
        }
    });
    work_.back().timer = id;
}

}  // namespace hw::platform::sim

namespace hw::platform::sim {

// The worker thread: its jobs run one after another, each when the one
// before has finished, while Harrowatch's own thread goes on (a sleep of
// Harrowatch's lets them run, as a real thread would). `done` waits for
// Harrowatch's message loop.
void SimDesktop::RunInBackground(std::function<void(Desktop& worker)> work, std::function<void()> done,
                                 WorkLane lane) {
    const int l = static_cast<int>(lane);
    const Pid worker = static_cast<Pid>(1 + l);
    ScheduleAt(std::max(nowMs_, laneClocks_[l]), worker, [this, l, work = std::move(work), done = std::move(done)] {
        workerClock_ = std::max(laneClocks_[l], nowMs_);
        onWorker_ = true;
        try {
            work(*this);
        } catch (...) {
            callbackErrors_.push_back("background work threw");
        }
        onWorker_ = false;
        laneClocks_[l] = workerClock_;
        ScheduleAt(workerClock_, ownPid_, done);
    });
}

long SimDesktop::HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                          std::uint32_t* status) {
    // A call that blocks for seconds has no place on the interface thread.
    if (!onWorker_) callbackErrors_.push_back("HttpPost on the interface thread");
    constexpr long kInvalidUrl = 12005, kUnrecognizedScheme = 12006, kCannotConnect = 12029, kTimeout = 12002;
    std::string lower = url;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t start = 0;
    if (lower.rfind("http://", 0) == 0) start = 7;
    else if (lower.rfind("https://", 0) == 0) start = 8;
    else return lower.find("://") == std::string::npos ? kInvalidUrl : kUnrecognizedScheme;
    const std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    const std::string host = authority.substr(0, authority.find(':'));
    if (host.empty()) return kInvalidUrl;
    if (authority.find(':') != std::string::npos) {
        const std::string port = authority.substr(authority.find(':') + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) == 0 || std::stoi(port) > 65535)
            return kInvalidUrl;
    }
    const HttpPosted posted{url, body, workerClock_};
    httpPosts_.push_back(posted);
    const HttpAnswer answer = httpServer ? httpServer(posted) : HttpAnswer{kCannotConnect, 0, 0};
    if (answer.delayMs > timeoutMs) {
        workerClock_ += timeoutMs;
        return kTimeout;
    }
    workerClock_ += answer.delayMs;
    if (answer.error) return answer.error;
    if (status) *status = answer.status;
    return 0;
}

}  // namespace hw::platform::sim
