// Sending the operator's text to the players, and capturing their chat.
#include "automation/remote_lists.h"
#include "automation/send.h"
#include "automation/windows.h"
#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"
#include "server/controller.h"

namespace hw::server {

namespace p = platform;
using automation::GetChildWindows;

namespace {

// Drawing of the desktop and the taskbar stays off for as long as this
// lives, and is switched on again on every way out.
class DrawingFrozen {
public:
    DrawingFrozen(p::Desktop& d, p::Hwnd taskbar) : d_(d), taskbar_(taskbar) {
        automation::SendTimed(d_, d_.GetDesktopWindow(), p::msg::kSetRedraw, 0, 0);
        automation::SendTimed(d_, taskbar_, p::msg::kSetRedraw, 0, 0);
    }
    ~DrawingFrozen() {
        automation::SendTimed(d_, d_.GetDesktopWindow(), p::msg::kSetRedraw, 1, 0);
        automation::SendTimed(d_, taskbar_, p::msg::kSetRedraw, 1, 0);
    }
    DrawingFrozen(const DrawingFrozen&) = delete;
    DrawingFrozen& operator=(const DrawingFrozen&) = delete;

private:
    p::Desktop& d_;
    p::Hwnd taskbar_;
};
}  // namespace

namespace {
// A chat line's text: after the marker, less the speaker's word and the quotes.
std::string Said(const std::string& line) {
    std::string said = text::Trim(text::SplitAtDelimiter(line, "--  --", true));
    said = text::SplitAtDelimiter(said, " ", true);
    std::erase(said, '"');
    return said;
}

// How the server's line of a sent text reads once taken apart as chat.
std::string EchoOf(const std::string& sent) {
    std::string said = sent;
    std::erase(said, '"');
    return text::Trim(said);
}

// How long the server's line of a sent text is waited for.
constexpr std::uint64_t kEchoWaitMs = 60000;
}  // namespace

void clsHarrowatch::NoteSilent(p::Pid pid, std::uint64_t from, std::uint64_t until) {
    ServerSilence& s = shared_->silence;
    // One spell with the last, unless the server answered in between.
    if (s.pid != pid || !s.until || s.answeredAt >= from || from > s.until + kSilenceForgottenMs) s.from = from;
    s.pid = pid;
    s.until = std::max(s.until, until);
}

void clsHarrowatch::NoteAnswered(p::Pid pid) {
    ServerSilence& s = shared_->silence;
    s.pid = pid;
    s.from = s.until = 0;
    s.answeredAt = desktop_.TickCount();
}

bool clsHarrowatch::TakeEcho(const std::string& said, std::int32_t index) {
    const std::uint64_t now = desktop_.TickCount();
    SentTexts& echoes = shared_->echoes;
    std::erase_if(echoes, [&](const PendingEcho& e) { return now - e.at > kEchoWaitMs; });
    const std::string trimmed = text::Trim(said);
    for (auto it = echoes.begin(); it != echoes.end(); ++it) {
        if (it->pid == chatFrom_ && index >= it->from && it->said == trimmed) {
            echoes.erase(it);
            return true;
        }
    }
    return false;
}

namespace {
// Each send to the server may wait its whole time-out on a slow one: the
// operator's input is let through after every send, never held for a
// chain of them.
bool SendThenYield(p::Desktop& d, p::Hwnd h, std::uint32_t message, std::int64_t* result = nullptr) {
    const bool answered = automation::SendTimed(d, h, message, 0, 0, result);
    d.DoEvents();
    return answered;
}
}  // namespace

void clsHarrowatch::SendFailed(const std::string& text, const std::string& why) {
    lastSendFailure_ = why;
    Tell(supervision::EventId::MessageNotSent, "\"" + text + "\": " + why);
}

p::Hwnd clsHarrowatch::OpenSendDialog(const std::string& text, p::Pid sentTo, p::Hwnd main,
                                      const std::vector<p::Hwnd>& windows) {
    std::uint64_t clickedAt = desktop_.TickCount();
    if (const p::Hwnd button = windows_.SendMessageButton(windows)) {
        clickedAt = desktop_.TickCount();
        windows_.Press(button);
    }
    p::Hwnd dialog = windows_.SendDialog();
    if (dialog) {
        SendThenYield(desktop_, dialog, p::msg::kSetRedraw);
        return dialog;
    }
    // The screen is frozen while this lasts: it is kept short.
    const Wait waited = WaitForWindow([&] { return windows_.SendDialog(); }, dialog, kSendDialogWaitMs);
    // A server that took no click all that while, and answers nothing now,
    // was silent: the main window's hang watch hears of it. One that
    // answers only lacks the dialog.
    if (waited == Wait::TimedOut) {
        if (main && !automation::SendTimed(desktop_, main, p::msg::kNull, 0, 0))
            NoteSilent(sentTo, clickedAt, desktop_.TickCount());
        else
            NoteAnswered(sentTo);
    }
    if (waited == Wait::Found) {
        NoteAnswered(sentTo);
        return dialog;
    }
    // Monitoring goes on; the next poll relaunches a server that ended.
    SendFailed(text, waited == Wait::ServerGone ? "the server ended" : "the server's send dialog did not open");
    return 0;
}

bool clsHarrowatch::FillSendDialog(const std::string& text, p::Hwnd dialog) {
    int edits = 0;
    bool textSet = true;
    for (p::Hwnd h : GetChildWindows(desktop_, dialog)) {
        if (!h) continue;
        SendThenYield(desktop_, h, p::msg::kSetRedraw);
        if (windows_.IsTextBox(h)) {
            ++edits;
            std::string textCopy = text;
            if (!automation::SendTextTimed(desktop_, h, p::msg::kSetText, 0, textCopy.data(), 0)) textSet = false;
            desktop_.DoEvents();
        }
    }
    return edits > 0 && textSet;
}

void clsHarrowatch::SendServerMessage(const std::string& pMessageText) {
    lastSendArrived_ = false;
    lastSendFailure_.clear();
    const auto send = [&](PollTimer& timer) {
        timer.Off();
        const p::Pid sentTo = RunningServerPid();
        const p::Hwnd main = sentTo ? automation::GetProcessMainWindow(desktop_, sentTo) : 0;
        const std::vector<p::Hwnd> windows = GetChildWindows(desktop_, main);
        DrawingFrozen frozen(desktop_, desktop_.FindWindow("Shell_TrayWnd", ""));
        const p::Hwnd dialog = OpenSendDialog(pMessageText, sentTo, main, windows);
        if (!dialog) return;
        // A dialog left without the text, or without its OK, is cancelled.
        const auto cancel = [&](const std::string& why) {
            SendFailed(pMessageText, why);
            if (const p::Hwnd b = windows_.SendDialogCancel(dialog))
                windows_.Press(b);
        };
        if (!FillSendDialog(pMessageText, dialog))
            return cancel("the text could not be set in the server's send dialog");
        const p::Hwnd list = windows_.MessageList(GetChildWindows(desktop_, main));
        std::int64_t before = 0;
        const bool counted = list && SendThenYield(desktop_, list, p::msg::kLbGetCount, &before);
        if (counted && !countTaken_) {
            // A fresh controller reads on from here, as its first read would.
            mMessageLineCount = static_cast<std::int32_t>(before);
            countTaken_ = true;
        }
        const p::Hwnd ok = windows_.SendDialogOk(dialog);
        if (!ok) return cancel("the server's send dialog has no OK button");
        windows_.Press(ok);
        // The server adds its own line of the text as it takes the dialog
        // down; that line is not a player's.
        shared_->echoes.push_back({EchoOf(pMessageText), sentTo,
                                   counted ? static_cast<std::int32_t>(before) : mMessageLineCount,
                                   desktop_.TickCount()});
        automation::WaitUntil(desktop_, [&] { return !desktop_.IsWindow(dialog); }, 2000, cancel_);
        if (desktop_.IsWindow(dialog)) return SendFailed(pMessageText, "the server's send dialog is still open after OK");
        Tell(supervision::EventId::MessageSent, pMessageText);
        lastSendArrived_ = true;
    };
    RunOperation("SendServerMessage", send, [&](PollTimer&) {
        if (lastSendFailure_.empty()) SendFailed(pMessageText, "an error came up");
    });
}

std::string clsHarrowatch::ProcessChatText() {
    // Read every 120 ms: a server that hangs or slows part-way through the
    // read leaves the rest of it for the next tick.
    automation::LoopHold hold(desktop_, automation::kMostHoldMs);
    return RunOperation("ProcessChatText", [&](PollTimer& timer) {
        timer.Off();
        // The list found last time serves while it is still the window of
        // the same server: the chat window reads every 120 ms, and looking
        // the server up among every process and window costs more than the
        // reading.
        p::Pid owner = 0;
        p::Hwnd list = 0;
        if (chatList_ && desktop_.IsWindow(chatList_) && desktop_.GetWindowThreadProcessId(chatList_, &owner) &&
            owner == chatFrom_) {
            list = chatList_;
        } else {
            // A server launched anew has a list of its own: its chat is read from
            // its first line, not from where the old server's list had got to.
            const p::Pid pid = RunningServerPid();
            if (pid && pid != chatFrom_) {
                if (chatFrom_) {
                    mMessageLineCount = 0;
                    countTaken_ = true;
                }
                chatFrom_ = pid;
            }
            list = chatList_ = windows_.MessageList(GetChildWindows(desktop_, ServerMainWindow()));
        }
        if (!countTaken_ && list) {
            std::int64_t count = 0;
            if (automation::SendTimed(desktop_, list, p::msg::kLbGetCount, 0, 0, &count)) {
                mMessageLineCount = static_cast<std::int32_t>(count);
                countTaken_ = true;
            }
        }
        const std::int32_t first = mMessageLineCount;
        const std::vector<std::string> lines =
            list && countTaken_ ? automation::GetListBoxLines(desktop_, list, first) : std::vector<std::string>{};
        // Every line read is consumed, chat or not: none is read twice.
        mMessageLineCount += static_cast<std::int32_t>(lines.size());
        std::vector<std::string> chat;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find('"') == std::string::npos) continue;
            std::string said = Said(lines[i]);
            if (TakeEcho(said, first + static_cast<std::int32_t>(i))) continue;
            chat.push_back(std::move(said));
        }
        return text::Join(chat, "\r\n");
    });
}

}  // namespace hw::server
