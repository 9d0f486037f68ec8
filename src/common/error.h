// The one error type of the system and the text of its report.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>


namespace hw {

inline constexpr const char* kAppTitle = "Harrowatch";

// A failing operation throws this; the handler of the calling procedure
// restores what it switched off and passes it to ReportError.
class HwError : public std::runtime_error {
public:
    HwError(std::int32_t number, std::string source, std::string description)
        : std::runtime_error(description), number_(number), source_(std::move(source)),
          description_(std::move(description)) {}
    std::int32_t number() const { return number_; }
    const std::string& source() const { return source_; }
    const std::string& description() const { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

namespace errnum {
constexpr std::int32_t kFileNotFound = 53;
constexpr std::int32_t kPermissionDenied = 70;
constexpr std::int32_t kPathNotFound = 76;
constexpr std::int32_t kPathFileAccess = 75;
constexpr std::int32_t kInternal = 51;
// Windows refused access to the server's process or windows (it runs elevated).
constexpr std::int32_t kServerElevated = 1005;
// The copy of a data file could not be made before its reset.
constexpr std::int32_t kBackupFailed = 1006;
// Refused as unsafe, or as what Windows could never carry out (start at log-on
// from a folder others may change, or for an account that cannot elevate).
constexpr std::int32_t kRefused = 1007;
}  // namespace errnum

// The three-line critical-stop box titled "Harrowatch".
std::string FormatErrorReport(std::int32_t number, const std::string& description,
                              const std::string& source);
}  // namespace hw
