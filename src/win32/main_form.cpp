// The main window: its controls bound to frmMain's models, the tray icon's
// callback, the commands, and the windows it opens.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "schedule/catalogue.h"
#include "ui/win32/bind.h"
#include "win32/command_ids.h"
#include "win32/forms.h"
#include "win32/icons.h"

namespace hw::win32 {

using namespace ui::win32;

namespace {
// Wide enough for the schedule grid's longest frequency and date side by side.
// Below the tabs, one line of what the server uses, then the status bar.
constexpr int kClientWidth = 408, kClientHeight = 324;
// Posted to the main window: a chat window has closed; a field lost the focus.
constexpr UINT kChatClosed = WM_APP + 1, kValidateTime = WM_APP + 2, kRefocusTime = WM_APP + 3;

const char* const kToolbarKeys[5] = {"CONFIGURE", "START_SERVER", "STOP_SERVER", "SHOW_SERVER", "HIDE_SERVER"};
const char* const kToolbarTips[5] = {"Configure", "Start Server", "Stop Server", "Show Server Window",
                                     "Hide Server Window"};

}  // namespace

static_assert(NOTIFYICONDATAA_V1_SIZE == ui::kTrayRecordSize);
static_assert(NOTIFYICONDATAA_V2_SIZE == ui::kTrayBalloonRecordSize);

bool ShellTray::NotifyIcon(std::uint32_t message, const ui::TrayIconData& d) {
    NOTIFYICONDATAA n{};
    n.cbSize = d.cbSize == NOTIFYICONDATAA_V2_SIZE ? NOTIFYICONDATAA_V2_SIZE : NOTIFYICONDATAA_V1_SIZE;
    if (d.uFlags & NIF_INFO) {
        lstrcpynA(n.szInfo, d.szInfo.c_str(), sizeof n.szInfo);
        lstrcpynA(n.szInfoTitle, d.szInfoTitle.c_str(), sizeof n.szInfoTitle);
        n.dwInfoFlags = d.dwInfoFlags;
    }
    n.hWnd = H(d.hWnd);
    n.uID = d.uID;
    n.uFlags = d.uFlags;
    n.uCallbackMessage = d.uCallbackMessage;
    n.hIcon = reinterpret_cast<HICON>(static_cast<ULONG_PTR>(d.hIcon));
    lstrcpynA(n.szTip, d.szTip.c_str(), sizeof n.szTip);
    return Shell_NotifyIconA(message, &n) != FALSE;
}

MainForm::MainForm(platform::win32::Win32Desktop& desktop, ui::Application& app)
    : desktop_(desktop), form_(desktop, boxes_, tray_, cancel_, app) {}

MainForm::~MainForm() {
    chat_.reset();
    items_.reset();
    grid_.reset();
}

bool MainForm::Create() {
    bigIcon_.reset(MakeAppIcon(32));
    smallIcon_.reset(MakeAppIcon(16));
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    if (!CreateTop(kMainClass, "Harrowatch", style, 0, Dp(kClientWidth), Dp(kClientHeight), nullptr, bigIcon_.get(),
                   smallIcon_.get()))
        return false;
    boxes_.SetOwner(U(hwnd_));
    form_.hWnd = platform::Hwnd{U(hwnd_)};
    form_.picSysTray = U(smallIcon_.get());
    form_.screen = SystemScreen();
    BuildControls();
    BindWindow(form_.window, hwnd_);
    form_.popup = [this](ui::PopupMenu& menu) {
        ShowPopup(menu, hwnd_, &menu == &form_.mnuSystemTray ? kTrayMenuBase : kListMenuBase);
    };
    form_.openFolder = [](const std::string& folder) {
        ShellExecuteA(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    form_.runConfigModal = [this](settings::frmConfig& dialog) {
        ConfigForm f(dialog, hwnd_);
        f.Run();
    };
    form_.onChatOpen = [this](chat::frmMessage& model) {
        chat_ = std::make_unique<ChatForm>(model, bigIcon_.get(), smallIcon_.get());
        model.onClose = [this] { PostMessageA(hwnd_, kChatClosed, 0, 0); };
    };
    form_.onChatRelease = [this](chat::frmMessage&) { chat_.reset(); };
    form_.onChatShow = [this](chat::frmMessage&) {
        if (chat_) chat_->Bring();
    };
    form_.Pointer.onChange = [this] {
        SetCursor(LoadCursor(nullptr, form_.Pointer.busy ? IDC_WAIT : IDC_ARROW));
    };
    return true;
}

void MainForm::BuildToolbar() {
    toolbar_ = MakeChild(hwnd_, 0, TOOLBARCLASSNAMEA, "",
                         TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN, Dp(2), Dp(2),
                         Dp(204), Dp(44), kIdToolbar);
    SendMessageA(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    toolbarImages_.reset(MakeToolbarImages());
    SendMessageA(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolbarImages_.get()));
    SendMessageA(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(32, 32));
    TBBUTTON buttons[5] = {};
    for (int i = 0; i < 5; ++i) {
        buttons[i].iBitmap = ToolbarImageIndex(kToolbarKeys[i]);
        buttons[i].idCommand = kToolbarBase + i;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = BTNS_BUTTON;
        buttons[i].iString = -1;
    }
    SendMessageA(toolbar_, TB_ADDBUTTONSA, 5, reinterpret_cast<LPARAM>(buttons));
}

void MainForm::BuildControls() {
    BuildToolbar();
    status_ = MakeChild(hwnd_, 0, "STATIC", "Server Status", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_ENDELLIPSIS,
                        Dp(212), Dp(12), Dp(184), Dp(22), kIdStatusLabel);
    // The tabs draw their own captions: the one that cannot be chosen is greyed.
    tabs_ = MakeChild(hwnd_, 0, WC_TABCONTROLA, "", WS_CLIPSIBLINGS | WS_TABSTOP | TCS_OWNERDRAWFIXED, Dp(2), Dp(48),
                      Dp(kClientWidth - 4), Dp(230), kIdTabs);
    // Narrow padding: all four tabs fit the window's width, with no arrows.
    SendMessageA(tabs_, TCM_SETPADDING, 0, MAKELPARAM(Dp(4), Dp(3)));
    int i = 0;
    for (const std::string& name : form_.SSTab.Names()) {
        TCITEMA t{};
        t.mask = TCIF_TEXT;
        t.pszText = const_cast<char*>(name.c_str());
        SendMessageA(tabs_, TCM_INSERTITEMA, i++, reinterpret_cast<LPARAM>(&t));
    }
    RECT page{0, 0, Dp(kClientWidth - 4), Dp(230)};
    SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    OffsetRect(&page, Dp(2), Dp(48));
    const int pw = page.right - page.left, ph = page.bottom - page.top;
    players_ = MakeChild(hwnd_, WS_EX_CLIENTEDGE, WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                         page.left, page.top, pw, ph, kIdPlayers);
    messages_ = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "LISTBOX", "",
                          WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, page.left, page.top, pw, ph,
                          kIdMessages);
    SendMessageA(messages_, LB_SETHORIZONTALEXTENT, 1200, 0);
    master_ = MakeChild(hwnd_, WS_EX_CLIENTEDGE, "EDIT", "", ES_READONLY | ES_MULTILINE | WS_VSCROLL, page.left,
                        page.top, pw, Dp(64), kIdMasterStatus);
    BuildScheduleTab(page);
    // Wide enough for the longest figures whole: "CPU 100.0%  Memory
    // 10239.9 MB  Handles 100000  Up 999d 23:59:59".
    resources_ = MakeChild(hwnd_, 0, "STATIC", "", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, Dp(6), Dp(280),
                           Dp(kClientWidth - 12), Dp(18), kIdResources);
    statusBar_ = MakeChild(hwnd_, 0, STATUSCLASSNAMEA, "", 0, 0, 0, 0, 0, kIdStatusBar);
    int parts[] = {Dp(250), -1};
    SendMessageA(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

    BindLabel(form_.lblStatusLocalServer, status_);
    BindLabel(form_.lblServerResources, resources_);
    BindTextBox(form_.txtStatusMasterServer, master_);
    BindToolbar(form_.Toolbar, toolbar_);
    BindStatusBar(form_.StatusBar, statusBar_);
    BindListView(form_.PlayerListView, players_);
    BindListBox(form_.lstMonitoredMsgs, messages_);
    ShowTab();
}

void MainForm::BuildScheduleTab(RECT page) {
    const int panelHeight = Dp(74), buttonHeight = Dp(26);
    RECT gridRect{page.left, page.top + panelHeight + Dp(4), page.right, page.bottom - buttonHeight - Dp(4)};
    itemImages_.reset(MakeItemImages(16));
    grid_ = std::make_unique<GridView>(form_.ResetItemGrid, hwnd_, gridRect, kIdGrid, itemImages_.get(), [](int picture) {
        return std::string(schedule::kResetItems.at(static_cast<size_t>(picture)).caption);
    });
    FitScheduleColumns();
    schedule::ScheduleEditor& editor = form_.Editor;
    items_ = std::make_unique<ItemsPanel>(editor, hwnd_, RECT{page.left, page.top, page.right, page.top + panelHeight},
                                          grid_->hwnd());

    // The cell editors float over the grid, in front of it.
    const int rowPx = ToPixels(grid_->RowHeightTwips());
    frequency_ = MakeChild(hwnd_, 0, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 0, 100, 160,
                           kIdFrequency);
    SendMessageA(frequency_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(10, rowPx - 6));
    nextTime_ = MakeChild(hwnd_, 0, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 0, 100, rowPx,
                          kIdNextTime);
    HookKeyPress(nextTime_, [&editor](std::int16_t& key) { editor.txtNextResetTime_KeyPress(key); }, true);
    editor.cmbFrequency.placement.height = grid_->RowHeightTwips();
    editor.timePlacement.height = grid_->RowHeightTwips();
    editor.gridHeight = ToTwips(gridRect.bottom - gridRect.top - 4);
    form_.Schedule.SetRowHeight(grid_->RowHeightTwips());
    const POINT origin = grid_->ClientOrigin();
    editor.onGridFocus = [this] { SetFocus(grid_->hwnd()); };
    // The grid paints under the editors that float over it: they paint again after it.
    grid_->onPostPaint = [this] {
        for (HWND e : {frequency_, nextTime_})
            if (IsWindowVisible(e)) RedrawWindow(e, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME | RDW_ERASE);
    };
    grid_->onKeyPress = [&editor](std::int16_t& key) { editor.ResetItemGrid_KeyPress(key); };
    grid_->onKeyUp = [&editor](int key) { editor.ResetItemGrid_KeyUp(key); };
    grid_->onScroll = [&editor] { editor.ResetItemGrid_Scroll(); };
    origin_ = origin;
    ShowWindow(frequency_, SW_HIDE);
    ShowWindow(nextTime_, SW_HIDE);
    BuildScheduleButtons(page, buttonHeight);
    SendMessageA(grid_->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), FALSE);
    AddGridToolTip();
}

void MainForm::BuildScheduleButtons(RECT page, int buttonHeight) {
    const struct {
        const char* word;
        Glyph glyph;
        int id;
    } faces[3] = {{"Remove", Glyph::Cross, kIdRemove}, {"Clear All", Glyph::Broom, kIdClear},
                  {"Apply", Glyph::Tick, kIdApplyReset}};
    const int bw = Dp(92);
    for (int b = 0; b < 3; ++b) {
        pictures_[b].reset(MakeWordBitmap(faces[b].word, faces[b].glyph, bw - Dp(8), buttonHeight - Dp(6)));
        buttons_[b] = MakeChild(hwnd_, 0, "BUTTON", "", BS_PUSHBUTTON | BS_BITMAP | WS_TABSTOP,
                                page.right - (3 - b) * (bw + Dp(4)), page.bottom - buttonHeight, bw, buttonHeight,
                                faces[b].id);
        SendMessageA(buttons_[b], BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(pictures_[b].get()));
    }
}

void MainForm::AddGridToolTip() {
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hwnd_,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(grid_->hwnd());
    ti.lpszText = const_cast<char*>(schedule::kGridToolTip);
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

void MainForm::FitScheduleColumns() {
    // The columns share the grid's width, so that no scroll bar crosses it;
    // each keeps room for its header and for what its cells hold.
    ui::GridModel& grid = form_.ResetItemGrid;
    RECT client{};
    GetClientRect(grid_->hwnd(), &client);
    const int width = ToTwips(client.right);
    int items = 0, frequencies = 0;  // the widest of each
    for (const schedule::ResetItem& item : schedule::kResetItems) items = std::max(items, grid.measureText(item.caption));
    for (const schedule::Frequency& f : schedule::kFrequencies) frequencies = std::max(frequencies, grid.measureText(f.name));
    // A header keeps 12 pixels around its caption; a cell 8 around its text
    // (and one for rounding to twips), an item's picture besides.
    const int header = ToTwips(12), cell = ToTwips(Dp(8) + 1);
    std::vector<int> least(static_cast<size_t>(schedule::kColNextTime) + 1, 0);
    least[schedule::kColPicture] =
        std::max(grid.measureText("Scheduled Item to Reset") + header, items + cell + ToTwips(Dp(18)));
    // The frequency's drop-down floats over its cell while it is chosen: its
    // arrow takes more room than a cell's margins.
    least[schedule::kColFreq] = std::max(grid.measureText("Frequency") + header, frequencies + ToTwips(Dp(12)));
    least[schedule::kColNextTime] = std::max(grid.measureText("Next Occurance") + header,
                                             grid.measureText("12/24/26 12:00 PM") + cell);
    grid.FitColumns(width, std::move(least));
}

void MainForm::Load() {
    form_.Form_Load();
    if (form_.Editor.cmbFrequency.Entries().empty()) return;  // the load ended the program
    // The frequency list is filled by the load: the editors are bound after it.
    schedule::ScheduleEditor& editor = form_.Editor;
    BindComboBox(editor.cmbFrequency, frequency_);
    BindPlacement(editor.cmbFrequency.placement, frequency_, origin_, 160);
    BindTextBox(editor.txtNextResetTime, nextTime_);
    editor.txtNextResetTime.onFocus = [this] { PostMessageA(hwnd_, kRefocusTime, 0, 0); };
    BindPlacement(editor.timePlacement, nextTime_, origin_);
    editor.cmbFrequency.placement.SetVisible(false);
    editor.timePlacement.SetVisible(false);
}

void MainForm::ShowTab() {
    const int tab = form_.SSTab.Selected();
    ShowWindow(players_, tab == 0 ? SW_SHOW : SW_HIDE);
    ShowWindow(messages_, tab == 1 ? SW_SHOW : SW_HIDE);
    ShowWindow(master_, tab == 3 ? SW_SHOW : SW_HIDE);
    const bool schedule = tab == 2;
    ShowWindow(grid_->hwnd(), schedule ? SW_SHOW : SW_HIDE);
    items_->Show(schedule);
    for (HWND b : buttons_) ShowWindow(b, schedule ? SW_SHOW : SW_HIDE);
    if (!schedule) {
        form_.Editor.cmbFrequency.placement.SetVisible(false);
        form_.Editor.timePlacement.SetVisible(false);
    }
    // The pages lie over the tab control, which repaints its body after a
    // change of tab: they paint again after it.
    for (HWND page : {players_, messages_, master_, grid_->hwnd(), items_->hwnd()})
        if (IsWindowVisible(page)) RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

void MainForm::Command(int id, int code, HWND control) {
    schedule::ScheduleEditor& editor = form_.Editor;
    if (id >= kToolbarBase && id < kToolbarBase + 5 && control == toolbar_) {
        form_.Toolbar_ButtonClick(id - kToolbarBase + 1);
        return;
    }
    if (RunMenuCommand(form_.mnuSystemTray, kTrayMenuBase, id)) return;
    if (RunMenuCommand(form_.mnuListView, kListMenuBase, id)) return;
    switch (id) {
        case kIdFrequency:
            if (code == CBN_SELCHANGE)
                editor.cmbFrequency.SetListIndex(static_cast<int>(SendMessageA(frequency_, CB_GETCURSEL, 0, 0)));
            break;
        case kIdNextTime:
            if (code == EN_CHANGE) editor.txtNextResetTime.TrackText(WindowText(nextTime_));
            if (code == EN_KILLFOCUS) PostMessageA(hwnd_, kValidateTime, 0, 0);
            break;
        case kIdRemove:
            if (code == BN_CLICKED) editor.btnRemove_Click();
            break;
        case kIdClear:
            if (code == BN_CLICKED) editor.btnClear_Click();
            break;
        case kIdApplyReset:
            if (code == BN_CLICKED) editor.btnApplyReset_Click();
            break;
        default:
            break;
    }
}

bool MainForm::Notify(NMHDR* n, LRESULT& result) {
    if (grid_ && grid_->OnNotify(n, result)) return true;
    if (n->hwndFrom == tabs_ && n->code == TCN_SELCHANGE) {
        const int i = static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0));
        form_.SSTab.Select(i);
        // The fourth tab stays shut.
        if (form_.SSTab.Selected() != i)
            SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(form_.SSTab.Selected()), 0);
        ShowTab();
        result = 0;
        return true;
    }
    if (n->hwndFrom == players_ && n->code == NM_RCLICK) {
        form_.PlayerListView_MouseDown(2, 0, 0, 0);
        result = 0;
        return true;
    }
    if (n->code == TTN_GETDISPINFOA && n->idFrom >= kToolbarBase && n->idFrom < kToolbarBase + 5) {
        reinterpret_cast<NMTTDISPINFOA*>(n)->lpszText = const_cast<char*>(kToolbarTips[n->idFrom - kToolbarBase]);
        result = 0;
        return true;
    }
    return false;
}

void MainForm::DrawTab(const DRAWITEMSTRUCT& di) {
    const int i = static_cast<int>(di.itemID);
    if (i < 0 || i >= static_cast<int>(form_.SSTab.Names().size())) return;
    FillRect(di.hDC, &di.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(di.hDC, TRANSPARENT);
    SetTextColor(di.hDC, GetSysColor(form_.SSTab.TabEnabled(i) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    const platform::win32::Selected font = platform::win32::SelectInto(di.hDC, UiFont());
    RECT r = di.rcItem;
    DrawTextA(di.hDC, form_.SSTab.Names()[static_cast<size_t>(i)].c_str(), -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

void MainForm::OwnMessage(UINT m) {
    switch (m) {
        case kChatClosed:
            if (form_.Chat && form_.Chat->Closed()) chat_.reset();
            break;
        case kValidateTime:
            if (GetFocus() != nextTime_) form_.Editor.txtNextResetTime_LostFocus();
            break;
        case kRefocusTime:
            if (IsWindowVisible(nextTime_)) {
                SetFocus(nextTime_);
                SendMessageA(nextTime_, EM_SETSEL, 0, -1);
            }
            break;
        default:
            break;
    }
}

LRESULT MainForm::Handle(UINT m, WPARAM wp, LPARAM lp) {
    // The shell's "TaskbarCreated" and the end of the session.
    std::int64_t result = 0;
    if (form_.Form_Message(m, wp, static_cast<std::int64_t>(lp), result)) return static_cast<LRESULT>(result);
    switch (m) {
        case WM_MOUSEMOVE:
            // The tray icon calls back with the mouse-move message, its id
            // and the mouse message; the window's own moves carry neither.
            if (wp == 1 && HIWORD(lp) == 0 && LOWORD(lp) >= WM_MOUSEFIRST && LOWORD(lp) <= WM_MOUSELAST) {
                form_.Form_MouseMove(0, 0, static_cast<float>(LOWORD(lp)), 0);
                return 0;
            }
            break;
        case WM_COMMAND:
            Command(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
            return 0;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (Notify(reinterpret_cast<NMHDR*>(lp), result)) return result;
            break;
        }
        case WM_VSCROLL:
            if (items_ && items_->OnScroll(reinterpret_cast<HWND>(lp), wp)) return 0;
            break;
        case WM_DRAWITEM:
            if (reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hwndItem != tabs_) break;
            DrawTab(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
            return TRUE;
        case WM_MOVE:
        case WM_SIZE:
        case WM_SHOWWINDOW:
            if (m == WM_SIZE && statusBar_) SendMessageA(statusBar_, WM_SIZE, 0, 0);
            if (m == WM_SHOWWINDOW) form_.window.TrackVisible(wp != 0);
            else TrackWindow(form_.window, hwnd_);
            break;
        case WM_CLOSE: {
            bool cancel = false;
            form_.Form_Unload(cancel);
            return 0;  // closing keeps Harrowatch in the tray; only the exit ends it
        }
        case WM_SETCURSOR:
            if (form_.Pointer.busy) {
                SetCursor(LoadCursor(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case kChatClosed:
        case kValidateTime:
        case kRefocusTime:
            OwnMessage(m);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return NativeWindow::Handle(m, wp, lp);
}

}  // namespace hw::win32
