#include "settings/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error.h"
#include "common/text.h"
#include "settings/registry.h"

namespace hw::settings {

namespace {
cRegistry Open(platform::Desktop& desktop, const Setting& s) {
    cRegistry reg = MachineKey(desktop, s.key);
    reg.SetValueKey(s.name);
    reg.SetValueType(static_cast<std::int32_t>(s.type));
    return reg;
}
}  // namespace

cRegistry MachineKey(platform::Desktop& desktop, const std::string& key) {
    cRegistry reg(desktop);
    reg.SetClassKey(kHkeyLocalMachine);
    reg.SetSectionKey(key);
    return reg;
}

TaggedValue ReadSetting(platform::Desktop& desktop, const Setting& s) { return Open(desktop, s).Value(); }

std::optional<TaggedValue> ReadSettingIfReadable(platform::Desktop& desktop, const Setting& s) {
    try {
        return Open(desktop, s).ReadValue();
    } catch (const HwError&) {
        return std::nullopt;
    }
}

void WriteSetting(platform::Desktop& desktop, const Setting& s, const TaggedValue& value) {
    Open(desktop, s).SetValue(value);
}

int ReadEdge(platform::Desktop& desktop, const Setting& s) {
    const double n = text::LeadingNumber(ReadSetting(desktop, s).ToText());
    return static_cast<int>(std::clamp(std::round(n), -1e9, 1e9));
}

std::int32_t ReadNumber(platform::Desktop& desktop, const Setting& s, std::int32_t fallback, std::int32_t low,
                        std::int32_t high) {
    return NumberOf(ReadSetting(desktop, s), fallback, low, high);
}

std::int32_t NumberOf(const TaggedValue& v, std::int32_t fallback, std::int32_t low, std::int32_t high) {
    if (v == TaggedValue("")) return fallback;
    const std::string t = text::Trim(v.ToText());
    // A whole number, as the dialog takes it, with its sign: "100-1" is none.
    const size_t digits = !t.empty() && t[0] == '-' ? 1 : 0;
    if (t.size() == digits || t.find_first_not_of("0123456789", digits) != std::string::npos) return fallback;
    const double n = text::LeadingNumber(t);
    return n < low || n > high ? fallback : static_cast<std::int32_t>(n);
}

std::optional<int> ParseDailyTime(const std::string& text) {
    const std::string t = text::Trim(text);
    const size_t colon = t.find(':');
    if (colon == std::string::npos || colon < 1 || colon > 2 || t.size() != colon + 3) return std::nullopt;
    for (size_t i = 0; i < t.size(); ++i)
        if (i != colon && (t[i] < '0' || t[i] > '9')) return std::nullopt;
    const int hours = std::stoi(t.substr(0, colon)), minutes = std::stoi(t.substr(colon + 1));
    if (hours > 23 || minutes > 59) return std::nullopt;
    return hours * 60 + minutes;
}

std::string FormatDailyTime(int minutes) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60 % 24, minutes % 60);
    return text;
}

bool WriteFirstRunDefaults(platform::Desktop& desktop) {
    cRegistry reg(desktop);
    reg.SetClassKey(kHkeyLocalMachine);
    reg.SetSectionKey(kSettingsKey);
    // A key that cannot be read may well exist: only one known missing
    // makes a first start (a failed look throws, and nothing is written).
    if (reg.KeyExists(true)) return false;
    WriteSetting(desktop, kTimerInterval, std::int32_t{5000});
    WriteSetting(desktop, kAutoStart, std::int32_t{1});
    WriteSetting(desktop, kHideKaltorWindow, std::int32_t{1});
    return true;
}

}  // namespace hw::settings
