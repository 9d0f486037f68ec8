// Nothing may cross back into Windows from a window, hook or timer
// procedure: an exception there is caught and reported, and the procedure
// answers as if the message had been handled by default.
#pragma once

#include <exception>
#include <string>

#include "common/error.h"
#include "ui/report.h"
#include "ui/win32/message_box.h"

namespace hw::ui::win32 {

// Reports the exception being handled, from the OS callback `where`.
inline void ReportFromCallback(const char* where) noexcept {
    try {
        Win32MessageBoxes boxes;
        ReportCaught(boxes, where);
    } catch (...) {
        // Not even a box could be shown: the callback still returns.
    }
}

template <class R, class F>
R Guarded(const char* where, R onError, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        ReportFromCallback(where);
        return onError;
    }
}

}  // namespace hw::ui::win32
