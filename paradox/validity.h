// A table's validity file (.VAL): the checks of its fields (required,
// minimum, maximum, default, picture, table lookup) and its side of
// referential integrity (the parent tables its fields must be found in).
// Versions 0x09 to 0x0C are read; Paradox 3.0's (version 1) is not documented.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/header.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

// The checks of one field. Texts are raw, in the table's code page; the
// values are the field's bytes as a record holds them (empty: none).
struct FieldCheck {
    int field = 0;  // its place in the table, from 0
    bool required = false;
    std::string minimum;
    std::string maximum;
    std::string defaultValue;
    std::string picture;       // an input mask such as ###-##-####
    std::string lookupTable;   // the table a value must be found in (its first field), e.g. "states.db"
    std::uint8_t lookupFlags = 0;  // 1: fill all corresponding fields, 2: help and fill
};

// This table as the child of a referential integrity: its fields must match
// the parent's key. Paradox has no delete rule: a parent with children cannot
// be deleted.
struct Reference {
    std::string name;         // raw
    std::string parentTable;  // raw file name as stored, e.g. "orders.db"
    bool cascade = false;     // the update rule: cascade, else prohibit
    std::vector<int> fields;        // this table's fields, from 0
    std::vector<int> parentFields;  // the parent's fields, from 0
};

struct ValidityFile {
    std::uint8_t version = 0;
    std::vector<FieldCheck> checks;
    std::vector<Reference> references;
    std::string tableName;                 // raw, as the footer holds it (often a full path)
    std::vector<std::string> fieldNames;   // raw, as the footer lists them; can be stale
};

inline constexpr std::uint8_t kValidityVersion30 = 0x01;

// Reads a .VAL file and checks it against the table it belongs to: its
// change count, its fields' number and types, every field it names. Throws
// FormatError naming the file and the reason.
ValidityFile ReadValidityFile(ByteSource& source, const TableHeader& table);

}  // namespace paradox
