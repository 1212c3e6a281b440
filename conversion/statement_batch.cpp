// Transactions around the statements of a run or of Execute SQL: the batch
// sends, asks the driver after a failure, and carries out the replay plan.
#include "conversion/statement_batch.h"

#include "conversion/tsql_scan.h"
#include "core/error_report.h"

#include <utility>
#include <vector>

namespace conversion {

namespace {

using AutoCommit = platform::ServerConnection::AutoCommit;
using Action = ReplayPlan::Action;

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

StatementBatch::StatementBatch(platform::ServerConnection* connection, RunAlone runAlone, Report report,
                               platform::EventLoop* events, Limits limits, OpenBatches* open)
    : connection_(connection), runAlone_(std::move(runAlone)), report_(std::move(report)), events_(events),
      limits_(limits), open_(open)
{
    if (!connection_)
        mode_ = Mode::Alone;
    if (open_)
        open_->batches_.push_back(this);
}

StatementBatch::~StatementBatch()
{
    try {
        finish();
    } catch (...) {
        // runAlone reports its own failures; nothing may leave a destructor.
    }
    if (open_)
        std::erase(open_->batches_, this);
}

StatementBatch::Next StatementBatch::execute(const std::string& statement, int tag, Kind kind)
{
    if (busy_) {
        // From inside a report during a failure's replay: the replay's own
        // transaction is left as it is.
        return runAlone_(statement, tag);
    }
    const bool batchable = kind == Kind::Insert || (kind == Kind::Unknown && Batchable(statement));
    if (mode_ == Mode::Alone || statement.size() > limits_.bytes || !batchable) {
        if (endTransactions() == Next::Stop)
            return Next::Stop;
        return runAlone_(statement, tag);
    }
    if (mode_ == Mode::Autocommit && !beginTransactions())
        return runAlone_(statement, tag);  // as a statement-by-statement run, from here to the end
    // Consecutive joining statements wait until a call holds the count or the
    // bytes of its bounds, or until anything else happens.
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
    if (waiting() == 0)
        return Next::Continue;
    const Step call{Action::Call, sent_, pending_.size()};
    if (std::optional<Failure> failure = attempt(call))
        return recover(call, std::move(*failure));
    sent_ = pending_.size();
    return Next::Continue;
}

// Autocommit off, from a state the driver confirms: a doubtful one is settled
// by a switch on first. False leaves every statement to run alone.
bool StatementBatch::beginTransactions()
{
    bool off = false;
    try {
        if (connection_->autoCommit() != AutoCommit::On)
            connection_->setAutoCommit(true);
        off = connection_->setAutoCommit(false);
    } catch (...) {
        switchOn();  // the statements alone must not wait for a commit
        off = false;
    }
    mode_ = off ? Mode::Manual : Mode::Alone;
    return off;
}

bool StatementBatch::inTransaction()
{
    return mode_ == Mode::Manual || (mode_ == Mode::Autocommit && beginTransactions());
}

// A switch that fails leaves the driver's state unknown.
bool StatementBatch::switchOn()
{
    bool on = false;
    try {
        on = connection_->setAutoCommit(true);
    } catch (...) {
        on = false;
    }
    mode_ = on ? Mode::Autocommit : Mode::Alone;
    return on;
}

StatementBatch::Next StatementBatch::commit()
{
    if (mode_ != Mode::Manual)
        return Next::Continue;
    if (send() == Next::Stop)
        return Next::Stop;
    if (mode_ != Mode::Manual || pending_.empty())
        return Next::Continue;
    const Step all{Action::Commit, 0, pending_.size()};
    if (std::optional<Failure> failure = attempt(all))
        return recover(all, std::move(*failure));
    committed_ += pending_.size();
    pending_.clear();
    texts_.clear();
    sent_ = 0;
    return Next::Continue;
}

StatementBatch::Next StatementBatch::endTransactions()
{
    const Next next = commit();
    if (mode_ == Mode::Manual)
        switchOn();
    return next;
}

// A call or commit on the connection; a failure as the driver told it.
std::optional<StatementBatch::Failure> StatementBatch::attempt(const Step& step)
{
    try {
        if (step.action == Action::Commit) {
            connection_->commit();
            return std::nullopt;
        }
        std::vector<std::string_view> statements;
        statements.reserve(step.end - step.first);
        for (std::size_t i = step.first; i < step.end; ++i)
            statements.push_back(view(i));
        connection_->executeSeveral(statements);
        return std::nullopt;
    } catch (const platform::RefusedInCall& e) {
        return Failure{e.statement(), core::CurrentExceptionDescription()};
    } catch (...) {
        return Failure{std::nullopt, core::CurrentExceptionDescription()};
    }
}

// Rolls back the transaction that failed and asks the driver what became of
// it. The connection's state comes from the driver, never from mode_: the
// server may have ended the transaction, a driver may have gone back to autocommit.
DriverAnswer StatementBatch::rollBack(std::optional<std::size_t> named)
{
    DriverAnswer answer;
    answer.named = named;
    try {
        connection_->rollback();
        answer.rolledBack = true;
    } catch (...) {
        // Ended already, by the server or with the connection, or still open.
    }
    if (answer.rolledBack)
        answer.autoCommit = connection_->autoCommit();
    if (answer.autoCommit == AutoCommit::Unknown)
        answer.switchedOn = switchOn();
    else
        mode_ = answer.autoCommit == AutoCommit::Off ? Mode::Manual : Mode::Autocommit;
    return answer;
}

// After `step` of the open transaction failed: the replay plan's steps until
// it is done, each failure on the way handled by the same rule.
StatementBatch::Next StatementBatch::recover(Step step, Failure first)
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
    std::vector<ReplayPlan::Statement> statements;
    statements.reserve(pending_.size());
    for (const Pending& p : pending_)
        statements.push_back({p.size, p.joins});
    ReplayPlan plan(std::move(statements), limits_.statementsPerCall, limits_.bytesPerCall);
    std::optional<Failure> failure = std::move(first);
    for (bool yield = false;; yield = true) {
        if (failure && afterFailure(plan, step, *failure) == Next::Stop)
            return Next::Stop;
        failure.reset();
        step = plan.next();
        if (step.action == Action::Done)
            return Next::Continue;
        if (yield && events_)
            events_->yield();
        if (step.action == Action::Call && !inTransaction())
            step = {Action::Alone, step.first, step.first + 1};
        if (step.action == Action::Alone) {
            plan.done(step);
            if (runAlone(step.first) == Next::Stop)
                return Next::Stop;
        } else if (!(failure = attempt(step))) {
            plan.done(step);
            if (step.action == Action::Commit)
                committed_ += step.end - step.first;
        }
    }
}

StatementBatch::Next StatementBatch::afterFailure(ReplayPlan& plan, const Step& step, const Failure& failure)
{
    const std::optional<ReplayPlan::Report> report = plan.failed(step, rollBack(failure.named));
    if (!report || !report_)
        return Next::Continue;
    std::string said = failure.description;
    if (report->action == Action::Commit)
        said = CommitInDoubt(said, report->count);
    else if (report->count > 1)
        said = CallInDoubt(said, report->count);
    return report_(said, pending_[report->statement].tag);
}

// One statement through the caller with autocommit on, as a
// statement-by-statement run executes it.
StatementBatch::Next StatementBatch::runAlone(std::size_t index)
{
    if (mode_ == Mode::Manual)
        switchOn();
    return runAlone_(std::string(view(index)), pending_[index].tag);
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
    switchOn();
}

StatementBatch::Next StatementBatch::finish()
{
    if (busy_)
        return Next::Continue;
    return endTransactions();
}

void OpenBatches::finishAll() noexcept
{
    // A report shown on the way turns the event loop: the list is read afresh.
    for (std::size_t k = batches_.size(); k-- > 0;) {
        if (k >= batches_.size())
            continue;
        try {
            batches_[k]->finish();
        } catch (...) {
            // Reported by the caller's own error report, or lost with the process.
        }
    }
}

}  // namespace conversion
