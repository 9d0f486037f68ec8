// A simulated registry that refuses one kind of call.
#pragma once

#include <string>

namespace hw::testing {

// Fails every `op` ("query", "setvalue", "create", ...) with `error`, on the
// value named `value` only when one is given.
inline auto Refuse(std::string op, long error, std::string value = {}) {
    return [op = std::move(op), error, value = std::move(value)](const std::string& o, const std::string&,
                                                                 const std::string& v) {
        return o == op && (value.empty() || v == value) ? error : 0L;
    };
}

}  // namespace hw::testing
