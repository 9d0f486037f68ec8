// Names for the cases of a parameterised table, made from what each case is,
// so that a failing case is known by its name.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace hw::testing {

// `text` as a test name: each word capitalised and run together, anything
// but letters and digits dropped, and "_" kept between two numbers
// ("past the edge" is "PastTheEdge", "12/31 11:59 PM" is "12_31_11_59PM").
inline std::string CaseName(std::string_view text) {
    std::string name;
    bool wordStart = true;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (!std::isalnum(c)) {
            wordStart = true;
            continue;
        }
        if (wordStart && std::isdigit(c) && !name.empty() && std::isdigit(static_cast<unsigned char>(name.back())))
            name += '_';
        name += wordStart ? static_cast<char>(std::toupper(c)) : ch;
        wordStart = false;
    }
    return name;
}

}  // namespace hw::testing
