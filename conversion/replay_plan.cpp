// The replay after a failure inside a transaction, without I/O.
#include "conversion/replay_plan.h"

#include <algorithm>
#include <utility>

namespace conversion {

Fate FateOf(const DriverAnswer& answer, bool commitRefused)
{
    using AutoCommit = platform::ServerConnection::AutoCommit;
    if (answer.rolledBack)
        return answer.autoCommit == AutoCommit::Off ? Fate::NotApplied : Fate::MayBeApplied;
    return commitRefused || answer.switchedOn ? Fate::MayBeApplied : Fate::NotApplied;
}

ReplayPlan::ReplayPlan(std::vector<Statement> statements, std::size_t perCall, std::size_t bytesPerCall)
    : statements_(std::move(statements)), perCall_(perCall), bytesPerCall_(bytesPerCall),
      joinBefore_(statements_.size())
{
}

ReplayPlan::Step ReplayPlan::next() const
{
    const std::size_t end = statements_.size();
    const bool aloneNext = !alone_.empty() && alone_.back() == next_;
    if (next_ > first_ && (next_ == end || aloneNext || cuts_.count(next_) != 0))
        return {Action::Commit, first_, next_};
    if (next_ == end)
        return {Action::Done, end, end};
    if (aloneNext)
        return {Action::Alone, next_, next_ + 1};
    // Statements share calls up to the next one to run alone.
    std::size_t j = next_ + 1;
    if (next_ < joinBefore_ && statements_[next_].joins) {
        std::size_t bytes = statements_[next_].size;
        while (j < end && j < joinBefore_ && statements_[j].joins && (alone_.empty() || alone_.back() != j)
               && cuts_.count(j) == 0 && j - next_ < perCall_ && bytes + 1 + statements_[j].size <= bytesPerCall_)
            bytes += 1 + statements_[j++].size;
    }
    return {Action::Call, next_, j};
}

void ReplayPlan::done(const Step& step)
{
    switch (step.action) {
    case Action::Commit:
        first_ = step.end;
        break;
    case Action::Alone:
        if (!alone_.empty() && alone_.back() == step.first)
            alone_.pop_back();
        first_ = next_ = step.end;
        break;
    case Action::Call:
        next_ = step.end;
        break;
    case Action::Done:
        break;
    }
}

std::optional<ReplayPlan::Report> ReplayPlan::failed(const Step& step, const DriverAnswer& answer)
{
    const bool commit = step.action == Action::Commit;
    const std::size_t n = step.end - step.first;
    std::size_t refused = step.end;  // not known
    if (!commit)
        refused = n == 1 ? step.first : step.first + std::min(answer.named.value_or(n), n);
    if (FateOf(answer, commit) == Fate::NotApplied) {
        if (commit) {
            for (std::size_t k = step.end; k-- > step.first;)
                alone_.push_back(k);
        } else if (refused < step.end && (n == 1 || namesBelieved_)) {
            alone_.push_back(refused);
            if (n > 1 && refused == step.first) {  // as FreeTDS names any refusal where NOCOUNT is ON
                named_ = refused;
                namedCallEnd_ = step.end;
            }
        } else if (refused < step.end) {
            cutInTwo(step.first, step.end);
        } else {
            joinBefore_ = std::min(joinBefore_, step.first);
        }
        next_ = first_;
        return std::nullopt;
    }
    first_ = next_ = step.end;
    return Report{step.action, refused < step.end ? refused : step.first, n, step.first};
}

void ReplayPlan::ranAlone(std::size_t statement, bool refused)
{
    if (named_ != statement)
        return;
    named_.reset();
    if (refused)
        return;
    namesBelieved_ = false;
    cutInTwo(statement + 1, namedCallEnd_);
}

void ReplayPlan::cutInTwo(std::size_t first, std::size_t end)
{
    if (end < first + 2)
        return;
    cuts_.insert(first + (end - first) / 2);
    cuts_.insert(end);
}

}  // namespace conversion
