#include "ui/window.h"

#include <algorithm>
#include <climits>

namespace hw::ui {

namespace {
bool Overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
// How far apart two rectangles are (0 when they touch or overlap), squared.
long long Distance(const Rect& a, const Rect& b) {
    const long long dx = std::max({0, b.left - a.right, a.left - b.right});
    const long long dy = std::max({0, b.top - a.bottom, a.top - b.bottom});
    return dx * dx + dy * dy;
}
}  // namespace

Rect PlaceOnScreen(Rect w, const Screen& screen) {
    const int width = w.Width(), height = w.Height();
    if (w.left + width > screen.width) w.left = screen.width - width;
    if (w.top + height > screen.height) w.top = screen.height - height;
    w.right = w.left + width;
    w.bottom = w.top + height;
    if (screen.monitors.empty()) return w;
    for (const Rect& m : screen.monitors)
        if (Overlaps(w, m)) return w;
    const Rect* nearest = &screen.monitors.front();
    long long best = LLONG_MAX;
    for (const Rect& m : screen.monitors) {
        const long long d = Distance(w, m);
        if (d < best) best = d, nearest = &m;
    }
    // Inside the work area, its top-left corner kept in view first.
    w.left = std::max(nearest->left, std::min(w.left, nearest->right - width));
    w.top = std::max(nearest->top, std::min(w.top, nearest->bottom - height));
    w.right = w.left + width;
    w.bottom = w.top + height;
    return w;
}

}  // namespace hw::ui
