// Message boxes shown with MessageBoxA.
#pragma once

#include "ui/message_box.h"

namespace hw::ui::win32 {

class Win32MessageBoxes : public MessageBoxHost {
public:
    // owner: the window the boxes belong to (0: none, the box is task-modal).
    explicit Win32MessageBoxes(std::uint64_t owner = 0) : owner_(owner) {}
    void SetOwner(std::uint64_t owner) { owner_ = owner; }
    int Show(const std::string& text, const std::string& title, std::uint32_t flags) override;

private:
    std::uint64_t owner_;
};

}  // namespace hw::ui::win32
