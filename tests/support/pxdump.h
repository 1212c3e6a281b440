// The reference dumps beside the shared Paradox tables (<table>.pxdump.txt):
// their field list and every record's values as text, and the list of tables
// that have one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

struct DumpField {
    std::string name;
    int typeCode = 0;  // the Paradox field type code (0x01 Alpha ...)
};

struct DumpRecord {
    std::vector<std::string> values;          // as the dump writes them; "\N" is NULL
    std::map<std::size_t, std::string> raw;   // field -> hex of the stored text
};

struct Dump {
    std::uint32_t recordCount = 0;
    std::uint32_t keyFields = 0;  // of a keyed table (file type 0); 0 for one without a key
    std::vector<DumpField> fields;
    std::vector<DumpRecord> records;
};

Dump ReadDump(const std::filesystem::path& path);

// A blob of the dump: "size=N sha256=H", a text with its stored bytes in hex
// beside it (a formatted memo), or \N.
struct DumpedBlob {
    bool null = true;
    std::size_t size = 0;
    std::string sha256;
};
DumpedBlob DumpedBlobOf(const DumpRecord& record, std::size_t field);

// The dump's escapes (\\ \t \n \r \xHH) undone.
std::string UnescapeDumpText(const std::string& text);

// A decimal text reduced to sign, integer digits and fraction digits without
// padding, so "1." equals "1" and "0.50" equals "0.5".
std::string NormalDecimal(std::string s);

struct DumpedTable {
    std::filesystem::path dump;
    std::filesystem::path table;
    std::string label;  // the path below the corpus folder, as an identifier
};

inline void PrintTo(const DumpedTable& t, std::ostream* os) { *os << t.label; }

// Every table of the shared corpus that has a dump, sorted by label; empty
// when the corpus is absent.
std::vector<DumpedTable> DumpedTables();

}  // namespace testsupport
