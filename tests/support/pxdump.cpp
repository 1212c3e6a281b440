// Reading the reference dumps of the shared Paradox tables.
#include "tests/support/pxdump.h"

#include "tests/support/testdata.h"

#include "paradox/sha256.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace testsupport {

namespace fs = std::filesystem;

Dump ReadDump(const fs::path& path)
{
    Dump d;
    std::ifstream in(path);
    std::string line;
    // "# header: ... numrecords=N ..." and "# field i: name=NAME type=0xNN(Type) len=..."
    while (std::getline(in, line)) {
        if (line.rfind("# header:", 0) == 0) {
            const auto at = line.find(" numrecords=");
            if (at != std::string::npos)
                d.recordCount = static_cast<std::uint32_t>(std::stoul(line.substr(at + 12)));
            const auto keys = line.find(" primarykeyfields=");
            if (keys != std::string::npos && line.find(" filetype=0 ") != std::string::npos)
                d.keyFields = static_cast<std::uint32_t>(std::stoul(line.substr(keys + 18)));
        } else if (line.rfind("# field ", 0) == 0) {
            const auto name = line.find(": name=");
            const auto type = line.rfind(" type=0x");
            if (name == std::string::npos || type == std::string::npos || type < name)
                continue;
            d.fields.push_back({line.substr(name + 7, type - name - 7), std::stoi(line.substr(type + 8, 2), nullptr, 16)});
        } else if (line.rfind("@record ", 0) == 0) {
            d.records.emplace_back();
        } else if (!line.empty() && line[0] != '#' && !d.records.empty()) {
            const auto tab1 = line.find('\t');
            const auto tab2 = line.find('\t', tab1 + 1);
            const std::size_t index = std::stoul(line.substr(0, tab1));
            const std::string name = line.substr(tab1 + 1, tab2 - tab1 - 1);
            const std::string value = line.substr(tab2 + 1);
            if (name.size() > 4 && name.compare(name.size() - 4, 4, "#raw") == 0)
                d.records.back().raw[index] = value;
            else
                d.records.back().values.push_back(value);
        }
    }
    return d;
}

DumpedBlob DumpedBlobOf(const DumpRecord& record, std::size_t field)
{
    const std::string& v = record.values[field];
    if (v == "\\N")
        return {};
    if (v.rfind("size=", 0) == 0) {
        const auto space = v.find(' ');
        return {false, std::stoul(v.substr(5, space - 5)), v.substr(v.find("sha256=") + 7)};
    }
    std::string bytes;
    if (const auto raw = record.raw.find(field); raw != record.raw.end()) {
        for (std::size_t i = 0; i + 1 < raw->second.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoi(raw->second.substr(i, 2), nullptr, 16)));
    } else {
        bytes = UnescapeDumpText(v);
    }
    return {false, bytes.size(), paradox::Sha256Hex(bytes)};
}

std::string UnescapeDumpText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 't': out.push_back('\t'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 'x':
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
            break;
        default: out.push_back(c); break;
        }
    }
    return out;
}

std::string NormalDecimal(std::string s)
{
    bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.erase(0, 1);
    auto dot = s.find('.');
    std::string whole = s.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    frac.erase(frac.find_last_not_of('0') + 1);
    if (whole.empty() && frac.empty())
        negative = false;
    return (negative ? "-" : "") + (whole.empty() ? "0" : whole) + (frac.empty() ? "" : "." + frac);
}

std::vector<DumpedTable> DumpedTables()
{
    std::vector<DumpedTable> tables;
    const auto dir = paradoxTestdata();
    if (!dir)
        return tables;
    const std::string suffix = ".pxdump.txt";
    for (const auto& e : fs::recursive_directory_iterator(*dir)) {
        const std::string name = e.path().filename().string();
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string stem = name.substr(0, name.size() - suffix.size());
        for (const char* ext : {".db", ".DB"}) {
            const fs::path t = e.path().parent_path() / (stem + ext);
            if (fs::exists(t)) {
                std::string label = fs::relative(t, *dir).string();
                std::replace_if(label.begin(), label.end(),
                                [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                tables.push_back({e.path(), t, label});
                break;
            }
        }
    }
    std::sort(tables.begin(), tables.end(), [](const auto& a, const auto& b) { return a.label < b.label; });
    return tables;
}

}  // namespace testsupport
