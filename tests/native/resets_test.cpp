// Scheduled resets carried out in the stand-in server: each action's whole
// path and its effect in the server, and every way it can end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "automation/remote_lists.h"
#include "native/controller_fixture.h"
#include "schedule/catalogue.h"
#include "server/server_windows.h"

namespace hw::testing {
namespace {

class ResetsTest : public ControllerFixture {
protected:
    int LinesWith(const std::string& text) {
        int n = 0;
        for (const std::string& l : host().Lines(server().messageList())) n += l.find(text) != std::string::npos;
        return n;
    }
    bool NothingLeftOpen() {
        return d.FindWindow("#32770", nullptr) == 0 && Descendant(Win(server().mainForm()), "Data Manager") == 0 &&
               Descendant(Win(server().mainForm()), "Review Transactions") == 0 &&
               Descendant(Win(server().mainForm()), "Review Messages") == 0 &&
               Descendant(Win(server().mainForm()), "Server Data Manager") == 0;
    }
    void Settle() { d.AdvanceIdle(100); }
};

TEST_F(ResetsTest, EveryDataManagerActionDoesItsWorkInTheServer) {
    Started();
    struct Case {
        const char* item;
        std::function<int()> effect;
    } cases[] = {
        {"Store Inventory", [&] { return server().effects().storeResets; }},
        {"CONFINEMENT", [&] { return server().effects().confinementResets; }},
        {"Thandrel's Quests", [&] { return server().effects().storylineResets; }},
        {"Guild Master Log", [&] { return server().effects().guildLogClears; }},
        {"Transaction List", [&] { return server().effects().transactionDeletes; }},
        {"public messages", [&] { return server().effects().messageDeletes; }},
    };
    for (auto& c : cases) {
        Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
        ASSERT_FALSE(server().Active());
        EXPECT_TRUE(controller.ProcessScheduledItem(c.item)) << c.item;
        Settle();
        EXPECT_EQ(c.effect(), 1) << c.item;
        EXPECT_TRUE(server().Active()) << c.item;  // reactivated
        EXPECT_TRUE(NothingLeftOpen()) << c.item;
    }
    EXPECT_EQ(server().transactions(), 0);
    EXPECT_EQ(server().publicMessages(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ResetsTest, WithoutTheManageMenuTheActionsEndAndTheServerStaysAsItWas) {
    Started();
    d.Window(Win(server().mainForm()))->menu = 0;
    for (const char* item : {"Store Inventory", "Transaction List", "Guild Master Log"}) {
        EXPECT_FALSE(controller.ProcessScheduledItem(item)) << item;
        Settle();
        EXPECT_FALSE(server().Active()) << item;  // not reactivated
    }
    // The storyline action runs to its end without its button: reactivated.
    EXPECT_FALSE(controller.ProcessScheduledItem("Thandrel's Quests"));
    Settle();
    EXPECT_TRUE(server().Active());
    // So does a key without an action.
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    EXPECT_FALSE(controller.ProcessScheduledItem("Version Data"));
    Settle();
    EXPECT_TRUE(server().Active());
    EXPECT_TRUE(boxes.shown.empty());
}

// The server stops answering as the toolbar is asked where its button is,
// and handles that request when it picks up again.
TEST_F(ResetsTest, AToolbarThatAnswersLateWritesIntoMemoryStillItsOwn) {
    Started();
    bool hung = false;
    d.beforeSendToOthers = [&](platform::Hwnd h, std::uint32_t message) {
        if (h == Win(server().toolbar()) && message == platform::msg::kTbGetButton && !std::exchange(hung, true))
            d.HangProcess(ServerPid(), 3000);
    };
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    EXPECT_FALSE(controller.ProcessScheduledItem("Store Inventory"));
    Settle();
    EXPECT_TRUE(hung);
    EXPECT_EQ(server().effects().storeResets, 0);
    d.AdvanceIdle(5000);
    EXPECT_TRUE(d.ReleasedMemoryAccesses().empty());

    // The next reset finds the server answering again, and what was kept goes.
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    EXPECT_TRUE(controller.ProcessScheduledItem("Store Inventory"));
    Settle();
    EXPECT_EQ(server().effects().storeResets, 1);
    EXPECT_EQ(d.RemoteBlockCount(ServerPid()), 0u);
    EXPECT_TRUE(d.ReleasedMemoryAccesses().empty());
}

// Each search through the view's buttons reads them without a break; a
// server slow to answer those reads must not hold the operator's input.
TEST_F(ResetsTest, AServerSlowToAnswerEachButtonReadLetsTheOperatorsInputThrough) {
    Started();
    // Every read of the view's windows meets the server busy for 450 ms, or
    // the end of such a spell.
    d.beforeSendToOthers = [&](platform::Hwnd h, std::uint32_t message) {
        const platform::Hwnd view = Descendant(Win(server().mainForm()), "Server Data Manager");
        if (message == platform::msg::kGetTextLength && view && d.GetParent(h) == view && !d.IsHung(ServerPid()))
            d.HangProcess(ServerPid(), 450);
    };
    // The operator's input, every 100 ms.
    std::uint64_t worst = 0, due = 0;
    std::function<void()> input = [&] {
        due = d.NowMs() + 100;
        d.ScheduleAt(due, d.OwnPid(), [&] {
            worst = std::max(worst, d.NowMs() - due);
            input();
        });
    };
    input();
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    controller.ProcessScheduledItem("Store Inventory");
    d.beforeSendToOthers = nullptr;
    worst = std::max(worst, d.NowMs() > due ? d.NowMs() - due : 0);
    EXPECT_LE(worst, 500u);
}

TEST_F(ResetsTest, AMissingPageOrButtonEndsTheReset) {
    Started();
    // The data manager's view already open, its store page renamed, its guild button gone.
    d.PostMessage(Win(server().mainForm()), platform::msg::kCommand, standin::kManageCommand, 0);
    d.AdvanceIdle(10);
    const std::int32_t point = automation::GetToolbarButtonPoint(d, Win(server().toolbar()), ServerPid(), 10);
    Click(Win(server().toolbar()), platform::msg::kMkLButton, point);
    const platform::Hwnd view = Descendant(Win(server().mainForm()), "Server Data Manager");
    ASSERT_NE(view, nullptr);
    for (platform::Hwnd h : automation::GetChildWindows(d, view)) {
        if (!h) continue;
        if (d.Window(h)->caption == "Store && Confinement") d.Window(h)->caption = "Store";
        if (d.Window(h)->caption == "Clear Logs") d.DestroyWindow(h);
    }
    EXPECT_FALSE(controller.ProcessScheduledItem("Store Inventory"));
    EXPECT_FALSE(controller.ProcessScheduledItem("Guild Master Log"));
    Settle();
    EXPECT_FALSE(server().Active());  // ended: not reactivated
    EXPECT_EQ(server().effects().storeResets + server().effects().guildLogClears, 0);
}

TEST_F(ResetsTest, ADialogThatNeverComesOrHasNoButtonOrAServerDyingDuringTheWaitEndsTheReset) {
    Started("dialogs none\n");
    const std::uint64_t start = d.NowMs();
    EXPECT_FALSE(controller.ProcessScheduledItem("Public Messages"));
    EXPECT_GE(d.NowMs() - start, server::clsHarrowatch::kDialogWaitMs);
    EXPECT_LT(d.NowMs() - start, server::clsHarrowatch::kDialogWaitMs + 2000);
    EXPECT_FALSE(server().Active());
    EXPECT_EQ(server().effects().messageDeletes, 0);

    // The server dying during the wait ends it.
    d.ScheduleAt(d.NowMs() + 3000, d.OwnPid(), [&] { d.KillProcess(ServerPid()); });
    const std::uint64_t dying = d.NowMs();
    EXPECT_FALSE(controller.ProcessScheduledItem("Guild Master Log"));
    EXPECT_LT(d.NowMs() - dying, 4000u);
    EXPECT_EQ(standins.Launches(), 1u);  // not relaunched by a reactivation

    standins.SetScript("dialogs empty\n");
    controller.StartServer();
    EXPECT_FALSE(controller.ProcessScheduledItem("Store Inventory"));
    EXPECT_NE(d.FindWindow("#32770", "Reset Data"), nullptr);
    EXPECT_EQ(server().effects().storeResets, 0);
}

TEST_F(ResetsTest, DataFilesDeletedAbsentOrInUse) {
    Started("active\nhold-file KALTORGuildMasters.KLD\n");
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_FALSE(d.HasFile(kDataFolder + "KALTORHallInfo.KLD"));
    // Already gone counts as reset: no error box every few seconds.
    EXPECT_TRUE(controller.ProcessScheduledItem("HALL OF RECORDS"));
    EXPECT_TRUE(boxes.shown.empty());

    // The server's monsters: deactivated, deleted, activated twice.
    Settle();
    ASSERT_TRUE(server().Active());
    const int activatedBefore = LinesWith("Server activated."), deactivatedBefore = LinesWith("Server deactivated.");
    EXPECT_TRUE(controller.ProcessScheduledItem("Server Monsters"));
    Settle();
    EXPECT_FALSE(d.HasFile(kDataFolder + "KALTORServerMonsters.KLD"));
    EXPECT_TRUE(server().Active());
    EXPECT_EQ(LinesWith("Server deactivated.") - deactivatedBefore, 1);
    EXPECT_EQ(LinesWith("Server activated.") - activatedBefore, 2);

    // In use: reported as error 70, reactivated, still due.
    Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
    EXPECT_FALSE(controller.ProcessScheduledItem("GUILD CREST"));
    Settle();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 70\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find(" - The file being copied may be in use.\r\n"), std::string::npos);
    EXPECT_NE(boxes.shown[0].text.find("Error Source: Harrowatch - ProcessScheduledItems"), std::string::npos);
    EXPECT_TRUE(d.HasFile(kDataFolder + "KALTORGuildMasters.KLD"));
    EXPECT_TRUE(server().Active());

    // Read-only: its own number and text, not "in use".
    boxes.shown.clear();
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", "records");
    d.SetFileReadOnly(kDataFolder + "KALTORHallInfo.KLD");
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 75\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].text.find("may be in use"), std::string::npos);

    // A data folder that is not there (INSTDIR points elsewhere) is no
    // completed reset: it is reported, naming the folder.
    boxes.shown.clear();
    SetInstallDir("C:\\Games\\Moved Away");
    controller.StartServer();  // each poll reads INSTDIR again
    EXPECT_FALSE(controller.ProcessScheduledItem("Guild Crest"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 76\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("C:\\Games\\Moved Away\\System\\Kaltor\\"), std::string::npos);
    EXPECT_NE(boxes.shown[0].text.find("INSTDIR"), std::string::npos);
}

TEST_F(ResetsTest, DataFilesAreCopiedBeforeTheyGoAndOldCopiesGoToo) {
    Setting("BackupDays", 2);
    Started("active\n");
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", "the hall's records");
    d.MakeFolder(kBackups + "2026-11-01");
    d.WriteFile(kBackups + "2026-11-01\\KALTORGuildMasters.KLD", "old");
    d.MakeFolder(kBackups + "2026-11-20");
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_FALSE(d.HasFile(kDataFolder + "KALTORHallInfo.KLD"));
    EXPECT_EQ(d.FileContent(kBackups + "2026-12-06\\KALTORHallInfo.KLD"), "the hall's records");
    // A second reset the same day keeps the first copy.
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", "more records");
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_EQ(d.FileContent(kBackups + "2026-12-06\\KALTORHallInfo.KLD"), "the hall's records");
    std::vector<std::string> copies;
    ASSERT_EQ(d.ListFolder(kBackups + "2026-12-06", copies), 0);
    std::erase_if(copies, [](const std::string& c) { return c.rfind("KALTORHallInfo", 0) != 0; });
    ASSERT_EQ(copies.size(), 2u);
    for (const std::string& c : copies) {
        if (c == "KALTORHallInfo.KLD") continue;
        EXPECT_EQ(d.FileContent(kBackups + "2026-12-06\\" + c), "more records") << c;
    }
    // Days beyond "BackupDays" went, but never the newest two there are:
    // the 20th of November stays.
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-11-01"));
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-11-20"));
    EXPECT_TRUE(boxes.shown.empty());

    // A copy that cannot be made: nothing is deleted, and the reset fails clearly.
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", "kept");
    d.SetStartTime({2026, 12, 7, 9, 0, 0, 0});
    d.SetFolderReadOnly(kBackups);  // no folder for the new day
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_EQ(d.FileContent(kDataFolder + "KALTORHallInfo.KLD"), "kept");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 1006\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("the file was not deleted"), std::string::npos);
}

// What goes is what was copied: a file written after its copy, while a
// reader kept it from going, is copied again first; a lock on its bytes is
// waited out as a file in use is, then told with its number; a file whose
// state cannot be read is not deleted.
TEST_F(ResetsTest, TheFileDeletedIsTheFileCopied) {
    Started("active\n");
    const std::string file = std::string(kGameFolder) + "System\\Kaltor\\KALTORHallInfo.KLD";
    auto copiesHolding = [&](const std::string& content) {
        int n = 0;
        for (const std::string& c : d.FilesUnder("C:\\ProgramData\\Harrowatch\\Backups")) n += d.FileContent(c) == content;
        return n;
    };
    // A second in, the reader lets go and the server writes the file anew.
    std::function<void()> inASecond;
    const std::uint32_t timer = d.SetTimer(1000, [&] {
        if (inASecond) std::exchange(inASecond, nullptr)();
    });
    ASSERT_NE(timer, 0u);
    d.WriteFile(file, "before");
    d.SetFileOpenForReading(file, true);
    inASecond = [&] {
        d.SetFileOpenForReading(file, false);
        d.WriteFile(file, "after");
    };
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_FALSE(d.HasFile(file));
    EXPECT_EQ(copiesHolding("before"), 1);
    EXPECT_EQ(copiesHolding("after"), 1);
    EXPECT_TRUE(boxes.shown.empty());

    // Locked bytes: copied once the lock goes within the wait.
    d.WriteFile(file, "locked a while");
    d.SetFileRangeLocked(file, true);
    inASecond = [&] { d.SetFileRangeLocked(file, false); };
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_FALSE(d.HasFile(file));
    EXPECT_EQ(copiesHolding("locked a while"), 1);
    // Still locked: in use, told with its number, and kept.
    d.WriteFile(file, "locked");
    d.SetFileRangeLocked(file, true);
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 70\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("Windows error 33"), std::string::npos) << boxes.shown[0].text;
    EXPECT_EQ(d.FileContent(file), "locked");
    d.SetFileRangeLocked(file, false);

    // Its state cannot be read (a share gone, no right to its attributes).
    boxes.shown.clear();
    d.fileFault = [&](const std::string& op, const std::string& path) -> long {
        return op == "attributes" && path == file ? 5 : 0;
    };
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    d.fileFault = nullptr;
    EXPECT_EQ(d.FileContent(file), "locked");
    ASSERT_TRUE(OneBoxSaying(boxes, {"cannot be read (Windows error 5)"}));

    // The day's backup folder held open by a program that shares no
    // writing: the copy fails there, and is told as that, not as the data
    // file in use.
    boxes.shown.clear();
    d.SetFolderOpenElsewhere("C:\\ProgramData\\Harrowatch\\Backups\\2026-12-06", true, false);
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_EQ(d.FileContent(file), "locked");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Error Number: 1006\r\n", 0), 0u) << boxes.shown[0].text;
    EXPECT_NE(boxes.shown[0].text.find("in use by another program (Windows error 32)"), std::string::npos)
        << boxes.shown[0].text;
    d.KillTimer(timer);
}

// The server's own resets change files of its data folder that nobody
// names: the whole folder is copied before each of them, a file only when
// it changed since its last copy (or that copy went).
TEST_F(ResetsTest, EveryResetCopiesTheChangedFilesOfTheDataFolderFirst) {
    supervision::Events told;
    controller.events = &told;
    Started();
    const std::string today = "C:\\ProgramData\\Harrowatch\\Backups\\2026-12-06\\";
    d.WriteFile(kDataFolder + "KALTORTransactions.KLD", "twelve transactions");
    auto copies = [&] {
        std::vector<std::string> names;
        EXPECT_EQ(d.ListFolder(today, names), 0);
        std::sort(names.begin(), names.end());
        return names;
    };
    // Inactive, the server holds none of its files.
    auto deactivated = [&] {
        Click(Descendant(Win(server().mainForm()), "Deactivate Server"));
        return !server().Active();
    };
    ASSERT_TRUE(deactivated());
    ASSERT_TRUE(controller.ProcessScheduledItem("Transaction List"));
    Settle();
    EXPECT_EQ(server().effects().transactionDeletes, 1);
    EXPECT_EQ(copies(), (std::vector<std::string>{"KALTORGuildMasters.KLD", "KALTORHallInfo.KLD",
                                                  "KALTORServerMonsters.KLD", "KALTORTransactions.KLD"}));
    EXPECT_EQ(d.FileContent(today + "KALTORTransactions.KLD"), "twelve transactions");

    // Only what changed is copied again; a copy cleaned away is made again.
    d.AdvanceIdle(60000);
    d.WriteFile(kDataFolder + "KALTORTransactions.KLD", "two transactions");
    ASSERT_EQ(d.DeleteFile(today + "KALTORHallInfo.KLD"), 0);
    ASSERT_TRUE(deactivated());
    ASSERT_TRUE(controller.ProcessScheduledItem("Store Inventory"));
    Settle();
    EXPECT_EQ(server().effects().storeResets, 1);
    const std::vector<std::string> now = copies();
    ASSERT_EQ(now.size(), 5u);
    EXPECT_EQ(now[1], "KALTORHallInfo.KLD");
    EXPECT_EQ(now[3].rfind("KALTORTransactions-", 0), 0u) << now[3];
    EXPECT_EQ(d.FileContent(today + now[3]), "two transactions");

    // A copy that cannot be made is told, and the server's own reset runs;
    // the file is copied at the next reset that can.
    d.AdvanceIdle(60000);
    d.WriteFile(kDataFolder + "KALTORTransactions.KLD", "one transaction");
    d.SetFolderReadOnly(today);
    ASSERT_TRUE(deactivated());
    ASSERT_TRUE(controller.ProcessScheduledItem("Public Messages"));
    Settle();
    EXPECT_EQ(server().effects().messageDeletes, 1);
    ASSERT_FALSE(told.Recent().empty());
    const supervision::Event& last = told.Recent().back();
    EXPECT_EQ(last.id, supervision::EventId::ResetDone);
    EXPECT_NE(last.text.find("KALTORTransactions.KLD not backed up (Windows error 5)"), std::string::npos) << last.text;
    EXPECT_TRUE(boxes.shown.empty());
    d.SetFolderWritable(today);
    ASSERT_TRUE(deactivated());
    ASSERT_TRUE(controller.ProcessScheduledItem("Confinement"));
    EXPECT_EQ(copies().size(), 6u);
    EXPECT_EQ(told.Recent().back().text.find("not backed up"), std::string::npos) << told.Recent().back().text;
}

// A copy that does not end (a stalled share, a failing disk) holds no reset,
// and no supervision, for more than ten minutes: the reset fails, saying so,
// and its file stays.
TEST_F(ResetsTest, ACopyThatTakesOverTenMinutesFailsTheResetAndDeletesNothing) {
    Started("active\n");
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", std::string(20000, 'r'));
    d.SetCopyBytesPerSecond(20);  // 1000 s
    const std::uint64_t start = d.NowMs();
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_GE(d.NowMs() - start, 600000u);
    EXPECT_LT(d.NowMs() - start, 610000u);
    ASSERT_TRUE(OneBoxSaying(boxes, {"did not finish within 10 minutes"}));
    EXPECT_TRUE(d.HasFile(kDataFolder + "KALTORHallInfo.KLD"));
}

// A copy of 20 s runs off the window's thread: Harrowatch's timers keep
// ticking, and the file goes only once its copy is whole. An exit during the
// copy leaves the file where it is.
TEST_F(ResetsTest, TheWindowAnswersDuringALongCopyAndTheDeleteWaitsForIt) {
    Started("active\n");
    const std::string records(20000, 'r');
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", records);
    d.SetCopyBytesPerSecond(1000);
    std::uint64_t lastTick = d.NowMs(), longestGap = 0;
    std::function<void()> onTick;
    const std::uint32_t timer = d.SetTimer(100, [&] {
        longestGap = std::max(longestGap, d.NowMs() - lastTick);
        lastTick = d.NowMs();
        if (onTick) onTick();
    });
    ASSERT_NE(timer, 0u);

    const std::uint64_t start = d.NowMs();
    std::uint64_t deletedAt = 0;
    d.beforeDeleteFile = [&](const std::string& path) {
        if (path.find("KALTORHallInfo") == std::string::npos) return;
        deletedAt = d.NowMs();
        int copies = 0;
        for (const std::string& c : d.FilesUnder("C:\\ProgramData\\Harrowatch\\Backups"))
            copies += d.FileContent(c) == d.FileContent(path);
        EXPECT_EQ(copies, 1) << "no whole copy of what goes";
    };
    // Harrowatch is told to exit 5 s into the copy.
    onTick = [&] {
        if (d.NowMs() - start >= 5000) cancel.Raise();
    };
    EXPECT_FALSE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_LT(d.NowMs() - start, 6000u);
    EXPECT_EQ(deletedAt, 0u);
    EXPECT_TRUE(d.FileContent(kDataFolder + "KALTORHallInfo.KLD") == records);
    d.AdvanceIdle(30000);  // the copy ends on its own; nothing waits for it

    // Run again, the same copy is not made twice: wait for a fresh one.
    cancel.Reset();
    onTick = nullptr;
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", records + "!");
    lastTick = d.NowMs();
    longestGap = 0;
    const std::uint64_t again = d.NowMs();
    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_GE(deletedAt, again + 20000);
    EXPECT_LT(longestGap, 1000u);
    EXPECT_FALSE(d.HasFile(kDataFolder + "KALTORHallInfo.KLD"));
    EXPECT_EQ(d.CopiesOnOwnThread(), 0u);
    EXPECT_TRUE(boxes.shown.empty());
    d.KillTimer(timer);
}

// The server crashes while its folder is copied: the copy ends whole, and
// the reset ends failed, with no box and nothing left waiting.
TEST_F(ResetsTest, AServerThatCrashesDuringTheCopyEndsTheResetAfterIt) {
    supervision::Events told;
    controller.events = &told;
    Started();
    d.WriteFile(kDataFolder + "KALTORState.KLD", std::string(10000, 's'));
    d.SetCopyBytesPerSecond(1000);
    const platform::Pid pid = ServerPid();
    ASSERT_NE(pid, platform::Pid{});
    const std::uint32_t timer = d.SetTimer(1000, [&] {
        if (d.FindProcess(pid)->alive) d.KillProcess(pid);
    });
    EXPECT_FALSE(controller.ProcessScheduledItem("Public Messages"));
    d.KillTimer(timer);
    EXPECT_EQ(d.FileContent("C:\\ProgramData\\Harrowatch\\Backups\\2026-12-06\\KALTORState.KLD").size(), 10000u);
    ASSERT_FALSE(told.Recent().empty());
    EXPECT_EQ(told.Recent().back().id, supervision::EventId::ResetFailed);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(controller.Busy());
}

TEST_F(ResetsTest, AFullDiskMakesRoomForTheCopyFromOldDaysOfHarrowatchsOwn) {
    Setting("BackupDays", 2);
    Started("active\n");
    d.WriteFile(kDataFolder + "KALTORHallInfo.KLD", "the hall's records");
    for (const char* day : {"2026-10-01", "2026-10-02", "2026-12-04", "2026-12-05"})
        d.WriteFile(kBackups + day + "\\KALTORGuildMasters.KLD", std::string(1000, 'g'));
    // Not of Harrowatch's making: kept whatever their age.
    d.WriteFile(kBackups + "2026-10-01 saved\\KALTORGuildMasters.KLD", "mine");
    d.WriteFile(kBackups + "2026-10-1\\KALTORGuildMasters.KLD", "mine");
    d.WriteFile(kBackups + "2026-10-01.zip", "mine");
    d.SetDiskSpace(d.DiskUsed());  // the disk is full

    EXPECT_TRUE(controller.ProcessScheduledItem("Hall of Records"));
    EXPECT_TRUE(boxes.shown.empty()) << (boxes.shown.empty() ? "" : boxes.shown[0].text);
    EXPECT_FALSE(d.HasFile(kDataFolder + "KALTORHallInfo.KLD"));
    EXPECT_EQ(d.FileContent(kBackups + "2026-12-06\\KALTORHallInfo.KLD"), "the hall's records");
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-10-01"));
    EXPECT_FALSE(d.HasFolder(kBackups + "2026-10-02"));
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-12-04"));
    EXPECT_TRUE(d.HasFolder(kBackups + "2026-12-05"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-10-01 saved\\KALTORGuildMasters.KLD"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-10-1\\KALTORGuildMasters.KLD"));
    EXPECT_TRUE(d.HasFile(kBackups + "2026-10-01.zip"));
}

// The panel offers what the catalogue says has an action: each such item
// needs its steps in the server, and an item without one must have none.
TEST(ResetStepsTable, EveryItemWithAnActionHasCompleteStepsAndNoOtherHasAny) {
    for (const schedule::ResetItem& item : schedule::kResetItems) {
        const server::ResetSteps* steps = server::FindResetSteps(item.index);
        ASSERT_EQ(steps != nullptr, item.hasAction) << item.name;
        if (!steps) continue;
        EXPECT_NE(steps->view != nullptr, steps->dataFile != nullptr) << item.name;  // one or the other
        EXPECT_TRUE(!steps->view || steps->button) << item.name;
        EXPECT_EQ(steps->question != nullptr, steps->answer != nullptr) << item.name;
    }
}

}  // namespace
}  // namespace hw::testing
