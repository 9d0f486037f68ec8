// The stand-in's script: how it starts and closes, and what happens when.
//
//   config-delay MS        the "Server Configuration" form shows after MS (300)
//   no-config              the form never shows
//   crash-at-start MS      the server crashes MS after it starts, before its form
//   window-delay MS        after "&Save", the server window set completes after MS (300)
//   close-dialog MS        WM_CLOSE shows "Close Server", answered "&Yes" after MS
//                          (0: only the operator answers it)
//   close-ask-after MS     the "Close Server" question shows MS after WM_CLOSE (0)
//   ignore-close           WM_CLOSE is ignored
//   hold-file NAME         a data file the server keeps open
//   active                 the server is active once started (default inactive)
//   dialogs none|empty     its reset and send buttons show no dialog, or
//                          dialogs without buttons
//   at MS join NAME ADDRESS CHARACTER
//   at MS leave NAME
//   at MS players N        N numbered players join
//   at MS message TEXT     a server message line
//   at MS messages N       N numbered message lines
//   at MS chat NAME TEXT   a chat line from a player
//   at MS hang MS2         stops answering for MS2
//   at MS crash | exit
//   every MS WHAT ...      repeats WHAT every MS (from MS on)
// Times count from the moment the server runs (its configuration saved and
// its windows complete). Lines starting with # are comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hw::standin {

struct ScriptEvent {
    std::uint64_t atMs = 0;
    std::uint64_t everyMs = 0;  // 0: once
    std::string what;
    std::vector<std::string> args;  // words after `what`
    std::string rest;               // the text after `what`, as written
};

struct Script {
    std::uint32_t configDelayMs = 300;
    bool showConfig = true;
    bool crashAtStart = false;
    std::uint32_t crashAtStartMs = 0;
    std::uint32_t windowDelayMs = 300;
    enum class Close { Immediately, Dialog, Ignore } close = Close::Immediately;
    std::uint32_t closeAnswerMs = 0;
    std::uint32_t closeAskMs = 0;
    bool activeAtStart = false;
    enum class Dialogs { Normal, None, Empty } dialogs = Dialogs::Normal;
    std::vector<std::string> heldFiles;
    std::vector<ScriptEvent> events;
    std::vector<std::string> errors;  // lines that could not be read
};

Script ParseScript(const std::string& text);

}  // namespace hw::standin
