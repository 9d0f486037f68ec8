// Messages to windows (user32), menus, and text in the ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class MessageApi {
public:
    virtual ~MessageApi() = default;

    virtual bool PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) = 0;
    // Sends and waits at most timeoutMs for the answer; false when the
    // window is gone, its program hung or the time ran out.
    virtual bool SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                    std::int64_t lParam, std::uint32_t flags,
                                    std::uint32_t timeoutMs, std::int64_t* result) = 0;
    // The text messages whose lParam is a buffer of Harrowatch's own:
    // WM_GETTEXT (wParam is ignored, bufferSize counts), LB_GETTEXT (wParam
    // the line) and WM_SETTEXT (buffer holds the text). Never writes more
    // than bufferSize bytes, a terminating NUL included; texts come in the
    // ANSI code page.
    virtual bool SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                        char* buffer, std::uint32_t bufferSize,
                                        std::uint32_t flags, std::uint32_t timeoutMs,
                                        std::int64_t* result) = 0;
    // A list box of another program is read in two halves, both in the ANSI
    // code page; automation/ reads a run of lines with them, the lengths of
    // as many lines as the backend asks for at once, then each text.
    // LB_GETTEXTLEN of lines first.. (at most `most` of them), all within
    // the time-out: a length for each line asked for, -1 for one not
    // answered in time or not there. The Windows backend asks for up to 64
    // at once (SendMessageCallback: the other program answers them back to
    // back, where one send at a time would wait for each) and waits for them
    // together; the simulated desktop asks for one, with one send.
    virtual std::vector<std::int64_t> GetListBoxTextLengths(Hwnd listBox, std::int32_t first, std::int32_t most,
                                                            std::uint32_t flags, std::uint32_t timeoutMs) = 0;
    // LB_GETTEXT of one line whose length was asked for: one send, into a
    // buffer sized by that length (the list box copies the whole line).
    // False when it is not answered in time, the line is gone or its length
    // is past 1 MiB.
    virtual bool GetListBoxText(Hwnd listBox, std::int32_t line, std::int64_t length, std::uint32_t flags,
                                std::uint32_t timeoutMs, std::string& text) = 0;

    // A message number the whole desktop agrees on for `name`; 0 on failure.
    virtual std::uint32_t RegisterWindowMessage(const std::string& name) = 0;
    // Lets `message` through to `window` from processes of lower integrity
    // (kMsgfltAllow), which user interface privilege isolation drops otherwise.
    virtual bool ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) = 0;

    // --- Menus.
    virtual HMenu GetMenu(Hwnd window) = 0;
    virtual HMenu GetSubMenu(HMenu menu, int position) = 0;
    virtual int GetMenuItemCount(HMenu menu) = 0;
    virtual std::uint32_t GetMenuItemID(HMenu menu, int position) = 0;
    virtual int GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                              std::uint32_t flags) = 0;

    // --- Text. Text in the ANSI code page as UTF-8: MultiByteToWideChar with
    // CP_ACP, then WideCharToMultiByte with CP_UTF8. Bytes the code page
    // leaves undefined come out as the code page's table maps them.
    virtual std::string AnsiToUtf8(const std::string& ansi) = 0;
};

}  // namespace hw::platform
