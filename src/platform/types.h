// Plain values that cross the OS facade. They carry the Win32 meanings and
// numbers so that the system's code reads like the calls it stands for.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace hw::platform {

// A handle of one kind, 0 for none. Each kind is a type of its own, so a
// window handle is not taken where a process handle is expected. None (0, as
// NULL is written) converts to any of them; a value read from the OS, or any
// other number such as a process id, is made one only by naming the kind.
template <class Kind>
class HandleOf {
public:
    constexpr HandleOf() = default;
    constexpr HandleOf(std::nullptr_t) {}
    constexpr explicit HandleOf(std::uint64_t value) : v_(value) {}
    constexpr std::uint64_t value() const { return v_; }
    constexpr explicit operator bool() const { return v_ != 0; }
    friend constexpr bool operator==(HandleOf, HandleOf) = default;
    friend constexpr auto operator<=>(HandleOf, HandleOf) = default;
    friend std::ostream& operator<<(std::ostream& out, HandleOf h) { return out << "0x" << std::hex << h.v_ << std::dec; }

private:
    std::uint64_t v_ = 0;
};

using Hwnd = HandleOf<struct WindowKind>;   // window handle
using Handle = HandleOf<struct KernelKind>; // kernel object handle
using HKey = HandleOf<struct KeyKind>;      // registry key handle (predefined roots sign-extended)
using HMenu = HandleOf<struct MenuKind>;    // menu handle

// A process id, 0 for none. Not a handle, and not a count: a plain number is
// made one, and one is made a number, only by naming it.
class Pid {
public:
    constexpr Pid() = default;
    constexpr Pid(std::nullptr_t) {}
    constexpr explicit Pid(std::uint32_t value) : v_(value) {}
    constexpr std::uint32_t value() const { return v_; }
    constexpr explicit operator bool() const { return v_ != 0; }
    friend constexpr bool operator==(Pid, Pid) = default;
    friend constexpr auto operator<=>(Pid, Pid) = default;
    friend std::ostream& operator<<(std::ostream& out, Pid p) { return out << p.v_; }

private:
    std::uint32_t v_ = 0;
};

constexpr Handle kInvalidHandle{~std::uint64_t{0}};

// An address in another process, 0 for none. Not a number of this process:
// it is only handed to the calls that reach that process's memory, and a
// count or a handle is not taken for one.
class RemoteAddress {
public:
    constexpr RemoteAddress() = default;
    constexpr RemoteAddress(std::nullptr_t) {}
    constexpr explicit RemoteAddress(std::uint64_t value) : v_(value) {}
    constexpr std::uint64_t value() const { return v_; }
    constexpr explicit operator bool() const { return v_ != 0; }
    // The address `offset` bytes further on.
    friend constexpr RemoteAddress operator+(RemoteAddress a, std::uint64_t offset) { return RemoteAddress{a.v_ + offset}; }
    constexpr RemoteAddress& operator+=(std::uint64_t offset) { return v_ += offset, *this; }
    // How many bytes `a` lies past `b`.
    friend constexpr std::uint64_t operator-(RemoteAddress a, RemoteAddress b) { return a.v_ - b.v_; }
    friend constexpr bool operator==(RemoteAddress, RemoteAddress) = default;
    friend constexpr auto operator<=>(RemoteAddress, RemoteAddress) = default;
    friend std::ostream& operator<<(std::ostream& out, RemoteAddress a) { return out << "0x" << std::hex << a.v_ << std::dec; }

private:
    std::uint64_t v_ = 0;
};

// Predefined root keys as the 32-bit signed values a caller stores, widened
// the way Windows widens them for a 64-bit handle.
constexpr HKey RootKey(std::int32_t classKey) {
    return HKey{static_cast<std::uint64_t>(static_cast<std::int64_t>(classKey))};
}
constexpr std::int32_t kHkeyClassesRootValue = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHkeyCurrentUserValue = static_cast<std::int32_t>(0x80000001u);
constexpr std::int32_t kHkeyLocalMachineValue = static_cast<std::int32_t>(0x80000002u);
constexpr HKey kHkeyClassesRoot = RootKey(kHkeyClassesRootValue);
constexpr HKey kHkeyCurrentUser = RootKey(kHkeyCurrentUserValue);
constexpr HKey kHkeyLocalMachine = RootKey(kHkeyLocalMachineValue);

// Win32 error codes used across the facade.
namespace err {
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kPathNotFound = 3;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kSharingViolation = 32;
// A read or write of bytes another program has locked (LockFile).
constexpr long kLockViolation = 33;
constexpr long kFileExists = 80;
constexpr long kDiskFull = 112;
// A write that found the disk full (ERROR_HANDLE_DISK_FULL).
constexpr long kHandleDiskFull = 39;
constexpr long kAlreadyExists = 183;
constexpr long kDirNotEmpty = 145;
constexpr long kInvalidParameter = 87;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;
constexpr long kKeyHasChildren = 1020;
constexpr long kTimeout = 1460;
constexpr long kInvalidOwner = 1307;
// A file with more names than one (hard links): read through one of them, it
// may be a file the names' folder was never meant to give.
constexpr long kTooManyLinks = 1142;
// A path that would lead through a junction or symbolic link.
constexpr long kReparsePoint = 4395;
// HRESULTs of the Task Scheduler calls.
constexpr long kHrAccessDenied = static_cast<long>(0x80070005u);
constexpr long kHrFileNotFound = static_cast<long>(0x80070002u);
}  // namespace err

// FILE_ATTRIBUTE_*.
namespace file {
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// Reparse tags (IO_REPARSE_TAG_*): what kind of reparse point a file is. Only
// a name surrogate (a junction, a symbolic link, or another of their kind)
// leads to another file; any other kind is the file itself, its content
// served by the file system (compressed, deduplicated, held in the cloud).
constexpr std::uint32_t kTagMountPoint = 0xA0000003;  // a junction
constexpr std::uint32_t kTagSymlink = 0xA000000C;
constexpr std::uint32_t kTagDedup = 0x80000013;
constexpr std::uint32_t kTagWof = 0x80000017;
constexpr std::uint32_t kTagCloud = 0x9000001A;
constexpr std::uint32_t kTagAppExecLink = 0x8000001B;
// IsReparseTagNameSurrogate.
constexpr bool IsNameSurrogate(std::uint32_t tag) { return (tag & 0x20000000u) != 0; }
}  // namespace file

// Registry value types.
namespace reg {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kExpandSz = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kDwordBigEndian = 5;
constexpr std::uint32_t kMultiSz = 7;

constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;
constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllOwnAccess = 0x003F;
}  // namespace reg

// Process access rights and wait results.
namespace proc {
constexpr std::uint32_t kTerminate = 0x0001;
constexpr std::uint32_t kQueryInformation = 0x0400;
// Granted across integrity levels, where kQueryInformation is not.
constexpr std::uint32_t kQueryLimitedInformation = 0x1000;
constexpr std::uint32_t kVmOperation = 0x0008;
constexpr std::uint32_t kVmRead = 0x0010;
constexpr std::uint32_t kVmWrite = 0x0020;
constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kSnapProcess = 0x2;

constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Integrity levels (mandatory labels) of processes.
constexpr std::uint32_t kIntegrityMedium = 0x2000;
constexpr std::uint32_t kIntegrityHigh = 0x3000;

constexpr std::uint32_t kPlatformWin32Windows = 1;  // the 9x family
constexpr std::uint32_t kPlatformWin32Nt = 2;
}  // namespace proc

// The end of the Windows session.
namespace session {
// GetSystemMetrics(SM_SHUTTINGDOWN): non-zero while the session is ending.
constexpr int kSmShuttingDown = 0x2000;
// Shutdown levels: Windows ends the session's programs from the highest level
// down. Every program starts at 0x280; programs may take 0x100 to 0x3FF, and
// 0x300 to 0x3FF is the range of those that want to be told first.
constexpr std::uint32_t kDefaultShutdownLevel = 0x280;
constexpr std::uint32_t kLowestShutdownLevel = 0x100;
constexpr std::uint32_t kHighestShutdownLevel = 0x3FF;
constexpr std::uint32_t kFirstShutdownLevel = 0x300;
constexpr std::uint32_t kShutdownNoRetry = 0x1;
}  // namespace session

// Window messages and constants the system uses.
namespace msg {
constexpr std::uint32_t kSetRedraw = 0x000B;
constexpr std::uint32_t kSetText = 0x000C;
constexpr std::uint32_t kGetText = 0x000D;
constexpr std::uint32_t kGetTextLength = 0x000E;
constexpr std::uint32_t kClose = 0x0010;
constexpr std::uint32_t kCommand = 0x0111;
constexpr std::uint32_t kLButtonDown = 0x0201;
constexpr std::uint32_t kLButtonUp = 0x0202;
constexpr std::uint32_t kLbGetText = 0x0189;
constexpr std::uint32_t kLbGetTextLen = 0x018A;
constexpr std::uint32_t kNull = 0x0000;  // WM_NULL: asks nothing, shows the receiver answers
constexpr std::uint32_t kLbGetCount = 0x018B;
constexpr std::uint32_t kLvmGetItemCount = 0x1004;
constexpr std::uint32_t kLvmGetItemTextA = 0x102D;
constexpr std::uint32_t kTbGetButton = 0x0417;
constexpr std::uint32_t kTbGetRect = 0x0433;
constexpr std::uint32_t kTbButtonCount = 0x0418;
constexpr std::uint64_t kMkLButton = 1;

constexpr std::uint32_t kSmtoAbortIfHung = 0x0002;
// ChangeWindowMessageFilterEx actions.
constexpr std::uint32_t kMsgfltAllow = 1;
constexpr std::uint32_t kMsgfltDisallow = 2;
// Short enough that a server hanging between two looks holds the message
// loop for less than half a second.
constexpr std::uint32_t kSendTimeoutMs = 400;
}  // namespace msg

namespace wnd {
constexpr int kGwlStyle = -16;
constexpr int kGwlExStyle = -20;
constexpr std::int32_t kWsExAppWindow = 0x00040000;
constexpr std::int32_t kWsVisible = 0x10000000;
constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;
constexpr std::uint32_t kMfByCommand = 0x0000;
constexpr std::uint32_t kMfByPosition = 0x0400;
}  // namespace wnd

namespace mem {
constexpr std::uint32_t kCommit = 0x1000;
constexpr std::uint32_t kReadWrite = 0x04;
constexpr std::uint32_t kRelease = 0x8000;
}  // namespace mem

namespace file {
constexpr std::uint32_t kMoveReplaceExisting = 0x1;
constexpr std::uint32_t kMoveWriteThrough = 0x8;
}  // namespace file

// GetProcessTimes, as FILETIME counts of 100 ns.
struct ProcessTimes {
    std::uint64_t creation = 0, exit = 0, kernel = 0, user = 0;
};

// The counters of GetProcessMemoryInfo Harrowatch reads.
struct ProcessMemory {
    std::uint64_t privateUsage = 0;    // private bytes: committed memory of its own
    std::uint64_t workingSetSize = 0;
};

// One entry of a Toolhelp process snapshot.
struct ProcessEntry {
    Pid processId = 0;
    std::string exeFile;  // as the fixed 260-character field holds it
};

struct ProcessInformation {
    Handle process = 0;
    Handle thread = 0;
    Pid processId = 0;
};

// What CreateProcess is asked to do beyond the command line.
struct LaunchOptions {
    bool inheritHandles = true;
    std::uint32_t creationFlags = 0x20;  // NORMAL_PRIORITY_CLASS
    std::uint16_t showWindow = 1;        // SW_SHOWNORMAL, with STARTF_USESHOWWINDOW
};

// A file or folder as GetFileAttributesEx reports it.
struct FileAttributes {
    bool folder = false;
    std::uint64_t size = 0;           // 0 for a folder
    std::uint64_t lastWriteTime = 0;  // FILETIME: 100 ns since 1 January 1601, UTC
};

// What GetFileInformationByHandle tells of a file opened as itself.
struct FileInformation {
    std::uint32_t attributes = 0;     // FILE_ATTRIBUTE_*
    std::uint32_t links = 0;          // its names (hard links)
    std::uint32_t reparseTag = 0;     // file::kTag*, when attributes hold FILE_ATTRIBUTE_REPARSE_POINT
    std::uint64_t size = 0;
    std::uint64_t lastWriteTime = 0;  // FILETIME, UTC
};

// The local date and time as GetLocalTime reports it.
struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

}  // namespace hw::platform
