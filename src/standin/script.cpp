#include "standin/script.h"

#include <sstream>

namespace hw::standin {

namespace {

bool ReadNumber(std::istringstream& in, std::uint64_t& value) {
    long long v = -1;
    if (!(in >> v) || v < 0) return false;
    value = static_cast<std::uint64_t>(v);
    return true;
}

bool ReadEvent(std::istringstream& in, ScriptEvent& e) {
    if (!(in >> e.what)) return false;
    std::string rest;
    std::getline(in, rest);
    const size_t b = rest.find_first_not_of(' ');
    e.rest = b == std::string::npos ? std::string() : rest.substr(b);
    std::istringstream words(e.rest);
    for (std::string w; words >> w;) e.args.push_back(w);
    static const char* kKnown[] = {"join", "leave", "players", "message", "messages",
                                   "chat", "hang",  "crash",   "exit"};
    for (const char* k : kKnown)
        if (e.what == k) return true;
    return false;
}

}  // namespace

Script ParseScript(const std::string& text) {
    Script s;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream in(line);
        std::string word;
        if (!(in >> word) || word[0] == '#') continue;
        std::uint64_t n = 0;
        bool ok = true;
        if (word == "config-delay") {
            ok = ReadNumber(in, n);
            s.configDelayMs = static_cast<std::uint32_t>(n);
        } else if (word == "no-config") {
            s.showConfig = false;
        } else if (word == "crash-at-start") {
            ok = ReadNumber(in, n);
            s.crashAtStartMs = static_cast<std::uint32_t>(n);
            s.crashAtStart = true;
        } else if (word == "window-delay") {
            ok = ReadNumber(in, n);
            s.windowDelayMs = static_cast<std::uint32_t>(n);
        } else if (word == "close-dialog") {
            ok = ReadNumber(in, n);
            s.close = Script::Close::Dialog;
            s.closeAnswerMs = static_cast<std::uint32_t>(n);
        } else if (word == "close-ask-after") {
            ok = ReadNumber(in, n);
            s.closeAskMs = static_cast<std::uint32_t>(n);
        } else if (word == "ignore-close") {
            s.close = Script::Close::Ignore;
        } else if (word == "active") {
            s.activeAtStart = true;
        } else if (word == "dialogs") {
            std::string how;
            in >> how;
            ok = how == "none" || how == "empty";
            s.dialogs = how == "none" ? Script::Dialogs::None : how == "empty" ? Script::Dialogs::Empty : s.dialogs;
        } else if (word == "hold-file") {
            std::string name;
            ok = static_cast<bool>(in >> name);
            if (ok) s.heldFiles.push_back(name);
        } else if (word == "at" || word == "every") {
            ScriptEvent e;
            ok = ReadNumber(in, e.atMs) && ReadEvent(in, e);
            if (word == "every") e.everyMs = e.atMs > 0 ? e.atMs : 1000;
            if (ok) s.events.push_back(std::move(e));
        } else {
            ok = false;
        }
        if (!ok) s.errors.push_back(line);
    }
    return s;
}

}  // namespace hw::standin
