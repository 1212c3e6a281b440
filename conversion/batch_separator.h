// String constants that no script tool reads otherwise. sqlcmd and the
// management studio cut a script into batches at every line holding only GO
// (any letter case, blanks around, an optional count), and sqlcmd runs a line
// beginning with ":" or "!!", or holding EXIT, QUIT, RESET or ED, as a
// command of its own: inside a string constant as anywhere else. So a value
// whose line reads so has the line break before that line written outside
// its constant, as a character joined to it: N'A' + NCHAR(13) + NCHAR(10) +
// N'GO'. The server stores the same text; only SQL Server's statements are
// written so (the demo's SQLite ones go to no such tool).
#pragma once

#include "conversion/dialect.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace conversion {

// Whether a script tool reads the line (without its line break) as a batch
// separator or as a command of its own.
bool ReadsAsScriptCommand(std::string_view line);

// The length of the line break at `at`: LF, CR, CR LF, NEL, LS or PS (the
// last three as UTF-8); 0 where there is none.
std::size_t LineBreakLength(std::string_view text, std::size_t at);

// Where the next line break from `from` on begins that is followed by a line
// a script tool reads as its own; npos where none is.
std::size_t NextCommandBreak(std::string_view text, std::size_t from);

// The whole string constant of a text: '...' (N'...' when unicode), quotes
// doubled, the backslash before a line break kept (AppendQuotedText), and
// under SQL Server each line break before a line a script tool reads as its
// own joined as NCHAR(n) (CHAR(n) in '...' for the characters below 128). A
// text that long enough for SQL Server to cut such a join (more than 4,000
// bytes) has its first part made NVARCHAR(MAX) (VARCHAR(MAX)) by a CAST.
void AppendStringConstant(std::string_view text, Dialect dialect, bool unicode, std::string& out);

}  // namespace conversion
