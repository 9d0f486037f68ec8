#include "chat/chat_window.h"

#include "common/error.h"
#include "ui/report.h"
#include "common/text.h"
#include "settings/settings.h"

namespace hw::chat {

namespace {
bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }
}  // namespace

frmMessage::frmMessage(platform::Desktop& desktop, ui::MessageBoxHost& boxes, ui::Timer& mainTimer,
                       ui::Application& app, const ui::Screen& screen, const automation::CancelSignal* cancel)
    : RefreshTimer(desktop), desktop_(desktop), boxes_(boxes), mainTimer_(mainTimer), app_(app), screen_(screen),
      cancel_(cancel) {
    RefreshTimer.SetInterval(kChatPollMs);
    RefreshTimer.onTick = [this] { RefreshTimer_Timer(); };
}

frmMessage::~frmMessage() {
    if (Harrowatch) Harrowatch->UnsubscribeUpdateStatus(subscription_);
}

void frmMessage::Harrowatch_UpdateStatus(const std::string& pStatusType, const std::string&,
                                         std::int32_t pStatusValue) {
    if (pStatusType != server::kEnableTimer) return;
    // The main poll keeps its countdown: switched off and on again around
    // every 120 ms tick, it would otherwise never come round while the chat
    // window is open.
    mainTimer_.Hold(pStatusValue != 0);
    RefreshTimer.SetEnabled(pStatusValue != 0);
}

void frmMessage::Form_Load() {
    try {
        Harrowatch_UpdateStatus(server::kEnableTimer, "", server::kFalse);
        Harrowatch = std::make_unique<server::clsHarrowatch>(desktop_, boxes_, cancel_);
        Harrowatch->events = events;
        Harrowatch->supervises = false;
        if (sendsAlso) Harrowatch->ShareSentTexts(*sendsAlso);
        subscription_ = Harrowatch->SubscribeUpdateStatus(
            [this](const std::string& t, const std::string& m, std::int32_t v) { Harrowatch_UpdateStatus(t, m, v); });
        // A fresh controller only notes how long the server's list is: the
        // transcript starts empty.
        txtChat.SetText(Harrowatch->ProcessChatText());
        const int left = settings::ReadEdge(desktop_, settings::kChatLeft);
        const int top = settings::ReadEdge(desktop_, settings::kChatTop);
        const ui::Rect placed =
            ui::PlaceOnScreen({left, top, left + window.Width(), top + window.Height()}, screen_);
        window.Move(placed.left, placed.top);
        Harrowatch_UpdateStatus(server::kEnableTimer, "", server::kTrue);
    } catch (...) {
        ReportCaught(boxes_, "Form_Load", Report::WaitForOk);
        app_.End();
    }
}

void frmMessage::Form_Unload() {
    try {
        Harrowatch_UpdateStatus(server::kEnableTimer, "", server::kFalse);
        settings::WriteSetting(desktop_, settings::kChatLeft, std::to_string(window.Left()));
        settings::WriteSetting(desktop_, settings::kChatTop, std::to_string(window.Top()));
        Harrowatch_UpdateStatus(server::kEnableTimer, "", server::kTrue);
    } catch (...) {
        ReportCaught(boxes_, "Form_Unload");
    }
    // The main window's poll must not stay held off because this one
    // closed, whatever way out the save took.
    mainTimer_.Hold(true);
    RefreshTimer.SetEnabled(false);
    if (Harrowatch) Harrowatch->UnsubscribeUpdateStatus(subscription_);
    Harrowatch.reset();
    closed_ = true;
    if (onClose) onClose();
}

void frmMessage::RequestClose() {
    closeAsked_ = true;
    CloseIfAsked();
}

void frmMessage::CloseIfAsked() {
    if (closeAsked_ && !closed_ && !Busy()) Form_Unload();
}

void frmMessage::Append(const std::string& text) {
    for (const std::string& line : text::Split(text, "\r\n")) lines_.push_back(line);
    while (lines_.size() > kTranscriptLines) lines_.pop_front();
    txtChat.SetText(text::Join({lines_.begin(), lines_.end()}, "\r\n"));
    txtChat.SetSelStart(static_cast<int>(txtChat.Text().size()));
}

void frmMessage::RefreshTimer_Timer() {
    if (!Harrowatch || closed_) return;
    const std::string t = Harrowatch->ProcessChatText();
    if (Blank(t)) return;
    if (Blank(txtChat.Text())) lines_.clear();
    Append(t);
    CloseIfAsked();
}

void frmMessage::btnSendMessage_Click() {
    // A second click, or Enter, while a send waits for the server is refused:
    // the text is sent once.
    if (!Harrowatch || closed_ || sending_) return;
    txtMessageText.SetFocus();
    std::string s;
    for (char c : txtMessageText.Text())
        if (c != '\r' && c != '\n') s += c;
    if (Blank(s)) return;
    if (Blank(txtChat.Text())) lines_.clear();
    Append(kEchoPrefix + s);
    const std::string message = txtMessageText.Text();
    sending_ = true;
    try {
        Harrowatch->SendServerMessage(message);
    } catch (...) {
        Harrowatch_UpdateStatus(server::kEnableTimer, "", server::kTrue);
        ReportCaught(boxes_, "btnSendMessage_Click");
    }
    sending_ = false;
    if (Harrowatch && !Harrowatch->LastSendArrived()) {
        const std::string& why = Harrowatch->LastSendFailure();
        Append(std::string(kNotSentPrefix) + (why.empty() ? "the server did not take it" : why));
    }
    // What the operator typed while it was sent stays for the next send.
    if (txtMessageText.Text() == message) txtMessageText.SetText("");
    CloseIfAsked();
}

void frmMessage::txtMessageText_KeyPress(std::int16_t& keyAscii) {
    if (keyAscii != 13) return;
    // Enter in a blank box is a line break, left to the box.
    if (Blank(txtMessageText.Text()) && !sending_) return;
    keyAscii = 0;
    btnSendMessage_Click();
}

}  // namespace hw::chat
