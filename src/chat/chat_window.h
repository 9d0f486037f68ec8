// frmMessage, "Enter Message Text...": the operator's chat with the players.
// It has a controller of its own and polls it for new chat every 120 ms.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "automation/wait.h"
#include "platform/desktop.h"
#include "server/controller.h"
#include "ui/controls.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace hw::chat {

inline constexpr const char* kChatTitle = "Enter Message Text...";
inline constexpr const char* kEchoPrefix = "Server Admin -- ";
inline constexpr const char* kNotSentPrefix = "NOT SENT -- ";
inline constexpr std::uint32_t kChatPollMs = 120;
inline constexpr std::size_t kTranscriptLines = 5000;
inline constexpr int kChatWidth = 5700, kChatHeight = 4200;  // twips

class frmMessage {
public:
    // mainTimer: the main window's poll timer, which this window's controller
    // switches along with its own. app ends the program when loading fails.
    frmMessage(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::Timer& mainTimer, ui::Application& app,
               const ui::Screen& screen, const automation::CancelSignal* cancel);
    ~frmMessage();

    void Form_Load();
    void Form_Unload();
    void Harrowatch_UpdateStatus(const std::string& pStatusType, const std::string& pStatusMessage,
                                 std::int32_t pStatusValue);
    void RefreshTimer_Timer();
    void btnSendMessage_Click();
    void txtMessageText_KeyPress(std::int16_t& keyAscii);
    // The operator closed the window: it unloads now, or once a send that is
    // waiting for the server has ended.
    void RequestClose();

    ui::Window window{kChatWidth, kChatHeight};
    ui::TextBox txtChat;
    ui::TextBox txtMessageText;
    ui::Timer RefreshTimer;
    std::unique_ptr<server::clsHarrowatch> Harrowatch;

    // Where the window's controller tells what it does; set before loading.
    supervision::Events* events = nullptr;
    // The main window's controller, whose sends (the warnings to the
    // players) are no chat either; none: only this window's own.
    const server::clsHarrowatch* sendsAlso = nullptr;

    bool Busy() const { return Harrowatch && Harrowatch->Busy(); }
    bool Closed() const { return closed_; }
    // Raised once the window has unloaded; the binding destroys its window.
    std::function<void()> onClose;

private:
    void Append(const std::string& text);
    void CloseIfAsked();

    platform::Desktop& desktop_;
    ui::MessageBoxHost& boxes_;
    ui::Timer& mainTimer_;
    ui::Application& app_;
    const ui::Screen& screen_;
    const automation::CancelSignal* cancel_;
    std::deque<std::string> lines_;  // the transcript, most recent last
    int subscription_ = 0;
    bool sending_ = false;  // a send is waiting for the server
    bool closeAsked_ = false;
    bool closed_ = false;
};

}  // namespace hw::chat
