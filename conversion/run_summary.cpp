// The words a run ends with.
#include "conversion/run_summary.h"

#include "conversion/row_count.h"
#include "core/error_report.h"

namespace conversion {

namespace {

// The closing message's lines after "Done." on the tables: how many rows the
// server holds of each (direct mode), what verify found, and every table that
// did not arrive, with why.
std::string TablesSummary(const RunResult& result)
{
    // A message box holds so many; the rest are summed up.
    constexpr int kNamedCounts = 20;
    std::string held;
    int counted = 0;
    std::int64_t rowsBeyond = 0;
    std::string verified;
    std::string missing;
    for (const TableResult& t : result.tables) {
        if (t.serverRows && ++counted <= kNamedCounts)
            held += (held.empty() ? "" : "; ") + t.table + " " + Grouped(*t.serverRows);
        else if (t.serverRows)
            rowsBeyond += *t.serverRows;
        if (!t.verdict.empty())
            verified += "\r\n" + t.verdict;
        if (const std::string why = WhyNotArrived(t); !why.empty())
            missing += "\r\n" + SummaryName(t) + ": " + why;
    }
    std::string text;
    if (!held.empty())
        text += "\r\n\r\nRows on the server: " + held;
    if (counted > kNamedCounts)
        text += "; and " + Grouped(rowsBeyond) + " in " + std::to_string(counted - kNamedCounts) + " more tables";
    if (!verified.empty())
        text += "\r\n\r\nRead back and compared:" + verified;
    if (!missing.empty())
        text += "\r\n\r\nNot converted:" + missing;
    return text;
}

// The closing message's lines after "Done." when anything was reported: how
// many reports each table had, and the log that holds them all.
std::string FailureSummary(const RunResult& result, int outsideTables, const core::RunReports& reports)
{
    int total = outsideTables;
    std::string perTable;
    for (const TableResult& t : result.tables) {
        const std::int64_t count = t.refused + t.failures;
        total += static_cast<int>(count);
        if (count > 0)
            perTable += "\r\n" + SummaryName(t) + ": " + std::to_string(count);
    }
    if (total == 0)
        return {};
    std::string text = "\r\n\r\n" + std::to_string(total) + (total == 1 ? " failure" : " failures");
    if (!reports.logFile().empty())
        text += ", each recorded in " + reports.logFile();
    else if (!reports.logProblem().empty())
        text += " (" + reports.logProblem() + ")";
    text += ":" + perTable;
    if (outsideTables > 0)
        text += "\r\nOutside the tables: " + std::to_string(outsideTables);
    return text;
}

// The tables a run left after "< Back" in a per-table preview.
std::string NotReachedText(const std::vector<std::string>& tables, RunEnd ended)
{
    if (tables.empty())
        return {};
    std::string text = ended == RunEnd::ConnectionLost ? "\r\n\r\nNot converted, the connection being lost: "
        : ended == RunEnd::Stopped                   ? "\r\n\r\nNot converted, the run being stopped: "
                                                     : "\r\n\r\nNot converted, after \"< Back\": ";
    for (std::size_t i = 0; i < tables.size(); ++i)
        text += (i == 0 ? "" : ", ") + tables[i];
    return text;
}

// What the tables' rules hold that the server does not enforce, or enforces
// otherwise: told at the end, and no failure.
std::string NotesText(const RunResult& result)
{
    std::string text;
    for (const TableResult& t : result.tables) {
        for (const std::string& note : t.notes)
            text += "\r\n" + note;
    }
    return text.empty() ? text : "\r\n\r\nRules the server does not enforce as Paradox did:" + text;
}

}  // namespace

std::string ClosingSummary(const RunResult& result, int outsideFailures, const core::RunReports& reports)
{
    return TablesSummary(result) + FailureSummary(result, outsideFailures, reports)
        + NotReachedText(result.notReached, result.ended) + NotesText(result);
}

std::string StopText(const RunResult& result, const std::string& by, const std::string& resume)
{
    std::string text = "Stopped by " + by;
    for (const TableResult& t : result.tables) {
        if (!t.stopped)
            continue;
        text += ": " + t.table + " stopped after " + Grouped(t.recordsRead) + " of " + Grouped(t.sourceRecords)
            + " records, and what was not committed was rolled back; "
            + (t.serverRows ? Grouped(*t.serverRows) + (*t.serverRows == 1 ? " row is" : " rows are") + " stored"
                            : std::string("the rows stored could not be counted"))
            + " (" + resume + " continues it)";
    }
    if (!result.notReached.empty()) {
        text += ". Not reached:";
        for (const std::string& t : result.notReached)
            text += " " + t;
    }
    return text + ".";
}

}  // namespace conversion
