#include "schedule/editor.h"
#include "ui/key_filter.h"

#include "common/error.h"
#include "ui/report.h"
#include "common/scope_exit.h"
#include "common/text.h"
#include "schedule/grid_layout.h"
#include "schedule/next_time.h"

namespace hw::schedule {

ScheduleEditor::ScheduleEditor(ui::GridModel& grid, Schedule& schedule, platform::Desktop& desktop,
                               ui::MessageBoxHost& boxes, std::function<void(bool)> setRefreshTimer)
    : grid_(grid), schedule_(schedule), desktop_(desktop), boxes_(boxes),
      setRefreshTimer_(std::move(setRefreshTimer)) {
    for (int i = 0; i < kResetItemCount; ++i) imgResetItem[static_cast<size_t>(i)].index = i;
    cmbFrequency.onClick = [this] { cmbFrequency_Click(); };
    timePlacement.visible = false;
    // The poll goes on while the operator types: the row under the open
    // time field keeps its time and is not run until the field is done.
    schedule_.held = [this](int row) { return timePlacement.visible && row == grid_.Row(); };
}

void ScheduleEditor::FillFrequencies() {
    for (const Frequency& f : kFrequencies) cmbFrequency.AddItem(f.name, f.id);
    cmbFrequency.placement.SetVisible(false);
}

void ScheduleEditor::SetUpPanel() {
    scrollValue = 0;
    picItemsTop = 0;
}

template <class F>
void ScheduleEditor::WithTimerOff(const char* handler, F&& body) {
    SetTimer(false);
    try {
        ScopeExit restore([this] { SetTimer(true); });
        body();
    } catch (...) {
        ReportCaught(boxes_, handler);
    }
}

void ScheduleEditor::AddItemRow(int index) {
    schedule_.SetRowHeight(cmbFrequency.placement.height);
    schedule_.AddRow(index, cmbFrequency.ItemData(kEveryRestart), kNoNextTime);
}

void ScheduleEditor::imgResetItem_DblClick(int index) {
    if (!imgResetItem.at(static_cast<size_t>(index)).Enabled()) return;
    WithTimerOff("imgResetItem_DblClick", [&] {
        imgResetItem[static_cast<size_t>(index)].border = false;
        AddItemRow(index);
    });
}

void ScheduleEditor::imgResetItem_MouseDown(int index, int button) {
    ItemImage& image = imgResetItem.at(static_cast<size_t>(index));
    if (!image.Enabled()) return;
    if (button == kLeftButton) {
        dragging = true;
        image.border = true;
        if (onDragChange) onDragChange();
    } else if (button == kRightButton) {
        EndDrag(index);
    }
}

void ScheduleEditor::imgResetItem_MouseUp(int index, int button) {
    if (!imgResetItem.at(static_cast<size_t>(index)).Enabled()) return;
    if (button == kLeftButton) EndDrag(index);
}

void ScheduleEditor::EndDrag(int index) {
    const bool wasDragging = dragging;
    dragging = false;
    // The drop goes to the control under the pointer, while the mark is on.
    if (wasDragging && pointerOverGrid && pointerOverGrid()) ResetItemGrid_DragDrop("imgResetItem");
    imgResetItem.at(static_cast<size_t>(index)).border = false;
    if (onDragChange) onDragChange();
}

void ScheduleEditor::ResetItemGrid_DragDrop(const std::string& sourceName) {
    WithTimerOff("ResetItemGrid_MouseUp", [&] {
        if (text::Upper(sourceName) == "IMGRESETITEM") {
            for (ItemImage& image : imgResetItem) {
                if (!image.border) continue;
                image.border = false;
                AddItemRow(image.index);
            }
        }
        if (onGridFocus) onGridFocus();
    });
}

void ScheduleEditor::ResetItemGrid_EnterCell() {
    cmbFrequency.placement.SetVisible(false);
    timePlacement.SetVisible(false);
    if (!grid_.Enabled()) return;  // a re-sort is moving the current cell
    WithTimerOff("ResetItemGrid_EnterCell", [this] { PlaceEditors(); });
}

void ScheduleEditor::PlaceEditors() {
    const int row = grid_.Row(), col = grid_.Col();
    if (row < grid_.FixedRows() || row >= grid_.Rows()) return;
    if (col == kColFreq) {
        const std::string cell = grid_.TextMatrix(row, kColFreq);
        if (cell.empty())
            cmbFrequency.SetListIndex(kEveryRestart);
        else
            cmbFrequency.SetText(cell);
        desktop_.DoEvents();
        // The yield may have run a re-sort or a removal.
        if (grid_.Row() != row || grid_.Col() != col || row >= grid_.Rows()) return;
        cmbFrequency.placement.Place(gridLeft + grid_.ColPos(kColFreq) - grid_.ScrollX(), gridTop + grid_.RowPos(row),
                                     grid_.ColWidth(kColFreq));
        cmbFrequency.placement.SetVisible(true);
    } else if (col == kColNextTime) {
        const double freq = text::LeadingNumber(grid_.TextMatrix(row, kColFreqId));
        const std::string cell = grid_.TextMatrix(row, kColNextTime);
        if (freq == kEveryRestart || freq == kNextRestart || cell.empty()) return;
        txtNextResetTime.SetText(cell);
        const int narrower = grid_.Rows() >= 5 ? 275 : 10;
        timePlacement.Place(gridLeft + grid_.ColPos(kColNextTime) - grid_.ScrollX(), gridTop + grid_.RowPos(row),
                            grid_.ColWidth(kColNextTime) - narrower);
        desktop_.DoEvents();
        if (grid_.Row() != row || grid_.Col() != col || row >= grid_.Rows()) return;
        timePlacement.SetVisible(true);
        txtNextResetTime.SetFocus();
    }
}

bool ScheduleEditor::RowVisible(int row) const {
    return row >= grid_.TopRow() && row < grid_.Rows() && grid_.RowPos(row) < gridHeight;
}

void ScheduleEditor::ResetItemGrid_Scroll() {
    if (RowVisible(grid_.Row())) {
        ResetItemGrid_EnterCell();
    } else {
        cmbFrequency.placement.SetVisible(false);
        timePlacement.SetVisible(false);
    }
}

void ScheduleEditor::RemoveCurrentRow() {
    const int row = grid_.Row();
    if (schedule_.DataRows() > 1) {
        // The header row is never removed, whatever is current.
        if (row >= grid_.FixedRows()) grid_.RemoveItem(row);
    } else {
        grid_.SetRows(grid_.FixedRows());
        grid_.SetCurrent(0, 1);
    }
    for (int r = grid_.FixedRows(); r < grid_.Rows(); ++r) grid_.SetTextMatrix(r, kColId, std::to_string(r));
    cmbFrequency.placement.SetVisible(false);
    timePlacement.SetVisible(false);
}

void ScheduleEditor::ResetItemGrid_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii == kBackspaceKey || keyAscii == '.') WithTimerOff("ResetItemGrid_KeyPress", [this] { RemoveCurrentRow(); });
}

void ScheduleEditor::ResetItemGrid_KeyUp(int keyCode) {
    if (keyCode == kDeleteKeyCode) WithTimerOff("ResetItemGrid_KeyUp", [this] { RemoveCurrentRow(); });
}

void ScheduleEditor::cmbFrequency_Click() {
    try {
        const int row = grid_.Row(), index = cmbFrequency.ListIndex();
        if (row < grid_.FixedRows() || index < 0) return;
        const int id = cmbFrequency.ItemData(index);
        grid_.SetTextMatrix(row, kColFreq, cmbFrequency.Text());
        grid_.SetTextMatrix(row, kColFreqId, std::to_string(id));
        if (id == kDaily || id == kWeekly || id == kMonthly) {
            const DateTime today = FromLocalTime(desktop_.GetLocalTime());
            if (!ParseDateTime(grid_.TextMatrix(row, kColNextTime)))
                grid_.SetTextMatrix(row, kColNextTime, FormatNextTime(DefaultNextTime(id, today)));
        } else {
            grid_.SetTextMatrix(row, kColNextTime, kNoNextTime);
        }
    } catch (...) {
        ReportCaught(boxes_, "cmbFrequency_Change");
    }
}

void ScheduleEditor::txtNextResetTime_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii == kEnterKey) {
        keyAscii = 0;
        txtNextResetTime_Validate();
        return;
    }
    ui::FilterKeyPress(keyAscii, kTimeFieldFlags);
}

void ScheduleEditor::txtNextResetTime_LostFocus() {
    if (timePlacement.visible) txtNextResetTime_Validate();
}

bool ScheduleEditor::txtNextResetTime_Validate() {
    try {
        const auto parsed = ParseDateTime(txtNextResetTime.Text());
        if (parsed) {
            // Only now does the cell take the time: half-typed text never
            // reaches the schedule.
            const std::string formatted = FormatNextTime(*parsed);
            txtNextResetTime.SetText(formatted);
            const int row = grid_.Row();
            if (row >= grid_.FixedRows() && row < grid_.Rows() && grid_.TextMatrix(row, kColNextTime) != formatted)
                grid_.SetTextMatrix(row, kColNextTime, formatted);
            timePlacement.SetVisible(false);
            return true;
        }
        boxes_.Report(kInvalidTimeText, kAppTitle, ui::mb::kIconInformation | ui::mb::kOk);
        txtNextResetTime.SetFocus();
        return false;
    } catch (...) {
        ReportCaught(boxes_, "txtNextResetTime_Validate");
        return false;
    }
}

void ScheduleEditor::btnRemove_Click() {
    std::int16_t backspace = kBackspaceKey;
    ResetItemGrid_KeyPress(backspace);
}

void ScheduleEditor::btnClear_Click() {
    InitializeResultGrid(grid_, kScheduleGridSpec, boxes_, [this] { desktop_.DoEvents(); });
    grid_.SetCurrent(0, 0);
    cmbFrequency.placement.SetVisible(false);
    timePlacement.SetVisible(false);
    schedule_.FormSave();
}

void ScheduleEditor::btnApplyReset_Click() { schedule_.FormSave(); }

void ScheduleEditor::VScroll_Change() {
    picItemsTop = -scrollValue;
    if (onPanelScroll) onPanelScroll();
}

}  // namespace hw::schedule
