// The registry facade and cRegistry on it, against both backends.
#include <gtest/gtest.h>

#include "common/error.h"
#include "common/text.h"
#include "contract/contract_env.h"
#include "settings/registry.h"

namespace hw::testing {
namespace {

using platform::HKey;
using platform::kHkeyLocalMachine;
using settings::cRegistry;
namespace reg = platform::reg;

class RegistryContract : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = MakeContractEnv();
        key_ = env_->TestKey();
    }
    platform::Desktop& d() { return env_->desktop(); }
    cRegistry Registry(const std::string& valueKey = "Value") {
        cRegistry r(d());
        r.SetClassKey(settings::kHkeyLocalMachine);
        r.SetSectionKey(key_);
        r.SetValueKey(valueKey);
        return r;
    }
    void Raw(const std::string& name, std::uint32_t type, Bytes data) {
        HKey k = 0;
        ASSERT_EQ(d().RegCreateKeyEx(kHkeyLocalMachine, key_, reg::kAllOwnAccess, k), 0);
        EXPECT_EQ(d().RegSetValueEx(k, name, type, data.data(), static_cast<std::uint32_t>(data.size())), 0);
        d().RegCloseKey(k);
    }
    bool RawRead(const std::string& name, std::uint32_t& type, Bytes& data) {
        HKey k = 0;
        if (d().RegOpenKeyEx(kHkeyLocalMachine, key_, reg::kQueryValue, k) != 0) return false;
        std::uint32_t size = 0;
        long r = d().RegQueryValueEx(k, name, &type, nullptr, &size);
        data.assign(size, 0);
        if (r == 0 && size) r = d().RegQueryValueEx(k, name, &type, data.data(), &size);
        d().RegCloseKey(k);
        return r == 0;
    }
    std::unique_ptr<ContractEnv> env_;
    std::string key_;
};

TEST_F(RegistryContract, FacadeReportsWin32Results) {
    HKey k = 0;
    EXPECT_EQ(d().RegOpenKeyEx(kHkeyLocalMachine, key_, reg::kQueryValue, k),
              platform::err::kFileNotFound);
    EXPECT_EQ(k, nullptr);
    ASSERT_EQ(d().RegCreateKeyEx(kHkeyLocalMachine, key_ + "\\Child", reg::kAllOwnAccess, k), 0);
    d().RegCloseKey(k);

    Raw("Text", reg::kSz, {'a', 'b', 0});
    ASSERT_EQ(d().RegOpenKeyEx(kHkeyLocalMachine, key_, reg::kQueryValue, k), 0);
    std::uint32_t type = 0, size = 0;
    std::uint8_t probe = 0;
    EXPECT_EQ(d().RegQueryValueEx(k, "Text", &type, &probe, &size), platform::err::kMoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(type, reg::kSz);
    size = 0;
    EXPECT_EQ(d().RegQueryValueEx(k, "Missing", &type, &probe, &size), platform::err::kFileNotFound);
    std::uint32_t values = 0, maxName = 0, subKeys = 0;
    EXPECT_EQ(d().RegQueryInfoKey(k, &subKeys, nullptr, &values, &maxName), 0);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(maxName, 4u);
    d().RegCloseKey(k);

    // A key with a sub-key cannot be deleted; one with only values can.
    EXPECT_NE(d().RegDeleteKey(kHkeyLocalMachine, key_), 0);
    EXPECT_EQ(d().RegDeleteKey(kHkeyLocalMachine, key_ + "\\Child"), 0);
    EXPECT_EQ(d().RegDeleteKey(kHkeyLocalMachine, key_), 0);
    EXPECT_NE(d().RegDeleteKey(kHkeyLocalMachine, key_), 0);
}

TEST_F(RegistryContract, MissingKeysAndValuesReadAsDefault) {
    cRegistry fresh(d());
    EXPECT_FALSE(fresh.KeyExists());
    EXPECT_TRUE(fresh.Value().IsEmpty());

    cRegistry r = Registry("Absent");
    r.SetValueType(reg::kDword);
    r.SetDefault("fallback");
    EXPECT_FALSE(r.KeyExists());
    EXPECT_EQ(r.Value(), TaggedValue("fallback"));
    EXPECT_EQ(r.ValueType(), 4);  // unchanged by a read that finds nothing

    ASSERT_TRUE(r.CreateKey());
    EXPECT_TRUE(r.KeyExists());
    EXPECT_EQ(r.Value(), TaggedValue("fallback"));
    EXPECT_TRUE(r.CreateKey());  // creating an existing key succeeds
}

TEST_F(RegistryContract, TextValuesAndTheirTypes) {
    cRegistry r = Registry("Interval");
    r.SetValueType(reg::kSz);
    r.SetValue(std::int32_t{5000});
    std::uint32_t type = 0;
    Bytes data;
    ASSERT_TRUE(RawRead("Interval", type, data));
    EXPECT_EQ(type, reg::kSz);
    EXPECT_EQ(data, (Bytes{'5', '0', '0', '0', 0}));
    EXPECT_EQ(r.Value(), TaggedValue("5000"));
    EXPECT_TRUE(r.Value().IsText());

    const std::pair<const char*, std::uint32_t> cases[] = {
        {"100%", reg::kSz}, {"a%%b", reg::kSz}, {"%a%", reg::kExpandSz}, {"x %TEMP% y", reg::kExpandSz}};
    for (auto [textValue, expected] : cases) {
        r.SetValueKey(textValue);
        r.SetValueType(reg::kSz);
        r.SetValue(textValue);
        ASSERT_TRUE(RawRead(textValue, type, data));
        EXPECT_EQ(type, expected) << textValue;
    }

    r.SetValueKey("Expand");
    r.SetValueType(reg::kSz);
    r.SetValue("%SystemRoot%\\x");
    std::string expanded = r.Value().ToText();
    EXPECT_EQ(r.ValueType(), 2);
    EXPECT_EQ(expanded.find('%'), std::string::npos) << expanded;
    EXPECT_TRUE(expanded.size() > 3 && expanded.substr(expanded.size() - 2) == "\\x") << expanded;
}

TEST_F(RegistryContract, TextWrittenByOthersKeepsEveryCharacter) {
    // Installers do not always store the terminating zero, or store two.
    Raw("NoTerminator", reg::kSz, {'C', ':', '\\', 'G'});
    Raw("TwoTerminators", reg::kSz, {'C', ':', '\\', 'G', 0, 0});
    Raw("List", reg::kMultiSz, {'a', 0, 'b', 0, 0});
    Raw("Empty", reg::kSz, {});
    EXPECT_EQ(Registry("NoTerminator").Value(), TaggedValue("C:\\G"));
    EXPECT_EQ(Registry("TwoTerminators").Value(), TaggedValue("C:\\G"));
    EXPECT_EQ(Registry("List").Value().ToText(), std::string("a\0b\0", 4));
    cRegistry empty = Registry("Empty");
    EXPECT_EQ(empty.Value(), TaggedValue(""));
    EXPECT_EQ(empty.ValueType(), 1);
}

TEST_F(RegistryContract, NumbersAndBytes) {
    cRegistry r = Registry("Flag");
    r.SetValueType(reg::kDwordBigEndian);
    r.SetValue(std::int16_t{1});
    EXPECT_EQ(r.Value(), TaggedValue(std::int32_t{1}));
    EXPECT_EQ(r.ValueType(), 4);  // stored as a plain DWORD

    // After reading a DWORD, a text written without setting the type again
    // writes nothing and raises nothing.
    r.SetValue("5000");
    EXPECT_EQ(r.Value(), TaggedValue(std::int32_t{1}));
    r.SetValue(3.5);
    r.SetValue(true);
    r.SetValue(TaggedValue());
    EXPECT_EQ(r.Value(), TaggedValue(std::int32_t{1}));

    r.SetValue(std::int32_t{-7});
    EXPECT_EQ(r.Value(), TaggedValue(std::int32_t{-7}));

    Raw("Big", reg::kDwordBigEndian, {0, 0, 1, 0});
    cRegistry big = Registry("Big");
    EXPECT_EQ(big.Value(), TaggedValue(std::int32_t{256}));
    EXPECT_EQ(big.ValueType(), 5);

    cRegistry bin = Registry("Blob");
    bin.SetValueType(reg::kBinary);
    Bytes ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
    bin.SetValue(ten);
    TaggedValue back = bin.Value();
    ASSERT_TRUE(back.IsBytes());
    EXPECT_EQ(back.AsBytes(), ten);
    bin.SetValue(back);
    std::uint32_t type = 0;
    Bytes data;
    ASSERT_TRUE(RawRead("Blob", type, data));
    EXPECT_EQ(type, reg::kBinary);
    EXPECT_EQ(data, ten);
}

void ExpectError(const std::function<void()>& f, std::int32_t number, const std::string& text,
                 const std::string& source) {
    try {
        f();
        ADD_FAILURE() << "no error raised";
    } catch (const HwError& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.description(), text);
        EXPECT_EQ(e.source(), source);
    }
}

TEST_F(RegistryContract, FailuresRaiseTheirNumbersAndTexts) {
    const std::string source =
        text::BaseNameWithoutExtension(d().GetOwnModuleFileName()) + ".cRegistry";
    cRegistry r = Registry("Gone");
    ASSERT_TRUE(r.CreateKey());
    ExpectError([&] { r.DeleteValue(); }, 26001,
                "Failed to delete registry Key: '-2147483646',Section: '" + key_ + "',Key: 'Gone", source);
    r.SetValueType(0);
    ExpectError([&] { r.SetValue("x"); }, -2147194455,
                "Failed to set registry value Key: '-2147483646',Section: '" + key_ +
                    "',Key: 'Gone'",
                source);
    r.SetValueType(reg::kBinary);
    ExpectError([&] { r.SetValue("not bytes"); }, 26001, "", "");

    cRegistry missing(d());
    missing.SetClassKey(settings::kHkeyLocalMachine);
    missing.SetSectionKey(key_ + "\\Nowhere");
    ExpectError([&] { missing.DeleteKey(); }, 26001,
                "Failed to delete registry Key: '-2147483646',Section: '" + key_ + "\\Nowhere", source);
    missing.SetValueKey("v");
    ExpectError([&] { missing.DeleteValue(); }, 26001,
                "Failed to open key '-2147483646',Section: '" + key_ + "\\Nowhere' for delete access",
                source);

    r.SetValueKey("Here");
    r.SetValueType(reg::kSz);
    r.SetValue("1");
    EXPECT_TRUE(r.DeleteValue());
    EXPECT_TRUE(r.Value().IsEmpty());
}

TEST_F(RegistryContract, EnumeratesValuesAndSections) {
    cRegistry r = Registry("First");
    r.SetValueType(reg::kSz);
    r.SetValue("1");
    r.SetValueKey("Second");
    r.SetValue("2");
    cRegistry child = Registry();
    child.SetSectionKey(key_ + "\\Sub");
    child.CreateKey();

    std::vector<std::string> names;
    std::int32_t count = -1;
    EXPECT_TRUE(r.EnumerateValues(names, count));
    ASSERT_EQ(count, 2);
    std::vector<std::string> got(names.begin() + 1, names.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"First", "Second"}));
    EXPECT_TRUE(r.EnumerateSections(names, count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(names[1], "Sub");

    cRegistry nowhere = Registry();
    nowhere.SetSectionKey(key_ + "\\Missing");
    EXPECT_TRUE(nowhere.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace hw::testing
