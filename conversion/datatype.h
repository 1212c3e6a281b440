// Field type mapping: the ADO type names of the module Datatype and the ordered
// keyword rules that turn a field's type name into its column type, its numeric
// flag and the texts of its datatype record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Datatype {

// The ADO constant name of a data type code ("adInteger" for 3), or the empty
// text for a code without a name.
std::string_view DatatypeName(std::int16_t code);

}  // namespace Datatype

namespace conversion {

// The column types of the tables made. Text: text, date, currency and logical
// fields become TEXT columns of quoted text. SqlServer: each field gets SQL
// Server's own type (NVARCHAR(n), DATE, MONEY, BIT...) and a keyed table its
// primary key.
enum class ColumnTypes : std::uint8_t { Text, SqlServer };

struct TypeRule {
    std::string_view keyword;      // searched in the lower-cased type name; empty for the last rule
    std::string_view paradoxType;  // third text of the datatype record
    std::string_view sqlType;      // the column type, and fourth text of the datatype record
    bool numeric;                  // values are written as bare numbers
    bool binary;                   // byte data: written NULL unless the user asks for it (Transfer Binary)
};

// The first rule whose keyword occurs in the lower-cased type name, or the
// last rule ("OTHER TYPES", TEXT) when none does.
const TypeRule& Classify(std::string_view lowerTypeName);

// The rule that decides for an ADO type code (name lookup, lower-casing, Classify).
const TypeRule& ClassifyCode(std::int16_t code);

// The field's type in the datatype record under SQL Server column types: the
// rule's name, but "currency", "time", "logical" and "bytes" for the fields
// that the last rule ("OTHER TYPES") takes, whose columns are MONEY, TIME(3),
// BIT and VARBINARY(n).
std::string_view TypedRecordName(std::int16_t code, const TypeRule& rule);

// What the source tells of a field beside its type code (ADO's DefinedSize,
// NumericScale and ISAUTOINCREMENT).
struct FieldShape {
    int size = 0;   // characters of a text field, bytes of a byte field; 0: not known
    int scale = 0;  // decimals of a BCD field
    bool autoIncrement = false;
};

// How a value is written into a column of SQL Server's own type.
enum class TypedKind : std::uint8_t {
    Text,      // N'...', exactly as stored
    Integer,   // a whole number
    Float,     // the shortest text that reads back as the same double
    Money,     // a number of at most four decimals
    Decimal,   // the stored digits
    Date,      // 'YYYY-MM-DD'
    Time,      // 'hh:mm:ss.fff'
    DateTime,  // 'YYYY-MM-DDThh:mm:ss.fff'
    Bit,       // 1 or 0
    Bytes,     // a binary constant
    Binary,    // a binary constant with Transfer Binary, NULL without
};

struct TypedColumn {
    std::string type;  // as SQL Server spells it: NVARCHAR(40), INT IDENTITY(1,1), DECIMAL(32,2)
    TypedKind kind = TypedKind::Text;
    bool identity = false;
    int keyBytes = 0;  // the most an index entry needs for one value
};

// The column of "SQL Server" column types for a field: Alpha NVARCHAR(n),
// Memo NVARCHAR(MAX), Short SMALLINT, Long INT, AutoInc INT IDENTITY(1,1),
// Number FLOAT, Currency MONEY, BCD DECIMAL(32,d), Date DATE, Time TIME(3),
// Timestamp DATETIME2(3), Logical BIT, Bytes VARBINARY(n), BLOB, graphic,
// OLE and formatted memo VARBINARY(MAX); a type no Paradox field has
// NVARCHAR(MAX), which holds any value text.
TypedColumn SqlServerColumn(std::int16_t code, const FieldShape& shape);

}  // namespace conversion
