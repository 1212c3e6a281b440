// Every value of every table of the shared corpus (tables made by Paradox
// software) against its reference dump made with an independent library; none
// of them is reported damaged.
#include "paradox/error.h"
#include "paradox/record_text.h"
#include "paradox/table.h"
#include "tests/support/pxdump.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using paradox::FieldType;
using paradox::Value;
using paradox::ValueType;

using testsupport::Dump;
using testsupport::DumpRecord;
using Case = testsupport::DumpedTable;

bool IsDecimal(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("-.0123456789") == std::string::npos;
}


class RealTable : public ::testing::TestWithParam<Case> {};

// Compares one value with the dump's text for it; returns a message when they differ.
std::string Compare(paradox::Table& table, std::size_t i, const std::string& expected)
{
    const paradox::Field& f = table.fields()[i];
    if (f.type == FieldType::Bcd && expected != "\\N" && !IsDecimal(expected)) {
        // The dump prints nibbles above 9 as the characters after '9'; the value
        // ends before the first of them.
        const std::string digits = expected.substr(0, expected.find_first_not_of("-.0123456789"));
        const Value v = table.value(i);
        return v.type == ValueType::Bcd && v.text == digits ? "" : "BCD noise: " + std::string(v.text);
    }
    const Value v = table.value(i);
    if (expected == "\\N")
        return v.isNull() ? std::string() : "expected NULL";
    if (v.isNull())
        return "got NULL, expected " + expected;
    switch (f.type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement:
        return v.type == ValueType::Integer && v.integer == std::stoll(expected) ? "" : "integer differs";
    case FieldType::Number:
    case FieldType::Currency: {
        const ValueType want = f.type == FieldType::Number ? ValueType::Double : ValueType::Currency;
        return v.type == want && v.number == std::strtod(expected.c_str(), nullptr) ? "" : "number differs";
    }
    case FieldType::Logical:
        return v.type == ValueType::Boolean && (v.boolean ? "true" : "false") == expected ? "" : "boolean differs";
    case FieldType::Bcd:
        return v.type == ValueType::Bcd && testsupport::NormalDecimal(std::string(v.text)) == testsupport::NormalDecimal(expected) &&
                       std::string(v.text).find('.') == (f.scale() > 0 ? std::string(v.text).size() - f.scale() - 1 : std::string::npos)
                   ? ""
                   : "BCD differs: " + std::string(v.text);
    case FieldType::Date:
        return v.type == ValueType::Date && paradox::FormatDate(v.date) == expected ? "" : "date differs";
    case FieldType::Time:
        return v.type == ValueType::Time && paradox::FormatTimeOfDay(v.milliseconds) == expected ? "" : "time differs";
    case FieldType::Timestamp:
        return v.type == ValueType::Timestamp &&
                       paradox::FormatDate(v.date) + " " + paradox::FormatTimeOfDay(v.milliseconds) == expected
                   ? ""
                   : "timestamp differs";
    case FieldType::Alpha:
    case FieldType::Memo:
        return v.type == ValueType::Text && paradox::EscapeText(v.text) == expected ? "" : "text differs";
    case FieldType::FormattedMemo:
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
    case FieldType::Bytes: {
        if (v.type != ValueType::Bytes)
            return "expected bytes";
        const std::string got = paradox::FormatValue(v, f.type, table.textDecoder());
        return got == expected ? "" : "bytes differ: " + got.substr(0, 100);
    }
    }
    return "unknown type";
}

TEST_P(RealTable, EveryValueEqualsTheReferenceDump)
{
    const Case& c = GetParam();
    const Dump dump = testsupport::ReadDump(c.dump);
    auto table = paradox::Table::open(c.table);
    ASSERT_EQ(table->fieldCount(), dump.fields.size());
    EXPECT_EQ(table->recordCount(), dump.recordCount);
    for (std::size_t i = 0; i < dump.fields.size(); ++i) {
        EXPECT_EQ(table->fields()[i].name, dump.fields[i].name);
        EXPECT_EQ(static_cast<int>(table->fields()[i].type), dump.fields[i].typeCode);
    }
    std::size_t n = 0;
    int failures = 0;
    while (table->next()) {
        ASSERT_LT(n, dump.records.size()) << "more records than the dump";
        const DumpRecord& rec = dump.records[n];
        ASSERT_EQ(rec.values.size(), table->fieldCount());
        for (std::size_t i = 0; i < rec.values.size() && failures < 10; ++i) {
            const std::string problem = Compare(*table, i, rec.values[i]);
            if (!problem.empty()) {
                ++failures;
                ADD_FAILURE() << c.label << " record " << n << " field " << dump.fields[i].name << ": " << problem
                              << " (dump: " << rec.values[i].substr(0, 100) << ")";
            }
            const auto raw = rec.raw.find(i);
            if (raw != rec.raw.end() && problem.empty() && table->fields()[i].type == FieldType::Alpha) {
                EXPECT_EQ(paradox::HexBytes(table->rawText(i), true), raw->second);
            }
        }
        ++n;
    }
    EXPECT_EQ(n, dump.records.size());
    // Free blocks outside the chain (biolife.db, FILMS.DB, RENTAL.DB) are no damage.
    EXPECT_EQ(table->damage().value_or(""), "");
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealTable, ::testing::ValuesIn(testsupport::DumpedTables()),
                         [](const ::testing::TestParamInfo<Case>& p) { return p.param.label; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealTable);

TEST(RealTableCorpus, IsPresentWithAllTables)
{
    if (!testsupport::paradoxTestdata())
        GTEST_SKIP() << testsupport::kNoTestdata;
    EXPECT_EQ(testsupport::DumpedTables().size(), 77u);
}

// bcd.db keeps 0.123, -0.123 and 0.9999 in a field of 32 decimals as the
// digits of the nearest doubles, followed by nibbles above 9.
TEST(RealTableCorpus, BcdDigitsEndBeforeTheNoiseAfterThem)
{
    const auto dir = testsupport::paradoxTestdata();
    if (!dir)
        GTEST_SKIP() << testsupport::kNoTestdata;
    auto table = paradox::Table::open(*dir / "paradoxdriver/fields/bcd.db");
    const struct {
        const char* text;
        double number;
    } expected[] = {{"0.1229999999999999980", 0.123}, {"-0.1229999999999999980", -0.123},
                    {"0.9999000000000000118", 0.9999}};
    for (const auto& e : expected) {
        ASSERT_TRUE(table->next());
        const Value v = table->value(2);
        ASSERT_EQ(v.type, ValueType::Bcd);
        EXPECT_EQ(v.text, e.text);
        EXPECT_EQ(std::strtod(std::string(v.text).c_str(), nullptr), e.number) << v.text;
    }
}

// The code page comes from the header, else from the language driver named
// after the field numbers (ROMAN8.db has code page 0 and "BLROM800").
TEST(RealTableCorpus, TextEncodingFollowsHeaderThenLanguageDriver)
{
    const auto dir = testsupport::paradoxTestdata();
    if (!dir)
        GTEST_SKIP() << testsupport::kNoTestdata;
    const struct {
        const char* table;
        const char* encoding;
    } cases[] = {
        {"paradoxdriver/db/ROMAN8.db", "HP-ROMAN8"},
        {"paradoxdriver/db/GENERAL.DB", "CP936"},
        {"paradoxdriver/db/AREACODES.DB", "CP1252"},
        {"paradoxdriver/mtdemo/STORE.DB", "CP437"},  // version 3: no code page, no driver name
        {"dbdemos/country.db", "CP850"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(paradox::Table::open(*dir / c.table)->textEncoding(), c.encoding) << c.table;
}

}  // namespace
