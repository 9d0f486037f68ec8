#include "settings/registry.h"

#include <cstring>
#include <utility>

#include "common/error.h"
#include "common/text.h"
#include "platform/owned.h"

namespace hw::settings {

namespace {

using platform::HKey;
namespace reg = platform::reg;

// Closes the key on every way out.
// Text that a string value's data stands for: up to the first NUL. Data
// that this class wrote is the text and one terminating zero.
std::string TextOf(const Bytes& data) {
    size_t n = 0;
    while (n < data.size() && data[n] != 0) ++n;
    return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
}

// The stored type of a text is decided by its percent signs: a "%" with a
// second one at least two places further on makes an expandable string.
std::uint32_t TextType(const std::string& s) {
    size_t p = s.find('%');
    if (p != std::string::npos && s.find('%', p + 2) != std::string::npos) return reg::kExpandSz;
    return reg::kSz;
}

// The value a registry value's `data` of `type` stands for: strings
// expanded, numbers in their byte order, anything else as its bytes.
TaggedValue ValueOf(platform::Desktop& desktop, std::int32_t type, Bytes data) {
    switch (type) {
        case reg::kSz:
            return TextOf(data);
        case reg::kMultiSz:
            // The raw list: the strings with their zero separators, without
            // the final terminator byte.
            if (!data.empty()) data.pop_back();
            return std::string(data.begin(), data.end());
        case reg::kExpandSz: {
            std::string raw_text = TextOf(data);
            std::uint32_t needed = desktop.ExpandEnvironmentStrings(raw_text, nullptr, 0);
            if (needed == 0) return raw_text;
            std::string expanded(needed, '\0');
            std::uint32_t n = desktop.ExpandEnvironmentStrings(raw_text, expanded.data(), needed);
            if (n == 0 || n > needed) return raw_text;
            expanded.resize(n - 1);
            return expanded;
        }
        case reg::kDword:
        case reg::kDwordBigEndian: {
            std::uint8_t b[4] = {0, 0, 0, 0};
            std::memcpy(b, data.data(), std::min<size_t>(4, data.size()));
            std::uint32_t u = type == reg::kDword
                                  ? (b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24)
                                  : (b[3] | b[2] << 8 | b[1] << 16 | std::uint32_t(b[0]) << 24);
            return static_cast<std::int32_t>(u);
        }
        default:
            return data;
    }
}

}  // namespace

std::string cRegistry::Source() const {
    return text::BaseNameWithoutExtension(desktop_.GetOwnModuleFileName()) + ".cRegistry";
}

void cRegistry::Fail(std::int32_t number, const std::string& description) const {
    throw HwError(number, Source(), description);
}

// Names the value only: what was being written may be a secret (the
// webhook's address carries its token), and error texts reach the log.
std::string cRegistry::WriteFailureText() const {
    return "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" +
           sectionKey_ + "',Key: '" + valueKey_ + "'";
}

namespace {
bool NotThere(long r) { return r == platform::err::kFileNotFound || r == platform::err::kPathNotFound; }
}  // namespace

bool cRegistry::KeyExists(bool failLoudly) const {
    platform::UniqueKey key;
    const long r = desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kQueryValue, *key.put(desktop_));
    if (r != 0 && failLoudly && !NotThere(r))
        Fail(kRegSetFailure, "Failed to open registry Key: '" + std::to_string(classKey_) + "',Section: '" +
                                 sectionKey_ + "' (error " + std::to_string(r) + ")");
    return r == 0;
}

bool cRegistry::ValueExists(bool failLoudly) const {
    platform::UniqueKey key;
    long r = desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kQueryValue, *key.put(desktop_));
    std::uint32_t type = 0;
    if (r == 0) r = desktop_.RegQueryValueEx(key.get(), valueKey_, &type, nullptr, nullptr);
    if (r != 0 && failLoudly && !NotThere(r))
        Fail(kRegSetFailure, "Failed to read registry value Key: '" + std::to_string(classKey_) + "',Section: '" +
                                 sectionKey_ + "',Key: '" + valueKey_ + "' (error " + std::to_string(r) + ")");
    return r == 0;
}

bool cRegistry::CreateKey() {
    platform::UniqueKey key;
    if (desktop_.RegCreateKeyEx(Root(), sectionKey_, reg::kAllOwnAccess, *key.put(desktop_)) != 0)
        Fail(kRegSetFailure, "Failed to create registry Key: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteKey() {
    if (desktop_.RegDeleteKey(Root(), sectionKey_) != 0)
        Fail(kRegSetFailure, "Failed to delete registry Key: '" + std::to_string(classKey_) +
                                 "',Section: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteValue() {
    platform::UniqueKey key;
    if (desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kAllOwnAccess, *key.put(desktop_)) != 0)
        Fail(kRegSetFailure, "Failed to open key '" + std::to_string(classKey_) + "',Section: '" +
                                 sectionKey_ + "' for delete access");
    if (desktop_.RegDeleteValue(key.get(), valueKey_) != 0)
        Fail(kRegSetFailure, "Failed to delete registry Key: '" + std::to_string(classKey_) +
                                 "',Section: '" + sectionKey_ + "',Key: '" + valueKey_);
    return true;
}

TaggedValue cRegistry::Read(bool failLoudly) {
    // Only a key or value that is not there is "not found"; anything else
    // (a denied or unreadable value) is a read that failed.
    auto failed = [&](long r) {
        if (failLoudly && !NotThere(r))
            Fail(kRegSetFailure, "Failed to read registry value Key: '" + std::to_string(classKey_) +
                                     "',Section: '" + sectionKey_ + "',Key: '" + valueKey_ + "' (error " +
                                     std::to_string(r) + ")");
        return default_;
    };
    platform::UniqueKey key;
    if (long r = desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kQueryValue, *key.put(desktop_)); r != 0)
        return failed(r);

    std::uint32_t type = 0, size = 0;
    std::uint8_t probe = 0;
    long r = desktop_.RegQueryValueEx(key.get(), valueKey_, &type, &probe, &size);
    if (r != platform::err::kSuccess && r != platform::err::kMoreData) return failed(r);
    valueType_ = static_cast<std::int32_t>(type);

    // The value may change between the two queries; a second short read is
    // answered with what fits, never past the buffer.
    Bytes data(size);
    std::uint32_t got = size;
    if (size > 0) {
        r = desktop_.RegQueryValueEx(key.get(), valueKey_, &type, data.data(), &got);
        if (r == 0 && got < size) data.resize(got);
        // A read that must not fail quietly takes no data it did not get:
        // a value gone meanwhile is not there, one that grew is not read.
        if (r != 0 && failLoudly) return failed(r);
    }

    return ValueOf(desktop_, valueType_, std::move(data));
}

void cRegistry::SetValue(const TaggedValue& vValue) {
    platform::UniqueKey key;
    if (desktop_.RegCreateKeyEx(Root(), sectionKey_, reg::kAllOwnAccess, *key.put(desktop_)) != 0)
        Fail(kRegSetFailure, WriteFailureText());

    long r = -1;
    switch (valueType_) {
        case reg::kSz:
        case reg::kExpandSz: {
            std::string s = vValue.ToText();
            Bytes data(s.begin(), s.end());
            data.push_back(0);
            r = desktop_.RegSetValueEx(key.get(), valueKey_, TextType(s), data.data(),
                                       static_cast<std::uint32_t>(data.size()));
            break;
        }
        case reg::kBinary: {
            if (!vValue.IsBytes()) throw HwError(kRegSetFailure, "", "");
            const Bytes& data = vValue.AsBytes();
            r = desktop_.RegSetValueEx(key.get(), valueKey_, reg::kBinary, data.data(),
                                       static_cast<std::uint32_t>(data.size()));
            break;
        }
        case reg::kDword:
        case reg::kDwordBigEndian: {
            if (!vValue.IsInteger()) return;  // nothing written, nothing raised
            auto u = static_cast<std::uint32_t>(vValue.AsInteger());
            std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                 static_cast<std::uint8_t>(u >> 16),
                                 static_cast<std::uint8_t>(u >> 24)};
            r = desktop_.RegSetValueEx(key.get(), valueKey_, reg::kDword, b, 4);
            break;
        }
        default:
            break;
    }
    if (r != 0) Fail(kRegWriteFailure, WriteFailureText());
}

bool cRegistry::EnumerateValues(std::vector<std::string>& names, std::int32_t& count) {
    names.assign(1, std::string());  // indexed from 1
    count = 0;
    platform::UniqueKey key;
    if (desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kQueryValue, *key.put(desktop_)) != 0) return true;
    std::uint32_t maxLen = 0, values = 0;
    if (desktop_.RegQueryInfoKey(key.get(), nullptr, nullptr, &values, &maxLen) != 0) maxLen = 255, values = 4096;
    std::string buf(maxLen + 1, '\0');
    // Bounded: a key whose every index fails must not hold the loop.
    for (std::uint32_t i = 0; i < values + 16; ++i) {
        std::uint32_t len = static_cast<std::uint32_t>(buf.size());
        long r = desktop_.RegEnumValue(key.get(), i, buf.data(), &len);
        if (r == platform::err::kMoreData && buf.size() < 16384) {
            // A name added since the size was asked: once more with room for any.
            buf.assign(16384, '\0');
            len = static_cast<std::uint32_t>(buf.size());
            r = desktop_.RegEnumValue(key.get(), i, buf.data(), &len);
        }
        if (r == platform::err::kNoMoreItems) break;
        if (r != 0) continue;  // a name that cannot be read ends nothing: the next one is read
        names.push_back(buf.substr(0, std::min<size_t>(len, buf.size())));
        ++count;
    }
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& names, std::int32_t& count) {
    names.assign(1, std::string());
    count = 0;
    platform::UniqueKey key;
    if (desktop_.RegOpenKeyEx(Root(), sectionKey_, reg::kEnumerateSubKeys, *key.put(desktop_)) != 0) return true;
    char buf[256];
    for (std::uint32_t i = 0;; ++i) {
        std::memset(buf, 0, sizeof buf);
        if (desktop_.RegEnumKey(key.get(), i, buf, 255) != 0) break;
        names.emplace_back(buf);
        ++count;
    }
    return true;
}

}  // namespace hw::settings
