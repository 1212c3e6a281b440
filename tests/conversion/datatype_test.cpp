// The type name table and the rules: every named code, codes without a name,
// and the order in which the keywords are tested.
#include "conversion/datatype.h"

#include <gtest/gtest.h>

#include <map>

using conversion::ClassifyCode;
using Datatype::DatatypeName;

TEST(DatatypeName, AllThirtyNineNamesExactly)
{
    const std::map<int, std::string> expected{
        {0, "adEmpty"}, {2, "adSmallInt"}, {3, "adInteger"}, {4, "adSingle"}, {5, "adDouble"},
        {6, "adCurrency"}, {7, "adDate"}, {8, "adBSTR"}, {9, "adIDispatch"}, {10, "adError"},
        {11, "adBoolean"}, {12, "adVariant"}, {13, "adIUnknown"}, {14, "adDecimal"},
        {16, "adTinyInt"}, {17, "adUnsignedTinyInt"}, {18, "adUnsignedSmallInt"},
        {19, "adUnsignedInt"}, {20, "adBigInt"}, {21, "adUnsignedBigInt"}, {64, "adFileTime"},
        {72, "adGUID"}, {128, "adBinary"}, {129, "adChar"}, {130, "adWChar"}, {131, "adNumeric"},
        {132, "adUserDefined"}, {133, "adDBDate"}, {134, "adDBTime"}, {135, "adDBTimeStamp"},
        {136, "adChapter"}, {138, "adPropVariant"}, {139, "adVarNumeric"}, {200, "adVarChar"},
        {201, "adLongVarChar"}, {202, "adVarWChar"}, {203, "adLongVarWChar"},
        {204, "adVarBinary"}, {205, "adLongVarBinary"}};
    ASSERT_EQ(expected.size(), 39u);
    int named = 0;
    for (int code = -32768; code <= 32767; ++code) {
        const auto name = DatatypeName(static_cast<std::int16_t>(code));
        auto it = expected.find(code);
        if (it == expected.end()) {
            EXPECT_TRUE(name.empty()) << code;
        } else {
            EXPECT_EQ(name, it->second) << code;
            ++named;
        }
    }
    EXPECT_EQ(named, 39);
}

struct RuleCase {
    std::int16_t code;
    const char* paradoxType;
    const char* sqlType;
    bool numeric;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << "code " << c.code; }

class TypeRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(TypeRules, CodeGivesColumnTypeRecordTextsAndNumericFlag)
{
    const RuleCase& c = GetParam();
    const auto& rule = ClassifyCode(c.code);
    EXPECT_EQ(rule.paradoxType, c.paradoxType);
    EXPECT_EQ(rule.sqlType, c.sqlType);
    EXPECT_EQ(rule.numeric, c.numeric);
}

INSTANTIATE_TEST_SUITE_P(
    EveryNamedCode, TypeRules,
    ::testing::Values(
        RuleCase{129, "char", "TEXT", false}, RuleCase{130, "char", "TEXT", false},
        RuleCase{200, "char", "TEXT", false}, RuleCase{201, "char", "TEXT", false},
        RuleCase{202, "char", "TEXT", false}, RuleCase{203, "char", "TEXT", false},
        RuleCase{14, "decimal", "DECIMAL", true},
        RuleCase{4, "single", "FLOAT", true},
        RuleCase{2, "int", "INT", true}, RuleCase{3, "int", "INT", true},
        RuleCase{16, "int", "INT", true}, RuleCase{17, "int", "INT", true},
        RuleCase{18, "int", "INT", true}, RuleCase{19, "int", "INT", true},
        RuleCase{20, "int", "INT", true}, RuleCase{21, "int", "INT", true},
        // SQL Server has no BLOB type: binary fields become VARBINARY(MAX) columns.
        RuleCase{205, "adlongvarbinary", "VARBINARY(MAX)", false},
        RuleCase{131, "numeric", "FLOAT", true},
        RuleCase{139, "numeric", "FLOAT", true},
        RuleCase{7, "date", "TEXT", false}, RuleCase{133, "date", "TEXT", false},
        RuleCase{135, "timestamp", "TEXT", false},
        RuleCase{5, "double", "FLOAT", true},
        RuleCase{0, "OTHER TYPES", "TEXT", false},
        RuleCase{6, "OTHER TYPES", "TEXT", false},
        RuleCase{8, "OTHER TYPES", "TEXT", false},
        RuleCase{9, "OTHER TYPES", "TEXT", false},
        RuleCase{10, "OTHER TYPES", "TEXT", false},
        RuleCase{11, "OTHER TYPES", "TEXT", false},
        RuleCase{12, "OTHER TYPES", "TEXT", false},
        RuleCase{13, "OTHER TYPES", "TEXT", false},
        RuleCase{64, "OTHER TYPES", "TEXT", false},
        RuleCase{72, "OTHER TYPES", "TEXT", false},
        RuleCase{128, "OTHER TYPES", "TEXT", false},
        RuleCase{132, "OTHER TYPES", "TEXT", false},
        RuleCase{134, "OTHER TYPES", "TEXT", false},
        RuleCase{136, "OTHER TYPES", "TEXT", false},
        RuleCase{138, "OTHER TYPES", "TEXT", false},
        RuleCase{204, "OTHER TYPES", "TEXT", false},
        RuleCase{300, "OTHER TYPES", "TEXT", false},
        RuleCase{-1, "OTHER TYPES", "TEXT", false}));

TEST(TypeRules, FirstMatchingKeywordWinsInRuleOrder)
{
    using conversion::Classify;
    // "char" comes before everything; "adlongvarbinary" before "int" would matter
    // only for names holding both, which is why the order is part of the mapping.
    EXPECT_EQ(Classify("adlongvarchar").paradoxType, "char");
    EXPECT_EQ(Classify("charint").paradoxType, "char");
    EXPECT_EQ(Classify("intdecimal").paradoxType, "decimal");
    EXPECT_EQ(Classify("dbtimestampdate").paradoxType, "date");
    EXPECT_EQ(Classify("addbtime").paradoxType, "OTHER TYPES");
    EXPECT_EQ(Classify("").paradoxType, "OTHER TYPES");
    // The test is case-sensitive: the caller lower-cases.
    EXPECT_EQ(Classify("adInteger").paradoxType, "OTHER TYPES");
}
