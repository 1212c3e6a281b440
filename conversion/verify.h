// Proof that a table arrived: its rows on the server compared with its Paradox
// table as the run writes it (the same code page, column types and binary
// choice; each value as the run's insert statement stores it). Rows compare as
// a multiset, since SQL keeps no order; texts exactly, numbers and dates as
// values, bytes byte for byte, NULL only with NULL. Both sides are streamed:
// memory holds a 64-bit hash and a record number per record and a hash per row.
#pragma once

#include "conversion/dialect.h"
#include "conversion/regional_settings.h"
#include "conversion/run_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class EventLoop;
class ServerConnection;
class SourceConnection;
}  // namespace platform

namespace conversion {

// What a table is read with on both sides; the connections are open, the
// source in the run's code page.
struct VerifyRoad {
    platform::SourceConnection& source;
    platform::ServerConnection& server;
    const RunOptions& options;  // the column types and the binary choice of the run
    const RegionalSettings& regional;
    platform::EventLoop& events;  // yielded to for every value, as the run does
    Dialect dialect = Dialect::SqlServer;
};

// A table of the folder: its name (the server's table) and the file the folder
// walk found it in (empty: the source connection finds it by its Paradox name,
// which is the server's unless given).
struct VerifyTarget {
    std::string name;
    std::string file;
    std::string paradoxName = {};
};

// A record or row named in a verdict: a record number (from 0, as the run
// counts records), and what more there is to say (the columns that differ).
struct VerifyExample {
    std::int64_t record = -1;  // -1: a row that is no record
    std::string detail;
};

struct TableVerdict {
    std::string table;
    // Why the table could not be compared (it is not on the server, its
    // columns are not the table's fields, the source cannot be read); empty
    // when it was compared.
    std::string problem;
    std::int64_t records = 0;  // Paradox records read
    std::int64_t rows = 0;     // server rows read
    // Records without their row; rows that are no record; records whose row
    // (found by the table's key) holds other values, counted neither missing nor extra.
    std::int64_t missing = 0;
    std::int64_t extra = 0;
    std::int64_t differing = 0;
    // Up to three of each, lowest record numbers first; an extra row that is a
    // copy of a record names that record.
    std::vector<VerifyExample> missingExamples;
    std::vector<VerifyExample> extraExamples;
    std::vector<VerifyExample> differingExamples;

    bool equal() const { return problem.empty() && missing == 0 && extra == 0 && differing == 0; }
};

// Reads the table on both sides and compares. Never throws for what it finds:
// a table that cannot be read is a verdict with a problem.
TableVerdict VerifyTable(const VerifyRoad& road, const VerifyTarget& table);

// The verdict as one line: "ORDERS: equal, 205 rows", "ORDERS: not equal: 1
// missing (record 12), 1 extra (a copy of record 4), 1 differing (record 3:
// PRICE); 205 records, 205 rows", "ORDERS: not compared: why".
std::string VerdictLine(const TableVerdict& verdict);

// Whether the rows on the server are exactly the table's first N records, N
// being how many rows the server holds (as VerifyTable compares them), and if
// not, why, naming an example record.
struct FirstRecordsCheck {
    bool firstRecords = false;
    std::int64_t rows = 0;  // the rows found on the server
    std::string reason;     // empty when they are the first records
};
FirstRecordsCheck CheckFirstRecords(const VerifyRoad& road, const VerifyTarget& table);

}  // namespace conversion
