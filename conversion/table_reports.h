// What a table's road reports, in the words the user reads: the Report
// functions throw the report (each is made inside a step of the error report),
// the others give the words a report is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {
class SourceRecordset;
}  // namespace platform

namespace conversion {

// Bytes of the table's texts that its code page could not decode, when there were any.
void ReportUndecodableBytes(const std::string& table, std::uint64_t bytes, const std::string& codePage,
                            const std::string& codePageChoice);
// Damage that reading the table found, when it found any.
void ReportDamage(const std::string& table, const std::optional<std::string>& damage);
// Values written NULL because their column types could not hold them, when there were any.
void ReportOutOfRange(const std::string& table, std::int64_t values);
// Values of a field that could not be read after the first one, which was reported.
void ReportMoreUnreadable(std::int64_t values, const std::string& field);

// A table of the name of one found before it (path: its file; keptBy: the one
// that keeps the name), which is not converted.
void ReportLeftOut(const std::string& table, const std::string& path, const std::string& keptBy);

// After the server's reason for refusing a table's CREATE.
std::string NotMade(const std::string& table, const platform::SourceRecordset& records);
// The start of every report of a key that was not made: what the table keeps.
std::string KeyNotMade(const std::string& table, std::int64_t records, std::int64_t refused);

// "Would you like to overwrite T?", after what a half table holds where
// `halfRows` is given: "T exists with 312,000 rows; the Paradox table has
// 1,000,000 records."
std::string OverwriteQuestion(const std::string& table, std::optional<std::int64_t> halfRows, std::int64_t records);

}  // namespace conversion
