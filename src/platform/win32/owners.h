// What the Windows halves are handed and must give back, each kind owned by
// platform::Unique with the call that gives it back: kernel handles, memory
// the OS allocated for the caller, GDI objects, icons, cursors, image lists,
// menus, DCs and the objects selected into them, paintings, event sources.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "platform/unique.h"

namespace hw::platform::win32 {

// A kind whose none is null.
template <class V>
struct NullIsNone {
    using Value = V;
    static bool Valid(V v) { return v != nullptr; }
};

// A kernel handle; none is null or INVALID_HANDLE_VALUE, as CreateFile answers.
struct KernelHandleTraits {
    using Value = HANDLE;
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using KernelHandle = Unique<KernelHandleTraits>;

// Memory the OS allocated for the caller with LocalAlloc (security
// descriptors, SDDL text): PSECURITY_DESCRIPTOR, char*.
template <class P>
struct LocalMemoryTraits : NullIsNone<P> {
    static void Close(P p) { ::LocalFree(p); }
};
template <class P>
using LocalMemory = Unique<LocalMemoryTraits<P>>;

// HBITMAP, HFONT, HPEN, HBRUSH.
template <class H>
struct GdiObjectTraits : NullIsNone<H> {
    static void Close(H o) { ::DeleteObject(o); }
};
template <class H>
using GdiObject = Unique<GdiObjectTraits<H>>;

struct IconTraits : NullIsNone<HICON> {
    static void Close(HICON i) { ::DestroyIcon(i); }
};
using Icon = Unique<IconTraits>;

struct CursorTraits : NullIsNone<HCURSOR> {
    static void Close(HCURSOR c) { ::DestroyCursor(c); }
};
using Cursor = Unique<CursorTraits>;

struct ImageListTraits : NullIsNone<HIMAGELIST> {
    static void Close(HIMAGELIST l) { ::ImageList_Destroy(l); }
};
using ImageList = Unique<ImageListTraits>;

// A menu no window holds (a window destroys its own menu bar).
struct MenuTraits : NullIsNone<HMENU> {
    static void Close(HMENU m) { ::DestroyMenu(m); }
};
using MenuHandle = Unique<MenuTraits>;

// A DC of its own (CreateCompatibleDC).
struct MemoryDcTraits : NullIsNone<HDC> {
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
using MemoryDc = Unique<MemoryDcTraits>;

// A window's DC (GetDC), released to its window.
struct WindowDcValue {
    HWND window = nullptr;
    HDC dc = nullptr;
};
struct WindowDcTraits {
    using Value = WindowDcValue;
    static bool Valid(const WindowDcValue& v) { return v.dc != nullptr; }
    static void Close(const WindowDcValue& v) { ::ReleaseDC(v.window, v.dc); }
};
using WindowDc = Unique<WindowDcTraits>;
inline WindowDc GetWindowDc(HWND window) { return WindowDc(WindowDcValue{window, ::GetDC(window)}); }

// An object selected into a DC: the one it replaced is put back.
struct SelectionValue {
    HDC dc = nullptr;
    HGDIOBJ replaced = nullptr;
};
struct SelectionTraits {
    using Value = SelectionValue;
    static bool Valid(const SelectionValue& v) { return v.replaced != nullptr; }
    static void Close(const SelectionValue& v) { ::SelectObject(v.dc, v.replaced); }
};
using Selected = Unique<SelectionTraits>;
inline Selected SelectInto(HDC dc, HGDIOBJ object) {
    return Selected(SelectionValue{dc, dc && object ? ::SelectObject(dc, object) : nullptr});
}

// A window's painting (BeginPaint), ended (EndPaint) on every way out.
struct PaintValue {
    HWND window = nullptr;
    PAINTSTRUCT ps{};
};
struct PaintTraits {
    using Value = PaintValue;
    static bool Valid(const PaintValue& v) { return v.ps.hdc != nullptr; }
    static void Close(const PaintValue& v) { ::EndPaint(v.window, &v.ps); }
};
using Painting = Unique<PaintTraits>;
inline Painting BeginPainting(HWND window) {
    PaintValue v{window, {}};
    ::BeginPaint(window, &v.ps);
    return Painting(v);
}

// An event source of the Application log (RegisterEventSource).
struct EventSourceTraits : NullIsNone<HANDLE> {
    static void Close(HANDLE h) { ::DeregisterEventSource(h); }
};
using EventSource = Unique<EventSourceTraits>;

}  // namespace hw::platform::win32
