// The value encodings one by one: integers with the flipped sign bit, dates,
// doubles, timestamps (and their fallback), BCD, and the text forms of values.
#include "paradox/record_text.h"
#include "paradox/sha256.h"
#include "paradox/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using paradox::Value;
using paradox::ValueType;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<std::uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<std::uint8_t>(b));
    return v;
}

TEST(Integers, FlippedSignBitBigEndian)
{
    const struct {
        std::vector<std::uint8_t> stored;
        std::optional<std::int64_t> value;
    } shorts[] = {
        {Bytes({0x80, 0x01}), 1}, {Bytes({0x81, 0x00}), 256}, {Bytes({0x7F, 0xFF}), -1},
        {Bytes({0x80, 0x00}), 0}, {Bytes({0x00, 0x00}), std::nullopt}, {Bytes({0xFF, 0xFF}), 32767},
        {Bytes({0x00, 0x01}), -32767},
    };
    for (const auto& c : shorts) {
        const Value v = paradox::DecodeShort(c.stored.data());
        if (!c.value) {
            EXPECT_TRUE(v.isNull());
            continue;
        }
        EXPECT_EQ(v.integer, *c.value);
        std::uint8_t back[2];
        paradox::StoreParadoxInt(back, 2, *c.value);
        EXPECT_EQ(std::vector<std::uint8_t>(back, back + 2), c.stored);
    }
    EXPECT_EQ(paradox::DecodeLong(Bytes({0x80, 0x00, 0x00, 0x01}).data()).integer, 1);
    EXPECT_EQ(paradox::DecodeLong(Bytes({0x7F, 0xFF, 0xFF, 0xFE}).data()).integer, -2);
    EXPECT_EQ(paradox::DecodeLong(Bytes({0x00, 0x00, 0x00, 0x01}).data()).integer, -2147483647);
    EXPECT_TRUE(paradox::DecodeLong(Bytes({0, 0, 0, 0}).data()).isNull());
}

TEST(Dates, DayOneIsTheFirstOfJanuaryOfYearOne)
{
    const struct {
        std::int64_t day;
        paradox::CivilDate date;
    } cases[] = {{1, {1, 1, 1}}, {36160, {100, 1, 1}}, {728783, {1996, 5, 4}}, {730120, {2000, 1, 1}},
                 {3652059, {9999, 12, 31}}, {-1, {0, 12, 30}}};
    for (const auto& c : cases) {
        std::uint8_t stored[4];
        paradox::StoreParadoxInt(stored, 4, c.day);
        const Value v = paradox::DecodeDate(stored);
        ASSERT_EQ(v.type, ValueType::Date);
        EXPECT_EQ(v.date, c.date) << c.day;
    }
}

TEST(Doubles, PositiveSetTheSignBitNegativeAreInverted)
{
    for (double d : {1.0, -1.0, 0.0, -0.0, 1e300, -1e-300, 3.14159, -2.5, std::numeric_limits<double>::max()}) {
        std::uint8_t stored[8];
        paradox::StoreParadoxDouble(stored, d);
        const Value v = paradox::DecodeNumber(stored);
        ASSERT_EQ(v.type, ValueType::Double) << d;
        EXPECT_EQ(std::signbit(v.number), std::signbit(d));
        EXPECT_EQ(v.number, d);
    }
    // 1.0 is 3F F0 00.. with the sign bit set; -1.0 is every byte of BF F0 00.. inverted.
    EXPECT_EQ(paradox::DecodeNumber(Bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}).data()).number, 1.0);
    EXPECT_EQ(paradox::DecodeNumber(Bytes({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).data()).number, -1.0);
    EXPECT_TRUE(paradox::DecodeNumber(Bytes({0, 0, 0, 0, 0, 0, 0, 0}).data()).isNull());
    EXPECT_EQ(paradox::DecodeCurrency(Bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}).data()).type, ValueType::Currency);
}

TEST(Timestamps, DateAndMillisecondsOrTheRawNumber)
{
    const auto at = [](double ms) {
        std::uint8_t stored[8];
        paradox::StoreParadoxDouble(stored, ms);
        return paradox::DecodeTimestamp(stored);
    };
    const double day = 86'400'000.0;
    Value v = at(730120 * day + 3'723'004);  // 2000-01-01 01:02:03.004
    ASSERT_EQ(v.type, ValueType::Timestamp);
    EXPECT_EQ(v.date, (paradox::CivilDate{2000, 1, 1}));
    EXPECT_EQ(v.milliseconds, 3'723'004);
    v = at(day);  // the first moment of 0001-01-01
    EXPECT_EQ(v.date, (paradox::CivilDate{1, 1, 1}));
    EXPECT_EQ(v.milliseconds, 0);
    v = at(-1.0);  // one millisecond before 0000-12-31
    EXPECT_EQ(v.date, (paradox::CivilDate{0, 12, 30}));
    EXPECT_EQ(v.milliseconds, 86'399'999);
    v = at(1e19);  // far beyond 64-bit milliseconds of any sane date, still a date
    ASSERT_EQ(v.type, ValueType::Timestamp);
    EXPECT_EQ(v.date, paradox::CivilFromDays(115'740'740'740 - 1));
    EXPECT_EQ(v.milliseconds, 64'000'000);
    v = at(day - 0.4);  // rounds up to the first moment of the next day
    EXPECT_EQ(v.date, (paradox::CivilDate{1, 1, 1}));
    EXPECT_EQ(v.milliseconds, 0);
    for (double odd : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN(), 1e30, -1e30}) {
        v = at(odd);
        ASSERT_EQ(v.type, ValueType::Double) << odd;
        EXPECT_TRUE(std::isnan(odd) ? std::isnan(v.number) : v.number == odd);
    }
}

TEST(Logicals, HighBitMarksAValue)
{
    EXPECT_TRUE(paradox::DecodeLogical(Bytes({0x81}).data()).boolean);
    EXPECT_FALSE(paradox::DecodeLogical(Bytes({0x80}).data()).boolean);
    EXPECT_EQ(paradox::DecodeLogical(Bytes({0x80}).data()).type, ValueType::Boolean);
    EXPECT_TRUE(paradox::DecodeLogical(Bytes({0x00}).data()).isNull());
}

TEST(Bcd, ExactDecimalTextWithItsScale)
{
    const struct {
        const char* in;
        int scale;
        const char* out;
    } cases[] = {
        {"1.23", 2, "1.23"},        {"-1.23", 2, "-1.23"},       {"-12.5", 2, "-12.50"},
        {"0", 2, "0.00"},           {"-0", 2, "0.00"},           {"007", 0, "7"},
        {"12345678901234567890123456789012", 0, "12345678901234567890123456789012"},
        {"-0.12345678901234567890123456789012", 32, "-0.12345678901234567890123456789012"},
        {"0.5", 32, "0.50000000000000000000000000000000"},
        {"99999999999999999999999999999.999", 3, "99999999999999999999999999999.999"},
    };
    for (const auto& c : cases) {
        std::uint8_t stored[17];
        ASSERT_TRUE(paradox::StoreBcd(stored, c.in, c.scale)) << c.in;
        std::string text;
        const Value v = paradox::DecodeBcd(stored, c.scale, text);
        ASSERT_EQ(v.type, ValueType::Bcd);
        EXPECT_EQ(v.text, c.out) << c.in;
    }
    std::uint8_t stored[17];
    EXPECT_FALSE(paradox::StoreBcd(stored, "123456789012345678901234567890123", 0));  // 33 digits
    EXPECT_FALSE(paradox::StoreBcd(stored, "1.234", 2));
}

TEST(Bcd, RefusesForeignScales)
{
    std::uint8_t stored[17];
    std::string text;
    EXPECT_TRUE(paradox::DecodeBcd(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).data(), 2, text).isNull());
    ASSERT_TRUE(paradox::StoreBcd(stored, "1.5", 2));
    EXPECT_THROW(paradox::DecodeBcd(stored, 3, text), std::domain_error);
}

TEST(RecordText, FormsOfTheDumpLines)
{
    EXPECT_EQ(paradox::EscapeText("a\\b\tc\nd\re\x01\x7F"), "a\\\\b\\tc\\nd\\re\\x01\\x7F");
    EXPECT_EQ(paradox::EscapeText("Zürich"), "Zürich");
    const struct {
        double d;
        const char* text;
    } numbers[] = {{33000000, "33000000"}, {0.1, "0.1"}, {-2.5, "-2.5"}, {0, "0"}, {1e20, "1e+20"},
                   {1.0 / 3, "0.3333333333333333"}, {1e-7, "1e-07"}, {1.5e17, "1.5e+17"}, {123456789012345678.0, "123456789012345680"}};
    for (const auto& n : numbers)
        EXPECT_EQ(paradox::FormatDouble(n.d), n.text);
    EXPECT_EQ(paradox::FormatDate({2020, 2, 1}), "2020-02-01");
    EXPECT_EQ(paradox::FormatTimeOfDay(3'601'001), "01:00:01.001");
    EXPECT_EQ(paradox::HexBytes("\x01\xAB"), "01ab");
    EXPECT_EQ(paradox::HexBytes("\x01\xAB", true), "01AB");
}

TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(paradox::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(paradox::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(paradox::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(paradox::Sha256Hex(std::string(1'000'000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
