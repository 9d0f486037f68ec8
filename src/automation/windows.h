// Finding one's way around another program's windows: its main window, all
// descendants, two ways of reading a window's text, its class, and the
// commands of its menu bar.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace hw::automation {

using platform::Hwnd;

// The first top-level window of the process with WS_EX_APPWINDOW, shown or
// not; 0 when there is none.
Hwnd GetProcessMainWindow(platform::Desktop& desktop, platform::Pid processId);

// All descendants in enumeration order; a single 0 when there are none.
std::vector<Hwnd> GetChildWindows(platform::Desktop& desktop, Hwnd parent);

// What a search among another program's windows does after each window that
// does not match: nothing, let Harrowatch's own messages run, or let them
// run only after a look the program was slow to answer.
enum class Between { Nothing, Yield, YieldIfSlow };

// The first of `windows` (a list as GetChildWindows gives it) that `match`
// accepts; 0 when none does.
Hwnd FindAmong(platform::Desktop& desktop, const std::vector<Hwnd>& windows,
               const std::function<bool(Hwnd)>& match, Between between = Between::Nothing);
// The same among the descendants of `parent`, listed first, then looked at.
Hwnd FindChild(platform::Desktop& desktop, Hwnd parent, const std::function<bool(Hwnd)>& match,
               Between between = Between::Nothing);

// The caption as the window manager reports it (for another program's
// control: the text it was created with), untrimmed.
std::string GetWindowTitle(platform::Desktop& desktop, Hwnd window);

// What the window answers to WM_GETTEXT (its live text), NULs as blanks,
// trimmed. Empty when the window is gone or its program does not answer in
// time.
std::string GetControlText(platform::Desktop& desktop, Hwnd window);
// The same, or nothing when the window is gone or does not answer in time.
std::optional<std::string> ReadControlText(platform::Desktop& desktop, Hwnd window);

std::string GetWindowClass(platform::Desktop& desktop, Hwnd window);

// One entry per command of the menu bar's first level of submenus:
// "top text|top id\item text|item id".
std::vector<std::string> GetMenuCommands(platform::Desktop& desktop, Hwnd window);

}  // namespace hw::automation
