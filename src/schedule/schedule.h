// The schedule: the rows of the main window's schedule grid, their stored
// copy in the registry, and the schedule step of the refresh cycle.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "ui/grid.h"
#include "ui/message_box.h"

namespace hw::schedule {

inline constexpr const char* kScheduleKey = "Software\\Harrowatch\\Scheduled Events";

// Grid columns.
inline constexpr int kColId = 0, kColName = 1, kColPicture = 2, kColFreqId = 3, kColFreq = 4,
                     kColNextTime = 5;

// What the schedule needs from the controller: carry one reset out.
class ScheduledItemRunner {
public:
    virtual ~ScheduledItemRunner() = default;
    virtual bool ProcessScheduledItem(const std::string& itemName) = 0;
};

class Schedule {
public:
    Schedule(ui::GridModel& grid, platform::Desktop& desktop, ui::MessageBoxHost& boxes,
             std::function<void(bool)> setRefreshTimer);

    // The height of the frequency drop-down, which every data row takes.
    void SetRowHeight(int twips) { rowHeight_ = twips; }
    int RowHeight() const { return rowHeight_; }

    // Loads the stored schedule into the (laid out, empty) grid.
    void FormOpen();
    // Stores the grid's rows. A failed save leaves every frequency either
    // as it was stored or as it is now, never gone.
    void FormSave();
    // The schedule step: every due row is handed to the runner; a row that
    // ran moves on and its stored entry follows. A row whose reset failed
    // stays due and is tried again after a pause that doubles with each
    // failure, from a minute to half an hour. A row that ran moves on even
    // when its stored entry cannot be written: the other due rows still
    // run, the first such error propagates to the refresh cycle, and the
    // entry is written at a later step, once the registry takes it.
    void RunDueItems(ScheduledItemRunner& runner);
    // After a restart of the server: every "Every Restart" and "Next
    // Restart" row is handed to the runner, in row order. A "Next Restart"
    // row that ran goes, from the grid and the stored schedule; one that
    // failed waits for the next restart. Answers how many ran. A stored
    // entry that cannot be removed throws once every row has had its turn.
    int RunRestartItems(ScheduledItemRunner& runner);
    static constexpr std::uint64_t kFirstRetryMs = 60000, kLongestRetryMs = 1800000;
    // When a due row whose reset failed is tried again: the minute of the
    // retry, as next-time text; empty when the row waits for no retry.
    std::string RetryTime(int row) const;
    // A row the editor holds (its time being typed) is passed over, and
    // while it is held the rows that run are not re-sorted until the next
    // step that finds no row held.
    std::function<bool(int row)> held;
    // A schedule that could not be read at the start is read by the first
    // poll that can (RunDueItems does so too).
    void LoadIfUnread();
    bool Unread() const { return loadFailed_; }

    // Appends a row for catalogue item `itemIndex` with the given frequency
    // (a list entry) and next time; makes it current.
    void AddRow(int itemIndex, int frequencyId, const std::string& nextTime);
    // Sorts the data rows on the next-time text, letter case ignored.
    void TextResort();
    int DataRows() const { return grid_.Rows() - grid_.FixedRows(); }

private:
    // Runs `work` with the refresh timer off, and the grid enabled and the
    // timer on again after it, whatever happens; a failure is reported as
    // `name`'s.
    void WithTimerOff(const char* name, const std::function<void()>& work);
    // Adds the stored rows to the grid; throws when a value cannot be read.
    void LoadStored();
    void SetTimer(bool on) {
        if (setRefreshTimer_) setRefreshTimer_(on);
    }
    // Whether the editor holds the current row (its time being typed).
    bool Editing() const { return held && held(grid_.Row()); }
    // Replaces the stored entry `name`|`oldTime` of the value `frequency`;
    // nothing is written when no entry is equal to it.
    void StoreRunEntry(const std::string& frequency, const std::string& name, const std::string& oldTime,
                       const std::string& newTime);
    // Takes the stored entry `name`|`time` out of the value `frequency`.
    void RemoveStoredEntry(const std::string& frequency, const std::string& name, const std::string& time);
    // RunDueItems' steps: failures of earlier steps forgotten or written
    // again; one due row's item run (false when it failed, or waits for
    // its retry); and the row that ran (found again as `ran`) moved on to
    // its next time and stored, a store's failure kept in `storeFailed`.
    void SettleEarlierFailures();
    bool RunDueItem(ScheduledItemRunner& runner, const std::string& name, const std::string& freqId,
                    const std::string& oldTime);
    void MoveOnRanRow(int ran, const std::string& name, const std::string& freqId, const std::string& oldTime,
                      std::exception_ptr& storeFailed);
    // The first data row with this item, frequency and next time; 0 when none.
    int FindRow(const std::string& name, const std::string& frequencyId, const std::string& nextTime) const;

    // A due row whose reset failed: not tried again before `untilMs`.
    struct Failed {
        std::string name, frequencyId, nextTime;
        std::uint64_t untilMs = 0, pauseMs = 0;
    };
    std::vector<Failed> failed_;
    // A row that ran whose stored entry still holds `storedTime`.
    struct Unstored {
        std::string name, frequencyId, frequency, storedTime, nextTime;
    };
    std::vector<Unstored> unstored_;
    // A run re-sorted nothing because a time was being typed.
    bool resortPending_ = false;

    ui::GridModel& grid_;
    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    std::function<void(bool)> setRefreshTimer_;
    int rowHeight_ = 315;
    bool loadFailed_ = false;  // the stored schedule could not be read into the grid
};

}  // namespace hw::schedule
