// The simulated Application event log.
#include "platform/sim/sim_desktop.h"

namespace hw::platform::sim {

long SimDesktop::ReportEvent(const std::string& source, std::uint16_t type, std::uint32_t eventId,
                             const std::string& text) {
    if (source.empty() || (type != 1 && type != 2 && type != 4)) return err::kInvalidParameter;
    eventLog_.push_back({source, type, eventId, text});
    return err::kSuccess;
}

}  // namespace hw::platform::sim
