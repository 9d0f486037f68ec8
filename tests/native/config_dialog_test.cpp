// The configuration dialog against the simulated registry.
#include <gtest/gtest.h>

#include "app/unregister.h"
#include "native/boxes.h"
#include "native/registry_faults.h"
#include "platform/sim/sim_desktop.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "supervision/event_log.h"

namespace hw::testing {
namespace {

using namespace settings;

class ConfigDialogTest : public ::testing::Test {
protected:
    ConfigDialogTest() {
        d.SetOwnModuleFileName("C:\\Program Files\\Harrowatch\\hw-renamed.exe");
        main.Move(3000, 1500);
        mainTimer.SetInterval(5000);
    }
    frmConfig& Open() {
        dialog = std::make_unique<frmConfig>(d, boxes, main, mainTimer);
        dialog->Form_Load();
        return *dialog;
    }
    void Poke(const Setting& s, const std::string& text) {
        d.PokeString(platform::kHkeyLocalMachine, s.key, s.name, text);
    }
    void PokeDword(const Setting& s, std::uint8_t v) {
        d.PokeValue(platform::kHkeyLocalMachine, s.key, s.name, platform::reg::kDword, {v, 0, 0, 0});
    }
    bool Has(const Setting& s) {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        return d.PeekValue(platform::kHkeyLocalMachine, s.key, s.name, type, data);
    }
    std::string Stored(const Setting& s) { return ReadSetting(d, s).ToText(); }

    platform::sim::SimDesktop d;
    ui::RecordingMessageBoxes boxes;
    ui::Window main{6000, 5000};
    ui::Timer mainTimer{d};
    std::unique_ptr<frmConfig> dialog;
};

TEST_F(ConfigDialogTest, OpensOverTheMainWindowWithWhatIsStored) {
    frmConfig& c = Open();  // a machine without any setting
    EXPECT_EQ(c.txtTimerInterval.Text(), "5000");
    EXPECT_EQ(c.chkAutoStart.Value(), 1);
    EXPECT_EQ(c.chkHideWindow.Value(), 1);
    EXPECT_EQ(c.chkWindowsStartup.Value(), 0);
    EXPECT_EQ(c.chkRememberKaltorWindow.Value(), 1);
    EXPECT_EQ(c.window.Left(), 3000 + 3000 - kConfigWidth / 2);
    EXPECT_EQ(c.window.Top(), 1500 + 2500 - kConfigHeight / 2);
    EXPECT_TRUE(main.Visible());  // a hidden main window is shown...
    c.btnCancel_Click();
    EXPECT_FALSE(main.Visible());  // ...and hidden again
    EXPECT_TRUE(c.Closed());
    EXPECT_FALSE(Has(kTimerInterval));

    Poke(kTimerInterval, "250");
    PokeDword(kAutoStart, 0);
    PokeDword(kRememberKaltorWindow, 0);
    // A Run entry alone does not start an elevated program at log-on: the
    // box does not claim it does.
    Poke(kRunEntry, "\"D:\\Elsewhere\\Other.exe\"");
    frmConfig& again = Open();
    EXPECT_EQ(again.txtTimerInterval.Text(), "250");
    EXPECT_EQ(again.chkAutoStart.Value(), 0);
    EXPECT_EQ(again.chkHideWindow.Value(), 1);
    EXPECT_EQ(again.chkRememberKaltorWindow.Value(), 0);
    EXPECT_EQ(again.chkWindowsStartup.Value(), 0);
    ASSERT_EQ(d.RegisterTask(kLogonTaskName, LogonTaskXml("C:\\Program Files\\Harrowatch\\Harrowatch.exe", "")), 0);
    EXPECT_EQ(Open().chkWindowsStartup.Value(), 1);

    // Check values stored as text or of other types open without error.
    Poke(kAutoStart, "1");
    Poke(kHideKaltorWindow, "yes");
    d.PokeValue(platform::kHkeyLocalMachine, kRememberKaltorWindow.key, kRememberKaltorWindow.name,
                platform::reg::kBinary, {0xFF, 0x01});
    frmConfig& typed = Open();
    EXPECT_EQ(typed.chkAutoStart.Value(), 1);
    EXPECT_EQ(typed.chkHideWindow.Value(), 0);
    EXPECT_EQ(typed.chkRememberKaltorWindow.Value(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ConfigDialogTest, ApplyStoresEverySettingAndTheInterval) {
    main.SetVisible(true);
    frmConfig& c = Open();
    c.txtTimerInterval.TrackText("0050");
    c.chkHideWindow.SetValue(0);
    c.chkWindowsStartup.SetValue(1);
    c.btnApply_Click();
    EXPECT_TRUE(c.Closed());
    EXPECT_TRUE(main.Visible());
    EXPECT_EQ(Stored(kTimerInterval), "50");
    EXPECT_EQ(Stored(kAutoStart), "1");
    EXPECT_EQ(Stored(kHideKaltorWindow), "0");
    EXPECT_EQ(Stored(kRememberKaltorWindow), "1");
    // The quoted path of Harrowatch.exe in the running program's folder.
    EXPECT_EQ(Stored(kRunEntry), "\"C:\\Program Files\\Harrowatch\\Harrowatch.exe\"");
    EXPECT_EQ(mainTimer.Interval(), 50u);
    // And the log-on task that really starts it, elevated.
    ASSERT_EQ(d.Tasks().count("Harrowatch"), 1u);
    EXPECT_EQ(d.Tasks().at("Harrowatch"), LogonTaskXml("C:\\Program Files\\Harrowatch\\Harrowatch.exe", ""));
    EXPECT_EQ(Open().chkWindowsStartup.Value(), 1);

    frmConfig& off = Open();
    off.chkWindowsStartup.SetValue(0);
    off.txtTimerInterval.TrackText("0");
    off.btnApply_Click();
    EXPECT_FALSE(Has(kRunEntry));
    EXPECT_TRUE(d.Tasks().empty());
    EXPECT_EQ(Stored(kTimerInterval), "0");
    EXPECT_EQ(mainTimer.Interval(), 0u);

    frmConfig& none = Open();  // unchecked with no entry: nothing to delete, no error
    none.btnApply_Click();
    EXPECT_TRUE(none.Closed());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ConfigDialogTest, AFailingWriteKeepsWhatWasStoredAndTheDialogOpen) {
    frmConfig& c = Open();
    c.txtTimerInterval.TrackText("700");
    d.registryFault = Refuse("setvalue", 5L, "AutoStart");
    c.btnApply_Click();
    EXPECT_FALSE(c.Closed());
    ASSERT_TRUE(OneBoxSaying(boxes, {" - FormSave"}));
    EXPECT_EQ(Stored(kTimerInterval), "700");
    EXPECT_FALSE(Has(kAutoStart));
    EXPECT_FALSE(Has(kHideKaltorWindow));

    // A failed webhook write names the value, not the address.
    boxes.shown.clear();
    c.txtWebhookUrl.TrackText("https://hooks.example.com/services/T0KEN-s3cret");
    d.registryFault = Refuse("setvalue", 5L, "WebhookUrl");
    c.btnApply_Click();
    EXPECT_FALSE(c.Closed());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.find("T0KEN"), std::string::npos) << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].text.find("hooks.example.com"), std::string::npos) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("'WebhookUrl'"), std::string::npos) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find(" - FormSave"), std::string::npos);
}

TEST_F(ConfigDialogTest, SettingsTheRegistryCouldNotReadAtOpenAreReportedAndKeptByApply) {
    PokeDword(kWarnPlayersMinutes, 13);
    Poke(kWebhookUrl, "https://hooks.example.test/notify");
    d.registryFault = Refuse("query", 1450);
    frmConfig& c = Open();
    d.registryFault = nullptr;
    ASSERT_TRUE(OneBoxSaying(boxes, {" - FormOpen"}));
    c.txtHungRestartMinutes.TrackText("5");
    c.btnApply_Click();
    EXPECT_TRUE(c.Closed());
    EXPECT_EQ(Stored(kHungRestartMinutes), "5");
    EXPECT_EQ(Stored(kWarnPlayersMinutes), "13");
    EXPECT_EQ(Stored(kWebhookUrl), "https://hooks.example.test/notify");
}

TEST_F(ConfigDialogTest, StartAtLogOnThatCannotBeRegisteredIsReportedNotShownAsOn) {
    // Refused, as Windows refuses a task with highest privileges to a program
    // that is not elevated.
    d.taskFault = [](const std::string& op, const std::string&) {
        return op == "register" ? platform::err::kHrAccessDenied : 0L;
    };
    frmConfig& c = Open();
    c.chkWindowsStartup.SetValue(1);
    c.btnApply_Click();
    EXPECT_FALSE(c.Closed());
    ASSERT_TRUE(OneBoxSaying(boxes, {"Error Number: -2147024891", "only an administrator", " - FormSave"}));
    EXPECT_FALSE(Has(kRunEntry));
    EXPECT_EQ(Open().chkWindowsStartup.Value(), 0);
}

// The task starts Harrowatch for the operator logged on to the session, and
// only this Harrowatch.exe counts: one left starting a moved copy shows
// unchecked, and Harrowatch registers it again when it starts.
TEST_F(ConfigDialogTest, StartAtLogOnIsForTheSessionsOperatorAndThisProgram) {
    d.SetEnvironment("USERDOMAIN", "HOST");
    d.SetEnvironment("USERNAME", "admin");
    d.sessionUser = "HOST\\operator";  // a standard user; an administrator typed the password
    frmConfig& c = Open();
    c.chkWindowsStartup.SetValue(1);
    c.btnApply_Click();
    ASSERT_TRUE(OneBoxSaying(boxes, {"cannot start at log-on for HOST\\operator"}));
    EXPECT_TRUE(d.Tasks().empty());
    EXPECT_EQ(c.chkWindowsStartup.Value(), 0);

    // The session cannot be asked: an error, not the elevating account.
    boxes.shown.clear();
    d.sessionUserError = 1008;
    frmConfig& again = Open();
    again.chkWindowsStartup.SetValue(1);
    again.btnApply_Click();
    ASSERT_TRUE(OneBoxSaying(boxes, {"Windows error 1008"}));
    EXPECT_TRUE(d.Tasks().empty());

    // The administrator's own session: registered for them.
    boxes.shown.clear();
    d.sessionUserError = 0;
    d.sessionUser = "host\\ADMIN";
    frmConfig& own = Open();
    own.chkWindowsStartup.SetValue(1);
    own.btnApply_Click();
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_EQ(d.Tasks().size(), 1u);
    EXPECT_NE(d.Tasks().begin()->second.find("<UserId>host\\ADMIN</UserId>"), std::string::npos);

    // The other package's copy run once: the task stays the installed one's.
    d.SetOwnModuleFileName("C:\\Program Files (x86)\\Harrowatch\\Harrowatch.exe");
    d.WriteFile("C:\\Program Files\\Harrowatch\\Harrowatch.exe");
    EXPECT_FALSE(StartsAtLogon(d));
    EXPECT_EQ(Open().chkWindowsStartup.Value(), 0);
    EXPECT_FALSE(RepairLogonTask(d));
    // Moved: the task starts a file that is gone.
    d.DeleteFile("C:\\Program Files\\Harrowatch\\Harrowatch.exe");
    EXPECT_TRUE(RepairLogonTask(d));
    EXPECT_NE(d.Tasks().begin()->second.find("<Command>C:\\Program Files (x86)\\Harrowatch\\Harrowatch.exe</Command>"),
              std::string::npos);
    EXPECT_TRUE(StartsAtLogon(d));
    EXPECT_FALSE(RepairLogonTask(d));
}

// The task runs Harrowatch as administrator: never from where anyone else
// could replace it, put a file beside it or swap its folder.
TEST_F(ConfigDialogTest, StartAtLogOnIsRefusedForACopyThatOthersMayChange) {
    const std::string adminsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    auto tryIt = [&] {
        boxes.shown.clear();
        frmConfig& c = Open();
        c.chkWindowsStartup.SetValue(1);
        c.btnApply_Click();
        return boxes.shown.empty() ? std::string() : boxes.shown[0].text;
    };
    // A portable copy in a folder made under C:\, which every user may change.
    d.SetOwnModuleFileName("C:\\Tools\\Harrowatch\\Harrowatch.exe");
    std::string told = tryIt();
    EXPECT_NE(told.find("users who are not administrators may change C:\\Tools\\Harrowatch\\Harrowatch.exe"),
              std::string::npos) << told;
    EXPECT_TRUE(d.Tasks().empty());
    EXPECT_EQ(Open().chkWindowsStartup.Value(), 0);
    // The exe and its folder locked down, but the folder above lets users
    // rename what is in it: the folder could be swapped.
    d.SetSecurity("C:\\Tools\\Harrowatch", adminsOnly);
    d.SetSecurity("C:\\Tools\\Harrowatch\\Harrowatch.exe", adminsOnly);
    d.SetSecurity("C:\\Tools", "O:BAD:P(A;OICI;FA;;;BA)(A;;0x1301bf;;;AU)");
    told = tryIt();
    EXPECT_NE(told.find("may change C:\\Tools,"), std::string::npos) << told;
    EXPECT_TRUE(d.Tasks().empty());
    // All of it the administrators': registered.
    d.SetSecurity("C:\\Tools", adminsOnly);
    EXPECT_EQ(tryIt(), "");
    EXPECT_EQ(d.Tasks().size(), 1u);
    // The folder opened since: the task goes at Harrowatch's next start.
    d.SetSecurity("C:\\Tools\\Harrowatch", "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)");
    try {
        RepairLogonTask(d);
        ADD_FAILURE() << "a task for a program others may replace was kept";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("The task that started it at log-on was removed"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(d.Tasks().empty());
    EXPECT_FALSE(StartsAtLogon(d));
    // Behind a junction, the folder it leads to is not what the path says.
    d.SetSecurity("C:\\Tools\\Harrowatch", adminsOnly);
    d.MakeJunction("C:\\Program Files\\HW", "C:\\Tools\\Harrowatch");
    d.SetOwnModuleFileName("C:\\Program Files\\HW\\Harrowatch.exe");
    told = tryIt();
    EXPECT_NE(told.find("C:\\Program Files\\HW is a junction or link"), std::string::npos) << told;
    EXPECT_TRUE(d.Tasks().empty());
}

// The Task Scheduler refuses a program that is not elevated, or is not
// running at all: an Apply stores every value all the same, asks it only when
// the box was changed, and a refusal costs nothing else.
TEST_F(ConfigDialogTest, ApplyStoresEveryValueAndTouchesTheTaskOnlyWhenTheBoxChanged) {
    std::vector<std::string> taskCalls;
    long refusal = 0;
    d.taskFault = [&](const std::string& op, const std::string&) {
        taskCalls.push_back(op);
        return op == "get" ? 0L : refusal;
    };
    auto typeEverything = [](frmConfig& c, const std::string& n) {
        c.txtTimerInterval.TrackText(n + "00");
        c.txtHungRestartMinutes.TrackText(n);
        c.txtLogDays.TrackText(n);
        c.txtBackupDays.TrackText(n);
        c.txtBackupMaxMB.TrackText(n);
        c.txtWarnPlayersMinutes.TrackText(n);
        c.txtWebhookUrl.TrackText("https://hooks.example.com/" + n);
        c.chkHideWindow.SetValue(0);
    };
    auto expectStored = [&](const std::string& n) {
        EXPECT_EQ(Stored(kTimerInterval), n + "00");
        EXPECT_EQ(Stored(kHideKaltorWindow), "0");
        EXPECT_EQ(Stored(kHungRestartMinutes), n);
        EXPECT_EQ(Stored(kLogDays), n);
        EXPECT_EQ(Stored(kBackupDays), n);
        EXPECT_EQ(Stored(kBackupMaxMB), n);
        EXPECT_EQ(Stored(kWarnPlayersMinutes), n);
        EXPECT_EQ(Stored(kWebhookUrl), "https://hooks.example.com/" + n);
        EXPECT_EQ(mainTimer.Interval(), static_cast<std::uint64_t>(std::stoi(n) * 100));
    };

    // Registered before; the Task Scheduler now refuses every change.
    ASSERT_EQ(d.RegisterTask(kLogonTaskName, LogonTaskXml("C:\\Program Files\\Harrowatch\\Harrowatch.exe", "")), 0);
    refusal = platform::err::kHrAccessDenied;
    frmConfig& kept = Open();
    ASSERT_EQ(kept.chkWindowsStartup.Value(), 1);
    taskCalls.clear();
    typeEverything(kept, "11");
    kept.btnApply_Click();
    EXPECT_TRUE(kept.Closed());
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
    EXPECT_TRUE(taskCalls.empty()) << taskCalls[0];
    expectStored("11");
    EXPECT_EQ(d.Tasks().count(kLogonTaskName), 1u);

    // The box changed and the Task Scheduler refuses: reported, every value
    // stored, the box shows what is so, and the next Apply goes through.
    frmConfig& off = Open();
    typeEverything(off, "22");
    off.chkWindowsStartup.SetValue(0);
    off.btnApply_Click();
    ASSERT_TRUE(OneBoxSaying(boxes, {"only an administrator", " - FormSave"}));
    expectStored("22");
    EXPECT_EQ(d.Tasks().count(kLogonTaskName), 1u);
    EXPECT_EQ(off.chkWindowsStartup.Value(), 1);
    EXPECT_FALSE(off.Closed());
    boxes.shown.clear();
    off.btnApply_Click();
    EXPECT_TRUE(off.Closed());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(off.Applied());

    // No Task Scheduler at all: an error, not "off", said once when the
    // dialog opens; the Apply that leaves the box alone stores everything
    // without it.
    refusal = 0;
    d.taskFault = [](const std::string&, const std::string&) { return static_cast<long>(0x80070422u); };
    frmConfig& none = Open();
    ASSERT_TRUE(OneBoxSaying(boxes, {"0x80070422"}));
    typeEverything(none, "33");
    none.btnApply_Click();
    EXPECT_TRUE(none.Closed());
    EXPECT_EQ(boxes.shown.size(), 1u);
    expectStored("33");
}

TEST_F(ConfigDialogTest, UnregisterTakesAwayTheTaskTheRunEntryAndTheEventSourceAndKeepsTheSettings) {
    auto registerAll = [&] {
        frmConfig& c = Open();
        c.chkWindowsStartup.SetValue(1);
        c.btnApply_Click();
        ASSERT_TRUE(c.Closed());
        supervision::EventLogSink(d).Take({supervision::EventId::ServerEnded, supervision::Level::Warning, "x"});
        ASSERT_EQ(d.Tasks().count(kLogonTaskName), 1u);
        ASSERT_TRUE(Has(kRunEntry));
        ASSERT_TRUE(MachineKey(d, supervision::kEventSourceKey).KeyExists());
    };
    registerAll();
    std::string failure;
    EXPECT_TRUE(app::Unregister(d, failure)) << failure;
    EXPECT_EQ(d.Tasks().count(kLogonTaskName), 0u);
    EXPECT_FALSE(Has(kRunEntry));
    EXPECT_FALSE(MachineKey(d, supervision::kEventSourceKey).KeyExists());
    EXPECT_TRUE(Has(kAutoStart));
    EXPECT_TRUE(Has(kTimerInterval));
    EXPECT_TRUE(app::Unregister(d, failure)) << "nothing left to remove is no failure: " << failure;

    // A Task Scheduler that refuses is said; the rest is still taken away.
    registerAll();
    d.taskFault = [](const std::string& op, const std::string&) {
        return op == "delete" ? platform::err::kHrAccessDenied : 0L;
    };
    EXPECT_FALSE(app::Unregister(d, failure));
    EXPECT_NE(failure.find("the log-on task"), std::string::npos) << failure;
    EXPECT_FALSE(MachineKey(d, supervision::kEventSourceKey).KeyExists());
}

TEST(LogonTask, RunsElevatedAtTheOperatorsLogOnWithoutLimits) {
    const std::string xml = LogonTaskXml("C:\\Program Files\\A&B\\Harrowatch.exe", "HOST\\op");
    for (const char* part :
         {"<LogonTrigger><Enabled>true</Enabled><UserId>HOST\\op</UserId></LogonTrigger>",
          "<LogonType>InteractiveToken</LogonType><RunLevel>HighestAvailable</RunLevel>",
          "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>", "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
          "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>", "<RunOnlyIfIdle>false</RunOnlyIfIdle>",
          "<StopOnIdleEnd>false</StopOnIdleEnd>", "<Priority>4</Priority>", "<Command>C:\\Program Files\\A&amp;B\\Harrowatch.exe</Command>"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    EXPECT_EQ(LogonTaskXml("C:\\H.exe", "").find("<UserId>"), std::string::npos);
}

TEST_F(ConfigDialogTest, EveryBoxValidatesShowsAndStoresItsNumber) {
    Poke(kTimerInterval, "5000");
    PokeDword(kLogDays, 7);
    Poke(kBackupDays, "not a number");  // shown as its default
    PokeDword(kBackupMaxMB, 0);          // out of range: its default too
    frmConfig& c = Open();
    EXPECT_EQ(c.txtHungRestartMinutes.Text(), "0");
    EXPECT_EQ(c.txtLogDays.Text(), "7");
    EXPECT_EQ(c.txtBackupDays.Text(), "30");
    EXPECT_EQ(c.txtBackupMaxMB.Text(), "2048");
    EXPECT_EQ(c.txtRestartDailyAt.Text(), "");
    EXPECT_EQ(c.txtRestartAboveMB.Text(), "0");
    // The interval box takes digits only.
    for (std::int16_t k : std::initializer_list<std::int16_t>{'a', 'Z', ' ', '-', '.', '+', ':', '0', '9', 8, 13}) {
        std::int16_t key = k;
        c.txtTimerInterval_KeyPress(key);
        EXPECT_EQ(key, (k >= '0' && k <= '9') || k == 8 || k == 13 ? k : 0) << k;
    }
    struct Case {
        ui::TextBox frmConfig::*box;
        std::string typed, message;
    };
    // The timer cannot take more than 65535 ms, and pasted words would read
    // as 0 and silently stop monitoring.
    for (const Case& k : {Case{&frmConfig::txtTimerInterval, "", kNoIntervalText},
                          Case{&frmConfig::txtTimerInterval, "70000", kIntervalTooLongText},
                          Case{&frmConfig::txtTimerInterval, "fast", kIntervalNotNumberText},
                          Case{&frmConfig::txtTimerInterval, "12 ms", kIntervalNotNumberText},
                          Case{&frmConfig::txtRestartDailyAt, "25:10", kRestartDailyAtText},
                          Case{&frmConfig::txtRestartAboveMB, "70000", kRestartAboveMBText},
                          Case{&frmConfig::txtHungRestartMinutes, "1441", kHungMinutesText},
                          Case{&frmConfig::txtLogDays, "-1", kLogDaysText},
                          Case{&frmConfig::txtBackupDays, "ten", kBackupDaysText},
                          Case{&frmConfig::txtBackupMaxMB, "0", kBackupMaxMBText},
                          Case{&frmConfig::txtBackupMaxMB, "65537", kBackupMaxMBText},
                          Case{&frmConfig::txtBackupMaxMB, "", kBackupMaxMBText},
                          Case{&frmConfig::txtWarnPlayersMinutes, "2000", kWarnMinutesText},
                          Case{&frmConfig::txtWebhookUrl, "ftp://example.net/x", kWebhookUrlText},
                          Case{&frmConfig::txtWebhookUrl, "https:///no-host", kWebhookUrlText},
                          Case{&frmConfig::txtMetricsFolder, "Metrics", kMetricsFolderText},
                          Case{&frmConfig::txtMetricsFolder, "C:\\No Such Folder", kMetricsFolderText},
                          Case{&frmConfig::txtMetricsFolder, "C:\\Metrics\\a*b", kMetricsFolderText}}) {
        boxes.shown.clear();
        frmConfig& bad = Open();
        (bad.*k.box).TrackText(k.typed);
        bad.btnApply_Click();
        EXPECT_FALSE(bad.Closed()) << k.typed;
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, k.message);
        EXPECT_EQ(boxes.shown[0].flags & 0xFFu, 48u);  // and nothing waits for its OK
        EXPECT_EQ(boxes.shown[0].title, "Harrowatch");
        EXPECT_EQ((bad.*k.box).focusRequests, 1);
    }
    EXPECT_EQ(Stored(kTimerInterval), "5000");
    EXPECT_EQ(mainTimer.Interval(), 5000u);
    EXPECT_FALSE(Has(kRestartDailyAt));
    EXPECT_FALSE(Has(kRestartAboveMB));
    d.MakeFolder("C:\\Metrics");
    frmConfig& good = Open();
    EXPECT_EQ(good.txtMetricsFolder.Text(), "");  // missing: off
    good.txtMetricsFolder.TrackText(" C:\\Metrics\\ ");
    good.txtHungRestartMinutes.TrackText("15");
    good.txtLogDays.TrackText("90");
    good.txtBackupMaxMB.TrackText(" 512 ");
    good.txtWarnPlayersMinutes.TrackText("10");
    good.txtWarnPlayersText.TrackText("Restart in {minutes} min");
    good.chkNotifications.SetValue(0);
    good.txtWebhookUrl.TrackText("HTTPS://Hooks.Example.net:8443/T0/secret?x=1");
    good.txtRestartDailyAt.SetText("4:05");
    good.txtRestartAboveMB.SetText("2048");
    good.btnApply_Click();
    EXPECT_TRUE(good.Applied());
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(d.PeekValue(platform::kHkeyLocalMachine, kSettingsKey, "HungRestartMinutes", type, data));
    EXPECT_EQ(type, platform::reg::kDword);
    EXPECT_EQ(ReadNumber(d, kHungRestartMinutes, 0, 0, kMostHungMinutes), 15);
    EXPECT_EQ(ReadNumber(d, kLogDays, 30, 0, kMostDays), 90);
    EXPECT_EQ(ReadNumber(d, kBackupDays, 30, 0, kMostDays), 30);
    ASSERT_TRUE(d.PeekValue(platform::kHkeyLocalMachine, kSettingsKey, "BackupMaxMB", type, data));
    EXPECT_EQ(type, platform::reg::kDword);
    EXPECT_EQ(ReadNumber(d, kBackupMaxMB, kDefaultBackupMaxMB, 1, kMostBackupMB), 512);
    EXPECT_EQ(ReadNumber(d, kWarnPlayersMinutes, 0, 0, kMostWarnMinutes), 10);
    EXPECT_EQ(ReadNumber(d, kNotifications, 1, 0, 1), 0);
    EXPECT_EQ(Stored(kWarnPlayersText), "Restart in {minutes} min");
    EXPECT_EQ(Stored(kWebhookUrl), "HTTPS://Hooks.Example.net:8443/T0/secret?x=1");  // as typed
    EXPECT_EQ(Stored(kMetricsFolder), "C:\\Metrics\\");
    EXPECT_NE(good.Summary().find("hung restart 15 min, logs 90 days, backups 30 days, at most 512 MB"), std::string::npos);
    // The log hears of the webhook's host, never of its secret path.
    EXPECT_NE(good.Summary().find("webhook Hooks.Example.net"), std::string::npos);
    EXPECT_EQ(good.Summary().find("secret"), std::string::npos);
    EXPECT_EQ(Stored(kRestartDailyAt), "04:05");
    EXPECT_EQ(ReadNumber(d, kRestartAboveMB, -1, 0, kMostRestartMB), 2048);
    EXPECT_NE(good.Summary().find("restart daily at 04:05"), std::string::npos) << good.Summary();
    EXPECT_NE(good.Summary().find("restart above 2048 MB"), std::string::npos) << good.Summary();
    frmConfig& again = Open();
    EXPECT_EQ(again.txtWebhookUrl.Text(), "HTTPS://Hooks.Example.net:8443/T0/secret?x=1");
    EXPECT_EQ(again.chkNotifications.Value(), 0);
    EXPECT_EQ(again.txtWarnPlayersText.Text(), "Restart in {minutes} min");
}

}  // namespace
}  // namespace hw::testing
