// "Enter Message Text...": the chat window on native controls.
#include <windows.h>
#include <commctrl.h>

#include "ui/win32/bind.h"
#include "win32/command_ids.h"
#include "win32/forms.h"
#include "win32/icons.h"

namespace hw::win32 {

using namespace ui::win32;


ChatForm::ChatForm(chat::frmMessage& model, HICON bigIcon, HICON smallIcon) : model_(model) {
    // No clipping of children: the frame around the controls is painted by this window.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if (!CreateTop(kChatClass, chat::kChatTitle, style, 0, Dp(360), Dp(240), nullptr, bigIcon, smallIcon)) return;
    // The window opens where its model put it, at the model's size.
    ApplyWindow(model_.window, hwnd_);
    RECT c{};
    GetClientRect(hwnd_, &c);
    const int cw = c.right, ch = c.bottom;
    MakeChild(hwnd_, 0, "BUTTON", "", BS_GROUPBOX, Dp(6), Dp(2), cw - Dp(12), ch - Dp(8));  // freMessage
    transcript_ = MakeChild(hwnd_, 0, "EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER,
                            Dp(14), Dp(16), cw - Dp(28), ch - Dp(92), kIdTranscript);
    input_ = MakeChild(hwnd_, 0, "EDIT", "",
                       ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP | WS_BORDER, Dp(14),
                       ch - Dp(70), cw - Dp(92), Dp(56), kIdMessageText);
    sendPicture_.reset(MakeWordBitmap("Send", Glyph::Send, Dp(50), Dp(22)));
    send_ = MakeChild(hwnd_, 0, "BUTTON", "", BS_PUSHBUTTON | BS_BITMAP | WS_TABSTOP, cw - Dp(72), ch - Dp(70), Dp(58),
                      Dp(56), kIdSend);
    SendMessageA(send_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(sendPicture_.get()));
    HookKeyPress(input_, [this](std::int16_t& key) {
        model_.txtMessageText.TrackText(WindowText(input_));
        model_.txtMessageText_KeyPress(key);
    });
    tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, hwnd_,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(input_);
    ti.lpszText = const_cast<char*>("Type in your message text...");
    SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    BindTextBox(model_.txtChat, transcript_);
    BindTextBox(model_.txtMessageText, input_);
    BindWindow(model_.window, hwnd_);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(input_);
}

ChatForm::~ChatForm() {
    model_.txtChat.onRedraw = model_.txtChat.onSelect = model_.txtChat.onFocus = nullptr;
    model_.txtMessageText.onRedraw = model_.txtMessageText.onSelect = model_.txtMessageText.onFocus = nullptr;
    model_.window.onChange = model_.window.onShow = model_.window.onRaise = nullptr;
}

void ChatForm::Bring() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

LRESULT ChatForm::Handle(UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
        case WM_COMMAND: {
            const int id = LOWORD(wp), code = HIWORD(wp);
            if (id == kIdSend && code == BN_CLICKED) {
                // A multi-line box reports no change for text set from outside.
                model_.txtMessageText.TrackText(WindowText(input_));
                model_.btnSendMessage_Click();
            }
            if (id == kIdMessageText && code == EN_CHANGE)
                model_.txtMessageText.TrackText(WindowText(reinterpret_cast<HWND>(lp)));
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE) SetFocus(input_);
            return 0;
        case WM_MOVE:
            TrackWindow(model_.window, hwnd_);
            break;
        case WM_CLOSE:
            // Unloads now, or once a send that waits for the server has ended.
            model_.RequestClose();
            if (model_.Closed()) ShowWindow(hwnd_, SW_HIDE);
            return 0;
        default:
            break;
    }
    return NativeWindow::Handle(m, wp, lp);
}

}  // namespace hw::win32
