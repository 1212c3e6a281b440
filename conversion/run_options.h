// The choices of one conversion run, as one value: the window fills it from
// the settings store at every start, the headless command from its arguments.
// The run itself never reads the settings store for them.
#pragma once

#include "conversion/datatype.h"
#include "conversion/statement_batch.h"
#include "core/settings_keys.h"

#include <optional>
#include <string>
#include <string_view>

namespace core {
class GuardedOperation;
}  // namespace core

namespace platform {
class SettingsStore;
}  // namespace platform

namespace conversion {

// What of a Paradox database's rules the tables get under SQL Server column
// types: their primary keys only, or also their secondary indexes, validity
// checks and referential integrity.
enum class RuleChoice : std::uint8_t { Keys, All };

struct RunOptions {
    // Not explicit: {false} gives the options of a run that offers no copy.
    RunOptions(bool copy = true) : offerCopy(copy) {}
    // The headless command reads folders with spaces as they are and never offers a copy.
    bool offerCopy;
    // Direct mode commits a table's inserts in transactions of this size, and
    // sends up to transactions.statementsPerCall of them in one round trip.
    TransactionLimits transactions;
    // The code page the tables' texts and field names are read in (an iconv
    // name such as CP866, as given); empty: the one each table's header names.
    std::string sourceCodePage;
    // Picture, BLOB, OLE and formatted-memo fields arrive as their bytes rather than NULL.
    bool transferBinary = false;
    ColumnTypes columnTypes = ColumnTypes::Text;
    RuleChoice rules = RuleChoice::All;  // with SQL Server column types only
    // The command's answer to every "Would you like to overwrite NAME?";
    // empty: the question is asked.
    std::optional<bool> overwrite;
    // With an answer above: a table that exists with fewer rows than its
    // records (a run that did not finish it) is continued instead.
    bool resume = false;
    // "Query Timeout" and --timeout: seconds the server may take with a
    // statement before the run takes it for lost; 0: the program's own 5000.
    int queryTimeout = 0;
    // How the user chooses another code page, named where a table's
    // undecodable bytes are reported.
    std::string codePageChoice = std::string("setting \"") + core::key::SourceCodePage + "\"";
    // The run ends with its "Done." message; the command writes its own
    // ending from the run's result instead.
    bool closingMessage = true;
    // After the run, every table it wrote is read back from the server and
    // compared with its Paradox table (conversion/verify.h).
    bool verifyAfter = false;
    // Direct mode sends the rows as the server's bulk load where the
    // connection has one (conversion/bulk_sender.h).
    bool bulkCopy = false;
};

// The window's choices as the settings store holds them now ("Transfer Binary",
// "Statements Per Round Trip", "Source Code Page", "Column Types", "Verify
// After Converting" and "Bulk Copy"), reported as steps 108, 114, 116 and 117 of the run's
// operation like the run's other steps: a stored text that is no boolean
// leaves the binary choice (or verifying, or bulk copy) off,
// one that is no count from 1 to 32767 leaves the program's own number of
// statements per round trip, one that names no column types leaves them Text.
RunOptions RunOptionsFromSettings(platform::SettingsStore& settings, core::GuardedOperation& op);

// "SQL Server" as the command's --column-types writes it, without the blank.
inline constexpr const char* kColumnTypesSqlServerWord = "sqlserver";

// The column types a word names, as the setting "Column Types" and the
// command's --column-types give it: "Text" or "SQL Server" (the command
// writes it "sqlserver"), in any letter case, blanks around allowed; empty is
// Text. Nothing for any other word; each caller words its own refusal.
std::optional<ColumnTypes> ColumnTypesNamed(std::string_view word);

// The setting's text as ColumnTypesNamed reads it; any other text throws
// std::invalid_argument naming the setting.
ColumnTypes ColumnTypesFromSetting(std::string_view text);

// "All" or "Keys" in any letter case, blanks around allowed; empty is All.
// Anything else throws std::invalid_argument naming the setting.
RuleChoice RulesFromSetting(std::string_view text);

}  // namespace conversion
