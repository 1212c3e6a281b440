// What a conversion run did, table by table, so that callers (the headless
// command's exit status) never read it from the messages it showed.
#pragma once

#include <cstdint>
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
    bool skipped = false;                 // it exists on the server and was not overwritten
    std::string leftOut;                  // the file not converted, because one of its name came before it
    std::uint64_t undecodableBytes = 0;   // bytes its code page could not decode (written U+FFFD)
    bool recordCountMismatch = false;     // damaged: other records than its header's count, or blocks that do not chain
    int failures = 0;                     // every other report made while the table ran
    // Rules of the table that the server does not enforce (a picture), or
    // enforces otherwise (letter case): told, and no failure.
    std::vector<std::string> notes;
};

// The table's name as a summary shows it: a table left out for another of
// its name is named with its file, so that the two are never taken for one.
inline std::string SummaryName(const TableResult& t)
{
    return t.leftOut.empty() ? t.table : t.table + " (" + t.leftOut + ")";
}

struct RunResult {
    std::vector<TableResult> tables;
    int failures = 0;  // reports outside any table: the checks, the lists, the copy, the end

    // Nothing was reported: no failure anywhere and no statement refused.
    bool clean() const
    {
        if (failures != 0)
            return false;
        for (const TableResult& t : tables) {
            if (t.refused != 0 || t.failures != 0)
                return false;
        }
        return true;
    }
};

}  // namespace conversion
