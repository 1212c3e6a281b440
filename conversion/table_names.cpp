// The server's names of a folder's tables and fields.
#include "conversion/table_names.h"

#include "core/unicode_case.h"
#include "sources/utf8_code_points.h"

#include <cstdint>
#include <cstdio>
#include <map>

namespace conversion {

namespace {

using AddFolder::Utf8Length;

constexpr const char* kControlReason = "its name holds line breaks or other control characters";
constexpr const char* kEmptyReason = "its name is empty";
constexpr const char* kTemporaryReason =
    "SQL Server takes a name beginning with # for a temporary table, gone when the connection closes";
constexpr const char* kLongReason = "SQL Server takes names of at most 128 characters";

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// The name and why it was changed, without regard to the other tables.
ServerTableName OwnName(std::string_view paradoxName)
{
    ServerTableName out{WithoutControlCharacters(paradoxName), {}};
    if (out.name != paradoxName)
        out.reason = kControlReason;
    if (out.name.empty()) {
        out.name = "_";
        out.reason = kEmptyReason;
    } else if (out.name.front() == '#') {
        out.name.insert(0, 1, '_');
        out.reason = kTemporaryReason;
    }
    if (const std::string_view cut = CutToUnits(out.name, kLongestServerName); cut.size() < out.name.size()) {
        out.name.resize(cut.size());
        out.reason = kLongReason;
    }
    return out;
}

// A name in a message: each control character written as \n, \r, \t or \xHH
// (\x{HHHH} above FF), so that the message keeps its lines.
std::string Shown(std::string_view name)
{
    std::string out;
    std::size_t at = 0;
    AddFolder::ForEachCodePoint(name, [&](char32_t c, bool valid) {
        const std::size_t length = valid ? Utf8Length(c) : 1;
        if (!valid || !IsControl(c)) {
            out.append(name.substr(at, length));
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else {
            char hex[12];
            std::snprintf(hex, sizeof hex, c > 0xFF ? "\\x{%04X}" : "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        }
        at += length;
        return false;
    });
    return out;
}

}  // namespace

std::string WithoutControlCharacters(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    std::size_t at = 0;
    AddFolder::ForEachCodePoint(name, [&](char32_t c, bool valid) {
        const std::size_t length = valid ? Utf8Length(c) : 1;
        if (valid && IsControl(c))
            out += '_';
        else
            out.append(name.substr(at, length));
        at += length;
        return false;
    });
    return out;
}

std::string_view CutToUnits(std::string_view name, std::size_t units)
{
    std::size_t used = 0;
    std::size_t at = 0;
    AddFolder::ForEachCodePoint(name, [&](char32_t c, bool valid) {
        const std::size_t cost = valid && c > 0xFFFF ? 2 : 1;
        if (used + cost > units)
            return true;
        used += cost;
        at += valid ? Utf8Length(c) : 1;
        return false;
    });
    return name.substr(0, at);
}

std::string ServerObjectName(std::string name)
{
    if (CutToUnits(name, kLongestServerName).size() == name.size())
        return name;
    std::uint32_t hash = 2166136261u;  // FNV-1a over the name folded, as the server compares names
    for (const char c : core::LowerCase(name))
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char suffix[10];
    std::snprintf(suffix, sizeof suffix, "_%08X", hash);
    name.resize(CutToUnits(name, kLongestServerName - 9).size());
    return name + suffix;
}

std::vector<ServerTableName> ServerTableNames(const std::vector<std::string>& paradoxNames)
{
    std::vector<ServerTableName> names;
    names.reserve(paradoxNames.size());
    // Every name taken, folded, with the folded Paradox name that holds it.
    std::map<std::string, std::string> taken;
    for (const std::string& p : paradoxNames) {
        names.push_back(OwnName(p));
        if (names.back().reason.empty())
            taken.emplace(core::LowerCase(p), core::LowerCase(p));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].reason.empty())
            continue;
        const std::string own = core::LowerCase(paradoxNames[i]);
        const std::string base = names[i].name;
        for (int n = 2;; ++n) {
            const auto [at, free] = taken.emplace(core::LowerCase(names[i].name), own);
            if (free || at->second == own)
                break;
            const std::string suffix = "_" + std::to_string(n);
            names[i].name = std::string(CutToUnits(base, kLongestServerName - suffix.size())) + suffix;
        }
    }
    return names;
}

std::string RenamedTablesText(const std::vector<std::string>& paradoxNames,
                              const std::vector<ServerTableName>& serverNames)
{
    std::string lines;
    std::map<std::string, bool> told;
    for (std::size_t i = 0; i < paradoxNames.size() && i < serverNames.size(); ++i) {
        if (serverNames[i].reason.empty() || !told.emplace(core::LowerCase(paradoxNames[i]), true).second)
            continue;
        lines += "\r\n" + Shown(paradoxNames[i]) + " as " + serverNames[i].name + ": " + serverNames[i].reason + ".";
    }
    if (lines.empty())
        return {};
    return "Tables written under other names, which SQL Server keeps as tables:" + lines;
}

std::string RenamedFieldsText(std::string_view table, const std::vector<std::string>& fieldNames)
{
    std::string lines;
    for (const std::string& f : fieldNames) {
        if (const std::string name = WithoutControlCharacters(f); name != f)
            lines += "\r\n" + Shown(f) + " as " + name;
    }
    if (lines.empty())
        return {};
    return "Fields of the table " + Shown(table) + " written under other names, since theirs hold line "
           "breaks or other control characters:" + lines;
}

}  // namespace conversion
