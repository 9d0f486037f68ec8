#include "win32/icons.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "schedule/catalogue.h"
#include "ui/win32/bind.h"
#include "platform/win32/owners.h"

namespace hw::win32 {

namespace {

using platform::win32::GdiObject;
using platform::win32::Icon;
using platform::win32::MemoryDc;
using platform::win32::Selected;
using platform::win32::SelectInto;

// A 32-bit top-down DIB section and a DC on it, each given back with the
// canvas: the pen and the bitmap are put out of the DC before they are
// deleted, and the DC last.
class Canvas {
public:
    Canvas(int w, int h) : width(w), height(h), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* pixels = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &pixels, nullptr, 0));
        if (bitmap_) bits = static_cast<std::uint32_t*>(pixels);
        bitmapIn_ = SelectInto(dc_.get(), bitmap_.get());
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bitmap_.get(); }
    // The bitmap, out of the DC, for the caller to own.
    HBITMAP Take() {
        penIn_.reset();
        bitmapIn_.reset();
        return bitmap_.release();
    }
    // A canvas GDI could not make takes no pixels.
    void Fill(COLORREF c) {
        if (!bits) return;
        for (int i = 0; i < width * height; ++i) bits[i] = 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    void Pixel(int x, int y, COLORREF c) {
        if (bits && x >= 0 && y >= 0 && x < width && y < height)
            bits[y * width + x] = 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    void Brush(COLORREF c) {
        SelectObject(dc_.get(), GetStockObject(DC_BRUSH));  // a stock object: nothing to give back
        SetDCBrushColor(dc_.get(), c);
    }
    void Pen(COLORREF c, int w = 1) {
        penIn_.reset();  // the DC's own pen back in before the last one goes
        pen_.reset(CreatePen(PS_SOLID, w, c));
        penIn_ = SelectInto(dc_.get(), pen_.get());
    }

    const int width, height;
    std::uint32_t* bits = nullptr;

private:
    // Destroyed in the reverse order: each object out of the DC before it goes.
    MemoryDc dc_;
    GdiObject<HBITMAP> bitmap_;
    Selected bitmapIn_;
    GdiObject<HPEN> pen_;
    Selected penIn_;
};

constexpr COLORREF kMaskColour = RGB(255, 0, 255);

HICON IconFrom(Canvas& c, COLORREF transparent) {
    if (!c.bits) return nullptr;
    // A pixel of the transparent colour is left out of the icon.
    std::vector<BYTE> andMask(static_cast<size_t>(((c.width + 31) / 32) * 4 * c.height), 0);
    const std::uint32_t key = (GetRValue(transparent) << 16) | (GetGValue(transparent) << 8) | GetBValue(transparent);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            std::uint32_t& p = c.bits[y * c.width + x];
            if ((p & 0xFFFFFF) == key) {
                p = 0;
                andMask[static_cast<size_t>(y * ((c.width + 31) / 32) * 4 + x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
            }
        }
    const GdiObject<HBITMAP> mask(CreateBitmap(c.width, c.height, 1, 1, andMask.data()));
    ICONINFO ii{TRUE, 0, 0, mask.get(), c.bitmap()};
    return CreateIconIndirect(&ii);
}

void DrawToolbarImage(Canvas& c, const std::string& key) {
    c.Fill(kMaskColour);
    HDC dc = c.dc();
    auto window = [&](COLORREF title) {
        c.Pen(RGB(40, 40, 60));
        c.Brush(RGB(250, 250, 250));
        Rectangle(dc, 3, 5, 29, 27);
        c.Brush(title);
        Rectangle(dc, 3, 5, 29, 11);
    };
    if (key == "CONFIGURE") {
        c.Pen(RGB(60, 60, 70));
        c.Brush(RGB(150, 155, 165));
        for (int i = 0; i < 8; ++i) {
            const double a = i * 3.14159265 / 4;
            const int x = 16 + static_cast<int>(std::lround(11 * std::cos(a))), y = 16 + static_cast<int>(std::lround(11 * std::sin(a)));
            Rectangle(dc, x - 3, y - 3, x + 3, y + 3);
        }
        Ellipse(dc, 6, 6, 26, 26);
        c.Brush(RGB(250, 250, 250));
        Ellipse(dc, 12, 12, 20, 20);
    } else if (key == "START_SERVER") {
        c.Pen(RGB(20, 100, 30), 2);
        c.Brush(RGB(60, 180, 70));
        POINT tri[3] = {{9, 5}, {27, 16}, {9, 27}};
        Polygon(dc, tri, 3);
    } else if (key == "STOP_SERVER") {
        c.Pen(RGB(130, 20, 20), 2);
        c.Brush(RGB(210, 50, 40));
        Rectangle(dc, 7, 7, 25, 25);
    } else if (key == "SHOW_SERVER") {
        window(RGB(40, 90, 170));
        c.Pen(RGB(30, 30, 30));
        c.Brush(RGB(255, 255, 255));
        Ellipse(dc, 8, 13, 24, 25);
        c.Brush(RGB(40, 130, 70));
        Ellipse(dc, 13, 16, 19, 22);
    } else if (key == "HIDE_SERVER") {
        window(RGB(130, 130, 140));
        c.Pen(RGB(90, 90, 90), 3);
        MoveToEx(dc, 9, 19, nullptr);
        LineTo(dc, 23, 19);
    } else if (key == "CLOSE_SERVER") {
        c.Pen(RGB(190, 30, 30), 4);
        MoveToEx(dc, 8, 8, nullptr);
        LineTo(dc, 24, 24);
        MoveToEx(dc, 24, 8, nullptr);
        LineTo(dc, 8, 24);
    }
    GdiFlush();
}

void DrawItem(Canvas& c, int index, int top) {
    const schedule::ItemIcon& icon = schedule::ResetItemIcon(index);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const char ch = icon.rows[static_cast<size_t>(y)][x];
            if (ch < '1' || ch > '4') continue;
            const std::uint32_t rgb = icon.palette[static_cast<size_t>(ch - '1')];
            c.Pixel(x, top + y, RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
        }
}

}  // namespace

HICON MakeAppIcon(int size) {
    Canvas c(size, size);
    c.Fill(kMaskColour);
    const double m = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = (x - m) / m, dy = (y - m) / m;
            // A dark shield with a watchful eye on it.
            const bool shield = std::abs(dx) < 0.9 && dy > -0.9 && (dy < 0.2 || dx * dx + (dy - 0.2) * (dy - 0.2) < 0.55);
            if (!shield) continue;
            COLORREF col = RGB(0x20, 0x40, 0x70);
            if (dx * dx / 0.6 + dy * dy / 0.16 < 1) col = RGB(0xF0, 0xF0, 0xF0);
            if (dx * dx + dy * dy < 0.09) col = RGB(0x20, 0xA0, 0x50);
            if (dx * dx + dy * dy < 0.025) col = RGB(0x10, 0x10, 0x10);
            c.Pixel(x, y, col);
        }
    return IconFrom(c, kMaskColour);
}

int ToolbarImageIndex(const std::string& key) {
    for (int i = 0; i < 6; ++i)
        if (key == kToolbarImageKeys[i]) return i;
    return -1;
}

HIMAGELIST MakeToolbarImages() {
    platform::win32::ImageList list(ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 6, 0));
    for (const char* key : kToolbarImageKeys) {
        Canvas c(32, 32);
        DrawToolbarImage(c, key);
        const Icon icon(IconFrom(c, kMaskColour));
        ImageList_AddIcon(list.get(), icon.get());
    }
    return list.release();
}

HICON MakeItemIcon(int index) {
    Canvas c(16, 16);
    c.Fill(kMaskColour);
    DrawItem(c, index, 0);
    return IconFrom(c, kMaskColour);
}

HIMAGELIST MakeItemImages(int height) {
    height = std::max(16, height);
    platform::win32::ImageList list(ImageList_Create(16, height, ILC_COLOR32 | ILC_MASK, schedule::kResetItemCount, 0));
    for (int i = 0; i < schedule::kResetItemCount; ++i) {
        Canvas c(16, height);
        c.Fill(kMaskColour);
        DrawItem(c, i, (height - 16) / 2);
        const Icon icon(IconFrom(c, kMaskColour));
        ImageList_AddIcon(list.get(), icon.get());
    }
    return list.release();
}

HCURSOR MakeDragCursor() {
    const schedule::DragCursor& d = schedule::ResetItemDragCursor();
    BYTE andMask[128], xorMask[128];
    std::memset(andMask, 0xFF, sizeof andMask);
    std::memset(xorMask, 0, sizeof xorMask);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const char ch = d.rows[static_cast<size_t>(y)][x];
            const int byte = y * 4 + x / 8;
            const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
            if (ch == 'X') andMask[byte] &= static_cast<BYTE>(~bit);
            if (ch == '.') andMask[byte] &= static_cast<BYTE>(~bit), xorMask[byte] |= bit;
        }
    return CreateCursor(GetModuleHandleA(nullptr), d.hotX, d.hotY, 32, 32, andMask, xorMask);
}

HBITMAP MakeWordBitmap(const char* word, Glyph glyph, int width, int height) {
    Canvas c(width, height);
    c.Fill(GetSysColor(COLOR_BTNFACE));
    HDC dc = c.dc();
    const int g = height / 2;
    const int cx = 4 + g / 2, cy = height / 2;
    switch (glyph) {
        case Glyph::Cross:
            c.Pen(RGB(190, 40, 40), 2);
            MoveToEx(dc, cx - g / 3, cy - g / 3, nullptr), LineTo(dc, cx + g / 3, cy + g / 3);
            MoveToEx(dc, cx + g / 3, cy - g / 3, nullptr), LineTo(dc, cx - g / 3, cy + g / 3);
            break;
        case Glyph::Broom:
            c.Pen(RGB(150, 100, 40), 2);
            MoveToEx(dc, cx + g / 3, cy - g / 2, nullptr), LineTo(dc, cx - g / 4, cy + g / 4);
            c.Brush(RGB(220, 180, 80));
            Rectangle(dc, cx - g / 2, cy + g / 6, cx, cy + g / 2);
            break;
        case Glyph::Tick:
            c.Pen(RGB(30, 140, 50), 3);
            MoveToEx(dc, cx - g / 3, cy, nullptr), LineTo(dc, cx - g / 10, cy + g / 3), LineTo(dc, cx + g / 2, cy - g / 3);
            break;
        case Glyph::Send: {
            c.Pen(RGB(30, 80, 160));
            c.Brush(RGB(80, 140, 220));
            POINT p[3] = {{cx - g / 2, cy - g / 2}, {cx + g / 2, cy}, {cx - g / 2, cy + g / 2}};
            Polygon(dc, p, 3);
            break;
        }
        case Glyph::Back:
            c.Pen(RGB(120, 120, 120), 2);
            MoveToEx(dc, cx + g / 2, cy, nullptr), LineTo(dc, cx - g / 2, cy);
            MoveToEx(dc, cx - g / 2, cy, nullptr), LineTo(dc, cx - g / 8, cy - g / 3);
            MoveToEx(dc, cx - g / 2, cy, nullptr), LineTo(dc, cx - g / 8, cy + g / 3);
            break;
    }
    {
        const Selected font = SelectInto(dc, ui::win32::UiFont());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        RECT r{4 + g + 4, 0, width - 2, height};
        DrawTextA(dc, word, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    }
    GdiFlush();
    return c.Take();
}

}  // namespace hw::win32
