// Simulated windows: the tree, its enumeration order, what the window
// manager keeps of each window, and the default handling of messages.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace hw::platform::sim {

namespace {
bool Matches(const char* want, const std::string& have) { return !want || have == want; }
}  // namespace

Hwnd SimDesktop::CreateWindow(Pid owner, const std::string& className, const std::string& caption,
                              Hwnd parent, std::int32_t exStyle, WindowProc proc) {
    SimWindow w;
    w.handle = nextWindow_;
    nextWindow_ = Hwnd{nextWindow_.value() + 2};
    w.owner = owner;
    w.className = className;
    w.caption = caption;
    w.parent = parent;
    w.exStyle = exStyle;
    w.visible = parent != 0;  // controls show with their parent; forms are shown explicitly
    w.proc = std::move(proc);
    const Hwnd h = w.handle;
    windows_.emplace(h, std::move(w));
    if (SimWindow* p = Window(parent))
        p->children.push_back(h);
    else
        topLevel_.insert(topLevel_.begin(), h);  // a new top-level window comes on top
    return h;
}

void SimDesktop::DestroyWindow(Hwnd window) {
    SimWindow* w = Window(window);
    if (!w) return;
    std::vector<Hwnd> children = w->children;
    for (Hwnd c : children) DestroyWindow(c);
    w = Window(window);
    if (!w) return;
    if (SimWindow* p = Window(w->parent)) {
        auto& c = p->children;
        c.erase(std::remove(c.begin(), c.end(), window), c.end());
    }
    topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), window), topLevel_.end());
    if (foreground_ == window) foreground_ = 0;
    windows_.erase(window);
}

SimWindow* SimDesktop::Window(Hwnd window) {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

bool SimDesktop::DefaultProc(SimWindow& w, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam, std::int64_t* result) {
    *result = 0;
    switch (message) {
        case msg::kGetTextLength:
            *result = static_cast<std::int64_t>(w.caption.size());
            return true;
        case msg::kGetText: {
            if (wParam == 0) return true;
            auto* buffer = reinterpret_cast<char*>(static_cast<std::uintptr_t>(lParam));
            size_t n = std::min<size_t>(w.caption.size(), wParam - 1);
            std::memcpy(buffer, w.caption.data(), n);
            buffer[n] = 0;
            *result = static_cast<std::int64_t>(n);
            return true;
        }
        case msg::kSetText:
            w.caption = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(lParam));
            *result = 1;
            return true;
        case msg::kSetRedraw:
            w.redraw = wParam != 0;
            return true;
        case msg::kClose:
            DestroyWindow(w.handle);
            return true;
        default:
            return true;
    }
}

std::int64_t SimDesktop::Deliver(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                 std::int64_t lParam) {
    SimWindow* w = Window(window);
    if (!w) return 0;
    std::int64_t result = 0;
    WindowProc proc = w->proc;  // the procedure may destroy its window
    if (proc && proc(message, wParam, lParam, &result)) return result;
    if ((w = Window(window))) DefaultProc(*w, message, wParam, lParam, &result);
    return result;
}

void SimDesktop::HangProcess(Pid pid, std::uint64_t ms) {
    SimProcess* p = FindProcess(pid);
    if (!p) return;
    if (!IsHung(pid)) p->hungSinceMs = nowMs_;
    p->hungUntilMs = nowMs_ + ms;
}

bool SimDesktop::IsHungAppWindow(Hwnd window) {
    // A thread that takes its messages, however slowly, is not hung: only
    // one that has taken none for 5 s.
    const SimWindow* w = Window(window);
    const SimProcess* p = w ? FindProcess(w->owner) : nullptr;
    return p && IsHung(p->pid) && nowMs_ - p->hungSinceMs >= 5000;
}

bool SimDesktop::IsHung(Pid pid) const {
    for (const SimProcess& p : processes_)
        if (p.pid == pid) return p.alive && nowMs_ < p.hungUntilMs;
    return false;
}

// --- Enumeration and look-ups ------------------------------------------------------

bool SimDesktop::OnOwnDesktop(Hwnd window) {
    // Each session has desktops of its own: another session's windows are
    // neither found nor listed.
    const SimWindow* w = Window(window);
    const SimProcess* owner = w ? FindProcess(w->owner) : nullptr;
    const SimProcess* self = FindProcess(ownPid_);
    return w && (!owner || !self || owner->session == self->session);
}

Hwnd SimDesktop::FindWindow(const char* className, const char* windowName) {
    for (Hwnd h : topLevel_) {
        const SimWindow* w = Window(h);
        if (w && OnOwnDesktop(h) && Matches(className, w->className) && Matches(windowName, w->caption)) return h;
    }
    return 0;
}

Hwnd SimDesktop::FindWindowEx(Hwnd parent, Hwnd childAfter, const char* className,
                              const char* windowName) {
    std::vector<Hwnd> list;
    if (parent == 0 || parent == desktopWindow_) {
        list = topLevel_;
    } else if (SimWindow* p = Window(parent)) {
        list = p->children;
    } else {
        return 0;
    }
    auto it = list.begin();
    if (childAfter) {
        it = std::find(list.begin(), list.end(), childAfter);
        if (it == list.end()) return 0;
        ++it;
    }
    for (; it != list.end(); ++it) {
        const SimWindow* w = Window(*it);
        if (w && OnOwnDesktop(*it) && Matches(className, w->className) && Matches(windowName, w->caption)) return *it;
    }
    return 0;
}

void SimDesktop::EnumWindows(const std::function<bool(Hwnd)>& callback) {
    const std::vector<Hwnd> list = topLevel_;
    for (Hwnd h : list)
        if (Window(h) && OnOwnDesktop(h) && h != desktopWindow_ && !callback(h)) return;
}

bool SimDesktop::EnumChildren(Hwnd parent, const std::function<bool(Hwnd)>& callback) {
    SimWindow* p = Window(parent);
    if (!p) return true;
    const std::vector<Hwnd> children = p->children;
    for (Hwnd c : children) {
        if (!Window(c)) continue;
        if (!callback(c)) return false;
        if (!EnumChildren(c, callback)) return false;
    }
    return true;
}

void SimDesktop::EnumChildWindows(Hwnd parent, const std::function<bool(Hwnd)>& callback) {
    if (parent == 0) {
        EnumWindows([&](Hwnd h) { return callback(h) && EnumChildren(h, callback); });
        return;
    }
    EnumChildren(parent, callback);
}

std::uint32_t SimDesktop::GetWindowThreadProcessId(Hwnd window, Pid* processId) {
    const SimWindow* w = Window(window);
    if (processId) *processId = w ? w->owner : 0;
    return w ? w->owner.value() + 1 : 0;
}

std::int32_t SimDesktop::GetWindowLong(Hwnd window, int index) {
    const SimWindow* w = Window(window);
    if (!w) return 0;
    if (index == wnd::kGwlExStyle) return w->exStyle;
    if (index == wnd::kGwlStyle) return w->style | (w->visible ? wnd::kWsVisible : 0);
    return 0;
}

int SimDesktop::GetWindowTextLength(Hwnd window) {
    SimWindow* w = Window(window);
    if (!w) return 0;
    if (w->owner == ownPid_) return static_cast<int>(Deliver(window, msg::kGetTextLength, 0, 0));
    return static_cast<int>(w->caption.size());
}

int SimDesktop::GetWindowText(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    SimWindow* w = Window(window);
    if (!w) return 0;
    if (w->owner == ownPid_)
        return static_cast<int>(Deliver(window, msg::kGetText, static_cast<std::uint64_t>(size),
                                        static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(buffer))));
    size_t n = std::min<size_t>(w->caption.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, w->caption.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

int SimDesktop::GetClassName(Hwnd window, char* buffer, int size) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    const SimWindow* w = Window(window);
    if (!w) return 0;
    size_t n = std::min<size_t>(w->className.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, w->className.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

Hwnd SimDesktop::GetParent(Hwnd window) {
    const SimWindow* w = Window(window);
    return w ? w->parent : 0;
}

bool SimDesktop::IsWindowVisible(Hwnd window) {
    for (const SimWindow* w = Window(window); w; w = Window(w->parent))
        if (!w->visible) return false;
    return Window(window) != nullptr;
}

bool SimDesktop::ShowWindow(Hwnd window, int command) {
    SimWindow* w = Window(window);
    if (!w) return false;
    const bool was = w->visible;
    w->visible = command != wnd::kSwHide;
    return was;
}

bool SimDesktop::MoveWindow(Hwnd window, int x, int y, int width, int height, bool) {
    SimWindow* w = Window(window);
    if (!w) return false;
    w->x = x;
    w->y = y;
    w->width = width;
    w->height = height;
    return true;
}

bool SimDesktop::SetForegroundWindow(Hwnd window) {
    if (!Window(window)) return false;
    foreground_ = window;
    return true;
}

}  // namespace hw::platform::sim
