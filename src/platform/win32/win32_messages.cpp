// Messages to windows through user32, the list box reads, menus, and text
// in the ANSI code page.
#include <windows.h>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_handles.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace hw::platform::win32 {

namespace {

// Under Wine, text messages that need converting between ANSI and UTF-16
// (WM_GETTEXT, WM_GETTEXTLENGTH, WM_SETTEXT, LB_GETTEXT, LB_GETTEXTLEN) wait
// for a hung receiver however short the time-out. A WM_NULL first, which
// keeps its time-out, tells a hung program from a live one.
bool IsTextMessage(UINT message) {
    return message == WM_GETTEXT || message == WM_GETTEXTLENGTH || message == WM_SETTEXT ||
           message == LB_GETTEXT || message == LB_GETTEXTLEN;
}

bool Answers(::HWND h, UINT flags, UINT timeoutMs) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == ::GetCurrentProcessId()) return ::IsWindow(h) != FALSE;
    DWORD_PTR r = 0;
    return ::SendMessageTimeoutA(h, WM_NULL, 0, 0, flags, timeoutMs, &r) != 0;
}

// A line's text in UTF-16 into `wide`, sized by its length (with room to
// spare), then converted.
bool ReadListBoxText(::HWND h, WPARAM line, DWORD_PTR len, UINT flags, UINT timeoutMs, std::wstring& wide,
                     std::string& ansi) {
    if (len > (1u << 20)) return false;
    if (wide.size() < len + 64) wide.resize(len + 64);
    DWORD_PTR r = 0;
    if (!::SendMessageTimeoutW(h, LB_GETTEXT, line, reinterpret_cast<LPARAM>(wide.data()), flags, timeoutMs, &r))
        return false;
    if (static_cast<LONG_PTR>(r) < 0) return false;
    const int n = static_cast<int>(std::min<DWORD_PTR>(r, wide.size() - 1));
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    ansi.assign(static_cast<size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), n, ansi.data(), bytes, nullptr, nullptr);
    return true;
}

// One line of a list box, possibly of another process: two sends. Under Wine
// it answers the ANSI request in UTF-16, and Windows copies back as much as
// the line holds, so it is asked in UTF-16 into a buffer sized by the line
// (`wide`, kept from line to line), then converted to the ANSI code page.
bool ReadListBoxLine(::HWND h, WPARAM line, UINT flags, UINT timeoutMs, std::wstring& wide, std::string& ansi) {
    DWORD_PTR len = 0;
    if (!::SendMessageTimeoutW(h, LB_GETTEXTLEN, line, 0, flags, timeoutMs, &len)) return false;
    if (static_cast<LONG_PTR>(len) < 0) return false;  // LB_ERR: no such line
    return ReadListBoxText(h, line, len, flags, timeoutMs, wide, ansi);
}

// The lengths of a run of list box lines, asked for all at once with
// SendMessageCallback (allowed across processes: LB_GETTEXTLEN carries no
// pointer) and answered while this thread waits for them: the other program
// answers them back to back, where one send at a time would wait for each.
// Answers to a run given up on arrive later and are dropped by their stamp.
class LengthRun {
public:
    static constexpr std::int32_t kMost = 64;

    LengthRun() : stamp_(++lastStamp_ & kStampMask) { active_.push_back(this); }
    LengthRun(const LengthRun&) = delete;
    LengthRun& operator=(const LengthRun&) = delete;
    ~LengthRun() { std::erase(active_, this); }

    // Asks for lines first..first+n-1, once; answers how many were asked for.
    std::int32_t Ask(::HWND h, std::int32_t first, std::int32_t n) {
        lengths_.assign(static_cast<size_t>(n), kUnanswered);
        answered_ = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            const auto cookie = static_cast<ULONG_PTR>(stamp_ << kIndexBits | static_cast<std::uint32_t>(i));
            if (!::SendMessageCallbackW(h, LB_GETTEXTLEN, static_cast<WPARAM>(first + i), 0, &Answered, cookie)) {
                lengths_.resize(static_cast<size_t>(i));
                break;
            }
        }
        return static_cast<std::int32_t>(lengths_.size());
    }
    // Lets the answers in until all have come or the time-out has passed.
    // Only sent messages and callbacks are handled meanwhile, as while a
    // SendMessageTimeout waits; the queue's posted messages stay.
    void Wait(UINT timeoutMs) {
        const ULONGLONG end = ::GetTickCount64() + timeoutMs;
        MSG m;
        for (;;) {
            ::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            const ULONGLONG now = ::GetTickCount64();
            if (answered_ >= lengths_.size() || now >= end) break;
            ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_SENDMESSAGE, 0);
        }
    }
    // A line's length; false when it was not answered or there is no such line.
    bool Length(std::int32_t i, DWORD_PTR& length) const {
        if (i < 0 || static_cast<size_t>(i) >= lengths_.size()) return false;
        const LRESULT r = lengths_[static_cast<size_t>(i)];
        if (r == kUnanswered || r < 0) return false;
        length = static_cast<DWORD_PTR>(r);
        return true;
    }

private:
    static constexpr LRESULT kUnanswered = LB_ERR - 1;
    // A cookie is 32 bits in a 32-bit build: the run's stamp, then the line.
    static constexpr unsigned kIndexBits = 8;
    static constexpr std::uint32_t kStampMask = 0xFFFFFFu;
    static_assert(kMost <= 1 << kIndexBits);
    // Runs may nest (a sent message handled while one waits may start
    // another read): each answer goes to the run that bears its stamp.
    static void CALLBACK Answered(::HWND, UINT, ULONG_PTR cookie, LRESULT result) {
        const auto i = static_cast<size_t>(cookie & ((1u << kIndexBits) - 1));
        for (LengthRun* run : active_) {
            if ((cookie >> kIndexBits & kStampMask) != run->stamp_ || i >= run->lengths_.size()) continue;
            if (run->lengths_[i] == kUnanswered) ++run->answered_;
            run->lengths_[i] = result;
        }
    }

    static thread_local std::vector<LengthRun*> active_;
    static thread_local std::uint32_t lastStamp_;
    const std::uint32_t stamp_;
    std::vector<LRESULT> lengths_;
    size_t answered_ = 0;
};
thread_local std::vector<LengthRun*> LengthRun::active_;
thread_local std::uint32_t LengthRun::lastStamp_ = 0;

}  // namespace

bool Win32Desktop::PostMessage(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                               std::int64_t lParam) {
    return ::PostMessageA(ToHwnd(window), message, static_cast<WPARAM>(wParam),
                          static_cast<LPARAM>(lParam)) != FALSE;
}

bool Win32Desktop::SendMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                      std::int64_t lParam, std::uint32_t flags,
                                      std::uint32_t timeoutMs, std::int64_t* result) {
    DWORD_PTR r = 0;
    if (result) *result = 0;
    if (IsTextMessage(message) && !Answers(ToHwnd(window), flags, timeoutMs)) return false;
    LRESULT ok = ::SendMessageTimeoutA(ToHwnd(window), message, static_cast<WPARAM>(wParam),
                                       static_cast<LPARAM>(lParam), flags, timeoutMs, &r);
    if (result) *result = ok ? static_cast<std::int64_t>(static_cast<LONG_PTR>(r)) : 0;
    return ok != 0;
}

bool Win32Desktop::SendTextMessageTimeout(Hwnd window, std::uint32_t message, std::uint64_t wParam,
                                          char* buffer, std::uint32_t bufferSize,
                                          std::uint32_t flags, std::uint32_t timeoutMs,
                                          std::int64_t* result) {
    if (result) *result = 0;
    const ::HWND h = ToHwnd(window);
    DWORD_PTR r = 0;
    if (!Answers(h, flags, timeoutMs)) return false;
    if (message == WM_SETTEXT) {
        bool ok = ::SendMessageTimeoutA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(buffer), flags,
                                        timeoutMs, &r) != 0;
        if (result) *result = static_cast<std::int64_t>(r);
        return ok;
    }
    if (bufferSize == 0) return false;
    buffer[0] = 0;
    if (message == WM_GETTEXT) {
        if (!::SendMessageTimeoutA(h, WM_GETTEXT, bufferSize, reinterpret_cast<LPARAM>(buffer), flags,
                                   timeoutMs, &r))
            return false;
        buffer[bufferSize - 1] = 0;
        if (result) *result = static_cast<std::int64_t>(std::min<DWORD_PTR>(r, bufferSize - 1));
        return true;
    }
    if (message != LB_GETTEXT) return false;
    std::wstring wide;
    std::string ansi;
    if (!ReadListBoxLine(h, static_cast<WPARAM>(wParam), flags, timeoutMs, wide, ansi)) return false;
    const size_t copy = std::min<size_t>(ansi.size(), bufferSize - 1);
    std::memcpy(buffer, ansi.data(), copy);
    buffer[copy] = 0;
    if (result) *result = static_cast<std::int64_t>(copy);
    return true;
}

std::vector<std::int64_t> Win32Desktop::GetListBoxTextLengths(Hwnd listBox, std::int32_t first, std::int32_t most,
                                                              std::uint32_t, std::uint32_t timeoutMs) {
    std::vector<std::int64_t> lengths;
    if (first < 0 || most < 1) return lengths;
    const std::int32_t n = std::min(most, LengthRun::kMost);
    LengthRun run;
    run.Ask(ToHwnd(listBox), first, n);
    run.Wait(timeoutMs);
    // A line not asked for (the asking failed part-way) is one not answered.
    for (std::int32_t i = 0; i < n; ++i) {
        DWORD_PTR length = 0;
        lengths.push_back(run.Length(i, length) ? static_cast<std::int64_t>(length) : -1);
    }
    return lengths;
}

bool Win32Desktop::GetListBoxText(Hwnd listBox, std::int32_t line, std::int64_t length, std::uint32_t flags,
                                  std::uint32_t timeoutMs, std::string& text) {
    if (line < 0 || length < 0) return false;
    std::wstring wide;
    return ReadListBoxText(ToHwnd(listBox), static_cast<WPARAM>(line), static_cast<DWORD_PTR>(length), flags,
                           timeoutMs, wide, text);
}

std::uint32_t Win32Desktop::RegisterWindowMessage(const std::string& name) {
    return ::RegisterWindowMessageA(name.c_str());
}

bool Win32Desktop::ChangeWindowMessageFilterEx(Hwnd window, std::uint32_t message, std::uint32_t action) {
    return ::ChangeWindowMessageFilterEx(ToHwnd(window), message, action, nullptr) != FALSE;
}

HMenu Win32Desktop::GetMenu(Hwnd window) {
    return FromHmenu(::GetMenu(ToHwnd(window)));
}
HMenu Win32Desktop::GetSubMenu(HMenu menu, int position) {
    return FromHmenu(::GetSubMenu(ToHmenu(menu), position));
}
int Win32Desktop::GetMenuItemCount(HMenu menu) { return ::GetMenuItemCount(ToHmenu(menu)); }
std::uint32_t Win32Desktop::GetMenuItemID(HMenu menu, int position) {
    return ::GetMenuItemID(ToHmenu(menu), position);
}
int Win32Desktop::GetMenuString(HMenu menu, std::uint32_t item, char* buffer, int size,
                                std::uint32_t flags) {
    if (size <= 0) return 0;
    buffer[0] = 0;
    return ::GetMenuStringA(ToHmenu(menu), item, buffer, size, flags);
}

std::string Win32Desktop::AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n = static_cast<int>(ansi.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring w(static_cast<size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, w.data(), wide);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace hw::platform::win32
