// Turning typed values into their value texts, without allocating beyond the
// output buffer.
#include "conversion/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace conversion {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

void AppendInteger(std::int64_t i, std::string& out)
{
    char buf[24];
    auto result = std::to_chars(buf, buf + sizeof buf, i);
    out.append(buf, result.ptr);
}

void AppendPadded(std::int64_t v, int width, std::string& out)
{
    char buf[24];
    auto result = std::to_chars(buf, buf + sizeof buf, v);
    for (int n = static_cast<int>(result.ptr - buf); n < width; ++n)
        out.push_back('0');
    out.append(buf, result.ptr);
}

void AppendDate(const paradox::CivilDate& d, const RegionalSettings& settings, std::string& out)
{
    if (d.year >= 1 && d.year <= 9999) {
        AppendPadded(d.month, 2, out);
        out += settings.dateSeparator;
        AppendPadded(d.day, 2, out);
        out += settings.dateSeparator;
        AppendPadded(d.year, 4, out);
        return;
    }
    // No mm/dd/yyyy form exists for such a year: keep what the file holds.
    if (d.year < 0)
        out.push_back('-');
    AppendPadded(std::llabs(static_cast<std::int64_t>(d.year)), 4, out);
    out.push_back('-');
    AppendPadded(d.month, 2, out);
    out.push_back('-');
    AppendPadded(d.day, 2, out);
}

// A time of day; a damaged value that is no time of day keeps its number.
void AppendTime(std::int64_t ms, const RegionalSettings& settings, std::string& out)
{
    if (ms < 0 || ms >= kMillisecondsPerDay) {
        AppendInteger(ms, out);
        return;
    }
    const std::int64_t seconds = ms / 1000;
    AppendPadded(seconds / 3600, 2, out);
    out += settings.timeSeparator;
    AppendPadded(seconds / 60 % 60, 2, out);
    out += settings.timeSeparator;
    AppendPadded(seconds % 60, 2, out);
}

void AppendHex(std::string_view bytes, std::string& out)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "0x";
    for (unsigned char b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
}

}  // namespace

void AppendDouble(double d, const std::string& decimalSeparator, std::string& out)
{
    if (d == 0.0) {
        out.push_back('0');
        return;
    }
    // Shortest round-trip digits in scientific form: [-]d[.ddd]e[+-]xx
    char buf[40];
    auto result = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    const char* p = buf;
    const char* end = result.ptr;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    char digits[24];
    int count = 0;
    while (p < end && *p != 'e') {
        if (*p != '.')
            digits[count++] = *p;
        ++p;
    }
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);

    if (negative)
        out.push_back('-');
    if (exponent < -4 || exponent >= 15) {
        out.push_back(digits[0]);
        if (count > 1) {
            out += decimalSeparator;
            out.append(digits + 1, static_cast<std::size_t>(count - 1));
        }
        out.push_back('E');
        out.push_back(exponent < 0 ? '-' : '+');
        AppendPadded(std::abs(exponent), 2, out);
    } else if (exponent >= 0) {
        const int integerDigits = exponent + 1;
        for (int i = 0; i < integerDigits; ++i)
            out.push_back(i < count ? digits[i] : '0');
        if (count > integerDigits) {
            out += decimalSeparator;
            out.append(digits + integerDigits, static_cast<std::size_t>(count - integerDigits));
        }
    } else {
        out.push_back('0');
        out += decimalSeparator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits, static_cast<std::size_t>(count));
    }
}

void AppendValueText(const paradox::Value& v, const RegionalSettings& settings, std::string& out)
{
    using paradox::ValueType;
    switch (v.type) {
    case ValueType::Null:
        return;
    case ValueType::Text:
        out += v.text;
        return;
    case ValueType::Integer:
        AppendInteger(v.integer, out);
        return;
    case ValueType::Double:
    case ValueType::Currency:
        if (std::isfinite(v.number))
            AppendDouble(v.number, settings.decimalSeparator, out);
        return;
    case ValueType::Bcd:
        for (char c : v.text) {
            if (c == '.')
                out += settings.decimalSeparator;
            else
                out.push_back(c);
        }
        return;
    case ValueType::Boolean:
        out += v.boolean ? "True" : "False";
        return;
    case ValueType::Date:
        AppendDate(v.date, settings, out);
        return;
    case ValueType::Time:
        AppendTime(v.milliseconds, settings, out);
        return;
    case ValueType::Timestamp:
        AppendDate(v.date, settings, out);
        if (v.milliseconds != 0) {
            out.push_back(' ');
            AppendTime(v.milliseconds, settings, out);
        }
        return;
    case ValueType::Bytes:
        if (!v.text.empty())
            AppendHex(v.text, out);
        return;
    }
}

std::string ValueText(const paradox::Value& v, const RegionalSettings& settings)
{
    std::string out;
    AppendValueText(v, settings, out);
    return out;
}

}  // namespace conversion
