// The stand-in server's script and the behaviours tests rely on.
#include <gtest/gtest.h>

#include "native/standin_fixture.h"
#include "standin/script.h"

namespace hw::testing {
namespace {

using platform::msg::kClose;

TEST(StandinScript, ReadsEveryCommandAndKeepsBadLines) {
    standin::Script s = standin::ParseScript(
        "# a comment\r\nconfig-delay 2000\nwindow-delay 50\nclose-dialog 1500\nhold-file KALTORHallInfo.KLD\n"
        "active\nat 100 join Dorn 10.0.0.5 Dornak\nat 200 chat Dorn hello there all\nevery 1000 message tick\n"
        "at x join\nfly away\nat 5 dance\n");
    EXPECT_EQ(s.configDelayMs, 2000u);
    EXPECT_EQ(s.windowDelayMs, 50u);
    EXPECT_EQ(s.close, standin::Script::Close::Dialog);
    EXPECT_EQ(s.closeAnswerMs, 1500u);
    EXPECT_TRUE(s.activeAtStart);
    EXPECT_EQ(s.heldFiles, std::vector<std::string>{"KALTORHallInfo.KLD"});
    ASSERT_EQ(s.events.size(), 3u);
    EXPECT_EQ(s.events[1].rest, "Dorn hello there all");
    EXPECT_EQ(s.events[2].everyMs, 1000u);
    EXPECT_EQ(s.errors.size(), 3u);
    EXPECT_TRUE(standin::ParseScript("no-config\n").showConfig == false);
    EXPECT_EQ(standin::ParseScript("close-dialog 0\nclose-ask-after 1500\n").closeAskMs, 1500u);
}

class StandinBehaviour : public StandinFixture {};

TEST_F(StandinBehaviour, ClosesAfterItsDialogIgnoresCloseNeverShowsItsFormOrCrashes) {
    Install("close-dialog 3000\n");
    platform::Pid pid = LaunchAndSave();
    d.PostMessage(Win(server().mainForm()), kClose, 0, 0);
    d.AdvanceIdle(10);
    EXPECT_NE(d.FindWindow("#32770", "Close Server"), nullptr);
    d.AdvanceIdle(2900);
    EXPECT_TRUE(d.FindProcess(pid)->alive);
    d.AdvanceIdle(200);
    EXPECT_FALSE(d.FindProcess(pid)->alive);
    EXPECT_EQ(d.FindWindow("#32770", "Close Server"), nullptr);
    EXPECT_EQ(automation::GetProcessMainWindow(d, pid), nullptr);
    // One that ignores the close, one that crashes, and one that never shows its form.
    standins.SetScript("ignore-close\nat 1000 crash\n");
    pid = LaunchAndSave();
    d.PostMessage(Win(server().mainForm()), kClose, 0, 0);
    d.AdvanceIdle(500);
    EXPECT_TRUE(d.FindProcess(pid)->alive);
    d.AdvanceIdle(600);
    EXPECT_FALSE(d.FindProcess(pid)->alive);
    EXPECT_EQ(d.FindProcess(pid)->exitCode, 3u);

    standins.SetScript("no-config\n");
    platform::Pid quiet = Launch();
    d.AdvanceIdle(60000);
    EXPECT_TRUE(d.FindProcess(quiet)->alive);
    EXPECT_EQ(d.FindWindow("ThunderRT6FormDC", "Server Configuration"), nullptr);
}

TEST_F(StandinBehaviour, HoldsItsDataFiles) {
    Install("hold-file KALTORHallInfo.KLD\n");
    LaunchAndSave();
    EXPECT_EQ(server().DataDirectory(), kDataFolder);
    EXPECT_EQ(d.DeleteFile(kDataFolder + "KALTORHallInfo.KLD"), platform::err::kSharingViolation);
    EXPECT_FALSE(server().Active());
    EXPECT_EQ(d.DeleteFile(kDataFolder + "KALTORServerMonsters.KLD"), 0);
    d.WriteFile(kDataFolder + "KALTORServerMonsters.KLD");
    Click(Descendant(Win(server().mainForm()), "Activate Server"));
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(d.DeleteFile(kDataFolder + "KALTORServerMonsters.KLD"), platform::err::kSharingViolation);
    EXPECT_EQ(automation::GetControlText(d, Win(server().localStatus())), "ACTIVE - 0 players");
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    EXPECT_EQ(automation::GetControlText(d, Win(server().localStatus())), "NOT ACTIVE");
    EXPECT_EQ(d.DeleteFile(kDataFolder + "KALTORServerMonsters.KLD"), 0);
}

TEST_F(StandinBehaviour, PlayersComeAndGoAndLinesArrive) {
    Install("at 1000 join Dorn 10.0.0.5 Dornak\nat 2000 join Ysra 10.0.0.6 Ysra\nat 3000 leave Dorn\n"
            "at 4000 chat Ysra hello everyone\n");
    LaunchAndSave();
    d.AdvanceIdle(1500);
    EXPECT_EQ(server().players().size(), 1u);
    d.AdvanceIdle(3000);
    ASSERT_EQ(server().players().size(), 1u);
    EXPECT_EQ(server().players()[0].name, "Ysra");
    const auto& lines = host().Lines(server().messageList());
    EXPECT_NE(lines.back().find("--  --Ysra \"hello everyone\""), std::string::npos) << lines.back();
}

}  // namespace
}  // namespace hw::testing
