// Field type mapping: the ADO type names of the module Datatype and the ordered
// keyword rules that turn a field's type name into its column type, its numeric
// flag and the texts of its datatype record.
#pragma once

#include <cstdint>
#include <string_view>

namespace Datatype {

// The ADO constant name of a data type code ("adInteger" for 3), or the empty
// text for a code without a name.
std::string_view DatatypeName(std::int16_t code);

}  // namespace Datatype

namespace conversion {

struct TypeRule {
    std::string_view keyword;      // searched in the lower-cased type name; empty for the last rule
    std::string_view fragment;     // ends the column definition: "] INT,"
    std::string_view paradoxType;  // third text of the datatype record
    std::string_view sqlType;      // fourth text of the datatype record
    bool numeric;                  // values are written as bare numbers
    bool binary;                   // byte data: written NULL unless the user asks for it (Transfer Binary)
};

// The first rule whose keyword occurs in the lower-cased type name, or the
// last rule ("OTHER TYPES", TEXT) when none does.
const TypeRule& Classify(std::string_view lowerTypeName);

// The rule that decides for an ADO type code (name lookup, lower-casing, Classify).
const TypeRule& ClassifyCode(std::int16_t code);

}  // namespace conversion
