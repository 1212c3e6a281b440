// A field value as the constant of a column of SQL Server's own type (the
// column types "SQL Server"): texts exactly as stored in N'...', numbers bare,
// dates and times in the forms every language setting reads alike, bytes as a
// binary constant. No text is recognised as a date or number.
#pragma once

#include "conversion/datatype.h"
#include "conversion/dialect.h"
#include "paradox/value.h"

#include <string>
#include <string_view>

namespace conversion {

enum class TypedOutcome : std::uint8_t {
    Written,     // the constant was appended
    Null,        // nothing appended: the value is NULL (also an empty text)
    OutOfRange,  // nothing appended: the column's type cannot hold it (a date outside
                 // the years 1 to 9999, a time outside the day, a currency beyond MONEY's range)
};

// Appends the constant of `value` for a column of `kind` (a Binary column
// takes the bytes as given: whether to read them is the caller's choice). A
// value of another kind than its column's is written as the N'...' of its value
// text, which SQL Server converts or refuses.
TypedOutcome AppendTypedValue(TypedKind kind, const paradox::Value& value, Dialect dialect, std::string& out);

// A text between the quotes of a T-SQL string constant: every ' doubled, and a
// backslash directly before a line break (LF or CR LF) written followed by one
// more backslash and break of the same kind, since SQL Server drops a
// backslash there together with its break. "C:\DATA\" CR LF "next" becomes
// C:\DATA\\ CR LF CR LF next, stored as it was.
void AppendQuotedText(std::string_view text, std::string& out);

}  // namespace conversion
