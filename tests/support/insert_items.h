// The splitter of an insert statement into its value items, for tests that
// look at what each column of a statement receives.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace testsupport {

// The value items of "INSERT INTO [T] VALUES(a, 'b',NULL)" (or of
// "INSERT INTO [T]([A],[B],[C]) VALUES(...)") as written: blanks before an
// item left out, quotes and N prefixes kept; nothing when the statement is not
// an insert or a literal is left open.
inline std::optional<std::vector<std::string_view>> InsertValueItems(std::string_view s)
{
    const std::string_view head = "INSERT INTO [";
    if (s.substr(0, head.size()) != head || s.empty() || s.back() != ')')
        return std::nullopt;
    std::size_t i = head.size();
    for (; i < s.size(); ++i) {  // the table name, "]]" standing for "]"
        if (s[i] == ']') {
            if (i + 1 < s.size() && s[i + 1] == ']')
                ++i;
            else
                break;
        }
    }
    ++i;
    if (s.substr(i, 2) == "([") {  // a column list: names in brackets, "]]" standing for "]"
        bool inName = false;
        for (; i < s.size() && (inName || s[i] != ')'); ++i) {
            if (s[i] == '[' && !inName)
                inName = true;
            else if (s[i] == ']' && inName && i + 1 < s.size() && s[i + 1] == ']')
                ++i;
            else if (s[i] == ']')
                inName = false;
        }
        ++i;
    }
    const std::string_view values = " VALUES(";
    if (s.substr(i, values.size()) != values)
        return std::nullopt;
    i += values.size();
    const std::size_t end = s.size() - 1;
    std::vector<std::string_view> items;
    while (i <= end) {
        while (i < end && s[i] == ' ')
            ++i;
        const std::size_t start = i;
        bool quoted = false;
        for (; i < end && (quoted || s[i] != ','); ++i) {
            if (s[i] == '\'') {
                if (quoted && i + 1 < end && s[i + 1] == '\'')
                    ++i;
                else
                    quoted = !quoted;
            }
        }
        if (quoted)
            return std::nullopt;
        items.push_back(s.substr(start, i - start));
        ++i;
    }
    return items;
}

}  // namespace testsupport
