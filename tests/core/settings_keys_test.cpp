// The conversions applied to stored texts when they go back into controls.
#include "core/settings_keys.h"
#include "tests/support/memory_settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace core;

TEST(SettingConversions, IntegersForCheckBoxes)
{
    EXPECT_EQ(SettingToInteger("1"), 1);
    EXPECT_EQ(SettingToInteger(" 0 "), 0);
    EXPECT_EQ(SettingToInteger("-32768"), -32768);
    EXPECT_EQ(SettingToInteger("2.5"), 2);  // rounds half to even
    for (const char* bad : {"", "True", "1x", "abc"})
        EXPECT_THROW(SettingToInteger(bad), std::runtime_error) << bad;
    EXPECT_THROW(SettingToInteger("40000"), std::runtime_error);
}

TEST(SettingConversions, BooleansForOptionButtons)
{
    EXPECT_TRUE(SettingToBoolean("True"));
    EXPECT_TRUE(SettingToBoolean("tRUE"));
    EXPECT_FALSE(SettingToBoolean("FALSE"));
    EXPECT_TRUE(SettingToBoolean("1"));
    EXPECT_TRUE(SettingToBoolean("-1"));
    EXPECT_FALSE(SettingToBoolean("0"));
    for (const char* bad : {"", "maybe", "Yes", "T"})
        EXPECT_THROW(SettingToBoolean(bad), std::runtime_error) << bad;
}

// The run's own settings: absent or empty gives the program's own number and
// no binary data; a text that is neither is reported naming the setting.
TEST(SettingConversions, StatementsPerRoundTripAndTransferBinary)
{
    testsupport::MemorySettings store;
    EXPECT_EQ(StatementsPerRoundTripSetting(store, 100), 100u);
    EXPECT_FALSE(TransferBinarySetting(store));
    const auto stored = [&](const std::string& text) {
        store.SaveSetting(kSettingsApplication, kSettingsSection, key::StatementsPerRoundTrip, text);
        return StatementsPerRoundTripSetting(store, 100);
    };
    EXPECT_EQ(stored(" 32767 "), 32767u);
    for (const char* bad : {"0", "40000", "2.5", "many"}) {
        try {
            stored(bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "The setting \"Statements Per Round Trip\" must be a number from 1 to 32767, not \""
                                    + std::string(bad) + "\".");
        }
    }
    EXPECT_FALSE(VerifyAfterConvertingSetting(store));
    store.SaveSetting(kSettingsApplication, kSettingsSection, key::VerifyAfterConverting, " true");
    EXPECT_TRUE(VerifyAfterConvertingSetting(store));
    for (const auto& [name, read] : {std::pair{key::TransferBinary, &TransferBinarySetting},
                                     std::pair{key::VerifyAfterConverting, &VerifyAfterConvertingSetting},
                                     std::pair{key::BulkCopy, &BulkCopySetting}}) {
        store.SaveSetting(kSettingsApplication, kSettingsSection, name, "yes please");
        try {
            read(store);
            ADD_FAILURE() << name;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "The setting \"" + std::string(name)
                                    + "\" holds \"yes please\"; it takes \"True\" or \"False\".");
        }
    }
}
