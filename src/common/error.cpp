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

}  // namespace hw
