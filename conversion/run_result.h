// What a conversion run did, table by table, so that callers (the headless
// command's exit status) never read it from the messages it showed.
#pragma once

#include "conversion/row_count.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace conversion {

// One entry of the folder's table list, in the order the run took them.
struct TableResult {
    std::string table;                    // the table name
    std::string folder;                   // the folder its file was read from, once opened
    std::int64_t recordsRead = 0;
    std::int64_t statementsThrough = 0;   // executed on the server by the run (direct mode)
    std::int64_t refused = 0;             // statements the server refused, each reported
    std::int64_t inDoubt = 0;             // statements whose commit the server did not confirm, each reported
    bool skipped = false;                 // it exists on the server and was not overwritten
    std::string leftOut;                  // the file not converted, because one of its name came before it
    std::uint64_t undecodableBytes = 0;   // bytes its code page could not decode (written U+FFFD)
    bool recordCountMismatch = false;     // damaged: other records than its header's count, or blocks that do not chain
    bool notMade = false;                 // the server refused its CREATE TABLE: nothing of it was sent
    std::optional<std::int64_t> serverRows;  // the rows the server holds after the run wrote it (direct mode)
    // It existed before the run: the rows it held then, where they differ from
    // the Paradox table's records (a table an earlier run did not finish).
    std::optional<std::int64_t> existingRows;
    std::int64_t sourceRecords = 0;       // the Paradox table's records, as its header counts them
    bool stopped = false;                 // the run was asked to stop while it wrote this table
    std::string verdict;                  // "Verify After Converting": the table compared, as one line
    // Its statements went to the SQL Preview, which did not execute them to the end.
    bool previewNotExecuted = false;
    bool noConnection = false;            // direct mode without a server connection: nothing was sent
    bool connectionLost = false;          // the connection to the server was lost while it was written
    int failures = 0;                     // every other report made while the table ran
    // Rules of the table that the server does not enforce (a picture), or
    // enforces otherwise (letter case): told, and no failure.
    std::vector<std::string> notes;
};

// Why a table of the run did not arrive on the server, in a few words; empty
// for one that did (its refusals, if any, are counted among the failures).
std::string WhyNotArrived(const TableResult& t);

// The table's name as a summary shows it: a table left out for another of
// its name is named with its file, so that the two are never taken for one.
inline std::string SummaryName(const TableResult& t)
{
    return t.leftOut.empty() ? t.table : t.table + " (" + t.leftOut + ")";
}

inline std::string WhyNotArrived(const TableResult& t)
{
    if (!t.leftOut.empty())
        return "a table of its name was found before it";
    if (t.skipped && t.existingRows)
        return "it exists on the server with " + Grouped(*t.existingRows) + " rows and was left so";
    if (t.skipped)
        return "it exists on the server and was not overwritten";
    if (t.notMade)
        return "the server refused its CREATE TABLE";
    if (t.stopped)
        return "the run was stopped while it was written";
    if (t.connectionLost)
        return "the connection to the server was lost while it was written";
    if (t.previewNotExecuted)
        return "its SQL Preview was not executed to the end";
    if (t.noConnection)
        return "there was no connection to the server";
    if (t.folder.empty())
        return "its table could not be read";
    return {};
}

// How the run ended: with its last table, or earlier for one of these.
enum class RunEnd { Complete, Back, Stopped, ConnectionLost };

struct RunResult {
    std::vector<TableResult> tables;
    int failures = 0;  // reports outside any table: the checks, the lists, the copy, the end
    // The tables of the list the run did not come to ("< Back", a stop), in the order it would have.
    std::vector<std::string> notReached;
    int stoppedBy = 0;  // the reason of the stop request that ended the run; 0: none
    RunEnd ended = RunEnd::Complete;

    // Nothing was reported: no failure anywhere and no statement refused.
    bool clean() const
    {
        if (failures != 0 || stoppedBy != 0)
            return false;
        for (const TableResult& t : tables) {
            if (t.refused != 0 || t.failures != 0 || (t.skipped && t.existingRows))
                return false;
        }
        return true;
    }
};

}  // namespace conversion
