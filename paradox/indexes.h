// The header of a secondary index (.Xnn on one field, unnamed; .XGn on one
// or more fields, named): which of the table's fields it orders by, in what
// direction, whether its values are unique and whether letter case counts.
// The .Ynn/.YGn beside each holds nothing more.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/header.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

struct IndexField {
    int field = 0;  // its place in the table, from 0
    bool descending = false;
};

struct SecondaryIndex {
    std::string name;  // raw: the .XGn's own name; empty for a .Xnn
    std::vector<IndexField> fields;
    bool unique = false;
    bool caseInsensitive = false;
};

// File types of secondary index files (byte 0x04).
inline constexpr std::uint8_t kFileTypeIndexNonIncrementing = 3;  // .Xnn
inline constexpr std::uint8_t kFileTypeIndexIncrementing = 5;     // .Xnn
inline constexpr std::uint8_t kFileTypeCompositeNonIncrementing = 6;  // .XGn
inline constexpr std::uint8_t kFileTypeCompositeIncrementing = 8;     // .XGn

// Reads the header of a .Xnn or .XGn file and finds its fields in the table:
// by number where the field of that number has the type the index records,
// else by name with that type (an index header's numbers and names can each
// be out of date after a restructure). Throws FormatError naming the file
// and the reason.
SecondaryIndex ReadIndexHeader(ByteSource& source, const TableHeader& table);

}  // namespace paradox
