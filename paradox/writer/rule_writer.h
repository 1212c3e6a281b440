// Rule files for tests: a validity file (.VAL) and the header of a secondary
// index (.Xnn, .XGn), written from their documented layout for a table made
// by TableWriter. Texts are written as given (ASCII in tests).
#pragma once

#include "paradox/writer/table_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paradox::writer {

struct CheckDesign {
    int field = 0;  // from 0
    bool required = false;
    std::optional<Value> minimum = {};
    std::optional<Value> maximum = {};
    std::optional<Value> defaultValue = {};
    std::string picture = {};
    std::string lookupTable = {};  // empty: no lookup
    std::uint8_t lookupFlags = 0;
};

struct ReferenceDesign {
    std::string name;
    std::string parentTable;  // e.g. "parent.db"
    bool cascade = false;
    std::vector<int> fields;        // from 0
    std::vector<int> parentFields;  // from 0
};

struct ValidityDesign {
    std::uint8_t version = 0x0B;  // 0x0C: the footer's table name takes 261 bytes
    std::uint8_t changeCount = 0;  // TableWriter's tables have 0
    std::vector<CheckDesign> checks;
    std::vector<ReferenceDesign> references;
    std::string tableName = "table.db";
};

// The .VAL of a table of that design; `table` encodes the values.
std::string ValidityBytes(const TableDesign& design, TableWriter& table, const ValidityDesign& validity);

struct IndexDesign {
    std::string name = {};          // empty: an unnamed .Xnn on one field; else a .XGn
    std::vector<int> fields = {};   // from 0
    std::vector<bool> descending = {};  // per field; missing: ascending
    bool unique = false;
    bool caseInsensitive = false;
    std::uint8_t versionId = 11;
};

// The header of the index's .Xnn/.XGn file (the index blocks are not needed to read it).
std::string IndexHeaderBytes(const TableDesign& design, const IndexDesign& index);

}  // namespace paradox::writer
