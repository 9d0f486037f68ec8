// Harrowatch's promises about the schedule, checked after every step: each
// due reset runs once and shows in the stand-in's effects or the data
// folder, the players are warned before it, and the rows move on.
#include <algorithm>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "schedule/catalogue.h"
#include "schedule/next_time.h"
#include "simulation/promise_helpers.h"
#include "simulation/world.h"

namespace hw::simulation {

namespace p = platform;
using supervision::EventId;
using namespace promises;

void Promises::Resets(const std::vector<supervision::Event>& fresh) {
    // Harrowatch that loaded within the step had no rows to see before it.
    for (const supervision::Event& e : fresh) programBefore_ &= e.id != EventId::Started;
    app::frmMain& f = *w_.program->form;
    const Counts actual = Actual();
    const schedule::DateTime now = schedule::FromLocalTime(w_.d.GetLocalTime());
    const bool touched = w_.scheduleTouches != touchedBefore_;
    // Rows with the same item and time may each run once for it.
    for (const std::string& row : rowsBefore_) {
        int& most = copies_[row];
        most = std::max<int>(most, static_cast<int>(std::count(rowsBefore_.begin(), rowsBefore_.end(), row)));
    }
    const std::vector<std::string> rowsAfter = GridRows(f.ResetItemGrid, f.Schedule.DataRows(), true);
    for (size_t n = 0; n < kItems; ++n) {
        const ItemEffect& i = kItemEffects[n];
        const std::uint64_t ran = actual[n] - effectsBefore_[n];
        // A reset of the server's own had every file of its data folder in
        // the backups first, or says which it could not copy.
        if (ran && !i.file) {
            const std::vector<std::string> copies = w_.d.FilesUnder(supervision::BackupFolder(w_.d));
            for (const std::string& file : w_.d.FilesUnder("C:\\Games\\Kaltor Online\\System\\Kaltor")) {
                const std::string name = file.substr(file.find_last_of('\\') + 1), content = w_.d.FileContent(file);
                bool kept = false;
                for (const std::string& c : copies) kept = kept || w_.d.FileContent(c) == content;
                for (const supervision::Event& e : fresh)
                    kept = kept || ((e.id == EventId::ResetDone || e.id == EventId::ResetFailed) &&
                                    e.text.find(name + " not backed up") != std::string::npos);
                if (!kept)
                    w_.Broken("backup-before-reset", std::string(i.item) + " ran with " + name +
                                                         " neither in the backups nor told as not backed up");
            }
        }
        // Nothing is reported done that the world did not do.
        const std::uint64_t claimed = claimedDone_[n];
        if (claimed > actual[n] + claimedAllowance_[n]) {
            // Already gone (before the step, or now: the server may write it
            // anew as it starts): as reset as deleted.
            if (i.file && (!fileBefore_[n] ||
                           !w_.d.HasFile(std::string("C:\\Games\\Kaltor Online\\System\\Kaltor\\") + i.file)))
                claimedAllowance_[n] = claimed - actual[n];
            else
                w_.Broken("no-false-reset", std::string(i.item) + " reported done " + std::to_string(claimed) +
                                                " times, done " + std::to_string(actual[n]));
        }
        // Harrowatch started within the step: its rows were not seen before.
        for (std::uint64_t k = 0; k < ran && programBefore_; ++k) {
            // The run belongs to a row of the item that was due: one that has
            // not had its runs, and of those one that moved on in the step
            // (two rows of one item may be due at once, and one run).
            std::string due;
            int dueScore = -1;
            bool restartRow = false;
            for (size_t r = 0; r < rowsBefore_.size(); ++r) {
                const std::string& row = rowsBefore_[r];
                if (row.rfind(std::string(i.item) + "|", 0) != 0) continue;
                const std::string next = row.substr(row.rfind('|') + 1);
                if (next == schedule::kNoNextTime) restartRow = true;
                if (!schedule::IsDue(next, now)) continue;
                const bool movedOn = std::count(rowsAfter.begin(), rowsAfter.end(), row) <
                                     std::count(rowsBefore_.begin(), rowsBefore_.end(), row);
                const int score = (runs_[row] < copies_[row] ? 2 : 0) + (movedOn ? 1 : 0);
                if (score > dueScore) {
                    due = row;
                    dueScore = score;
                }
            }
            // The row whose time the operator is typing is never run (another
            // row of the same item may be).
            if (w_.editingRow && w_.editingRow < f.ResetItemGrid.Rows() &&
                f.ResetItemGrid.TextMatrix(w_.editingRow, schedule::kColName) == i.item) {
                bool otherDue = false;
                for (size_t r = 0; r < rowsBefore_.size(); ++r)
                    otherDue |= static_cast<int>(r) + 1 != w_.editingRow &&
                                rowsBefore_[r].rfind(std::string(i.item) + "|", 0) == 0 &&
                                schedule::IsDue(rowsBefore_[r].substr(rowsBefore_[r].rfind('|') + 1), now);
                if (!otherDue)
                    w_.Broken("no-run-while-typed", std::string(i.item) + " ran while the operator was typing its time (row " +
                                                        std::to_string(w_.editingRow) + ")");
            }
            if (due.empty()) {
                // A schedule unread until this step had rows this step
                // loaded and ran, and none of them were seen before it.
                if (!restartRow && !touched && !unreadBefore_)
                    w_.Broken("runs-when-due", std::string(i.item) + " ran with no row of it due (" + Join(rowsBefore_) + ")");
                continue;
            }
            if (++runs_[due] > copies_[due])
                w_.Broken("once-per-due-time", std::string(i.item) + " ran again for the same due time: " + due);
            Warned(due);
        }
    }
    // A due row that moved on without running, and without a word of failure.
    const std::vector<std::string> rowsNow = GridRows(f.ResetItemGrid, f.Schedule.DataRows(), true);
    if (!touched && !w_.editingRow)
        for (size_t r = 0; r < rowsBefore_.size() && programBefore_; ++r) {
            const std::string& row = rowsBefore_[r];
            const std::string next = row.substr(row.rfind('|') + 1);
            if (!schedule::IsDue(next, now) || runs_[row] > 0) continue;
            if (std::find(rowsNow.begin(), rowsNow.end(), row) != rowsNow.end()) continue;
            const std::string item = row.substr(0, row.find('|'));
            if (failedAt_.count(item) && failedAt_[item] + 10 * kMinute >= w_.d.NowMs()) continue;
            // Told done with nothing left to do (its file already gone).
            bool told = false;
            for (size_t n = 0; n < kItems; ++n) told |= item == kItemEffects[n].item && claimedDone_[n] > claimedBefore_[n];
            if (told) continue;
            w_.Broken("no-silent-skip", "the due row " + row + " moved on without running");
        }
    // A time the operator sets again is a new due time, even one that ran.
    if (runs_.size() > 4096 || touched) {
        runs_.clear();
        copies_.clear();
    }
}

void Promises::Warned(const std::string& due) {
    // With warnings on and players online all along, a reset that runs was
    // announced, or the missed announcement is in the log.
    if (!w_.program->form->PlayerListView.Items().size()) return;
    const std::uint64_t minutes = w_.warnMinutes;
    if (!minutes) return;
    // A run held back past its due time (its time field open, a server
    // that kept failing it) was announced at that time, not the run's: the
    // checks below are made as of the due minute.
    std::uint64_t now = w_.d.NowMs();
    const std::string next = due.substr(due.rfind('|') + 1);
    if (const auto at = schedule::ParseDateTime(next)) {
        auto minuteOf = [](const schedule::DateTime& t) {
            return datetime::DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
        };
        const p::LocalTime local = w_.d.GetLocalTime();
        const std::int64_t late = (minuteOf(schedule::FromLocalTime(local)) - minuteOf(*at)) * 60000 +
                                  local.second * 1000;
        if (late > static_cast<std::int64_t>(2 * w_.pollMs + kMinute))
            now -= std::min<std::uint64_t>(now, static_cast<std::uint64_t>(late));
    }
    const std::uint64_t window = (minutes + 5) * kMinute + 2 * w_.pollMs;
    // Only the latest warnings are kept: once older ones that could be this
    // reset's are dropped, the record tells nothing of it.
    if (w_.warningsSentMs.size() >= World::kWarningsKept && w_.warningsSentMs.front() + window > now) return;
    if (w_.playersZeroSinceMs + (minutes + 2) * kMinute > now || (w_.lastClockJumpMs && w_.lastClockJumpMs + (minutes + 60) * kMinute > now)) return;
    // Only a time a run has been waiting for at most a few polls counts:
    // one held back by an outage was announced long ago or not at all.
    if (warningMissedAt_ + (minutes + 5) * kMinute >= now) return;
    bool sent = false;
    for (std::uint64_t t : w_.warningsSentMs) sent |= t + window >= now && t <= now + w_.pollMs + 5000;
    if (!sent && w_.lastWarningSentMs + window < now)
        w_.Broken("warned-before-reset", "the reset of " + due + " ran with players online and no warning sent or logged");
    // With the server answering and Harrowatch running all along, the first
    // warning came by the first poll of its minute (or is logged as missed).
    bool calm = harrowatchSinceMs_ + window < now;
    for (const World::Hang& h : w_.hangs) calm &= h.untilMs + window < now;
    if (!calm) return;
    const std::uint64_t deadline = now - minutes * kMinute + w_.pollMs + 5000;
    for (std::uint64_t t : w_.warningsSentMs)
        if (t + window >= now && t <= deadline) return;
    w_.Broken("warned-before-reset", "the reset of " + due + " ran with players online and its " + std::to_string(minutes) +
                                         " minutes' warning neither sent in time nor logged as missed");
}

void Promises::Schedule() {
    // What is stored loads back to the rows applied, with the times runs gave them.
    app::frmMain& f = *w_.program->form;
    const std::uint64_t now = w_.d.NowMs();
    if (now < nextLoadCheckMs_ || w_.storedUnknown || w_.scheduleDirty || w_.editingRow) return;
    // While the registry fails the check's own load would; a run's new time
    // that could not be stored is given a few polls to get there.
    if (now < w_.registryFaultUntilMs + (w_.registryReadsFail ? 3 * w_.pollMs + kMinute : 0) ||
        (w_.scheduleFaultMs && now < w_.scheduleFaultMs + 3 * w_.pollMs + kMinute)) return;
    nextLoadCheckMs_ = now + 30 * kMinute;
    std::vector<std::string> shown = GridRows(f.ResetItemGrid, f.Schedule.DataRows(), false);
    std::sort(shown.begin(), shown.end());
    OperatorBoxes boxes;
    ui::GridModel grid;
    schedule::InitializeResultGrid(grid, schedule::kScheduleGridSpec, boxes, [] {});
    schedule::Schedule loaded(grid, w_.d, boxes, {});
    loaded.FormOpen();
    std::vector<std::string> back = GridRows(grid, loaded.DataRows(), false);
    std::sort(back.begin(), back.end());
    if (back != shown)
        w_.Broken("schedule-loads-back", "the stored schedule loads as [" + Join(back) + "] where the grid has [" +
                                             Join(shown) + "]");
}

}  // namespace hw::simulation
