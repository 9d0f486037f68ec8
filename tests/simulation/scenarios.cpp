// Named scenarios: worlds set up by hand to reach one defect at once, under
// the same promises as the random runs.
#include "automation/windows.h"
#include "schedule/catalogue.h"
#include "simulation/world.h"

namespace hw::simulation {

namespace p = platform;

namespace {
constexpr std::uint64_t kMinute = 60000;

void Quiet(World& w, std::uint32_t pollMs) {
    w.randomFaults = false;
    w.SettingText("TimerInterval", std::to_string(pollMs));
    w.pollMs = pollMs;
}

// Harrowatch starts a server that asks "Close Server" before it closes, and
// only the operator answers it.
void StartAsking(World& w, std::uint32_t pollMs) {
    Quiet(w, pollMs);
    w.script = "close-dialog 0\n";
    w.standins.SetScript(w.script);
    w.StartHarrowatch();
}

// The server answers each of Harrowatch's reads `ms` late (a busy moment
// before each), as the world's record of hangs has it.
void AnswersLate(World& w, std::uint64_t ms) {
    w.d.beforeSendToOthers = [&w, ms](p::Hwnd, std::uint32_t) {
        const p::Pid pid = w.ServerPid();
        if (!pid || w.d.IsHung(pid)) return;
        w.hangs.push_back({pid, w.d.NowMs(), w.d.NowMs() + ms});
        if (w.hangs.size() > 64) w.hangs.erase(w.hangs.begin());
        w.d.HangProcess(pid, ms);
    };
}

// Counts what the program says of hangs; it outlives the program.
struct HangWords : supervision::EventSink {
    int notResponding = 0, respondingAgain = 0, ended = 0;
    void Take(const supervision::Event& e) override {
        notResponding += e.id == supervision::EventId::NotResponding;
        respondingAgain += e.id == supervision::EventId::RespondingAgain;
        ended += e.id == supervision::EventId::HungServerEnded;
    }
    // Breaks `promise` unless one hang gave `said` "not responding" and
    // `again` "responding again", and no server was ended for it.
    void Expect(World& w, const char* promise, const std::string& what, int said, int again) const {
        if (notResponding != said || respondingAgain != again || ended)
            w.Broken(promise, what + " gave " + std::to_string(notResponding) + " \"not responding\", " +
                                  std::to_string(respondingAgain) + " \"responding again\" and " +
                                  std::to_string(ended) + " hung server ended");
    }
};

HangWords& ListenForHangWords(World& w) {
    static HangWords told;
    told = {};
    w.program->form->Events.AddSink(&told);
    return told;
}

int Item(const char* name) {
    for (const schedule::ResetItem& i : schedule::kResetItems)
        if (std::string(name) == i.name) return i.index;
    return 0;
}
}  // namespace

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> all = {
        {"calm-days", "a 5 s poll, three players, a daily reset, nothing going wrong: the simulation's speed",
         [](World& w) {
             Quiet(w, 5000);
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Store Inventory|12/06/26 11:00 PM");
             w.script = "at 0 players 3\nevery 60000 message A line of the server's\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(static_cast<std::uint64_t>(w.options.days * 24 * 60 * kMinute));
         }},
        {"planned-restart",
         "a daily restart at 09:20 with players warned, a weekly reset due with it and a row for every restart; "
         "the next day the operator has stopped the server before its time",
         [](World& w) {
             Quiet(w, 5000);
             w.SettingText("RestartDailyAt", "09:20");
             w.warnMinutes = 5;
             w.Setting("WarnPlayersMinutes", 5);
             w.SettingText("WarnPlayersText", "Maintenance in {minutes} minutes");
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Weekly", "Store Inventory|12/06/26 09:20 AM");
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
             w.script = "active\nat 0 players 3\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 23 * 60 * kMinute);
             w.Input("stops the server", [&w] { w.program->form->sysStopServer_Click(); });
             w.RunUntil(w.d.NowMs() + 2 * 60 * kMinute);
             if (w.plannedRestarts != 1)
                 w.Broken("planned-restart-once-a-day",
                          std::to_string(w.plannedRestarts) + " planned restarts in two days, the second stopped");
         }},
        {"restart-closes-late",
         "a daily restart at 09:20 whose \"Close Server\" question is answered after 150 s, and the next day "
         "shown 15 s after the close: both outlast Harrowatch's wait",
         [](World& w) {
             Quiet(w, 5000);
             w.SettingText("RestartDailyAt", "09:20");
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
             w.script = "active\nclose-dialog 150000\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 30 * kMinute);
             const auto restarted = [&w](std::uint64_t count) {
                 const standin::Server* s = w.LiveServer();
                 if (w.plannedRestarts != count || !s || !s->Active() || s->effects().messageDeletes != 1)
                     w.Broken("late-close-restarts",
                              std::to_string(w.plannedRestarts) + " planned restarts told, the server " +
                                  (!s ? "not running" : !s->Active() ? "not active" : "without its restart items"));
             };
             restarted(1);
             w.script = "active\nclose-ask-after 15000\nclose-dialog 1000\n";
             w.standins.SetScript(w.script);
             w.RunUntil(w.d.NowMs() + 24 * 60 * kMinute);
             restarted(2);
         }},
        {"restart-relaunch-fails",
         "the server's program is gone when the daily restart at 09:20 launches it again, and back 3 minutes later",
         [](World& w) {
             Quiet(w, 5000);
             w.SettingText("RestartDailyAt", "09:20");
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Every Restart", "Public Messages|N/A - Unknown");
             w.script = "active\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 19 * kMinute + 50000);
             w.d.PokeString(p::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", "C:\\Games\\Elsewhere\\");
             w.Step("the game's folder is set elsewhere");
             w.serverElsewhere = true;
             w.RunUntil(w.d.NowMs() + 3 * kMinute);
             w.d.PokeString(p::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", "C:\\Games\\Kaltor Online\\");
             w.Step("the game's folder is set right again");
             w.serverElsewhere = false;
             w.program->boxes.notFound = 0;
             w.RunUntil(w.d.NowMs() + 10 * kMinute);
             const standin::Server* s = w.LiveServer();
             if (!s || !s->Active() || s->effects().messageDeletes != 1)
                 w.Broken("restart-items-after-relaunch",
                          std::string("the server launched after the failed relaunch is ") +
                              (!s ? "not running" : !s->Active() ? "not active" : "without its restart items"));
         }},
        {"typing-a-date", "the operator types a next time a key every 3 s while the poll runs each second",
         [](World& w) {
             Quiet(w, 1000);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 20000);
             w.Input("adds Public Messages", [&w] {
                 w.program->form->Editor.imgResetItem_DblClick(Item("Public Messages"));
                 w.program->form->ResetItemGrid.SetCurrent(w.program->form->Schedule.DataRows(), schedule::kColFreq);
                 w.program->form->Editor.cmbFrequency.SetListIndex(schedule::kDaily);
             });
             w.RunUntil(w.d.NowMs() + 1000);
             w.TypeNextTime(w.program->form->Schedule.DataRows(), "12/24/26 03:00 PM", 3000);
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
         }},
        {"stored-time-fails-after-a-reset", "a due reset runs while the registry refuses every write",
         [](World& w) {
             Quiet(w, 5000);
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Store Inventory|12/06/26 09:02 AM");
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 90000);
             w.registryFaultUntilMs = w.d.NowMs() + 10 * kMinute;
             w.RunUntil(w.d.NowMs() + 10 * kMinute);
         }},
        {"missing-program", "the game's folder holds no server for three minutes, then the server is there again",
         [](World& w) {
             Quiet(w, 5000);
             w.d.PokeString(p::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", "C:\\Games\\Elsewhere\\");
             w.serverElsewhere = true;
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 3 * kMinute);
             w.Input("opens the chat window", [&w] { w.program->form->sysChatServer_Click(); });
             w.RunUntil(w.d.NowMs() + kMinute);
             w.d.PokeString(p::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", "C:\\Games\\Kaltor Online\\");
             w.Step("the game's folder is set right again");
             w.serverElsewhere = false;
             w.program->boxes.notFound = 0;
             w.RunUntil(w.d.NowMs() + 6 * kMinute);
             if (w.program->boxes.count != 1)
                 w.Broken("missing-program-told-once", std::to_string(w.program->boxes.count) + " boxes for one missing program");
             if (!w.ServerPid()) w.Broken("missing-program-launched", "no server runs once its program is there again");
         }},
        {"session-end-server-first", "Windows closes the server before it asks Harrowatch, polls coming in between",
         [](World& w) {
             Quiet(w, 1000);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             w.EndSession(1);
             w.RunUntil(w.d.NowMs() + kMinute);
         }},
        {"declined-stop-then-crash", "the operator answers No to the server's \"Close Server\", then the server crashes",
         [](World& w) {
             StartAsking(w, 5000);
             w.RunUntil(w.d.NowMs() + 20000);
             w.ChooseExit();
             w.d.ScheduleAfter(2000, 0, [&w] {
                 const p::Hwnd dialog = w.d.FindWindow("#32770", "Close Server");
                 for (p::Hwnd h : automation::GetChildWindows(w.d, dialog))
                     if (h && automation::GetWindowTitle(w.d, h) == "&No") {
                         w.Step("operator answers the server's \"Close Server\": No");
                         w.d.PostMessage(h, p::msg::kLButtonDown, 0, 0);
                         w.d.PostMessage(h, p::msg::kLButtonUp, 0, 0);
                     }
             });
             w.RunUntil(w.d.NowMs() + kMinute);
             w.WorldCrash(w.ServerPid());
             w.RunUntil(w.d.NowMs() + kMinute);
         }},
        {"stop-answered-late",
         "the operator exits; the server's \"Close Server\" question is answered Yes long after the exit gave up, "
         "then again with a question that shows only after the exit gave up",
         [](World& w) {
             Quiet(w, 5000);
             const auto yes = [&w] {
                 const p::Hwnd dialog = w.d.FindWindow("#32770", "Close Server");
                 for (p::Hwnd h : automation::GetChildWindows(w.d, dialog))
                     if (h && automation::GetWindowTitle(w.d, h) == "&Yes") {
                         w.Step("operator answers the server's \"Close Server\": Yes");
                         w.d.PostMessage(h, p::msg::kLButtonDown, 0, 0);
                         w.d.PostMessage(h, p::msg::kLButtonUp, 0, 0);
                     }
             };
             for (const char* script : {"close-dialog 0\n", "close-dialog 0\nclose-ask-after 30000\n"}) {
                 w.script = script;
                 w.standins.SetScript(w.script);
                 if (!w.program) w.StartHarrowatch();
                 else w.WorldCrash(w.ServerPid());  // the next one runs the new script
                 w.RunUntil(w.d.NowMs() + 2 * kMinute);
                 w.ChooseExit();
                 w.d.ScheduleAfter(5 * kMinute, 0, yes);
                 w.RunUntil(w.d.NowMs() + 7 * kMinute);
             }
         }},
        {"exit-during-a-hang",
         "the operator exits while the server hangs; it shows its \"Close Server\" question once the hang ends, "
         "and nobody answers it",
         [](World& w) {
             StartAsking(w, 1000);
             w.RunUntil(w.d.NowMs() + 20000);
             w.WorldHang(w.ServerPid(), 40000);
             w.RunUntil(w.d.NowMs() + 34000);
             w.ChooseExit();
             w.RunUntil(w.d.NowMs() + 5 * kMinute);
         }},
        {"exits-into-a-hang",
         "the server hangs for a minute; the operator chooses Exit at once, and again as soon as Harrowatch gives up",
         [](World& w) {
             Quiet(w, 5000);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 20000);
             w.WorldHang(w.ServerPid(), 60000);
             for (std::uint64_t at : {1000, 16000})
                 w.ChooseExit(at);
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
         }},
        {"exit-behind-an-old-question",
         "nobody answers the server's \"Close Server\" question; with it still up the server hangs for ten "
         "minutes and the operator chooses Exit again",
         [](World& w) {
             StartAsking(w, 1000);
             w.RunUntil(w.d.NowMs() + 20000);
             w.ChooseExit();
             w.RunUntil(w.d.NowMs() + 3 * kMinute);
             w.WorldHang(w.ServerPid(), 10 * kMinute);
             w.RunUntil(w.d.NowMs() + kMinute);
             w.ChooseExit();
             w.RunUntil(w.d.NowMs() + 11 * kMinute);
         }},
        {"hang-inside-a-question-wait",
         "the operator exits and nobody answers the server's \"Close Server\" question; 10 s into the wait the "
         "server hangs for a minute",
         [](World& w) {
             StartAsking(w, 1000);
             const HangWords& told = ListenForHangWords(w);
             w.RunUntil(w.d.NowMs() + 20000);
             w.ChooseExit();
             w.d.ScheduleAfter(10000, 0, [&w] { w.WorldHang(w.ServerPid(), kMinute); });
             // The stop still waits: the window says what the server does.
             w.d.ScheduleAfter(80000, 0, [&w] {
                 if (w.program->form->lblStatusLocalServer.Text() == "NOT RESPONDING")
                     w.Broken("status-told", "the server answers again and the window still says NOT RESPONDING");
             });
             w.RunUntil(w.d.NowMs() + 4 * kMinute);
             told.Expect(w, "one-not-responding-a-hang", "a hang of 60 s inside a stop", 1, 1);
         }},
        {"slow-server-behind-a-question",
         "the server answers everything 180 ms late; the operator exits, nobody answers the server's question, "
         "and the server is busy for 400 ms as Harrowatch gives up; hung servers are ended after 2 minutes",
         [](World& w) {
             StartAsking(w, 1000);
             const HangWords& told = ListenForHangWords(w);
             w.Setting("HungRestartMinutes", 2);
             AnswersLate(w, 180);
             w.RunUntil(w.d.NowMs() + kMinute);
             const std::uint64_t exitAt = w.d.NowMs();
             w.ChooseExit();
             w.d.ScheduleAt(exitAt + 131000, 0, [&w] { AnswersLate(w, 400); });
             w.d.ScheduleAt(exitAt + 134000, 0, [&w] { AnswersLate(w, 180); });
             w.RunUntil(w.d.NowMs() + 4 * kMinute);
             told.Expect(w, "no-hang-for-a-busy-moment", "a server answering 180 ms late", 0, 0);
         }},
        {"busy-spells-behind-a-question",
         "the operator exits and nobody answers the server's \"Close Server\" question; from 10 s into the wait "
         "the server is busy 1.5 s in every 2.6 s for a minute, answering in between",
         [](World& w) {
             StartAsking(w, 1000);
             const HangWords& told = ListenForHangWords(w);
             w.RunUntil(w.d.NowMs() + 20000);
             const std::uint64_t exitAt = w.d.NowMs();
             w.ChooseExit();
             for (std::uint64_t i = 0; i < 24; ++i)
                 w.d.ScheduleAt(exitAt + 10000 + i * 2600, 0, [&w] { w.WorldHang(w.ServerPid(), 1500); });
             w.RunUntil(w.d.NowMs() + 4 * kMinute);
             told.Expect(w, "no-hang-for-a-busy-moment", "busy spells of 1.5 s behind a question", 0, 0);
         }},
        {"hung-behind-a-question",
         "the operator exits and nobody answers the server's \"Close Server\" question; 10 s into the wait the "
         "server hangs for ten minutes, and the operator exits again",
         [](World& w) {
             StartAsking(w, 1000);
             const HangWords& told = ListenForHangWords(w);
             w.RunUntil(w.d.NowMs() + 20000);
             w.ChooseExit();
             w.d.ScheduleAfter(10000, 0, [&w] { w.WorldHang(w.ServerPid(), 10 * kMinute); });
             // A hung server cannot take the operator's answer: the exit gives up.
             w.d.ScheduleAfter(40000, 0, [&w] {
                 if (w.program->form->Harrowatch && w.program->form->Harrowatch->Busy())
                     w.Broken("exit-gives-up", "the exit still waits for the question of a server hung for 30 s");
             });
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             w.ChooseExit();
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             told.Expect(w, "one-not-responding-a-hang", "a hang inside two stops", 1, 0);
         }},
        {"stop-of-a-server-without-its-form",
         "a server that never shows its configuration form and ignores a close; the operator exits after 90 s",
         [](World& w) {
             Quiet(w, 1000);
             w.script = "no-config\nignore-close\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             const HangWords& told = ListenForHangWords(w);
             w.RunUntil(w.d.NowMs() + 90000);
             w.ChooseExit();
             w.RunUntil(w.d.NowMs() + kMinute);
             // Told not responding as Harrowatch started; nothing since.
             told.Expect(w, "one-not-responding-a-hang", "a form that never showed", 0, 0);
         }},
        {"dies-before-the-first-look", "every launch of the server crashes 100 ms after it starts; the poll runs each second",
         [](World& w) {
             Quiet(w, 1000);
             w.script = "crash-at-start 100\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
         }},
        {"a-busy-moment", "the server is busy for 1.5 s now and then, at every moment of the 5 s poll",
         [](World& w) {
             Quiet(w, 5000);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 30000);
             for (int k = 0; k < 12 && !w.Failed(); ++k) {
                 w.WorldHang(w.ServerPid(), 1500);
                 w.RunUntil(w.d.NowMs() + 5700);
             }
             w.RunUntil(w.d.NowMs() + 30000);
         }},
        {"hang-inside-a-poll", "the server hangs for 20 s at each kind of read a poll and the chat window make, "
                               "or answers each read 300 ms late, while the operator keeps clicking",
         [](World& w) {
             Quiet(w, 1000);
             w.script = "at 0 players 4\nevery 700 message A line of the server's\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 20000);
             // The server stops answering at the first read of one kind, in
             // whatever part of the poll that read comes.
             const std::uint32_t reads[] = {p::msg::kGetTextLength, p::msg::kLvmGetItemCount, p::msg::kLbGetCount,
                                            p::msg::kLbGetTextLen};
             auto clicking = [&w](std::uint64_t ms) {
                 for (std::uint64_t t = 0; t < ms; t += 150) w.Input("clicks the window", [] {}, t);
             };
             for (int chat = 0; chat < 2 && !w.Failed(); ++chat) {
                 if (chat) {
                     w.Input("opens the chat window", [&w] { w.program->form->sysChatServer_Click(); });
                     w.RunUntil(w.d.NowMs() + 2000);
                 }
                 for (std::uint32_t read : reads) {
                     bool armed = true;
                     w.d.beforeSendToOthers = [&w, read, &armed](p::Hwnd, std::uint32_t message) {
                         if (!armed || message != read) return;
                         armed = false;
                         w.WorldHang(w.ServerPid(), 20000);
                     };
                     clicking(30000);
                     w.RunUntil(w.d.NowMs() + 30000);
                     w.d.beforeSendToOthers = nullptr;
                     if (w.Failed()) return;
                 }
                 // Every read answered, each 300 ms late.
                 AnswersLate(w, 300);
                 w.Step("the server answers every read 300 ms late");
                 clicking(20000);
                 w.RunUntil(w.d.NowMs() + 20000);
                 w.d.beforeSendToOthers = nullptr;
             }
         }},
        {"chat-inside-a-reset",
         "a reset runs against a server that answers each read 100 ms late, while the operator sends a chat line "
         "every 700 ms",
         [](World& w) {
             Quiet(w, 5000);
             w.script = "active\nat 0 players 2\n";
             w.standins.SetScript(w.script);
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Store Inventory|12/06/26 09:01 AM");
             w.StartHarrowatch();
             w.Input("opens the chat window", [&w] { w.program->form->sysChatServer_Click(); });
             w.RunUntil(w.d.NowMs() + 20000);
             AnswersLate(w, 100);
             const std::uint64_t before = w.resets;
             for (int i = 0; i < 60; ++i)
                 w.Input("sends a chat line", [&w, i] {
                     if (!w.program->form->Chat || w.program->form->Chat->Closed()) return;
                     w.program->form->Chat->txtMessageText.SetText("Hello " + std::to_string(i));
                     w.program->form->Chat->btnSendMessage_Click();
                 }, 41000 + static_cast<std::uint64_t>(i) * 700);
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             w.d.beforeSendToOthers = nullptr;
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             if (w.resets == before) w.Broken("reset-done", "the due reset was not done in four minutes");
         }},
        {"chat-to-a-hung-server",
         "the server hangs for 40 s while the operator sends a chat line every 4 s; the poll runs each second",
         [](World& w) {
             Quiet(w, 1000);
             w.script = "active\nat 0 players 2\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             const HangWords& told = ListenForHangWords(w);
             w.RunUntil(w.d.NowMs() + 20000);
             w.Input("opens the chat window", [&w] { w.program->form->sysChatServer_Click(); });
             w.RunUntil(w.d.NowMs() + 2000);
             w.WorldHang(w.ServerPid(), 40000);
             for (int i = 0; i < 10; ++i)
                 w.Input("sends a chat line", [&w, i] {
                     if (!w.program->form->Chat || w.program->form->Chat->Closed()) return;
                     w.program->form->Chat->txtMessageText.SetText("Hello " + std::to_string(i));
                     w.program->form->Chat->btnSendMessage_Click();
                 }, static_cast<std::uint64_t>(i) * 4000);
             w.RunUntil(w.d.NowMs() + 2 * kMinute);
             told.Expect(w, "one-not-responding-a-hang", "a hang of 40 s", 1, 1);
         }},
        {"warning-between-long-polls", "warnings 5 minutes ahead, a poll every 65 s, players online, a reset due",
         [](World& w) {
             Quiet(w, 65000);
             w.warnMinutes = 5;
             w.Setting("WarnPlayersMinutes", 5);
             w.SettingText("WarnPlayersText", "Maintenance in {minutes} minutes");
             w.SettingText("WarnPlayersText", "Maintenance in {minutes} minutes");
             w.d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", "Store Inventory|12/06/26 09:30 AM");
             w.script = "at 0 players 3\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 40 * kMinute);
         }},
        {"a-late-form", "the server's configuration form shows 75 s after each launch, AutoStart on",
         [](World& w) {
             Quiet(w, 5000);
             w.script = "config-delay 75000\n";
             w.standins.SetScript(w.script);
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 4 * kMinute);
             standin::Server* s = w.LiveServer();
             if (!s || !s->Started())
                 w.Broken("late-form-saved", "the server's late form was never saved: the server is not running its game");
         }},
        {"secret-in-a-failed-write", "the operator applies the configuration while the registry refuses to store the webhook's address",
         [](World& w) {
             Quiet(w, 5000);
             w.SettingText("WebhookUrl", "https://hooks.example.test/notify?token=S3CRET-T0KEN");
             w.StartHarrowatch();
             w.RunUntil(w.d.NowMs() + 20000);
             w.registryFaultValue = "WebhookUrl";
             w.registryFaultUntilMs = w.d.NowMs() + 10 * kMinute;
             w.program->form->runConfigModal = [&w](settings::frmConfig& c) {
                 w.Step("configuration applied");
                 c.btnApply_Click();
             };
             w.Input("opens the configuration dialog", [&w] { w.program->form->sysConfigue_Click(); });
             w.RunUntil(w.d.NowMs() + kMinute);
         }},
    };
    return all;
}

}  // namespace hw::simulation
