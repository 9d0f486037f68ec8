// A seeded world for the whole of Harrowatch: the simulated desktop, the
// stand-in server, an operator and a machine that misbehave at random, and
// Harrowatch's promises checked after every step. Everything that varies
// comes from the seed; the same seed replays the same run.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/sim/sim_desktop.h"
#include "standin/sim/sim_host.h"

namespace hw::simulation {

// splitmix64: small, fast, and the same on every compiler (the standard
// library's distributions are not).
class Rng {
public:
    // The seed is mixed first: neighbouring seeds must not share a stream
    // shifted by one draw.
    explicit Rng(std::uint64_t seed) : s_(Mix(seed ^ 0x2545F4914F6CDD1Dull)) {}
    static std::uint64_t Mix(std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Next() {
        return Mix(s_ += 0x9E3779B97F4A7C15ull);
    }
    std::uint64_t Below(std::uint64_t n) { return n ? Next() % n : 0; }
    std::uint64_t Between(std::uint64_t lo, std::uint64_t hi) { return lo + Below(hi - lo + 1); }
    bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }
    // Log-uniform: as many short ones as long ones, by order of magnitude.
    std::uint64_t Spread(std::uint64_t lo, std::uint64_t hi);
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }

private:
    std::uint64_t s_;
};

// What the world does to Harrowatch, counted in each run's line.
enum class Kind {
    Crash, CrashAtStart, Hang, SlowAnswer, RefusesClose, LateCloseQuestion, MissingDialog, Burst, Players,
    Typing, Drag, Remove, Clear, Apply, ConfigOpen, Chat, StartStop, AnswerNo, ShowHide, Exit,
    RegistryFails, DiskFull, TasksDown, WebhookDown, ClockJump, DstSwitch, ExplorerRestart, SessionEnd, Junction, Count
};
const char* KindName(Kind k);

struct Options {
    std::uint64_t seed = 1;
    double days = 0.5;
    bool trace = false;          // every step to stdout
    std::string scenario;        // a named scenario instead of random faults
    // Promises still broken by open defects: a break of one is counted and
    // the run goes on.
    std::set<std::string> tolerated;
};

struct Result {
    bool ok = true;
    std::string promise;          // the broken one
    std::string detail;
    std::vector<std::string> lastSteps;
    std::string line;             // the run's one line
    struct Pinned {
        std::uint64_t count = 0;
        std::string first;        // the first break's detail
    };
    std::map<std::string, Pinned> pinned;  // tolerated promises that broke
    double simulatedDays = 0;
};

// Message boxes as an operator at the console answers them, kept to the
// last few (a run lasts months).
class OperatorBoxes : public ui::MessageBoxHost {
public:
    int Show(const std::string& text, const std::string& title, std::uint32_t flags) override;
    void Report(const std::string& text, const std::string& title, std::uint32_t flags) override;
    std::deque<std::string> recent;
    std::uint64_t count = 0;
    std::uint64_t notFound = 0;  // "run Harrowatch from your Kaltor directory" boxes
    std::function<void()> whileModal;
};

class CountingShell : public ui::TrayShell {
public:
    bool NotifyIcon(std::uint32_t message, const ui::TrayIconData& data) override;
    bool shown = false;
    std::uint64_t balloons = 0;
};

// One run of Harrowatch (it may exit and be started again within a run).
class EventRecorder;
struct Program {
    OperatorBoxes boxes;
    CountingShell shell;
    automation::CancelSignal cancel;
    ui::Application app;
    std::shared_ptr<EventRecorder> recorder;  // every event the program raises
    std::unique_ptr<app::frmMain> form;
};

class Promises;

class World {
public:
    explicit World(const Options& options);
    ~World();
    Result Run();

    // --- For named scenarios.
    platform::sim::SimDesktop d;
    standin::SimStandins standins;
    std::unique_ptr<Program> program;
    Rng rng;
    Rng intruder;  // an ordinary user's doings, apart so they leave the rest of a seed's run as it was
    Rng machine;   // the machine's later kinds of fault, apart for the same reason
    Rng answers;   // which of Harrowatch's sends meet a slow server: drawn a send, so apart from the rest
    Rng away;      // how long a box that waits for OK stays up: apart, as boxes come and go with code changes
    Options options;
    std::uint32_t pollMs = 5000;
    bool randomFaults = true;
    std::string script;  // the stand-in's script for the next launch
    void Boot();      // the desktop, a random schedule and settings, Harrowatch started
    void Install();   // the desktop and the server only
    void StartHarrowatch();
    // Runs the world (and the checks) until virtual time `untilMs`.
    void RunUntil(std::uint64_t untilMs);
    // Operator input: handled when Harrowatch's message loop next runs.
    void Input(const std::string& what, std::function<void()> action, std::uint64_t delayMs = 0);
    // The operator chooses Exit Harrowatch, `delayMs` from now.
    void ChooseExit(std::uint64_t delayMs = 0);
    void Step(const std::string& what);
    void Broken(const std::string& promise, const std::string& detail);
    bool Failed() const { return !result_.ok; }
    platform::Pid ServerPid();
    standin::Server* LiveServer();
    void Setting(const std::string& name, std::uint32_t value);
    void SettingText(const std::string& name, const std::string& value);
    void Count(Kind k) { ++counts_[static_cast<size_t>(k)]; }
    // Typing the next time of data row `row`, a key at a time.
    void TypeNextTime(int row, const std::string& text, std::uint64_t keyGapMs);
    void WorldCrash(platform::Pid pid);
    void WorldHang(platform::Pid pid, std::uint64_t ms);
    // Windows ends the session. serverFirst: whether the server closes
    // before Harrowatch is asked (-1: as the shutdown levels and the seed say).
    void EndSession(int serverFirst = -1);
    // An ordinary user lays a junction in Harrowatch's data folder, leading
    // to their documents; true when Windows let them.
    bool LayJunction(const std::string& below);
    static constexpr const char* kDocuments = "C:\\Users\\Owner\\Documents";

private:
    friend class Promises;
    void RandomSchedule();
    void InjectFault();
    void ServerFault();
    void OperatorAction();
    void MachineFault();
    void EditSchedule();
    void OpenConfigurationFor(std::uint64_t ms);
    void Exit();
    void DstSwitch();  // at the zone's next switching hour
    void Check();
    std::string RunLine() const;

    Result result_;
    std::deque<std::string> steps_;
    std::uint64_t stepNo_ = 0;
    std::uint64_t endMs_ = 0;
    std::uint64_t nextFaultMs_ = 0;
    std::uint64_t nextDataChangeMs_ = 0;
    std::array<std::uint64_t, static_cast<size_t>(Kind::Count)> counts_{};
    int depth_ = 0;  // RunUntil inside RunUntil: a modal loop
    std::unique_ptr<Promises> promises_;

public:
    // --- The world's own record, read by the promises.
    struct Life {
        platform::Pid pid = 0;
        std::uint64_t launchedMs = 0, endedMs = 0;
        bool crashedByWorld = false, closedBySession = false, reported = false;
        bool plannedRestart = false;  // closed by a planned restart
    };
    std::map<platform::Pid, Life> lives;
    struct Hang {
        platform::Pid pid;
        std::uint64_t fromMs, untilMs;
        bool checked = false;  // whether it was told has been looked at
    };
    std::vector<Hang> hangs;
    std::uint64_t lastOperatorStartMs = 0;
    std::uint64_t sessionEndingSinceMs = 0;  // 0: no session end under way
    std::uint64_t harrowatchDownSinceMs = 0; // 0: Harrowatch runs
    bool exitChosen = false;                 // the operator chose Exit in this Harrowatch's run
    std::string registryFaultValue;          // only this value fails (empty: all)
    bool registryReadsFail = false;          // reads fail too while the writes do
    bool serverElsewhere = false;            // the game's folder names one without the server
    bool harrowatch32 = false, server64 = false;  // the widths of the two programs (both 64-bit: a rebuilt server)
    // Even seeds have Harrowatch write its metrics file here.
    static constexpr const char* kMetricsFolder = "C:\\Metrics";
    bool metrics = false;
    std::uint64_t registryFaultUntilMs = 0, tasksDownUntilMs = 0, diskFullUntilMs = 0, webhookModeUntilMs = 0;
    int webhookMode = 0;                     // 0 up, 1 down, 2 slow, 3 500, 4 redirect
    std::deque<std::uint64_t> webhookRedirectsMs;  // alerts answered with a redirect, not yet logged
    bool storedUnknown = false;              // a fault on the schedule's key since the last clean Apply
    bool applyingSchedule = false;
    std::uint64_t scheduleFaultMs = 0;       // the last fault on the schedule's key outside an Apply
    bool scheduleDirty = false;              // operator edits not applied yet
    int editingRow = 0;                      // a next time being typed (0: none)
    std::set<std::string> typedTexts;        // what the field showed while typed, not validated
    std::vector<std::string> appliedRows;    // name|freq|next, as applied
    std::uint64_t inputsLate = 0, worstInputMs = 0;
    std::uint64_t resets = 0, relaunches = 0, warnings = 0, events = 0;
    std::map<std::string, std::uint64_t> fileDeletes;     // data file name -> deletions by Harrowatch
    std::uint64_t backupMisses = 0;
    std::string lastBackupMiss;
    std::uint64_t playersZeroSinceMs = 0;   // last moment no player was online
    std::uint64_t scheduleTouches = 0;       // operator inputs that changed the schedule
    std::uint64_t warnMinutes = 0;
    std::uint64_t plannedRestarts = 0;       // told done
    std::uint64_t memoryRestarts = 0;        // of those, for memory
    std::uint64_t leakMBPerHour = 0;         // how fast the server's memory grows (0: it does not)
    std::uint64_t lastClockJumpMs = 0, lastWarningSentMs = 0;
    bool summerTime = false;   // the zone's daylight saving time is on
    int boxesUp = 0;           // boxes of Harrowatch's waiting for OK: the operator answers them first
    bool dstComing = false;    // a switch is due at the zone's next switching hour
    std::deque<std::uint64_t> warningsSentMs;  // the latest kWarningsKept
    static constexpr size_t kWarningsKept = 64;
    std::map<std::string, std::string> documents;  // an operator's files, not Harrowatch's: path -> content
    bool harrowatchRan = false;              // since then its data folder is the administrators'
};

// The promises Harrowatch keeps, checked after every step.
class EventRecorder;
// When an event was raised, and whether the server was hung then.
struct EventTaken {
    std::uint64_t atMs = 0;
    bool serverHung = false;
};
class Promises {
public:
    explicit Promises(World& w) : w_(w) {}
    static constexpr std::size_t kItems = 9;  // the reset items
    using Counts = std::array<std::uint64_t, kItems>;
    void BeforeStep();
    void AfterStep();
    void AtRestart();
    void Attach(Program& program);

private:
    Counts Actual();
    std::uint64_t SentTotal();
    void Lives();
    void Events(const std::vector<supervision::Event>& fresh, const std::vector<EventTaken>& taken);
    void Resets(const std::vector<supervision::Event>& fresh);
    void Warned(const std::string& due);
    void Schedule();
    void Bounds();
    void MetricsFile();
    void Players();
    void HangsTold();
    void Retried();
    World& w_;
    std::vector<std::string> playersBefore_;  // the server's players at the last step
    platform::Pid playersPid_ = 0;
    std::uint64_t playersSteadySinceMs_ = 0;
    std::map<std::string, double> counters_;  // the metrics file's counters as last read
    std::string fileAtStart_;                  // the metrics file as this Harrowatch found it
    std::vector<std::string> rowsBefore_;          // name|frequency id|next time
    std::vector<std::pair<platform::Pid, platform::Pid>> endsBeforeLaunch_;  // ended, launched next
    std::map<std::string, int> runs_;             // due row -> runs seen
    std::map<std::string, int> copies_;           // due row -> most rows of it seen at once
    Counts effectsBefore_{}, foldedEffects_{}, claimedDone_{}, claimedAllowance_{}, claimedBefore_{};
    std::array<bool, kItems> fileBefore_{};  // each reset's data file was there before the step
    bool programBefore_ = false;
    bool unreadBefore_ = false;  // the schedule was not yet read in
    std::map<std::string, std::uint64_t> failedAt_;
    std::size_t folded_ = 0, launchesSeen_ = 0, sentScanned_ = 0, sentInstance_ = 0;
    std::uint64_t foldedSent_ = 0, sentClaimed_ = 0, touchedBefore_ = 0;
    std::uint64_t lastQuickCrashMs_ = 0, deadSinceMs_ = 0, harrowatchSinceMs_ = 0, lastHangReported_ = ~0ull;
    std::uint64_t warningMissedAt_ = 0, nextLoadCheckMs_ = 0;
    std::uint64_t answeredMs_ = 0;  // the server's last true "responding again"
    platform::Pid answeredPid_ = 0;
    std::map<platform::Pid, std::uint64_t> toldHungMs_;  // each server's last "not responding"
    std::map<platform::Pid, bool> saidHung_;               // ... and whether it still stands
    std::uint64_t unwatchedMs_ = 0;  // when Harrowatch last had no eye on the server
    std::uint64_t lastStartMs_ = 0;  // when the Harrowatch running now started
    std::uint64_t blockedMs_ = 0;    // when a due reset last could not be tried
    std::map<std::string, std::uint64_t> triedAt_;   // item -> its last reset done or failed
    std::map<std::string, std::uint64_t> dueSince_;  // due row -> since when it has been seen due
    bool lastEndPlanned_ = false;   // the last end told was a planned restart's
    std::uint64_t lastPlannedRestartMs_ = 0;  // the last planned restart told done
    std::uint64_t memoryPlannedMs_ = 0;       // when a restart for memory was last planned
};

// Named scenarios: a world set up by hand to reach one defect that random
// search reaches rarely. Each answers through the same promises.
struct Scenario {
    const char* name;
    const char* what;
    std::function<void(World&)> play;
};
const std::vector<Scenario>& Scenarios();

Result Simulate(const Options& options);

}  // namespace hw::simulation
