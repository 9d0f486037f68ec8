#include "supervision/event_log.h"

#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::supervision {

std::uint32_t EventLogSink::MessageId(const Event& event) {
    const std::uint32_t severity = event.level == Level::Error ? 3u : event.level == Level::Warning ? 2u : 1u;
    return severity << 30 | static_cast<std::uint32_t>(event.id);
}

bool EventLogSink::RegisterSource() {
    if (registered_) return true;
    try {
        settings::cRegistry reg = settings::MachineKey(d_, kEventSourceKey);
        reg.SetValueKey("EventMessageFile");
        reg.SetValueType(platform::reg::kSz);
        if (reg.Value().ToText() != d_.GetOwnModuleFileName()) {
            reg.SetValue(d_.GetOwnModuleFileName());
            reg.SetValueKey("TypesSupported");
            reg.SetValueType(platform::reg::kDword);
            reg.SetValue(std::int32_t{7});
        }
        registered_ = true;
    } catch (...) {
        // The events are still logged, without their texts' frame.
    }
    return registered_;
}

void EventLogSink::Take(const Event& event) {
    if (event.level == Level::Information) return;
    RegisterSource();
    const std::uint16_t type = event.level == Level::Error ? 1 : 2;
    d_.ReportEvent(kEventSource, type, MessageId(event), event.text);
}

}  // namespace hw::supervision
