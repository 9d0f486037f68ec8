#include "standin/server.h"

#include <algorithm>

namespace hw::standin {

namespace {
const char* const kDataFiles[] = {"KALTORHallInfo.KLD", "KALTORGuildMasters.KLD", "KALTORServerMonsters.KLD"};
constexpr const char* kMonstersFile = "KALTORServerMonsters.KLD";

WindowSpec Spec(Kind kind, WinId parent, const std::string& cls, const std::string& text, int x, int y, int w,
                int h) {
    WindowSpec s;
    s.kind = kind;
    s.parent = parent;
    s.className = cls;
    s.text = text;
    s.x = x;
    s.y = y;
    s.width = w;
    s.height = h;
    return s;
}
}  // namespace

Server::Server(Host& host, Script script) : host_(host), script_(std::move(script)) { host_.SetEvents(this); }

std::string Server::DataDirectory() const { return host_.InstallDirectory() + "System\\Kaltor\\"; }


WinId Server::Make(Kind kind, WinId parent, const std::string& cls, const std::string& text, int x, int y, int w,
                   int h) {
    return host_.Create(Spec(kind, parent, cls, text, x, y, w, h));
}

WinId Server::MakeButton(WinId parent, const std::string& text, int x, int y, int w) {
    return Make(Kind::Button, parent, kButtonClass, text, x, y, w, 26);
}

void Server::Start() {
    // The data files exist from the first start on.
    host_.EnsureDirectory(DataDirectory());
    for (const char* f : kDataFiles)
        if (!host_.FileExists(DataDirectory() + f)) host_.WriteFile(DataDirectory() + f, std::string("KLD data of ") + f + "\r\n");
    for (const std::string& f : script_.heldFiles) host_.HoldFile(DataDirectory() + f, true);

    WindowSpec form = Spec(Kind::Form, 0, kFormClass, "KALTOR Internet Server", 60, 40, 660, 520);
    form.appWindow = true;
    main_ = host_.Create(form);
    host_.SetMenuBar(main_, {{"&File", {{"E&xit", kExitCommand}}},
                             {"&Server", {{"&Manage", kManageCommand}, {"", 0}, {"&Statistics", 33}}},
                             {"&Help", {{"&About", 41}}}});
    status_ = Make(Kind::Frame, main_, "ThunderRT6Frame", "Status", 8, 6, 420, 78);
    masterStatus_ = Make(Kind::StatusField, status_, "ThunderRT6TextBox", kStatusCaption, 10, 20, 400, 22);
    localStatus_ = Make(Kind::StatusField, status_, "ThunderRT6TextBox", kStatusCaption, 10, 48, 400, 22);
    host_.SetLiveText(masterStatus_, "Connecting to Master Server...");
    host_.SetLiveText(localStatus_, "NOT ACTIVE");
    activate_ = MakeButton(main_, "Activate Server", 444, 10, 190);
    deactivate_ = MakeButton(main_, "Deactivate Server", 444, 40, 190);
    sendMessage_ = MakeButton(main_, "&Send Message", 444, 70, 190);
    buttonAction_[activate_] = {"activate", 0};
    buttonAction_[deactivate_] = {"deactivate", 0};
    buttonAction_[sendMessage_] = {"send", 0};

    if (script_.crashAtStart) {
        host_.After(script_.crashAtStartMs, [this] { host_.Crash(); });
        return;
    }
    if (script_.showConfig) host_.After(script_.configDelayMs, [this] { ShowConfig(); });
}

void Server::ShowConfig() {
    config_ = Make(Kind::Form, 0, kFormClass, "Server Configuration", 200, 160, 360, 200);
    Make(Kind::Frame, config_, "ThunderRT6Frame", "Server Name: Kaltor Realm", 10, 10, 330, 90);
    WinId save = MakeButton(config_, "&Save", 60, 120, 110);
    WinId cancel = MakeButton(config_, "&Cancel", 190, 120, 110);
    buttonAction_[save] = {"save", config_};
    buttonAction_[cancel] = {"save", config_};  // either way the server goes on with what it has
}

void Server::Save() {
    if (!config_) return;
    host_.Destroy(config_);
    config_ = 0;
    host_.After(script_.windowDelayMs, [this] { CompleteWindows(); });
}

void Server::CompleteWindows() {
    if (started_) return;
    started_ = true;
    WindowSpec lv = Spec(Kind::ListView, main_, "ListViewWndClass", "", 8, 92, 628, 150);
    lv.columns = {"#", "Name", "Address", "Character Name"};
    playerList_ = host_.Create(lv);
    serverFrame_ = Make(Kind::Frame, main_, "ThunderRT6Frame", "KALTOR Server", 8, 250, 628, 206);
    messageList_ = Make(Kind::ListBox, serverFrame_, "ThunderRT6ListBox", "", 10, 20, 608, 178);
    host_.SetLiveText(masterStatus_, "Connected to Master Server");
    host_.ListBoxAdd(messageList_, earlyLines_);
    earlyLines_.clear();
    AddLine("KALTOR Internet Server started.");
    SetActive(script_.activeAtStart);
    RefreshPlayers();
    // The script's clock starts now that the server runs.
    for (const ScriptEvent& e : script_.events)
        host_.After(static_cast<std::uint32_t>(e.atMs), [this, e] { Run(e); });
}

void Server::SetActive(bool active) {
    active_ = active;
    host_.HoldFile(DataDirectory() + kMonstersFile, active);
    if (started_) AddLine(active ? "Server activated." : "Server deactivated.");
    RefreshStatus();
}

void Server::RefreshStatus() {
    if (!active_) {
        host_.SetLiveText(localStatus_, "NOT ACTIVE");
        return;
    }
    host_.SetLiveText(localStatus_, "ACTIVE - " + std::to_string(players_.size()) +
                                        (players_.size() == 1 ? " player" : " players"));
}

void Server::RefreshPlayers() {
    if (!playerList_) return;
    std::vector<std::vector<std::string>> rows;
    int slot = 1;
    for (const Player& p : players_) rows.push_back({std::to_string(slot++), p.name, p.address, p.character});
    host_.ListViewSet(playerList_, rows);
    RefreshStatus();
}

void Server::Join(const Player& p) {
    players_.push_back(p);
    AddLine(p.name + " has entered the realm.");
    RefreshPlayers();
}

void Server::Leave(const std::string& name) {
    auto it = std::find_if(players_.begin(), players_.end(), [&](const Player& p) { return p.name == name; });
    if (it == players_.end()) return;
    players_.erase(it);
    AddLine(name + " has left the realm.");
    RefreshPlayers();
}

void Server::AddLine(const std::string& text) { AddLines({text}); }

void Server::AddLines(const std::vector<std::string>& texts) {
    std::vector<std::string> lines;
    lines.reserve(texts.size());
    for (const std::string& text : texts) lines.push_back(host_.ClockText() + "--  --" + text);
    if (messageList_)
        host_.ListBoxAdd(messageList_, lines);
    else
        earlyLines_.insert(earlyLines_.end(), lines.begin(), lines.end());  // shown once the list is up
}

void Server::AddChat(const std::string& speaker, const std::string& text) {
    AddLine(speaker + " \"" + text + "\"");
}

void Server::Run(const ScriptEvent& e) {
    const auto& a = e.args;
    if (e.what == "join" && !a.empty()) {
        Join({a[0], a.size() > 1 ? a[1] : "127.0.0.1", a.size() > 2 ? a[2] : a[0]});
    } else if (e.what == "leave" && !a.empty()) {
        Leave(a[0]);
    } else if (e.what == "players" && !a.empty()) {
        const int n = std::stoi(a[0]);
        for (int i = 0; i < n; ++i) {
            const std::string id = std::to_string(players_.size() + 1);
            players_.push_back({"Player" + id, "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                                "Hero" + id});
        }
        RefreshPlayers();
    } else if (e.what == "message") {
        AddLine(e.rest);
    } else if (e.what == "messages" && !a.empty()) {
        std::vector<std::string> texts(static_cast<size_t>(std::max(0, std::stoi(a[0]))));
        for (size_t i = 0; i < texts.size(); ++i) texts[i] = "Message " + std::to_string(i + 1);
        AddLines(texts);
    } else if (e.what == "chat" && a.size() >= 2) {
        AddChat(a[0], e.rest.substr(e.rest.find(' ') + 1));
    } else if (e.what == "hang" && !a.empty()) {
        host_.Hang(static_cast<std::uint32_t>(std::stoul(a[0])));
    } else if (e.what == "crash") {
        host_.Crash();
        return;
    } else if (e.what == "exit") {
        Shutdown();
        return;
    }
    if (e.everyMs) host_.After(static_cast<std::uint32_t>(e.everyMs), [this, e] { Run(e); });
}

// --- Data manager, views and dialogs ------------------------------------------------

void Server::OpenDataManager() {
    if (dataManager_ && host_.Exists(dataManager_)) return;
    dataManager_ = Make(Kind::ChildForm, main_, kFormClass, "Data Manager", 20, 20, 600, 90);
    toolbarPanel_ = Make(Kind::Panel, dataManager_, "ThunderRT6PictureBoxDC", "", 0, 0, 600, 32);
    WindowSpec tb = Spec(Kind::Toolbar, toolbarPanel_, "ToolbarWindow32", "", 0, 0, 600, 30);
    tb.buttons = 11;
    toolbar_ = host_.Create(tb);
}

void Server::OpenView(int index) {
    static const std::map<int, const char*> kViews = {
        {2, "Review Transactions"}, {4, "Review Messages"}, {10, "Server Data Manager"}};
    auto title = kViews.find(index);
    if (title == kViews.end()) return;
    if (views_.count(index) && host_.Exists(views_[index])) return;
    const WinId v = Make(Kind::ChildForm, main_, kFormClass, title->second, 40, 120, 560, 320);
    views_[index] = v;
    if (index == 2) {
        buttonAction_[MakeButton(v, "&Delete All Transactions", 10, 250, 220)] = {"delete-transactions", v};
    } else if (index == 4) {
        buttonAction_[MakeButton(v, "&Delete All Messages", 10, 250, 220)] = {"delete-messages", v};
    } else {
        const WinId store = Make(Kind::Frame, v, "ThunderRT6Frame", "Store && Confinement", 10, 10, 260, 120);
        buttonAction_[MakeButton(store, "&Reset Store", 10, 24, 200)] = {"reset-store", v};
        buttonAction_[MakeButton(store, "&Reset Confinement", 10, 60, 200)] = {"reset-confinement", v};
        const WinId guilds = Make(Kind::Frame, v, "ThunderRT6Frame", "Guilds", 280, 10, 260, 120);
        buttonAction_[MakeButton(guilds, "Clear Logs", 10, 24, 200)] = {"clear-logs", v};
        buttonAction_[MakeButton(v, "&Reset Storyline", 10, 150, 200)] = {"reset-storyline", v};
    }
    buttonAction_[MakeButton(v, "&Close", 420, 250, 110)] = {"close-view", v};
}

WinId Server::Dialog(const std::string& title, std::vector<std::string> buttons, bool withEdit) {
    if (title != "Close Server") {
        if (script_.dialogs == Script::Dialogs::None) return 0;
        if (script_.dialogs == Script::Dialogs::Empty) buttons.clear();
    }
    const WinId dialog = Make(Kind::Dialog, 0, "#32770", title, 240, 220, 320, withEdit ? 150 : 120);
    if (withEdit) {
        dialogEdit_[dialog] = Make(Kind::Edit, dialog, "Edit", "", 10, 12, 290, 24);
    }
    int x = 20;
    for (const std::string& b : buttons) {
        const WinId button = Make(Kind::DialogButton, dialog, "Button", b, x, withEdit ? 56 : 40, 90, 26);
        buttonAction_[button] = {"dialog:" + b, dialog};
        x += 100;
    }
    dialogKind_[dialog] = title;
    return dialog;
}

void Server::CloseDialog(WinId dialog) {
    for (auto it = buttonAction_.begin(); it != buttonAction_.end();)
        it = it->second.second == dialog ? buttonAction_.erase(it) : std::next(it);
    dialogKind_.erase(dialog);
    dialogEdit_.erase(dialog);
    host_.Destroy(dialog);
}

void Server::Shutdown() {
    AddLine("Server shutting down.");
    host_.Exit();
}

// --- Events -------------------------------------------------------------------------

void Server::OnClick(WinId button) {
    auto it = buttonAction_.find(button);
    if (it == buttonAction_.end()) return;
    const std::string action = it->second.first;
    const WinId owner = it->second.second;
    if (action == "save") {
        Save();
    } else if (action == "activate") {
        if (started_) SetActive(true);
    } else if (action == "deactivate") {
        if (started_) SetActive(false);
    } else if (action == "send") {
        if (started_ && !pendingSend_) pendingSend_ = Dialog("Send Message To Player", {"OK", "Cancel"}, true);
    } else if (action == "delete-transactions") {
        if (WinId dlg = Dialog("Delete File", {"&Yes", "&No"})) dialogKind_[dlg] = "Delete File:transactions";
    } else if (action == "delete-messages") {
        if (WinId dlg = Dialog("Delete File", {"&Yes", "&No"})) dialogKind_[dlg] = "Delete File:messages";
    } else if (action == "reset-store") {
        if (WinId dlg = Dialog("Reset Data", {"OK", "Cancel"})) dialogKind_[dlg] = "Reset Data:store";
    } else if (action == "reset-confinement") {
        if (WinId dlg = Dialog("Reset Data", {"OK", "Cancel"})) dialogKind_[dlg] = "Reset Data:confinement";
    } else if (action == "clear-logs") {
        Dialog("Delete Guild Logs", {"&Yes", "&No"});
    } else if (action == "reset-storyline") {
        ++effects_.storylineResets;
        AddLine("The Thandrel storyline and quest logs were reset.");
    } else if (action == "close-view") {
        OnClose(owner);
    } else if (action.rfind("dialog:", 0) == 0) {
        OnDialogAnswer(owner, action.substr(7));
    }
}

void Server::OnDialogAnswer(WinId owner, const std::string& answer) {
    const std::string kind = dialogKind_[owner];
    const bool yes = answer == "&Yes" || answer == "OK";
    if (yes && kind == "Delete File:transactions") {
        ++effects_.transactionDeletes;
        transactions_ = 0;
        AddLine("All transactions deleted.");
    } else if (yes && kind == "Delete File:messages") {
        ++effects_.messageDeletes;
        publicMessages_ = 0;
        AddLine("All public messages deleted.");
    } else if (yes && kind == "Reset Data:store") {
        ++effects_.storeResets;
        AddLine("Store inventory reset to the default goods.");
    } else if (yes && kind == "Reset Data:confinement") {
        ++effects_.confinementResets;
        AddLine("Confinement reset.");
    } else if (yes && kind == "Delete Guild Logs") {
        ++effects_.guildLogClears;
        AddLine("Guild logs cleared.");
    } else if (kind == "Send Message To Player") {
        if (yes) {
            const std::string text = host_.LiveText(dialogEdit_[owner]);
            effects_.sentMessages.push_back(text);
            AddLine("ADMIN \"" + text + "\"");
        }
        pendingSend_ = 0;
    } else if (kind == "Close Server") {
        CloseDialog(owner);
        if (yes) Shutdown();
        return;
    }
    CloseDialog(owner);
}

void Server::AskToClose() {
    const WinId dialog = Dialog("Close Server", {"&Yes", "&No"});
    if (script_.closeAnswerMs > 0)
        host_.After(script_.closeAnswerMs, [this, dialog] {
            if (dialogKind_.count(dialog)) {
                CloseDialog(dialog);
                Shutdown();
            }
        });
}

void Server::OnClose(WinId window) {
    if (window == main_) {
        switch (script_.close) {
            case Script::Close::Ignore:
                return;
            case Script::Close::Immediately:
                host_.After(100, [this] { Shutdown(); });
                return;
            case Script::Close::Dialog: {
                if (asking_) return;
                for (auto& [d, kind] : dialogKind_)
                    if (kind == "Close Server") return;
                if (script_.closeAskMs > 0) {
                    asking_ = true;
                    host_.After(script_.closeAskMs, [this] {
                        asking_ = false;
                        AskToClose();
                    });
                    return;
                }
                AskToClose();
                return;
            }
        }
    }
    if (dialogKind_.count(window)) {
        if (window == pendingSend_) pendingSend_ = 0;
        CloseDialog(window);
        return;
    }
    if (window == config_) {
        Save();
        return;
    }
    for (auto& [index, view] : views_) {
        if (view == window) {
            for (auto it = buttonAction_.begin(); it != buttonAction_.end();)
                it = it->second.second == view ? buttonAction_.erase(it) : std::next(it);
            host_.Destroy(view);
            views_.erase(index);
            return;
        }
    }
    if (window == dataManager_) {
        host_.Destroy(dataManager_);
        dataManager_ = toolbar_ = toolbarPanel_ = 0;
    }
}

void Server::OnMenu(WinId, std::uint32_t id) {
    if (id == kManageCommand && started_) OpenDataManager();
    if (id == kExitCommand) OnClose(main_);
}

void Server::OnToolbarButton(WinId, int index) { OpenView(index); }

}  // namespace hw::standin
