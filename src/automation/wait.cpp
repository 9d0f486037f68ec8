#include "automation/wait.h"

namespace hw::automation {

WaitResult WaitUntil(platform::Desktop& desktop, const std::function<bool()>& done,
                     std::uint32_t timeoutMs, const CancelSignal* cancel, std::uint32_t pauseMs) {
    const std::uint64_t start = desktop.TickCount();
    for (;;) {
        if (cancel && cancel->Raised()) return WaitResult::Cancelled;
        if (done()) return WaitResult::Done;
        desktop.DoEvents();
        if (cancel && cancel->Raised()) return WaitResult::Cancelled;
        if (timeoutMs != kNoTimeout && desktop.TickCount() - start >= timeoutMs)
            return WaitResult::TimedOut;
        desktop.Sleep(pauseMs);
    }
}

}  // namespace hw::automation
