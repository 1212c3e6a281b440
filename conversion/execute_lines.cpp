// The lines of the SQL Preview executed on the server.
#include "conversion/execute_lines.h"

#include "conversion/statement_batch.h"
#include "core/error_report.h"
#include "core/unicode_case.h"
#include "platform/event_loop.h"
#include "platform/server_connection.h"

namespace conversion {

namespace {

const char* const kNoConnection = "there is no connection to the server.";

}  // namespace

bool OnlySpaces(std::string_view s)
{
    return s.find_first_not_of(' ') == std::string_view::npos;
}

ExecuteOutcome ExecuteLines(PreviewList& lines, platform::ServerConnection* connection, OpenBatches& open,
                            platform::EventLoop& events, core::GuardedOperation& op, const LineWatch& watch)
{
    ExecuteOutcome outcome;
    bool inDoubt = false;  // the run ended at a line whose fate the server left unknown
    StatementBatch batch(connection, [&](const std::string& sql, int row) {
        const int step = core::ContainsIgnoringCase(sql, "INSERT INTO") ? 132 : 134;
        const bool done = op.step(step, [&] {
            try {
                if (!connection)
                    throw platform::ServerError(kNoConnection);
                connection->execute(sql);
            } catch (const platform::ServerError& e) {
                outcome.error = e.what();
                outcome.errorRow = row;
            }
        });
        // A failure that is not the server's answer says nothing of what was stored.
        if (!done && lines.sent(row))
            lines.setState(row, LineState::InDoubt);
        return outcome.errorRow != 0 ? StatementBatch::Next::Stop : StatementBatch::Next::Continue;
    }, [&](const std::string& description, int row, StatementBatch::InDoubt) {
        // A line whose fate the server left in doubt stops Execute SQL at its
        // row as a refused line does, and is not run again.
        outcome.error = description;
        outcome.errorRow = row;
        inDoubt = true;
        return StatementBatch::Next::Stop;
    }, &events, {}, &open);
    const int n = lines.count();
    int lastSent = 0;
    for (int r = 1; r <= n && !watch.stopRequested() && outcome.errorRow == 0; ++r) {
        op.step(112, [&] { events.turnAfterRoundTrip(); });
        if (watch.stopRequested())
            break;
        watch.showProgress(r, lines.count());
        bool pass = false;
        std::string line;
        if (op.step(118, [&] {
                pass = lines.state(r) != LineState::NotRun;
                if (pass)
                    return;
                line = std::string(lines.text(r));
                pass = OnlySpaces(line);
                if (pass)
                    lines.setState(r, LineState::Ran);
                else
                    lines.markSent(r);
            })
            && pass)
            continue;
        lastSent = r;
        batch.execute(line, r);
    }
    batch.finish();
    // Only now is it known which sent lines were committed.
    const int stop = outcome.errorRow;
    lines.settleSent(1, stop != 0 ? stop - 1 : lastSent, LineState::Ran);
    if (stop != 0)
        lines.settleSent(stop, lastSent, inDoubt ? LineState::InDoubt : LineState::NotRun);
    return outcome;
}

}  // namespace conversion
