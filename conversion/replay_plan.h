// What the statement batch sends after a failure inside its transaction, step
// by step: what goes again in a transaction, what runs alone through the
// caller, and what is reported as perhaps stored and never run again. No I/O:
// the batch carries out each step and tells the plan what the driver answered.
//
// Whether the statements may be applied (FateOf) is the driver's answer after
// the batch's rollback. A rollback that succeeded with autocommit off undid
// them; so, after a refused statement, did the server when both the rollback
// and a switch to autocommit fail (it ended the transaction itself: a
// trigger's rollback, a constraint that rolls back, a full database; or the
// connection is gone). Otherwise they may be stored: a failed commit may have
// reached the server, with autocommit on or unknown each statement may have
// committed itself, and a switch to autocommit commits what is open.
//
// Statements not applied go again, the refused one alone and the others in
// transactions. Where the driver did not name the refused statement of a call,
// the call's statements go one per call, and after a refused commit every
// statement of the transaction runs alone, so that the walk finds it; each
// failure on the way adds a statement to run alone or ends the joining, so the
// walk ends. The first statement of a call named as refused that goes through
// alone was named wrongly (a session with NOCOUNT ON gives no result for a
// statement that succeeds, so FreeTDS names the call's first): from then on the plan
// believes no naming, and a failed call is cut in two, each part committed as
// it goes through, until the refused statement is a call of its own. Statements
// that may be applied are reported once, by the refused statement or the first
// of the call or commit.
#pragma once

#include "platform/server_connection.h"

#include <cstddef>
#include <optional>
#include <set>
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
        std::size_t first;  // the statements [first, first + count) may be applied
    };

    // The open transaction's statements, none applied yet; a call holds at
    // most perCall statements and bytesPerCall bytes, joined by line breaks.
    ReplayPlan(std::vector<Statement> statements, std::size_t perCall, std::size_t bytesPerCall);

    // Done when nothing is left; a commit whenever the transaction holds
    // statements and the next one runs alone or none is left.
    Step next() const;
    // The step went through: the one next() gave or, in place of a call, its
    // first statement alone (where the connection gives no transaction).
    void done(const Step& step);
    // The step failed, and the batch rolled back: the report to make where its
    // statements may be applied. The first failure is the batch's own call of
    // [first, end) or its commit of every statement.
    std::optional<Report> failed(const Step& step, const DriverAnswer& answer);
    // What became of a statement that ran alone (after done()): refused or not.
    void ranAlone(std::size_t statement, bool refused);

private:
    std::vector<Statement> statements_;
    std::size_t perCall_;
    std::size_t bytesPerCall_;
    std::size_t first_ = 0;  // the open transaction holds [first_, next_)
    std::size_t next_ = 0;
    std::size_t joinBefore_;           // from here on, one statement per call
    std::vector<std::size_t> alone_;  // to run alone, the smallest last
    // The first statement of a call, named as refused, to run alone; the end of its call.
    std::optional<std::size_t> named_;
    std::size_t namedCallEnd_ = 0;
    bool namesBelieved_ = true;
    std::set<std::size_t> cuts_;  // no call goes past one, and a commit follows at each

    // Cuts the statements [first, end) into two calls.
    void cutInTwo(std::size_t first, std::size_t end);
};

}  // namespace conversion
