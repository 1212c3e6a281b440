// The constants of typed columns.
#include "conversion/typed_value.h"

#include "conversion/batch_separator.h"
#include "conversion/value_text.h"

#include <charconv>
#include <cmath>

namespace conversion {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// MONEY holds -922,337,203,685,477.5808 to 922,337,203,685,477.5807.
constexpr double kMoneyLimit = 922'337'203'685'477.5807;

void AppendPadded(std::int64_t v, int width, std::string& out)
{
    char buf[24];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    for (auto n = result.ptr - buf; n < width; ++n)
        out.push_back('0');
    out.append(buf, result.ptr);
}

bool InDateRange(const paradox::CivilDate& d)
{
    return d.year >= 1 && d.year <= 9999;
}

bool InDay(std::int64_t ms)
{
    return ms >= 0 && ms < kMillisecondsPerDay;
}

// YYYY-MM-DD: read the same under every language and DATEFORMAT by DATE and DATETIME2.
void AppendIsoDate(const paradox::CivilDate& d, std::string& out)
{
    AppendPadded(d.year, 4, out);
    out += '-';
    AppendPadded(d.month, 2, out);
    out += '-';
    AppendPadded(d.day, 2, out);
}

void AppendIsoTime(std::int64_t ms, std::string& out)
{
    AppendPadded(ms / 3'600'000, 2, out);
    out += ':';
    AppendPadded(ms / 60'000 % 60, 2, out);
    out += ':';
    AppendPadded(ms / 1000 % 60, 2, out);
    out += '.';
    AppendPadded(ms % 1000, 3, out);
}

TypedOutcome AppendText(std::string_view text, Dialect dialect, std::string& out)
{
    if (text.empty())
        return TypedOutcome::Null;
    AppendStringConstant(text, dialect, /*unicode=*/true, out);
    return TypedOutcome::Written;
}

// A value of another kind than its column's: its value text, for the server to convert.
TypedOutcome AppendOther(const paradox::Value& value, Dialect dialect, std::string& out)
{
    if (value.type == paradox::ValueType::Text)
        return AppendText(value.text, dialect, out);
    return AppendText(ValueText(value, RegionalSettings{}), dialect, out);
}

TypedOutcome AppendNumber(const paradox::Value& value, double limit, Dialect dialect, std::string& out)
{
    using paradox::ValueType;
    if (value.type == ValueType::Integer) {
        AppendValueText(value, RegionalSettings{}, out);
        return TypedOutcome::Written;
    }
    if (value.type != ValueType::Double && value.type != ValueType::Currency)
        return AppendOther(value, dialect, out);
    if (!std::isfinite(value.number) || std::fabs(value.number) > limit)
        return TypedOutcome::OutOfRange;
    AppendDouble(value.number, ".", out);
    return TypedOutcome::Written;
}

TypedOutcome AppendDateTime(TypedKind kind, const paradox::Value& value, Dialect dialect, std::string& out)
{
    using paradox::ValueType;
    const bool hasDate = value.type == ValueType::Date || value.type == ValueType::Timestamp;
    const bool hasTime = value.type == ValueType::Time || value.type == ValueType::Timestamp;
    const bool fits = (kind == TypedKind::Date && hasDate) || (kind == TypedKind::Time && hasTime)
        || (kind == TypedKind::DateTime && hasDate);
    if (!fits)
        return AppendOther(value, dialect, out);
    if ((hasDate && !InDateRange(value.date)) || (hasTime && !InDay(value.milliseconds)))
        return TypedOutcome::OutOfRange;
    out += '\'';
    if (kind != TypedKind::Time)
        AppendIsoDate(value.date, out);
    if (kind == TypedKind::DateTime)
        out += 'T';
    if (kind != TypedKind::Date)
        AppendIsoTime(hasTime ? value.milliseconds : 0, out);
    out += '\'';
    return TypedOutcome::Written;
}

}  // namespace

void AppendQuotedText(std::string_view v, std::string& out)
{
    for (auto special = v.find_first_of("'\\"); special != std::string_view::npos;
         special = v.find_first_of("'\\")) {
        out.append(v.data(), special + 1);
        v.remove_prefix(special + 1);
        if (out.back() == '\'') {
            out += '\'';
            continue;
        }
        const std::size_t lineBreak = v.starts_with('\n') ? 1 : v.starts_with("\r\n") ? 2 : 0;
        if (lineBreak > 0) {
            out += '\\';
            out.append(v.data(), lineBreak);
        }
    }
    out += v;
}

TypedOutcome AppendTypedValue(TypedKind kind, const paradox::Value& value, Dialect dialect, std::string& out)
{
    using paradox::ValueType;
    if (value.isNull())
        return TypedOutcome::Null;
    switch (kind) {
    case TypedKind::Text:
        return AppendOther(value, dialect, out);
    case TypedKind::Integer:
    case TypedKind::Float:
        return AppendNumber(value, HUGE_VAL, dialect, out);
    case TypedKind::Money:
        return AppendNumber(value, kMoneyLimit, dialect, out);
    case TypedKind::Decimal:
        if (value.type != ValueType::Bcd)
            return AppendNumber(value, HUGE_VAL, dialect, out);
        out += value.text;
        return TypedOutcome::Written;
    case TypedKind::Date:
    case TypedKind::Time:
    case TypedKind::DateTime:
        return AppendDateTime(kind, value, dialect, out);
    case TypedKind::Bit:
        if (value.type != ValueType::Boolean)
            return AppendOther(value, dialect, out);
        out += value.boolean ? '1' : '0';
        return TypedOutcome::Written;
    case TypedKind::Bytes:
    case TypedKind::Binary:
        // SQL Server converts no text to bytes by itself: a value of another
        // kind goes in as the bytes of its value text.
        AppendBinary(dialect, value.type == ValueType::Bytes ? value.text : ValueText(value, RegionalSettings{}),
                     out);
        return TypedOutcome::Written;
    }
    return AppendOther(value, dialect, out);
}

}  // namespace conversion
