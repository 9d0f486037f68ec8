// The operating system as Harrowatch sees it: a thin facade over the Win32
// primitives the behaviour calls. Each call has the meaning and the result of
// the Win32 call it is named after (0 = none, Win32 error codes). No policy
// lives here; the real backend is platform/win32, the simulated desktop is
// platform/sim.
//
// The facade is split by area, an interface each (platform/*_api.h, none of
// more than 20 calls). A desktop is all of them at once: one object is
// handed to the core, and a call reads the same wherever it is made. Code
// that needs one area only may take that interface alone.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock_api.h"
#include "platform/event_log_api.h"
#include "platform/file_api.h"
#include "platform/http_api.h"
#include "platform/message_api.h"
#include "platform/process_api.h"
#include "platform/process_info_api.h"
#include "platform/registry_api.h"
#include "platform/remote_memory_api.h"
#include "platform/task_api.h"
#include "platform/types.h"
#include "platform/win32_names.h"
#include "platform/window_api.h"

namespace hw::platform {

class Desktop : public RegistryApi,
                public ProcessApi,
                public ProcessInfoApi,
                public WindowApi,
                public MessageApi,
                public RemoteMemoryApi,
                public FileApi,
                public ClockApi,
                public HttpApi,
                public TaskApi,
                public EventLogApi {
public:
    Desktop() : serial_(NextSerial()) {}
    virtual ~Desktop() = default;
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Tells desktops apart for the whole run: one made later may take the
    // address of one that is gone, never its serial.
    std::uint64_t Serial() const { return serial_; }

private:
    static std::uint64_t NextSerial() {
        static std::atomic<std::uint64_t> next{0};
        return ++next;
    }
    std::uint64_t serial_;
};

}  // namespace hw::platform
