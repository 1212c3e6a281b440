// Statements executed in transactions of bounded size rather than one commit
// each. Every statement is still executed on its own; a failure rolls the open
// transaction back and the statements since the last commit run again one by
// one with autocommit, so that the server ends as a statement-by-statement run
// leaves it and each failure is reported once, by the caller, as it was.
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

// A commit after whichever bound is reached first.
struct TransactionLimits {
    std::size_t statements = 50'000;
    std::size_t bytes = 8u << 20;  // a bigger statement runs alone
    std::chrono::milliseconds time{250};
};

class StatementBatch {
public:
    enum class Next { Continue, Stop };

    // The caller's own execute of one statement with autocommit, inside its
    // error report; `tag` is what the caller gave with the statement (a step,
    // a row). Stop means the caller goes no further: the statements after it
    // are not run again.
    using RunAlone = std::function<Next(const std::string& statement, int tag)>;

    using Limits = TransactionLimits;

    // A null connection or one whose driver has no transactions: every
    // statement goes to runAlone, as a statement-by-statement run does.
    StatementBatch(platform::ServerConnection* connection, RunAlone runAlone,
                   platform::EventLoop* events = nullptr, Limits limits = {});
    // Finishes as finish() does.
    ~StatementBatch();
    StatementBatch(const StatementBatch&) = delete;
    StatementBatch& operator=(const StatementBatch&) = delete;

    // Executes one statement. Only single INSERT statements join a
    // transaction; any other statement runs alone after a commit, so that DDL
    // and statements that refuse a transaction never sit inside one. Stop
    // comes only from runAlone during a replay.
    Next execute(const std::string& statement, int tag);
    // Commits what is open and switches autocommit back on.
    Next finish();

    // Before the process ends: finishes every live batch of this thread (see
    // below) that is not in the middle of a replay. Failures are reported as
    // ever; nothing throws.
    static void FinishAll() noexcept;

    // Whether statements go into transactions (the driver switched autocommit off).
    bool inTransactions() const { return mode_ == Mode::Manual; }

private:
    enum class Mode { Autocommit, Manual, Unavailable };
    struct Pending {
        std::size_t offset;
        std::size_t size;
        int tag;
    };

    Next commit();
    Next endTransactions();
    Next replay();
    bool due() const;

    platform::ServerConnection* connection_;
    RunAlone runAlone_;
    platform::EventLoop* events_;
    Limits limits_;
    Mode mode_ = Mode::Autocommit;
    bool busy_ = false;  // inside a commit or replay, which may show reports
    // The statements since the last commit, back to back in one buffer.
    std::string texts_;
    std::vector<Pending> pending_;
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
