#include "simulation/world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "automation/process.h"
#include "schedule/catalogue.h"
#include "schedule/next_time.h"
#include "schedule/schedule.h"
#include "settings/settings.h"
#include "supervision/backups.h"
#include "supervision/log.h"

namespace hw::simulation {

namespace p = platform;

namespace {
constexpr const char* kGameFolder = "C:\\Games\\Kaltor Online\\";
constexpr const char* kServerPath = "C:\\Games\\Kaltor Online\\KALTOR INTERNET SERVER.EXE";
constexpr const char* kDataFolder = "C:\\Games\\Kaltor Online\\System\\Kaltor\\";
constexpr std::uint64_t kMinute = 60000, kHour = 60 * kMinute, kDay = 24 * kHour;
constexpr std::size_t kStepsKept = 40;
// How often, on average, something goes wrong or the operator acts.
constexpr std::uint64_t kMeanFaultGapMs = 12 * kMinute;

const char* const kKindNames[] = {
    "crash", "crash-at-start", "hang", "slow-answer", "refuses-close", "late-close-question", "missing-dialog",
    "burst", "players", "typing", "drag", "remove", "clear", "apply", "config-open", "chat", "start-stop",
    "answer-no", "show-hide", "exit", "registry-fails", "disk-full", "tasks-down", "webhook-down", "clock-jump",
    "dst-switch", "explorer-restart", "session-end", "junction"};
static_assert(sizeof kKindNames / sizeof *kKindNames == static_cast<size_t>(Kind::Count));
}  // namespace

const char* KindName(Kind k) { return kKindNames[static_cast<size_t>(k)]; }

std::uint64_t Rng::Spread(std::uint64_t lo, std::uint64_t hi) {
    const double l = std::log(static_cast<double>(lo)), h = std::log(static_cast<double>(hi));
    const double u = static_cast<double>(Next() >> 11) * 0x1.0p-53;
    return std::clamp(static_cast<std::uint64_t>(std::exp(l + (h - l) * u)), lo, hi);
}

int OperatorBoxes::Show(const std::string& text, const std::string& title, std::uint32_t flags) {
    Report(text, title, flags);
    if (whileModal) whileModal();
    return ui::mb::kIdOk;
}

void OperatorBoxes::Report(const std::string& text, const std::string&, std::uint32_t) {
    ++count;
    if (text.find("from your Kaltor directory") != std::string::npos) ++notFound;
    recent.push_back(text);
    if (recent.size() > 20) recent.pop_front();
}

bool CountingShell::NotifyIcon(std::uint32_t message, const ui::TrayIconData& data) {
    if (message == ui::kNimModify && (data.uFlags & ui::kNifInfo)) {
        if (!shown) return false;
        ++balloons;
        return true;
    }
    if (message == ui::kNimAdd) shown = true;
    if (message == ui::kNimDelete) shown = false;
    return true;
}

World::World(const Options& o) : rng(o.seed), intruder(o.seed ^ 0x1A7E5EC0u), machine(o.seed ^ 0x5E6A0F1u), answers(o.seed ^ 0x51071E5u), away(o.seed ^ 0xA3A1B0Eu), options(o), promises_(std::make_unique<Promises>(*this)) {}
World::~World() {
    // The program goes before the desktop it lives on.
    program.reset();
}

void World::Setting(const std::string& name, std::uint32_t v) {
    d.PokeValue(p::kHkeyLocalMachine, settings::kSettingsKey, name, p::reg::kDword,
                {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                 static_cast<std::uint8_t>(v >> 24)});
}

void World::SettingText(const std::string& name, const std::string& value) {
    d.PokeString(p::kHkeyLocalMachine, settings::kSettingsKey, name, value);
}

p::Pid World::ServerPid() {
    standin::SimStandins::Instance* i = standins.Latest();
    return i && LiveServer() ? i->host->pid() : 0;
}

standin::Server* World::LiveServer() {
    standin::SimStandins::Instance* i = standins.Latest();
    if (!i) return nullptr;
    const p::sim::SimProcess* proc = d.FindProcess(i->host->pid());
    return proc && proc->alive ? i->server.get() : nullptr;
}

void World::Boot() {
    {
        // A quarter of the runs watch with the x86 build (on 64-bit Windows,
        // as the operators who install it run it), and one in ten of the
        // others a server rebuilt for 64 bits: each reads the records of its
        // server's width. Their own stream.
        Rng bits(options.seed ^ 0xB175B175ull);
        if (bits.Chance(0.25))
            harrowatch32 = true;
        else
            server64 = bits.Chance(0.1);
    }
    Install();
    if (harrowatch32) d.RunAs32Bit(true);
    // Seeds draw the poll interval from the settings' range, most of them
    // near the default.
    pollMs = rng.Chance(0.5) ? 5000 : static_cast<std::uint32_t>(rng.Spread(1000, 65535));
    SettingText("TimerInterval", std::to_string(pollMs));
    Setting("HideKaltorWindow", rng.Chance(0.7) ? 1 : 0);
    if (rng.Chance(0.5)) Setting("HungRestartMinutes", static_cast<std::uint32_t>(rng.Between(1, 30)));
    if (rng.Chance(0.6)) {
        warnMinutes = rng.Between(2, 15);
        Setting("WarnPlayersMinutes", static_cast<std::uint32_t>(warnMinutes));
        SettingText("WarnPlayersText", "Maintenance in {minutes} minutes");
    }
    if (rng.Chance(0.5)) SettingText("WebhookUrl", "https://hooks.example.test/notify?token=S3CRET-T0KEN");
    // Without a draw: the seeds' worlds stay as they were.
    metrics = options.seed % 2 == 0;
    if (metrics) {
        d.MakeFolder(kMetricsFolder);
        SettingText("MetricsFolder", kMetricsFolder);
    }
    {
        // A third of the runs begin in the small hours, half of those in
        // summer time, so that the zone's switch falls within them. Drawn
        // from a stream of its own as well.
        Rng own(options.seed ^ 0x0D57C10Cull);
        if (own.Chance(0.35)) {
            const p::LocalTime t = d.GetLocalTime();
            const std::int64_t intoDay = (t.hour * 60 + t.minute) * static_cast<std::int64_t>(kMinute);
            d.ShiftLocalTime(static_cast<std::int64_t>(own.Between(30, 180) * kMinute) - intoDay);
            if (own.Chance(0.5)) {
                summerTime = true;
                d.SetUtcOffsetMinutes(120);
            }
            DstSwitch();
        }
    }
    {
        // A daily restart in half the runs, within their first hours. Drawn
        // from a stream of its own: the seeds' other draws stay as they were.
        Rng own(options.seed ^ 0x0DA11F0ull);
        if (own.Chance(0.5)) {
            const p::LocalTime t = d.GetLocalTime();
            const int at = static_cast<int>((t.hour * 60 + t.minute + own.Between(20, 600)) % 1440);
            SettingText("RestartDailyAt", settings::FormatDailyTime(at));
        }
    }
    {
        // In half the runs the server's memory grows, against a limit that a
        // quarter of them set below what even a fresh server uses. Its own
        // stream too.
        Rng own(options.seed ^ 0x3E3A0B7ull);
        if (own.Chance(0.5)) {
            leakMBPerHour = own.Between(10, 120);
            Setting("RestartAboveMB", static_cast<std::uint32_t>(own.Chance(0.25) ? 16 : own.Between(40, 200)));
        }
    }
    RandomSchedule();
    if (intruder.Chance(0.1)) {
        // A user came first: the data folder is theirs, open as ProgramData
        // leaves it, with junctions to their documents where the clean-ups go.
        const std::string data = supervision::DataFolder(d);
        d.MakeFolder(data);
        d.SetSecurity(data, std::string("O:") + p::sim::SimDesktop::kUserSid +
                                "D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)");
        LayJunction(intruder.Chance(0.5) ? "Logs" : "Backups");
        d.MakeFolder(supervision::BackupFolder(d));
        LayJunction("Backups\\2000-01-01");
    }
    StartHarrowatch();
}

bool World::LayJunction(const std::string& below) {
    Count(Kind::Junction);
    const std::string path = supervision::DataFolder(d) + "\\" + below;
    const long e = d.UserMakeJunction(path, kDocuments);
    Step("a user lays a junction " + path + " to their documents: " + (e ? "refused (" + std::to_string(e) + ")" : "laid"));
    return e == 0;
}

void World::Install() {
    d.SetOwnModuleFileName("C:\\Program Files\\Harrowatch\\Harrowatch.exe");
    // An operator's own files, and a folder named as a backup day.
    for (const char* name : {"\\thesis.doc", "\\2000-01-01\\photo.jpg", "\\Harrowatch-2000-01-01.log"})
        documents[std::string(kDocuments) + name] = std::string("the operator's ") + name;
    for (const auto& [path, content] : documents) d.WriteFile(path, content);
    d.PokeString(p::kHkeyLocalMachine, "Software\\Velmora\\KALTOR", "INSTDIR", kGameFolder);
    Setting("AutoStart", 1);
    Setting("HideKaltorWindow", 1);
    d.httpServer = [this](const p::sim::SimDesktop::HttpPosted& posted) {
        p::sim::SimDesktop::HttpAnswer a;
        switch (d.NowMs() < webhookModeUntilMs ? webhookMode : 0) {
            case 1: a.error = 12029; break;
            case 2: a.delayMs = 20000; break;
            case 3: a.status = 500; break;
            case 4:
                a.status = 302;
                a.location = "https://login.hooks.example.test/";
                if (posted.body.find("\"event\":\"test\"") == std::string::npos) webhookRedirectsMs.push_back(d.NowMs());
                break;
            default: a.status = 204;
        }
        return a;
    };
    d.registryFault = [this](const std::string& op, const std::string& key, const std::string& value) -> long {
        if (d.NowMs() >= registryFaultUntilMs) return 0;
        const bool read = p::sim::SimDesktop::IsRegistryRead(op);
        if (read) {
            if (!registryReadsFail) return 0;
            // An Apply that could not look at what is stored stores nothing known.
            if (applyingSchedule && text::Upper(key).find("SCHEDULED EVENTS") != std::string::npos) storedUnknown = true;
            return d.NowMs() % 2 ? 5 : 1450;  // access denied, or no resources
        }
        if (!registryFaultValue.empty() && value != registryFaultValue) return 0;
        // Only the schedule's own key bears on what the schedule stores: an
        // Apply that failed leaves it unknown until the next clean one; a run
        // whose new time could not be stored is stored a few polls later.
        // (A key created is named by its whole path in `value`.)
        if (text::Upper(key + "\\" + value).find("SCHEDULED EVENTS") != std::string::npos) {
            if (applyingSchedule) storedUnknown = true;
            else scheduleFaultMs = d.NowMs();
        }
        return 5;
    };
    d.taskFault = [this](const std::string&, const std::string&) -> long {
        return d.NowMs() < tasksDownUntilMs ? static_cast<long>(0x80070422) : 0;  // the service is off
    };
    d.beforeDeleteFile = [this](const std::string& path) {
        const std::string name = text::Upper(path);
        if (name.rfind(text::Upper(kDataFolder), 0) != 0) return;
        const std::string content = d.FileContent(path);
        ++fileDeletes[path.substr(std::string(kDataFolder).size())];
        // A data file goes only once a copy of what it holds is in the backups.
        for (const std::string& f : d.FilesUnder(supervision::BackupFolder(d)))
            if (d.FileContent(f) == content) return;
        ++backupMisses;
        lastBackupMiss = path;
    };
    p::sim::ProgramSpec spec;
    spec.is32Bit = !server64;
    standins.Install(d, kServerPath, script, spec);
}

void World::RandomSchedule() {
    // A few days' schedule to start with, as an operator left it.
    std::string daily, weekly;
    const char* items[] = {"Store Inventory", "Public Messages", "Hall of Records", "Guild Master Log",
                           "Transaction List", "Confinement", "Guild Crest", "Server Monsters", "Thandrel's Quests"};
    for (int i = 0, n = static_cast<int>(rng.Between(1, 5)); i < n; ++i) {
        const int hour = static_cast<int>(rng.Below(24)), minute = static_cast<int>(rng.Below(4) * 15);
        char when[40];
        std::snprintf(when, sizeof when, "12/%02d/26 %02d:%02d %s", 6 + static_cast<int>(rng.Below(2)),
                      hour % 12 ? hour % 12 : 12, minute, hour < 12 ? "AM" : "PM");
        std::string& list = rng.Chance(0.7) ? daily : weekly;
        list += (list.empty() ? "" : ",") + std::string(items[rng.Below(9)]) + "|" + when;
    }
    if (!daily.empty()) d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Daily", daily);
    if (!weekly.empty()) d.PokeString(p::kHkeyLocalMachine, schedule::kScheduleKey, "Weekly", weekly);
}

void World::StartHarrowatch() {
    program = std::make_unique<Program>();
    exitChosen = false;
    Program& pr = *program;
    pr.form = std::make_unique<app::frmMain>(d, pr.boxes, pr.shell, pr.cancel, pr.app);
    pr.form->hWnd = d.CreateWindow(d.OwnPid(), "HarrowatchMain", "Harrowatch", 0, 0,
                                   [this](std::uint32_t m, std::uint64_t wp, std::int64_t lp, std::int64_t* r) {
                                       return program && program->form && program->form->Form_Message(m, wp, lp, *r);
                                   });
    // A box that waits for OK waits for an operator who may be away for
    // hours; Harrowatch's message loop runs meanwhile, as a modal box's does.
    pr.boxes.whileModal = [this] {
        const std::uint64_t until = d.NowMs() + away.Spread(2000, 3 * kHour);
        Step("a box waits for OK until " + std::to_string(until / 1000) + " s");
        ++boxesUp;
        RunUntil(until);
        --boxesUp;
    };
    pr.form->popup = [](ui::PopupMenu&) {};
    pr.form->openFolder = [](const std::string&) {};
    pr.form->runConfigModal = [this](settings::frmConfig& c) {
        // The operator leaves the dialog open for a while; Harrowatch's
        // message loop runs meanwhile, as a modal dialog's does.
        const std::uint64_t until = d.NowMs() + rng.Spread(10000, 6 * kHour);
        Step("configuration dialog open until " + std::to_string(until / 1000) + " s");
        RunUntil(until);
        if (c.Closed() || !program) return;
        if (rng.Chance(0.7)) {
            if (rng.Chance(0.3)) c.txtHungRestartMinutes.SetText(std::to_string(rng.Between(0, 30)));
            if (rng.Chance(0.2)) c.chkWindowsStartup.SetValue(c.chkWindowsStartup.Value() ? 0 : 1);
            Step("configuration applied");
            c.btnApply_Click();
        } else {
            Step("configuration cancelled");
            c.btnCancel_Click();
        }
    };
    harrowatchDownSinceMs = 0;
    editingRow = 0;  // a field left open went with the Harrowatch before
    server::gInstallDirectory.clear();  // a new process knows nothing yet
    promises_->AtRestart();
    promises_->Attach(pr);
    Step("Harrowatch starts");
    pr.form->Form_Load();
}

void World::Step(const std::string& what) {
    char at[32];
    const std::uint64_t s = d.NowMs() / 1000;
    std::snprintf(at, sizeof at, "%llud%02llu:%02llu:%02llu ", static_cast<unsigned long long>(s / 86400),
                  static_cast<unsigned long long>(s / 3600 % 24), static_cast<unsigned long long>(s / 60 % 60),
                  static_cast<unsigned long long>(s % 60));
    std::string line = at + what;
    if (options.trace) std::printf("  %s\n", line.c_str());
    steps_.push_back(std::move(line));
    if (steps_.size() > kStepsKept) steps_.pop_front();
}

void World::Input(const std::string& what, std::function<void()> action, std::uint64_t delayMs) {
    const std::uint64_t at = d.NowMs() + delayMs;
    d.ScheduleAt(at, d.OwnPid(), [this, what, action = std::move(action), at] {
        if (!program || program->app.ended) return;
        const std::uint64_t late = d.NowMs() - at;
        worstInputMs = std::max(worstInputMs, late);
        if (late > 500) {
            ++inputsLate;
            Broken("input-waits", "the operator's \"" + what + "\" waited " + std::to_string(late) +
                                      " ms for Harrowatch's message loop");
        }
        // A box that waits for OK is in the way of the windows it belongs
        // to: the operator answers it first. Windows' own messages come.
        if (boxesUp && what.rfind("(Windows)", 0) != 0) {
            Step("operator: " + what + ": not done, a box waits for OK");
            return;
        }
        Step("operator: " + what);
        action();
    });
}

void World::WorldCrash(p::Pid pid) {
    if (!pid) return;
    lives[pid].crashedByWorld = true;
    Step("server " + std::to_string(pid.value()) + " crashes");
    d.KillProcess(pid, 3);
}

void World::WorldHang(p::Pid pid, std::uint64_t ms) {
    if (!pid) return;
    // A new hang replaces the one under way: that one ends now.
    for (Hang& h : hangs)
        if (h.pid == pid && h.untilMs > d.NowMs()) h.untilMs = d.NowMs();
    hangs.push_back({pid, d.NowMs(), d.NowMs() + ms});
    if (hangs.size() > 64) hangs.erase(hangs.begin());
    Step("server " + std::to_string(pid.value()) + " hangs for " + std::to_string(ms) + " ms");
    d.HangProcess(pid, ms);
}

void World::Broken(const std::string& promise, const std::string& detail) {
    if (!result_.ok) return;
    if (options.tolerated.count(promise)) {
        Result::Pinned& p = result_.pinned[promise];
        if (!p.count++) {
            p.first = detail;
            Step("pinned " + promise + ": " + detail);
        }
        return;
    }
    result_.ok = false;
    result_.promise = promise;
    result_.detail = detail;
    Step("BROKEN " + promise + ": " + detail);
}

void World::RunUntil(std::uint64_t untilMs) {
    ++depth_;
    while (d.NowMs() < untilMs && result_.ok) {
        const std::uint64_t now = d.NowMs();
        std::uint64_t next = std::min({untilMs, now + pollMs, now + 5000});
        // Faults come only from the outermost loop: a modal loop inside it
        // runs on to its own end (or the next fault's time, at most).
        if (randomFaults && nextFaultMs_ > now) next = std::min(next, nextFaultMs_);
        // A running server saves its state now and then, to a file nobody
        // names: a reset's backup must catch what it held.
        if (depth_ == 1 && now / kMinute % 7 == 0 && LiveServer())
            d.WriteFile(std::string(kDataFolder) + "KALTORState.KLD", "state of minute " + std::to_string(now / kMinute));
        // A growing server: its private bytes follow its uptime.
        if (leakMBPerHour && depth_ == 1 && LiveServer())
            if (p::sim::SimProcess* proc = d.FindProcess(ServerPid()))
                proc->privateBytes = (24ull << 20) + leakMBPerHour * (now - proc->createdAtMs) / 3600000 * (1ull << 20);
        promises_->BeforeStep();
        d.AdvanceIdle(next - now);
        ++stepNo_;
        if (program && program->app.ended && !harrowatchDownSinceMs) {
            harrowatchDownSinceMs = d.NowMs();
            Step("Harrowatch has ended");
            // Only the operator and the session's end end it: never an error.
            if (!exitChosen && !sessionEndingSinceMs)
                Broken("harrowatch-stays", "Harrowatch ended with neither the operator's Exit nor the session's end");
        }
        // An operator starts Harrowatch again a while after it ended.
        if (harrowatchDownSinceMs && depth_ == 1 && d.NowMs() - harrowatchDownSinceMs > 2 * kMinute) {
            program.reset();
            if (sessionEndingSinceMs) {
                // The machine restarted: the server went with the session.
                if (const p::Pid pid = ServerPid()) {
                    lives[pid].closedBySession = true;
                    d.KillProcess(pid, 0);
                }
                sessionEndingSinceMs = 0;
                d.SetShuttingDown(false);
            }
            StartHarrowatch();
        }
        promises_->AfterStep();
        if (randomFaults && d.NowMs() >= nextFaultMs_ && depth_ == 1) {
            InjectFault();
            nextFaultMs_ = d.NowMs() + rng.Spread(1000, 2 * kMeanFaultGapMs);
        }
    }
    --depth_;
}

Result World::Run() {
    endMs_ = static_cast<std::uint64_t>(options.days * static_cast<double>(kDay));
    if (!options.scenario.empty()) {
        const Scenario* found = nullptr;
        for (const Scenario& s : Scenarios())
            if (options.scenario == s.name) found = &s;
        if (!found) {
            result_.ok = false;
            result_.promise = "no such scenario: " + options.scenario;
            return result_;
        }
        Install();
        found->play(*this);
    } else {
        Boot();
        nextFaultMs_ = rng.Spread(1000, 20 * kMinute);
        RunUntil(endMs_);
    }
    result_.simulatedDays = static_cast<double>(d.NowMs()) / static_cast<double>(kDay);
    result_.lastSteps.assign(steps_.begin(), steps_.end());
    result_.line = RunLine();
    return result_;
}

std::string World::RunLine() const {
    char head[160];
    std::snprintf(head, sizeof head, "seed %llu: %.2f days, poll %u ms%s, ", static_cast<unsigned long long>(options.seed),
                  static_cast<double>(d.NowMs()) / static_cast<double>(kDay), pollMs,
                  harrowatch32 ? ", x86 build" : server64 ? ", 64-bit server" : "");
    std::string line = head;
    std::string faults;
    for (size_t k = 0; k < counts_.size(); ++k)
        if (counts_[k]) faults += (faults.empty() ? "" : " ") + std::string(kKindNames[k]) + "=" + std::to_string(counts_[k]);
    line += "faults {" + faults + "}, resets " + std::to_string(resets) + ", relaunches " + std::to_string(relaunches) +
            ", warnings " + std::to_string(warnings) + ", planned restarts " + std::to_string(plannedRestarts) + " (" + std::to_string(memoryRestarts) + " for memory)" +
            ", events " + std::to_string(events) + ", slowest input " +
            std::to_string(worstInputMs) + " ms";
    return line;
}

}  // namespace hw::simulation

namespace hw::simulation {
Result Simulate(const Options& options) {
    World w(options);
    return w.Run();
}
}  // namespace hw::simulation
