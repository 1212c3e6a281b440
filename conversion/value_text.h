// The value text of a field value: what the statement rules see of it. This is
// the platform's general conversion to text, with a Null as the empty text.
#pragma once

#include "conversion/regional_settings.h"
#include "paradox/value.h"

#include <string>

namespace conversion {

// Appends the value text of v to out:
//   Null                  nothing (the empty text); so does a double that is NaN or infinite
//   Text                  the characters as they are
//   Integer               decimal digits, "-" for negative values
//   Double, Currency      the shortest text that reads back as the same double, with the
//                         regional decimal separator; exponent form ("1E+20", "1E-05") below
//                         1E-04 and from 1E+15 on
//   Bcd                   the exact decimal text, with the regional decimal separator
//   Boolean               "True" or "False"
//   Date                  mm/dd/yyyy; a year outside 1..9999 as [-]yyyy-mm-dd
//   Time                  hh:nn:ss
//   Timestamp             the date, then " hh:nn:ss" unless the time of day is midnight
//   Bytes                 "0x" followed by upper-case hex digits
void AppendValueText(const paradox::Value& v, const RegionalSettings& settings, std::string& out);

std::string ValueText(const paradox::Value& v, const RegionalSettings& settings);

// The shortest round-trip text of a finite double, as above.
void AppendDouble(double d, const std::string& decimalSeparator, std::string& out);

// The default when the value is Null, otherwise the value (the shared routine's Null guard).
inline paradox::Value NullToDefault(const paradox::Value& value, const paradox::Value& defaultValue)
{
    return value.isNull() ? defaultValue : value;
}

}  // namespace conversion
