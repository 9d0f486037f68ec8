// Harrowatch's promises, checked after every step against the world's own
// record of what happened: the stand-in's effects, the files deleted and
// copied, the processes that ended and why, the hangs it caused.
#include <cstdlib>
#include <algorithm>
#include <cstdio>

#include "app/memory_guard.h"
#include "common/datetime.h"
#include "schedule/catalogue.h"
#include "schedule/grid_layout.h"
#include "schedule/next_time.h"
#include "schedule/schedule.h"
#include "supervision/backoff.h"
#include "supervision/backups.h"
#include "supervision/webhook.h"
#include "simulation/promise_helpers.h"
#include "simulation/world.h"

namespace hw::simulation {

namespace p = platform;
using supervision::EventId;

using namespace promises;

// Every event Harrowatch raises, as its sinks take them, with when it was
// raised and whether the server was hung then: a step may span many seconds.
class EventRecorder : public supervision::EventSink {
public:
    explicit EventRecorder(World& w) : w_(w) {}
    void Take(const supervision::Event& e) override {
        fresh.push_back(e);
        const p::Pid pid = w_.ServerPid();
        taken.push_back({w_.d.NowMs(), pid && w_.d.IsHung(pid)});
    }
    std::vector<supervision::Event> fresh;
    std::vector<EventTaken> taken;  // one for each of fresh

private:
    World& w_;
};

EventRecorder& RecorderOf(Program& pr, World& w) {
    if (!pr.recorder) {
        pr.recorder = std::make_shared<EventRecorder>(w);
        pr.form->Events.AddSink(pr.recorder.get());
    }
    return *pr.recorder;
}

void Promises::Attach(Program& pr) { RecorderOf(pr, w_); }

void Promises::AtRestart() {
    // A Harrowatch that could not store a ran row's next time (the registry
    // refused writes while it ran) leaves the old one for the next to find:
    // that one runs it again, nothing else telling it the row ran.
    if (w_.registryFaultUntilMs > lastStartMs_) {
        runs_.clear();
        copies_.clear();
    }
    lastStartMs_ = w_.d.NowMs();
    rowsBefore_.clear();
    counters_.clear();  // counted since this Harrowatch started, from its own first file on
    const std::string metrics = std::string(World::kMetricsFolder) + "\\harrowatch.prom";
    fileAtStart_ = w_.d.HasFile(metrics) ? w_.d.FileContent(metrics) : std::string();
    w_.webhookRedirectsMs.clear();
}

void Promises::BeforeStep() {
    programBefore_ = w_.program && w_.program->form;
    if (!programBefore_) return;
    RecorderOf(*w_.program, w_);
    app::frmMain& f = *w_.program->form;
    rowsBefore_ = GridRows(f.ResetItemGrid, f.Schedule.DataRows(), true);
    unreadBefore_ = f.Schedule.Unread();
    effectsBefore_ = Actual();
    touchedBefore_ = w_.scheduleTouches;
    claimedBefore_ = claimedDone_;
    for (size_t n = 0; n < kItems; ++n)
        fileBefore_[n] = kItemEffects[n].file &&
                         w_.d.HasFile(std::string("C:\\Games\\Kaltor Online\\System\\Kaltor\\") + kItemEffects[n].file);
}

Promises::Counts Promises::Actual() {
    // Instances before the latest are over: their effects are folded once.
    while (folded_ + 1 < w_.standins.Launches()) {
        const standin::Effects& e = w_.standins.At(folded_)->server->effects();
        for (size_t k = 0; k < kItems; ++k)
            if (kItemEffects[k].count) foldedEffects_[k] += static_cast<std::uint64_t>(e.*kItemEffects[k].count);
        foldedSent_ += e.sentMessages.size();
        ++folded_;
    }
    Counts a = foldedEffects_;
    standin::SimStandins::Instance* latest = w_.standins.Latest();
    for (size_t k = 0; k < kItems; ++k) {
        const ItemEffect& i = kItemEffects[k];
        if (i.file) a[k] = w_.fileDeletes[i.file];
        else if (latest) a[k] += static_cast<std::uint64_t>(latest->server->effects().*i.count);
    }
    return a;
}

std::uint64_t Promises::SentTotal() {
    Actual();
    standin::SimStandins::Instance* latest = w_.standins.Latest();
    return foldedSent_ + (latest && folded_ < w_.standins.Launches() ? latest->server->effects().sentMessages.size() : 0);
}

void Promises::AfterStep() {
    if (standin::SimStandins::Instance* latest = w_.standins.Latest()) {
        if (sentInstance_ != w_.standins.Launches()) {
            sentInstance_ = w_.standins.Launches();
            sentScanned_ = 0;
        }
        const std::vector<std::string>& sent = latest->server->effects().sentMessages;
        for (; sentScanned_ < sent.size(); ++sentScanned_)
            if (sent[sentScanned_].find("Maintenance in") != std::string::npos) {
                ++w_.warnings;
                w_.lastWarningSentMs = w_.d.NowMs();
                w_.warningsSentMs.push_back(w_.d.NowMs());
                if (w_.warningsSentMs.size() > World::kWarningsKept) w_.warningsSentMs.pop_front();
            }
    }
    if (w_.backupMisses) w_.Broken("backup-first", "the data file " + w_.lastBackupMiss + " was deleted with no copy of it in the backups");
    Lives();
    if (w_.program && w_.program->form && w_.program->recorder) {
        EventRecorder& rec = *w_.program->recorder;
        std::vector<supervision::Event> fresh;
        std::vector<EventTaken> taken;
        fresh.swap(rec.fresh);
        taken.swap(rec.taken);
        Events(fresh, taken);
        for (const auto& [ended, next] : endsBeforeLaunch_) {
            const World::Life& l = w_.lives[ended];
            if (!l.reported)
                w_.Broken("every-end-seen", "server " + std::to_string(ended.value()) + " ended (" +
                                                (l.crashedByWorld ? "crashed" : "closed") + ") and server " +
                                                std::to_string(next.value()) + " was launched with no word of that end");
        }
        endsBeforeLaunch_.clear();
        Resets(fresh);
        Schedule();
        Bounds();
        Players();
        MetricsFile();
    }
    HangsTold();
    Retried();
    // A step inside a modal loop (the configuration dialog's, say) is checked
    // on its own: the step around it answers only for what came after it.
    BeforeStep();
}

void Promises::Retried() {
    // A due row is tried while the server runs and answers: a reset that
    // fails is tried again, less often each time, but never given up on.
    if (!w_.program || !w_.program->form) return;
    app::frmMain& f = *w_.program->form;
    const std::uint64_t now = w_.d.NowMs();
    const standin::Server* live = w_.LiveServer();
    const p::Pid pid = w_.ServerPid();
    if (unwatchedMs_ == now || w_.editingRow || !live || !live->Active() || !pid || w_.d.IsHung(pid) ||
        (w_.registryReadsFail && now < w_.registryFaultUntilMs))
        blockedMs_ = now;
    const std::vector<std::string> rows = GridRows(f.ResetItemGrid, f.Schedule.DataRows(), true);
    std::map<std::string, std::uint64_t> dueSince;
    const schedule::DateTime local = schedule::FromLocalTime(w_.d.GetLocalTime());
    for (const std::string& row : rows) {
        if (!schedule::IsDue(row.substr(row.rfind('|') + 1), local)) continue;
        const auto seen = dueSince_.find(row);
        const std::uint64_t since = dueSince[row] = seen != dueSince_.end() ? seen->second : now;
        const std::string item = row.substr(0, row.find('|'));
        const std::uint64_t from = std::max({since, blockedMs_, harrowatchSinceMs_, triedAt_[item]});
        if (now - from > schedule::Schedule::kLongestRetryMs + 2 * w_.pollMs + 10 * kMinute)
            w_.Broken("due-rows-retried", "the row " + row + " has been due for " + std::to_string((now - since) / kMinute) +
                                              " min and was not tried for " + std::to_string((now - from) / kMinute) + " min");
    }
    dueSince_.swap(dueSince);
}

void Promises::HangsTold() {
    // A server that hangs for good is told not responding: by the threshold,
    // two polls, a few probe gaps and a chat line's wait for the server's
    // send dialog (the poll waits for that), while Harrowatch kept watching.
    const std::uint64_t now = w_.d.NowMs();
    const bool watching = w_.program && w_.program->form && !w_.program->app.ended && !w_.sessionEndingSinceMs &&
                          !w_.program->form->ExitPending() && !w_.program->form->ConfigVisible();
    if (!watching) unwatchedMs_ = now;
    for (World::Hang& h : w_.hangs) {
        const std::uint64_t by = h.fromMs + kHungMs + 2 * w_.pollMs + 5000 + server::clsHarrowatch::kSendDialogWaitMs;
        if (h.checked || now < by || h.untilMs < by) continue;
        h.checked = true;
        const p::sim::SimProcess* proc = w_.d.FindProcess(h.pid);
        if (unwatchedMs_ >= h.fromMs || !proc || !proc->alive || w_.ServerPid() != h.pid) continue;
        // A hang that took over from another one at once is the same hang to
        // Harrowatch: it was told if the first one was.
        std::uint64_t from = h.fromMs;
        for (auto before = w_.hangs.rbegin(); before != w_.hangs.rend(); ++before)
            if (before->pid == h.pid && before->fromMs < from && before->untilMs + 1000 >= from) from = before->fromMs;
        if (saidHung_[h.pid] || toldHungMs_[h.pid] >= from) continue;
        w_.Broken("hang-told", "server " + std::to_string(h.pid.value()) + " has hung for " +
                                   std::to_string((now - h.fromMs) / 1000) + " s and was not told not responding (hung " + std::to_string(h.fromMs) + " to " + std::to_string(h.untilMs) + ")");
    }
    // ... and once it answers again, that is told too: a "not responding"
    // left standing hides the next hang and keeps the server's line wrong.
    const p::Pid pid = w_.ServerPid();
    if (!pid || !saidHung_[pid] || w_.d.IsHung(pid)) return;
    const p::sim::SimProcess* proc = w_.d.FindProcess(pid);
    std::uint64_t lastEnd = 0;
    for (const World::Hang& h : w_.hangs)
        if (h.pid == pid) lastEnd = std::max(lastEnd, h.untilMs);
    const std::uint64_t by = lastEnd + 2 * w_.pollMs + kMinute + server::clsHarrowatch::kSendDialogWaitMs;
    if (!proc || !proc->alive || !lastEnd || now < by || unwatchedMs_ >= lastEnd || toldHungMs_[pid] > lastEnd) return;
    w_.Broken("answer-told", "server " + std::to_string(pid.value()) + " has answered again since " + std::to_string(lastEnd) +
                                 " and is still called not responding");
}

void Promises::MetricsFile() {
    const std::string path = std::string(World::kMetricsFolder) + "\\harrowatch.prom";
    if (!w_.metrics || !w_.d.HasFile(path)) return;
    // Always whole: HELP and TYPE lines, samples of a name and a number, and
    // the last line ended; counters of Harrowatch's never go down.
    const std::string content = w_.d.FileContent(path);
    if (content.empty() || content.back() != '\n') {
        w_.Broken("metrics-whole", "the metrics file does not end with a whole line");
        return;
    }
    std::size_t from = 0;
    while (from < content.size()) {
        const std::size_t end = content.find('\n', from);
        const std::string line = content.substr(from, end - from);
        from = end + 1;
        if (line.rfind("# HELP harrowatch_", 0) == 0 || line.rfind("# TYPE harrowatch_", 0) == 0) continue;
        const std::size_t space = line.rfind(' ');
        char* rest = nullptr;
        const double value = space == std::string::npos ? 0 : std::strtod(line.c_str() + space + 1, &rest);
        if (line.rfind("harrowatch_", 0) != 0 || space == std::string::npos || !rest || *rest) {
            w_.Broken("metrics-whole", "the metrics file has the line \"" + line + "\"");
            return;
        }
        const std::string name = line.substr(0, space);
        // The server's processor time starts again with each server.
        // The file an earlier Harrowatch left counts only for that one.
        if (name.find("_total") == std::string::npos || name.rfind("harrowatch_server_", 0) == 0 ||
            content == fileAtStart_)
            continue;
        const auto seen = counters_.find(name);
        if (seen != counters_.end() && value < seen->second)
            w_.Broken("metrics-counters-rise", name + " went from " + std::to_string(seen->second) + " to " +
                                                   std::to_string(value));
        counters_[name] = value;
    }
}

void Promises::Lives() {
    const std::uint64_t now = w_.d.NowMs();
    // Ends and launches in the order the world had them, by the processes'
    // own times: a step may hold several.
    bool anyAlive = false;
    const auto noteEnds = [&](std::uint64_t upToMs) {
        anyAlive = false;
        for (auto& [pid, l] : w_.lives) {
            if (l.endedMs) continue;
            const p::sim::SimProcess* proc = w_.d.FindProcess(pid);
            if (proc && proc->alive) {
                anyAlive = true;
                continue;
            }
            const std::uint64_t ended = proc ? std::max<std::uint64_t>(proc->endedAtMs, 1) : now;
            if (ended > upToMs) continue;
            l.endedMs = ended;
            if (proc && proc->exitCode == 3) l.crashedByWorld = true;  // the stand-in's own crash
            // Harrowatch times a run to when it sees the end: a poll later.
            if (l.crashedByWorld && ended - l.launchedMs + w_.pollMs + 1000 < kMinute) lastQuickCrashMs_ = ended;
        }
    };
    std::uint64_t lastLaunchMs = 0;
    while (launchesSeen_ < w_.standins.Launches()) {
        const p::Pid pid = w_.standins.At(launchesSeen_)->host->pid();
        ++launchesSeen_;
        const p::sim::SimProcess* proc = w_.d.FindProcess(pid);
        const std::uint64_t launched = proc ? proc->createdAtMs : now;
        noteEnds(launched);
        World::Life& life = w_.lives[pid];
        life.pid = pid;
        life.launchedMs = lastLaunchMs = launched;
        if (launchesSeen_ > 1) ++w_.relaunches;
        // Every end of a server Harrowatch launched was seen before it
        // launched another (checked once this step's events are in).
        for (auto& [other, l] : w_.lives)
            if (other != pid && l.endedMs && !l.reported && !l.closedBySession && l.endedMs >= harrowatchSinceMs_ &&
                l.launchedMs >= harrowatchSinceMs_)
                endsBeforeLaunch_.push_back({other, pid});
        // Back-off: a server that crashed at once is not launched again at once.
        if (lastQuickCrashMs_ && launched - lastQuickCrashMs_ < supervision::RelaunchBackoff::kFirstDelayMs &&
            w_.lastOperatorStartMs < lastQuickCrashMs_)
            w_.Broken("relaunch-back-off", "server " + std::to_string(pid.value()) + " launched " +
                                               std::to_string(launched - lastQuickCrashMs_) + " ms after the last one crashed");
        if (w_.sessionEndingSinceMs)
            w_.Broken("no-relaunch-at-session-end", "server " + std::to_string(pid.value()) + " launched while Windows ends the session");
        lastQuickCrashMs_ = 0;
    }
    noteEnds(now);
    // The server is never given up on while Harrowatch runs.
    const bool watching = w_.program && w_.program->form && !w_.program->app.ended && !w_.sessionEndingSinceMs &&
                          !w_.program->form->ExitPending() && !w_.program->form->ConfigVisible() &&
                          // where the server is may be unknown while the registry cannot be read
                          !(w_.registryReadsFail && now < w_.registryFaultUntilMs);
    if (anyAlive || !watching) {
        deadSinceMs_ = 0;
    } else if (!deadSinceMs_ || lastLaunchMs) {
        deadSinceMs_ = now;  // a launch that died between two looks counts
    } else if (now - deadSinceMs_ > 300000 + 2 * w_.pollMs + kMinute) {
        w_.Broken("relaunch-never-stops", "no server has run for " + std::to_string((now - deadSinceMs_) / 1000) + " s");
    }
    if (!w_.program || w_.program->app.ended) harrowatchSinceMs_ = now;
}

void Promises::Events(const std::vector<supervision::Event>& fresh, const std::vector<EventTaken>& taken) {
    for (size_t n = 0; n < fresh.size(); ++n) {
        const supervision::Event& e = fresh[n];
        const std::uint64_t now = taken[n].atMs;
        ++w_.events;
        w_.Step(std::string("Harrowatch: ") + supervision::Info(e.id).name + ": " + e.text);
        if (e.text.find("S3CRET") != std::string::npos)
            w_.Broken("no-secrets", "an event carries the webhook's token: " + e.text);
        const p::Pid pid = PidIn(e.text);
        switch (e.id) {
            case EventId::ServerEnded:
            case EventId::ServerStopped:
            case EventId::HungServerEnded: {
                World::Life& l = w_.lives[pid];
                if (l.reported)
                    w_.Broken("one-report-an-end", "the end of server " + std::to_string(pid.value()) + " was reported twice");
                l.reported = true;
                lastEndPlanned_ = e.id == EventId::ServerStopped && e.text.find("planned restart") != std::string::npos;
                l.plannedRestart |= lastEndPlanned_;
                if (e.id == EventId::ServerStopped && l.crashedByWorld)
                    w_.Broken("crash-is-no-stop", "server " + std::to_string(pid.value()) + " crashed and was logged as stopped");
                // A close Harrowatch gave up on, which the server took late, is
                // the stop Harrowatch asked for all the same.
                if (e.id == EventId::ServerEnded && !l.crashedByWorld && !l.closedBySession)
                    w_.Broken("stop-is-no-crash", "server " + std::to_string(pid.value()) + " was closed by Harrowatch and logged as a crash");
                if (e.id == EventId::ServerEnded && l.closedBySession)
                    w_.Broken("session-end-is-no-crash", "server " + std::to_string(pid.value()) + " closed with Windows and was logged as a crash");
                break;
            }
            case EventId::NotResponding: {
                // A hang of the server that has lasted the threshold, and one
                // "not responding" for it. Busy spells less than a probe's gap
                // apart are one spell, unless the server did answer a probe in
                // between: a silence runs from its last answer. A server that
                // never showed its form is another matter.
                if (e.text.find("has not shown") != std::string::npos) break;
                toldHungMs_[w_.ServerPid()] = now;
                saidHung_[w_.ServerPid()] = true;
                size_t at = w_.hangs.size();
                for (size_t k = 0; k < w_.hangs.size(); ++k)
                    if (w_.hangs[k].fromMs <= now && now <= w_.hangs[k].untilMs + w_.pollMs + 1000) at = k;
                if (at == w_.hangs.size()) {
                    w_.Broken("no-hang-for-a-busy-moment", "not responding raised with no hang of the server");
                    break;
                }
                std::uint64_t from = w_.hangs[at].fromMs, until = w_.hangs[at].untilMs;
                for (size_t k = at; k-- > 0;)
                    if (w_.hangs[k].pid == w_.hangs[at].pid && w_.hangs[k].untilMs + 1000 >= from)
                        from = std::min(from, w_.hangs[k].fromMs);
                if (answeredMs_ > from && answeredPid_ == w_.hangs[at].pid) from = answeredMs_;
                if (until - from < kHungMs)
                    w_.Broken("no-hang-for-a-busy-moment",
                              "a busy spell of " + std::to_string(until - from) + " ms was called not responding");
                else if (from == lastHangReported_)
                    w_.Broken("one-not-responding-a-hang", "a second \"not responding\" for one hang");
                else
                    lastHangReported_ = from;
                break;
            }
            case EventId::RespondingAgain:
                saidHung_[w_.ServerPid()] = false;
                // Only a true answer ends a hang.
                if (!taken[n].serverHung) {
                    answeredMs_ = now;
                    answeredPid_ = w_.ServerPid();
                }
                break;
            case EventId::RelaunchDelayed:
                // A planned restart is no crash: nothing holds its launch back.
                if (lastEndPlanned_)
                    w_.Broken("planned-restart-no-crash", "a planned restart held the launch back: " + e.text);
                break;
            case EventId::ServerResources:
                if (e.text.find(" above RestartAboveMB") != std::string::npos &&
                    e.text.find("still above") == std::string::npos)
                    memoryPlannedMs_ = now;
                break;
            case EventId::PlannedRestart: {
                if (e.text.find(" launched") == std::string::npos) break;
                ++w_.plannedRestarts;
                // A restart for memory: never sooner than 6 hours after the
                // planned restart before it (in this Harrowatch's run), and
                // with players online never before its 30 minutes.
                if (e.text.rfind("for memory", 0) == 0) {
                    ++w_.memoryRestarts;
                    if (lastPlannedRestartMs_ >= harrowatchSinceMs_ && lastPlannedRestartMs_ &&
                        now - lastPlannedRestartMs_ < app::MemoryGuard::kLeastGapMs)
                        w_.Broken("memory-restart-spacing", "a restart for memory " +
                                                                std::to_string((now - lastPlannedRestartMs_) / kMinute) +
                                                                " minutes after the planned restart before it: " + e.text);
                    if (e.text.find("players online") != std::string::npos &&
                        now - memoryPlannedMs_ < app::MemoryGuard::kMostWaitMs)
                        w_.Broken("memory-restart-waits", "a restart for memory came with players online " +
                                                              std::to_string((now - memoryPlannedMs_) / kMinute) +
                                                              " minutes after it was planned: " + e.text);
                }
                lastPlannedRestartMs_ = now;
                // The server closed was not one the operator had stopped, or
                // the one launched in its place is left stopped too.
                const World::Life& closed = w_.lives[pid];
                if (!closed.plannedRestart)
                    w_.Broken("planned-restart-no-crash", "a planned restart told of server " + std::to_string(pid.value()) +
                                                              " whose end was not told as planned");
                const standin::Server* was = nullptr;
                for (std::size_t k = 0; k < w_.standins.Launches(); ++k)
                    if (w_.standins.At(k)->host->pid() == pid) was = w_.standins.At(k)->server.get();
                const standin::Server* live = w_.LiveServer();
                if (was && !was->Active() && live && live->Active() && w_.lastOperatorStartMs + 10 * kMinute < taken[n].atMs)
                    w_.Broken("planned-restart-keeps-operator-stop",
                              "server " + std::to_string(pid.value()) + " was stopped, and its planned restart started the next one");
                break;
            }
            case EventId::ResetDone:
                ++w_.resets;
                triedAt_[e.text.substr(0, e.text.find(';'))] = now;
                // "Item", or "Item; a file not backed up (...)"
                for (size_t k = 0; k < kItems; ++k)
                    if (e.text.substr(0, e.text.find(';')) == kItemEffects[k].item) ++claimedDone_[k];
                break;
            case EventId::ResetFailed:
                // "Item: why", or "Item; a file not backed up (...): why"
                failedAt_[e.text.substr(0, e.text.find_first_of(";:"))] = now;
                triedAt_[e.text.substr(0, e.text.find_first_of(";:"))] = now;
                break;
            case EventId::MessageSent:
                ++sentClaimed_;
                break;
            case EventId::WarningNotSent:
                warningMissedAt_ = now;
                break;
            case EventId::WebhookNotDelivered:
                // A redirect is told as such, once a post, and not tried
                // again (a retry would leave the redirect before it untold).
                if (e.text.find("redirected (HTTP 302)") != std::string::npos) {
                    if (w_.webhookRedirectsMs.empty())
                        w_.Broken("redirect-not-delivered", "a redirect logged that the endpoint never answered: " + e.text);
                    else
                        w_.webhookRedirectsMs.pop_front();
                } else if (e.text.find("still waiting at exit") != std::string::npos) {
                    w_.webhookRedirectsMs.clear();  // the answers under way are among those
                }
                break;
            default:
                break;
        }
    }
    // Nothing is reported sent that the server did not take.
    if (sentClaimed_ > SentTotal())
        w_.Broken("no-false-send", std::to_string(sentClaimed_) + " messages reported sent, " +
                                       std::to_string(SentTotal()) + " arrived");
}

void Promises::Players() {
    // The players shown are the server's: at most a few polls after they
    // last changed, while the server answers and Harrowatch polls it.
    app::frmMain& f = *w_.program->form;
    const std::uint64_t now = w_.d.NowMs();
    standin::Server* s = w_.LiveServer();
    const p::Pid pid = w_.ServerPid();
    std::vector<std::string> players;
    if (s)
        for (const standin::Player& p : s->players()) players.push_back(p.name);
    std::sort(players.begin(), players.end());
    // (A server not active takes no players; the world's joins then stand for nothing.)
    if (players != playersBefore_ || pid != playersPid_ || !s || !s->Active() || (pid && w_.d.IsHung(pid)) || !f.RefreshTimer.Enabled() ||
        w_.program->app.ended || !programBefore_)
        playersSteadySinceMs_ = now;
    playersBefore_ = players;
    playersPid_ = pid;
    if (now - playersSteadySinceMs_ < 3 * std::uint64_t{w_.pollMs} + 30000) return;
    std::vector<std::string> shown;
    for (const auto& row : f.PlayerListView.Items())
        if (row.size() > 1) shown.push_back(row[1]);
    std::sort(shown.begin(), shown.end());
    // A list that could not be read since stays, marked with when it was.
    if (shown != players && f.StatusBar.Panel(2).find(" AS OF ") == std::string::npos)
        w_.Broken("players-mirrored", "the window shows [" + Join(shown) + "] where the server has [" + Join(players) +
                                          "] (status \"" + f.lblStatusLocalServer.Text() + "\", \"" + f.StatusBar.Panel(2) + "\")");
}

void Promises::Bounds() {
    app::frmMain& f = *w_.program->form;
    // The server's program never leaves its folder: a registry that failed
    // to say where it is is no reason to tell the operator it is missing.
    if (w_.program->boxes.notFound && !w_.serverElsewhere)
        w_.Broken("no-false-not-found", "the operator was told to run Harrowatch from the Kaltor directory");
    if (w_.d.OpenHandleCount() > 64)
        w_.Broken("bounded", std::to_string(w_.d.OpenHandleCount()) + " handles open");
    if (w_.d.TimerCount() > 16) w_.Broken("bounded", std::to_string(w_.d.TimerCount()) + " timers set");
    if (const p::Pid pid = w_.ServerPid(); pid && w_.d.RemoteBlockCount(pid) > 16)
        w_.Broken("bounded", std::to_string(w_.d.RemoteBlockCount(pid)) + " blocks allocated in the server");
    // The server never writes into memory Harrowatch gave back while a
    // request of its still pointed there.
    if (!w_.d.ReleasedMemoryAccesses().empty())
        w_.Broken("no-write-into-freed-memory", std::to_string(w_.d.ReleasedMemoryAccesses().size()) +
                                                    " accesses by the server to memory already freed");
    if (w_.d.CopiesOnOwnThread())
        w_.Broken("copies-off-the-window", std::to_string(w_.d.CopiesOnOwnThread()) + " files copied on the window's thread");
    if (f.Webhook.Waiting() > supervision::kWebhookQueued)
        w_.Broken("bounded", std::to_string(f.Webhook.Waiting()) + " webhook posts waiting");
    if (!w_.webhookRedirectsMs.empty() && !w_.program->app.ended && w_.d.NowMs() - w_.webhookRedirectsMs.front() > kMinute)
        w_.Broken("redirect-not-delivered", "a post answered with a redirect a minute ago is not logged as not delivered");
    if (f.lstMonitoredMsgs.Count() > app::kMonitoredLinesKept)
        w_.Broken("bounded", std::to_string(f.lstMonitoredMsgs.Count()) + " message lines kept");
    // The tray icon is there for as long as Harrowatch runs: it is the way to exit.
    if (f.Harrowatch && !w_.program->app.ended && !f.SessionEnding() && !w_.program->shell.shown)
        w_.Broken("tray-icon", "Harrowatch runs with no tray icon");
    standin::Server* s = w_.LiveServer();
    if (!s || s->players().empty()) w_.playersZeroSinceMs = w_.d.NowMs();
    // Harrowatch writes and deletes with administrator rights: never outside
    // its own folders and the server's, whatever junction a user laid.
    if (w_.d.FilesUnder(World::kDocuments).size() != w_.documents.size())
        w_.Broken("own-folders-only", std::to_string(w_.d.FilesUnder(World::kDocuments).size()) +
                                          " files in the operator's documents, not " + std::to_string(w_.documents.size()));
    for (const auto& [path, content] : w_.documents)
        if (!w_.d.HasFile(path) || w_.d.FileContent(path) != content) w_.Broken("own-folders-only", path + " changed");
    if (!w_.program->app.ended && w_.program->form->Harrowatch) w_.harrowatchRan = true;
}

}  // namespace hw::simulation
