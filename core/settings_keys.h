// Where every value of the settings store lives, and the conversions the
// main window applies when it puts a stored text back into a control.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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
// How many of a table's inserts direct mode sends in one round trip (1 to
// 32767); absent or empty: the program's own number. Read at every run.
inline constexpr const char* StatementsPerRoundTrip = "Statements Per Round Trip";
// "False": the maker's web page never opens at the start (absent: about one
// start in a hundred opens it, as ever). Read at the start.
inline constexpr const char* OpenWebPage = "Open Web Page";
}  // namespace key

// The two values of "Column Types".
inline constexpr const char* kColumnTypesText = "Text";
inline constexpr const char* kColumnTypesSqlServer = "SQL Server";

// A decimal text as a 16-bit integer; anything else is "Type mismatch".
std::int16_t SettingToInteger(const std::string& text);
// "True"/"False" in any letter case, or a number (zero is false); anything else
// is "Type mismatch".
bool SettingToBoolean(const std::string& text);

inline std::string BooleanSetting(bool value) { return value ? "True" : "False"; }

// The stored "Transfer Binary" as a boolean, False when absent; a text that is
// no boolean is "Type mismatch".
bool TransferBinarySetting(platform::SettingsStore& store);

// The stored "Statements Per Round Trip", `fallback` when absent or empty; a
// text that is no number is "Type mismatch", one outside 1 to 32767 says so.
std::size_t StatementsPerRoundTripSetting(platform::SettingsStore& store, std::size_t fallback);

}  // namespace core
