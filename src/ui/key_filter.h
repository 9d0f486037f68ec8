// Filtering the keys typed into a field by permission flags ("PERIOD_OK",
// "TIME_OK", ...): digits, backspace and Enter always pass.
#pragma once

#include <cstdint>
#include <string>

namespace hw::ui {

// True when the flag text, trimmed and upper-cased, contains the flag name.
bool HasValidationFlag(const std::string& flags, const std::string& flag);

// Sets keyAscii to 0 when the field does not admit the character.
void FilterKeyPress(std::int16_t& keyAscii, const std::string& flags);

}  // namespace hw::ui
