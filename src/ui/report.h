// The one way an error is reported: a message box with the error's report.
#pragma once

#include <cstdint>
#include <string>

#include "common/error.h"
#include "ui/message_box.h"

namespace hw {

// How a report is shown: without waiting for the operator (supervision goes
// on), or waiting for OK (the program ends right after it).
enum class Report { GoOn, WaitForOk };
void ReportError(ui::MessageBoxHost& boxes, std::int32_t number, const std::string& description,
                 const std::string& source, Report how = Report::GoOn);
// Reports any exception caught by a handler: an HwError as it is, anything
// else as an internal error, with " - " and the procedure's name appended to
// the source.
void ReportCaught(ui::MessageBoxHost& boxes, const std::string& procedure, Report how = Report::GoOn);

}  // namespace hw
