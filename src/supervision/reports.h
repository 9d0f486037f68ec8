// Every error report also goes to the supervision events (and so to the log
// and the event log): the message boxes of Harrowatch pass through here.
#pragma once

#include <string>

#include "supervision/events.h"
#include "ui/message_box.h"

namespace hw::supervision {

class ReportingBoxes : public ui::MessageBoxHost {
public:
    ReportingBoxes(ui::MessageBoxHost& inner, Events& events) : inner_(inner), events_(events) {}
    int Show(const std::string& text, const std::string& title, std::uint32_t flags) override {
        Tell(text, flags);
        return inner_.Show(text, title, flags);
    }
    void Report(const std::string& text, const std::string& title, std::uint32_t flags) override {
        Tell(text, flags);
        inner_.Report(text, title, flags);
    }

private:
    void Tell(const std::string& text, std::uint32_t flags) {
        if ((flags & 0xF0) != ui::mb::kIconCritical) return;  // questions and notices are no errors
        std::string line = text;
        for (size_t p = line.find("\r\n"); p != std::string::npos; p = line.find("\r\n", p)) line.replace(p, 2, "; ");
        events_.Raise(EventId::ErrorReported, line);
    }
    ui::MessageBoxHost& inner_;
    Events& events_;
};

}  // namespace hw::supervision
