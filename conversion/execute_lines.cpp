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

// Nothing but spaces (or nothing at all).
bool OnlySpaces(const std::string& s)
{
    return s.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

ExecuteOutcome ExecuteLines(const PreviewList& lines, platform::ServerConnection* connection,
                            platform::EventLoop& events, core::GuardedOperation& op, const LineWatch& watch)
{
    ExecuteOutcome outcome;
    StatementBatch batch(connection, [&](const std::string& sql, int row) {
        const int step = core::ContainsIgnoringCase(sql, "INSERT INTO") ? 132 : 134;
        op.step(step, [&] {
            try {
                if (!connection)
                    throw platform::ServerError(kNoConnection);
                connection->execute(sql);
            } catch (const platform::ServerError& e) {
                outcome.error = e.what();
                outcome.errorRow = row;
            }
        });
        return outcome.errorRow != 0 ? StatementBatch::Next::Stop : StatementBatch::Next::Continue;
    }, [&](const std::string& description, int row) {
        // A line whose fate the server left in doubt stops Execute SQL at its
        // row as a refused line does, and is not run again.
        outcome.error = description;
        outcome.errorRow = row;
        return StatementBatch::Next::Stop;
    }, &events);
    const int n = lines.count();
    for (int r = 1; r <= n && !watch.stopRequested() && outcome.errorRow == 0; ++r) {
        op.step(112, [&] { events.turnAfterRoundTrip(); });
        if (watch.stopRequested())
            break;
        watch.showProgress(r, lines.count());
        bool blank = false;
        std::string line;
        if (op.step(118, [&] {
                line = std::string(lines.text(r));
                blank = OnlySpaces(line);
            })
            && blank)
            continue;
        batch.execute(line, r);
    }
    batch.finish();
    return outcome;
}

}  // namespace conversion
