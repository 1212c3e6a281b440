// Transactions around the statements of a run or of Execute SQL, and the
// replay that keeps a failure from costing the statements around it.
#include "conversion/statement_batch.h"

#include "conversion/tsql_scan.h"
#include "core/error_report.h"

#include <cstring>
#include <utility>

namespace conversion {

namespace {

// The live batches of this thread, newest first (see the header).
thread_local StatementBatch* gNewest = nullptr;

}  // namespace

StatementBatch::StatementBatch(platform::ServerConnection* connection, RunAlone runAlone, Report report,
                               platform::EventLoop* events, Limits limits)
    : connection_(connection), runAlone_(std::move(runAlone)), report_(std::move(report)), events_(events),
      limits_(limits)
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
    if (busy_) {
        // From inside a report during a failure's replay: the replay's own
        // transaction is left as it is.
        return runAlone_(statement, tag);
    }
    if (mode_ == Mode::Unavailable || statement.size() > limits_.bytes || !Batchable(statement)) {
        if (endTransactions() == Next::Stop)
            return Next::Stop;
        return runAlone_(statement, tag);
    }
    if (mode_ == Mode::Autocommit && !beginTransactions())
        return runAlone_(statement, tag);  // as a statement-by-statement run, from here to the end
    if (pending_.empty())
        started_ = std::chrono::steady_clock::now();
    pending_.push_back({texts_.size(), statement.size(), tag});
    texts_ += statement;
    try {
        connection_->execute(statement);
    } catch (...) {
        return recover(pending_.size() - 1, core::CurrentExceptionDescription());
    }
    return due() ? commit() : Next::Continue;
}

bool StatementBatch::due() const
{
    return pending_.size() >= limits_.statements || texts_.size() >= limits_.bytes
        || std::chrono::steady_clock::now() - started_ >= limits_.time;
}

// Autocommit off, from a state the driver confirms: a doubtful one is settled
// by a switch on first. False leaves every statement to run alone.
bool StatementBatch::beginTransactions()
{
    bool off = false;
    try {
        if (connection_->autoCommit() != platform::ServerConnection::AutoCommit::On)
            connection_->setAutoCommit(true);
        off = connection_->setAutoCommit(false);
    } catch (...) {
        switchAutoCommitOn();  // the statements alone must not wait for a commit
        off = false;
    }
    mode_ = off ? Mode::Manual : Mode::Unavailable;
    return off;
}

bool StatementBatch::switchAutoCommitOn()
{
    try {
        return connection_->setAutoCommit(true);
    } catch (...) {
        return false;  // the connection's state is unknown now
    }
}

StatementBatch::Next StatementBatch::commit()
{
    if (mode_ != Mode::Manual || pending_.empty())
        return Next::Continue;
    try {
        connection_->commit();
    } catch (...) {
        return recover(pending_.size(), core::CurrentExceptionDescription());
    }
    pending_.clear();
    texts_.clear();
    return Next::Continue;
}

StatementBatch::Next StatementBatch::endTransactions()
{
    const Next next = commit();
    if (mode_ == Mode::Manual) {
        // A refusal leaves the connection's state unknown; the next
        // transaction settles it first, or its statements run alone.
        switchAutoCommitOn();
        mode_ = Mode::Autocommit;
    }
    return next;
}

// Rolls back the transaction that failed and, asking the driver, says what
// became of its statements (the header's rule). Leaves mode_ as the
// connection now is: Manual with nothing open, Autocommit, or Unavailable.
StatementBatch::Fate StatementBatch::abandon(bool commitRefused)
{
    using AutoCommit = platform::ServerConnection::AutoCommit;
    bool rolledBack = true;
    try {
        connection_->rollback();
    } catch (...) {
        rolledBack = false;
    }
    if (rolledBack) {
        const AutoCommit state = connection_->autoCommit();
        if (state == AutoCommit::Off)
            return Fate::NotApplied;  // still in transactions, nothing open
        // Autocommit on, or a driver that cannot say: the statements may have
        // committed one by one, and the rollback undid nothing.
        mode_ = state == AutoCommit::On || switchAutoCommitOn() ? Mode::Autocommit : Mode::Unavailable;
        return Fate::MayBeApplied;
    }
    // The transaction ended already, by the server or with the connection, or
    // it is still open; a switch to autocommit that succeeds commits it then.
    const bool switched = switchAutoCommitOn();
    mode_ = switched ? Mode::Autocommit : Mode::Unavailable;
    return commitRefused || switched ? Fate::MayBeApplied : Fate::NotApplied;
}

namespace {

std::string CommitInDoubt(const std::string& description, std::size_t statements)
{
    return description + "\nThe server did not confirm the commit of " + std::to_string(statements)
        + " statements from this one on; they may or may not be stored and are not run again.";
}

}  // namespace

// After the statement at `refused` failed inside the open transaction, or with
// refused == pending_.size() after the commit failed: the header's rule.
StatementBatch::Next StatementBatch::recover(std::size_t refused, const std::string& description)
{
    busy_ = true;
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
    const bool commitRefused = refused == pending_.size();
    if (abandon(commitRefused) == Fate::MayBeApplied) {
        if (!report_)
            return Next::Continue;
        return commitRefused ? report_(CommitInDoubt(description, pending_.size()), pending_.front().tag)
                             : report_(description, pending_[refused].tag);
    }
    // Which statements run alone, the smallest index last.
    std::vector<std::size_t> alone;
    if (commitRefused) {
        for (std::size_t k = pending_.size(); k-- > 0;)
            alone.push_back(k);
    } else {
        alone.push_back(refused);
    }
    return replay(std::move(alone), commitRefused ? pending_.size() : refused + 1);
}

// Runs pending_[0, end) again, none of them applied: the indices in `alone`
// (descending) alone through the caller, the others in transactions, silently.
// A statement or commit refused on the way is handled by the same rule, within
// this walk: each refusal adds a statement to run alone, so the walk ends.
// A call that sent several statements at once would join it the same way: the
// statements of the call, one per call, the first refused one alone.
StatementBatch::Next StatementBatch::replay(std::vector<std::size_t> alone, std::size_t end)
{
    std::size_t first = 0;  // the open transaction holds [first, i)
    std::size_t i = 0;
    bool yielded = false;
    while (i < end || i > first) {
        if (events_ && yielded)
            events_->yield();
        yielded = true;
        const bool aloneNext = !alone.empty() && alone.back() == i;
        if (i > first && (i == end || aloneNext)) {
            try {
                connection_->commit();
            } catch (...) {
                const std::string description = core::CurrentExceptionDescription();
                if (abandon(true) == Fate::NotApplied) {
                    for (std::size_t k = i; k-- > first;)
                        alone.push_back(k);
                    i = first;
                    continue;
                }
                if (report_ && report_(CommitInDoubt(description, i - first), pending_[first].tag) == Next::Stop)
                    return Next::Stop;
            }
            first = i;
            continue;
        }
        if (aloneNext || mode_ == Mode::Unavailable || (mode_ == Mode::Autocommit && !beginTransactions())) {
            if (aloneNext)
                alone.pop_back();
            first = i + 1;
            if (runAlone(i++) == Next::Stop)
                return Next::Stop;
            continue;
        }
        try {
            connection_->execute(text(i));
            ++i;
        } catch (...) {
            const std::string description = core::CurrentExceptionDescription();
            if (abandon(false) == Fate::NotApplied) {
                alone.push_back(i);
                i = first;
                continue;
            }
            first = i + 1;
            if (report_ && report_(description, pending_[i++].tag) == Next::Stop)
                return Next::Stop;
        }
    }
    return Next::Continue;
}

// One statement through the caller with autocommit on, as a
// statement-by-statement run executes it.
StatementBatch::Next StatementBatch::runAlone(std::size_t index)
{
    if (mode_ == Mode::Manual)
        mode_ = switchAutoCommitOn() ? Mode::Autocommit : Mode::Unavailable;
    return runAlone_(text(index), pending_[index].tag);
}

std::string StatementBatch::text(std::size_t index) const
{
    return texts_.substr(pending_[index].offset, pending_[index].size);
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
