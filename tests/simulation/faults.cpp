// What the world does to Harrowatch: the server, the operator and the
// machine misbehaving, each drawn from the seed.
#include <algorithm>
#include <cstdio>

#include "automation/windows.h"
#include "schedule/catalogue.h"
#include "schedule/grid_layout.h"
#include "simulation/world.h"
#include "supervision/backups.h"
#include "supervision/log.h"

namespace hw::simulation {

namespace p = platform;

namespace {
constexpr std::uint64_t kMinute = 60000, kHour = 60 * kMinute;

// A next time as an operator types it: mostly whole and valid, sometimes
// cut short, mistyped or far off.
std::string TypedTime(Rng& rng, const p::LocalTime& now) {
    const int day = std::min(28, now.day + static_cast<int>(rng.Below(3)));
    const int hour = static_cast<int>(rng.Between(1, 12)), minute = static_cast<int>(rng.Below(60));
    char buf[48];
    switch (rng.Below(6)) {
        case 0:
            std::snprintf(buf, sizeof buf, "%d/%d", now.month, day);  // no year yet
            break;
        case 1:
            std::snprintf(buf, sizeof buf, "%d/%d/%d", now.month, day, 2100 + static_cast<int>(rng.Below(5)));
            break;
        case 2:
            std::snprintf(buf, sizeof buf, "%d/%d/%02d", now.month, day, now.year % 100);
            break;
        default:
            std::snprintf(buf, sizeof buf, "%d/%d/%02d %d:%02d %s", now.month, day, now.year % 100, hour, minute,
                          rng.Chance(0.5) ? "AM" : "PM");
    }
    return buf;
}
}  // namespace

void World::InjectFault() {
    if (!program || program->app.ended || sessionEndingSinceMs) return;
    const std::uint64_t r = rng.Below(100);
    if (r < 40) {
        ServerFault();
    } else if (r < 80) {
        OperatorAction();
    } else {
        MachineFault();
    }
}

void World::ServerFault() {
    const p::Pid pid = ServerPid();
    standin::Server* s = LiveServer();
    switch (rng.Below(10)) {
        case 0:
            Count(Kind::Crash);
            WorldCrash(pid);
            break;
        case 1:
            // The next few launches end before their configuration form.
            Count(Kind::CrashAtStart);
            script = "crash-at-start " + std::to_string(rng.Between(0, 2000)) + "\n";
            standins.SetScript(script);
            Step("the server's next launches crash at start");
            d.ScheduleAfter(rng.Spread(10000, 30 * kMinute), 0, [this] {
                script.clear();
                standins.SetScript(script);
            });
            WorldCrash(pid);
            break;
        case 2:
            Count(Kind::Hang);
            WorldHang(pid, rng.Spread(300, 30 * kMinute));
            break;
        case 3: {
            // One request in k is answered too late for Harrowatch's time-out.
            Count(Kind::SlowAnswer);
            const std::uint64_t k = rng.Between(3, 40), until = d.NowMs() + rng.Spread(kMinute, 2 * kHour);
            Step("the server answers one request in " + std::to_string(k) + " late");
            d.beforeSendToOthers = [this, k, until](p::Hwnd, std::uint32_t) {
                if (d.NowMs() >= until) return;
                if (answers.Below(k) == 0) {
                    const p::Pid target = ServerPid();
                    if (target && !d.IsHung(target)) {
                        const std::uint64_t ms = answers.Between(300, 1500);
                        hangs.push_back({target, d.NowMs(), d.NowMs() + ms});
                        if (hangs.size() > 64) hangs.erase(hangs.begin());
                        d.HangProcess(target, ms);
                    }
                }
            };
            break;
        }
        case 4:
            Count(rng.Chance(0.5) ? Kind::RefusesClose : Kind::LateCloseQuestion);
            script = counts_[static_cast<size_t>(Kind::RefusesClose)] % 2 ? "ignore-close\n"
                                                                           : "close-dialog " + std::to_string(rng.Spread(500, 20000)) + "\n";
            standins.SetScript(script);
            Step("the next servers close with: " + script.substr(0, script.size() - 1));
            break;
        case 5:
            Count(Kind::MissingDialog);
            script = rng.Chance(0.5) ? "dialogs none\n" : "dialogs empty\n";
            standins.SetScript(script);
            Step("the next servers show their reset dialogs: " + script.substr(0, script.size() - 1));
            break;
        case 6:
        case 7:
            if (!s) break;
            Count(Kind::Burst);
            {
                const std::uint64_t n = rng.Spread(1, 3000);
                std::vector<std::string> lines;
                for (std::uint64_t i = 0; i < n; ++i) lines.push_back("Burst line " + std::to_string(i));
                Step("the server adds " + std::to_string(n) + " lines");
                s->AddLines(lines);
            }
            break;
        default:
            if (!s) break;
            Count(Kind::Players);
            if (s->players().empty() || rng.Chance(0.6)) {
                const std::string name = "Player" + std::to_string(rng.Below(1000));
                Step(name + " joins");
                s->Join({name, "10.0.0." + std::to_string(rng.Below(250)), "Hero" + name});
            } else {
                const std::string name = s->players()[rng.Below(s->players().size())].name;
                Step(name + " leaves");
                s->Leave(name);
            }
    }
}

void World::OperatorAction() {
    app::frmMain& f = *program->form;
    switch (rng.Below(12)) {
        case 0:
        case 1:
        case 2:
        case 3:
            EditSchedule();
            break;
        case 4:
            Count(Kind::ConfigOpen);
            Input("opens the configuration dialog", [this] {
                if (program) program->form->sysConfigue_Click();
            });
            break;
        case 5: {
            Count(Kind::Chat);
            Input("opens the chat window", [this] {
                if (program) program->form->sysChatServer_Click();
            });
            const int sends = rng.Chance(0.3) ? 2 : 1;
            for (int i = 0; i < sends; ++i)
                Input("sends a chat line", [this, i] {
                    if (!program || !program->form->Chat || program->form->Chat->Closed()) return;
                    program->form->Chat->txtMessageText.SetText("Hello from the operator " + std::to_string(i));
                    program->form->Chat->btnSendMessage_Click();
                }, 1000 + static_cast<std::uint64_t>(i) * rng.Between(50, 400));
            break;
        }
        case 6:
            Count(Kind::StartStop);
            if (rng.Chance(0.5)) {
                lastOperatorStartMs = d.NowMs();
                Input("starts the server", [this] { program->form->sysStartServer_Click(); });
            } else {
                Input("stops the server", [this] { program->form->sysStopServer_Click(); });
            }
            break;
        case 7:
            Count(Kind::ShowHide);
            lastOperatorStartMs = d.NowMs();  // a command that needs the server launches it at once
            {
                const bool show = rng.Chance(0.5);
                Input(show ? "shows the server" : "hides the server", [this, show] {
                    program->form->Toolbar_ButtonClick(show ? app::kShowServer : app::kHideServer);
                });
            }
            break;
        case 8:
            if (rng.Chance(0.3)) {
                Exit();
                break;
            }
            [[fallthrough]];
        default:
            (void)f;
            EditSchedule();
    }
}

void World::Exit() {
    Count(Kind::Exit);
    // The server may ask "Close Server"; the operator may answer No.
    if (rng.Chance(0.4)) {
        script = "close-dialog 0\n";
        standins.SetScript(script);
        if (const p::Pid pid = ServerPid()) {
            // Only a server launched from now on asks; this one is told to
            // by hand: answer its question when it comes.
            (void)pid;
        }
        const bool no = rng.Chance(0.5);
        if (no) Count(Kind::AnswerNo);
        d.ScheduleAfter(rng.Between(1000, 15000), 0, [this, no] {
            const p::Hwnd dialog = d.FindWindow("#32770", "Close Server");
            if (!dialog) return;
            for (p::Hwnd h : automation::GetChildWindows(d, dialog))
                if (h && automation::GetWindowTitle(d, h) == (no ? "&No" : "&Yes")) {
                    Step(std::string("operator answers the server's \"Close Server\": ") + (no ? "No" : "Yes"));
                    d.PostMessage(h, p::msg::kLButtonDown, 0, 0);
                    d.PostMessage(h, p::msg::kLButtonUp, 0, 0);
                }
        });
    }
    ChooseExit(rng.Below(3000));
}

void World::ChooseExit(std::uint64_t delayMs) {
    Input("chooses Exit Harrowatch", [this] {
        exitChosen = true;
        program->form->sysExit_Click();
    }, delayMs);
}

void World::DstSwitch() {
    // As the zone's rules have it: summer time and winter time take turns,
    // the clock going from 02:00 to 03:00 as summer time begins and from
    // 03:00 back to 02:00 as it ends.
    if (dstComing) return;
    Count(Kind::DstSwitch);
    dstComing = true;
    const bool forward = !summerTime;
    const p::LocalTime t = d.GetLocalTime();
    const std::uint64_t intoDay =
        ((static_cast<std::uint64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
    const std::uint64_t at = (forward ? 2 : 3) * kHour;
    const std::uint64_t wait = (at + 24 * kHour - intoDay - 1) % (24 * kHour) + 1;
    d.ScheduleAfter(wait, 0, [this, forward] {
        dstComing = false;
        summerTime = forward;
        Step(forward ? "daylight saving time begins" : "daylight saving time ends");
        d.ShiftLocalTime(forward ? static_cast<std::int64_t>(kHour) : -static_cast<std::int64_t>(kHour));
        d.SetUtcOffsetMinutes(forward ? 120 : 60);
        lastClockJumpMs = d.NowMs();
    });
}

void World::EditSchedule() {
    app::frmMain& f = *program->form;
    schedule::ScheduleEditor& e = f.Editor;
    const int rows = f.Schedule.DataRows();
    switch (rng.Below(6)) {
        case 0:
        case 1: {
            Count(Kind::Drag);
            std::vector<int> offered;
            for (const schedule::ResetItem& i : schedule::kResetItems)
                if (i.offered && i.hasAction) offered.push_back(i.index);
            const int item = rng.Pick(offered);
            scheduleDirty = true;
            Input(std::string("adds ") + schedule::kResetItems[static_cast<size_t>(item)].name, [this, item] {
                ++scheduleTouches;
                program->form->SSTab.Select(2);
                program->form->Editor.imgResetItem_DblClick(item);
                const int row = program->form->Schedule.DataRows();
                program->form->ResetItemGrid.SetCurrent(row, schedule::kColFreq);
                program->form->Editor.cmbFrequency.SetListIndex(static_cast<int>(rng.Below(3)));
                // A time being typed elsewhere was left with the click: its
                // field is gone, and the keys that follow go nowhere.
                if (editingRow && !program->form->Editor.timePlacement.visible) editingRow = 0;
            });
            if (rng.Chance(0.8)) {
                const p::LocalTime now = d.GetLocalTime();
                TypeNextTime(rows + 1, TypedTime(rng, now), rng.Between(150, 3000));
            }
            break;
        }
        case 2:
            if (rows == 0) break;
            Count(Kind::Typing);
            scheduleDirty = true;
            TypeNextTime(static_cast<int>(rng.Between(1, static_cast<std::uint64_t>(rows))), TypedTime(rng, d.GetLocalTime()),
                         rng.Between(150, 3000));
            break;
        case 3:
            if (rows == 0) break;
            Count(Kind::Remove);
            scheduleDirty = true;
            Input("removes a row", [this, row = static_cast<int>(rng.Between(1, static_cast<std::uint64_t>(rows)))] {
                app::frmMain& m = *program->form;
                if (row > m.Schedule.DataRows()) return;
                ++scheduleTouches;
                m.ResetItemGrid.SetCurrent(row, schedule::kColName);
                m.Editor.btnRemove_Click();
            });
            break;
        case 4:
            if (!rng.Chance(0.2)) break;
            Count(Kind::Clear);
            scheduleDirty = true;
            Input("clears the schedule", [this] {
                ++scheduleTouches;
                program->form->Editor.btnClear_Click();
            });
            break;
        default:
            Count(Kind::Apply);
            Input("applies the schedule", [this] {
                if (editingRow) return;  // the field is validated first (below)
                ++scheduleTouches;
                storedUnknown = false;
                applyingSchedule = true;
                program->form->Editor.btnApplyReset_Click();
                applyingSchedule = false;
                if (!storedUnknown) {
                    scheduleDirty = false;
                    appliedRows.clear();
                    ui::GridModel& g = program->form->ResetItemGrid;
                    for (int r = 1; r <= program->form->Schedule.DataRows() && r < g.Rows(); ++r)
                        appliedRows.push_back(g.TextMatrix(r, schedule::kColName) + "|" + g.TextMatrix(r, schedule::kColFreq) +
                                              "|" + g.TextMatrix(r, schedule::kColNextTime));
                    std::sort(appliedRows.begin(), appliedRows.end());
                }
            });
    }
    (void)e;
}

void World::TypeNextTime(int row, const std::string& typed, std::uint64_t keyGapMs) {
    Input("starts typing \"" + typed + "\" in row " + std::to_string(row), [this, row] {
        app::frmMain& m = *program->form;
        if (row > m.Schedule.DataRows() || editingRow) return;
        m.SSTab.Select(2);
        m.ResetItemGrid.Click(row, schedule::kColNextTime);
        // A row with no time to type (a restart row) opens no field: the
        // keys go to the grid, where they do nothing.
        if (!m.Editor.timePlacement.visible) return;
        editingRow = row;
        typedTexts.clear();
        m.Editor.txtNextResetTime.TrackText("");
    });
    std::uint64_t at = 0;
    for (size_t i = 0; i < typed.size(); ++i) {
        at += keyGapMs;
        Input("types '" + typed.substr(i, 1) + "'", [this, row, key = typed[i]] {
            app::frmMain& m = *program->form;
            if (editingRow != row) return;
            ++scheduleTouches;
            std::int16_t k = key;
            m.Editor.txtNextResetTime_KeyPress(k);
            if (k == 0) return;
            m.Editor.txtNextResetTime.TrackText(m.Editor.txtNextResetTime.Text() + static_cast<char>(k));
            typedTexts.insert(m.Editor.txtNextResetTime.Text());
        }, at);
    }
    Input("leaves the field", [this, row] {
        app::frmMain& m = *program->form;
        if (editingRow != row) return;
        ++scheduleTouches;
        if (m.Editor.txtNextResetTime_Validate()) m.Editor.txtNextResetTime_LostFocus();
        editingRow = 0;
        typedTexts.clear();
    }, at + keyGapMs);
}

void World::MachineFault() {
    switch (rng.Below(9)) {
        case 0:
            Count(Kind::RegistryFails);
            registryFaultUntilMs = d.NowMs() + rng.Spread(1000, 20 * kMinute);
            registryReadsFail = machine.Chance(0.5);
            Step(std::string(registryReadsFail ? "registry reads and writes" : "registry writes") + " fail until " +
                 std::to_string(registryFaultUntilMs / 1000) + " s");
            break;
        case 1: {
            // No room left: writes and copies fail with ERROR_DISK_FULL, as
            // on Windows, until others free some.
            Count(Kind::DiskFull);
            d.SetDiskSpace(d.DiskUsed());
            Step("the disk is full");
            d.ScheduleAfter(rng.Spread(kMinute, 6 * kHour), 0, [this] {
                d.SetDiskSpace(UINT64_MAX);
                Step("the disk has room again");
            });
            break;
        }
        case 2:
            Count(Kind::TasksDown);
            tasksDownUntilMs = d.NowMs() + rng.Spread(kMinute, 6 * kHour);
            Step("the Task Scheduler is not available");
            break;
        case 3:
            Count(Kind::WebhookDown);
            webhookMode = static_cast<int>(rng.Between(1, 4));
            webhookModeUntilMs = d.NowMs() + rng.Spread(kMinute, 6 * kHour);
            Step("the webhook endpoint misbehaves (mode " + std::to_string(webhookMode) + ")");
            break;
        case 4: {
            Count(Kind::ClockJump);
            const std::int64_t jump = static_cast<std::int64_t>(rng.Spread(1000, 6 * kHour)) * (rng.Chance(0.5) ? 1 : -1);
            Step("the clock jumps " + std::to_string(jump / 1000) + " s");
            d.ShiftLocalTime(jump);
            lastClockJumpMs = d.NowMs();
            break;
        }
        case 5:
            DstSwitch();
            break;
        case 6:
            Count(Kind::ExplorerRestart);
            Step("Explorer restarts");
            program->shell.shown = false;
            d.BroadcastFrom(d.ShellPid(), d.RegisterWindowMessage("TaskbarCreated"), 0, 0);
            break;
        case 7:
            EndSession();
            break;
        case 8:
            if (intruder.Chance(0.2)) {
                const char* below[] = {"Logs", "Backups", "Backups\\2000-01-01", "Logs\\Harrowatch-2000-01-01.log"};
                if (LayJunction(below[intruder.Below(4)]) && harrowatchRan)
                    Broken("data-folder-locked", "a user laid a junction in the data folder of a Harrowatch that ran");
                break;
            }
            [[fallthrough]];
        default:
            OperatorAction();
    }
}

void World::EndSession(int serverFirst) {
    Count(Kind::SessionEnd);
    sessionEndingSinceMs = d.NowMs();
    Step("the Windows session ends");
    // Windows is shutting down from here on, before it asks any program.
    d.SetShuttingDown(true);
    const auto ask = [this] {
        std::int64_t result = 0;
        program->form->Form_Message(app::kWmQueryEndSession, 0, 0, result);
    };
    // Programs are asked from the highest shutdown level down: Harrowatch,
    // when it asked for an early place, before the server. A server may still
    // go first, on its own, or when Harrowatch kept the default level.
    const p::Pid pid = ServerPid();
    const bool goesFirst = pid && (serverFirst >= 0 ? serverFirst == 1
                                                    : d.OwnShutdownLevel() <= p::session::kDefaultShutdownLevel ||
                                                          rng.Chance(0.5));
    std::uint64_t askAt = 0;
    if (goesFirst) {
        Step("the server closes before Windows asks Harrowatch");
        askAt = rng.Between(3000, 12000);  // polls may come in between
        Input("(Windows) WM_QUERYENDSESSION", ask, askAt);
    } else {
        ask();
    }
    if (pid) {
        lives[pid].closedBySession = true;
        d.ScheduleAfter(rng.Between(100, 3000), pid, [this, pid] { d.KillProcess(pid, 0); });
    }
    Input("(Windows) WM_ENDSESSION", [this] {
        std::int64_t r = 0;
        program->form->Form_Message(app::kWmEndSession, 1, 0, r);
        program->app.End();
    }, askAt + rng.Between(4000, 8000));
}

}  // namespace hw::simulation
