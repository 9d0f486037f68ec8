// Message boxes. The system shows them through this interface; the Windows
// binding calls MessageBoxA, tests read what was shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hw::ui {

namespace mb {
constexpr std::uint32_t kOk = 0x00;
constexpr std::uint32_t kIconCritical = 0x10;
constexpr std::uint32_t kIconQuestion = 0x20;
constexpr std::uint32_t kIconExclamation = 0x30;
constexpr std::uint32_t kIconInformation = 0x40;
constexpr std::uint32_t kSetForeground = 0x00010000;
constexpr std::uint32_t kTopmost = 0x00040000;
constexpr int kIdOk = 1;
}  // namespace mb

class MessageBoxHost {
public:
    virtual ~MessageBoxHost() = default;
    // Shows the box modally and answers the button pressed (IDOK = 1).
    virtual int Show(const std::string& text, const std::string& title, std::uint32_t flags) = 0;
    // Shows a box with only OK and goes on without waiting for it: the
    // operator may be away for hours, supervision may not. It comes up in
    // front of every window, also while Harrowatch sits hidden in the tray.
    virtual void Report(const std::string& text, const std::string& title, std::uint32_t flags) {
        Show(text, title, flags | mb::kTopmost | mb::kSetForeground);
    }
};

// The headless form: keeps every box shown and answers OK.
class RecordingMessageBoxes : public MessageBoxHost {
public:
    struct Shown {
        std::string text, title;
        std::uint32_t flags;
    };
    int Show(const std::string& text, const std::string& title, std::uint32_t flags) override {
        shown.push_back({text, title, flags});
        ++modal;
        // The operator takes their time to answer.
        if (whileModal) whileModal();
        return mb::kIdOk;
    }
    void Report(const std::string& text, const std::string& title, std::uint32_t flags) override {
        shown.push_back({text, title, flags | mb::kTopmost | mb::kSetForeground});
    }
    std::vector<Shown> shown;
    int modal = 0;  // how many of them held their caller until answered
    std::function<void()> whileModal;
};

}  // namespace hw::ui
