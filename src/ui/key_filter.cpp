#include "ui/key_filter.h"

#include "common/text.h"

namespace hw::ui {

bool HasValidationFlag(const std::string& flags, const std::string& flag) {
    return text::Upper(text::Trim(flags)).find(text::Upper(text::Trim(flag))) != std::string::npos;
}

void FilterKeyPress(std::int16_t& keyAscii, const std::string& flags) {
    if (keyAscii == 8 || keyAscii == 13) return;
    const char c = static_cast<char>(keyAscii & 0xFF);
    if (keyAscii >= 0 && keyAscii <= 255 && c >= '0' && c <= '9') return;
    struct Rule {
        char ch;
        const char* flag;
    };
    static const Rule kRules[] = {{'.', "PERIOD_OK"}, {'-', "MINUS_OK"}, {'$', "DOLLAR_SIGN_OK"},
                                  {',', "COMMA_OK"},  {'%', "PERCENT_OK"}, {' ', "SPACE_OK"},
                                  {'/', "SLASH_OK"},  {'a', "TIME_OK"},  {'A', "TIME_OK"},
                                  {'m', "TIME_OK"},   {'M', "TIME_OK"},  {'p', "TIME_OK"},
                                  {'P', "TIME_OK"}};
    if (keyAscii >= 0 && keyAscii <= 255) {
        for (const Rule& r : kRules) {
            if (r.ch == c) {
                if (HasValidationFlag(flags, r.flag)) return;
                break;
            }
        }
    }
    keyAscii = 0;
}

}  // namespace hw::ui
