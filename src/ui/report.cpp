#include "ui/report.h"

#include <exception>

namespace hw {

void ReportError(ui::MessageBoxHost& boxes, std::int32_t number, const std::string& description,
                 const std::string& source, Report how) {
    const std::string text = FormatErrorReport(number, description, source);
    constexpr std::uint32_t kFlags = ui::mb::kOk | ui::mb::kIconCritical;
    if (how == Report::WaitForOk)
        boxes.Show(text, kAppTitle, kFlags | ui::mb::kTopmost | ui::mb::kSetForeground);
    else
        boxes.Report(text, kAppTitle, kFlags);
}

void ReportCaught(ui::MessageBoxHost& boxes, const std::string& procedure, Report how) {
    // Classified without rethrowing: an exception of any type is reported.
    const std::exception_ptr caught = std::current_exception();
    try {
        if (caught) std::rethrow_exception(caught);
        ReportError(boxes, errnum::kInternal, "unknown error", std::string(kAppTitle) + " - " + procedure, how);
    } catch (const HwError& e) {
        ReportError(boxes, e.number(), e.description(), e.source() + " - " + procedure, how);
    } catch (const std::exception& e) {
        ReportError(boxes, errnum::kInternal, e.what(), std::string(kAppTitle) + " - " + procedure, how);
    } catch (...) {
        ReportError(boxes, errnum::kInternal, "unknown error", std::string(kAppTitle) + " - " + procedure, how);
    }
}

}  // namespace hw
