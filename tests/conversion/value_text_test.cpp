// Value texts of every kind of value, the Null guard, and the two recognitions.
#include "conversion/recognition.h"
#include "conversion/value_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <random>

using namespace conversion;
using paradox::Value;

namespace {
std::string Text(const Value& v, const RegionalSettings& s = {}) { return ValueText(v, s); }
}  // namespace

TEST(ValueText, IntegersBooleansBytes)
{
    EXPECT_EQ(Text(Value::ofInteger(0)), "0");
    EXPECT_EQ(Text(Value::ofInteger(-32768)), "-32768");
    EXPECT_EQ(Text(Value::ofInteger(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(Text(Value::ofBoolean(true)), "True");
    EXPECT_EQ(Text(Value::ofBoolean(false)), "False");
    EXPECT_EQ(Text(Value::ofBytes(std::string_view("\x01\xab", 2))), "0x01AB");
    EXPECT_EQ(Text(Value::ofBytes("")), "");
    EXPECT_EQ(Text(Value::null()), "");
}

TEST(ValueText, DoublesAreShortestRoundTripInGeneralForm)
{
    struct Case { double d; const char* text; };
    const Case cases[] = {
        {2.5, "2.5"}, {-2.5, "-2.5"}, {0.0, "0"}, {-0.0, "0"}, {100, "100"},
        {123456789012345.0, "123456789012345"}, {1e15, "1E+15"}, {1e20, "1E+20"},
        {1.5e-7, "1.5E-07"}, {0.0001, "0.0001"}, {0.00001, "1E-05"}, {1e-300, "1E-300"},
        {1.0 / 3.0, "0.3333333333333333"}, {0.1 + 0.2, "0.30000000000000004"},
        {std::numeric_limits<double>::max(), "1.7976931348623157E+308"},
        {std::numeric_limits<double>::denorm_min(), "5E-324"}, {12.34, "12.34"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(Value::ofDouble(c.d)), c.text) << c.d;

    RegionalSettings comma;
    comma.decimalSeparator = ",";
    EXPECT_EQ(Text(Value::ofDouble(2.5), comma), "2,5");
    EXPECT_EQ(Text(Value::ofCurrency(-1.25e-5), comma), "-1,25E-05");
}

TEST(ValueText, EveryDoubleReadsBackAsItself)
{
    std::mt19937_64 gen(42);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = gen();
        double d;
        static_assert(sizeof d == sizeof bits);
        std::memcpy(&d, &bits, sizeof d);
        if (!std::isfinite(d))
            continue;
        std::string text = Text(Value::ofDouble(d));
        ASSERT_TRUE(ReadsAsNumber(text, {})) << text;
        double back = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(r.ptr, text.data() + text.size()) << text;
        ASSERT_EQ(back, d) << text;
    }
}

TEST(ValueText, NonFiniteDoublesHaveNoText)
{
    EXPECT_EQ(Text(Value::ofDouble(std::numeric_limits<double>::quiet_NaN())), "");
    EXPECT_EQ(Text(Value::ofCurrency(std::numeric_limits<double>::infinity())), "");
}

TEST(ValueText, DatesTimesTimestamps)
{
    EXPECT_EQ(Text(Value::ofDate({2020, 12, 31})), "12/31/2020");
    EXPECT_EQ(Text(Value::ofDate({1, 1, 1})), "01/01/0001");
    EXPECT_EQ(Text(Value::ofDate({9999, 12, 31})), "12/31/9999");
    EXPECT_EQ(Text(Value::ofDate({10000, 1, 1})), "10000-01-01");
    EXPECT_EQ(Text(Value::ofDate({-2, 12, 31})), "-0002-12-31");
    EXPECT_EQ(Text(Value::ofDate({std::numeric_limits<std::int32_t>::min(), 1, 1})),
              "-2147483648-01-01");
    EXPECT_EQ(Text(Value::ofTime(0)), "00:00:00");
    EXPECT_EQ(Text(Value::ofTime(86'399'999)), "23:59:59");
    EXPECT_EQ(Text(Value::ofTime(86'400'000)), "86400000");
    EXPECT_EQ(Text(Value::ofTime(-5)), "-5");
    EXPECT_EQ(Text(Value::ofTimestamp({2020, 1, 2}, 0)), "01/02/2020");
    EXPECT_EQ(Text(Value::ofTimestamp({2020, 1, 2}, 500)), "01/02/2020 00:00:00");
    EXPECT_EQ(Text(Value::ofTimestamp({2020, 1, 2}, 45'296'789)), "01/02/2020 12:34:56");
}

TEST(ValueText, BcdKeepsItsDigitsWithTheRegionalSeparator)
{
    EXPECT_EQ(Text(Value::ofBcd("-0.0001")), "-0.0001");
    RegionalSettings comma;
    comma.decimalSeparator = ",";
    EXPECT_EQ(Text(Value::ofBcd("12345678901234567890123456789012.5"), comma),
              "12345678901234567890123456789012,5");
}

TEST(ValueText, NullToDefault)
{
    using paradox::Value;
    EXPECT_EQ(NullToDefault(Value::null(), Value::ofText("")).type, paradox::ValueType::Text);
    EXPECT_EQ(NullToDefault(Value::ofInteger(0), Value::ofText("")).integer, 0);
    EXPECT_EQ(NullToDefault(Value::ofInteger(0), Value::ofText("")).type, paradox::ValueType::Integer);
}

TEST(Recognition, Numbers)
{
    const RegionalSettings point;
    RegionalSettings comma;
    comma.decimalSeparator = ",";
    for (const char* yes : {"1", "-1", "+1.5", " 2.5 ", "1e5", "1E+20", "-1.5E-07", ".5", "5.", "007"})
        EXPECT_TRUE(ReadsAsNumber(yes, point)) << yes;
    for (const char* no : {"", " ", "-", ".", "1.2.3", "1,5", "1e", "e5", "abc", "1 2", "0x10",
                           "True", "12/31/2020", "1e5.5", "--1", "1-"})
        EXPECT_FALSE(ReadsAsNumber(no, point)) << no;
    EXPECT_TRUE(ReadsAsNumber("2,5", comma));
    EXPECT_FALSE(ReadsAsNumber("2.5", comma));
}

TEST(Recognition, DatesInMonthDayYearOrder)
{
    const RegionalSettings s;
    struct Case { const char* text; int y, m, d, h, mi, sec; };
    const Case cases[] = {
        {"12/31/2020", 2020, 12, 31, 0, 0, 0},
        {"2020-12-31", 2020, 12, 31, 0, 0, 0},
        {"31 December 2020", 2020, 12, 31, 0, 0, 0},
        {"December 31, 2020", 2020, 12, 31, 0, 0, 0},
        {"31-dec-2020", 2020, 12, 31, 0, 0, 0},
        {"1/2/2020", 2020, 1, 2, 0, 0, 0},
        {"10:30", 1899, 12, 30, 10, 30, 0},
        {"3:45 PM", 1899, 12, 30, 15, 45, 0},
        {"12:00 am", 1899, 12, 30, 0, 0, 0},
        {"12/31/2020 15:45:00", 2020, 12, 31, 15, 45, 0},
        {"2020-12-31T23:59:59.999", 2020, 12, 31, 23, 59, 59},
        {" 02/29/2020 ", 2020, 2, 29, 0, 0, 0},
        {"02/29/2000", 2000, 2, 29, 0, 0, 0},  // a century divisible by 400 is a leap year
    };
    for (const Case& c : cases) {
        auto v = ReadAsDate(c.text, s);
        ASSERT_TRUE(v) << c.text;
        EXPECT_EQ(v->date, (paradox::CivilDate{c.y, c.m, c.d})) << c.text;
        EXPECT_EQ(v->hour, c.h) << c.text;
        EXPECT_EQ(v->minute, c.mi) << c.text;
        EXPECT_EQ(v->second, c.sec) << c.text;
    }
    for (const char* no : {"3/4", "12", "1.5", "May", "May 2020", "2020", "02/29/2021", "04/31/2020",
                           "13/01/2020", "31/12/2020", "24:00", "10:60", "0:30 PM", "12/31/20",
                           "True", "Smith", "1,5", "10:30x", "12/31/2020 x", "2020-12-31 25:00",
                           "", "0000-01-01", "12/31/10000", "02/29/1900", "2100-02-29"})
        EXPECT_FALSE(ReadAsDate(no, s)) << no;
}

TEST(Recognition, EngineDateTextsReadBackAsTheSameDateAndTime)
{
    const RegionalSettings s;
    std::mt19937 gen(7);
    std::uniform_int_distribution<std::int64_t> day(0, paradox::DaysFromCivil({9999, 12, 31}));
    std::uniform_int_distribution<std::int64_t> ms(0, 86'399'999);
    for (int i = 0; i < 20000; ++i) {
        const auto date = paradox::CivilFromDays(day(gen));
        const std::int64_t t = ms(gen);
        const std::string text = Text(Value::ofTimestamp(date, t));
        auto v = ReadAsDate(text, s);
        ASSERT_TRUE(v) << text;
        EXPECT_EQ(v->date, date) << text;
        EXPECT_EQ(v->hour * 3600 + v->minute * 60 + v->second, t / 1000) << text;
        // The date rule writes the engine's own text back unchanged.
        std::string formatted;
        AppendDateFormatted(*v, t != 0, s, formatted);
        EXPECT_EQ(formatted, text);
    }
}

TEST(Calendar, DayNumbersAndCivilDatesAgree)
{
    EXPECT_EQ(paradox::CivilFromDays(0), (paradox::CivilDate{1, 1, 1}));
    EXPECT_EQ(paradox::DaysFromCivil({1, 1, 1}), 0);
    EXPECT_EQ(paradox::CivilFromDays(-1), (paradox::CivilDate{0, 12, 31}));
    EXPECT_EQ(paradox::DaysFromCivil({2000, 3, 1}) - paradox::DaysFromCivil({2000, 2, 28}), 2);
    for (std::int64_t d = -1000000; d < 4000000; d += 997)
        ASSERT_EQ(paradox::DaysFromCivil(paradox::CivilFromDays(d)), d) << d;
}
