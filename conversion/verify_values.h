// How verify sees a value on either side: the constants of an insert
// statement as the server stores them, and the values the server hands back,
// each brought to one form per column type and hashed, so that a value equals
// the same value written another way (1.5E+2 and 150, a timestamp with a
// blank or a T, 12.5 and 12.5000 in a MONEY column) and nothing else.
#pragma once

#include "conversion/dialect.h"
#include "platform/server_connection.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// How a column's values compare, once stored.
enum class Comparison : std::uint8_t {
    Text,      // exactly
    Decimal,   // as decimal numbers, rounded to the column's scale where it has one
    Double,    // as doubles, to 15 significant digits (what every text of a double keeps)
    Single,    // as floats
    Temporal,  // as dates and times: a blank or a T between them, the fraction's trailing zeros
    Bytes,     // byte for byte
};

struct ColumnComparison {
    Comparison how = Comparison::Text;
    int scale = -1;  // Decimal: the digits kept after the point; -1 keeps them all
};

// How the values of a column of that type (as SQL Server spells it: INT,
// DECIMAL(32,2), NVARCHAR(40)...) compare in the dialect's database. SQLite
// keeps MONEY, DECIMAL and REAL values as doubles, so there they compare as
// doubles.
ColumnComparison ComparisonOf(std::string_view sqlServerType, Dialect dialect);

using ValueKind = platform::ServerValue::Kind;

// One constant of an insert statement: NULL, the text that a string constant
// or a bare number stores, or the bytes of a binary constant.
struct Constant {
    ValueKind kind = ValueKind::Null;
    std::string value;
};

// Reads the constants of an insert statement as the run builds them, after
// the first prefixLength characters ("INSERT INTO [T] VALUES("): NULL, numbers,
// '...' and N'...' (quotes doubled; for SQL Server a backslash before a line
// break goes with the break, as SQL Server reads it, and such constants may
// be joined with NCHAR(n) and CHAR(n) by " + ", the first in a CAST to MAX),
// 0x... and X'...'.
// Throws std::invalid_argument for any other text.
void ReadConstants(std::string_view statement, std::size_t prefixLength, Dialect dialect,
                   std::vector<Constant>& out);

// The hash of a value in the form its column compares it in; scratch is reused.
std::uint64_t ValueHash(const ColumnComparison& column, ValueKind kind, std::string_view data, std::string& scratch);

// The hash of a row from the hashes of its values, in order.
std::uint64_t RowHash(const std::uint64_t* values, std::size_t count);

}  // namespace conversion
