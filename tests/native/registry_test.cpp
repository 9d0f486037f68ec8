// cRegistry against registry faults that only the simulation can stage.
#include <gtest/gtest.h>

#include "common/error.h"
#include "native/registry_faults.h"
#include "platform/sim/sim_desktop.h"
#include "settings/registry.h"

namespace hw {
namespace {

using testing::Refuse;

// A cRegistry on one value of Harrowatch's key.
settings::cRegistry On(platform::sim::SimDesktop& d, const std::string& value, std::int32_t type = 1) {
    settings::cRegistry r(d);
    r.SetClassKey(settings::kHkeyLocalMachine);
    r.SetSectionKey("Software\\Harrowatch");
    r.SetValueKey(value);
    r.SetValueType(type);
    return r;
}

TEST(RegistryFaults, NoWriteAccessFailsAtTheFirstStepAndKeepsWhatIsStored) {
    platform::sim::SimDesktop d;
    d.PokeString(platform::kHkeyLocalMachine, "Software\\Harrowatch", "TimerInterval", "5000");
    d.registryFault = [](const std::string& op, const std::string&, const std::string&) {
        return platform::sim::SimDesktop::IsRegistryRead(op) ? 0L : platform::err::kAccessDenied;
    };
    settings::cRegistry r = On(d, "TimerInterval");
    try {
        r.SetValue(std::int32_t{250});
        FAIL();
    } catch (const HwError& e) {
        EXPECT_EQ(e.number(), 26001);
        EXPECT_EQ(e.source(), "Harrowatch.cRegistry");
    }
    EXPECT_EQ(r.Value(), TaggedValue("5000"));  // reads still work
    EXPECT_THROW(r.CreateKey(), HwError);
    EXPECT_THROW(r.DeleteValue(), HwError);
    EXPECT_EQ(r.Value(), TaggedValue("5000"));

    // Only the set refused: the write number, and the value named.
    d.registryFault = Refuse("setvalue", platform::err::kAccessDenied);
    settings::cRegistry a = On(d, "AutoStart", 4);
    try {
        a.SetValue(std::int32_t{1});
        FAIL();
    } catch (const HwError& e) {
        EXPECT_EQ(e.number(), settings::kRegWriteFailure);
        EXPECT_EQ(e.description(),
                  "Failed to set registry value Key: '-2147483646',Section: 'Software\\Harrowatch',"
                  "Key: 'AutoStart'");
    }
}

// Only a missing key or value reads as Default to a caller that must tell
// them apart; a value that is there and cannot be read throws.
TEST(RegistryFaults, AReadThatFailsIsNotAMissingValue) {
    platform::sim::SimDesktop d;
    settings::cRegistry r = On(d, "TimerInterval");
    EXPECT_EQ(r.ReadValue(), TaggedValue());  // no key
    d.PokeString(platform::kHkeyLocalMachine, "Software\\Harrowatch", "Other", "x");
    EXPECT_EQ(r.ReadValue(), TaggedValue());  // no value
    d.PokeString(platform::kHkeyLocalMachine, "Software\\Harrowatch", "TimerInterval", "5000");
    d.registryFault = Refuse("query", 1011 /* ERROR_CANTREAD */);
    EXPECT_EQ(r.Value(), TaggedValue());  // the quiet read still answers Default
    try {
        r.ReadValue();
        FAIL();
    } catch (const HwError& e) {
        EXPECT_EQ(e.number(), settings::kRegSetFailure);
        EXPECT_NE(e.description().find("Key: 'TimerInterval'"), std::string::npos) << e.description();
    }
    d.registryFault = nullptr;
    EXPECT_EQ(r.ReadValue(), TaggedValue("5000"));
}

// A value may hold a secret (the webhook's token): a failed write names the
// value, never what it was writing, on every way it can fail.
TEST(RegistryFaults, AFailedWriteNamesTheValueAndNeverCarriesIt) {
    const std::string secret = "https://hooks.example.com/T0KEN-s3cret";
    for (const char* failing : {"create", "setvalue"}) {
        platform::sim::SimDesktop d;
        d.registryFault = Refuse(failing, platform::err::kAccessDenied);
        settings::cRegistry r = On(d, "WebhookUrl");
        try {
            r.SetValue(secret);
            ADD_FAILURE() << failing << ": no error raised";
        } catch (const HwError& e) {
            EXPECT_EQ(e.description().find("T0KEN"), std::string::npos) << failing << ": " << e.description();
            EXPECT_NE(e.description().find("Key: 'WebhookUrl'"), std::string::npos) << failing << ": " << e.description();
            EXPECT_EQ(e.source().find("T0KEN"), std::string::npos) << failing;
        }
    }
}

}  // namespace
}  // namespace hw
