// Start-up, close and exit of the main window, and its command surfaces:
// the tray icon's callbacks and menu, the toolbar, the player-list menu and
// the tab hint.
#include <gtest/gtest.h>

#include "native/main_window_fixture.h"
#include "schedule/catalogue.h"
#include "settings/settings.h"

namespace hw::testing {
namespace {

namespace reg = platform::reg;

class AppTest : public MainWindowTest {
protected:
    AppTest() {
        form.hWnd = d.CreateWindow(d.OwnPid(), "HarrowatchMain", "Harrowatch", 0);
        form.popup = [this](ui::PopupMenu& m) { popups.push_back(&m); };
    }
    std::string Stored(const settings::Setting& s) { return settings::ReadSetting(d, s).ToText(); }
    bool Stored(const settings::Setting& s, std::uint32_t& type) {
        std::vector<std::uint8_t> data;
        return d.PeekValue(platform::kHkeyLocalMachine, s.key, s.name, type, data);
    }
    // Counts the registry changes while it lives.
    int WatchWrites() {
        d.registryFault = [this](const std::string& op, const std::string&, const std::string&) {
            if (!platform::sim::SimDesktop::IsRegistryRead(op)) ++writes;
            return 0L;
        };
        return 0;
    }
    std::vector<ui::PopupMenu*> popups;
    int writes = 0;
};

TEST_F(AppTest, ASecondCopyEndsBeforeTouchingAnything) {
    Install();
    app.prevInstance = [] { return true; };
    WatchWrites();
    form.Form_Load();
    EXPECT_TRUE(app.ended);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(standins.Launches(), 0);
    EXPECT_FALSE(shell.shown);
    EXPECT_FALSE(form.window.Visible());
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "Server Status");
    EXPECT_TRUE(boxes.shown.empty());
}

// Started again while it runs in the tray: the running copy's window comes back.
TEST_F(AppTest, ASecondStartShowsTheRunningCopysWindow) {
    Start("active\n");
    form.window.SetVisible(false);
    d.Window(form.hWnd)->proc = [this](std::uint32_t m, std::uint64_t w, std::int64_t l, std::int64_t* r) {
        return form.Form_Message(m, w, l, *r);
    };
    EXPECT_TRUE(app::ShowRunningCopy(d, "HarrowatchMain"));
    EXPECT_TRUE(form.window.Visible());
    // None in this session: the second start says so instead.
    d.DestroyWindow(form.hWnd);
    EXPECT_FALSE(app::ShowRunningCopy(d, "HarrowatchMain"));
}

TEST_F(AppTest, FirstRunWritesTheThreeDefaultsAndAKnownMachineNothing) {
    d.RegDeleteKey(platform::kHkeyLocalMachine, settings::kSettingsKey);
    Start("active\n");
    std::uint32_t type = 0;
    EXPECT_EQ(Stored(settings::kTimerInterval), "5000");
    ASSERT_TRUE(Stored(settings::kTimerInterval, type));
    EXPECT_EQ(type, reg::kSz);
    ASSERT_TRUE(Stored(settings::kAutoStart, type));
    EXPECT_EQ(type, reg::kDword);
    EXPECT_EQ(Stored(settings::kAutoStart), "1");
    EXPECT_EQ(Stored(settings::kHideKaltorWindow), "1");
    EXPECT_FALSE(Stored(settings::kRememberKaltorWindow, type));

    // The load order as the operator sees it: hidden while loading, the
    // tray icon up once the server runs, the window shown at the end.
    EXPECT_TRUE(form.window.Visible());
    EXPECT_TRUE(shell.shown);
    ASSERT_FALSE(shell.calls.empty());
    EXPECT_EQ(shell.calls[0].message, ui::kNimAdd);
    EXPECT_EQ(shell.calls[0].data.szTip, "Harrowatch");  // the program's name until the label changes
    EXPECT_TRUE(form.Toolbar.Enabled());
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_FALSE(form.SSTab.TabEnabled(3));
    EXPECT_FALSE(form.Editor.cmbFrequency.placement.visible);
    ASSERT_EQ(form.Editor.cmbFrequency.Entries().size(), 5u);
    EXPECT_EQ(form.Editor.cmbFrequency.Entries()[3].text, "Every Restart");
    EXPECT_EQ(form.Editor.cmbFrequency.ItemData(3), 3);

    // A second start on the same machine writes nothing while loading.
    app::frmMain second(d, boxes, shell, cancel, app);
    WatchWrites();
    second.Form_Load();
    EXPECT_EQ(writes, 0);
}

// Started (after a reboot, say) while the registry refuses to be read: an
// unreadable key is no first start, nothing is written over the settings,
// and Harrowatch comes up and supervises the server all the same.
TEST_F(AppTest, ARegistryThatCannotBeReadAtStartIsNoFirstStart) {
    Install();
    d.registryFault = [this](const std::string& op, const std::string& key, const std::string&) {
        const bool read = platform::sim::SimDesktop::IsRegistryRead(op);
        writes += !read && key.rfind(settings::kSettingsKey, 0) == 0;
        return read ? platform::err::kAccessDenied : 0L;
    };
    form.Form_Load();
    EXPECT_FALSE(app.ended);
    EXPECT_EQ(writes, 0);
    d.registryFault = nullptr;
    Run(15000);
    EXPECT_EQ(standins.Launches(), 1);
    EXPECT_TRUE(boxes.shown.empty());
    bool told = false;
    for (const auto& e : form.Events.Recent())
        told |= e.id == supervision::EventId::ErrorReported && e.text.find("at start") != std::string::npos;
    EXPECT_TRUE(told);
}

TEST_F(AppTest, AStoredPositionIsHeldOnTheScreen) {
    using settings::kMainLeft, settings::kMainTop;
    const int w = form.window.Width();
    d.PokeString(platform::kHkeyLocalMachine, kMainLeft.key, "Left", std::to_string(form.screen.width - w / 2));
    d.PokeString(platform::kHkeyLocalMachine, kMainTop.key, "Top", "-300 twips");
    form.screen.monitors = {{0, 0, form.screen.width, form.screen.height},
                            {-form.screen.width, 0, 0, form.screen.height}};
    Start();
    EXPECT_EQ(form.window.Left(), form.screen.width - w);  // ends at the right edge
    EXPECT_EQ(form.window.Top(), -300);                     // negative, and on a monitor: kept

}

TEST_F(AppTest, ClosingSavesThePositionAndKeepsRunningExitStopsTheServer) {
    Start("active\n");
    form.window.TrackMoved(1500, 900);
    bool cancel = false;
    form.Form_Unload(cancel);
    EXPECT_TRUE(cancel);
    EXPECT_FALSE(form.window.Visible());
    EXPECT_EQ(Stored(settings::kMainLeft), "1500");
    EXPECT_EQ(Stored(settings::kMainTop), "900");
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_TRUE(shell.shown);
    EXPECT_FALSE(app.ended);

    // Mended: a position that cannot be written is reported, and the window
    // still only hides: it is what the tray icon talks to.
    d.registryFault = [](const std::string& op, const std::string& key, const std::string&) {
        return !platform::sim::SimDesktop::IsRegistryRead(op) && key.find("Window Position") != std::string::npos ? 5L : 0L;
    };
    cancel = false;
    form.Form_Unload(cancel);
    EXPECT_TRUE(cancel);
    ASSERT_TRUE(OneBoxSaying(boxes, {" - Form_Unload"}));
    EXPECT_TRUE(form.RefreshTimer.Enabled());

    // Exit stops the server first, and keeps the position.
    d.registryFault = nullptr;
    form.window.TrackMoved(600, 450);
    form.sysExit_Click();
    EXPECT_TRUE(app.ended);
    EXPECT_EQ(ServerPid(), platform::Pid{});
    EXPECT_FALSE(shell.shown);
    EXPECT_EQ(form.Harrowatch, nullptr);
    EXPECT_EQ(Stored(settings::kMainLeft), "600");
    Run(20000);  // nothing runs any more: no relaunch
    EXPECT_EQ(standins.Launches(), 1);
}

TEST_F(AppTest, ExitWithTheServerGoneOrRefusingToStop) {
    Start("ignore-close\n");
    form.sysExit_Click();
    EXPECT_FALSE(app.ended);  // the server still runs: everything stays up
    // and the operator is told why the exit did not happen
    ASSERT_TRUE(OneBoxSaying(boxes, {"The server did not close"}));
    EXPECT_NE(d.FileContent(form.Log.TodaysFile()).find("The server did not close"), std::string::npos);
    EXPECT_NE(ServerPid(), platform::Pid{});
    EXPECT_TRUE(shell.shown);
    ASSERT_NE(form.Harrowatch, nullptr);
    d.KillProcess(ServerPid());
    form.sysExit_Click();
    EXPECT_TRUE(app.ended);
    EXPECT_EQ(standins.Launches(), 1);  // mended: not launched again only to be closed
    EXPECT_FALSE(shell.shown);
}

// Exit chosen from the tray while a reset waits for its dialog: the wait
// ends, the reset unwinds, and only then does the exit go on.
TEST_F(AppTest, ExitDuringAWaitEndsTheWaitAndThenExits) {
    d.PokeString(platform::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Public Messages|12/06/26 08:00 AM");
    Install("dialogs none\n");
    bool controllerAliveAtExit = false;
    d.ScheduleAt(5000, d.OwnPid(), [&] {
        form.sysExit_Click();
        controllerAliveAtExit = form.Harrowatch != nullptr && form.ExitPending();
    });
    form.Form_Load();
    Run(15000);
    EXPECT_TRUE(controllerAliveAtExit);
    EXPECT_TRUE(app.ended);
    EXPECT_EQ(ServerPid(), platform::Pid{});
    EXPECT_LT(d.NowMs(), server::clsHarrowatch::kDialogWaitMs);  // the reset did not wait its time out
    EXPECT_FALSE(shell.shown);
}

TEST_F(AppTest, DuringAnExitTheToolbarCannotShowTheServer) {
    Start("close-dialog 0\n");
    bool shownDuring = true;
    d.ScheduleAt(d.NowMs() + 2000, d.OwnPid(), [&] {
        form.Toolbar_ButtonClick(app::kShowServer);
        shownDuring = d.IsWindowVisible(Win(server().mainForm()));
        const platform::Hwnd yes = Descendant(d.FindWindow("#32770", "Close Server"), "&Yes");
        d.PostMessage(yes, platform::msg::kLButtonDown, 0, 0);
        d.PostMessage(yes, platform::msg::kLButtonUp, 0, 0);
    });
    form.sysExit_Click();
    EXPECT_FALSE(shownDuring);
    EXPECT_TRUE(app.ended);
    EXPECT_EQ(ServerPid(), platform::Pid{});
}

TEST_F(AppTest, NoPollStartsInsideACommandsWait) {
    Start("active\nconfig-delay 3000\n");
    Run(61000);
    d.KillProcess(ServerPid());
    // Show launches the server at once and waits for its form; a tick that
    // comes meanwhile (the chat window restarts the timer) starts no cycle.
    std::string during;
    d.ScheduleAt(d.NowMs() + 1000, d.OwnPid(), [&] {
        form.RefreshTimer_Timer();
        during = form.lblStatusLocalServer.Text();
    });
    form.Toolbar_ButtonClick(app::kShowServer);
    EXPECT_EQ(during, "STARTING KALTOR....");
    EXPECT_EQ(standins.Launches(), 2u);
    Run(6000);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "ACTIVE - 0 players");  // the polls go on after it
}

TEST_F(AppTest, TrayCallbacksActivationCommandsAndMenuStates) {
    Start();
    bool cancel = false;
    form.Form_Unload(cancel);
    for (int mouse : {512, 513, 514, 516, 518}) form.Form_MouseMove(0, 0, static_cast<float>(mouse), 0);
    EXPECT_FALSE(form.window.Visible());
    EXPECT_TRUE(popups.empty());

    form.window.SetState(ui::WindowState::Minimized);
    form.Form_MouseMove(0, 0, 515, 0);
    EXPECT_TRUE(form.window.Visible());
    EXPECT_EQ(form.window.State(), ui::WindowState::Normal);
    EXPECT_EQ(form.window.shows, 1);
    EXPECT_EQ(d.ForegroundWindow(), form.hWnd);

    form.Form_MouseMove(0, 0, 517, 0);
    ASSERT_EQ(popups.size(), 1u);
    ASSERT_EQ(popups[0], &form.mnuSystemTray);
    std::vector<std::string> captions;
    for (const ui::MenuItem& i : form.mnuSystemTray.items) captions.push_back(i.caption + (i.isDefault ? "*" : ""));
    EXPECT_EQ(captions, (std::vector<std::string>{"Chat on Server", "-", "Start Server", "Stop Server",
                                                  "Configuration...", "Open Log Folder", "-", "&Exit Harrowatch*"}));
    // The log folder is made when it is not there yet, then shown.
    std::string shownFolder;
    form.openFolder = [&](const std::string& folder) { shownFolder = folder; };
    form.mnuSystemTray.Find("sysOpenLog")->onClick();
    EXPECT_EQ(shownFolder, "C:\\ProgramData\\Harrowatch\\Logs");
    EXPECT_TRUE(d.HasFolder(shownFolder));

    // Under the open configuration dialog the restore leaves out its show.
    form.runConfigModal = [&](settings::frmConfig&) {
        form.window.SetVisible(false);
        form.Form_MouseMove(0, 0, 515, 0);
    };
    form.sysConfigue_Click();
    EXPECT_EQ(form.window.shows, 1);
    // Activation commands and the menu states they leave (the stand-in starts inactive).
    const int raises = form.window.zOrderRaises;
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    EXPECT_TRUE(form.mnuSystemTray.Find("sysStartServer")->enabled);
    EXPECT_FALSE(form.mnuSystemTray.Find("sysStopServer")->enabled);
    form.mnuSystemTray.Find("sysStartServer")->onClick();
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "ACTIVE - 0 players");  // the refresh after it shows it at once
    EXPECT_FALSE(form.mnuSystemTray.Find("sysStartServer")->enabled);
    EXPECT_TRUE(form.mnuSystemTray.Find("sysStopServer")->enabled);
    EXPECT_TRUE(form.RefreshTimer.Enabled());

    form.Toolbar.onClick(app::kStopServer);
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "NOT ACTIVE");
    EXPECT_EQ(form.window.zOrderRaises, raises + 1);

    // Showing and hiding the server's window, with no refresh.
    const platform::Hwnd main = automation::GetProcessMainWindow(d, ServerPid());
    form.lblStatusLocalServer.SetText("before");
    form.Toolbar.onClick(app::kShowServer);
    EXPECT_TRUE(d.IsWindowVisible(main));
    form.Toolbar.onClick(app::kHideServer);
    EXPECT_FALSE(d.IsWindowVisible(main));
    EXPECT_EQ(form.lblStatusLocalServer.Text(), "before");
    form.Toolbar.onClick(9);  // no command, still on top
    EXPECT_EQ(form.window.zOrderRaises, raises + 4);
}

TEST_F(AppTest, TheConfigurationDialogLeavesSupervisionOnAndTakesEffectAtOnce) {
    Start("active\nat 3000 join Dorn 10.0.0.5 Dornak\n");
    bool timerOffMeanwhile = false;
    form.runConfigModal = [&](settings::frmConfig& dialog) {
        timerOffMeanwhile = !form.RefreshTimer.Enabled();
        Run(30000);  // the operator leaves the dialog open
        EXPECT_EQ(form.StatusBar.Panel(2), "1 PLAYER ONLINE");
        d.KillProcess(ServerPid());
        Run(60000);
        EXPECT_NE(ServerPid(), platform::Pid{});  // relaunched meanwhile
        dialog.txtTimerInterval.TrackText("1500");
        dialog.btnApply_Click();
    };
    form.mnuSystemTray.Find("sysConfigue")->onClick();
    EXPECT_FALSE(timerOffMeanwhile);
    EXPECT_EQ(standins.Launches(), 2u);
    EXPECT_EQ(Stored(settings::kTimerInterval), "1500");
    EXPECT_EQ(form.RefreshTimer.Interval(), 1500u);
    EXPECT_TRUE(form.RefreshTimer.Enabled());
    EXPECT_FALSE(form.ConfigVisible());
}

TEST_F(AppTest, TabHintAndPlayerListMenu) {
    Start();
    form.SSTab.Select(2);
    EXPECT_EQ(form.StatusBar.Panel(1), "Select items to reset or drag to schedule...");
    form.SSTab.Select(3);  // switched off
    EXPECT_EQ(form.SSTab.Selected(), 2);
    form.SSTab.Select(1);
    EXPECT_EQ(form.StatusBar.Panel(1), "");

    form.PlayerListView_MouseDown(1, 0, 10, 10);
    EXPECT_TRUE(popups.empty());
    form.PlayerListView_MouseDown(2, 0, 10, 10);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], &form.mnuListView);
    EXPECT_FALSE(form.mnuListView.Find("lvViewCharacter")->enabled);
    EXPECT_FALSE(form.mnuListView.Find("lvDisconnectUser")->enabled);

    int opened = 0, shown = 0;
    form.onChatOpen = [&](chat::frmMessage&) { ++opened; };
    form.onChatShow = [&](chat::frmMessage&) { ++shown; };
    form.mnuListView.Find("lvServerMessage")->onClick();
    form.mnuSystemTray.Find("sysChatServer")->onClick();  // the same window again
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(shown, 1);
    ASSERT_NE(form.Chat, nullptr);
    EXPECT_FALSE(form.Chat->Closed());
    // Closed and opened again: the old window is let go before its model.
    int released = 0;
    form.onChatRelease = [&](chat::frmMessage& old) { released += old.Closed(); };
    form.Chat->RequestClose();
    form.sysChatServer_Click();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(opened, 2);
}

// At a first start with the registry refusing everything, Harrowatch comes
// up all the same and says what it could not store.
TEST_F(AppTest, ARegistryThatRefusesEverythingAtFirstStartEndsNothing) {
    Install();
    d.RegDeleteKey(platform::kHkeyLocalMachine, settings::kSettingsKey);
    d.registryFault = [](const std::string&, const std::string&, const std::string&) { return 5L; };
    form.Form_Load();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(app.ended);
    EXPECT_TRUE(shell.shown);
    ASSERT_FALSE(form.Events.Recent().empty());
    EXPECT_NE(form.Events.Recent().front().text.find("TimerInterval"), std::string::npos);
}

}  // namespace
}  // namespace hw::testing
