// Links a user lays where Harrowatch writes: each writer makes its own file
// or fails, and never writes through the link to what it leads to.
#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "supervision/metrics.h"

namespace hw::testing {
namespace {

using platform::sim::SimDesktop;
namespace err = platform::err;

const std::string kFolder = "C:\\Metrics\\";
const std::string kVictim = "C:\\Windows\\System32\\";

TEST(Links, ANewFileIsNeverMadeThroughALinkInItsPlace) {
    SimDesktop d;
    d.WriteFile("C:\\Game\\KALTORState.KLD", "state");
    d.MakeFolder(kFolder);
    // CREATE_NEW on a symbolic link, dangling or not, finds a name there.
    d.MakeSymbolicLink(kFolder + "dangling.KLD", kVictim + "evil.dll");
    platform::FileInformation info;
    EXPECT_EQ(d.CopyFileAsItself("C:\\Game\\KALTORState.KLD", kFolder + "dangling.KLD", info, nullptr),
              err::kFileExists);
    EXPECT_FALSE(d.FileExists(kVictim + "evil.dll"));
    // Deleting a link removes the link, not what it leads to; a folder is
    // no file to delete.
    d.WriteFile(kVictim + "kernel32.dll", "the system's");
    d.MakeSymbolicLink(kFolder + "link.KLD", kVictim + "kernel32.dll");
    EXPECT_EQ(d.DeleteFile(kFolder + "link.KLD"), 0);
    EXPECT_EQ(d.FileContent(kVictim + "kernel32.dll"), "the system's");
    d.MakeJunction(kFolder + "junction", kVictim);
    EXPECT_EQ(d.DeleteFile(kFolder + "junction"), err::kAccessDenied);
    EXPECT_EQ(d.DeleteFile(kVictim), err::kAccessDenied);
}

// A reparse point tells its kind without being followed: only a junction or
// link is one whose permissions may not be set through its name.
TEST(Links, EachReparsePointTellsItsKindWithoutBeingFollowed) {
    namespace file = platform::file;
    SimDesktop d;
    d.WriteFile(kVictim + "kernel32.dll", "the system's");
    d.MakeJunction(kFolder + "junction", kVictim);
    d.MakeSymbolicLink(kFolder + "link.dll", kVictim + "kernel32.dll");
    d.WriteFile(kFolder + "old.KLD", "deduplicated");
    d.SetReparseTag(kFolder + "old.KLD", file::kTagDedup);
    d.MakeFolder(kFolder + "Cloud");
    d.SetReparseTag(kFolder + "Cloud", file::kTagCloud);
    const std::pair<std::string, std::uint32_t> kinds[] = {
        {kFolder + "junction", file::kTagMountPoint}, {kFolder + "link.dll", file::kTagSymlink},
        {kFolder + "old.KLD", file::kTagDedup},       {kFolder + "Cloud", file::kTagCloud},
        {kVictim + "kernel32.dll", 0},                {kFolder, 0}};
    for (const auto& [path, kind] : kinds) {
        std::uint32_t tag = 1;
        ASSERT_EQ(d.GetReparseTag(path, tag), err::kSuccess) << path;
        EXPECT_EQ(tag, kind) << path;
    }
    std::uint32_t tag = 0;
    EXPECT_EQ(d.GetReparseTag(kFolder + "none.KLD", tag), err::kFileNotFound);
    EXPECT_EQ(d.GetReparseTag(kFolder + "None\\none.KLD", tag), err::kPathNotFound);
    const std::string adminsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    const std::string victimSecurity = d.SecurityOf(kVictim);
    EXPECT_EQ(d.SetFileSecurity(kFolder + "junction", adminsOnly), err::kReparsePoint);
    EXPECT_EQ(d.SetFileSecurity(kFolder + "link.dll", adminsOnly), err::kReparsePoint);
    EXPECT_EQ(d.SecurityOf(kVictim), victimSecurity);
    ASSERT_EQ(d.SetFileSecurity(kFolder + "old.KLD", adminsOnly), err::kSuccess);
    ASSERT_EQ(d.SetFileSecurity(kFolder + "Cloud", adminsOnly), err::kSuccess);
    EXPECT_EQ(d.SecurityOf(kFolder + "Cloud"), adminsOnly);
}

void Finish(SimDesktop& d, supervision::Metrics& metrics) {
    for (int i = 0; i < 20 && metrics.Writing(); ++i) {
        d.Sleep(100);
        d.DoEvents();
    }
    ASSERT_FALSE(metrics.Writing());
}

TEST(Links, TheMetricsFileGoesRoundLinksAndAJunctionInItsWayIsToldOnce) {
    SimDesktop d;
    d.WriteFile(kVictim + "kernel32.dll", "the system's");
    d.MakeFolder(kFolder);
    d.MakeSymbolicLink(kFolder + "harrowatch.prom.tmp", kVictim + "evil.dll");
    d.MakeSymbolicLink(kFolder + "harrowatch.prom", kVictim + "kernel32.dll");
    supervision::Metrics metrics(d);
    std::vector<std::string> told;
    metrics.onUnwritable = [&](const std::string& why) { told.push_back(why); };
    ASSERT_TRUE(metrics.WriteNow(kFolder, {}));
    Finish(d, metrics);
    EXPECT_EQ(d.FileContent(kFolder + "harrowatch.prom").rfind("# HELP", 0), 0u);
    EXPECT_FALSE(d.FileExists(kVictim + "evil.dll"));
    EXPECT_EQ(d.FileContent(kVictim + "kernel32.dll"), "the system's");
    EXPECT_TRUE(told.empty());
    // A junction in the temporary file's place can be neither deleted nor
    // written: nothing reaches the folder it leads to.
    d.MakeJunction(kFolder + "harrowatch.prom.tmp", kVictim);
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(metrics.WriteNow(kFolder, {}));
        Finish(d, metrics);
    }
    EXPECT_EQ(d.FilesUnder(kVictim).size(), 1u);
    EXPECT_EQ(told, (std::vector<std::string>{kFolder + "harrowatch.prom (Windows error 5)"}));
}

}  // namespace
}  // namespace hw::testing
