// The 8-bit codes of characters and the names the walk refuses.
#include "sources/add_folder.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiCode, IsTheWindows1252CodeOr63)
{
    const struct {
        char32_t character;
        int code;
    } cases[] = {
        {U'A', 65},      {U'\x7F', 127},  {U'\u20AC', 128}, {U'\u201A', 130}, {U'\u2013', 150},
        {U'\u2014', 151}, {U'\u0178', 159}, {U'\u0081', 129}, {U'\u009D', 157}, {U'\u0080', 63},
        {U'\u0096', 63},  {U'\u00A0', 160}, {U'\u00E9', 233}, {U'\u00FF', 255}, {U'\u0100', 63},
        {U'\u03A9', 63},  {U'\U0001F600', 63},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddFolder::AnsiCode(c.character), c.code) << static_cast<unsigned>(c.character);
}

TEST(HasOddChars, RefusesControlsTheHighControlRangeAndQuestionMarks)
{
    const struct {
        const char* name;
        bool odd;
    } cases[] = {
        {"", false},
        {"Data 2021", false},
        {"Grüße", false},                // 252, 223
        {"\xC2\xA0nbsp", false},          // 160
        {"\xC2\xA1", false},              // 161
        {"~tilde", false},                // 126
        {"a?b", true},                    // 63
        {"tab\there", true},              // 9
        {"\x1F", true},                   // 31
        {"del\x7F", true},                // 127
        {"Vertrag \xE2\x80\x93 2021", true},  // en dash, 150
        {"\xE2\x82\xAC", true},           // euro sign, 128
        {"\xC5\xB8", true},               // Y with diaeresis, 159
        {"\xCE\xA9mega", true},           // Greek omega: not in the code page, 63
        {"\xE6\x97\xA5", true},           // a CJK character, 63
        {"bad\xFFutf8", true},            // not UTF-8: 63
        {"cut\xC3", true},                // a sequence cut short
        {"\xC0\xAF", true},               // an overlong "/"
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddFolder::HasOddChars(c.name), c.odd) << c.name;
}

TEST(MatchesPattern, IsWildcardMatchingWithoutRegardToLetterCase)
{
    const struct {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"orders.db", "*.db", true},    {"ORDERS.DB", "*.db", true},   {"Orders.Db", "*.DB", true},
        {".db", "*.db", true},          {".hidden.db", "*.db", true},  {"orders.dbf", "*.db", false},
        {"orders.db.bak", "*.db", false}, {"ordersdb", "*.db", false}, {"db", "*.db", false},
        {"ÄRGER.DB", "*.db", true},     {"ärger.db", "ÄRGER.*", true}, {"a.db", "?.db", true},
        {"ab.db", "?.db", false},       {"é.db", "?.db", true},        {"aXbYc", "a*b*c", true},
        {"ab", "a*b*c", false},         {"anything", "*", true},       {"", "*", true},
        {"abc", "abc", true},           {"abd", "abc", false},         {"a.b.db", "*.*.db", true},
        {"x\xFF.db", "*.db", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddFolder::MatchesPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

}  // namespace
