// The Application event log through advapi32.
#include <windows.h>

#include "platform/win32/owners.h"
#include "platform/win32/win32_desktop.h"

#include <string>

namespace hw::platform::win32 {

long Win32Desktop::ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                               const std::string& text) {
    const EventSource log(::RegisterEventSourceA(nullptr, source.c_str()));
    if (!log) return static_cast<long>(::GetLastError());
    const char* strings[1] = {text.c_str()};
    return ::ReportEventA(log.get(), type, 0, eventId, nullptr, 1, 0, strings, nullptr) ? 0
                                                                                       : static_cast<long>(::GetLastError());
}

}  // namespace hw::platform::win32
