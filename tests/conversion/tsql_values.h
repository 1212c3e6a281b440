// What SQL Server makes of the value items of an insert statement, by its own
// rules for string constants, so tests compare what the server would store
// with the source text (the SQLite stand-in knows none of these rules):
// - '...' holds its text with every '' read as one quote; N'...' is the same
//   as a Unicode constant;
// - inside a constant, a backslash directly followed by LF or CR LF is dropped
//   together with that line break, read from left to right in one pass (so
//   "\\" LF LF is a backslash and a line break);
// - constant + constant joins them; a constant longer than 8,000 bytes
//   (4,000 characters for N'...') is of a MAX type, and a join of two operands
//   that are not is cut to 8,000 bytes (4,000 characters);
// - CHAR(n) and NCHAR(n) are one character; CAST(x AS VARCHAR(MAX)) (or
//   NVARCHAR(MAX)) is x of a MAX type.
// Byte lengths are counted in UTF-8, an upper bound of what any code page needs.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct TsqlText {
    std::string utf8;
    bool unicode = false;
    bool max = false;
};

class TsqlValues {
public:
    // Reads the value items of "INSERT INTO [T] VALUES(...)": NULL is nothing,
    // a bare number its text, a string expression what the server stores.
    static std::vector<std::optional<std::string>> itemsOf(std::string_view statement)
    {
        const auto open = statement.find(" VALUES(");
        if (open == std::string_view::npos || statement.empty() || statement.back() != ')')
            throw std::invalid_argument("no VALUES(...)");
        TsqlValues r(statement.substr(open + 8, statement.size() - open - 9));
        std::vector<std::optional<std::string>> items;
        for (;;) {
            r.blanks();
            if (r.take("NULL")) {
                items.emplace_back();
            } else if (r.peek() == '\'' || r.peek() == 'N' || r.peek() == 'C') {
                items.emplace_back(r.expression().utf8);
            } else {
                std::string number;
                while (!r.atEnd() && r.peek() != ',')
                    number += r.next();
                items.emplace_back(number);
            }
            r.blanks();
            if (r.atEnd())
                return items;
            if (!r.take(","))
                throw std::invalid_argument("expected a comma at " + std::to_string(r.at_));
        }
    }

    // One string expression on its own, such as 'a' + N'b'.
    static TsqlText evaluate(std::string_view expression)
    {
        TsqlValues r(expression);
        TsqlText t = r.expression();
        r.blanks();
        if (!r.atEnd())
            throw std::invalid_argument("text after the expression");
        return t;
    }

private:
    explicit TsqlValues(std::string_view s) : s_(s) {}

    bool atEnd() const { return at_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[at_]; }
    char next() { return s_.at(at_++); }
    bool take(std::string_view word)
    {
        if (s_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    void blanks()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\r' || peek() == '\n' || peek() == '\t'))
            ++at_;
    }

    TsqlText expression()
    {
        TsqlText t = constant();
        for (;;) {
            const std::size_t mark = at_;
            blanks();
            if (!take("+")) {
                at_ = mark;
                return t;
            }
            blanks();
            t = join(t, constant());
        }
    }

    TsqlText constant()
    {
        TsqlText t;
        if (take("CAST(")) {
            t = expression();
            t.max = take(" AS VARCHAR(MAX))") || (take(" AS NVARCHAR(MAX))") && (t.unicode = true));
            if (!t.max)
                throw std::invalid_argument("expected AS [N]VARCHAR(MAX)) at " + std::to_string(at_));
            return t;
        }
        if (take("NCHAR(") || take("CHAR(")) {
            t.unicode = s_[at_ - 6] == 'N';
            const std::size_t close = s_.find(')', at_);
            const unsigned long c = std::stoul(std::string(s_.substr(at_, close - at_)));
            at_ = close + 1;
            if (c >= 0x800)
                t.utf8 += static_cast<char>(0xE0 | (c >> 12));
            if (c >= 0x80)
                t.utf8 += static_cast<char>(c >= 0x800 ? 0x80 | ((c >> 6) & 0x3F) : 0xC0 | (c >> 6));
            t.utf8 += static_cast<char>(c >= 0x80 ? 0x80 | (c & 0x3F) : c);
            return t;
        }
        t.unicode = take("N");
        if (!take("'"))
            throw std::invalid_argument("expected a string constant at " + std::to_string(at_));
        for (;;) {
            if (atEnd())
                throw std::invalid_argument("unclosed string constant");
            const char c = next();
            if (c == '\'') {
                if (peek() != '\'')
                    break;
                ++at_;
            } else if (c == '\\' && (take("\n") || take("\r\n"))) {
                continue;
            }
            t.utf8 += c;
        }
        t.max = t.unicode ? characters(t.utf8) > 4000 : t.utf8.size() > 8000;
        return t;
    }

    static std::size_t characters(std::string_view utf8)
    {
        std::size_t n = 0;
        for (unsigned char c : utf8)
            n += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;  // UTF-16 code units
        return n;
    }

    static TsqlText join(const TsqlText& a, const TsqlText& b)
    {
        TsqlText t{a.utf8 + b.utf8, a.unicode || b.unicode, a.max || b.max};
        if (t.max)
            return t;
        const std::size_t limit = t.unicode ? 4000 : 8000;
        std::size_t kept = 0, units = 0;
        while (kept < t.utf8.size()) {
            std::size_t len = 1;
            while (kept + len < t.utf8.size() && (static_cast<unsigned char>(t.utf8[kept + len]) & 0xC0) == 0x80)
                ++len;
            const std::size_t cost = t.unicode ? characters(t.utf8.substr(kept, len)) : len;
            if (units + cost > limit)
                break;
            units += cost;
            kept += len;
        }
        t.utf8.resize(kept);
        return t;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace testsupport
