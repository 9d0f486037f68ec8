// "Harrowatch - Configuration" on native controls, modal over the main window.
#include <windows.h>
#include <commctrl.h>

#include "ui/win32/bind.h"
#include "win32/command_ids.h"
#include "win32/forms.h"
#include "win32/icons.h"

namespace hw::win32 {

using namespace ui::win32;


ConfigForm::ConfigForm(settings::frmConfig& model, HWND owner) : model_(model), owner_(owner) {}

bool ConfigForm::Build() {
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const int w = ToPixels(model_.window.Width()), h = ToPixels(model_.window.Height());
    if (!CreateTop(kConfigClass, settings::kConfigTitle, style, WS_EX_DLGMODALFRAME, w, h, owner_, nullptr, nullptr))
        return false;
    ApplyWindow(model_.window, hwnd_);
    RECT c{};
    GetClientRect(hwnd_, &c);
    const int cw = c.right, ch = c.bottom;
    BuildTabs(cw, ch);
    const int x = Dp(16), fw = cw - Dp(32);
    BuildOptionsPage(x, fw);
    BuildNotificationRows(x, fw, BuildNumberRows(x, fw));
    // The tab control lies under every control its pages hold and leaves
    // them out when it paints: on top (as made first), it painted over the
    // edit boxes of a page just shown. Its own border frames each page: a
    // group box there would cover the page, which nothing then paints.
    SetWindowPos(tab_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowPage(0);
    BuildButtons(cw, ch);
    BindWindow(model_.window, hwnd_);
    return true;
}

HWND ConfigForm::OnPage(int which, HWND control) {
    pages_[which].push_back(control);
    return control;
}

void ConfigForm::BuildTabs(int cw, int ch) {
    tab_ = MakeChild(hwnd_, 0, WC_TABCONTROLA, "", WS_CLIPSIBLINGS | WS_TABSTOP, Dp(6), Dp(6), cw - Dp(12), ch - Dp(48),
                     kIdConfigTabs);
    for (const char* name : {"Options", "Supervision"}) {
        TCITEMA t{};
        t.mask = TCIF_TEXT;
        t.pszText = const_cast<char*>(name);
        SendMessageA(tab_, TCM_INSERTITEMA, static_cast<WPARAM>(SendMessageA(tab_, TCM_GETITEMCOUNT, 0, 0)),
                     reinterpret_cast<LPARAM>(&t));
    }
}

void ConfigForm::BuildOptionsPage(int x, int fw) {
    OnPage(0, MakeChild(hwnd_, 0, "STATIC", "Toggle Values:", 0, x + Dp(4), Dp(44), fw - Dp(8), Dp(16)));
    struct Check {
        const char* caption;
        ui::CheckBox* model;
        int id;
    } checks[4] = {{"Autostart Kaltor Internet Server", &model_.chkAutoStart, kIdAutoStart},
                   {"Hide Kaltor window after startup", &model_.chkHideWindow, kIdHideWindow},
                   {"Run Harrowatch on Windows Startup", &model_.chkWindowsStartup, kIdWindowsStartup},
                   {"Remember Kaltor window size/position", &model_.chkRememberKaltorWindow, kIdRememberWindow}};
    int y = Dp(62);
    for (const Check& k : checks) {
        HWND box = MakeChild(hwnd_, 0, "BUTTON", k.caption, BS_AUTOCHECKBOX | WS_TABSTOP, x + Dp(8), y, fw - Dp(16),
                             Dp(18), k.id);
        BindCheckBox(*k.model, box);
        OnPage(0, box);
        y += Dp(19);
    }
    OnPage(0, MakeChild(hwnd_, 0, "STATIC", "Poll Timer Interval:", 0, x + Dp(4), y + Dp(4), fw - Dp(8), Dp(16)));
    // The box and its unit on one line, inside the frame.
    interval_ = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, x + Dp(8), y + Dp(22),
                          Dp(48), Dp(20), kIdInterval);
    HookKeyPress(interval_, [this](std::int16_t& key) { model_.txtTimerInterval_KeyPress(key); });
    OnPage(0, interval_);
    OnPage(0, MakeChild(hwnd_, 0, "STATIC", "milliseconds (setting to 0 disables scheduler)", SS_LEFTNOWORDWRAP,
                      x + Dp(60), y + Dp(25), fw - Dp(64), Dp(16)));
    BindTextBox(model_.txtTimerInterval, interval_);
    FocusShowsPage(model_.txtTimerInterval, 0);
}

int ConfigForm::BuildNumberRows(int x, int fw) {
    // Supervision: a number a row, its meaning beside it.
    OnPage(1, MakeChild(hwnd_, 0, "STATIC", "Unattended supervision:", 0, x + Dp(4), Dp(44), fw - Dp(8), Dp(16)));
    struct Number {
        const char* caption;
        ui::TextBox* model;
        int id;
    } numbers[6] = {{"End a hung server after (minutes, 0: never)", &model_.txtHungRestartMinutes, kIdHungMinutes},
                    {"Keep the day logs (days, 0: always)", &model_.txtLogDays, kIdLogDays},
                    {"Keep the data file backups (days, 0: always)", &model_.txtBackupDays, kIdBackupDays},
                    {"Keep the backups within (MB, oldest days go)", &model_.txtBackupMaxMB, kIdBackupMaxMB},
                    {"Warn the players before resets (minutes, 0: never)", &model_.txtWarnPlayersMinutes,
                     kIdWarnMinutes},
                    {"Restart the server above (MB of memory, 0: never)", &model_.txtRestartAboveMB,
                     kIdRestartAboveMB}};
    int y = Dp(66);
    for (const Number& n : numbers) {
        HWND box = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "EDIT", "", ES_AUTOHSCROLL | ES_NUMBER | WS_TABSTOP, x + Dp(8), y,
                             Dp(40), Dp(20), n.id);
        HookKeyPress(box, [this](std::int16_t& key) { model_.txtTimerInterval_KeyPress(key); });
        BindTextBox(*n.model, box);
        FocusShowsPage(*n.model, 1);
        OnPage(1, box);
        OnPage(1, MakeChild(hwnd_, 0, "STATIC", n.caption, SS_LEFTNOWORDWRAP, x + Dp(54), y + Dp(3), fw - Dp(58),
                          Dp(16)));
        y += Dp(28);
    }
    // The daily restart: a time of day, so a colon too.
    {
        HWND box = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, x + Dp(8), y, Dp(40),
                             Dp(20), kIdRestartAt);
        BindTextBox(model_.txtRestartDailyAt, box);
        FocusShowsPage(model_.txtRestartDailyAt, 1);
        OnPage(1, box);
        OnPage(1, MakeChild(hwnd_, 0, "STATIC", "Restart the server daily at (HH:MM, empty: never)", SS_LEFTNOWORDWRAP,
                          x + Dp(54), y + Dp(3), fw - Dp(58), Dp(16)));
        y += Dp(28);
    }
    return y;
}

void ConfigForm::BuildNotificationRows(int x, int fw, int y) {
    // The warning's text, the balloons, the webhook and its test. A text
    // box under its caption, across the frame but for `room`.
    auto captioned = [&](const char* caption, ui::TextBox& model, int id, int room, int height) {
        OnPage(1, MakeChild(hwnd_, 0, "STATIC", caption, SS_LEFTNOWORDWRAP, x + Dp(8), y, fw - Dp(16), Dp(16)));
        HWND box = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, x + Dp(8), y + Dp(18),
                             fw - Dp(16) - room, height, id);
        BindTextBox(model, box);
        FocusShowsPage(model, 1);
        OnPage(1, box);
    };
    captioned("Warning text ({minutes} is the number of minutes):", model_.txtWarnPlayersText, kIdWarnText, 0, Dp(20));
    y += Dp(46);
    HWND balloons = MakeChild(hwnd_, 0, "BUTTON", "Show tray balloons for crashes, hangs and failed resets",
                              BS_AUTOCHECKBOX | WS_TABSTOP, x + Dp(8), y, fw - Dp(16), Dp(18), kIdNotifications);
    BindCheckBox(model_.chkNotifications, balloons);
    OnPage(1, balloons);
    y += Dp(26);
    captioned("Webhook address (http:// or https://, empty: none):", model_.txtWebhookUrl, kIdWebhookUrl, Dp(70),
              Dp(22));
    OnPage(1, MakeChild(hwnd_, 0, "BUTTON", "&Test", BS_PUSHBUTTON | WS_TABSTOP, x + fw - Dp(72), y + Dp(17), Dp(64),
                      Dp(24), kIdTestWebhook));
    HWND result = MakeChild(hwnd_, 0, "STATIC", "", 0, x + Dp(8), y + Dp(46), fw - Dp(16), Dp(30), kIdWebhookResult);
    BindLabel(model_.lblWebhookResult, result);
    OnPage(1, result);
    y += Dp(80);
    captioned("Metrics folder for Prometheus (empty: none):", model_.txtMetricsFolder,
              kIdMetricsFolder, 0, Dp(22));
}

void ConfigForm::BuildButtons(int cw, int ch) {
    cancel_.reset(MakeWordBitmap("Cancel", Glyph::Back, Dp(82), Dp(22)));
    apply_.reset(MakeWordBitmap("Apply", Glyph::Tick, Dp(82), Dp(22)));
    HWND cancel = MakeChild(hwnd_, 0, "BUTTON", "", BS_PUSHBUTTON | BS_BITMAP | WS_TABSTOP, cw - Dp(196), ch - Dp(38),
                            Dp(90), Dp(30), kIdCancel);
    HWND apply = MakeChild(hwnd_, 0, "BUTTON", "", BS_DEFPUSHBUTTON | BS_BITMAP | WS_TABSTOP, cw - Dp(100),
                           ch - Dp(38), Dp(90), Dp(30), kIdApply);
    SendMessageA(cancel, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(cancel_.get()));
    SendMessageA(apply, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(apply_.get()));
}

void ConfigForm::Run() {
    if (!Build()) return model_.btnCancel_Click();
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(interval_);
    SendMessageA(interval_, EM_SETSEL, 0, -1);
    RunModal(owner_, [](void* m) { return static_cast<settings::frmConfig*>(m)->Closed(); }, &model_);
    ShowWindow(hwnd_, SW_HIDE);
    if (owner_) SetForegroundWindow(owner_);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    cancel_.reset();
    apply_.reset();
}

LRESULT ConfigForm::Handle(UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case DM_GETDEFID:
            return MAKELRESULT(kIdApply, DC_HASDEFID);
        case WM_COMMAND: {
            const int id = LOWORD(wp), code = HIWORD(wp);
            HWND control = reinterpret_cast<HWND>(lp);
            if (id == kIdApply && code == BN_CLICKED) model_.btnApply_Click();
            if (id == kIdCancel && code == BN_CLICKED) model_.btnCancel_Click();
            if (id == kIdInterval && code == EN_CHANGE) model_.txtTimerInterval.TrackText(WindowText(control));
            if (id == kIdHungMinutes && code == EN_CHANGE) model_.txtHungRestartMinutes.TrackText(WindowText(control));
            if (id == kIdLogDays && code == EN_CHANGE) model_.txtLogDays.TrackText(WindowText(control));
            if (id == kIdBackupDays && code == EN_CHANGE) model_.txtBackupDays.TrackText(WindowText(control));
            if (id == kIdBackupMaxMB && code == EN_CHANGE) model_.txtBackupMaxMB.TrackText(WindowText(control));
            if (id == kIdWarnMinutes && code == EN_CHANGE) model_.txtWarnPlayersMinutes.TrackText(WindowText(control));
            if (id == kIdRestartAt && code == EN_CHANGE) model_.txtRestartDailyAt.TrackText(WindowText(control));
            if (id == kIdRestartAboveMB && code == EN_CHANGE) model_.txtRestartAboveMB.TrackText(WindowText(control));
            if (id == kIdWarnText && code == EN_CHANGE) model_.txtWarnPlayersText.TrackText(WindowText(control));
            if (id == kIdWebhookUrl && code == EN_CHANGE) model_.txtWebhookUrl.TrackText(WindowText(control));
            if (id == kIdMetricsFolder && code == EN_CHANGE) model_.txtMetricsFolder.TrackText(WindowText(control));
            if (id == kIdNotifications && code == BN_CLICKED)
                model_.chkNotifications.SetValue(SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
            if (id == kIdTestWebhook && code == BN_CLICKED) model_.btnTestWebhook_Click();
            ui::CheckBox* boxes[] = {&model_.chkAutoStart, &model_.chkHideWindow, &model_.chkWindowsStartup,
                                     &model_.chkRememberKaltorWindow};
            if (id >= kIdAutoStart && id <= kIdRememberWindow && code == BN_CLICKED)
                boxes[id - kIdAutoStart]->SetValue(SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
            return 0;
        }
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<const NMHDR*>(lp);
            if (n->hwndFrom == tab_ && n->code == TCN_SELCHANGE)
                ShowPage(static_cast<int>(SendMessageA(tab_, TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        case WM_MOVE:
            TrackWindow(model_.window, hwnd_);
            break;
        case WM_CLOSE:
            model_.btnCancel_Click();
            return 0;
        default:
            break;
    }
    return NativeWindow::Handle(m, wp, lp);
}

void ConfigForm::ShowPage(int which) {
    if (SendMessageA(tab_, TCM_GETCURSEL, 0, 0) != which) SendMessageA(tab_, TCM_SETCURSEL, static_cast<WPARAM>(which), 0);
    for (int p = 0; p < 2; ++p)
        for (HWND h : pages_[p]) ShowWindow(h, p == which ? SW_SHOW : SW_HIDE);
}

void ConfigForm::FocusShowsPage(ui::TextBox& box, int which) {
    // A refused number is shown on its own tab before it takes the focus.
    auto bound = box.onFocus;
    box.onFocus = [this, bound, which] {
        ShowPage(which);
        if (bound) bound();
    };
}

}  // namespace hw::win32
