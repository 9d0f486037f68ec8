#include "schedule/schedule.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <set>

#include "common/datetime.h"
#include "common/error.h"
#include "ui/report.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "schedule/catalogue.h"
#include "schedule/next_time.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::schedule {

namespace {

settings::cRegistry ScheduleRegistry(platform::Desktop& d) { return settings::MachineKey(d, kScheduleKey); }

// Each frequency's entries in row order: `order` names the frequencies as
// they first come, `values` holds each one's entries joined.
void GatherEntries(const ui::GridModel& grid, std::vector<std::string>& order,
                   std::map<std::string, std::string>& values) {
    for (int r = 1; r < grid.Rows(); ++r) {
        const std::string& name = grid.TextMatrix(r, kColFreq);
        std::string entry = grid.TextMatrix(r, kColName) + "|" + grid.TextMatrix(r, kColNextTime);
        auto it = values.find(name);
        if (it == values.end() || text::IsBlankValue(it->second)) {
            if (it == values.end()) order.push_back(name);
            values[name] = entry;
        } else {
            it->second += "," + entry;
        }
    }
}

// Takes out of the schedule's key every value not among `values` just
// written, and the key itself when none was.
void RemoveUnwritten(settings::cRegistry& reg, const std::map<std::string, std::string>& values) {
    // Value names ignore case: "daily" is the "Daily" just written.
    auto written = [&](const std::string& name) {
        for (const auto& [n, v] : values)
            if (text::Upper(n) == text::Upper(name)) return true;
        return false;
    };
    // A frequency with no rows any more goes by its name, so that
    // its rows cannot come back even if the listing misses it.
    for (const Frequency& f : kFrequencies) {
        if (written(f.name)) continue;
        reg.SetValueKey(f.name);
        if (reg.ValueExists(true)) reg.DeleteValue();
    }
    std::vector<std::string> stored;
    std::int32_t count = 0;
    reg.EnumerateValues(stored, count);
    for (std::int32_t i = 1; i <= count; ++i) {
        if (written(stored[i])) continue;
        reg.SetValueKey(stored[i]);
        if (reg.ValueExists(true)) reg.DeleteValue();
    }
    if (values.empty()) reg.DeleteKey();
}

// Replaces the stored entry `old` of the value `frequency` by `replacement`,
// or takes it out when there is none (and the value with its last entry).
// Whole entries only: "Public Messages|12/24/2" is not the start of
// "Public Messages|12/24/26 03:00 PM". Nothing is written when no entry is
// equal to it; a value that cannot be read throws: it is not one without
// the entry.
void RewriteStoredEntry(platform::Desktop& d, const std::string& frequency, const std::string& old,
                        const std::optional<std::string>& replacement) {
    settings::cRegistry reg = ScheduleRegistry(d);
    reg.SetValueKey(frequency);
    reg.SetValueType(platform::reg::kSz);
    std::vector<std::string> entries = text::Split(reg.ReadValue().ToText(), ",");
    const auto entry = std::find(entries.begin(), entries.end(), old);
    if (entry == entries.end()) return;
    if (replacement)
        *entry = *replacement;
    else
        entries.erase(entry);
    if (entries.empty()) {
        reg.DeleteValue();
        return;
    }
    reg.SetValueType(platform::reg::kSz);
    reg.SetValue(text::Join(entries, ","));
}

}  // namespace

Schedule::Schedule(ui::GridModel& grid, platform::Desktop& desktop, ui::MessageBoxHost& boxes,
                   std::function<void(bool)> setRefreshTimer)
    : grid_(grid), desktop_(desktop), boxes_(boxes), setRefreshTimer_(std::move(setRefreshTimer)) {}

void Schedule::AddRow(int itemIndex, int frequencyId, const std::string& nextTime) {
    const ResetItem& item = kResetItems.at(itemIndex);
    const int row = grid_.Rows();
    grid_.AddItem(std::to_string(row) + "\t" + item.name);
    grid_.SetCurrent(row, kColPicture);
    grid_.SetPicture(row, kColPicture, {item.index, ui::CellAlign::LeftCenter});
    grid_.SetTextMatrix(row, kColFreq, kFrequencies.at(frequencyId).name);
    grid_.SetTextMatrix(row, kColFreqId, std::to_string(frequencyId));
    grid_.SetTextMatrix(row, kColNextTime, nextTime);
    grid_.SetRowHeight(row, rowHeight_);
}

void Schedule::TextResort() {
    resortPending_ = false;
    if (DataRows() < 1) return;
    grid_.SetEnabled(false);
    grid_.SortTextAscendingNoCase(kColNextTime);
    grid_.SetCurrent(1, kColPicture);
    grid_.SetEnabled(true);
}

void Schedule::WithTimerOff(const char* name, const std::function<void()>& work) {
    SetTimer(false);
    try {
        ScopeExit restore([this] {
            grid_.SetEnabled(true);
            SetTimer(true);
        });
        work();
    } catch (...) {
        ReportCaught(boxes_, name);
    }
}

void Schedule::FormOpen() {
    WithTimerOff("FormOpen", [this] {
        loadFailed_ = true;
        LoadStored();
    });
}

void Schedule::LoadStored() {
    settings::cRegistry reg = ScheduleRegistry(desktop_);
    // "Next Restart" rows are stored but never come back. Every value is
    // read before a row is added: a value that cannot be read shows none of
    // the schedule rather than part of it.
    std::vector<std::pair<int, std::string>> stored;
    for (int id : {kDaily, kWeekly, kMonthly, kEveryRestart}) {
        reg.SetValueKey(kFrequencies[id].name);
        reg.SetValueType(platform::reg::kSz);
        stored.emplace_back(id, reg.ReadValue().ToText());
    }
    std::multiset<std::string> inGrid;  // rows already there, each matching one stored entry
    for (int r = 1; r < grid_.Rows(); ++r)
        inGrid.insert(grid_.TextMatrix(r, kColName) + "|" + grid_.TextMatrix(r, kColFreqId) + "|" +
                      grid_.TextMatrix(r, kColNextTime));
    for (const auto& [id, data] : stored) {
        if (data.empty()) continue;
        for (const std::string& entry : text::Split(data, ",")) {
            const std::vector<std::string> fields = text::Split(entry, "|");
            for (const ResetItem& item : kResetItems) {
                if (fields.front() != item.name) continue;
                // A row typed in again after a failed load is not doubled.
                const auto typed = inGrid.find(std::string(item.name) + "|" + std::to_string(id) + "|" + fields.back());
                if (typed != inGrid.end()) {
                    inGrid.erase(typed);
                    continue;
                }
                AddRow(item.index, id, fields.back());
            }
        }
    }
    loadFailed_ = false;
    if (DataRows() >= 1) {
        grid_.SetEnabled(false);
        grid_.SortNumericAscending(kColName, kColNextTime);
        grid_.SetCurrent(1, kColPicture);
    }
}

void Schedule::FormSave() {
    WithTimerOff("FormSave", [this] {
        // A schedule that could not be read at the start is read now, its
        // rows beside those added since: a grid that never held it must not
        // replace it.
        if (loadFailed_) {
            try {
                LoadStored();
            } catch (const HwError& e) {
                throw HwError(e.number(), e.source(),
                              "The stored schedule cannot be read, so it is not replaced (nothing was saved): " +
                                  e.description());
            }
        }
        TextResort();
        std::vector<std::string> order;
        std::map<std::string, std::string> values;
        GatherEntries(grid_, order, values);
        // Write the new values first and only then take away what has no
        // rows any more: a save cut short keeps the old schedule.
        settings::cRegistry reg = ScheduleRegistry(desktop_);
        for (const std::string& name : order) {
            reg.SetValueKey(name);
            reg.SetValueType(platform::reg::kSz);
            reg.SetValue(values[name]);
        }
        // A key that cannot be looked at is no key without old entries:
        // they would stay, and come back at the next start.
        if (reg.KeyExists(true)) RemoveUnwritten(reg, values);
    });
}

void Schedule::StoreRunEntry(const std::string& frequency, const std::string& name, const std::string& oldTime,
                             const std::string& newTime) {
    RewriteStoredEntry(desktop_, frequency, name + "|" + oldTime, name + "|" + newTime);
}

void Schedule::RemoveStoredEntry(const std::string& frequency, const std::string& name, const std::string& time) {
    RewriteStoredEntry(desktop_, frequency, name + "|" + time, std::nullopt);
}

int Schedule::RunRestartItems(ScheduledItemRunner& runner) {
    struct Row {
        std::string name, freqId, time;
    };
    // Taken first: a reset yields, and the operator may change rows meanwhile.
    std::vector<Row> rows;
    for (int r = 1; r < grid_.Rows(); ++r) {
        const std::string freqId = grid_.TextMatrix(r, kColFreqId);
        const int freq = static_cast<int>(text::LeadingNumber(freqId));
        if (freq == kEveryRestart || freq == kNextRestart)
            rows.push_back({grid_.TextMatrix(r, kColName), freqId, grid_.TextMatrix(r, kColNextTime)});
    }
    int ran = 0;
    std::exception_ptr storeFailed;
    for (const Row& row : rows) {
        if (!FindRow(row.name, row.freqId, row.time)) continue;  // removed meanwhile
        if (!runner.ProcessScheduledItem(row.name)) continue;
        ++ran;
        if (text::LeadingNumber(row.freqId) != kNextRestart) continue;
        const int r = FindRow(row.name, row.freqId, row.time);
        if (!r) continue;
        const std::string frequency = grid_.TextMatrix(r, kColFreq);
        // The grid keeps its header: its last data row is cleared away, not removed.
        if (DataRows() > 1) {
            grid_.RemoveItem(r);
        } else {
            grid_.SetRows(grid_.FixedRows());
            grid_.SetCurrent(0, 1);
        }
        for (int i = grid_.FixedRows(); i < grid_.Rows(); ++i) grid_.SetTextMatrix(i, kColId, std::to_string(i));
        try {
            RemoveStoredEntry(frequency, row.name, row.time);
        } catch (...) {
            if (!storeFailed) storeFailed = std::current_exception();
        }
    }
    if (storeFailed) std::rethrow_exception(storeFailed);
    return ran;
}

int Schedule::FindRow(const std::string& name, const std::string& frequencyId, const std::string& nextTime) const {
    for (int r = 1; r < grid_.Rows(); ++r)
        if (grid_.TextMatrix(r, kColName) == name && grid_.TextMatrix(r, kColFreqId) == frequencyId &&
            grid_.TextMatrix(r, kColNextTime) == nextTime)
            return r;
    return 0;
}

std::string Schedule::RetryTime(int row) const {
    const auto f = std::find_if(failed_.begin(), failed_.end(), [&](const Failed& f) {
        return f.name == grid_.TextMatrix(row, kColName) && f.frequencyId == grid_.TextMatrix(row, kColFreqId) &&
               f.nextTime == grid_.TextMatrix(row, kColNextTime);
    });
    const std::uint64_t tick = desktop_.TickCount();
    if (f == failed_.end() || tick >= f->untilMs) return {};
    const platform::LocalTime now = desktop_.GetLocalTime();
    const std::int64_t seconds = ((datetime::DaysFromCivil(now.year, now.month, now.day) * 24 + now.hour) * 60 +
                                  now.minute) * 60 + now.second + static_cast<std::int64_t>((f->untilMs - tick + 999) / 1000);
    const datetime::Date date = datetime::CivilFromDays(seconds / 86400);
    return FormatNextTime({date.year, date.month, date.day, static_cast<int>(seconds / 3600 % 24),
                           static_cast<int>(seconds / 60 % 60)});
}

void Schedule::LoadIfUnread() {
    // The failure was told when the load failed; not while a time is typed,
    // as the load moves the current cell.
    if (!loadFailed_ || Editing()) return;
    try {
        LoadStored();
    } catch (const HwError&) {
    }
    grid_.SetEnabled(true);
}

void Schedule::SettleEarlierFailures() {
    // Rows the operator changed or removed since they failed start afresh.
    std::erase_if(failed_, [&](const Failed& f) { return !FindRow(f.name, f.frequencyId, f.nextTime); });
    // Entries the registry refused earlier: written now if it takes them.
    // The refusal was told when it happened; a row changed since is the
    // operator's to save.
    std::erase_if(unstored_, [&](const Unstored& u) {
        if (!FindRow(u.name, u.frequencyId, u.nextTime)) return true;
        try {
            StoreRunEntry(u.frequency, u.name, u.storedTime, u.nextTime);
            return true;
        } catch (...) {
            return false;
        }
    });
}

void Schedule::RunDueItems(ScheduledItemRunner& runner) {
    SettleEarlierFailures();
    LoadIfUnread();
    if (resortPending_ && !Editing()) TextResort();
    std::exception_ptr storeFailed;
    const int rows = DataRows();
    for (int r = 1; r <= rows && r < grid_.Rows(); ++r) {
        if (held && held(r)) continue;
        const DateTime now = FromLocalTime(desktop_.GetLocalTime());
        const std::string oldTime = grid_.TextMatrix(r, kColNextTime);
        if (!IsDue(oldTime, now)) continue;
        const std::string name = grid_.TextMatrix(r, kColName);
        const std::string freqId = grid_.TextMatrix(r, kColFreqId);
        if (!RunDueItem(runner, name, freqId, oldTime)) continue;
        // The reset may have yielded for a while, and the operator may have
        // removed rows or re-sorted the grid meanwhile: the row that ran is
        // found again by what it was. One removed meanwhile stores nothing.
        const int ran = FindRow(name, freqId, oldTime);
        if (!ran) continue;
        MoveOnRanRow(ran, name, freqId, oldTime, storeFailed);
        // A re-sort moves the current cell and so closes an open time
        // field: while the operator types one, the rows keep their places
        // (the typed row stays current and held) and are sorted afterwards.
        if (Editing())
            resortPending_ = true;
        else
            TextResort();
    }
    if (storeFailed) std::rethrow_exception(storeFailed);
}

bool Schedule::RunDueItem(ScheduledItemRunner& runner, const std::string& name, const std::string& freqId,
                          const std::string& oldTime) {
    auto failed = [&] {
        return std::find_if(failed_.begin(), failed_.end(), [&](const Failed& f) {
            return f.name == name && f.frequencyId == freqId && f.nextTime == oldTime;
        });
    };
    if (const auto f = failed(); f != failed_.end() && desktop_.TickCount() < f->untilMs) return false;
    const bool done = runner.ProcessScheduledItem(name);
    const auto earlier = failed();
    if (!done) {
        // Tried again later, less often each time: a server that keeps
        // failing a reset is not driven through its dialogs every poll.
        Failed& f = earlier != failed_.end() ? *earlier : failed_.emplace_back(Failed{name, freqId, oldTime});
        f.pauseMs = f.pauseMs ? std::min(2 * f.pauseMs, kLongestRetryMs) : kFirstRetryMs;
        f.untilMs = desktop_.TickCount() + f.pauseMs;
        return false;
    }
    if (earlier != failed_.end()) failed_.erase(earlier);
    return true;
}

void Schedule::MoveOnRanRow(int ran, const std::string& name, const std::string& freqId, const std::string& oldTime,
                            std::exception_ptr& storeFailed) {
    const DateTime now = FromLocalTime(desktop_.GetLocalTime());
    const int freq = static_cast<int>(text::LeadingNumber(freqId));
    // A restart row with a date (a hand-edited value) has no next time:
    // it ran once and waits for no date again.
    const std::string newTime = freq >= kDaily && freq <= kMonthly
                                    ? FormatNextTime(NextOccurrence(freq, now))
                                    : std::string(kNoNextTime);
    // The row moves on whatever the registry says: a reset that ran is
    // not run again because its new time could not be stored.
    const std::string frequency = grid_.TextMatrix(ran, kColFreq);
    grid_.SetTextMatrix(ran, kColNextTime, newTime);
    const auto unstored = std::find_if(unstored_.begin(), unstored_.end(), [&](const Unstored& u) {
        return u.name == name && u.frequencyId == freqId && u.nextTime == oldTime;
    });
    const std::string storedTime = unstored != unstored_.end() ? unstored->storedTime : oldTime;
    try {
        StoreRunEntry(frequency, name, storedTime, newTime);
        if (unstored != unstored_.end()) unstored_.erase(unstored);
    } catch (...) {
        if (unstored != unstored_.end())
            unstored->nextTime = newTime;
        else
            unstored_.push_back({name, freqId, frequency, oldTime, newTime});
        if (!storeFailed) storeFailed = std::current_exception();
    }
}

}  // namespace hw::schedule
