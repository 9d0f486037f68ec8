#include "server/server_windows.h"

#include <array>

#include "automation/send.h"
#include "common/error.h"
#include "common/text.h"

namespace hw::server {

namespace p = platform;
using automation::Between;
using automation::FindAmong;
using automation::FindChild;
using automation::GetWindowTitle;

namespace {

constexpr const char* kDialogClass = "#32770";
constexpr const char* kFormClass = "ThunderRT6FormDC";
constexpr const char* kStatusCaption = "Connecting to Master Server...\r\n";
constexpr const char* kMessagePanelCaption = "KALTOR Server";

constexpr DataView kDataManager{10, "Server Data Manager"};
constexpr DataView kTransactions{2, "Review Transactions"};
constexpr DataView kMessages{4, "Review Messages"};

// By catalogue index (schedule/catalogue.cpp).
const std::array<ResetSteps, 9> kResetSteps = {{
    {.item = 0, .view = &kDataManager, .button = "&Reset Storyline"},
    {.item = 1, .view = &kDataManager, .page = "Guilds", .button = "Clear Logs", .question = "Delete Guild Logs",
     .answer = "&Yes"},
    {.item = 4, .view = &kTransactions, .button = "&Delete All Transactions", .question = "Delete File",
     .answer = "&Yes"},
    {.item = 5, .view = &kDataManager, .page = "Store && Confinement", .button = "&Reset Store",
     .question = "Reset Data", .answer = "OK", .closeViewFirst = true},
    {.item = 6, .dataFile = "KALTORServerMonsters.KLD", .deactivated = true},
    {.item = 10, .dataFile = "KALTORHallInfo.KLD"},
    {.item = 13, .view = &kDataManager, .page = "Store && Confinement", .button = "&Reset Confinement",
     .question = "Reset Data", .answer = "OK", .closeViewFirst = true},
    {.item = 14, .dataFile = "KALTORGuildMasters.KLD"},
    {.item = 15, .view = &kMessages, .button = "&Delete All Messages", .question = "Delete File", .answer = "&Yes"},
}};

}  // namespace

const ResetSteps* FindResetSteps(int item) {
    for (const ResetSteps& steps : kResetSteps)
        if (steps.item == item) return &steps;
    return nullptr;
}

bool SaysNotActive(const std::string& localStatus) { return text::ContainsNoCase(localStatus, "NOT ACTIVE"); }

Hwnd ServerWindows::ConfigurationForm() { return d_.FindWindow(kFormClass, "Server Configuration"); }

Hwnd ServerWindows::SaveButton(Hwnd form) { return d_.FindWindowEx(form, 0, "ThunderRT6CommandButton", "&Save"); }

Hwnd ServerWindows::CloseQuestion() { return d_.FindWindow(kDialogClass, "Close Server"); }

Hwnd ServerWindows::SendDialog() { return d_.FindWindow(kDialogClass, "Send Message To Player"); }

std::set<Hwnd> ServerWindows::Dialogs(const char* title) {
    std::set<Hwnd> open;
    for (Hwnd h = d_.FindWindowEx(0, 0, kDialogClass, title); h && open.insert(h).second;
         h = d_.FindWindowEx(0, h, kDialogClass, title)) {
    }
    return open;
}

Hwnd ServerWindows::MessagePanel(const std::vector<Hwnd>& windows) {
    return FindAmong(d_, windows, [&](Hwnd h) { return GetWindowTitle(d_, h) == kMessagePanelCaption; });
}

Hwnd ServerWindows::MessageList(const std::vector<Hwnd>& windows) {
    const Hwnd panel = MessagePanel(windows);
    return panel ? d_.FindWindowEx(panel, 0, "ThunderRT6ListBox", nullptr) : 0;
}

std::optional<ServerStatus> ServerWindows::ReadStatus(const std::vector<Hwnd>& windows) {
    const Hwnd caption = FindAmong(d_, windows, [&](Hwnd h) { return GetWindowTitle(d_, h) == kStatusCaption; });
    if (!caption) return std::nullopt;
    const std::vector<Hwnd> fields = automation::GetChildWindows(d_, d_.GetParent(caption));
    if (fields.size() < 2 || !fields[1])
        throw HwError(9, kAppTitle, "Subscript out of range: the server's status fields are not all there");
    ServerStatus status;
    status.master = automation::ReadControlText(d_, fields[0]);
    status.local = automation::ReadControlText(d_, fields[1]);
    return status;
}

Hwnd ServerWindows::PlayerList(const std::vector<Hwnd>& windows) {
    return FindAmong(d_, windows, [&](Hwnd h) { return automation::GetWindowClass(d_, h) == "ListViewWndClass"; });
}

std::optional<std::int64_t> ServerWindows::CountPlayers(Hwnd playerList) {
    std::int64_t count = 0;
    if (!automation::SendTimed(d_, playerList, p::msg::kLvmGetItemCount, 0, 0, &count)) return std::nullopt;
    return count;
}

std::vector<std::vector<std::string>> ServerWindows::ReadPlayers(automation::ListViewReader& reader, Hwnd playerList,
                                                                 p::Pid pid, int rows) {
    return reader.Read(playerList, pid, rows, {1, 2, 3});
}

Hwnd ServerWindows::ActivationButton(Hwnd main, bool activate) {
    const char* wanted = activate ? "Activate Server" : "Deactivate Server";
    return FindChild(d_, main, [&](Hwnd h) { return GetWindowTitle(d_, h) == wanted; }, Between::Yield);
}

Hwnd ServerWindows::SendMessageButton(const std::vector<Hwnd>& windows) {
    return FindAmong(d_, windows, [&](Hwnd h) { return GetWindowTitle(d_, h) == "&Send Message"; }, Between::Yield);
}

Hwnd ServerWindows::SendDialogOk(Hwnd dialog) {
    return FindChild(d_, dialog, [&](Hwnd h) { return GetWindowTitle(d_, h) == "OK"; }, Between::Yield);
}

Hwnd ServerWindows::SendDialogCancel(Hwnd dialog) {
    return FindChild(d_, dialog, [&](Hwnd h) { return GetWindowTitle(d_, h) == "Cancel"; }, Between::Nothing);
}

bool ServerWindows::IsTextBox(Hwnd window) { return automation::GetWindowClass(d_, window) == "Edit"; }

std::optional<double> ServerWindows::ManageCommand(Hwnd main) {
    const std::vector<std::string> commands = automation::GetMenuCommands(d_, main);
    for (const std::string& entry : commands) {
        if (const size_t at = entry.find("&Manage"); at != std::string::npos)
            return text::LeadingNumber(text::SplitAtDelimiter(entry.substr(at), "|", true));
        d_.DoEvents();
    }
    return std::nullopt;
}

bool ServerWindows::IsToolbar(Hwnd window) { return automation::GetWindowClass(d_, window) == "ToolbarWindow32"; }

bool ServerWindows::IsView(Hwnd window, const DataView& view) { return GetWindowTitle(d_, window) == view.title; }

void ServerWindows::Post(Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
    if (d_.PostMessage(window, message, wParam, lParam)) return;
    // Windows drops what a program sends to one that runs with higher
    // rights: every click would go nowhere.
    if (d_.GetLastError() == p::err::kAccessDenied)
        throw HwError(errnum::kServerElevated, kAppTitle, kServerElevatedText);
    // A window that went meanwhile: the waits that follow see it.
}

void ServerWindows::Press(Hwnd window, std::uint64_t wParam, std::int64_t lParam) {
    Post(window, p::msg::kLButtonDown, wParam, lParam);
    Post(window, p::msg::kLButtonUp, wParam, lParam);
}

}  // namespace hw::server
