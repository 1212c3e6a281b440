// Execute SQL's work: the lines of the preview that have not run, executed one
// by one on the run's connection (in transactions, as a line-by-line run leaves
// the server), stopping at the first line the server refuses. Each line keeps
// what became of it, so that executing again goes on where this stopped and no
// line is stored twice. The SQL Preview window shows the progress and the
// outcome; each step is reported under its operation.
#pragma once

#include "conversion/open_batches.h"
#include "conversion/preview_list.h"

#include <functional>
#include <string>

namespace core {
class GuardedOperation;
}  // namespace core

namespace platform {
class EventLoop;
class ServerConnection;
}  // namespace platform

namespace conversion {

// What the window does between the lines.
struct LineWatch {
    // Back, Skip or the close box: no further line runs.
    std::function<bool()> stopRequested;
    // Before row `row` of `count` runs (steps 114 and 116 of the window's bar).
    std::function<void(int row, int count)> showProgress;
};

// Nothing but spaces (or nothing at all): a line Execute SQL passes over, an
// error box Copy and Email leave alone.
bool OnlySpaces(std::string_view text);

struct ExecuteOutcome {
    int errorRow = 0;   // the row the server refused; 0 when none was
    std::string error;  // the server's description of that refusal
};

// Steps 112 (a turn of the event loop after each line), 118 (a line that has
// run or is in doubt is passed over, and so is a line of blanks, which counts
// as run) and 132 or 134 (the execute: 132 for a line holding "INSERT INTO" in
// any letter case). A server error ends the run at its row with the rows
// before it on the server: they have run, the refused one has not. Any other
// failure is reported, its line is in doubt and the next line runs. No
// connection is a server error of its own. When the batch reports lines that
// may be stored (a commit the server did not confirm), the run ends at the
// row it names: that line and every line sent after it are in doubt (the
// batch does not say which of them are known not stored, and none may run
// twice), the lines before it have run.
// The batch is listed in `open` while the lines run.
ExecuteOutcome ExecuteLines(PreviewList& lines, platform::ServerConnection* connection, OpenBatches& open,
                            platform::EventLoop& events, core::GuardedOperation& op, const LineWatch& watch);

}  // namespace conversion
