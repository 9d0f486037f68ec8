// The tagged value that registry values and settings travel as: empty, a
// Boolean, a 16- or 32-bit integer, a floating-point number, a text or a byte
// array. The empty value equals the empty text and converts to 0 and "".
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace hw {

struct Empty {
    bool operator==(const Empty&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

class TaggedValue {
public:
    using Storage = std::variant<Empty, bool, std::int16_t, std::int32_t, double, std::string, Bytes>;

    TaggedValue() = default;
    TaggedValue(bool v) : v_(v) {}
    TaggedValue(std::int16_t v) : v_(v) {}
    TaggedValue(std::int32_t v) : v_(v) {}
    TaggedValue(double v) : v_(v) {}
    TaggedValue(std::string v) : v_(std::move(v)) {}
    TaggedValue(const char* v) : v_(std::string(v)) {}
    TaggedValue(Bytes v) : v_(std::move(v)) {}

    bool IsEmpty() const { return std::holds_alternative<Empty>(v_); }
    bool IsInteger() const {
        return std::holds_alternative<std::int16_t>(v_) || std::holds_alternative<std::int32_t>(v_);
    }
    bool IsText() const { return std::holds_alternative<std::string>(v_); }
    bool IsBytes() const { return std::holds_alternative<Bytes>(v_); }

    // Text form: numbers in plain decimal, Booleans "True"/"False", bytes as
    // 8-bit characters, empty as "".
    std::string ToText() const;
    // Numeric form: text read as its leading number (0 when there is none).
    double ToNumber() const;
    // Only valid for integers.
    std::int32_t AsInteger() const;
    const Bytes& AsBytes() const { return std::get<Bytes>(v_); }
    const Storage& storage() const { return v_; }

    // Equality as callers use it: empty equals the empty text; numbers compare
    // by value; text against a number compares the text forms.
    friend bool operator==(const TaggedValue& a, const TaggedValue& b);

private:
    Storage v_;
};

}  // namespace hw
