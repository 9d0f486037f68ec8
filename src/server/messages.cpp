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
using automation::GetWindowTitle;

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

p::Hwnd clsHarrowatch::ServerMessageList(p::Hwnd main) {
    for (p::Hwnd h : GetChildWindows(desktop_, main)) {
        if (!h) break;
        if (GetWindowTitle(desktop_, h) == "KALTOR Server")
            return desktop_.FindWindowEx(h, 0, "ThunderRT6ListBox", nullptr);
    }
    return 0;
}

void clsHarrowatch::SendServerMessage(const std::string& pMessageText) {
    lastSendArrived_ = false;
    Operation op(*this);
    try {
        RaiseUpdateStatus(kEnableTimer, "", kFalse);
        const p::Hwnd main = ServerMainWindow();
        const std::vector<p::Hwnd> windows = GetChildWindows(desktop_, main);
        const p::Hwnd taskbar = desktop_.FindWindow("Shell_TrayWnd", "");
        {
            DrawingFrozen frozen(desktop_, taskbar);
            for (p::Hwnd h : windows) {
                if (h && GetWindowTitle(desktop_, h) == "&Send Message") {
                    Click(h);
                    break;
                }
                desktop_.DoEvents();
            }
            p::Hwnd dialog = desktop_.FindWindow("#32770", "Send Message To Player");
            if (dialog) automation::SendTimed(desktop_, dialog, p::msg::kSetRedraw, 0, 0);
            // The screen is frozen while this lasts: it is kept short.
            if (!dialog &&
                WaitForWindow([&] { return desktop_.FindWindow("#32770", "Send Message To Player"); }, dialog,
                              kSendDialogWaitMs) != Wait::Found) {
                RaiseUpdateStatus(kEnableTimer, "", kTrue);  // monitoring goes on; the next poll relaunches it
                return;
            }
            for (p::Hwnd h : GetChildWindows(desktop_, dialog)) {
                if (!h) continue;
                automation::SendTimed(desktop_, h, p::msg::kSetRedraw, 0, 0);
                if (automation::GetWindowClass(desktop_, h) == "Edit") {
                    std::string textCopy = pMessageText;
                    automation::SendTextTimed(desktop_, h, p::msg::kSetText, 0, textCopy.data(), 0);
                }
                desktop_.DoEvents();
            }
            for (p::Hwnd h : GetChildWindows(desktop_, dialog)) {
                if (h && GetWindowTitle(desktop_, h) == "OK") {
                    Click(h);
                    break;
                }
                desktop_.DoEvents();
            }
            // The server echoes the text into its list as it takes the dialog
            // down; counting before that would let the echo pass for chat.
            automation::WaitUntil(desktop_, [&] { return !desktop_.IsWindow(dialog); }, 2000, cancel_);
            Tell(supervision::EventId::MessageSent, pMessageText);
            lastSendArrived_ = true;
            const p::Hwnd list = ServerMessageList(main);
            if (mMessageLineCount != 0) {
                mMessageLineCount += 1;  // the server's own echo of the text
            } else {
                std::int64_t count = 0;
                if (list && automation::SendTimed(desktop_, list, p::msg::kLbGetCount, 0, 0, &count))
                    mMessageLineCount = static_cast<std::int32_t>(count);
            }
        }
        RaiseUpdateStatus(kEnableTimer, "", kTrue);
    } catch (...) {
        RaiseUpdateStatus(kEnableTimer, "", kTrue);
        ReportCaught(boxes_, "SendServerMessage");
    }
}

std::string clsHarrowatch::ProcessChatText() {
    Operation op(*this);
    std::string result;
    try {
        RaiseUpdateStatus(kEnableTimer, "", kFalse);
        // A server launched anew has a list of its own: its chat is read from
        // its first line, not from where the old server's list had got to.
        const p::Pid pid = RunningServerPid();
        if (pid && pid != chatFrom_) {
            if (chatFrom_) {
                mMessageLineCount = 0;
                fromFirstLine_ = true;
            }
            chatFrom_ = pid;
        }
        const p::Hwnd list = ServerMessageList(ServerMainWindow());
        if (mMessageLineCount == 0 && list && !fromFirstLine_) {
            std::int64_t count = 0;
            if (automation::SendTimed(desktop_, list, p::msg::kLbGetCount, 0, 0, &count)) mMessageLineCount = static_cast<std::int32_t>(count);
        }
        const std::vector<std::string> lines = list ? automation::GetListBoxLines(desktop_, list, mMessageLineCount)
                                                    : std::vector<std::string>{};
        std::vector<std::string> chat;
        for (const std::string& line : lines) {
            if (line.find('"') == std::string::npos) continue;
            std::string said = text::Trim(text::SplitAtDelimiter(line, "--  --", true));
            said = text::SplitAtDelimiter(said, " ", true);
            std::erase(said, '"');
            chat.push_back(said);
        }
        if (!chat.empty()) {
            result = text::Join(chat, "\r\n");
            mMessageLineCount += static_cast<std::int32_t>(lines.size());
            fromFirstLine_ = false;
        }
        RaiseUpdateStatus(kEnableTimer, "", kTrue);
        return result;
    } catch (...) {
        RaiseUpdateStatus(kEnableTimer, "", kTrue);
        ReportCaught(boxes_, "ProcessChatText");
        return {};
    }
}

}  // namespace hw::server
