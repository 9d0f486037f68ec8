// What the stand-in game server needs from the world it runs in: windows of
// the kinds the real server has, timers, files and its own fate. Hosted in
// the simulated desktop and as a real Windows program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hw::standin {

using WinId = std::uint64_t;  // the host's handle of a window

enum class Kind {
    Form,          // a top-level form (class "ThunderRT6FormDC")
    ChildForm,     // a form inside the main window: the data manager and its views
    Frame,         // a captioned container ("ThunderRT6Frame", pages)
    Panel,         // a plain container (the toolbar's holder)
    Button,        // "ThunderRT6CommandButton"
    StatusField,   // keeps its creation caption; answers WM_GETTEXT with its live text
    ListBox,       // "ThunderRT6ListBox"
    ListView,      // a report list view of class "ListViewWndClass"
    Toolbar,       // "ToolbarWindow32"
    Dialog,        // a "#32770" dialog
    DialogButton,  // "Button" in a dialog
    Edit,          // "Edit" in a dialog
};

struct WindowSpec {
    Kind kind = Kind::Form;
    WinId parent = 0;  // 0: top-level
    std::string className;
    std::string text;  // the creation caption
    int x = 0, y = 0, width = 100, height = 24;
    bool appWindow = false;
    bool visible = true;
    std::vector<std::string> columns;  // a list view's headers
    int buttons = 0;                   // a toolbar's button count
};

struct MenuItem {
    std::string text;
    std::uint32_t id = 0;  // 0: separator
};
struct Menu {
    std::string text;
    std::vector<MenuItem> items;
};

// Toolbar buttons have the command ids kToolbarFirstId + index.
inline constexpr std::uint32_t kToolbarFirstId = 1000;

// What the host tells the server.
class Events {
public:
    virtual ~Events() = default;
    virtual void OnClick(WinId button) = 0;
    virtual void OnClose(WinId window) = 0;  // WM_CLOSE on a form or dialog
    virtual void OnMenu(WinId form, std::uint32_t id) = 0;
    virtual void OnToolbarButton(WinId toolbar, int index) = 0;
};

class Host {
public:
    virtual ~Host() = default;
    virtual void SetEvents(Events* events) = 0;
    virtual WinId Create(const WindowSpec& spec) = 0;
    virtual void Destroy(WinId window) = 0;
    virtual bool Exists(WinId window) = 0;
    virtual void Show(WinId window, bool visible) = 0;
    // The text a status field answers, or an edit's text.
    virtual void SetLiveText(WinId window, const std::string& text) = 0;
    virtual std::string LiveText(WinId window) = 0;
    // Lines added in one go, the list then scrolled to the last.
    virtual void ListBoxAdd(WinId listBox, const std::vector<std::string>& lines) = 0;
    virtual void ListBoxClear(WinId listBox) = 0;
    virtual int ListBoxCount(WinId listBox) = 0;
    virtual void ListViewSet(WinId listView, const std::vector<std::vector<std::string>>& rows) = 0;
    virtual void SetMenuBar(WinId form, const std::vector<Menu>& menus) = 0;

    virtual void After(std::uint32_t ms, std::function<void()> work) = 0;
    virtual std::uint64_t NowMs() = 0;       // since the server started
    virtual std::string ClockText() = 0;     // "hh:mm:ss AM", for message lines
    virtual void Hang(std::uint32_t ms) = 0; // stop answering messages for a while
    virtual void Crash() = 0;                // end at once, without cleaning up
    virtual void Exit() = 0;                 // end normally

    virtual std::string InstallDirectory() = 0;  // ends with a backslash
    virtual void EnsureDirectory(const std::string& path) = 0;
    virtual void WriteFile(const std::string& path, const std::string& content) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    virtual void HoldFile(const std::string& path, bool hold) = 0;
    virtual std::string ReadScript() = 0;  // the script, or empty
};

}  // namespace hw::standin
