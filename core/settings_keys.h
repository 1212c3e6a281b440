// Where every value of the settings store lives, and the conversions the
// main window applies when it puts a stored text back into a control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class SettingsStore;
}

namespace core {

inline constexpr const char* kSettingsApplication = "Marrowby";
inline constexpr const char* kSettingsSection = "Dovenmark";

namespace key {
inline constexpr const char* ParadoxFolder = "ParadoxFolder";
inline constexpr const char* MssqlServer = "MSSQL Server";
inline constexpr const char* MssqlUser = "MSSQL User";
inline constexpr const char* MssqlPassword = "MSSQL Password";
inline constexpr const char* MssqlDatabase = "MSSQL Database";
inline constexpr const char* MssqlPort = "MSSQL Port";
inline constexpr const char* LocalConnection = "Local Connection";
inline constexpr const char* Check1 = "Check1";
inline constexpr const char* Option1 = "Option1";
inline constexpr const char* Option2 = "Option2";
inline constexpr const char* LastFolderDot = "LastFolderDot";
// The code page the Paradox tables' texts are read in (CP866, CP1251...);
// empty or absent: the one each table's header names. Read at every run.
inline constexpr const char* SourceCodePage = "Source Code Page";
// "True": picture, BLOB, OLE and formatted-memo fields arrive as their bytes.
// No control shows it; every run reads it afresh.
inline constexpr const char* TransferBinary = "Transfer Binary";
// The column types of the tables made: "Text" (absent: the same) or
// "SQL Server". Every run reads it afresh.
inline constexpr const char* ColumnTypes = "Column Types";
// With "SQL Server" column types: "All" (absent: the same) gives the tables
// their rules too (indexes, validity checks, referential integrity), "Keys"
// their primary keys only. Every run reads it afresh.
inline constexpr const char* Rules = "Rules";
// How many of a table's inserts direct mode sends in one round trip (1 to
// 32767); absent or empty: the program's own number. Read at every run.
inline constexpr const char* StatementsPerRoundTrip = "Statements Per Round Trip";
// Seconds the server may take with one statement before the run takes the
// connection for lost (0 to 999999); absent, empty or 0: the program's own
// 5000. Read at every run.
inline constexpr const char* QueryTimeout = "Query Timeout";
// "True": after a run every table it wrote is read back from the server and
// compared with its Paradox table. The Options dialog shows it.
inline constexpr const char* VerifyAfterConverting = "Verify After Converting";
// "True": direct mode sends a table's rows as SQL Server's bulk load where the
// driver has one (FreeTDS), INSERTs otherwise. The Options dialog shows it.
inline constexpr const char* BulkCopy = "Bulk Copy";
// "False": the maker's web page never opens at the start (absent: about one
// start in a hundred opens it, as ever). Read at the start.
inline constexpr const char* OpenWebPage = "Open Web Page";
}  // namespace key

// The two values of "Column Types".
inline constexpr const char* kColumnTypesText = "Text";
inline constexpr const char* kColumnTypesSqlServer = "SQL Server";
// The two values of "Rules".
inline constexpr const char* kRulesAll = "All";
inline constexpr const char* kRulesKeys = "Keys";

// A decimal text as a 16-bit integer; anything else is "Type mismatch".
std::int16_t SettingToInteger(const std::string& text);
// "True"/"False" in any letter case, or a number (zero is false); anything else
// is "Type mismatch".
bool SettingToBoolean(const std::string& text);

inline std::string BooleanSetting(bool value) { return value ? "True" : "False"; }

// The stored "Transfer Binary" as a boolean, False when absent; a text that is
// no boolean is "Type mismatch".
bool TransferBinarySetting(platform::SettingsStore& store);

// The stored "Verify After Converting" as a boolean, False when absent; a
// text that is no boolean is "Type mismatch".
bool VerifyAfterConvertingSetting(platform::SettingsStore& store);
// The stored "Bulk Copy" likewise.
bool BulkCopySetting(platform::SettingsStore& store);

// A number of statements per round trip as the setting "Statements Per Round
// Trip" and the command's --per-trip give it: a whole number from 1 to 32767,
// blanks around allowed; `fallback` for an empty text; nothing for any other.
// Each caller words its own refusal.
std::optional<std::size_t> StatementsPerRoundTrip(std::string_view text, std::size_t fallback);

// Seconds of "Query Timeout" and the command's --timeout: a whole number from
// 0 to 999999, blanks around allowed, empty for 0; nothing for any other.
std::optional<int> QueryTimeoutSeconds(std::string_view text);

// The stored "Query Timeout" as QueryTimeoutSeconds reads it, 0 when absent;
// any other text is refused naming the setting.
int QueryTimeoutSetting(platform::SettingsStore& store);

// The stored "Statements Per Round Trip" as StatementsPerRoundTrip reads it,
// `fallback` when absent; any other text is refused naming the setting.
std::size_t StatementsPerRoundTripSetting(platform::SettingsStore& store, std::size_t fallback);

}  // namespace core
