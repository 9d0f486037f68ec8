// The schedule editor on the "Scheduled Tasks" tab: the items panel, drag
// and drop onto the grid, the frequency drop-down and next-time field that
// float over their cells, removing rows, Clear All and Apply.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/desktop.h"
#include "schedule/catalogue.h"
#include "schedule/schedule.h"
#include "ui/controls.h"
#include "ui/grid.h"
#include "ui/message_box.h"

namespace hw::schedule {

inline constexpr const char* kGridToolTip = "Drag items to schedule.  Backspace/Delete to remove.";
inline constexpr const char* kPanelHint = "Select items to reset or drag to schedule...";
inline constexpr const char* kInvalidTimeText = "You must specify a valid date or date/time";
inline constexpr const char* kTimeFieldFlags = "SLASH_OK, SPACE_OK, TIME_OK";
inline constexpr int kScrollMax = 60;
inline constexpr int kEnterKey = 13, kBackspaceKey = 8, kDeleteKeyCode = 46;
inline constexpr int kLeftButton = 1, kRightButton = 2;

struct ItemImage {
    bool border = false;  // the drag mark: set while the left button is held on it
    bool Enabled() const { return kResetItems[static_cast<size_t>(index)].offered; }
    int index = 0;
};

class ScheduleEditor {
public:
    ScheduleEditor(ui::GridModel& grid, Schedule& schedule, platform::Desktop& desktop, ui::MessageBoxHost& boxes,
                   std::function<void(bool)> setRefreshTimer);

    // The load step's part: the frequency list (hidden) and the panel.
    void FillFrequencies();
    void SetUpPanel();

    void imgResetItem_DblClick(int index);
    void imgResetItem_MouseDown(int index, int button);
    void imgResetItem_MouseUp(int index, int button);
    // A drag ended over the grid (`sourceName` is the dragged control's name).
    void ResetItemGrid_DragDrop(const std::string& sourceName);
    void ResetItemGrid_EnterCell();
    void ResetItemGrid_Scroll();
    void ResetItemGrid_KeyPress(std::int16_t& keyAscii);
    void ResetItemGrid_KeyUp(int keyCode);
    void cmbFrequency_Click();
    void txtNextResetTime_KeyPress(std::int16_t& keyAscii);
    void txtNextResetTime_LostFocus();
    // Answers false when the field refuses to let the focus go.
    bool txtNextResetTime_Validate();
    void btnRemove_Click();
    void btnClear_Click();
    void btnApplyReset_Click();
    void VScroll_Change();

    std::array<ItemImage, kResetItemCount> imgResetItem;
    ui::ComboBox cmbFrequency;
    ui::TextBox txtNextResetTime;
    ui::Placement timePlacement;
    // The grid's own place on the tab, twips; the editors float over it.
    int gridLeft = 0, gridTop = 0;
    // The grid's visible height, twips: rows below it are scrolled away.
    int gridHeight = 2400;
    int scrollValue = 0;
    int picItemsTop = 0;  // pixels, minus the scroll value
    bool dragging = false;
    // The drag pointer shows while a drag is on; the binding follows it.
    std::function<void()> onDragChange;
    std::function<void()> onGridFocus;
    std::function<void()> onPanelScroll;
    // Whether the pointer is over the grid when a drag ends (the drop target).
    std::function<bool()> pointerOverGrid;

private:
    void SetTimer(bool on) {
        if (setRefreshTimer_) setRefreshTimer_(on);
    }
    void AddItemRow(int index);
    void PlaceEditors();
    void RemoveCurrentRow();
    void EndDrag(int index);
    bool RowVisible(int row) const;
    // Runs a handler's body with the main poll timer off, on again on every
    // way out; an error is reported under the handler's name.
    template <class F>
    void WithTimerOff(const char* handler, F&& body);

    ui::GridModel& grid_;
    Schedule& schedule_;
    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    std::function<void(bool)> setRefreshTimer_;
};

}  // namespace hw::schedule
