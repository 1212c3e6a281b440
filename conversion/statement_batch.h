// Statements executed in transactions of bounded size rather than one commit
// each, and the caller's own INSERTs several to an execute call (one round
// trip). Every statement keeps its own text, and the server and the caller's
// reports end exactly as a statement-by-statement run of the same statements
// leaves them, wherever the driver lets that be known.
//
// Calls: inside a transaction, consecutive INSERTs that the caller built
// itself (so known to be single INSERT statements, never read again here)
// wait until a call holds the count or the bytes of its bounds, or until
// anything else happens (another statement, a commit, the end), and then go
// in one call, joined by line breaks (outside any quote: the joins are
// unambiguous). A statement bigger than a call's bytes has a call to itself.
// Other statements go one per call. Outside a transaction every statement has
// a call of its own: what the server did with each statement of a failed call
// is not always known (SQL Server goes on after most errors and stops after
// others; FreeTDS tells nothing after a refused first statement), and only a
// rollback makes that question moot.
//
// The rule after a failure (a statement refused inside a transaction, alone or
// in a call, or a refused commit): the batch rolls the transaction back, asks
// the connection what the driver's state is (never a flag of its own) and
// sorts the statements of the transaction into two kinds.
// - Not applied: the transaction ended without a commit. Either the rollback
//   succeeded and the driver says autocommit is off; or, after a refused
//   statement, the rollback failed and a switch to autocommit failed too: the
//   server ended the transaction with the refusal (a trigger's rollback, a
//   constraint that rolls back, a full database; SQLite documents that its
//   ROLLBACK then fails) or the connection is gone, and no commit succeeded.
// - May be applied: every other case. The commit failed and so did the
//   rollback (the commit may have reached the server before the failure); the
//   driver says autocommit is on, or cannot say, after the rollback (each
//   statement may have committed itself); a switch to autocommit succeeded
//   after a failed rollback (the switch commits what is open).
// Statements not applied run again: those before the refused one in a new
// transaction, with no report; the refused one alone with autocommit, through
// the caller, which reports it as ever; the rest of its call in the
// transaction again; then transactions go on. The caller's inserts share
// calls in the replay as before, cut at each statement that runs alone. A
// statement refused in that replay is handled by the same rule, so each
// refusal costs a rollback and a few calls, whatever the size of the calls.
// After a refused commit that was rolled back, every statement of the
// transaction runs alone, since the one the commit refused is not known; where
// the driver does not say which statement of a call it refused, the statements
// of that call go one per call, and the replay finds it.
// Statements that may be applied never run again: the caller's report gets the
// refused statement's own failure, or the commit's, once, and nothing is
// reported for the others, as a statement-by-statement run reports only the
// statements that failed; for a call of several, the report says that the
// others of the call are not known stored either.
// While the driver's state is unknown and a switch to autocommit fails, every
// statement runs alone; the next batch on the connection tries again.
// A refusal in a call is reported when the call has been sent, so after any
// report the caller made for the later statements of that call.
#pragma once

#include "platform/event_loop.h"
#include "platform/server_connection.h"

#include <chrono>
#include <cstddef>
#include <functional>
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
    // The caller's report of a failure whose statements may be applied (see
    // above): the description of the refused statement or of the commit, and
    // the tag of that statement or of the transaction's first. Stop as above.
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
    StatementBatch(platform::ServerConnection* connection, RunAlone runAlone, Report report,
                   platform::EventLoop* events = nullptr, Limits limits = {});
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
    // autocommit back on.
    Next finish();
    // Gives up what waits for a call and what is not committed (a rollback),
    // and switches autocommit back on: the run was asked to stop.
    void abandon() noexcept;

    // Before the process ends: finishes every live batch of this thread (see
    // below) that is not in the middle of a replay. Failures are reported as
    // ever; nothing throws.
    static void FinishAll() noexcept;

    // Whether statements go into transactions (the driver switched autocommit off).
    bool inTransactions() const { return mode_ == Mode::Manual; }

private:
    // Autocommit: no transaction of ours; Manual: autocommit off, the
    // statements in pending_ uncommitted; Unavailable: every statement alone.
    enum class Mode { Autocommit, Manual, Unavailable };
    enum class Fate { NotApplied, MayBeApplied };
    struct Pending {
        std::size_t offset;
        std::size_t size;
        int tag;
        bool joins;  // may share a call
    };

    bool beginTransactions();
    bool switchAutoCommitOn();
    Next send();
    Next commit();
    Next endTransactions();
    Fate abandon(bool commitRefused);
    Next recover(std::size_t call, std::size_t refused, const std::string& description);
    Next replay(std::vector<std::size_t> alone, std::size_t end, std::size_t joinBefore);
    Next runAlone(std::size_t index);
    void executeRange(std::size_t first, std::size_t end);
    std::string_view view(std::size_t index) const;
    std::size_t waiting() const { return pending_.size() - sent_; }
    bool due() const;

    platform::ServerConnection* connection_;
    RunAlone runAlone_;
    Report report_;
    platform::EventLoop* events_;
    Limits limits_;
    Mode mode_ = Mode::Autocommit;
    bool busy_ = false;  // inside a commit or replay, which may show reports
    // The statements since the last commit, joined by line breaks in one
    // buffer; those from sent_ on wait for their call.
    std::string texts_;
    std::vector<Pending> pending_;
    std::size_t sent_ = 0;
    std::chrono::steady_clock::time_point started_{};
    // The live batches: every batch alive on the user-interface thread, newest
    // first, in a list linked through the batches themselves (each links itself
    // in when it is made and out when it ends; runs and Execute SQL nest on
    // that thread, each batch in the frame that uses it). It is the program's
    // one piece of state that no object owns, and it is there for one moment:
    // closing the main window ends the process without unwinding, so that a
    // run that is yielding does not go on, and Form1 first calls FinishAll so
    // that what a run or Execute SQL has sent is committed.
    StatementBatch* previous_ = nullptr;
};

}  // namespace conversion
