// Owners of GDI and user objects, given back on every way out: bitmaps,
// fonts, pens and brushes, icons, cursors, image lists, device contexts and
// the objects selected into them, and kernel handles.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <type_traits>

namespace hw::ui::win32 {

struct GdiObjectDeleter {
    void operator()(void* o) const { ::DeleteObject(static_cast<HGDIOBJ>(o)); }
};
struct IconDeleter {
    void operator()(HICON i) const { ::DestroyIcon(i); }
};
struct CursorDeleter {
    void operator()(HCURSOR c) const { ::DestroyCursor(c); }
};
struct ImageListDeleter {
    void operator()(HIMAGELIST l) const { ::ImageList_Destroy(l); }
};
struct MemoryDcDeleter {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct KernelHandleDeleter {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};

// HBITMAP, HFONT, HPEN, HBRUSH.
template <class H>
using GdiObject = std::unique_ptr<std::remove_pointer_t<H>, GdiObjectDeleter>;
using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
using Cursor = std::unique_ptr<std::remove_pointer_t<HCURSOR>, CursorDeleter>;
using ImageList = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDeleter>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;
using KernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleDeleter>;

// A window's DC, released with the object.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a DC, the one it replaced put back with the object.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (old_) ::SelectObject(dc_, old_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace hw::ui::win32
