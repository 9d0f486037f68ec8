// The server controller: starting, stopping, activating, hiding and showing
// the stand-in server, with the status events each step raises.
#include <gtest/gtest.h>

#include "native/controller_fixture.h"

namespace hw::testing {
namespace {

using Events = std::vector<std::string>;
constexpr const char* kOn = "ENABLE_TIMER -1";
constexpr const char* kOff = "ENABLE_TIMER 0";

using supervision::EventId;

class ControllerTest : public ControllerFixture {
protected:
    ControllerTest() { controller.events = &told; }
    // The texts of the supervision events of one kind, in order.
    std::vector<std::string> Told(EventId id) {
        std::vector<std::string> texts;
        for (const supervision::Event& e : told.Recent())
            if (e.id == id) texts.push_back(e.text);
        return texts;
    }
    // Presses a button of the server's "Close Server" question, as the operator does.
    void Answer(const std::string& button) {
        const platform::Hwnd b = Descendant(d.FindWindow("#32770", "Close Server"), button);
        ASSERT_NE(b, nullptr);
        d.PostMessage(b, platform::msg::kLButtonDown, 0, 0);
        d.PostMessage(b, platform::msg::kLButtonUp, 0, 0);
    }
    supervision::Events told;
};

TEST_F(ControllerTest, StartsSavesAndHidesTheServer) {
    Install("window-delay 500\n");
    const platform::Pid pid = controller.StartServer();
    ASSERT_NE(pid, platform::Pid{});
    EXPECT_EQ(pid, ServerPid());
    EXPECT_EQ(events, (Events{kOff, "UPDATE_STATUS STARTING KALTOR.... 0", "ENABLE_TOOLBAR 0", "ENABLE_TOOLBAR -1",
                              kOff, kOn,  // the hide step starts the (running) server again
                              kOn}));
    EXPECT_EQ(server::gInstallDirectory, kGameFolder);
    EXPECT_EQ(d.FindWindow("ThunderRT6FormDC", "Server Configuration"), nullptr);  // saved
    EXPECT_FALSE(d.IsWindowVisible(Win(server().mainForm())));
    EXPECT_NE(Descendant(Win(server().mainForm()), "KALTOR Server"), nullptr);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(controller.Busy());
    // The waits pause between looks instead of spinning.
    EXPECT_GT(d.SleptMs(), 1000u);

    events.clear();
    EXPECT_EQ(controller.StartServer(), pid);
    EXPECT_EQ(events, (Events{kOff, kOn}));
    EXPECT_EQ(standins.Launches(), 1u);
}

TEST_F(ControllerTest, AStartThatFailsReturnsNoServer) {
    // The server comes up with higher rights than Harrowatch: the press of
    // its "&Save" is refused, and the start ends in an error.
    Install("window-delay 500\n");
    d.SetIntegrity(d.OwnPid(), platform::proc::kIntegrityMedium);
    d.ScheduleAt(100, 0, [&] { d.SetIntegrity(ServerPid(), platform::proc::kIntegrityHigh); });
    EXPECT_EQ(controller.StartServer(), platform::Pid{});  // the result as at entry, not the server's id
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find(server::kServerElevatedText), std::string::npos);
    EXPECT_NE(boxes.shown[0].text.find(" - StartServer"), std::string::npos);
    EXPECT_EQ(events.back(), kOn);
}

TEST_F(ControllerTest, InstallDirectoryRules) {
    Install();
    for (const char* dir : {"C:\\Games\\Kaltor Online", "  C:\\Games\\Kaltor Online\\  "}) {
        SetInstallDir(dir);
        controller.StartServer();
        EXPECT_EQ(server::gInstallDirectory, kGameFolder) << dir;
    }
    d.KillProcess(ServerPid());
    SetInstallDir("   ");
    events.clear();
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(server::gInstallDirectory, "C:\\Program Files\\Harrowatch\\");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "You must run Harrowatch from your Kaltor directory.");
    EXPECT_EQ(boxes.shown[0].flags & 0xFFu, 0x30u);
    EXPECT_EQ(boxes.shown[0].title, "Harrowatch");
    EXPECT_EQ(boxes.modal, 0);  // nothing waits for its OK
    // The poll goes on, and the box is not shown again for the same place.
    EXPECT_EQ(events, (Events{kOff, "UPDATE_STATUS KALTOR NOT FOUND 0", kOn}));
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(boxes.shown.size(), 1u);

    // A read of the folder that fails is no folder left unset: the server
    // is not looked for beside Harrowatch, and the operator is not told to
    // move it. With no folder known yet, the next poll asks again.
    SetInstallDir("C:\\Games\\Kaltor Online");
    server::gInstallDirectory.clear();
    d.registryFault = Refuse("query", 5L, "INSTDIR");
    events.clear();
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(server::gInstallDirectory, "");
    EXPECT_EQ(events.back(), kOn);
    EXPECT_NE(std::find(events.begin(), events.end(), "UPDATE_STATUS KALTOR FOLDER UNKNOWN 0"), events.end());
    d.registryFault = nullptr;
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    // Once known, the folder read last serves while a read fails.
    d.KillProcess(ServerPid());
    d.registryFault = Refuse("query", 1450L, "INSTDIR");
    EXPECT_NE(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(server::gInstallDirectory, kGameFolder);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(ControllerTest, WithoutAutoStartOrHideTheServerStaysInSight) {
    Setting("AutoStart", 0);
    Install();
    const std::uint64_t start = d.NowMs();
    const platform::Pid pid = controller.StartServer();
    ASSERT_NE(pid, platform::Pid{});
    EXPECT_NE(d.FindWindow("ThunderRT6FormDC", "Server Configuration"), nullptr);
    EXPECT_TRUE(d.IsWindowVisible(Win(server().mainForm())));
    // One settle pass of a second with nothing changing, then it gives up.
    EXPECT_GE(d.NowMs() - start, 1000u);
    EXPECT_LT(d.NowMs() - start, 2500u);
    EXPECT_EQ(events.back(), kOn);

    // Saved but not hidden: the window stays shown.
    d.KillProcess(pid);
    Setting("AutoStart", 1);
    Setting("HideKaltorWindow", 0);
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(d.FindWindow("ThunderRT6FormDC", "Server Configuration"), nullptr);
    EXPECT_TRUE(d.IsWindowVisible(Win(server().mainForm())));
}

TEST_F(ControllerTest, AServerGoneWhileStartingIsLaunchedAgainByTheNextPoll) {
    Install("no-config\n");
    d.ScheduleAt(2000, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(events.back(), kOn);  // monitoring goes on
    EXPECT_GE(d.NowMs(), 2000u);

    // Gone while the Save button is awaited: a form without one.
    events.clear();
    Setting("HideKaltorWindow", 0);
    d.ScheduleAt(d.NowMs() + 100, d.OwnPid(), [&] {
        d.CreateWindow(ServerPid(), "ThunderRT6FormDC", "Server Configuration", 0);
    });
    d.ScheduleAt(d.NowMs() + 3000, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(events.back(), kOn);

    // A shutdown ends the wait for the form.
    const std::uint64_t start = d.NowMs();
    d.ScheduleAt(start + 1500, d.OwnPid(), [&] { cancel.Raise(); });
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_LT(d.NowMs() - start, 1600u);
}

TEST_F(ControllerTest, HideShowAndToggle) {
    const platform::Pid pid = Started();
    const platform::Hwnd main = Win(server().mainForm());
    controller.ShowServerWindow();
    EXPECT_TRUE(d.IsWindowVisible(main));
    EXPECT_EQ(d.Window(main)->x, 100);
    EXPECT_EQ(d.Window(main)->width, 700);
    EXPECT_EQ(d.Window(main)->height, 600);
    controller.HideServerWindow();
    EXPECT_FALSE(d.IsWindowVisible(main));

    controller.ToggleServer(true);
    d.AdvanceIdle(10);
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(automation::GetControlText(d, Win(server().localStatus())), "ACTIVE - 0 players");
    controller.ToggleServer(false);
    d.AdvanceIdle(10);
    EXPECT_FALSE(server().Active());
    EXPECT_EQ(pid, ServerPid());

    // Deactivating a server that does not run does not start it; activating does.
    d.KillProcess(pid);
    events.clear();
    controller.ToggleServer(false);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ServerPid(), platform::Pid{});
    controller.ToggleServer(true);
    d.AdvanceIdle(10);
    EXPECT_NE(ServerPid(), platform::Pid{});
    EXPECT_TRUE(server().Active());
}

TEST_F(ControllerTest, StopServerWaitsForTheCloseDialog) {
    Started("close-dialog 4000\n");
    const std::uint64_t start = d.NowMs();
    const std::string answers = "SERVER_ANSWERS " + std::to_string(ServerPid().value());
    EXPECT_TRUE(controller.StopServer());
    EXPECT_GE(d.NowMs() - start, 4000u);
    // The timer stays off (a poll would start it again); the server answering
    // the stop's look is told once.
    EXPECT_EQ(events, (Events{kOff, answers}));
    EXPECT_EQ(ServerPid(), platform::Pid{});

    events.clear();
    EXPECT_TRUE(controller.StopServer());
    EXPECT_EQ(events, Events{kOff});
}

TEST_F(ControllerTest, AServerCrashingWhileItSettlesOrAsksToCloseEndsTheWait) {
    Install("window-delay 5000\n");  // the window set is slow to settle
    d.ScheduleAt(800, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    EXPECT_NE(controller.StartServer(), platform::Pid{});  // it ran; the next poll finds it gone
    EXPECT_LT(d.NowMs(), 4000u);
    EXPECT_EQ(ServerPid(), platform::Pid{});

    standins.SetScript("close-dialog 0\n");  // only the operator answers
    controller.StartServer();
    events.clear();
    d.ScheduleAt(d.NowMs() + 5000, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    const std::string answers = "SERVER_ANSWERS " + std::to_string(ServerPid().value());
    EXPECT_TRUE(controller.StopServer());
    EXPECT_EQ(events, (Events{kOff, answers}));
}

TEST_F(ControllerTest, AServerThatDiesBeforeTheFirstLookIsSeenEndingWithItsCode) {
    platform::sim::ProgramSpec spec;
    spec.onStart = [](platform::sim::SimDesktop& sd, platform::Pid pid) { sd.KillProcess(pid, 7); };
    d.InstallProgram(kServerPath, spec);
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    const std::vector<std::string> ended = Told(EventId::ServerEnded);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_NE(ended[0].find("exit code 7"), std::string::npos) << ended[0];
    ASSERT_EQ(Told(EventId::RelaunchDelayed).size(), 1u);
    EXPECT_EQ(controller.QuickEnds(), 1);
    // The next poll finds it held back rather than launching it again.
    EXPECT_TRUE(controller.RelaunchHeld());
    d.AdvanceIdle(5000);
    EXPECT_FALSE(controller.RelaunchHeld());
    EXPECT_EQ(controller.StartServer(), platform::Pid{});
    EXPECT_EQ(Told(EventId::ServerEnded).size(), 2u);
    EXPECT_EQ(controller.QuickEnds(), 2);
    EXPECT_TRUE(controller.RelaunchHeld());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ControllerTest, AStopThatDoesNotHappenLeavesTheNextEndACrash) {
    // The server ignores the close: left running after ten seconds. Later it crashes.
    Started("ignore-close\n");
    const std::uint64_t start = d.NowMs();
    EXPECT_FALSE(controller.StopServer());
    EXPECT_GE(d.NowMs() - start, 10000u);
    EXPECT_LT(d.NowMs() - start, 11000u);
    const std::string answers = "SERVER_ANSWERS " + std::to_string(ServerPid().value());
    EXPECT_EQ(events, (Events{kOff, answers, kOn}));
    EXPECT_NE(ServerPid(), platform::Pid{});
    d.KillProcess(ServerPid(), 3);
    EXPECT_TRUE(controller.RelaunchHeld());  // a quick end: held back
    EXPECT_TRUE(Told(EventId::ServerStopped).empty());
    ASSERT_EQ(Told(EventId::ServerEnded).size(), 1u);
    EXPECT_NE(Told(EventId::ServerEnded)[0].find("exit code 3"), std::string::npos);

    // The operator answers No to the server's question; later it crashes.
    standins.SetScript("close-dialog 0\n");
    d.AdvanceIdle(10000);
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    d.ScheduleAt(d.NowMs() + 2000, d.OwnPid(), [&] { Answer("&No"); });
    EXPECT_FALSE(controller.StopServer());
    d.KillProcess(ServerPid(), 3);
    EXPECT_TRUE(controller.RelaunchHeld());
    EXPECT_TRUE(Told(EventId::ServerStopped).empty());
    EXPECT_EQ(Told(EventId::ServerEnded).size(), 2u);
}

TEST_F(ControllerTest, AStopWaitsForACloseQuestionThatComesLateAndOneGivenUpOnThatHappensLaterIsAStop) {
    // The question shows a while after WM_CLOSE; the operator answers it
    // after the ten seconds a close may take.
    Started("close-dialog 0\nclose-ask-after 1500\n");
    const std::uint64_t start = d.NowMs();
    d.ScheduleAt(start + 15000, d.OwnPid(), [&] { Answer("&Yes"); });
    const std::string answers = "SERVER_ANSWERS " + std::to_string(ServerPid().value());
    EXPECT_TRUE(controller.StopServer());
    EXPECT_GE(d.NowMs() - start, 15000u);
    EXPECT_EQ(ServerPid(), platform::Pid{});
    EXPECT_EQ(events, (Events{kOff, answers}));  // the timer stays off: a poll would start it again
    EXPECT_EQ(Told(EventId::ServerStopped).size(), 1u);
    EXPECT_TRUE(Told(EventId::ServerEnded).empty());

    // A stop Harrowatch gave up on, whose question the operator answers Yes
    // long after: its end is the stop it was asked for, not a crash. First
    // the question unanswered for longer than a stop waits.
    standins.SetScript("close-dialog 0\n");
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    EXPECT_FALSE(controller.StopServer());
    d.AdvanceIdle(5 * 60000);
    Answer("&Yes");
    d.AdvanceIdle(1000);
    EXPECT_FALSE(controller.RelaunchHeld());
    EXPECT_EQ(Told(EventId::ServerStopped).size(), 2u);
    EXPECT_TRUE(Told(EventId::ServerEnded).empty());
    EXPECT_EQ(controller.QuickEnds(), 0);

    // The question shows only after the stop has given up.
    standins.SetScript("close-dialog 0\nclose-ask-after 30000\n");
    ASSERT_NE(controller.StartServer(), platform::Pid{});
    EXPECT_FALSE(controller.StopServer());
    d.AdvanceIdle(60000);
    Answer("&Yes");
    d.AdvanceIdle(1000);
    EXPECT_FALSE(controller.RelaunchHeld());
    EXPECT_EQ(Told(EventId::ServerStopped).size(), 3u);
    EXPECT_TRUE(Told(EventId::ServerEnded).empty());
}

}  // namespace
}  // namespace hw::testing
