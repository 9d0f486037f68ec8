// cRegistry: the one class through which Harrowatch reads and writes the
// registry. Set the root, the key path, the value name and (for a write) the
// type, then read or write Value. No key stays open between calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/tagged_value.h"
#include "platform/desktop.h"

namespace hw::settings {

inline constexpr std::int32_t kHkeyLocalMachine = platform::kHkeyLocalMachineValue;
inline constexpr std::int32_t kRegSetFailure = 26001;
inline constexpr std::int32_t kRegWriteFailure = static_cast<std::int32_t>(0x800469A9u);

class cRegistry {
public:
    explicit cRegistry(platform::Desktop& desktop) : desktop_(desktop) {}

    std::int32_t ClassKey() const { return classKey_; }
    void SetClassKey(std::int32_t eKey) { classKey_ = eKey; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SetSectionKey(std::string sSectionKey) { sectionKey_ = std::move(sSectionKey); }
    const std::string& ValueKey() const { return valueKey_; }
    void SetValueKey(std::string sValueKey) { valueKey_ = std::move(sValueKey); }
    std::int32_t ValueType() const { return valueType_; }
    void SetValueType(std::int32_t eValueType) { valueType_ = eValueType; }
    const TaggedValue& Default() const { return default_; }
    void SetDefault(TaggedValue vDefault) { default_ = std::move(vDefault); }

    // failLoudly: a key or value that cannot be looked at (not one that is
    // not there) raises the failure instead of answering false.
    bool KeyExists(bool failLoudly = false) const;
    // Whether the value named by the value key is stored.
    bool ValueExists(bool failLoudly = false) const;
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();
    // Reads the value; Default when it cannot be read. Sets ValueType.
    TaggedValue Value() { return Read(false); }
    // Reads the value as Value does, but only a missing key or value reads
    // as Default: one that is there and cannot be read throws HwError, so
    // that a failed read is never taken for an empty value.
    TaggedValue ReadValue() { return Read(true); }
    // Writes the value with ValueType; throws HwError on failure.
    void SetValue(const TaggedValue& vValue);
    bool EnumerateValues(std::vector<std::string>& names, std::int32_t& count);
    bool EnumerateSections(std::vector<std::string>& names, std::int32_t& count);

private:
    platform::HKey Root() const { return platform::RootKey(classKey_); }
    std::string Source() const;
    [[noreturn]] void Fail(std::int32_t number, const std::string& description) const;
    std::string WriteFailureText() const;
    TaggedValue Read(bool failLoudly);

    platform::Desktop& desktop_;
    std::int32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    std::int32_t valueType_ = 0;
    TaggedValue default_;
};

}  // namespace hw::settings
