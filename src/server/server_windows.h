// The game server's own windows as Harrowatch knows them: the captions,
// classes and control texts it finds them by, what it reads from them, what
// it presses in them, and how each reset is carried out in them. The rest
// of Harrowatch names none of them.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "automation/remote_lists.h"
#include "automation/windows.h"
#include "platform/desktop.h"

namespace hw::server {

using platform::Hwnd;

inline constexpr const char* kServerElevatedText =
    "The server runs with higher rights than Harrowatch, so Windows does not let Harrowatch drive its "
    "windows. Start Harrowatch as administrator.";

// A view of the server's data manager, opened by a button of its toolbar.
struct DataView {
    std::int16_t button;  // the button's index on the toolbar
    const char* title;    // the view's caption
};

// How a reset item is carried out in the server: a button of a view of its
// data manager (on one of the view's pages) pressed, and the question it
// asks answered; or one of its data files deleted.
struct ResetSteps {
    int item;  // the item's index in the catalogue
    const DataView* view = nullptr;
    const char* page = nullptr;      // the page holding the button; none: the view itself
    const char* button = nullptr;
    const char* question = nullptr;  // the dialog the button asks in; none: the click does the reset
    const char* answer = nullptr;    // the dialog's button that says yes
    bool closeViewFirst = false;     // the view goes before the question is answered
    const char* dataFile = nullptr;  // deleted from the data folder instead
    bool deactivated = false;        // the server is deactivated while its file goes
};

// The steps of the catalogue's item `item`; nothing when it has no action.
const ResetSteps* FindResetSteps(int item);

// The main window's status fields; a field that did not answer in time is nothing.
struct ServerStatus {
    std::optional<std::string> master, local;
};

// Whether the local status says the operator has the server stopped.
bool SaysNotActive(const std::string& localStatus);

class ServerWindows {
public:
    explicit ServerWindows(platform::Desktop& desktop) : d_(desktop) {}

    // Top-level windows: 0 while they are not open.
    Hwnd ConfigurationForm();
    Hwnd SaveButton(Hwnd form);
    Hwnd CloseQuestion();
    Hwnd SendDialog();
    // Every open dialog titled `title`.
    std::set<Hwnd> Dialogs(const char* title);

    // In the main window, given its descendants (GetChildWindows).
    // The panel of the message list, there once the server has started.
    Hwnd MessagePanel(const std::vector<Hwnd>& windows);
    Hwnd MessageList(const std::vector<Hwnd>& windows);
    // The status fields; nothing when they are not there. Throws when only
    // some of them are.
    std::optional<ServerStatus> ReadStatus(const std::vector<Hwnd>& windows);
    Hwnd PlayerList(const std::vector<Hwnd>& windows);
    // How many players are connected; nothing when the list does not answer in time.
    std::optional<std::int64_t> CountPlayers(Hwnd playerList);
    // The first `rows` players, each as name, address and time on; as
    // ListViewReader::Read.
    std::vector<std::vector<std::string>> ReadPlayers(automation::ListViewReader& reader, Hwnd playerList,
                                                      platform::Pid pid, int rows);
    // These let Harrowatch's own messages run between looks.
    Hwnd ActivationButton(Hwnd main, bool activate);
    Hwnd SendMessageButton(const std::vector<Hwnd>& windows);

    // In the send dialog: its OK (looked for with yields between looks) and
    // its Cancel (looked for at once: the dialog is being given up).
    Hwnd SendDialogOk(Hwnd dialog);
    Hwnd SendDialogCancel(Hwnd dialog);
    bool IsTextBox(Hwnd window);

    // The data manager: the command of the main window's "&Manage" menu
    // (nothing when there is none), its toolbar, and its views.
    std::optional<double> ManageCommand(Hwnd main);
    bool IsToolbar(Hwnd window);
    bool IsView(Hwnd window, const DataView& view);

    // Posts to a window of the server; throws when Windows refuses because
    // the server runs with higher rights than Harrowatch.
    void Post(Hwnd window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
    // A click: the left button pressed, then let go.
    void Press(Hwnd window, std::uint64_t wParam = 0, std::int64_t lParam = 0);

private:
    platform::Desktop& d_;
};

}  // namespace hw::server
