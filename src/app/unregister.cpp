#include "app/unregister.h"

#include "common/error.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "supervision/event_log.h"

namespace hw::app {

bool Unregister(platform::Desktop& desktop, std::string& failure) {
    failure.clear();
    try {
        settings::SetStartAtLogon(desktop, false);
    } catch (const std::exception& e) {
        failure = std::string("the log-on task: ") + e.what();
    }
    try {
        settings::cRegistry source = settings::MachineKey(desktop, supervision::kEventSourceKey);
        if (source.KeyExists()) source.DeleteKey();
    } catch (const std::exception& e) {
        failure += std::string(failure.empty() ? "" : "; ") + "the event source: " + e.what();
    }
    return failure.empty();
}

}  // namespace hw::app
