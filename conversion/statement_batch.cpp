// Transactions around the statements of a run or of Execute SQL, and the
// replay that keeps a failure from costing the statements around it.
#include "conversion/statement_batch.h"

#include "conversion/tsql_scan.h"
#include "core/error_report.h"

#include <algorithm>
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

StatementBatch::Next StatementBatch::execute(const std::string& statement, int tag, Kind kind)
{
    if (busy_) {
        // From inside a report during a failure's replay: the replay's own
        // transaction is left as it is.
        return runAlone_(statement, tag);
    }
    const bool batchable = kind == Kind::Insert || (kind == Kind::Unknown && Batchable(statement));
    if (mode_ == Mode::Unavailable || statement.size() > limits_.bytes || !batchable) {
        if (endTransactions() == Next::Stop)
            return Next::Stop;
        return runAlone_(statement, tag);
    }
    if (mode_ == Mode::Autocommit && !beginTransactions())
        return runAlone_(statement, tag);  // as a statement-by-statement run, from here to the end
    const bool joins =
        kind == Kind::Insert && limits_.statementsPerCall > 1 && statement.size() <= limits_.bytesPerCall;
    const std::size_t waitingBytes = waiting() > 0 ? texts_.size() - pending_[sent_].offset : 0;
    if (waiting() > 0 && (!joins || waitingBytes + 1 + statement.size() > limits_.bytesPerCall)) {
        if (send() == Next::Stop)
            return Next::Stop;
        return execute(statement, tag, kind);  // a failure in that call may have ended the transactions
    }
    if (pending_.empty())
        started_ = std::chrono::steady_clock::now();
    if (!texts_.empty())
        texts_ += '\n';
    pending_.push_back({texts_.size(), statement.size(), tag, joins});
    texts_ += statement;
    if ((!joins || waiting() >= limits_.statementsPerCall) && send() == Next::Stop)
        return Next::Stop;
    // Commits fall between calls, and the clock is read once a call.
    return waiting() == 0 && due() ? commit() : Next::Continue;
}

bool StatementBatch::due() const
{
    return pending_.size() >= limits_.statements || texts_.size() >= limits_.bytes
        || std::chrono::steady_clock::now() - started_ >= limits_.time;
}

// The statements that wait, in one call.
StatementBatch::Next StatementBatch::send()
{
    const std::size_t call = sent_;
    const std::size_t n = pending_.size() - call;
    if (n == 0)
        return Next::Continue;
    try {
        executeRange(call, pending_.size());
    } catch (const platform::RefusedInCall& e) {
        return recover(call, n == 1 ? call : call + std::min(e.statement(), n), core::CurrentExceptionDescription());
    } catch (...) {
        return recover(call, n == 1 ? call : pending_.size(), core::CurrentExceptionDescription());
    }
    sent_ = pending_.size();
    return Next::Continue;
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
    if (mode_ != Mode::Manual)
        return Next::Continue;
    if (send() == Next::Stop)
        return Next::Stop;
    if (mode_ != Mode::Manual || pending_.empty())
        return Next::Continue;
    try {
        connection_->commit();
    } catch (...) {
        return recover(pending_.size(), pending_.size(), core::CurrentExceptionDescription());
    }
    pending_.clear();
    texts_.clear();
    sent_ = 0;
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

std::string CallInDoubt(const std::string& description, std::size_t statements)
{
    return description + "\nIt was sent in one call with " + std::to_string(statements - 1)
        + " other statements; the server did not confirm which of them are stored, and none is run again.";
}

}  // namespace

// After the call of pending_[call, end) failed inside the open transaction,
// where the driver said that `refused` was the statement it refused (end
// when it did not say), or with call == pending_.size() after the commit
// failed: the header's rule.
StatementBatch::Next StatementBatch::recover(std::size_t call, std::size_t refused, const std::string& description)
{
    busy_ = true;
    // Whatever happens in the caller's reports, the batch is ready for more afterwards.
    struct Done {
        StatementBatch& batch;
        ~Done()
        {
            batch.pending_.clear();
            batch.texts_.clear();
            batch.sent_ = 0;
            batch.busy_ = false;
        }
    } done{*this};
    const std::size_t end = pending_.size();
    const bool commitRefused = call == end;
    if (abandon(commitRefused) == Fate::MayBeApplied) {
        if (!report_)
            return Next::Continue;
        if (commitRefused)
            return report_(CommitInDoubt(description, end), pending_.front().tag);
        if (end - call == 1)
            return report_(description, pending_[call].tag);
        return report_(CallInDoubt(description, end - call), pending_[refused < end ? refused : call].tag);
    }
    // Which statements run alone, the smallest index last.
    std::vector<std::size_t> alone;
    if (commitRefused) {
        for (std::size_t k = end; k-- > 0;)
            alone.push_back(k);
    } else if (refused < end) {
        alone.push_back(refused);
    }
    // Where the driver did not say which statement it refused, the call's
    // statements go one per call, so that the replay finds it.
    return replay(std::move(alone), end, commitRefused || refused < end ? end : call);
}

// Runs pending_[0, end) again, none of them applied: the indices in `alone`
// (descending) alone through the caller, the others in transactions, silently,
// those before joinBefore several to a call where they may share one. A call
// refused in the replay adds the statement the driver names to those that run
// alone, or, where the driver does not say, makes every statement from the
// call's first on go one per call.
// A statement or commit refused on the way is handled by the same rule, within
// this walk: each refusal adds a statement to run alone, so the walk ends.
StatementBatch::Next StatementBatch::replay(std::vector<std::size_t> alone, std::size_t end, std::size_t joinBefore)
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
        // Statements that went through before share calls again, up to the
        // next one to run alone; the others go one per call.
        std::size_t j = i + 1;
        if (i < joinBefore && pending_[i].joins) {
            std::size_t bytes = pending_[i].size;
            while (j < end && j < joinBefore && pending_[j].joins && (alone.empty() || alone.back() != j)
                   && j - i < limits_.statementsPerCall && bytes + 1 + pending_[j].size <= limits_.bytesPerCall)
                bytes += 1 + pending_[j++].size;
        }
        std::size_t refused = j;  // not known
        std::string description;
        try {
            executeRange(i, j);
            i = j;
            continue;
        } catch (const platform::RefusedInCall& e) {
            refused = j - i == 1 ? i : i + std::min(e.statement(), j - i);
            description = core::CurrentExceptionDescription();
        } catch (...) {
            refused = j - i == 1 ? i : j;
            description = core::CurrentExceptionDescription();
        }
        if (abandon(false) == Fate::NotApplied) {
            if (refused < j)
                alone.push_back(refused);
            else
                joinBefore = std::min(joinBefore, i);
            i = first;
            continue;
        }
        first = j;
        const std::string said = j - i == 1 ? description : CallInDoubt(description, j - i);
        if (report_ && report_(said, pending_[refused < j ? refused : i].tag) == Next::Stop)
            return Next::Stop;
        i = j;
    }
    return Next::Continue;
}

// One statement through the caller with autocommit on, as a
// statement-by-statement run executes it.
StatementBatch::Next StatementBatch::runAlone(std::size_t index)
{
    if (mode_ == Mode::Manual)
        mode_ = switchAutoCommitOn() ? Mode::Autocommit : Mode::Unavailable;
    return runAlone_(std::string(view(index)), pending_[index].tag);
}

void StatementBatch::executeRange(std::size_t first, std::size_t end)
{
    std::vector<std::string_view> statements;
    statements.reserve(end - first);
    for (std::size_t i = first; i < end; ++i)
        statements.push_back(view(i));
    connection_->executeSeveral(statements);
}

std::string_view StatementBatch::view(std::size_t index) const
{
    return std::string_view(texts_).substr(pending_[index].offset, pending_[index].size);
}

void StatementBatch::abandon() noexcept
{
    if (busy_ || mode_ != Mode::Manual)
        return;
    try {
        connection_->rollback();
    } catch (...) {
        // The connection's state is settled by the switch below, or it is gone.
    }
    pending_.clear();
    texts_.clear();
    sent_ = 0;
    mode_ = switchAutoCommitOn() ? Mode::Autocommit : Mode::Unavailable;
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
