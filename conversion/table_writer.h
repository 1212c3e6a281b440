// One table of a conversion run, written: its DROP when the user agreed, its
// CREATE, its inserts (with the identity switch around them), its primary key
// and the reports of what reading it found. Each statement goes to the server
// at once (direct mode, in transactions) or into the preview list. The run
// decides which tables are written, in what order, and what the user is asked.
#pragma once

#include "conversion/dialect.h"
#include "conversion/preview_handoff.h"
#include "conversion/regional_settings.h"
#include "conversion/rules.h"
#include "conversion/run_options.h"
#include "conversion/run_result.h"

#include <string>

namespace core {
class GuardedOperation;
class MainForm;
}  // namespace core

namespace platform {
class EventLoop;
class StopRequest;
class SourceRecordset;
}  // namespace platform

namespace conversion {

// What every table of a run is written with. The steps of the table are
// reported under the run's operation.
struct TableRoad {
    core::GuardedOperation& op;
    core::MainForm& form;
    PreviewHandOff& handOff;
    platform::EventLoop& events;
    const RunOptions& options;
    const RegionalSettings& regional;
    Dialect dialect = Dialect::SqlServer;
    const platform::StopRequest* stop = nullptr;
};

// One table whose source is open.
struct TableJob {
    const std::string& name;
    platform::SourceRecordset& records;
    bool dropFirst = false;  // the user agreed to overwrite the server's table of that name
    // The server's table is continued (no DROP, no CREATE): it holds the first
    // `resumeFrom` records already, and the records after them are sent.
    bool continues = false;
    std::int64_t resumeFrom = 0;
};

// What became of the table's statements, each counted once, when its fate is
// known. Refused statements were each reported; statements in doubt (a
// commit the server did not confirm) were reported with their call.
struct StatementTally {
    std::int64_t sent = 0;
    std::int64_t confirmed = 0;  // the server said it stored it: through
    std::int64_t refused = 0;
    std::int64_t inDoubt = 0;
};

struct TableWritten {
    StatementTally statements;
    StatementTally rows;  // the inserts alone
    // The statement that ends the table's identity inserts; empty when it has none.
    std::string identityOff;
    // The connection to the server was lost while the table was written: at
    // which record (-1: before the first), and the driver's words. Nothing
    // was reported yet: the run tells it once, with the rows stored.
    bool lost = false;
    std::int64_t lostAt = -1;
    std::string lostBecause;
    // With the table's rules: its key as made and the foreign keys it asks for,
    // which the run makes after its last table.
    bool rules = false;
    TableKey key;
    std::vector<ForeignKeyRequest> foreignKeys;
};

// Runs or previews the statements of rules: a statement the server refuses is
// reported as the rule not made, the rows stay. Returns how many were refused.
int WriteRuleStatements(const TableRoad& road, const std::vector<RuleStatement>& statements, int step,
                        StatementTally& tally);

// The reports and notes of a table's rules: each report once under the
// step given, each note into the table's result.
void ReportRuleFindings(const TableRoad& road, const RuleFindings& findings, int step, TableResult& result);

// Writes the table, reading every record, and fills in what reading found
// (records read, undecodable bytes, damage); the source is closed at the end.
TableWritten WriteTable(const TableRoad& road, const TableJob& job, TableResult& result);

// The table's result from its statements and the reports made while it ran.
void CountStatements(const TableWritten& written, int reports, TableResult& result);

}  // namespace conversion
