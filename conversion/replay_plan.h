// What the statement batch sends after a failure inside its transaction: a
// walk over the transaction's statements that says, step by step, what goes
// again in a transaction, what runs alone through the caller and what is
// reported as perhaps stored and never run again. No I/O: the batch carries
// out each step and tells the plan what the driver answered.
//
// The rule: the batch rolls back and asks the driver. The statements are not
// applied when the rollback succeeded and the driver says autocommit is off,
// or when, after a refused statement, the rollback failed and so did a switch
// to autocommit (the server ended the transaction itself, as a trigger's
// rollback, a constraint that rolls back or a full database do, or the
// connection is gone). In every other case they may be applied: the commit
// failed and the rollback too (the commit may have reached the server), the
// driver says autocommit is on or cannot say (each statement may have
// committed itself), or a switch to autocommit succeeded after a failed
// rollback (the switch commits what is open).
//
// Statements not applied go again: those before the refused one in a
// transaction, the refused one alone, the rest of its call in the transaction
// again. The statements of a call whose refused one the driver did not name go
// one per call, and so, after a refused commit, does every statement of the
// transaction alone, so that the walk finds the refused one. Each failure on
// the way adds a statement to run alone or ends the joining, so the walk ends.
// Statements that may be applied are reported once, by the refused statement,
// or by the first of the call or the commit, and never run again.
#pragma once

#include "platform/server_connection.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace conversion {

// What the driver said of a call or commit that failed, and after the rollback.
struct DriverAnswer {
    // The statement of the call it named as refused; none, or the call's size,
    // where it did not say.
    std::optional<std::size_t> named;
    bool rolledBack = false;
    // Asked after a rollback that succeeded; Unknown after one that failed.
    platform::ServerConnection::AutoCommit autoCommit = platform::ServerConnection::AutoCommit::Unknown;
    bool switchedOn = false;  // tried while the state is Unknown
};

enum class Fate { NotApplied, MayBeApplied };

Fate FateOf(const DriverAnswer& answer, bool commitRefused);

class ReplayPlan {
public:
    struct Statement {
        std::size_t size;
        bool joins;  // may share a call
    };
    enum class Action { Call, Alone, Commit, Done };
    // The statements [first, end) of the transaction, by their index.
    struct Step {
        Action action;
        std::size_t first;
        std::size_t end;
    };
    // Statements that may be applied, for the report: one of them and the
    // number the failed call or commit held.
    struct Report {
        Action action;  // Call or Commit
        std::size_t statement;
        std::size_t count;
    };

    // The open transaction's statements, none applied yet; a call holds at
    // most perCall statements and bytesPerCall bytes, joined by line breaks.
    ReplayPlan(std::vector<Statement> statements, std::size_t perCall, std::size_t bytesPerCall);

    // Done when nothing is left; a commit whenever the transaction holds
    // statements and the next one runs alone or none is left.
    Step next() const;
    // The step went through. A call may have run as its first statement alone
    // (the connection had no transaction to give).
    void done(const Step& step);
    // The step failed (the transaction failed and was rolled back): the report
    // to make, if its statements may be applied.
    std::optional<Report> failed(const Step& step, const DriverAnswer& answer);

private:
    std::vector<Statement> statements_;
    std::size_t perCall_;
    std::size_t bytesPerCall_;
    std::size_t first_ = 0;  // the open transaction holds [first_, next_)
    std::size_t next_ = 0;
    std::size_t joinBefore_;           // from here on, one statement per call
    std::vector<std::size_t> alone_;  // to run alone, the smallest last
};

}  // namespace conversion
