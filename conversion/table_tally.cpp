// Beside the table writer: the statements of rules, sent or listed, and what
// became of a table's statements, as its result tells it.
#include "conversion/table_writer.h"

#include "conversion/preview_handoff.h"
#include "core/error_report.h"
#include "core/main_form.h"
#include "platform/server_connection.h"

#include <stdexcept>

namespace conversion {

void ReportRuleFindings(const TableRoad& road, const RuleFindings& findings, int step, TableResult& result)
{
    for (const std::string& report : findings.reports)
        road.op.step(step, [&] { throw std::runtime_error(report); });
    for (const std::string& note : findings.notes)
        result.notes.push_back(note);
}

int WriteRuleStatements(const TableRoad& road, const std::vector<RuleStatement>& statements, int step,
                        StatementTally& tally)
{
    int refused = 0;
    for (const RuleStatement& s : statements) {
        if (road.form.previewMode()) {
            road.op.step(step, [&] { road.handOff.preview.list().append(s.sql); });
            continue;
        }
        if (!road.handOff.mssql_conn)
            break;
        ++tally.sent;
        const bool made = road.op.step(step, [&] {
            try {
                road.handOff.mssql_conn->execute(s.sql);
            } catch (const std::exception& e) {
                throw std::runtime_error("Not made: " + s.rule + ", whose rows stay as they are. " + e.what());
            }
        });
        if (!made) {
            ++tally.refused;
            ++refused;
        } else {
            ++tally.confirmed;
        }
    }
    return refused;
}

void CountStatements(const TableWritten& written, int reports, TableResult& result)
{
    const StatementTally& statements = written.statements;
    result.refused = statements.refused;
    result.inDoubt = statements.inDoubt;
    // Only what the server confirmed is through; a statement in doubt was
    // reported once, and the server's count settles the rows.
    result.statementsThrough = statements.confirmed;
    result.failures = reports - static_cast<int>(statements.refused);
}

}  // namespace conversion
