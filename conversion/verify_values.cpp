// Reading insert constants, the one form of each kind of value, and hashing.
#include "conversion/verify_values.h"

#include "platform/hex_digit.h"
#include "sources/utf8_code_points.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace conversion {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
// Seeds that keep a NULL, a text, bytes and a value in its column's form apart.
constexpr std::uint64_t kNullHash = 0x6E756C6C5F76616CULL;
constexpr std::uint64_t kTextSeed = 1;
constexpr std::uint64_t kBytesSeed = 2;
constexpr std::uint64_t kValueSeed = 3;

std::uint64_t Avalanche(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

std::uint64_t Round(std::uint64_t h, std::uint64_t word)
{
    h += word * kPrime2;
    h = (h << 31) | (h >> 33);
    return h * kPrime1;
}

std::uint64_t HashBytes(std::string_view s, std::uint64_t seed)
{
    std::uint64_t h = Round(seed, s.size());
    std::size_t at = 0;
    for (; at + 8 <= s.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + at, 8);
        h = Round(h, word);
    }
    std::uint64_t tail = 0;
    if (at < s.size())
        std::memcpy(&tail, s.data() + at, s.size() - at);
    return Avalanche(Round(h, tail));
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Adds one to a string of decimal digits.
void Increment(std::string& digits)
{
    for (auto i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// A decimal number as its sign, significant digits and exponent, rounded half
// away from zero to `scale` decimals (as SQL Server stores it in a column of
// that scale); false for a text that is no decimal number.
bool CanonicalDecimal(std::string_view text, int scale, std::string& out)
{
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        ++at;
    std::string& digits = out;
    digits.clear();
    long exponent = 0;
    bool point = false, any = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (IsDigit(c)) {
            any = true;
            if (!(digits.empty() && c == '0'))
                digits.push_back(c);
            if (point)
                --exponent;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any)
        return false;
    if (at < text.size()) {
        if (text[at] != 'e' && text[at] != 'E')
            return false;
        long written = 0;
        const char* first = text.data() + at + 1;
        if (first < text.data() + text.size() && *first == '+')
            ++first;
        const auto [end, ec] = std::from_chars(first, text.data() + text.size(), written);
        if (ec != std::errc() || end != text.data() + text.size() || written > 100000 || written < -100000)
            return false;
        exponent += written;
    }
    if (scale >= 0 && exponent < -scale) {
        const auto drop = static_cast<std::size_t>(-scale - exponent);
        if (digits.size() < drop + 1)
            digits.insert(0, drop + 1 - digits.size(), '0');
        const bool up = digits[digits.size() - drop] >= '5';
        digits.resize(digits.size() - drop);
        exponent += static_cast<long>(drop);
        if (up)
            Increment(digits);
    }
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) {
        out = "0";
        return true;
    }
    const auto last = digits.find_last_not_of('0');
    exponent += static_cast<long>(digits.size() - last - 1);
    digits.resize(last + 1);
    digits.erase(0, first);
    if (negative)
        digits.insert(digits.begin(), '-');
    digits += 'e';
    digits += std::to_string(exponent);
    return true;
}

bool ReadDouble(std::string_view text, double& value)
{
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool CanonicalDouble(std::string_view text, std::string& out)
{
    double value = 0;
    if (!ReadDouble(text, value))
        return false;
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value,
                                       std::chars_format::general, 15);
    out.assign(buffer, written.ptr);
    return true;
}

bool CanonicalSingle(std::string_view text, std::string& out)
{
    double value = 0;
    if (!ReadDouble(text, value))
        return false;
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0F : static_cast<float>(value));
    out.assign(buffer, written.ptr);
    return true;
}

// Digits at `at`, from min to max of them; -1 when there are not enough.
int Number(std::string_view text, std::size_t& at, std::size_t min, std::size_t max)
{
    int value = 0;
    std::size_t n = 0;
    while (n < max && at < text.size() && IsDigit(text[at])) {
        value = value * 10 + (text[at++] - '0');
        ++n;
    }
    return n < min ? -1 : value;
}

void AppendTwo(int value, std::string& out)
{
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// hh:mm[:ss[.fraction]] as hh:mm:ss and the fraction without its trailing zeros.
bool CanonicalTime(std::string_view text, std::size_t at, std::string& out)
{
    const int hours = Number(text, at, 1, 2);
    if (hours < 0 || at >= text.size() || text[at++] != ':')
        return false;
    const int minutes = Number(text, at, 2, 2);
    int seconds = 0;
    if (minutes >= 0 && at < text.size() && text[at] == ':')
        seconds = Number(text, ++at, 2, 2);
    if (minutes < 0 || seconds < 0)
        return false;
    AppendTwo(hours, out);
    out += ':';
    AppendTwo(minutes, out);
    out += ':';
    AppendTwo(seconds, out);
    if (at < text.size() && text[at] == '.') {
        const std::size_t first = ++at;
        while (at < text.size() && IsDigit(text[at]))
            ++at;
        const std::string_view fraction = text.substr(first, at - first);
        const auto last = fraction.find_last_not_of('0');
        if (last != std::string_view::npos)
            (out += '.') += fraction.substr(0, last + 1);
    }
    return at == text.size();
}

// YYYY-MM-DD, a time, or both with a blank or a T between them.
bool CanonicalTemporal(std::string_view text, std::string& out)
{
    out.clear();
    std::size_t at = 0;
    if (text.size() < 10 || text[4] != '-')
        return CanonicalTime(text, 0, out);
    const int year = Number(text, at, 4, 4);
    const int month = at < text.size() && text[at] == '-' ? Number(text, ++at, 1, 2) : -1;
    const int day = month >= 0 && at < text.size() && text[at] == '-' ? Number(text, ++at, 1, 2) : -1;
    if (year < 0 || day < 0)
        return false;
    AppendTwo(year / 100, out);
    AppendTwo(year, out);
    out += '-';
    AppendTwo(month, out);
    out += '-';
    AppendTwo(day, out);
    if (at == text.size())
        return true;
    if (text[at] != ' ' && text[at] != 'T')
        return false;
    out += ' ';
    return CanonicalTime(text, at + 1, out);
}

class ConstantReader {
public:
    ConstantReader(std::string_view statement, std::size_t at, Dialect dialect)
        : s_(statement), at_(at), end_(statement.empty() ? 0 : statement.size() - 1), dialect_(dialect)
    {
        if (statement.empty() || statement.back() != ')' || at > end_)
            fail();
    }

    // Reads the constants into out; returns how many there are.
    std::size_t read(std::vector<Constant>& out)
    {
        std::size_t n = 0;
        for (;;) {
            blanks();
            if (n == out.size())
                out.emplace_back();
            Constant& c = out[n++];
            c.value.clear();
            constant(c);
            blanks();
            if (at_ == end_)
                return n;
            if (s_[at_++] != ',')
                fail();
        }
    }

private:
    [[noreturn]] void fail() const
    {
        throw std::invalid_argument("Not an insert statement of the run: " + std::string(s_.substr(0, 120)));
    }
    void blanks()
    {
        while (at_ < end_ && s_[at_] == ' ')
            ++at_;
    }
    bool startsWith(std::string_view word) const { return s_.substr(at_, word.size()) == word && at_ < end_; }

    void constant(Constant& c)
    {
        if (startsWith("NULL")) {
            c.kind = ValueKind::Null;
            at_ += 4;
        } else if (startsWith("N'") || startsWith("'") || startsWith("CAST(")) {
            c.kind = ValueKind::Text;
            joined(c.value);
        } else if (startsWith("0x") || startsWith("X'")) {
            c.kind = ValueKind::Bytes;
            const bool sqlite = s_[at_] == 'X';
            at_ += 2;
            hex(c.value);
            if (sqlite && (at_ >= end_ || s_[at_++] != '\''))
                fail();
        } else {
            c.kind = ValueKind::Text;  // a bare number: its text, which its column reads
            const std::size_t first = at_;
            while (at_ < end_ && s_[at_] != ',' && s_[at_] != ' ')
                ++at_;
            if (at_ == first)
                fail();
            c.value.assign(s_.substr(first, at_ - first));
        }
    }

    bool skip(std::string_view word)
    {
        if (!startsWith(word))
            return false;
        at_ += word.size();
        return true;
    }

    // A string constant, or constants and characters joined by " + ", the
    // first perhaps made MAX by a CAST (see AppendStringConstant).
    void joined(std::string& out)
    {
        const bool cast = skip("CAST(");
        do {
            if (skip("NCHAR(") || skip("CHAR(")) {
                unsigned code = 0;
                const auto [end, error] = std::from_chars(s_.data() + at_, s_.data() + end_, code);
                at_ = static_cast<std::size_t>(end - s_.data());
                if (error != std::errc() || !skip(")") || code > 0xFFFF)
                    fail();
                AddFolder::AppendUtf8(code, out);
            } else if (skip("N'") || skip("'")) {
                quoted(out);
            } else {
                fail();
            }
            if (cast)
                skip(" AS NVARCHAR(MAX))") || skip(" AS VARCHAR(MAX))");
        } while (skip(" + "));
    }

    void quoted(std::string& out)
    {
        for (;;) {
            const std::size_t quote = s_.find('\'', at_);
            if (quote == std::string_view::npos || quote >= end_)
                fail();
            unescape(s_.substr(at_, quote - at_), out);
            at_ = quote + 1;
            if (at_ < end_ && s_[at_] == '\'') {
                out += '\'';
                ++at_;
            } else {
                return;
            }
        }
    }

    // SQL Server drops a backslash directly before a line break, with the break.
    void unescape(std::string_view part, std::string& out) const
    {
        if (dialect_ == Dialect::Sqlite) {
            out += part;
            return;
        }
        for (auto slash = part.find('\\'); slash != std::string_view::npos; slash = part.find('\\')) {
            const std::string_view rest = part.substr(slash + 1);
            const std::size_t lineBreak = rest.starts_with('\n') ? 1 : rest.starts_with("\r\n") ? 2 : 0;
            out += part.substr(0, lineBreak > 0 ? slash : slash + 1);
            part.remove_prefix(slash + 1 + lineBreak);
        }
        out += part;
    }

    void hex(std::string& out)
    {
        for (;;) {
            const int high = at_ < end_ ? platform::HexDigit(s_[at_]) : -1;
            if (high < 0)
                return;
            const int low = at_ + 1 < end_ ? platform::HexDigit(s_[at_ + 1]) : -1;
            if (low < 0)
                fail();
            out.push_back(static_cast<char>(high * 16 + low));
            at_ += 2;
        }
    }

    std::string_view s_;
    std::size_t at_;
    std::size_t end_;  // the closing parenthesis
    Dialect dialect_;
};

}  // namespace

ColumnComparison ComparisonOf(std::string_view type, Dialect dialect)
{
    const auto is = [type](std::initializer_list<std::string_view> words) {
        return std::any_of(words.begin(), words.end(), [type](std::string_view w) { return type.starts_with(w); });
    };
    const bool sqlite = dialect == Dialect::Sqlite;
    if (is({"VARBINARY", "BINARY", "IMAGE", "BLOB"}))
        return {Comparison::Bytes};
    if (is({"NVARCHAR", "VARCHAR", "NCHAR", "CHAR", "NTEXT", "TEXT"}))
        return {Comparison::Text};
    if (is({"DATE", "TIME", "SMALLDATETIME"}))
        return {Comparison::Temporal};
    if (is({"FLOAT"}))
        return {Comparison::Double};
    if (is({"REAL"}))
        return {sqlite ? Comparison::Double : Comparison::Single};
    if (is({"MONEY", "SMALLMONEY"}))
        return sqlite ? ColumnComparison{Comparison::Double} : ColumnComparison{Comparison::Decimal, 4};
    if (is({"DECIMAL", "NUMERIC"})) {
        if (sqlite)
            return {Comparison::Double};
        // DECIMAL(p,s) keeps s decimals; DECIMAL and DECIMAL(p) none.
        const auto comma = type.find(',');
        int scale = 0;
        if (comma != std::string_view::npos)
            std::from_chars(type.data() + comma + 1, type.data() + type.size(), scale);
        return {Comparison::Decimal, scale};
    }
    if (is({"INT", "SMALLINT", "BIGINT", "TINYINT", "BIT"}))
        return {Comparison::Decimal, -1};
    return {Comparison::Text};
}

void ReadConstants(std::string_view statement, std::size_t prefixLength, Dialect dialect, std::vector<Constant>& out)
{
    out.resize(ConstantReader(statement, prefixLength, dialect).read(out));
}

std::uint64_t ValueHash(const ColumnComparison& column, ValueKind kind, std::string_view data, std::string& scratch)
{
    if (kind == ValueKind::Null)
        return kNullHash;
    if (kind == ValueKind::Bytes)
        return HashBytes(data, kBytesSeed);
    bool canonical = false;
    switch (column.how) {
    case Comparison::Text:
    case Comparison::Bytes:
        break;
    case Comparison::Decimal:
        canonical = CanonicalDecimal(data, column.scale, scratch);
        break;
    case Comparison::Double:
        canonical = CanonicalDouble(data, scratch);
        break;
    case Comparison::Single:
        canonical = CanonicalSingle(data, scratch);
        break;
    case Comparison::Temporal:
        canonical = CanonicalTemporal(data, scratch);
        break;
    }
    return canonical ? HashBytes(scratch, kValueSeed) : HashBytes(data, kTextSeed);
}

std::uint64_t RowHash(const std::uint64_t* values, std::size_t count)
{
    std::uint64_t h = Round(kValueSeed, count);
    for (std::size_t i = 0; i < count; ++i)
        h = Round(h, values[i]);
    return Avalanche(h);
}

}  // namespace conversion
