// Number and date recognition for the statement rules. Both are called for
// every text value of every record, so they reject quickly and never allocate.
#include "conversion/recognition.h"

#include <array>

namespace conversion {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// ASCII only, and no locale look-up: these run for every text value.
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A small cursor over the text being recognised.
struct Scanner {
    std::string_view s;
    std::size_t pos = 0;

    bool atEnd() const { return pos >= s.size(); }
    char peek() const { return atEnd() ? '\0' : s[pos]; }
    bool take(std::string_view token)
    {
        if (token.empty() || s.substr(pos, token.size()) != token)
            return false;
        pos += token.size();
        return true;
    }
    bool takeChar(char c)
    {
        if (peek() != c)
            return false;
        ++pos;
        return true;
    }
    // Reads 1..maxDigits digits; fails on none or more.
    bool number(int minDigits, int maxDigits, int& out)
    {
        std::size_t start = pos;
        int value = 0;
        while (!atEnd() && IsDigit(s[pos]) && static_cast<int>(pos - start) < maxDigits + 1) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
        }
        const int count = static_cast<int>(pos - start);
        if (count < minDigits || count > maxDigits) {
            pos = start;
            return false;
        }
        out = value;
        return true;
    }
    bool blanks()
    {
        std::size_t start = pos;
        while (!atEnd() && IsBlank(s[pos]))
            ++pos;
        return pos > start;
    }
};

constexpr std::array<std::string_view, 12> kMonthNames{
    "january", "february", "march", "april", "may", "june",
    "july", "august", "september", "october", "november", "december"};

// Reads an English month name, full or abbreviated to three letters (and "sept").
bool MonthName(Scanner& sc, int& month)
{
    std::size_t start = sc.pos;
    std::size_t end = start;
    while (end < sc.s.size() && IsLetter(sc.s[end]))
        ++end;
    const std::size_t length = end - start;
    if (length < 3 || length > 9)
        return false;
    std::array<char, 9> word{};
    for (std::size_t i = 0; i < length; ++i)
        word[i] = Lower(sc.s[start + i]);
    const std::string_view w(word.data(), length);
    for (std::size_t m = 0; m < kMonthNames.size(); ++m) {
        const std::string_view name = kMonthNames[m];
        if (w == name || w == name.substr(0, 3) || (m == 8 && w == "sept")) {
            month = static_cast<int>(m) + 1;
            sc.pos = end;
            return true;
        }
    }
    return false;
}

bool DateSeparator(Scanner& sc, const RegionalSettings& settings)
{
    return sc.take(settings.dateSeparator) || sc.takeChar('/');
}

// Date part: M/D/YYYY, YYYY-M-D, D Month YYYY, D-Mon-YYYY, Month D[,] YYYY.
bool DatePart(Scanner& sc, const RegionalSettings& settings, paradox::CivilDate& date)
{
    const std::size_t start = sc.pos;
    int a = 0, b = 0, c = 0, month = 0;

    if (sc.number(4, 4, a) && sc.takeChar('-') && sc.number(1, 2, b) && sc.takeChar('-')
        && sc.number(1, 2, c)) {
        date = {a, b, c};
        return IsValidDate(a, b, c);
    }
    sc.pos = start;
    if (sc.number(1, 2, a) && DateSeparator(sc, settings) && sc.number(1, 2, b)
        && DateSeparator(sc, settings) && sc.number(4, 4, c)) {
        date = {c, a, b};
        return IsValidDate(c, a, b);
    }
    sc.pos = start;
    if (sc.number(1, 2, a) && (sc.blanks() || sc.takeChar('-')) && MonthName(sc, month)
        && (sc.blanks() || sc.takeChar('-')) && sc.number(4, 4, c)) {
        date = {c, month, a};
        return IsValidDate(c, month, a);
    }
    sc.pos = start;
    if (MonthName(sc, month) && sc.blanks() && sc.number(1, 2, a)) {
        sc.takeChar(',');
        if (sc.blanks() && sc.number(4, 4, c)) {
            date = {c, month, a};
            return IsValidDate(c, month, a);
        }
    }
    sc.pos = start;
    return false;
}

bool TimeSeparator(Scanner& sc, const RegionalSettings& settings)
{
    return sc.take(settings.timeSeparator) || sc.takeChar(':');
}

// Time part: H:MM, H:MM:SS, H:MM:SS.fff, each optionally followed by AM or PM.
bool TimePart(Scanner& sc, const RegionalSettings& settings, DateTime& value)
{
    int h = 0, m = 0, s = 0;
    if (!(sc.number(1, 2, h) && TimeSeparator(sc, settings) && sc.number(2, 2, m)))
        return false;
    if (TimeSeparator(sc, settings)) {
        if (!sc.number(2, 2, s))
            return false;
        if (sc.takeChar('.')) {
            int fraction = 0;
            if (!sc.number(1, 3, fraction))
                return false;
        }
    }
    const std::size_t beforeSuffix = sc.pos;
    sc.blanks();
    bool pm = false, am = false;
    auto suffix = [&](char letter) {
        if (Lower(sc.peek()) != letter)
            return false;
        const std::size_t p = sc.pos + 1;
        if (p < sc.s.size() && Lower(sc.s[p]) == 'm') {
            sc.pos += 2;
            return true;
        }
        return false;
    };
    if (suffix('p'))
        pm = true;
    else if (suffix('a'))
        am = true;
    else
        sc.pos = beforeSuffix;

    if (am || pm) {
        if (h < 1 || h > 12)
            return false;
        h = (h % 12) + (pm ? 12 : 0);
    }
    if (h > 23 || m > 59 || s > 59)
        return false;
    value.hour = h;
    value.minute = m;
    value.second = s;
    return true;
}

void AppendTwoDigits(int v, std::string& out)
{
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

}  // namespace

bool IsValidDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = (month == 2 && leap) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
    return day <= last;
}

bool ReadsAsNumber(std::string_view text, const RegionalSettings& settings)
{
    Scanner sc{TrimBlanks(text)};
    if (sc.s.empty())
        return false;
    if (!sc.takeChar('+'))
        sc.takeChar('-');
    int digits = 0;
    bool separatorSeen = false;
    while (!sc.atEnd()) {
        if (IsDigit(sc.peek())) {
            ++digits;
            ++sc.pos;
        } else if (!separatorSeen && sc.take(settings.decimalSeparator)) {
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (sc.peek() == 'e' || sc.peek() == 'E') {
        ++sc.pos;
        if (!sc.takeChar('+'))
            sc.takeChar('-');
        int expDigits = 0;
        while (IsDigit(sc.peek())) {
            ++expDigits;
            ++sc.pos;
        }
        if (expDigits == 0)
            return false;
    }
    return sc.atEnd();
}

std::optional<DateTime> ReadAsDate(std::string_view text, const RegionalSettings& settings)
{
    Scanner sc{TrimBlanks(text)};
    if (sc.s.size() < 4)  // the shortest date or time is "1:00"
        return std::nullopt;
    const char first = sc.peek();
    if (!IsDigit(first) && !IsLetter(first))
        return std::nullopt;

    DateTime value;
    if (DatePart(sc, settings, value.date)) {
        if (sc.atEnd())
            return value;
        const bool iso = sc.takeChar('T');
        if ((iso || sc.blanks()) && TimePart(sc, settings, value) && sc.atEnd())
            return value;
        return std::nullopt;
    }
    sc.pos = 0;
    value.date = {1899, 12, 30};
    if (TimePart(sc, settings, value) && sc.atEnd())
        return value;
    return std::nullopt;
}

void AppendDateFormatted(const DateTime& value, bool withTime, const RegionalSettings& settings,
                         std::string& out)
{
    AppendTwoDigits(value.date.month, out);
    out += settings.dateSeparator;
    AppendTwoDigits(value.date.day, out);
    out += settings.dateSeparator;
    AppendTwoDigits(value.date.year / 100, out);
    AppendTwoDigits(value.date.year % 100, out);
    if (withTime) {
        out.push_back(' ');
        AppendTwoDigits(value.hour, out);
        out += settings.timeSeparator;
        AppendTwoDigits(value.minute, out);
        out += settings.timeSeparator;
        AppendTwoDigits(value.second, out);
    }
}

}  // namespace conversion
