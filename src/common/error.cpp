#include "common/error.h"

#include <exception>

namespace hw {

std::string FormatErrorReport(std::int32_t number, const std::string& description,
                              const std::string& source) {
    std::string text = "Error Number: " + std::to_string(number) + "\r\n";
    text += "Error Description: " + description;
    if (number == errnum::kPermissionDenied) text += " - The file being copied may be in use.";
    text += "\r\nError Source: " + source;
    return text;
}

void ReportError(ui::MessageBoxHost& boxes, std::int32_t number, const std::string& description,
                 const std::string& source) {
    boxes.Show(FormatErrorReport(number, description, source), kAppTitle,
               ui::mb::kOk | ui::mb::kIconCritical);
}

void ReportCaught(ui::MessageBoxHost& boxes, const std::string& procedure) {
    try {
        throw;
    } catch (const HwError& e) {
        ReportError(boxes, e.number(), e.description(), e.source() + " - " + procedure);
    } catch (const std::exception& e) {
        ReportError(boxes, errnum::kInternal, e.what(), std::string(kAppTitle) + " - " + procedure);
    }
}

}  // namespace hw
