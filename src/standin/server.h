// The stand-in game server: the windows, texts and classes the real server
// shows, and what it does when they are used. One model, two hosts.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "standin/host.h"
#include "standin/script.h"

namespace hw::standin {

inline constexpr const char* kProgramName = "KALTOR INTERNET SERVER.EXE";
inline constexpr const char* kFormClass = "ThunderRT6FormDC";
inline constexpr const char* kButtonClass = "ThunderRT6CommandButton";
inline constexpr const char* kStatusCaption = "Connecting to Master Server...\r\n";
inline constexpr std::uint32_t kManageCommand = 31;
inline constexpr std::uint32_t kExitCommand = 9;

struct Player {
    std::string name, address, character;
};

// What the resets and messages have done, for tests to check.
struct Effects {
    int storeResets = 0;
    int confinementResets = 0;
    int storylineResets = 0;
    int guildLogClears = 0;
    int transactionDeletes = 0;
    int messageDeletes = 0;
    std::vector<std::string> sentMessages;
};

class Server : public Events {
public:
    Server(Host& host, Script script);
    void Start();

    // Scriptable from tests as well.
    void Join(const Player& p);
    void Leave(const std::string& name);
    void AddLine(const std::string& text);
    void AddLines(const std::vector<std::string>& texts);  // in one go, as a busy server does
    void AddChat(const std::string& speaker, const std::string& text);

    bool Active() const { return active_; }
    // Its configuration saved and its windows complete.
    bool Started() const { return started_; }
    const Effects& effects() const { return effects_; }
    const std::vector<Player>& players() const { return players_; }
    int transactions() const { return transactions_; }
    int publicMessages() const { return publicMessages_; }
    std::string DataDirectory() const;

    WinId mainForm() const { return main_; }
    WinId configForm() const { return config_; }
    WinId messageList() const { return messageList_; }
    WinId playerList() const { return playerList_; }
    WinId localStatus() const { return localStatus_; }
    WinId masterStatus() const { return masterStatus_; }
    WinId dataManager() const { return dataManager_; }
    WinId toolbar() const { return toolbar_; }

    // Events.
    void OnClick(WinId button) override;
    void OnClose(WinId window) override;
    void OnMenu(WinId form, std::uint32_t id) override;
    void OnToolbarButton(WinId toolbar, int index) override;

private:
    WinId Make(Kind kind, WinId parent, const std::string& cls, const std::string& text, int x, int y, int w,
               int h);
    WinId MakeButton(WinId parent, const std::string& text, int x, int y, int w = 130);
    void ShowConfig();
    void Save();
    void CompleteWindows();
    void SetActive(bool active);
    void RefreshStatus();
    void RefreshPlayers();
    void Run(const ScriptEvent& e);
    void OpenDataManager();
    void OpenView(int index);
    // 0 when the script has the server show none.
    WinId Dialog(const std::string& title, std::vector<std::string> buttons, bool withEdit = false);
    void CloseDialog(WinId dialog);
    // A button of dialog `owner` pressed: what its question asked is done on a yes.
    void OnDialogAnswer(WinId owner, const std::string& answer);
    // The "Close Server" question, answered "&Yes" after the script's time.
    void AskToClose();
    void Shutdown();

    Host& host_;
    Script script_;
    bool active_ = false;
    bool started_ = false;
    bool asking_ = false;  // WM_CLOSE came; the question is on its way
    std::vector<Player> players_;
    int transactions_ = 12;
    int publicMessages_ = 30;
    Effects effects_;

    WinId main_ = 0, config_ = 0, status_ = 0, masterStatus_ = 0, localStatus_ = 0;
    WinId activate_ = 0, deactivate_ = 0, sendMessage_ = 0, serverFrame_ = 0;
    WinId messageList_ = 0, playerList_ = 0;
    WinId dataManager_ = 0, toolbarPanel_ = 0, toolbar_ = 0;
    std::map<int, WinId> views_;                 // by toolbar index
    std::map<WinId, std::pair<std::string, WinId>> buttonAction_;  // action and its dialog or view
    std::map<WinId, std::string> dialogKind_;    // open dialogs by title
    std::map<WinId, WinId> dialogEdit_;
    WinId pendingSend_ = 0;
    std::vector<std::string> earlyLines_;
};

}  // namespace hw::standin
