// Field value encodings of Paradox records, both directions.
#include "paradox/values.h"

#include "paradox/endian.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace paradox {

namespace {

// Days from 0001-01-01 (Paradox day 1) to the limit of a 32-bit year.
constexpr double kMaxTimestampDays = 7.8e11;

}  // namespace

Value DecodeShort(const std::uint8_t* p)
{
    const std::uint16_t raw = LoadBe16(p);
    if (raw == 0)
        return Value::null();
    return Value::ofInteger(static_cast<std::int16_t>(raw ^ 0x8000u));
}

Value DecodeLong(const std::uint8_t* p)
{
    const std::uint32_t raw = LoadBe32(p);
    if (raw == 0)
        return Value::null();
    return Value::ofInteger(static_cast<std::int32_t>(raw ^ 0x80000000u));
}

Value DecodeDate(const std::uint8_t* p)
{
    const std::uint32_t raw = LoadBe32(p);
    if (raw == 0)
        return Value::null();
    const std::int64_t day = static_cast<std::int32_t>(raw ^ 0x80000000u);
    return Value::ofDate(CivilFromDays(day - 1));
}

Value DecodeTime(const std::uint8_t* p)
{
    const std::uint32_t raw = LoadBe32(p);
    if (raw == 0)
        return Value::null();
    return Value::ofTime(static_cast<std::int32_t>(raw ^ 0x80000000u));
}

bool LoadParadoxDouble(const std::uint8_t* p, double& out)
{
    std::uint64_t raw = LoadBe64(p);
    if (raw == 0)
        return false;
    // Positive values have the sign bit set; negative ones are stored inverted.
    raw = (raw & 0x8000000000000000ull) ? (raw & 0x7FFFFFFFFFFFFFFFull) : ~raw;
    out = std::bit_cast<double>(raw);
    return true;
}

void StoreParadoxDouble(std::uint8_t* p, double value)
{
    std::uint64_t raw = std::bit_cast<std::uint64_t>(value);
    raw = (raw & 0x8000000000000000ull) ? ~raw : (raw | 0x8000000000000000ull);
    StoreBe64(p, raw);
}

void StoreParadoxInt(std::uint8_t* p, int size, std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    for (int i = 0; i < size; ++i)
        p[i] = static_cast<std::uint8_t>(bits >> (8 * (size - 1 - i)));
    p[0] ^= 0x80;
}

Value DecodeNumber(const std::uint8_t* p)
{
    double d = 0;
    return LoadParadoxDouble(p, d) ? Value::ofDouble(d) : Value::null();
}

Value DecodeCurrency(const std::uint8_t* p)
{
    double d = 0;
    return LoadParadoxDouble(p, d) ? Value::ofCurrency(d) : Value::null();
}

Value DecodeTimestamp(const std::uint8_t* p)
{
    double ms = 0;
    if (!LoadParadoxDouble(p, ms))
        return Value::null();
    // Milliseconds since 0000-12-31; what does not make a date is handed on
    // as the stored number so nothing is lost. The day is split off first so
    // that no step overflows 64 bits.
    if (!std::isfinite(ms))
        return Value::ofDouble(ms);
    const double dayCount = std::floor(ms / kMillisPerDay);
    if (std::fabs(dayCount) > kMaxTimestampDays)
        return Value::ofDouble(ms);
    auto days = static_cast<std::int64_t>(dayCount);
    std::int64_t msOfDay = std::llround(ms - dayCount * kMillisPerDay);
    if (msOfDay >= kMillisPerDay) {
        msOfDay -= kMillisPerDay;
        ++days;
    } else if (msOfDay < 0) {
        msOfDay += kMillisPerDay;
        --days;
    }
    return Value::ofTimestamp(CivilFromDays(days - 1), msOfDay);
}

Value DecodeLogical(const std::uint8_t* p)
{
    if (p[0] == 0)
        return Value::null();
    return Value::ofBoolean((p[0] & 0x7F) != 0);
}

Value DecodeBcd(const std::uint8_t* p, int scale, std::string& text)
{
    if (p[0] == 0)
        return Value::null();
    const bool negative = (p[0] & 0x80) == 0;
    const int storedScale = p[0] & 0x3F;
    if (storedScale != scale)
        throw std::domain_error("BCD value has " + std::to_string(storedScale) + " decimals, the field " +
                                std::to_string(scale));
    const std::uint8_t flip = negative ? 0x0F : 0x00;
    const int intDigits = 32 - scale;
    // Some writers store fewer decimals than the field has and leave nibbles
    // above 9 after them: the digits end at the first such nibble. One in the
    // whole part or the first decimal leaves no value worth the name.
    char digits[32];
    int count = 0;
    for (; count < 32; ++count) {
        const std::uint8_t byte = p[1 + count / 2];
        const std::uint8_t nibble = static_cast<std::uint8_t>(((count % 2) ? byte & 0x0F : byte >> 4) ^ flip);
        if (nibble > 9)
            break;
        digits[count] = static_cast<char>('0' + nibble);
    }
    if (count < 32 && count <= intDigits)
        throw std::domain_error("BCD value has a digit outside 0-9");
    int first = 0;
    while (first < intDigits - 1 && digits[first] == '0')
        ++first;
    const bool zero = std::all_of(digits, digits + count, [](char c) { return c == '0'; });
    text.clear();
    if (negative && !zero)
        text += '-';
    if (intDigits > 0)
        text.append(digits + first, static_cast<std::size_t>(intDigits - first));
    else
        text += '0';
    if (scale > 0) {
        text += '.';
        text.append(digits + intDigits, static_cast<std::size_t>(count - intDigits));
    }
    return Value::ofBcd(text);
}

bool StoreBcd(std::uint8_t* p, std::string_view decimal, int scale)
{
    bool negative = false;
    if (!decimal.empty() && (decimal[0] == '-' || decimal[0] == '+')) {
        negative = decimal[0] == '-';
        decimal.remove_prefix(1);
    }
    const auto dot = decimal.find('.');
    std::string_view intPart = decimal.substr(0, dot);
    std::string_view fracPart = dot == std::string_view::npos ? std::string_view{} : decimal.substr(dot + 1);
    while (intPart.size() > 1 && intPart[0] == '0')
        intPart.remove_prefix(1);
    if (intPart == "0")
        intPart = {};
    if (static_cast<int>(intPart.size()) > 32 - scale || static_cast<int>(fracPart.size()) > scale)
        return false;
    char digits[32];
    std::memset(digits, 0, sizeof digits);
    const int intStart = 32 - scale - static_cast<int>(intPart.size());
    for (std::size_t i = 0; i < intPart.size(); ++i)
        digits[intStart + static_cast<int>(i)] = static_cast<char>(intPart[i] - '0');
    for (std::size_t i = 0; i < fracPart.size(); ++i)
        digits[32 - scale + static_cast<int>(i)] = static_cast<char>(fracPart[i] - '0');
    for (char d : digits) {
        if (d < 0 || d > 9)
            return false;
    }
    const std::uint8_t flip = negative ? 0x0F : 0x00;
    p[0] = static_cast<std::uint8_t>((negative ? 0x00 : 0x80) | scale);
    for (int i = 0; i < 16; ++i)
        p[1 + i] = static_cast<std::uint8_t>(((digits[2 * i] ^ flip) << 4) | (digits[2 * i + 1] ^ flip));
    return true;
}

}  // namespace paradox
