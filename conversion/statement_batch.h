// Statements executed in transactions of bounded size rather than one commit
// each, and the caller's own INSERTs several to an execute call (one round
// trip). Every statement keeps its own text, and the server and the caller's
// reports end as a statement-by-statement run of the same statements leaves
// them, wherever the driver lets that be known: after a failure the batch
// rolls back, asks the driver, and follows the replay plan (replay_plan.h).
//
// Calls are joined by line breaks (outside any quote: the joins are
// unambiguous). Outside a transaction every statement has a call of its own:
// what the server did with each statement of a failed call is not always known
// (SQL Server goes on after most errors and stops after others; FreeTDS tells
// nothing after a refused first statement), and only a rollback makes that
// question moot. A refusal in a call is reported when the call has been sent,
// so after any report the caller made for the later statements of that call.
#pragma once

#include "conversion/open_batches.h"
#include "conversion/replay_plan.h"
#include "platform/event_loop.h"
#include "platform/server_connection.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// A commit after whichever bound is reached first; a call after whichever of
// its bounds is reached first.
struct TransactionLimits {
    std::size_t statements = 50'000;
    std::size_t bytes = 8u << 20;  // a bigger statement runs alone
    std::chrono::milliseconds time{250};
    // "Statements Per Round Trip": 1 gives every statement a call of its own.
    // A thousand short inserts (ZIPCODES') make 64 KB, and a round trip of
    // 1 ms then costs a run about a third more time than none (see README).
    std::size_t statementsPerCall = 1000;
    std::size_t bytesPerCall = 256u << 10;  // a bigger statement has a call to itself
};

class StatementBatch {
public:
    enum class Next { Continue, Stop };

    // The caller's own execute of one statement with autocommit, inside its
    // error report; `tag` is what the caller gave with the statement (a step,
    // a row). Stop means the caller goes no further: the statements after it
    // are not run again.
    using RunAlone = std::function<Next(const std::string& statement, int tag)>;
    // The caller's report of a failure whose statements may be applied: the
    // description of the refused statement or of the commit, and the tag of
    // that statement or of the first of its call or commit; nothing is
    // reported for the others, as a statement-by-statement run reports only
    // the statements that failed. Stop as above.
    using Report = std::function<Next(const std::string& description, int tag)>;

    using Limits = TransactionLimits;

    // What the caller knows of a statement. Insert: one it built itself as a
    // single INSERT statement, which joins transactions and calls unread.
    // Other: one that runs alone (DDL). Unknown: a text from elsewhere, read
    // by the T-SQL scanner; a single INSERT found there joins transactions,
    // one per call.
    enum class Kind { Insert, Other, Unknown };

    // A null connection or one whose driver has no transactions: every
    // statement goes to runAlone, as a statement-by-statement run does.
    // `open`: where the batch is listed while it lives, if anywhere.
    StatementBatch(platform::ServerConnection* connection, RunAlone runAlone, Report report,
                   platform::EventLoop* events = nullptr, Limits limits = {}, OpenBatches* open = nullptr);
    // Finishes as finish() does.
    ~StatementBatch();
    StatementBatch(const StatementBatch&) = delete;
    StatementBatch& operator=(const StatementBatch&) = delete;

    // Executes one statement, or keeps it for the next call. Only single
    // INSERT statements join a transaction; any other statement runs alone
    // after a commit, so that DDL and statements that refuse a transaction
    // never sit inside one. Stop comes only from runAlone or the report,
    // after a failure.
    Next execute(const std::string& statement, int tag, Kind kind = Kind::Unknown);
    // Sends what waits for a call, commits what is open and switches
    // autocommit back on. Does nothing in the middle of a replay.
    Next finish();
    // Gives up what waits for a call and what is not committed (a rollback),
    // and switches autocommit back on: the run was asked to stop.
    void abandon() noexcept;
    // The statements of its transactions whose commit the driver confirmed
    // (those that ran alone are the caller's to count).
    std::size_t committed() const { return committed_; }

private:
    // Autocommit: no transaction of ours; Manual: autocommit off, the
    // statements in pending_ uncommitted; Alone: every statement alone (no
    // transactions, or the driver's state is unknown since a switch to
    // autocommit failed; the next batch on the connection tries again).
    enum class Mode { Autocommit, Manual, Alone };
    struct Pending {
        std::size_t offset;
        std::size_t size;
        int tag;
        bool joins;  // may share a call
    };
    struct Failure {
        std::optional<std::size_t> named;  // the statement of the call the driver named
        std::string description;
    };
    using Step = ReplayPlan::Step;

    bool beginTransactions();
    bool inTransaction();
    bool switchOn();
    Next send();
    Next commit();
    Next endTransactions();
    std::optional<Failure> attempt(const Step& step);
    DriverAnswer rollBack(std::optional<std::size_t> named);
    Next recover(Step step, Failure first);
    Next afterFailure(ReplayPlan& plan, const Step& step, const Failure& failure);
    Next runAlone(std::size_t index);
    std::string_view view(std::size_t index) const;
    std::size_t waiting() const { return pending_.size() - sent_; }
    bool due() const;

    platform::ServerConnection* connection_;
    RunAlone runAlone_;
    Report report_;
    platform::EventLoop* events_;
    Limits limits_;
    OpenBatches* open_;
    Mode mode_ = Mode::Autocommit;
    bool busy_ = false;  // inside a commit or replay, which may show reports
    // The statements since the last commit, joined by line breaks in one
    // buffer; those from sent_ on wait for their call.
    std::string texts_;
    std::vector<Pending> pending_;
    std::size_t sent_ = 0;
    std::size_t committed_ = 0;
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace conversion
