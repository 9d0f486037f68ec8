// The Application event log: one event of `source` (a source registered
// or not), type 1 error, 2 warning, 4 information; `eventId` with its
// severity bits, as the message table numbers it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_names.h"

namespace hw::platform {

class EventLogApi {
public:
    virtual ~EventLogApi() = default;

    virtual long ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                             const std::string& text) = 0;
};

}  // namespace hw::platform
