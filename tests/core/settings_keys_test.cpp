// The conversions applied to stored texts when they go back into controls.
#include "core/settings_keys.h"

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
