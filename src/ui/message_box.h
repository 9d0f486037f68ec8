// Message boxes. The system shows them through this interface; the Windows
// binding calls MessageBoxA, tests read what was shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hw::ui {

namespace mb {
constexpr std::uint32_t kOk = 0x00;
constexpr std::uint32_t kIconCritical = 0x10;
constexpr std::uint32_t kIconQuestion = 0x20;
constexpr std::uint32_t kIconExclamation = 0x30;
constexpr std::uint32_t kIconInformation = 0x40;
constexpr int kIdOk = 1;
}  // namespace mb

class MessageBoxHost {
public:
    virtual ~MessageBoxHost() = default;
    // Shows the box modally and answers the button pressed (IDOK = 1).
    virtual int Show(const std::string& text, const std::string& title, std::uint32_t flags) = 0;
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
        return mb::kIdOk;
    }
    std::vector<Shown> shown;
};

}  // namespace hw::ui
