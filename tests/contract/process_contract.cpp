// Processes and files, against both backends.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "automation/process.h"
#include "common/sddl.h"
#include "common/text.h"
#include "contract/contract_env.h"

namespace hw::testing {
namespace {

using automation::GetProcessIdByName;
using automation::LaunchProgram;
namespace proc = platform::proc;

// A fresh backend for each test.
class ContractTest : public ::testing::Test {
protected:
    std::unique_ptr<ContractEnv> env = MakeContractEnv();
    platform::Desktop& d = env->desktop();
};
using ProcessContract = ContractTest;
using FileContract = ContractTest;
using TextContract = ContractTest;

TEST_F(ProcessContract, FindsItselfInBothEnumerations) {
    const std::string self = d.GetOwnModuleFileName();
    ASSERT_FALSE(self.empty());
    const std::string file = text::FileName(self);

    platform::Pid byName = GetProcessIdByName(d, text::Upper(file));
    ASSERT_NE(byName, platform::Pid{});
    EXPECT_EQ(GetProcessIdByName(d, "no such program anywhere.exe"), platform::Pid{});

    // The snapshot walk sees the same process.
    platform::UniqueHandle snap(d, d.CreateToolhelp32Snapshot(proc::kSnapProcess, 0));
    ASSERT_TRUE(snap);
    bool seen = false;
    platform::ProcessEntry e;
    for (bool ok = d.Process32First(snap.get(), e); ok; ok = d.Process32Next(snap.get(), e))
        seen = seen || (e.processId == byName && text::ContainsNoCase(e.exeFile, file));
    EXPECT_TRUE(seen);

    // Its module path is the full program path.
    platform::UniqueHandle h(d, d.OpenProcess(proc::kQueryInformation | proc::kVmRead, false, byName));
    ASSERT_TRUE(h);
    std::vector<std::uint64_t> modules;
    ASSERT_TRUE(d.EnumProcessModules(h.get(), modules, 50));
    ASSERT_FALSE(modules.empty());
    char path[261] = {};
    std::uint32_t n = d.GetModuleFileNameEx(h.get(), modules[0], path, 260);
    EXPECT_EQ(text::Upper(std::string(path, n)), text::Upper(self));

    EXPECT_EQ(d.OpenProcess(proc::kQueryInformation, false, platform::Pid{0xFFFFFFF0u}), nullptr);

    // It runs in its own session, as the search asks it.
    EXPECT_EQ(byName, d.GetCurrentProcessId());
    std::uint32_t session = 0xFFFF;
    EXPECT_TRUE(d.ProcessIdToSessionId(byName, &session)) << d.GetLastError();
    EXPECT_NE(session, 0xFFFFu);
}

TEST_F(ProcessContract, LaunchesFromAFolderWithSpacesAndFindsTheProgram) {
    const std::string folder = env->MakeFolder("Kaltor Game Folder");
    const std::string program = env->InstallHelper(folder, "Helper Program.exe");

    platform::Pid pid = LaunchProgram(d, program, folder, false);
    ASSERT_NE(pid, platform::Pid{});
    // Idle by now: its window is up.
    platform::UniqueHandle h(d, d.OpenProcess(proc::kQueryInformation | proc::kSynchronize, false, pid));
    ASSERT_TRUE(h);
    EXPECT_EQ(d.WaitForInputIdle(h.get(), 0), 0u);
    EXPECT_EQ(d.WaitForSingleObject(h.get(), 0), proc::kWaitTimeout);

    EXPECT_EQ(GetProcessIdByName(d, "helper program.EXE"), pid);
    EXPECT_EQ(GetProcessIdByName(d, "kaltor game folder"), pid);  // a folder name matches too

    env->EndProcess(pid);
    EXPECT_EQ(d.WaitForSingleObject(h.get(), 5000), proc::kWaitObject0);
    EXPECT_EQ(GetProcessIdByName(d, "Helper Program.exe"), platform::Pid{});
}

// Each call succeeds on a handle opened with the rights Harrowatch asks for,
// and fails with error 5, not a quiet "no", on one that lacks them.
TEST_F(ProcessContract, CallsSucceedWithTheirRightsAndFailWithoutThem) {
    const std::string folder = env->MakeFolder("Rights Folder");
    const platform::Pid pid = LaunchProgram(d, env->InstallHelper(folder, "Rights Helper.exe"), folder, false);
    ASSERT_NE(pid, platform::Pid{});

    constexpr std::uint32_t kMemory = proc::kVmOperation | proc::kVmRead | proc::kVmWrite;
    {
        platform::UniqueHandle h(d, d.OpenProcess(kMemory | proc::kQueryLimitedInformation, false, pid));
        ASSERT_TRUE(h) << d.GetLastError();
        bool wow64 = true;
        ASSERT_TRUE(d.IsWow64Process(h.get(), &wow64)) << d.GetLastError();
        EXPECT_FALSE(wow64);  // the helper has the tests' own width
        const platform::RemoteAddress block = d.VirtualAllocEx(h.get(), 64, platform::mem::kCommit, platform::mem::kReadWrite);
        ASSERT_NE(block, nullptr) << d.GetLastError();
        const char written[] = "rights";
        std::uint64_t done = 0;
        ASSERT_TRUE(d.WriteProcessMemory(h.get(), block, written, sizeof written, &done)) << d.GetLastError();
        EXPECT_EQ(done, sizeof written);
        char read[sizeof written] = {};
        ASSERT_TRUE(d.ReadProcessMemory(h.get(), block, read, sizeof read, &done)) << d.GetLastError();
        EXPECT_STREQ(read, "rights");
        EXPECT_TRUE(d.VirtualFreeEx(h.get(), block, 0, platform::mem::kRelease)) << d.GetLastError();
    }
    {
        // What the memory rights alone do not give: the layout question.
        platform::UniqueHandle h(d, d.OpenProcess(kMemory, false, pid));
        ASSERT_TRUE(h) << d.GetLastError();
        bool wow64 = false;
        EXPECT_FALSE(d.IsWow64Process(h.get(), &wow64));
        EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
        EXPECT_EQ(d.WaitForSingleObject(h.get(), 0), proc::kWaitFailed);
        EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
    }
    {
        // The controller's handle: wait for the end, tell the program's path.
        platform::UniqueHandle h(d, d.OpenProcess(proc::kSynchronize | proc::kQueryLimitedInformation, false, pid));
        ASSERT_TRUE(h) << d.GetLastError();
        EXPECT_EQ(d.WaitForSingleObject(h.get(), 0), proc::kWaitTimeout);
        // The idle wait asks for the full query right.
        EXPECT_EQ(d.WaitForInputIdle(h.get(), 0), proc::kWaitFailed);
        platform::UniqueHandle full(d, d.OpenProcess(proc::kSynchronize | proc::kQueryInformation, false, pid));
        ASSERT_TRUE(full) << d.GetLastError();
        EXPECT_EQ(d.WaitForInputIdle(full.get(), 0), 0u) << d.GetLastError();
        std::string path;
        ASSERT_TRUE(d.QueryFullProcessImageName(h.get(), path)) << d.GetLastError();
        EXPECT_TRUE(text::ContainsNoCase(path, "Rights Helper.exe")) << path;
        char buffer[8];
        EXPECT_FALSE(d.ReadProcessMemory(h.get(), platform::RemoteAddress{0x10000}, buffer, sizeof buffer, nullptr));
        EXPECT_EQ(d.GetLastError(), platform::err::kAccessDenied);
        env->EndProcess(pid);
        EXPECT_EQ(d.WaitForSingleObject(h.get(), 5000), proc::kWaitObject0);
    }
    EXPECT_FALSE(d.CloseHandle(platform::Handle{0x7FFFFFF0u}));
    EXPECT_EQ(d.GetLastError(), platform::err::kInvalidHandle);
}

TEST_F(ProcessContract, LaunchOfAMissingProgramFails) {
    const std::string folder = env->MakeFolder("Empty Folder");
    EXPECT_EQ(LaunchProgram(d, folder + "KALTOR INTERNET SERVER.EXE", folder, false), platform::Pid{});
    EXPECT_EQ(LaunchProgram(d, "", folder, false), platform::Pid{});
}

TEST_F(ProcessContract, AsksToBeToldFirstOfTheSessionsEnd) {
    EXPECT_TRUE(d.SetProcessShutdownParameters(platform::session::kFirstShutdownLevel, 0)) << d.GetLastError();
    EXPECT_EQ(d.GetSystemMetrics(platform::session::kSmShuttingDown), 0);  // no session end under way
}

TEST_F(FileContract, ExistsAndDeleteWithTheirErrorCodes) {
    const std::string folder = env->MakeFolder("Data Files");
    const std::string file = folder + "KALTORHallInfo.KLD";

    EXPECT_FALSE(d.FileExists(file));
    EXPECT_FALSE(d.FileExists(folder.substr(0, folder.size() - 1)));  // a folder is not a file
    EXPECT_EQ(d.DeleteFile(file), platform::err::kFileNotFound);
    EXPECT_EQ(d.DeleteFile(folder + "No Such Folder\\KALTORHallInfo.KLD"), platform::err::kPathNotFound);

    env->PutFile(file, "records");
    EXPECT_TRUE(d.FileExists(file));
    env->LockFile(file);
    EXPECT_EQ(d.DeleteFile(file), platform::err::kSharingViolation);
    EXPECT_TRUE(d.FileExists(file));
    env->UnlockFile(file);
    EXPECT_EQ(d.DeleteFile(file), platform::err::kSuccess);
    EXPECT_FALSE(d.FileExists(file));
}

TEST_F(FileContract, FoldersAppendCopyAndListWithTheirErrorCodes) {
    const std::string root = env->MakeFolder("Program Data");
    const std::string logs = root + "Logs";
    EXPECT_EQ(d.CreateDirectory(root + "No Parent\\Logs", ""), platform::err::kPathNotFound);
    ASSERT_EQ(d.CreateDirectory(logs, ""), platform::err::kSuccess);
    EXPECT_EQ(d.CreateDirectory(logs, ""), platform::err::kAlreadyExists);

    const std::string log = logs + "\\day.log";
    ASSERT_EQ(d.AppendFile(log, "one\r\n"), platform::err::kSuccess);
    ASSERT_EQ(d.AppendFile(log, "two\r\n"), platform::err::kSuccess);
    EXPECT_TRUE(d.FileExists(log));
    EXPECT_EQ(d.AppendFile(root + "Missing\\x.log", "x"), platform::err::kPathNotFound);

    const std::string copy = logs + "\\copy.log";
    platform::FileInformation info;
    ASSERT_EQ(d.CopyFileAsItself(log, copy, info, nullptr), platform::err::kSuccess);
    EXPECT_EQ(d.CopyFileAsItself(log, copy, info, nullptr), platform::err::kFileExists);
    EXPECT_EQ(d.CopyFileAsItself(logs + "\\none.log", logs + "\\other.log", info, nullptr), platform::err::kFileNotFound);

    std::vector<std::string> names;
    ASSERT_EQ(d.ListFolder(logs, names), platform::err::kSuccess);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"copy.log", "day.log"}));
    EXPECT_EQ(d.ListFolder(root + "Missing", names), platform::err::kPathNotFound);

    EXPECT_EQ(d.RemoveDirectory(logs), platform::err::kDirNotEmpty);
    EXPECT_EQ(d.DeleteFile(log), platform::err::kSuccess);
    EXPECT_EQ(d.DeleteFile(copy), platform::err::kSuccess);
    EXPECT_EQ(d.RemoveDirectory(logs), platform::err::kSuccess);
    ASSERT_EQ(d.ListFolder(root, names), platform::err::kSuccess);
    EXPECT_TRUE(names.empty());
}

TEST_F(FileContract, AttributesAndSecurityOfAFolderMadeForAdministrators) {
    const std::string root = env->MakeFolder("Secured Data");
    const std::string folder = root + "Harrowatch";
    const std::string adminsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    ASSERT_EQ(d.CreateDirectory(folder, adminsOnly), platform::err::kSuccess);
    EXPECT_EQ(d.CreateDirectory(folder, adminsOnly), platform::err::kAlreadyExists);
    env->PutFile(folder + "\\a.log", "x");

    std::uint32_t attributes = 0;
    ASSERT_EQ(d.GetFileAttributes(folder, attributes), platform::err::kSuccess);
    EXPECT_TRUE(attributes & platform::file::kAttributeDirectory);
    EXPECT_FALSE(attributes & platform::file::kAttributeReparsePoint);
    ASSERT_EQ(d.GetFileAttributes(folder + "\\a.log", attributes), platform::err::kSuccess);
    EXPECT_FALSE(attributes & platform::file::kAttributeDirectory);
    EXPECT_EQ(d.GetFileAttributes(folder + "\\none.log", attributes), platform::err::kFileNotFound);
    EXPECT_EQ(d.GetFileAttributes(root + "None\\none.log", attributes), platform::err::kPathNotFound);
    // Neither is a reparse point: tag 0.
    for (const std::string& path : {folder, folder + "\\a.log"}) {
        std::uint32_t tag = 1;
        ASSERT_EQ(d.GetReparseTag(path, tag), platform::err::kSuccess) << path;
        EXPECT_EQ(tag, 0u) << path;
    }
    std::uint32_t tag = 0;
    EXPECT_EQ(d.GetReparseTag(folder + "\\none.log", tag), platform::err::kFileNotFound);
    EXPECT_EQ(d.GetReparseTag(root + "None\\none.log", tag), platform::err::kPathNotFound);

    // Read back as SDDL with an owner and an access list.
    std::string sddl;
    ASSERT_EQ(d.GetFileSecurity(folder, sddl), platform::err::kSuccess);
    const std::optional<hw::sddl::Descriptor> read = hw::sddl::Parse(sddl);
    ASSERT_TRUE(read) << sddl;
    EXPECT_FALSE(read->owner.empty()) << sddl;
    ASSERT_EQ(d.SetFileSecurity(folder, adminsOnly), platform::err::kSuccess);
    EXPECT_EQ(d.SetFileSecurity(root + "None", adminsOnly), platform::err::kFileNotFound);
    EXPECT_EQ(d.GetFileSecurity(root + "None", sddl), platform::err::kFileNotFound);
}

TEST_F(FileContract, SizesOfFilesAndFolders) {
    const std::string folder = env->MakeFolder("Backup Day");
    env->PutFile(folder + "KALTORHallInfo.KLD", "the hall's records");
    env->PutFile(folder + "empty.KLD", "");
    std::uint64_t size = 99;
    ASSERT_EQ(d.GetFileSize(folder + "KALTORHallInfo.KLD", size), platform::err::kSuccess);
    EXPECT_EQ(size, 18u);
    ASSERT_EQ(d.GetFileSize(folder + "empty.KLD", size), platform::err::kSuccess);
    EXPECT_EQ(size, 0u);
    size = 99;
    ASSERT_EQ(d.GetFileSize(folder.substr(0, folder.size() - 1), size), platform::err::kSuccess);
    EXPECT_EQ(size, 0u);  // a folder has no size of its own
    EXPECT_EQ(d.GetFileSize(folder + "none.KLD", size), platform::err::kFileNotFound);
    EXPECT_EQ(d.GetFileSize(folder + "Missing\\none.KLD", size), platform::err::kPathNotFound);
}

// Size and last-write time tell whether a file changed since it was copied:
// a copy keeps the time of what it copied, a write moves it on.
TEST_F(FileContract, AttributesAndACopyThatKeepsTheLastWriteTime) {
    const std::string folder = env->MakeFolder("Data Folder");
    const std::string file = folder + "KALTORHallInfo.KLD", copy = folder + "copy.KLD";
    env->PutFile(file, "the hall's records");
    platform::FileAttributes a, c;
    ASSERT_EQ(d.GetFileAttributesEx(file, a), platform::err::kSuccess);
    EXPECT_FALSE(a.folder);
    EXPECT_EQ(a.size, 18u);
    EXPECT_GT(a.lastWriteTime, 130000000000000000u);  // after 2012
    env->Pass(50);
    platform::FileInformation info;
    ASSERT_EQ(d.CopyFileAsItself(file, copy, info, nullptr), platform::err::kSuccess);
    ASSERT_EQ(d.GetFileAttributesEx(copy, c), platform::err::kSuccess);
    EXPECT_EQ(c.size, a.size);
    EXPECT_EQ(c.lastWriteTime, a.lastWriteTime);
    env->Pass(50);
    ASSERT_EQ(d.AppendFile(file, "!"), platform::err::kSuccess);
    ASSERT_EQ(d.GetFileAttributesEx(file, a), platform::err::kSuccess);
    EXPECT_EQ(a.size, 19u);
    EXPECT_GT(a.lastWriteTime, c.lastWriteTime);

    ASSERT_EQ(d.GetFileAttributesEx(folder.substr(0, folder.size() - 1), a), platform::err::kSuccess);
    EXPECT_TRUE(a.folder);
    EXPECT_EQ(a.size, 0u);
    EXPECT_EQ(d.GetFileAttributesEx(folder + "none.KLD", a), platform::err::kFileNotFound);
    EXPECT_EQ(d.GetFileAttributesEx(folder + "Missing\\none.KLD", a), platform::err::kPathNotFound);
}

// The backups read a file only as itself, through one handle: a link laid
// in its place, a second name of another file, or a file in the copy's
// place is refused, and nothing is read or written.
TEST_F(FileContract, AFileIsReadAndCopiedAsItselfAndLinksAreRefused) {
    const std::string folder = env->MakeFolder("As Itself");
    const std::string file = folder + "KALTORHallInfo.KLD", copy = folder + "copy.KLD";
    env->PutFile(file, "the hall's records");
    std::string read;
    const platform::Desktop::FileBytes into = [&](const char* bytes, std::size_t size) { read.append(bytes, size); };
    platform::FileInformation info;
    ASSERT_EQ(d.ReadFileAsItself(file, info, into), platform::err::kSuccess);
    EXPECT_EQ(read, "the hall's records");
    EXPECT_EQ(info.links, 1u);
    EXPECT_EQ(info.size, 18u);
    EXPECT_EQ(info.attributes & (platform::file::kAttributeReparsePoint | platform::file::kAttributeDirectory), 0u);
    read.clear();
    env->Pass(50);
    ASSERT_EQ(d.CopyFileAsItself(file, copy, info, into), platform::err::kSuccess);
    EXPECT_EQ(read, "the hall's records");
    platform::FileAttributes a, c;
    ASSERT_EQ(d.GetFileAttributesEx(file, a), platform::err::kSuccess);
    ASSERT_EQ(d.GetFileAttributesEx(copy, c), platform::err::kSuccess);
    EXPECT_EQ(c.size, 18u);
    EXPECT_EQ(c.lastWriteTime, a.lastWriteTime);
    EXPECT_EQ(info.lastWriteTime, a.lastWriteTime);
    EXPECT_EQ(d.CopyFileAsItself(file, copy, info, into), platform::err::kFileExists);
    EXPECT_EQ(d.ReadFileAsItself(folder + "none.KLD", info, into), platform::err::kFileNotFound);
    EXPECT_EQ(d.ReadFileAsItself(folder + "Missing\\none.KLD", info, into), platform::err::kPathNotFound);
    env->LockFile(file);
    EXPECT_EQ(d.ReadFileAsItself(file, info, into), platform::err::kSharingViolation);
    env->UnlockFile(file);
    // The server saves the file while it is read, sharing reads: its save
    // is not refused for the read, which says the file was in use, and the
    // copy of neither version goes.
    bool saved = false;
    int saves = 0;
    const platform::Desktop::FileBytes saving = [&](const char*, std::size_t) {
        // Each save longer: a save at the same size within the clock's tick
        // is one Windows cannot tell either.
        if (!saved) saved = env->SaveSharingReads(file, "the hall's records" + std::string(++saves, '!'));
    };
    EXPECT_EQ(d.ReadFileAsItself(file, info, saving), platform::err::kSharingViolation);
    EXPECT_TRUE(saved);
    saved = false;
    EXPECT_EQ(d.CopyFileAsItself(file, folder + "torn.KLD", info, saving), platform::err::kSharingViolation);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(d.FileExists(folder + "torn.KLD"));

    read.clear();
    ASSERT_TRUE(env->MakeHardLink(file, folder + "second name.KLD"));
    EXPECT_EQ(d.ReadFileAsItself(file, info, into), platform::err::kTooManyLinks);
    EXPECT_EQ(info.links, 2u);
    EXPECT_EQ(d.CopyFileAsItself(folder + "second name.KLD", folder + "third.KLD", info, into),
              platform::err::kTooManyLinks);
    EXPECT_FALSE(d.FileExists(folder + "third.KLD"));
    if (!env->MakeSymbolicLink(folder + "link.KLD", copy)) GTEST_SKIP() << "this disk keeps no symbolic links";
    EXPECT_EQ(d.ReadFileAsItself(folder + "link.KLD", info, into), platform::err::kReparsePoint);
    EXPECT_EQ(d.CopyFileAsItself(folder + "link.KLD", folder + "fourth.KLD", info, into), platform::err::kReparsePoint);
    EXPECT_FALSE(d.FileExists(folder + "fourth.KLD"));
    EXPECT_TRUE(read.empty());
    // Nothing is written through a link in the copy's place.
    env->PutFile(folder + "other.KLD", "other");
    EXPECT_EQ(d.CopyFileAsItself(folder + "other.KLD", folder + "link.KLD", info, into), platform::err::kFileExists);
    ASSERT_EQ(d.GetFileAttributesEx(copy, c), platform::err::kSuccess);
    EXPECT_EQ(c.size, 18u);
}

// Text from other programs comes in the ANSI code page (Windows-1252 here):
// its punctuation and the Latin letters come out as UTF-8, the five bytes
// 1252 leaves undefined as the control characters Windows maps them to.
TEST_F(TextContract, AnsiTextComesOutAsUtf8) {
    EXPECT_EQ(d.AnsiToUtf8(""), "");
    EXPECT_EQ(d.AnsiToUtf8("plain 7-bit\r\n"), "plain 7-bit\r\n");
    EXPECT_EQ(d.AnsiToUtf8("\x80 \x92 \x93\x94 \x85 \x96\x97 \x99 \x8A\x9F"),
              "\u20AC \u2019 \u201C\u201D \u2026 \u2013\u2014 \u2122 \u0160\u0178");
    EXPECT_EQ(d.AnsiToUtf8("caf\xE9 \xA0\xFF"), "caf\u00E9 \u00A0\u00FF");
    EXPECT_EQ(d.AnsiToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(d.AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace hw::testing
