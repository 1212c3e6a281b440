// The names a folder's tables and their fields get on the server. A Paradox
// table is named after its file, and a file name may hold what SQL Server reads
// as something else: a name beginning with # is a temporary table, gone with
// the connection; one longer than 128 characters is refused; a line break may
// make a line of a script read as a batch separator. Such a name is changed
// into one SQL Server keeps as a table, the same way wherever a run writes it
// (script, convert, the SQL Preview, the datatype view, verify).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// SQL Server's longest name, in UTF-16 code units (sysname).
inline constexpr std::size_t kLongestServerName = 128;

// A name with each control character (C0, DEL, C1, the line and paragraph
// separators) written "_".
std::string WithoutControlCharacters(std::string_view name);

// The longest start of a UTF-8 name that takes at most `units` UTF-16 code
// units, cut between characters.
std::string_view CutToUnits(std::string_view name, std::size_t units);

// The name of a key, constraint or index made of a table's name: as it is
// within SQL Server's 128 characters, else cut, and told apart from the names
// of other tables that begin alike by a hash of the whole name.
std::string ServerObjectName(std::string name);

struct ServerTableName {
    std::string name;    // what the table is written under
    std::string reason;  // why it differs from its Paradox name; empty where it does not
};

// One per entry of the table list, in its order. A name SQL Server keeps as
// it is stays; otherwise its control characters become "_", an empty one is
// "_", one beginning with # gets a leading "_", and one longer than 128
// characters is cut to 128; a name changed so is kept apart (in any letter
// case) from every other table's by "_2", "_3"... Entries of one Paradox name
// (in any letter case) get one name.
std::vector<ServerTableName> ServerTableNames(const std::vector<std::string>& paradoxNames);

// "Tables written under other names, ...:" and one line per table changed
// ("#ORDERS as _#ORDERS: why"); empty where none is.
std::string RenamedTablesText(const std::vector<std::string>& paradoxNames,
                              const std::vector<ServerTableName>& serverNames);

// The same for the fields of one table whose names hold control characters;
// empty where none does.
std::string RenamedFieldsText(std::string_view table, const std::vector<std::string>& fieldNames);

}  // namespace conversion
