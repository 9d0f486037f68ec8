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
