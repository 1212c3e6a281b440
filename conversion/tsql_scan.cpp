// The T-SQL scanner: quotes, brackets, comments and the words that touch a
// transaction.
#include "conversion/tsql_scan.h"

#include <cstddef>
#include <cstring>

namespace conversion {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c == '@' || c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// A word that ends a transaction, starts one or runs code that might: T-SQL
// needs no ";" between statements, so such a word anywhere outside quotes
// makes the line run alone.
bool TransactionWord(std::string_view word)
{
    static constexpr std::string_view kWords[] = {"commit", "rollback", "begin", "save", "exec", "execute"};
    if (word.size() < 4 || word.size() > 8)
        return false;
    switch (word[0] | 0x20) {  // most words of an INSERT fail here
    case 'b': case 'c': case 'e': case 'r': case 's': break;
    default: return false;
    }
    char lower[8];
    for (std::size_t k = 0; k < word.size(); ++k) {
        char c = word[k];
        lower[k] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view w(lower, word.size());
    for (std::string_view k : kWords) {
        if (w == k)
            return true;
    }
    return false;
}

// Where the quote, bracket or comment that opens at `i` ends (just past it),
// s.size() when it never does.
std::size_t SkipQuoted(std::string_view s, std::size_t i)
{
    const char open = s[i];
    if (open == '-' || open == '/') {
        const std::string_view end = open == '-' ? "\n" : "*/";
        const std::size_t at = s.find(end, i + 2);
        return at == std::string_view::npos ? s.size() : at + end.size();
    }
    const char close = open == '[' ? ']' : open;
    for (std::size_t at = i + 1; at < s.size(); at += 2) {
        const void* hit = std::memchr(s.data() + at, close, s.size() - at);
        if (!hit)
            return s.size();
        at = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
        if (at + 1 >= s.size() || s[at + 1] != close)
            return at + 1;  // a doubled quote or "]]" stays inside
    }
    return s.size();
}

}  // namespace

bool StartsWithInsert(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    constexpr std::string_view kInsert = "insert";
    if (s.size() - i <= kInsert.size())
        return false;
    for (std::size_t k = 0; k < kInsert.size(); ++k) {
        char c = s[i + k];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kInsert[k])
            return false;
    }
    return IsBlank(s[i + kInsert.size()]);
}

bool SingleStatement(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (c == '\'' || c == '"' || c == '[' || (c == '-' && next == '-') || (c == '/' && next == '*')) {
            i = SkipQuoted(s, i);
        } else if (IsWordChar(c)) {
            const std::size_t start = i;
            while (i < s.size() && IsWordChar(s[i]))
                ++i;
            if (TransactionWord(s.substr(start, i - start)))
                return false;
        } else if (c == ';') {
            for (++i; i < s.size(); ++i) {
                if (!IsBlank(s[i]))
                    return false;
            }
        } else {
            ++i;
        }
    }
    return true;
}

bool Batchable(std::string_view statement)
{
    return StartsWithInsert(statement) && SingleStatement(statement);
}

}  // namespace conversion
