// Reading and amending ODBC connection texts ("Key=value;Key={value};..."):
// the driver a text names, and the text that is handed to FreeTDS when it
// stands in for the "SQL Server" driver. The program's own text is never changed;
// these functions return new texts.
#pragma once

#include "platform/secret_text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::odbc {

// One "key=value" of a connection text, with where its value lies in the text
// (braces included) so that it can be replaced without touching the rest.
struct ConnectionAttribute {
    std::string key;   // as written, spaces around it removed
    SecretText value;  // braces removed, "}}" read as "}" (one of them is the password)
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

std::vector<ConnectionAttribute> ParseConnectionText(std::string_view text);

// A value as it goes into a connection text: in braces with "}" doubled when it
// holds ";" or "{" (which would otherwise change the text's meaning), else as it is.
std::string AttributeValue(std::string_view value);
// A password as it goes into a connection text: as AttributeValue, and in
// braces also where it starts or ends with a blank, which a driver might drop.
SecretText PasswordValue(std::string_view password);
// The value in braces with "}" doubled.
std::string Braced(std::string_view value);

// The value of the first attribute whose key equals `key` in any letter case
// (never asked of the password: see ConnectionHasKey).
std::optional<std::string> ConnectionValue(std::string_view text, std::string_view key);
// Whether an attribute's key equals `key` in any letter case.
bool ConnectionHasKey(std::string_view text, std::string_view key);

inline constexpr std::string_view kFreeTdsVersion = "7.4";
inline constexpr std::string_view kDefaultPort = "1433";

// The text as FreeTDS needs it: TDS_Version=7.4 unless one is named; Port=1433
// when Server= names neither a port (",port") nor an instance ("\inst") and no
// Port= is given (FreeTDS refuses a server without a port); ClientCharset=UTF-8
// so that narrow texts are read as UTF-8. With a non-empty driverLibrary the
// Driver= value is replaced by that library's path.
SecretText FreeTdsConnectionText(std::string_view text, std::string_view driverLibrary);

}  // namespace platform::odbc
