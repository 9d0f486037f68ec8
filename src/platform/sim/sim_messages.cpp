// Messages to simulated windows: sends that wait for the receiving
// program, user interface privilege isolation, text in the ANSI code page,
// and menus.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace hw::platform::sim {

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

// One line, two sends: its length, then its text. The time-out bounds
// both: the text waits only what the length left of it.
bool SimDesktop::ReadListBoxLine(Hwnd listBox, std::uint64_t line, std::uint32_t flags, std::uint32_t timeoutMs,
                                 std::string& text) {
    std::int64_t len = 0;
    const std::uint64_t until = nowMs_ + timeoutMs;
    if (!SendMessageTimeout(listBox, msg::kLbGetTextLen, line, 0, flags, timeoutMs, &len) || len < 0 ||
        len > (1 << 20))
        return false;
    if (nowMs_ >= until) return Fail(err::kTimeout);
    return GetListBoxText(listBox, static_cast<std::int32_t>(line), len, flags,
                          static_cast<std::uint32_t>(until - nowMs_), text);
}

// No SendMessageCallback here to ask for a run at once: one send, one length.
std::vector<std::int64_t> SimDesktop::GetListBoxTextLengths(Hwnd listBox, std::int32_t first, std::int32_t most,
                                                            std::uint32_t flags, std::uint32_t timeoutMs) {
    if (first < 0 || most < 1) return {};
    std::int64_t len = 0;
    if (!SendMessageTimeout(listBox, msg::kLbGetTextLen, static_cast<std::uint64_t>(first), 0, flags, timeoutMs,
                            &len))
        len = -1;
    return {len < 0 ? -1 : len};
}

// The list box copies the whole line, so it is taken into a buffer of the
// line's size.
bool SimDesktop::GetListBoxText(Hwnd listBox, std::int32_t line, std::int64_t length, std::uint32_t,
                                std::uint32_t timeoutMs, std::string& text) {
    if (line < 0 || length < 0 || length > (1 << 20)) return Fail(err::kInvalidParameter);
    const auto index = static_cast<std::uint64_t>(line);
    std::int64_t got = 0;
    text.assign(static_cast<size_t>(length) + 1, '\0');
    if (!SendFromOwn(listBox, msg::kLbGetText, index, AddressOf(text.data()), timeoutMs, &got, [this, listBox, index] {
            const std::int64_t n = Deliver(listBox, msg::kLbGetTextLen, index, 0);
            if (n < 0 || n > (1 << 20)) return;
            std::string scratch(static_cast<size_t>(n) + 1, '\0');
            Deliver(listBox, msg::kLbGetText, index, AddressOf(scratch.data()));
        }))
        return false;
    if (got < 0) return Fail(err::kInvalidParameter);
    text.resize(std::min<size_t>(static_cast<size_t>(got), static_cast<size_t>(length)));
    return true;
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

HMenu SimDesktop::CreateMenu(std::vector<SimMenuItem> items) {
    const HMenu h = nextMenu_;
    nextMenu_ = HMenu{nextMenu_.value() + 1};
    menus_[h] = std::move(items);
    return h;
}

std::string SimDesktop::AnsiToUtf8(const std::string& ansi) {
    // Windows-1252's 0x80-0x9F; the five it leaves undefined map to the C1
    // controls of the same number. The rest is Latin-1.
    static constexpr char16_t k80To9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(ansi.size());
    for (unsigned char c : ansi) {
        const char32_t u = c >= 0x80 && c <= 0x9F ? k80To9F[c - 0x80] : c;
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

}  // namespace hw::platform::sim
