// The copies of the game's data folder in the backups. The game folder may be
// one ordinary users can write: nothing they lay in it makes Harrowatch copy
// a file they may not read to where they may.
#include <gtest/gtest.h>

#include "common/sddl.h"
#include "common/sha256.h"
#include "platform/sim/sim_desktop.h"
#include "supervision/backups.h"
#include "supervision/log.h"

namespace hw::testing {
namespace {

using platform::sim::SimDesktop;

const std::string kGame = "C:\\Games\\Kaltor Online\\";
const std::string kData = kGame + "System\\Kaltor\\";
const std::string kBackups = "C:\\ProgramData\\Harrowatch\\Backups\\";
const std::string kToday = kBackups + "2026-12-06\\";
const std::string kSecret = "C:\\Windows\\System32\\config\\secrets.dat";
constexpr std::uint32_t kReadData = 0x1;

// A file only administrators may read, and a game folder any user may change.
void Plant(SimDesktop& d) {
    d.WriteFile(kSecret, "the administrators' secret");
    d.SetSecurity(kSecret, "O:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)");
    d.MakeFolder(kData);
    d.SetSecurity(kGame, "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;BU)");
    ASSERT_FALSE(d.UserMay(kSecret, kReadData));
}

bool SecretInBackups(SimDesktop& d) {
    for (const std::string& f : d.FilesUnder(kBackups))
        if (d.FileContent(f) == "the administrators' secret") return true;
    return false;
}

TEST(DataFolderCopies, ALinkNamedLikeADataFileIsRefusedAndTheBackupsAreForAdministratorsOnly) {
    SimDesktop d;
    Plant(d);
    // An earlier Harrowatch left the backups readable by Users.
    ASSERT_EQ(supervision::SecureDataFolder(d), 0);
    d.WriteFile(kBackups + "2026-12-01\\KALTORState.KLD", "an old state");
    d.WriteFile(kData + "KALTORState.KLD", "state");
    d.MakeSymbolicLink(kData + "KALTORHallInfo.KLD", kSecret);
    d.MakeHardLink(kSecret, kData + "KALTORGuildMasters.KLD");
    supervision::DataFolderCopies copies;
    const supervision::FolderCopy done = copies.CopyChanged(d, kData, {});
    ASSERT_EQ(done.folderError, 0);
    EXPECT_EQ(done.files, (std::map<std::string, long>{{"KALTORGUILDMASTERS.KLD", platform::err::kTooManyLinks},
                                                       {"KALTORHALLINFO.KLD", platform::err::kReparsePoint},
                                                       {"KALTORSTATE.KLD", 0}}));
    EXPECT_FALSE(SecretInBackups(d));
    ASSERT_EQ(d.FileContent(kToday + "KALTORState.KLD"), "state");
    for (const std::string& made : {kBackups, kToday, kToday + "KALTORState.KLD", kBackups + "2026-12-01\\KALTORState.KLD"})
        EXPECT_FALSE(d.UserMay(made, kReadData)) << made << ": " << d.SecurityOf(made);
    // The rest of Harrowatch's folder stays as it was: Users read the logs.
    EXPECT_TRUE(d.UserMay("C:\\ProgramData\\Harrowatch", kReadData));
}

// Compressed, deduplicated and cloud files are reparse points that lead
// nowhere else: copied with their content; a link beside them still is not.
TEST(DataFolderCopies, AReparsePointThatIsNoLinkIsCopiedAsItself) {
    SimDesktop d;
    Plant(d);
    const std::map<std::string, std::uint32_t> kinds{{"KALTORSTATE.KLD", platform::file::kTagWof},
                                                     {"KALTORGUILDS.KLD", platform::file::kTagDedup},
                                                     {"KALTORHALLS.KLD", platform::file::kTagCloud}};
    for (const auto& [name, tag] : kinds) {
        d.WriteFile(kData + name, "content of " + name);
        d.SetReparseTag(kData + name, tag);
    }
    d.MakeSymbolicLink(kData + "KALTORHALLINFO.KLD", kSecret);
    supervision::DataFolderCopies copies;
    const supervision::FolderCopy done = copies.CopyChanged(d, kData, {});
    ASSERT_EQ(done.folderError, 0);
    std::map<std::string, long> expected{{"KALTORHALLINFO.KLD", platform::err::kReparsePoint}};
    for (const auto& [name, tag] : kinds) expected[name] = 0;
    EXPECT_EQ(done.files, expected);
    for (const auto& [name, tag] : kinds) EXPECT_EQ(d.FileContent(kToday + name), "content of " + name) << name;
    EXPECT_FALSE(SecretInBackups(d));
}

TEST(DataFolderCopies, AFileReachedThroughAJunctionOnTheWayIsRefused) {
    SimDesktop d;
    Plant(d);
    d.WriteFile("C:\\Windows\\System32\\Kaltor\\KALTORState.KLD", "the administrators' secret");
    d.SetSecurity("C:\\Windows\\System32\\Kaltor", "O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    ASSERT_EQ(d.UserMakeJunction(kGame + "System2", "C:\\Windows\\System32"), 0);
    supervision::DataFolderCopies copies;
    const supervision::FolderCopy done = copies.CopyChanged(d, kGame + "System2\\Kaltor\\", {});
    const auto file = done.files.find("KALTORSTATE.KLD");
    const long error = done.folderError ? done.folderError : file == done.files.end() ? 0 : file->second;
    EXPECT_EQ(error, platform::err::kReparsePoint);
    EXPECT_FALSE(SecretInBackups(d));
}

// Whether a file changed is judged by its content: one rewritten within the
// same time stamp at the same size, or whose time was set back, is copied.
TEST(DataFolderCopies, AFileRewrittenAtTheSameSizeAndTimeIsCopiedAgain) {
    SimDesktop d;
    d.WriteFile(kData + "KALTORState.KLD", "state one");
    d.WriteFile(kData + "KALTORQuests.KLD", "quests");
    supervision::DataFolderCopies copies;
    ASSERT_EQ(copies.CopyChanged(d, kData, {}).files.at("KALTORSTATE.KLD"), 0);
    ASSERT_EQ(d.FileContent(kToday + "KALTORState.KLD"), "state one");
    std::size_t made = d.FilesUnder(kToday).size();

    d.WriteFile(kData + "KALTORState.KLD", "state two");  // the same clock tick: the same time stamp
    d.AdvanceIdle(60000);
    const supervision::FolderCopy second = copies.CopyChanged(d, kData, {});
    ASSERT_EQ(second.files.at("KALTORSTATE.KLD"), 0);
    ASSERT_EQ(second.files.at("KALTORQUESTS.KLD"), 0);
    EXPECT_EQ(d.FilesUnder(kToday).size(), made + 1);  // the quests were left alone
    bool found = false;
    for (const std::string& f : d.FilesUnder(kToday)) found = found || d.FileContent(f) == "state two";
    EXPECT_TRUE(found);

    // Harrowatch started again the same day: the day's plain-named copy is
    // compared, and the quests, which it holds, are not copied again.
    supervision::DataFolderCopies again;
    ASSERT_EQ(again.CopyChanged(d, kData, {}).files.at("KALTORQUESTS.KLD"), 0);
    for (const std::string& f : d.FilesUnder(kToday))
        EXPECT_EQ(f.find("KALTORQuests-"), std::string::npos) << f;
}

// Reads share deletion, so another program may delete (or rename away) the
// file while Harrowatch reads it: the read had its bytes, and the file does
// not come back.
TEST(DataFolderCopies, AFileDeletedWhileReadOrCopiedDoesNotComeBack) {
    SimDesktop d;
    const std::string f = kData + "KALTORState.KLD";
    d.WriteFile(f, "state one");
    platform::FileInformation info;
    bool deleted = false;
    const long e = d.ReadFileAsItself(f, info, [&](const char*, std::size_t) {
        if (!deleted) deleted = d.DeleteFile(f) == 0;
    });
    EXPECT_TRUE(deleted);
    EXPECT_EQ(e, platform::err::kSuccess);
    EXPECT_FALSE(d.FileExists(f)) << "deleted during the read, yet there again with " << d.FileContent(f).size() << " bytes";
    d.WriteFile(f, "state two");
    deleted = false;
    const long c = d.CopyFileAsItself(f, kData + "copy.KLD", info, [&](const char*, std::size_t) {
        if (!deleted) deleted = d.DeleteFile(f) == 0;
    });
    EXPECT_TRUE(deleted);
    EXPECT_EQ(c, platform::err::kSuccess);
    EXPECT_EQ(d.FileContent(kData + "copy.KLD"), "state two");
    EXPECT_FALSE(d.FileExists(f)) << "deleted during the copy, yet there again";
}

// A save that lands while an unchanged file's digest is taken: the file has
// changed, so it is copied (after the save), not left "not backed up (32)".
TEST(DataFolderCopies, ASaveDuringTheComparisonHasTheFileCopied) {
    SimDesktop d;
    const std::string f = kData + "KALTORState.KLD";
    d.WriteFile(f, std::string(200000, 's'));
    supervision::DataFolderCopies copies;
    ASSERT_EQ(copies.CopyChanged(d, kData, {}).files.at("KALTORSTATE.KLD"), 0);
    d.AdvanceIdle(60000);
    d.SetCopyBytesPerSecond(100000);  // 2 s a read
    const platform::Pid game = d.AddProcess("C:\\Games\\Kaltor Online\\KALTOR INTERNET SERVER.EXE");
    d.ScheduleAt(d.NowMs() + 500, game, [&] { d.WriteFile(f, std::string(200000, 't')); });
    const supervision::FolderCopy second = copies.CopyChanged(d, kData, {});
    EXPECT_EQ(second.files.at("KALTORSTATE.KLD"), 0) << "the saved file is not copied at all";
    bool found = false;
    for (const std::string& c : d.FilesUnder(kToday)) found = found || d.FileContent(c) == std::string(200000, 't');
    EXPECT_TRUE(found);
}

TEST(Sha256, DigestsOfTheStandardsExamplesFedInRuns) {
    sha256::Hasher empty;
    EXPECT_EQ(sha256::Hex(empty.Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    sha256::Hasher abc;
    abc.Add("a", 1);
    abc.Add("bc", 2);
    EXPECT_EQ(sha256::Hex(abc.Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // two blocks once padded
    sha256::Hasher h;
    h.Add(two.data(), 30);
    h.Add(two.data() + 30, two.size() - 30);
    EXPECT_EQ(sha256::Hex(h.Finish()), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
}  // namespace hw::testing
