#include "common/tagged_value.h"

#include <charconv>
#include <cmath>

#include "common/text.h"

namespace hw {

std::string TaggedValue::ToText() const {
    struct Visitor {
        std::string operator()(const Empty&) const { return {}; }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int16_t i) const { return std::to_string(i); }
        std::string operator()(std::int32_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
                return std::to_string(static_cast<long long>(d));
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, r.ptr);
        }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Bytes& b) const { return std::string(b.begin(), b.end()); }
    };
    return std::visit(Visitor{}, v_);
}

double TaggedValue::ToNumber() const {
    struct Visitor {
        double operator()(const Empty&) const { return 0; }
        double operator()(bool b) const { return b ? -1 : 0; }
        double operator()(std::int16_t i) const { return i; }
        double operator()(std::int32_t i) const { return i; }
        double operator()(double d) const { return d; }
        double operator()(const std::string& s) const { return text::LeadingNumber(s); }
        double operator()(const Bytes&) const { return 0; }
    };
    return std::visit(Visitor{}, v_);
}

std::int32_t TaggedValue::AsInteger() const {
    if (auto p = std::get_if<std::int16_t>(&v_)) return *p;
    return std::get<std::int32_t>(v_);
}

bool operator==(const TaggedValue& a, const TaggedValue& b) {
    auto numeric = [](const TaggedValue& v) {
        return v.IsInteger() || std::holds_alternative<double>(v.v_) ||
               std::holds_alternative<bool>(v.v_);
    };
    if (numeric(a) && numeric(b)) return a.ToNumber() == b.ToNumber();
    if (a.IsBytes() && b.IsBytes()) return a.AsBytes() == b.AsBytes();
    // Empty, text and mixed comparisons go by text: a stored 0 is not "".
    if (a.IsEmpty() && b.IsEmpty()) return true;
    if (numeric(a) != numeric(b) && (a.IsEmpty() || b.IsEmpty())) return false;
    return a.ToText() == b.ToText();
}

}  // namespace hw
