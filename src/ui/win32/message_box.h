// Message boxes shown with MessageBoxA.
#pragma once

#include <atomic>

#include "ui/message_box.h"

namespace hw::ui::win32 {

class Win32MessageBoxes : public MessageBoxHost {
public:
    // owner: the window the boxes belong to (0: none, the box is task-modal).
    explicit Win32MessageBoxes(std::uint64_t owner = 0) : owner_(owner) {}
    void SetOwner(std::uint64_t owner) { owner_ = owner; }
    int Show(const std::string& text, const std::string& title, std::uint32_t flags) override;
    // On a thread of its own: the interface thread, and with it the poll,
    // goes on while the box waits for the operator.
    void Report(const std::string& text, const std::string& title, std::uint32_t flags) override;
    // Reports still open.
    static int OpenReports() { return open_; }

private:
    std::uint64_t owner_;
    static inline std::atomic<int> open_{0};
};

}  // namespace hw::ui::win32
