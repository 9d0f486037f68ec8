#include "standin/sim/sim_host.h"

#include <cstdio>
#include <cstring>

#include "platform/records.h"

namespace hw::standin {

namespace p = platform;
using namespace platform::records;

namespace {
// Toolbar button i lies at 2 + 24 i .. 25 + 24 i across, 2 .. 24 down.
constexpr int kButtonLeft = 2, kButtonWidth = 23, kButtonStride = 24, kButtonTop = 2, kButtonBottom = 24;
}  // namespace

SimHost::SimHost(p::sim::SimDesktop& desktop, p::Pid pid, std::string script)
    : desktop_(desktop), pid_(pid), script_(std::move(script)), startMs_(desktop.NowMs()) {}

WinId SimHost::Create(const WindowSpec& spec) {
    const std::int32_t exStyle = spec.appWindow ? p::wnd::kWsExAppWindow : 0;
    const p::Hwnd parent{spec.parent};
    // The procedure looks its window up by handle, known only after creation.
    auto self = std::make_shared<WinId>(0);
    const p::Hwnd h = desktop_.CreateWindow(pid_, spec.className, spec.text, parent, exStyle,
                                            [this, self](std::uint32_t m, std::uint64_t wp, std::int64_t lp,
                                                         std::int64_t* r) { return Proc(*self, m, wp, lp, r); });
    *self = h.value();
    p::sim::SimWindow* w = desktop_.Window(h);
    w->x = spec.x;
    w->y = spec.y;
    w->width = spec.width;
    w->height = spec.height;
    w->visible = spec.visible;
    ControlState& s = state_[h.value()];
    s.kind = spec.kind;
    s.buttons = spec.buttons;
    if (spec.kind == Kind::Edit) s.live = spec.text;
    return h.value();
}

void SimHost::Destroy(WinId window) {
    desktop_.DestroyWindow(Handle(window));
    for (auto it = state_.begin(); it != state_.end();)
        it = desktop_.Window(Handle(it->first)) ? std::next(it) : state_.erase(it);
}

void SimHost::Show(WinId window, bool visible) { desktop_.ShowWindow(Handle(window), visible ? 1 : 0); }

void SimHost::SetLiveText(WinId window, const std::string& text) {
    state_[window].live = text;
    if (state_[window].kind != Kind::StatusField)
        if (p::sim::SimWindow* w = desktop_.Window(Handle(window))) w->caption = text;
}

std::string SimHost::LiveText(WinId window) {
    if (state_[window].kind == Kind::StatusField) return state_[window].live;
    p::sim::SimWindow* w = desktop_.Window(Handle(window));
    return w ? w->caption : std::string();
}

void SimHost::ListBoxAdd(WinId listBox, const std::vector<std::string>& lines) {
    auto& list = state_[listBox].lines;
    list.insert(list.end(), lines.begin(), lines.end());
}
void SimHost::ListBoxClear(WinId listBox) { state_[listBox].lines.clear(); }
int SimHost::ListBoxCount(WinId listBox) { return static_cast<int>(state_[listBox].lines.size()); }

void SimHost::ListViewSet(WinId listView, const std::vector<std::vector<std::string>>& rows) {
    state_[listView].rows = rows;
}

void SimHost::SetMenuBar(WinId form, const std::vector<Menu>& menus) {
    std::vector<p::sim::SimMenuItem> bar;
    for (const Menu& m : menus) {
        std::vector<p::sim::SimMenuItem> items;
        for (const MenuItem& i : m.items) items.push_back({i.text, i.id, 0});
        bar.push_back({m.text, 0, desktop_.CreateMenu(std::move(items))});
    }
    if (p::sim::SimWindow* w = desktop_.Window(Handle(form))) w->menu = desktop_.CreateMenu(std::move(bar));
}

void SimHost::After(std::uint32_t ms, std::function<void()> work) {
    desktop_.ScheduleAfter(ms, pid_, std::move(work));
}

std::string SimHost::ClockText() {
    const p::LocalTime t = desktop_.GetLocalTime();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %s", t.hour % 12 == 0 ? 12 : t.hour % 12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
    return buf;
}

std::string SimHost::InstallDirectory() {
    const p::sim::SimProcess* proc = desktop_.FindProcess(pid_);
    const std::string& path = proc->imagePath;
    return path.substr(0, path.find_last_of('\\') + 1);
}

bool SimHost::ListViewText(ControlState& s, std::uint64_t row, p::RemoteAddress record, std::int64_t* result) {
    const bool layout32 = desktop_.FindProcess(pid_)->is32Bit;
    std::int32_t subItem = 0, max = 0;
    p::RemoteAddress text;
    if (layout32) {
        LvItem32 r{};
        if (!desktop_.ReadMemory(pid_, record, &r, sizeof r)) return true;
        subItem = r.iSubItem;
        max = r.cchTextMax;
        text = p::RemoteAddress{r.pszText};
    } else {
        LvItem64 r{};
        if (!desktop_.ReadMemory(pid_, record, &r, sizeof r)) return true;
        subItem = r.iSubItem;
        max = r.cchTextMax;
        text = p::RemoteAddress{r.pszText};
    }
    if (max <= 0) return true;
    // As the control does: a row that is not there is not answered at all.
    if (row >= s.rows.size()) return true;
    std::string cell;
    if (subItem >= 0 && static_cast<size_t>(subItem) < s.rows[row].size())
        cell = s.rows[row][static_cast<size_t>(subItem)];
    // As the control does: at most cchTextMax - 1 characters and a zero.
    cell.resize(std::min<size_t>(cell.size(), static_cast<size_t>(max - 1)));
    if (desktop_.WriteMemory(pid_, text, cell.c_str(), cell.size() + 1)) *result = static_cast<std::int64_t>(cell.size());
    return true;
}

bool SimHost::ToolbarButton(ControlState& s, std::uint64_t index, p::RemoteAddress record, std::int64_t* result) {
    *result = 0;
    if (index >= static_cast<std::uint64_t>(s.buttons)) return true;
    const bool layout32 = desktop_.FindProcess(pid_)->is32Bit;
    const auto command = static_cast<std::int32_t>(kToolbarFirstId + index);
    bool ok;
    if (layout32) {
        TbButton32 b{};
        b.iBitmap = static_cast<std::int32_t>(index);
        b.idCommand = command;
        b.fsState = 4;  // TBSTATE_ENABLED
        ok = desktop_.WriteMemory(pid_, record, &b, sizeof b);
    } else {
        TbButton64 b{};
        b.iBitmap = static_cast<std::int32_t>(index);
        b.idCommand = command;
        b.fsState = 4;
        ok = desktop_.WriteMemory(pid_, record, &b, sizeof b);
    }
    *result = ok ? 1 : 0;
    return true;
}

bool SimHost::Proc(WinId w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam, std::int64_t* result) {
    auto it = state_.find(w);
    if (it == state_.end()) return false;
    ControlState& s = it->second;
    *result = 0;
    switch (s.kind) {
        case Kind::Form:
        case Kind::ChildForm:
        case Kind::Dialog: return FormProc(w, message, wParam, lParam);
        case Kind::Button:
        case Kind::DialogButton: return ButtonProc(w, s, message);
        case Kind::StatusField: return StatusProc(s, message, wParam, lParam, result);
        case Kind::ListBox: return ListBoxProc(s, message, wParam, lParam, result);
        case Kind::ListView:
            if (message == p::msg::kLvmGetItemCount) {
                *result = static_cast<std::int64_t>(s.rows.size());
                return true;
            }
            if (message == p::msg::kLvmGetItemTextA)
                return ListViewText(s, wParam, static_cast<p::RemoteAddress>(lParam), result);
            return false;
        case Kind::Toolbar: return ToolbarProc(w, s, message, wParam, lParam, result);
        case Kind::Edit:
            if (message == p::msg::kSetText) {
                s.live = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(lParam));
                return false;  // the caption follows, as for any window
            }
            return false;
        default:
            return false;
    }
}

bool SimHost::FormProc(WinId w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    if (message == p::msg::kClose) {
        if (events_) events_->OnClose(w);
        return true;
    }
    if (message == p::msg::kCommand && lParam == 0) {
        if (events_) events_->OnMenu(w, static_cast<std::uint32_t>(wParam & 0xFFFF));
        return true;
    }
    return false;
}

bool SimHost::ButtonProc(WinId w, ControlState& s, std::uint32_t message) {
    if (message == p::msg::kLButtonDown) {
        s.pressed = 0;
        return true;
    }
    if (message == p::msg::kLButtonUp) {
        const bool clicked = s.pressed == 0;
        s.pressed = -1;
        if (clicked && events_) events_->OnClick(w);
        return true;
    }
    return false;
}

bool SimHost::StatusProc(ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                         std::int64_t* result) {
    if (message == p::msg::kGetTextLength) {
        *result = static_cast<std::int64_t>(s.live.size());
        return true;
    }
    if (message == p::msg::kGetText) {
        if (wParam == 0) return true;
        auto* buffer = reinterpret_cast<char*>(static_cast<std::uintptr_t>(lParam));
        const size_t n = std::min<size_t>(s.live.size(), wParam - 1);
        std::memcpy(buffer, s.live.data(), n);
        buffer[n] = 0;
        *result = static_cast<std::int64_t>(n);
        return true;
    }
    return false;
}

bool SimHost::ListBoxProc(ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                          std::int64_t* result) {
    if (message == p::msg::kLbGetCount) {
        *result = static_cast<std::int64_t>(s.lines.size());
        return true;
    }
    if (message == p::msg::kLbGetTextLen || message == p::msg::kLbGetText) {
        if (wParam >= s.lines.size()) {
            *result = -1;  // LB_ERR
            return true;
        }
        const std::string& line = s.lines[wParam];
        if (message == p::msg::kLbGetText)
            std::memcpy(reinterpret_cast<char*>(static_cast<std::uintptr_t>(lParam)), line.c_str(), line.size() + 1);
        *result = static_cast<std::int64_t>(line.size());
        return true;
    }
    return false;
}

bool SimHost::ToolbarProc(WinId w, ControlState& s, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam,
                          std::int64_t* result) {
    if (message == p::msg::kTbButtonCount) {
        *result = s.buttons;
        return true;
    }
    if (message == p::msg::kTbGetButton) return ToolbarButton(s, wParam, static_cast<p::RemoteAddress>(lParam), result);
    if (message == p::msg::kTbGetRect) {
        const auto index = static_cast<std::int64_t>(wParam) - static_cast<std::int64_t>(kToolbarFirstId);
        if (index < 0 || index >= s.buttons) return true;
        Rect r{kButtonLeft + static_cast<int>(index) * kButtonStride, kButtonTop,
               kButtonLeft + static_cast<int>(index) * kButtonStride + kButtonWidth, kButtonBottom};
        *result = desktop_.WriteMemory(pid_, static_cast<p::RemoteAddress>(lParam), &r, sizeof r) ? 1 : 0;
        return true;
    }
    if (message == p::msg::kLButtonDown || message == p::msg::kLButtonUp) {
        const int x = static_cast<std::int16_t>(lParam & 0xFFFF);
        const int y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
        int hit = -1;
        for (int i = 0; i < s.buttons; ++i)
            if (x >= kButtonLeft + i * kButtonStride && x < kButtonLeft + i * kButtonStride + kButtonWidth &&
                y >= kButtonTop && y < kButtonBottom)
                hit = i;
        if (message == p::msg::kLButtonDown) {
            s.pressed = hit;
        } else {
            const bool clicked = hit >= 0 && hit == s.pressed;
            s.pressed = -1;
            if (clicked && events_) events_->OnToolbarButton(w, hit);
        }
        return true;
    }
    return false;
}

void SimStandins::Install(p::sim::SimDesktop& desktop, const std::string& path, std::string script,
                          p::sim::ProgramSpec spec) {
    script_ = std::move(script);
    spec.onStart = [this](p::sim::SimDesktop& d, p::Pid pid) {
        auto instance = std::make_unique<Instance>();
        instance->host = std::make_unique<SimHost>(d, pid, script_);
        instance->server = std::make_unique<Server>(*instance->host, ParseScript(script_));
        Instance* raw = instance.get();
        instances_.push_back(std::move(instance));
        // The program builds its first windows once it runs.
        d.ScheduleAfter(0, pid, [raw] { raw->server->Start(); });
    };
    desktop.InstallProgram(path, std::move(spec));
}

}  // namespace hw::standin
