// String constants whose lines no script tool takes for its own.
#include "conversion/batch_separator.h"

#include "conversion/typed_value.h"

#include <cctype>

namespace conversion {

namespace {

// Beyond this many bytes a join of constants that are not MAX may be cut at
// SQL Server's 8,000 bytes (4,000 characters for N'...'): UTF-8 takes at
// least as many bytes as either counts.
constexpr std::size_t kLongestJoined = 4000;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Whether the line begins with the word (any letter case) ending where no
// letter or "_" follows.
bool BeginsWithWord(std::string_view line, std::string_view word)
{
    if (line.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(line[i])) != word[i])
            return false;
    }
    if (line.size() == word.size())
        return true;
    const auto next = static_cast<unsigned char>(line[word.size()]);
    return !(std::isalpha(next) || next == '_');
}

// The code point of the line break character at `at` (LF, CR, NEL, LS, PS).
unsigned BreakCharacter(std::string_view text, std::size_t at)
{
    const auto c = static_cast<unsigned char>(text[at]);
    if (c == '\n' || c == '\r')
        return c;
    if (c == 0xC2)
        return 0x85;
    return text[at + 2] == '\xA8' ? 0x2028 : 0x2029;
}

// The break written as characters joined to the constants around it:
// " + NCHAR(13) + NCHAR(10) + N'".
void AppendJoinedBreak(std::string_view lineBreak, bool unicode, std::string& out)
{
    for (std::size_t at = 0; at < lineBreak.size(); at += lineBreak[at] == '\r' ? 1 : LineBreakLength(lineBreak, at)) {
        const unsigned c = BreakCharacter(lineBreak, at);
        out += unicode || c > 127 ? " + NCHAR(" : " + CHAR(";
        out += std::to_string(c);
        out += ')';
    }
    out += unicode ? " + N'" : " + '";
}

// Where the next byte from `from` on is one a line break begins with (CR, LF,
// or the lead byte of NEL, LS and PS); npos where none is. Every text value
// passes here: one loop over its bytes, not a search of the set per byte.
std::size_t NextBreakByte(std::string_view text, std::size_t from)
{
    for (std::size_t at = from; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\r' || c == '\n' || c == 0xC2 || c == 0xE2)
            return at;
    }
    return std::string_view::npos;
}

}  // namespace

bool ReadsAsScriptCommand(std::string_view line)
{
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    if (line.starts_with(':') || line.starts_with("!!"))
        return true;
    for (const std::string_view word : {"GO", "EXIT", "QUIT", "RESET", "ED"}) {
        if (BeginsWithWord(line, word))
            return true;
    }
    return false;
}

std::size_t LineBreakLength(std::string_view text, std::size_t at)
{
    if (at >= text.size())
        return 0;
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("\r\n"))
        return 2;
    if (rest[0] == '\r' || rest[0] == '\n')
        return 1;
    if (rest.starts_with("\xC2\x85"))
        return 2;
    return rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9") ? 3 : 0;
}

std::size_t NextCommandBreak(std::string_view text, std::size_t from)
{
    for (std::size_t at = NextBreakByte(text, from); at != std::string_view::npos; at = NextBreakByte(text, at + 1)) {
        const std::size_t length = LineBreakLength(text, at);
        if (length == 0)
            continue;
        std::size_t end = at + length;
        while (end < text.size() && LineBreakLength(text, end) == 0)
            ++end;
        if (ReadsAsScriptCommand(text.substr(at + length, end - at - length)))
            return at;
        at += length - 1;
    }
    return std::string_view::npos;
}

void AppendStringConstant(std::string_view text, Dialect dialect, bool unicode, std::string& out)
{
    const bool sqlServer = dialect == Dialect::SqlServer;
    std::size_t next = sqlServer ? NextCommandBreak(text, 0) : std::string_view::npos;
    const bool cast = next != std::string_view::npos && text.size() > kLongestJoined;
    if (cast)
        out += "CAST(";
    out += unicode && sqlServer ? "N'" : "'";
    std::size_t from = 0;
    for (bool first = true; next != std::string_view::npos; next = NextCommandBreak(text, from), first = false) {
        AppendQuotedText(text.substr(from, next - from), out);
        out += '\'';
        if (cast && first)
            out += unicode ? " AS NVARCHAR(MAX))" : " AS VARCHAR(MAX))";
        from = next + LineBreakLength(text, next);
        AppendJoinedBreak(text.substr(next, from - next), unicode, out);
    }
    AppendQuotedText(text.substr(from), out);
    out += '\'';
}

}  // namespace conversion
