// Harrowatch's three windows on native controls: the main window with its
// tray icon, the configuration dialog and the chat window.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/main_window.h"
#include "automation/wait.h"
#include "platform/win32/win32_desktop.h"
#include "ui/win32/grid_view.h"
#include "ui/win32/message_box.h"
#include "platform/win32/owners.h"
#include "ui/win32/native_window.h"
#include "win32/items_panel.h"

namespace hw::win32 {

class ShellTray : public ui::TrayShell {
public:
    bool NotifyIcon(std::uint32_t message, const ui::TrayIconData& data) override;
};

// The modal configuration dialog over the main window.
class ConfigForm : public ui::win32::NativeWindow {
public:
    ConfigForm(settings::frmConfig& model, HWND owner);
    // Creates the dialog and its controls, hidden.
    bool Build();
    // Shows the dialog and returns once it has closed.
    void Run();

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ShowPage(int which);
    void FocusShowsPage(ui::TextBox& box, int which);
    // `control`, shown while tab `which` is selected.
    HWND OnPage(int which, HWND control);
    // Build's steps, in the order the controls are made: the tabs; the
    // options page; the supervision page's numbers (answers the row below
    // them) and the rows under them; Cancel and Apply.
    void BuildTabs(int cw, int ch);
    void BuildOptionsPage(int x, int fw);
    int BuildNumberRows(int x, int fw);
    void BuildNotificationRows(int x, int fw, int y);
    void BuildButtons(int cw, int ch);
    settings::frmConfig& model_;
    HWND owner_;
    HWND interval_ = nullptr, tab_ = nullptr;
    std::vector<HWND> pages_[2];
    platform::win32::GdiObject<HBITMAP> apply_, cancel_;
};

class ChatForm : public ui::win32::NativeWindow {
public:
    ChatForm(chat::frmMessage& model, HICON bigIcon, HICON smallIcon);
    ~ChatForm() override;
    void Bring();

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    chat::frmMessage& model_;
    HWND transcript_ = nullptr, input_ = nullptr, send_ = nullptr, tips_ = nullptr;
    platform::win32::GdiObject<HBITMAP> sendPicture_;
};

class MainForm : public ui::win32::NativeWindow {
public:
    MainForm(platform::win32::Win32Desktop& desktop, ui::Application& app);
    ~MainForm() override;
    bool Create();
    void Load();
    // The system's main window behind this one.
    app::frmMain& Model() { return form_; }
    const ItemsPanel* Items() const { return items_.get(); }

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void BuildControls();
    void BuildToolbar();
    void BuildScheduleTab(RECT page);
    // Remove, Clear All and Apply along the foot of the schedule's page.
    void BuildScheduleButtons(RECT page, int buttonHeight);
    // The grid's tip: how rows are added and removed.
    void AddGridToolTip();
    // WM_NOTIFY from the grid, the tabs, the players' list and the
    // toolbar's tips: true when handled, with its answer in `result`.
    bool Notify(NMHDR* n, LRESULT& result);
    // One of the tabs' captions, greyed when it cannot be chosen.
    void DrawTab(const DRAWITEMSTRUCT& di);
    // The window's own posted messages: a chat form closed, a typed time
    // to check once the focus has moved, the time field to focus again.
    void OwnMessage(UINT message);
    void FitScheduleColumns();
    void ShowTab();
    void Command(int id, int code, HWND control);

    platform::win32::Win32Desktop& desktop_;
    ui::win32::Win32MessageBoxes boxes_;
    ShellTray tray_;
    automation::CancelSignal cancel_;
    app::frmMain form_;
    platform::win32::Icon bigIcon_, smallIcon_;
    platform::win32::ImageList toolbarImages_, itemImages_;
    platform::win32::GdiObject<HBITMAP> pictures_[3];
    HWND toolbar_ = nullptr, status_ = nullptr, resources_ = nullptr, tabs_ = nullptr, players_ = nullptr,
         messages_ = nullptr;
    HWND master_ = nullptr, statusBar_ = nullptr, frequency_ = nullptr, nextTime_ = nullptr;
    HWND buttons_[3] = {};
    std::unique_ptr<ui::win32::GridView> grid_;
    std::unique_ptr<ItemsPanel> items_;
    std::unique_ptr<ChatForm> chat_;
    POINT origin_{0, 0};  // the grid's client area, where the cell editors float
};

}  // namespace hw::win32
