// Transactions around the statements of a run or of Execute SQL, and the
// replay that keeps a failure from costing the statements around it.
#include "conversion/statement_batch.h"

#include "conversion/tsql_scan.h"

#include <utility>

namespace conversion {

namespace {

// The live batches of this thread, newest first (see the header).
thread_local StatementBatch* gNewest = nullptr;

}  // namespace

StatementBatch::StatementBatch(platform::ServerConnection* connection, RunAlone runAlone,
                               platform::EventLoop* events, Limits limits)
    : connection_(connection), runAlone_(std::move(runAlone)), events_(events), limits_(limits)
{
    if (!connection_)
        mode_ = Mode::Unavailable;
    previous_ = gNewest;
    gNewest = this;
}

StatementBatch::~StatementBatch()
{
    try {
        finish();
    } catch (...) {
        // runAlone reports its own failures; nothing may leave a destructor.
    }
    for (StatementBatch** p = &gNewest; *p; p = &(*p)->previous_) {
        if (*p == this) {
            *p = previous_;
            break;
        }
    }
}

StatementBatch::Next StatementBatch::execute(const std::string& statement, int tag)
{
    if (mode_ == Mode::Unavailable || busy_ || statement.size() > limits_.bytes || !Batchable(statement)) {
        if (endTransactions() == Next::Stop)
            return Next::Stop;
        return runAlone_(statement, tag);
    }
    if (mode_ == Mode::Autocommit) {
        bool off = false;
        try {
            off = connection_->setAutoCommit(false);
        } catch (...) {
            off = false;
        }
        if (!off) {
            // As a statement-by-statement run, from here to the end.
            mode_ = Mode::Unavailable;
            return runAlone_(statement, tag);
        }
        mode_ = Mode::Manual;
    }
    if (pending_.empty())
        started_ = std::chrono::steady_clock::now();
    pending_.push_back({texts_.size(), statement.size(), tag});
    texts_ += statement;
    try {
        connection_->execute(statement);
    } catch (...) {
        // Reported when it runs again alone, with the words autocommit gives.
        return replay();
    }
    return due() ? commit() : Next::Continue;
}

bool StatementBatch::due() const
{
    return pending_.size() >= limits_.statements || texts_.size() >= limits_.bytes
        || std::chrono::steady_clock::now() - started_ >= limits_.time;
}

StatementBatch::Next StatementBatch::commit()
{
    if (mode_ != Mode::Manual || pending_.empty())
        return Next::Continue;
    bool committed = true;
    try {
        connection_->commit();
    } catch (...) {
        committed = false;
    }
    if (!committed)
        return replay();
    pending_.clear();
    texts_.clear();
    return Next::Continue;
}

StatementBatch::Next StatementBatch::endTransactions()
{
    const Next next = commit();
    if (mode_ == Mode::Manual) {
        try {
            connection_->setAutoCommit(true);
        } catch (...) {
            // A connection that refuses even this is gone; its next statement says so.
        }
        mode_ = Mode::Autocommit;
    }
    return next;
}

// The open transaction is given up and what it held runs again alone, in order,
// each statement reported by the caller as a statement-by-statement run would.
StatementBatch::Next StatementBatch::replay()
{
    busy_ = true;
    try {
        connection_->rollback();
    } catch (...) {
        // The server may have rolled the transaction back itself.
    }
    try {
        connection_->setAutoCommit(true);
    } catch (...) {
        // Then every statement below fails, and each is reported.
    }
    mode_ = Mode::Autocommit;
    // Whatever happens in the caller's reports, the batch is ready for more afterwards.
    struct Done {
        StatementBatch& batch;
        ~Done()
        {
            batch.pending_.clear();
            batch.texts_.clear();
            batch.busy_ = false;
        }
    } done{*this};
    Next next = Next::Continue;
    std::string statement;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (i > 0 && events_)
            events_->yield();
        statement.assign(texts_, pending_[i].offset, pending_[i].size);
        next = runAlone_(statement, pending_[i].tag);
        if (next == Next::Stop)
            break;
    }
    return next;
}

StatementBatch::Next StatementBatch::finish()
{
    if (busy_)
        return Next::Continue;
    return endTransactions();
}

void StatementBatch::FinishAll() noexcept
{
    for (StatementBatch* b = gNewest; b; b = b->previous_) {
        try {
            b->finish();
        } catch (...) {
            // Reported by the caller's own error report, or lost with the process.
        }
    }
}

}  // namespace conversion
