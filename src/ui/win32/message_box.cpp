#include "ui/win32/message_box.h"

#include <windows.h>

namespace hw::ui::win32 {

int Win32MessageBoxes::Show(const std::string& text, const std::string& title,
                            std::uint32_t flags) {
    HWND owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(owner_));
    if (!owner) flags |= MB_TASKMODAL | MB_SETFOREGROUND;
    return ::MessageBoxA(owner, text.c_str(), title.c_str(), flags);
}

}  // namespace hw::ui::win32
