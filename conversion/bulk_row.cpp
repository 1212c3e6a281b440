// The constants of an INSERT statement as bulk-load values.
#include "conversion/bulk_row.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace conversion {

namespace {

using platform::BulkColumn;
using platform::BulkValue;
using Kind = BulkColumn::Kind;

// One constant as the statement writes it.
struct Constant {
    enum class Form { Null, Text, UnicodeText, Binary, Number };
    Form form = Form::Null;
    std::string_view body;  // between the quotes, after 0x, or the number
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads VALUES(constant, constant, ...) at the end of an INSERT.
class ValuesReader {
public:
    explicit ValuesReader(std::string_view text) : text_(text) {}

    // Past "VALUES(" outside the bracketed names before it.
    bool start()
    {
        while (at_ < text_.size()) {
            if (text_[at_] == '[') {
                skipName();
            } else if (text_.substr(at_, 7) == "VALUES(") {
                at_ += 7;
                return true;
            } else {
                ++at_;
            }
        }
        return false;
    }

    // The next constant; `last` after the closing parenthesis, which must end the text.
    bool next(Constant& c, bool& last)
    {
        blanks();
        if (!constant(c))
            return false;
        blanks();
        if (at_ < text_.size() && text_[at_] == ',') {
            ++at_;
            last = false;
            return true;
        }
        last = true;
        if (at_ >= text_.size() || text_[at_++] != ')')
            return false;
        blanks();
        return at_ == text_.size();
    }

private:
    // Past the "]" that closes the name opened at at_ ("]]" stands for one "]").
    void skipName()
    {
        for (++at_; at_ < text_.size(); ++at_) {
            if (text_[at_] != ']')
                continue;
            if (at_ + 1 < text_.size() && text_[at_ + 1] == ']') {
                ++at_;
                continue;
            }
            ++at_;
            return;
        }
    }
    void blanks()
    {
        while (at_ < text_.size() && text_[at_] == ' ')
            ++at_;
    }
    bool constant(Constant& c)
    {
        const std::string_view rest = text_.substr(at_);
        if (rest.substr(0, 4) == "NULL") {
            c = {Constant::Form::Null, {}};
            at_ += 4;
            return true;
        }
        if (rest.substr(0, 2) == "N'" || rest.substr(0, 1) == "'")
            return quoted(c, rest[0] == 'N');
        std::size_t end = 0;
        if (rest.substr(0, 2) == "0x") {
            for (end = 2; end < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[end])); ++end) {
            }
            c = {Constant::Form::Binary, rest.substr(2, end - 2)};
        } else {
            while (end < rest.size() && (IsDigit(rest[end]) || std::string_view("-+.E").find(rest[end]) != std::string_view::npos))
                ++end;
            c = {Constant::Form::Number, rest.substr(0, end)};
        }
        at_ += end;
        return end > 0;
    }
    bool quoted(Constant& c, bool unicode)
    {
        const std::size_t open = at_ + (unicode ? 2 : 1);
        for (std::size_t i = open; i < text_.size(); ++i) {
            if (text_[i] != '\'')
                continue;
            if (i + 1 < text_.size() && text_[i + 1] == '\'') {
                ++i;  // a quote doubled
                continue;
            }
            c = {unicode ? Constant::Form::UnicodeText : Constant::Form::Text, text_.substr(open, i - open)};
            at_ = i + 1;
            return true;
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// A quoted constant's text as SQL Server stores it: each doubled quote one,
// and a backslash right before a line break dropped with the break.
void Unquote(std::string_view body, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\'') {
            ++i;  // the second quote of the pair
        } else if (c == '\\' && i + 1 < body.size() && body[i + 1] == '\n') {
            ++i;
            continue;
        } else if (c == '\\' && i + 2 < body.size() && body[i + 1] == '\r' && body[i + 2] == '\n') {
            i += 2;
            continue;
        }
        out.push_back(c);
    }
}

// The text's UTF-16 units, or -1 where it is no valid UTF-8.
std::int64_t Utf16Units(std::string_view text)
{
    std::int64_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size())
            return -1;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return -1;
        units += cp >= 0x10000 ? 2 : 1;
        i += static_cast<std::size_t>(length);
    }
    return units;
}

bool Ascii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool TextValue(const Constant& c, const BulkColumn& column, BulkValue& v)
{
    Unquote(c.body, v.text);
    v.kind = BulkValue::Kind::Text;
    const bool ascii = Ascii(v.text);
    if (column.kind == Kind::Text)
        return ascii && v.text.size() <= column.size;
    // A '..' constant holds the database's code page only.
    if (c.form == Constant::Form::Text && !ascii)
        return false;
    const std::int64_t units = Utf16Units(v.text);
    return units >= 0 && static_cast<std::size_t>(units) <= column.size;
}

bool BytesValue(std::string_view hex, const BulkColumn& column, BulkValue& v)
{
    if (hex.size() % 2 != 0 || hex.size() / 2 > column.size)
        return false;
    v.kind = BulkValue::Kind::Bytes;
    v.text.resize(hex.size() / 2);
    for (std::size_t i = 0; i < v.text.size(); ++i) {
        unsigned byte = 0;
        std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, byte, 16);
        v.text[i] = static_cast<char>(byte);
    }
    return true;
}

// Digits with at most one point and an optional minus: no exponent.
bool DecimalValue(std::string_view number, const BulkColumn& column, BulkValue& v)
{
    std::string_view digits = number.substr(number.starts_with('-') ? 1 : 0);
    const std::size_t point = digits.find('.');
    std::string_view whole = digits.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
    for (const std::string_view part : {whole, fraction}) {
        for (char ch : part) {
            if (!IsDigit(ch))
                return false;
        }
    }
    if (whole.empty())
        return false;
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    // One digit fewer than the column holds: MONEY's largest values stay with their INSERTs.
    const auto wholeDigits = static_cast<int>(whole.size());
    if ((wholeDigits > 0 && wholeDigits >= column.precision - column.scale)
        || static_cast<int>(fraction.size()) > column.scale)
        return false;
    v.kind = BulkValue::Kind::Text;
    v.text.assign(number);
    return true;
}

bool NumberValue(std::string_view number, const BulkColumn& column, BulkValue& v)
{
    const char* const end = number.data() + number.size();
    switch (column.kind) {
    case Kind::Integer:
    case Kind::Bit: {
        const auto [ptr, ec] = std::from_chars(number.data(), end, v.integer);
        v.kind = BulkValue::Kind::Integer;
        if (column.kind == Kind::Bit)
            return ptr == end && ec == std::errc() && (v.integer == 0 || v.integer == 1);
        return ptr == end && ec == std::errc() && v.integer >= column.minimum && v.integer <= column.maximum;
    }
    case Kind::Float: {
        const auto [ptr, ec] = std::from_chars(number.data(), end, v.real);
        v.kind = BulkValue::Kind::Float;
        return ptr == end && ec == std::errc();
    }
    case Kind::Decimal: return DecimalValue(number, column, v);
    default: return false;
    }
}

// Two digits or more at `at`, whole, within [least, most].
bool Field(std::string_view text, std::size_t at, std::size_t width, int least, int most, int& out)
{
    if (at + width > text.size())
        return false;
    const auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + at + width, out);
    return ec == std::errc() && ptr == text.data() + at + width && out >= least && out <= most
        && IsDigit(text[at]);
}

bool DateOf(std::string_view text, BulkValue::Moment& m)
{
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Field(text, 0, 4, 1, 9999, m.year)
        || !Field(text, 5, 2, 1, 12, m.month))
        return false;
    const bool leap = (m.year % 4 == 0 && m.year % 100 != 0) || m.year % 400 == 0;
    return Field(text, 8, 2, 1, kDays[m.month - 1] + (m.month == 2 && leap ? 1 : 0), m.day);
}

// hh:mm:ss with up to seven decimals of the second.
bool TimeOf(std::string_view text, BulkValue::Moment& m)
{
    if (text.size() < 8 || text[2] != ':' || text[5] != ':' || !Field(text, 0, 2, 0, 23, m.hour)
        || !Field(text, 3, 2, 0, 59, m.minute) || !Field(text, 6, 2, 0, 59, m.second))
        return false;
    m.nanoseconds = 0;
    if (text.size() == 8)
        return true;
    if (text[8] != '.' || text.size() < 10 || text.size() > 16)
        return false;
    std::uint32_t scale = 100'000'000;
    for (char c : text.substr(9)) {
        if (!IsDigit(c))
            return false;
        m.nanoseconds += static_cast<std::uint32_t>(c - '0') * scale;
        scale /= 10;
    }
    return true;
}

bool MomentValue(const Constant& c, const BulkColumn& column, BulkValue& v)
{
    if (c.form != Constant::Form::Text)
        return false;
    v.kind = BulkValue::Kind::Moment;
    v.moment = {};
    const std::string_view text = c.body;
    if (column.kind == Kind::Date)
        return DateOf(text, v.moment);
    if (column.kind == Kind::Time)
        return TimeOf(text, v.moment);
    return text.size() > 11 && (text[10] == 'T' || text[10] == ' ') && DateOf(text.substr(0, 10), v.moment)
        && TimeOf(text.substr(11), v.moment);
}

bool ValueOf(const Constant& c, const BulkColumn& column, BulkValue& v)
{
    switch (c.form) {
    case Constant::Form::Null: v.kind = BulkValue::Kind::Null; return true;
    case Constant::Form::Binary: return column.kind == Kind::Binary && BytesValue(c.body, column, v);
    case Constant::Form::Number: return NumberValue(c.body, column, v);
    case Constant::Form::Text:
    case Constant::Form::UnicodeText:
        if (column.kind == Kind::Date || column.kind == Kind::Time || column.kind == Kind::Timestamp)
            return MomentValue(c, column, v);
        return (column.kind == Kind::Text || column.kind == Kind::UnicodeText) && TextValue(c, column, v);
    }
    return false;
}

}  // namespace

bool ReadBulkRow(std::string_view insert, std::span<const BulkColumn> columns, std::vector<BulkValue>& row)
{
    row.resize(columns.size());
    ValuesReader reader(insert);
    if (!reader.start())
        return false;
    Constant c;
    bool last = columns.empty();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (last || !reader.next(c, last) || !ValueOf(c, columns[i], row[i]))
            return false;
    }
    return last;
}

}  // namespace conversion
