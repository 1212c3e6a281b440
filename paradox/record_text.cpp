// The record-line text of values, shared by the dump command and the tests
// that compare against reference dumps.
#include "paradox/record_text.h"

#include "paradox/codepage.h"
#include "paradox/sha256.h"
#include "paradox/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace paradox {

std::string EscapeText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string HexBytes(std::string_view bytes, bool upperCase)
{
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

std::string FormatDouble(double d)
{
    // Plain digits for everyday magnitudes (33000000, not 3.3e+07); the
    // shortest exponent form only for very large or very small numbers.
    char buf[400];
    const double a = std::fabs(d);
    const bool plain = a == 0 || (a >= 1e-5 && a < 1e17);
    const auto r = plain ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed)
                         : std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string FormatDate(const CivilDate& date)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buf;
}

std::string FormatTimeOfDay(std::int64_t ms)
{
    char buf[64];
    const char* sign = ms < 0 ? "-" : "";
    const std::int64_t a = ms < 0 ? -ms : ms;
    std::snprintf(buf, sizeof buf, "%s%02lld:%02lld:%02lld.%03lld", sign, static_cast<long long>(a / 3600000),
                  static_cast<long long>(a / 60000 % 60), static_cast<long long>(a / 1000 % 60),
                  static_cast<long long>(a % 1000));
    return buf;
}

std::string FormatValue(const Value& v, FieldType type, TextDecoder& decoder)
{
    switch (v.type) {
    case ValueType::Null: return "\\N";
    case ValueType::Text: return EscapeText(v.text);
    case ValueType::Integer: return std::to_string(v.integer);
    case ValueType::Double:
    case ValueType::Currency: return FormatDouble(v.number);
    case ValueType::Bcd: return std::string(v.text);
    case ValueType::Boolean: return v.boolean ? "true" : "false";
    case ValueType::Date: return FormatDate(v.date);
    case ValueType::Time: return FormatTimeOfDay(v.milliseconds);
    case ValueType::Timestamp: return FormatDate(v.date) + " " + FormatTimeOfDay(v.milliseconds);
    case ValueType::Bytes:
        if (type == FieldType::FormattedMemo) {
            std::string text;
            decoder.decode(v.text, text);
            return EscapeText(text);
        }
        if (IsBlobType(type))
            return "size=" + std::to_string(v.text.size()) + " sha256=" + Sha256Hex(v.text);
        return HexBytes(v.text);
    }
    return "?";
}

void AppendRecordLines(Table& table, std::string& out, const std::function<void(const FormatError&)>& unreadable)
{
    out += "@record ";
    out += std::to_string(table.recordIndex());
    out += '\n';
    for (std::size_t i = 0; i < table.fieldCount(); ++i) {
        const Field& f = table.fields()[i];
        Value v;
        try {
            v = table.value(i);
        } catch (const FormatError& e) {
            // Set again: g++ 12 (-O1 and up) drops the first store as dead
            // when the call seems to overwrite v, though the call threw.
            v = Value::null();
            unreadable(e);
        }
        const std::string index = std::to_string(i);
        out += index + '\t' + f.name + '\t' + FormatValue(v, f.type, table.textDecoder()) + '\n';
        const bool textual = f.type == FieldType::Alpha || f.type == FieldType::Memo || f.type == FieldType::FormattedMemo;
        if (!textual || v.isNull())
            continue;
        const std::string_view raw = table.rawText(i);
        const bool high = std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (high)
            out += index + '\t' + f.name + "#raw\t" + HexBytes(raw, true) + '\n';
    }
}

}  // namespace paradox
