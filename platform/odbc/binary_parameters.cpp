// Long binary constants of a statement taken out as parameters.
#include "platform/odbc/binary_parameters.h"

#include "platform/hex_digit.h"

#include <cctype>

namespace platform::odbc {

namespace {

bool WordCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

// The bytes of the hex digits, or nothing where one is no hex digit or one is alone.
std::optional<std::string> Bytes(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = static_cast<char>(high << 4 | low);
    }
    return bytes;
}

}  // namespace

std::optional<ParameterizedStatement> BinaryConstantsAsParameters(std::string_view statement, std::size_t least)
{
    ParameterizedStatement out;
    std::size_t copied = 0;  // statement[copied..] is not in out.text yet
    for (std::size_t i = 0; i < statement.size(); ++i) {
        const char c = statement[i];
        const char close = c == '\'' ? '\'' : c == '"' ? '"' : c == '[' ? ']' : c == '`' ? '`' : '\0';
        if (c == '?')
            return std::nullopt;
        if (c == '-' && i + 1 < statement.size() && statement[i + 1] == '-') {
            i = statement.find('\n', i);
        } else if (c == '/' && i + 1 < statement.size() && statement[i + 1] == '*') {
            i = statement.find("*/", i + 2) + 1;
        } else if (close != '\0') {
            // To the closing quote; a doubled one stays inside.
            for (i = statement.find(close, i + 1); i + 1 < statement.size() && statement[i + 1] == close && close != ']';)
                i = statement.find(close, i + 2);
        } else if ((c == 'X' || c == 'x') && i + 1 < statement.size() && statement[i + 1] == '\''
                   && (i == 0 || !WordCharacter(statement[i - 1]))) {
            const std::size_t end = statement.find('\'', i + 2);
            if (end == std::string_view::npos)
                return std::nullopt;
            std::optional<std::string> bytes;
            if ((end - i - 2) / 2 >= least && (bytes = Bytes(statement.substr(i + 2, end - i - 2)))) {
                out.text.append(statement.substr(copied, i - copied)).push_back('?');
                out.bytes.push_back(std::move(*bytes));
                copied = end + 1;
            }
            i = end;
        }
        if (i == std::string_view::npos)
            break;  // an open quote or comment runs to the end
    }
    if (out.bytes.empty())
        return std::nullopt;
    out.text.append(statement.substr(copied));
    return out;
}

}  // namespace platform::odbc
