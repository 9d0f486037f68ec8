#include "settings/config_dialog.h"

#include <cmath>

#include "common/error.h"
#include "common/text.h"
#include "schedule/grid_layout.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::settings {

namespace {
bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}
}  // namespace

frmConfig::frmConfig(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::Window& main, ui::Timer& mainTimer)
    : desktop_(desktop), boxes_(boxes), main_(main), mainTimer_(mainTimer) {
    chkAutoStart.SetValue(1);
    chkHideWindow.SetValue(1);
    chkWindowsStartup.SetValue(0);
    chkRememberKaltorWindow.SetValue(1);
    txtTimerInterval.SetText("5000");
}

void frmConfig::Form_Load() {
    mainWasVisible_ = main_.Visible();
    main_.SetVisible(true);
    window.Move(main_.Left() + main_.Width() / 2 - window.Width() / 2,
                main_.Top() + main_.Height() / 2 - window.Height() / 2);
    FormOpen();
}

void frmConfig::FormOpen() {
    try {
        const TaggedValue interval = ReadSetting(desktop_, kTimerInterval);
        if (!(interval == TaggedValue(""))) txtTimerInterval.SetText(interval.ToText());
        auto check = [&](const Setting& s, ui::CheckBox& box) {
            const TaggedValue v = ReadSetting(desktop_, s);
            if (!(v == TaggedValue(""))) box.SetValue(static_cast<std::int16_t>(v.AsInteger()));
        };
        check(kAutoStart, chkAutoStart);
        check(kHideKaltorWindow, chkHideWindow);
        check(kRememberKaltorWindow, chkRememberKaltorWindow);
        // Whatever the entry points at, its presence alone counts.
        chkWindowsStartup.SetValue(ReadSetting(desktop_, kRunEntry) == TaggedValue("") ? 0 : 1);
    } catch (...) {
        ReportCaught(boxes_, "FormOpen");
    }
}

bool frmConfig::FormValidate() {
    try {
        const std::string text = text::Trim(txtTimerInterval.Text());
        const char* refusal = nullptr;
        // The key filter takes digits only, but pasted text is not filtered;
        // a word read as 0 would silently stop monitoring and the scheduler.
        if (txtTimerInterval.Text().empty()) {
            refusal = kNoIntervalText;
        } else if (!AllDigits(text)) {
            refusal = kIntervalNotNumberText;
        } else if (text::LeadingNumber(text) > 65535) {
            refusal = kIntervalTooLongText;
        }
        if (!refusal) return true;
        boxes_.Show(refusal, kAppTitle, ui::mb::kIconExclamation | ui::mb::kOk);
        txtTimerInterval.SetFocus();
        return false;
    } catch (...) {
        ReportCaught(boxes_, "FormValidate");
        return false;
    }
}

void frmConfig::FormSave() {
    if (!FormValidate()) return;
    try {
        const double interval = text::LeadingNumber(txtTimerInterval.Text());
        WriteSetting(desktop_, kTimerInterval, static_cast<std::int32_t>(interval));
        WriteSetting(desktop_, kAutoStart, chkAutoStart.Value());
        WriteSetting(desktop_, kHideKaltorWindow, chkHideWindow.Value());
        WriteSetting(desktop_, kRememberKaltorWindow, chkRememberKaltorWindow.Value());
        if (chkWindowsStartup.Value() == 1) {
            const std::string folder =
                text::AddTrailingBackslash(text::Trim(text::FolderOf(desktop_.GetOwnModuleFileName())));
            WriteSetting(desktop_, kRunEntry, "\"" + folder + kRunProgram + "\"");
        } else if (!(ReadSetting(desktop_, kRunEntry) == TaggedValue(""))) {
            cRegistry reg(desktop_);
            reg.SetClassKey(kHkeyLocalMachine);
            reg.SetSectionKey(kRunEntry.key);
            reg.SetValueKey(kRunEntry.name);
            reg.DeleteValue();
        }
        mainTimer_.SetInterval(static_cast<std::int64_t>(text::RoundHalfEven(interval)));
        Close();
    } catch (...) {
        ReportCaught(boxes_, "FormSave");
    }
}

void frmConfig::btnApply_Click() {
    FormSave();
    main_.SetVisible(mainWasVisible_);
}

void frmConfig::btnCancel_Click() {
    main_.SetVisible(mainWasVisible_);
    Close();
}

void frmConfig::txtTimerInterval_KeyPress(std::int16_t& keyAscii) { schedule::FilterKeyPress(keyAscii, ""); }

void frmConfig::Close() {
    if (closed_) return;
    closed_ = true;
    if (onClose) onClose();
}

}  // namespace hw::settings
