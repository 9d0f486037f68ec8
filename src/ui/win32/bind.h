// Binding the control models to native controls: a model's redraw sets the
// native control, and the native window's notifications are handed back to
// the model by the form that owns both.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ui/controls.h"
#include "ui/window.h"

namespace hw::ui::win32 {

inline HWND H(std::uint64_t h) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(h)); }
inline std::uint64_t U(const void* h) { return static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(h)); }

// Twips and the screen's pixels.
// The screen's dots per inch, read once.
int ScreenDpi();
inline int ToPixels(int twips) { return TwipsToPixels(twips, ScreenDpi()); }
// A layout length given in pixels at 96 dots per inch, at the screen's scale.
inline int Dp(int pixels96) { return MulDiv(pixels96, ScreenDpi(), 96); }
inline int ToTwips(int pixels) { return PixelsToTwips(pixels, ScreenDpi()); }

// The primary screen and every monitor's work area, in twips.
Screen SystemScreen();

// The font the controls use: the system's message font.
HFONT UiFont();
std::string WindowText(HWND window);
HWND MakeChild(HWND parent, DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y,
               int width, int height, int id = 0);

void BindLabel(Label& model, HWND control);
// A text box: its text, the caret position and the focus follow the model.
// The owner hands typing back with TrackText on EN_CHANGE.
void BindTextBox(TextBox& model, HWND control);
void BindCheckBox(CheckBox& model, HWND control);
void BindListView(ListView& model, HWND control);
void BindListBox(ListBox& model, HWND control);
void BindStatusBar(StatusBar& model, HWND control);
void BindToolbar(Toolbar& model, HWND control);
void BindComboBox(ComboBox& model, HWND control);
// A control that floats over another: placed in its parent's client area
// at the model's twips, offset by `origin` pixels.
// height: the control's height in pixels (0: as it is; a drop-down list
// needs room for its list).
void BindPlacement(Placement& model, HWND control, POINT origin = {0, 0}, int height = 0);
// Puts a new native window where its model is, at the model's size.
void ApplyWindow(const Window& model, HWND window);
// A top-level window: position, visibility, state, raising and showing.
void BindWindow(Window& model, HWND window);
// Keeps the model where the operator moved the window; call on WM_MOVE,
// WM_SIZE and WM_SHOWWINDOW.
void TrackWindow(Window& model, HWND window);

// Hands every character typed into `control` to onKeyPress before the
// control sees it; a key set to 0 is dropped. wantAllKeys: Enter and Tab
// reach the control too, as in a dialog they would not.
void HookKeyPress(HWND control, std::function<void(std::int16_t& keyAscii)> onKeyPress, bool wantAllKeys = false);

// Pops the menu up at the pointer, owned by `owner`. The chosen item comes
// back to the owner as WM_COMMAND with idBase + its index.
void ShowPopup(const PopupMenu& menu, HWND owner, int idBase);
// Runs the item a WM_COMMAND id names, if it is one of the menu's and enabled.
bool RunMenuCommand(PopupMenu& menu, int idBase, int id);

}  // namespace hw::ui::win32
