// What a table's road reports, in the words the user reads.
#include "conversion/table_reports.h"

#include "conversion/dialect.h"
#include "conversion/row_count.h"
#include "platform/source_connection.h"

#include <filesystem>
#include <stdexcept>

namespace conversion {

// Once per table whose texts held bytes that its code page could not decode:
// they were written as U+FFFD, and another code page may read them.
void ReportUndecodableBytes(const std::string& table, std::uint64_t bytes, const std::string& codePage,
                            const std::string& codePageChoice)
{
    if (bytes == 0)
        return;
    throw std::runtime_error(std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") + " of the table " + table +
                             " could not be decoded from " +
                             codePage + " and were written as U+FFFD. Another code page (" +
                             codePageChoice + ") may read them.");
}

// Once per table whose records differ from its header's count, or whose data
// blocks do not chain as its header says: the records that could be read were
// written all the same.
void ReportDamage(const std::string& table, const std::optional<std::string>& damage)
{
    if (damage)
        throw std::runtime_error("The table " + table + " is damaged: " + *damage +
                                 ". The records that could be read were written.");
}

// Once per table whose values its column types could not hold: they were written NULL.
void ReportOutOfRange(const std::string& table, std::int64_t values)
{
    if (values == 0)
        return;
    const bool one = values == 1;
    throw std::runtime_error(std::to_string(values) + (one ? " value of the table " : " values of the table ") + table
                             + (one ? " lies outside what its column type holds" : " lie outside what their column types hold")
                             + " (a date outside the years 1 to 9999, a time outside the day, a currency beyond "
                               "MONEY's range) and " + (one ? "was" : "were") + " written as NULL.");
}

// Once per field whose values after the first could not be read either.
void ReportMoreUnreadable(std::int64_t values, const std::string& field)
{
    throw std::runtime_error(std::to_string(values) + (values == 1 ? " more value" : " more values")
                             + " of the field " + field
                             + " could not be read, as the first one reported, and "
                             + (values == 1 ? "was" : "were") + " written as NULL.");
}

// After the server's reason for refusing a table's CREATE.
std::string NotMade(const std::string& table, const platform::SourceRecordset& records)
{
    const std::int64_t n = records.recordCount();
    return "The table " + table + " is not converted: none of its " + std::to_string(n)
        + (n == 1 ? " record was sent." : " records were sent.");
}

// The start of every report of a key that was not made: what the table keeps.
std::string KeyNotMade(const std::string& table, std::int64_t records, std::int64_t refused)
{
    const std::string key = " without the primary key " + KeyName(table) + ": ";
    if (refused <= 0)
        return "The table " + table + " keeps all its records" + key;
    const std::int64_t arrived = records - refused;
    return "The table " + table + " keeps the " + std::to_string(arrived) + (arrived == 1 ? " record" : " records")
        + " that arrived (" + std::to_string(refused) + " of its " + std::to_string(records)
        + (refused == 1 ? " was" : " were") + " refused)" + key;
}

// A second table of a name is never mixed into the first one's target table:
// the one found first (nearest the top folder) keeps the name.
void ReportLeftOut(const std::string& table, const std::string& path, const std::string& keptBy)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const std::string how = folder == std::filesystem::path(keptBy).parent_path()
        ? "copy it into a folder of its own and convert that folder"
        : "convert the folder " + folder.string() + " on its own";
    throw std::runtime_error("The table " + table + " of " + path + " is not converted: " + keptBy +
                             ", found before it, is converted under that name. To convert it, " + how + ".");
}

std::string OverwriteQuestion(const std::string& table, std::optional<std::int64_t> halfRows, std::int64_t records)
{
    const std::string question = "Would you like to overwrite " + table + "?";
    if (!halfRows)
        return question;
    return table + " exists with " + Grouped(*halfRows) + (*halfRows == 1 ? " row" : " rows")
        + "; the Paradox table has " + Grouped(records) + (records == 1 ? " record.\r\n" : " records.\r\n")
        + question;
}

}  // namespace conversion
