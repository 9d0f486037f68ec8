// Simulated windows, menus and process memory.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/sim_desktop.h"

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

HMenu SimDesktop::CreateMenu(std::vector<SimMenuItem> items) {
    const HMenu h = nextMenu_;
    nextMenu_ = HMenu{nextMenu_.value() + 1};
    menus_[h] = std::move(items);
    return h;
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
    return w ? w->owner + 1 : 0;
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

// --- Messages -----------------------------------------------------------------------

constexpr long kInvalidWindowHandle = 1400;

bool SimDesktop::MayReach(Pid sender, const SimWindow& w, std::uint32_t message) const {
    if (IntegrityOf(sender) >= IntegrityOf(w.owner)) return true;
    const auto& allowed = w.allowedFromBelow;
    return std::find(allowed.begin(), allowed.end(), message) != allowed.end();
}

bool SimDesktop::PostFrom(Pid sender, Hwnd window, std::uint32_t message, std::uint64_t wParam,
                          std::int64_t lParam) {
    SimWindow* w = Window(window);
    if (!w) return Fail(kInvalidWindowHandle);
    if (!MayReach(sender, *w, message)) return Fail(err::kAccessDenied);
    ScheduleAt(nowMs_, w->owner, [this, window, message, wParam, lParam] {
        Deliver(window, message, wParam, lParam);
    });
    return true;
}

void SimDesktop::BroadcastFrom(Pid sender, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    const std::vector<Hwnd> list = topLevel_;
    for (Hwnd h : list) PostFrom(sender, h, message, wParam, lParam);
}

bool SimDesktop::PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) {
    return PostFrom(ownPid_, window, message, wParam, lParam);
}

std::uint32_t SimDesktop::RegisterWindowMessage(const std::string& name) {
    if (name.empty()) return Fail(err::kInvalidParameter), 0;
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto [it, added] = registeredMessages_.emplace(key, 0xC000 + static_cast<std::uint32_t>(registeredMessages_.size()));
    return it->second;
}

bool SimDesktop::ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) {
    SimWindow* w = Window(window);
    if (!w) return Fail(kInvalidWindowHandle);
    // Only the window's own process may open it to others.
    if (w->owner != ownPid_) return Fail(err::kAccessDenied);
    if (action != msg::kMsgfltAllow && action != msg::kMsgfltDisallow) return Fail(err::kInvalidParameter);
    auto& allowed = w->allowedFromBelow;
    std::erase(allowed, message);
    if (action == msg::kMsgfltAllow) allowed.push_back(message);
    return true;
}

bool SimDesktop::SetProcessShutdownParameters(std::uint32_t level, std::uint32_t flags) {
    if (level < session::kLowestShutdownLevel || level > session::kHighestShutdownLevel ||
        (flags & ~session::kShutdownNoRetry))
        return Fail(err::kInvalidParameter);
    ownShutdownLevel_ = level;
    return true;
}

bool SimDesktop::SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                    std::int64_t lParam, std::uint32_t, std::uint32_t timeoutMs,
                                    std::int64_t* result) {
    return SendFromOwn(window, message, wParam, lParam, timeoutMs, result, {});
}

bool SimDesktop::SendFromOwn(Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                             std::uint32_t timeoutMs, std::int64_t* result, std::function<void()> late) {
    if (result) *result = 0;
    SimWindow* w = Window(window);
    if (!w) return Fail(kInvalidWindowHandle);
    if (!MayReach(ownPid_, *w, message)) return Fail(err::kAccessDenied);
    Pid owner = w->owner;
    if (owner != ownPid_) {
        ++sendsToOthers_;
        if (beforeSendToOthers) {
            beforeSendToOthers(window, message);
            w = Window(window);
            if (!w) return Fail(kInvalidWindowHandle);
            owner = w->owner;
        }
    }
    if (owner != ownPid_ && IsHung(owner)) {
        // The sender waits out its time-out; the hung program answers only
        // if it recovers in time.
        SimProcess* p = FindProcess(owner);
        const std::uint64_t until = nowMs_ + timeoutMs;
        if (p->hungUntilMs > until) {
            // A send is not taken back when the sender stops waiting: the
            // program handles it when it picks up again.
            if (!late) late = [this, window, message, wParam, lParam] { Deliver(window, message, wParam, lParam); };
            p->lateSends.push_back(std::move(late));
            ScheduleAt(nowMs_, owner, [this, owner] { HandleLateSends(owner); });
            MoveClockTo(until, false);
            return Fail(err::kTimeout);
        }
        MoveClockTo(p->hungUntilMs, false);
        if (!Window(window)) return Fail(kInvalidWindowHandle);
    }
    if (owner != ownPid_) {
        // A thread takes sent messages in the order they were sent.
        HandleLateSends(owner);
        if (!Window(window)) return Fail(kInvalidWindowHandle);
    }
    const std::int64_t r = Deliver(window, message, wParam, lParam);
    if (result) *result = r;
    return true;
}

void SimDesktop::HandleLateSends(Pid pid) {
    for (;;) {
        SimProcess* p = FindProcess(pid);
        if (!p || !p->alive || p->lateSends.empty()) return;
        std::function<void()> send = std::move(p->lateSends.front());
        p->lateSends.pop_front();
        send();
    }
}

namespace {
std::int64_t AddressOf(const char* buffer) {
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(buffer));
}
}  // namespace

// The text messages carry Harrowatch's own buffer, which Windows copies
// across: handled late, they see a copy, and their answer is dropped.
bool SimDesktop::SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                        char* buffer, std::uint32_t bufferSize, std::uint32_t flags,
                                        std::uint32_t timeoutMs, std::int64_t* result) {
    if (result) *result = 0;
    const std::int64_t lp = AddressOf(buffer);
    if (message == msg::kSetText) {
        auto copy = std::make_shared<std::string>(buffer ? buffer : "");
        return SendFromOwn(window, message, 0, lp, timeoutMs, result,
                           [this, window, copy] { Deliver(window, msg::kSetText, 0, AddressOf(copy->c_str())); });
    }
    if (bufferSize == 0 || !buffer) return Fail(err::kInvalidParameter);
    buffer[0] = 0;
    if (message == msg::kGetText)
        return SendFromOwn(window, message, bufferSize, lp, timeoutMs, result, [this, window, bufferSize] {
            std::string scratch(bufferSize, '\0');
            Deliver(window, msg::kGetText, bufferSize, AddressOf(scratch.data()));
        });
    if (message != msg::kLbGetText) return Fail(err::kInvalidParameter);
    std::string line;
    if (!ReadListBoxLine(window, wParam, flags, timeoutMs, line)) return false;
    const size_t n = std::min<size_t>(line.size(), bufferSize - 1);
    std::memcpy(buffer, line.data(), n);
    buffer[n] = 0;
    if (result) *result = static_cast<std::int64_t>(n);
    return true;
}

// One line, two sends: the list box copies the whole line, so it is taken
// into a buffer of the line's size. The time-out bounds both: the text
// waits only what the length left of it.
bool SimDesktop::ReadListBoxLine(Hwnd listBox, std::uint64_t line, std::uint32_t flags, std::uint32_t timeoutMs,
                                 std::string& text) {
    std::int64_t len = 0, got = 0;
    const std::uint64_t until = nowMs_ + timeoutMs;
    if (!SendMessageTimeout(listBox, msg::kLbGetTextLen, line, 0, flags, timeoutMs, &len) || len < 0 ||
        len > (1 << 20))
        return false;
    if (nowMs_ >= until) return Fail(err::kTimeout);
    text.assign(static_cast<size_t>(len) + 1, '\0');
    const auto left = static_cast<std::uint32_t>(until - nowMs_);
    if (!SendFromOwn(listBox, msg::kLbGetText, line, AddressOf(text.data()), left, &got, [this, listBox, line] {
            const std::int64_t n = Deliver(listBox, msg::kLbGetTextLen, line, 0);
            if (n < 0 || n > (1 << 20)) return;
            std::string scratch(static_cast<size_t>(n) + 1, '\0');
            Deliver(listBox, msg::kLbGetText, line, AddressOf(scratch.data()));
        }))
        return false;
    if (got < 0) return Fail(err::kInvalidParameter);
    text.resize(std::min<size_t>(static_cast<size_t>(got), static_cast<size_t>(len)));
    return true;
}

std::vector<std::string> SimDesktop::ReadListBoxLines(Hwnd listBox, std::int32_t start, std::int32_t count,
                                                      std::uint32_t flags, std::uint32_t timeoutMs) {
    std::vector<std::string> lines;
    if (start < 0 || count <= start) return lines;
    // The time-out bounds the whole read: each send waits what is left.
    const std::uint64_t until = nowMs_ + timeoutMs;
    auto left = [&] { return static_cast<std::uint32_t>(until > nowMs_ ? until - nowMs_ : 0); };
    // One check that the program answers, as the Windows backend makes it.
    if (!SendMessageTimeout(listBox, msg::kNull, 0, 0, flags, timeoutMs, nullptr)) return lines;
    std::string text;
    for (std::int32_t i = start; i < count && left(); ++i) {
        if (!ReadListBoxLine(listBox, static_cast<std::uint64_t>(i), flags, left(), text)) break;
        lines.push_back(text);
    }
    return lines;
}

// --- Menus -------------------------------------------------------------------------

HMenu SimDesktop::GetMenu(Hwnd window) {
    const SimWindow* w = Window(window);
    return w ? w->menu : 0;
}

HMenu SimDesktop::GetSubMenu(HMenu menu, int position) {
    auto it = menus_.find(menu);
    if (it == menus_.end() || position < 0 || position >= static_cast<int>(it->second.size())) return 0;
    return it->second[position].submenu;
}

int SimDesktop::GetMenuItemCount(HMenu menu) {
    auto it = menus_.find(menu);
    return it == menus_.end() ? -1 : static_cast<int>(it->second.size());
}

std::uint32_t SimDesktop::GetMenuItemID(HMenu menu, int position) {
    auto it = menus_.find(menu);
    if (it == menus_.end() || position < 0 || position >= static_cast<int>(it->second.size()))
        return 0xFFFFFFFFu;
    const SimMenuItem& item = it->second[position];
    return item.submenu ? 0xFFFFFFFFu : item.id;
}

int SimDesktop::GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                              std::uint32_t flags) {
    if (size > 0) buffer[0] = 0;
    auto it = menus_.find(menu);
    if (it == menus_.end()) return 0;
    const SimMenuItem* found = nullptr;
    if (flags & wnd::kMfByPosition) {
        if (item < it->second.size()) found = &it->second[item];
    } else {
        std::function<const SimMenuItem*(HMenu)> search = [&](HMenu m) -> const SimMenuItem* {
            auto mi = menus_.find(m);
            if (mi == menus_.end()) return nullptr;
            for (const SimMenuItem& i : mi->second) {
                if (!i.submenu && i.id == item && i.id != 0) return &i;
                if (i.submenu)
                    if (const SimMenuItem* f = search(i.submenu)) return f;
            }
            return nullptr;
        };
        found = search(menu);
    }
    if (!found || size <= 0) return 0;
    size_t n = std::min<size_t>(found->text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, found->text.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

// --- Process memory ----------------------------------------------------------------

RemoteAddress SimDesktop::VirtualAllocEx(Handle process, std::uint64_t size, std::uint32_t allocationType,
                                         std::uint32_t protect) {
    SimProcess* p = ProcessWith(process, proc::kVmOperation);
    if (!p) return {};
    if (!p->alive) return Fail(err::kAccessDenied), RemoteAddress{};
    if (size == 0 || !(allocationType & mem::kCommit) || protect != mem::kReadWrite)
        return Fail(err::kInvalidParameter), RemoteAddress{};
    // A 32-bit program's address space ends at 4 GB; a 64-bit one gets
    // blocks above it, so an address cut to 32 bits points nowhere.
    const std::uint64_t limit = p->is32Bit ? (1ull << 32) : (1ull << 47);
    const std::uint64_t pages = (size + 0xFFF) & ~0xFFFull;
    if (!p->is32Bit && p->nextAddress.value() < (1ull << 32)) p->nextAddress += 0x7FF00000000ull;
    if (size > (1ull << 30) || p->nextAddress.value() + pages > limit) return Fail(8 /* ERROR_NOT_ENOUGH_MEMORY */), RemoteAddress{};
    const RemoteAddress a = p->nextAddress;
    p->nextAddress += pages + 0x10000;
    p->memory[a].assign(pages, 0);
    return a;
}

bool SimDesktop::VirtualFreeEx(Handle process, RemoteAddress address, std::uint64_t size,
                               std::uint32_t freeType) {
    SimProcess* p = ProcessWith(process, proc::kVmOperation);
    if (!p) return false;
    if (size != 0 || freeType != mem::kRelease) return Fail(err::kInvalidParameter);
    auto it = p->memory.find(address);
    if (it == p->memory.end()) return Fail(487 /* ERROR_INVALID_ADDRESS */);
    p->released[address] = it->second.size();
    p->memory.erase(it);
    return true;
}

bool SimDesktop::WasReleased(const SimProcess& p, RemoteAddress address) const {
    auto it = p.released.upper_bound(address);
    if (it == p.released.begin()) return false;
    --it;
    return address < it->first + it->second;
}

std::uint8_t* SimDesktop::MemoryAt(Pid pid, RemoteAddress address, std::uint64_t size) {
    SimProcess* p = FindProcess(pid);
    if (!p || !p->alive) return nullptr;
    auto it = p->memory.upper_bound(address);
    if (it == p->memory.begin()) return nullptr;
    --it;
    if (address < it->first || address + size > it->first + it->second.size()) return nullptr;
    return it->second.data() + (address - it->first);
}

bool SimDesktop::ReadMemory(Pid pid, RemoteAddress address, void* buffer, std::uint64_t size) {
    std::uint8_t* at = MemoryAt(pid, address, size);
    if (at) {
        std::memcpy(buffer, at, size);
        return true;
    }
    if (SimProcess* p = FindProcess(pid); p && p->alive && WasReleased(*p, address))
        releasedAccesses_.push_back({pid, address, false});
    return false;
}

bool SimDesktop::WriteMemory(Pid pid, RemoteAddress address, const void* buffer, std::uint64_t size) {
    std::uint8_t* at = MemoryAt(pid, address, size);
    if (at) {
        std::memcpy(at, buffer, size);
        return true;
    }
    if (SimProcess* p = FindProcess(pid); p && p->alive && WasReleased(*p, address))
        releasedAccesses_.push_back({pid, address, true});
    return false;
}

std::size_t SimDesktop::RemoteBlockCount(Pid pid) {
    SimProcess* p = FindProcess(pid);
    return p ? p->memory.size() : 0;
}

bool SimDesktop::ReadProcessMemory(Handle process, RemoteAddress address, void* buffer, std::uint64_t size,
                                   std::uint64_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    SimProcess* p = ProcessWith(process, proc::kVmRead);
    if (!p) return false;
    const std::uint8_t* at = MemoryAt(p->pid, address, size);
    if (!at) return Fail(299 /* ERROR_PARTIAL_COPY */);
    std::memcpy(buffer, at, size);
    if (bytesRead) *bytesRead = size;
    return true;
}

bool SimDesktop::WriteProcessMemory(Handle process, RemoteAddress address, const void* buffer,
                                    std::uint64_t size, std::uint64_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    SimProcess* p = ProcessWith(process, proc::kVmWrite | proc::kVmOperation);
    if (!p) return false;
    std::uint8_t* at = MemoryAt(p->pid, address, size);
    if (!at) return Fail(299 /* ERROR_PARTIAL_COPY */);
    std::memcpy(at, buffer, size);
    if (bytesWritten) *bytesWritten = size;
    return true;
}

bool SimDesktop::IsWow64Process(Handle process, bool* wow64) {
    SimProcess* p = ProcessWith(process, 0, proc::kQueryInformation | proc::kQueryLimitedInformation);
    if (!p) return false;
    // Only 64-bit Windows runs programs under WOW64.
    *wow64 = windows64_ && p->is32Bit;
    return true;
}

// --- Event log ------------------------------------------------------------------------

long SimDesktop::ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                             const std::string& text) {
    if (source.empty() || (type != 1 && type != 2 && type != 4)) return err::kInvalidParameter;
    eventLog_.push_back({source, type, eventId, text});
    return err::kSuccess;
}

// --- Task Scheduler -----------------------------------------------------------------

namespace {
bool RunsWithHighestPrivileges(const std::string& xml) {
    return xml.find("<RunLevel>HighestAvailable</RunLevel>") != std::string::npos;
}
}  // namespace

long SimDesktop::RegisterTask(const std::string& name, const std::string& xml) {
    if (taskFault)
        if (long hr = taskFault("register", name)) return hr;
    if (name.empty() || xml.find("<Task") == std::string::npos) return static_cast<long>(0x80041318u);  // SCHED_E_MALFORMEDXML
    // Only an administrator may register a task that runs elevated, or
    // replace one that does.
    auto it = tasks_.find(name);
    const bool elevated = IntegrityOf(ownPid_) >= proc::kIntegrityHigh;
    if (!elevated && (RunsWithHighestPrivileges(xml) || (it != tasks_.end() && RunsWithHighestPrivileges(it->second))))
        return err::kHrAccessDenied;
    tasks_[name] = xml;
    return 0;
}

long SimDesktop::GetSessionUser(std::string& domainUser) {
    if (sessionUserError) return sessionUserError;
    if (!sessionUser.empty()) {
        domainUser = sessionUser;
        return 0;
    }
    char buf[512] = {};
    const std::uint32_t n = ExpandEnvironmentStrings("%USERDOMAIN%\\%USERNAME%", buf, sizeof buf);
    // Left unset by a test: no name to give, as an unknown one reads.
    domainUser = n > 0 && n <= sizeof buf && !std::strchr(buf, '%') ? buf : "";
    return 0;
}

long SimDesktop::GetTaskXml(const std::string& name, std::string& xml) {
    xml.clear();
    if (taskFault)
        if (long hr = taskFault("get", name)) return hr;
    auto it = tasks_.find(name);
    if (it == tasks_.end()) return err::kHrFileNotFound;
    xml = it->second;
    return 0;
}

long SimDesktop::DeleteTask(const std::string& name) {
    if (taskFault)
        if (long hr = taskFault("delete", name)) return hr;
    auto it = tasks_.find(name);
    if (it == tasks_.end()) return err::kHrFileNotFound;
    if (IntegrityOf(ownPid_) < proc::kIntegrityHigh && RunsWithHighestPrivileges(it->second))
        return err::kHrAccessDenied;
    tasks_.erase(it);
    return 0;
}

}  // namespace hw::platform::sim
