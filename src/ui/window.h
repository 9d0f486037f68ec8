// Models of a top-level window, the screen it sits on, pop-up menus, check
// boxes and the application itself. Sizes and positions are in twips, as
// the windows store them; the bindings convert to the screen's pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hw::ui {

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

// Twips per pixel at a screen's dots per inch, unrounded (8.57 at 168 dpi),
// so that stored positions and sizes stay right at every scale.
constexpr double TwipsPerPixelAt(int dpi) { return dpi > 0 ? 1440.0 / dpi : kTwipsPerPixel; }
// Conversions at that scale, to the nearest whole unit.
constexpr int PixelsToTwips(int pixels, int dpi) {
    const double t = pixels * TwipsPerPixelAt(dpi);
    return static_cast<int>(t < 0 ? t - 0.5 : t + 0.5);
}
constexpr int TwipsToPixels(int twips, int dpi) {
    const double p = twips / TwipsPerPixelAt(dpi);
    return static_cast<int>(p < 0 ? p - 0.5 : p + 0.5);
}

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// The screen as the platform reports it: the primary screen's size and the
// work area of every monitor, all in twips.
struct Screen {
    int width = 1024 * kTwipsPerPixel;
    int height = 768 * kTwipsPerPixel;
    std::vector<Rect> monitors{{0, 0, 1024 * kTwipsPerPixel, 740 * kTwipsPerPixel}};
};

// Holds the screen clamp every window of Harrowatch uses on a restored
// position: pulled back at the right and at the bottom, negative kept. A
// position on no monitor at all (one that was removed) goes onto the
// nearest monitor's work area.
Rect PlaceOnScreen(Rect window, const Screen& screen);

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

class Window {
public:
    explicit Window(int width = 0, int height = 0) : width_(width), height_(height) {}
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Visible() const { return visible_; }
    WindowState State() const { return state_; }

    void Move(int left, int top) {
        left_ = left, top_ = top;
        Changed();
    }
    void Resize(int width, int height) {
        width_ = width, height_ = height;
        Changed();
    }
    void SetVisible(bool on) {
        visible_ = on;
        Changed();
    }
    void SetState(WindowState state) {
        state_ = state;
        Changed();
    }
    // Shows and activates it.
    void Show() {
        visible_ = true;
        ++shows;
        if (onShow) onShow();
        Changed();
    }
    // Brings the window to the top of the window order.
    void ZOrderTop() {
        ++zOrderRaises;
        if (onRaise) onRaise();
    }
    // Where the operator moved it: the binding keeps the model current.
    void TrackMoved(int left, int top) { left_ = left, top_ = top; }
    void TrackState(WindowState state) { state_ = state; }
    void TrackVisible(bool on) { visible_ = on; }

    std::function<void()> onChange;
    std::function<void()> onRaise;
    std::function<void()> onShow;
    int zOrderRaises = 0;
    int shows = 0;

private:
    void Changed() {
        if (onChange) onChange();
    }
    int left_ = 0, top_ = 0, width_, height_;
    bool visible_ = false;
    WindowState state_ = WindowState::Normal;
};

struct MenuItem {
    std::string name;     // sysExit, lvServerMessage, ...
    std::string caption;  // "-" is a separator
    bool enabled = true;
    bool isDefault = false;
    std::function<void()> onClick;
};

struct PopupMenu {
    std::vector<MenuItem> items;
    MenuItem* Find(const std::string& name) {
        for (MenuItem& i : items)
            if (i.name == name) return &i;
        return nullptr;
    }
};

// Pops a menu up at the pointer; the binding runs the chosen item's onClick.
using PopupHost = std::function<void(PopupMenu&)>;

class CheckBox {
public:
    std::int16_t Value() const { return value_; }
    void SetValue(std::int16_t v) {
        value_ = v;
        if (onRedraw) onRedraw();
    }
    std::function<void()> onRedraw;

private:
    std::int16_t value_ = 0;
};

// What a window needs from the program around it.
struct Application {
    // True when another copy of Harrowatch is already running.
    std::function<bool()> prevInstance;
    // Ends the program once the current handler returns.
    std::function<void()> end;
    bool ended = false;
    bool PrevInstance() const { return prevInstance && prevInstance(); }
    void End() {
        ended = true;
        if (end) end();
    }
};

}  // namespace hw::ui
