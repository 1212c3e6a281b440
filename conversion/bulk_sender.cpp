// A table's rows as a bulk load, and the INSERTs that take its place.
#include "conversion/bulk_sender.h"

#include "conversion/bulk_row.h"
#include "platform/server_connection.h"

#include <utility>

namespace conversion {

BulkSender::BulkSender(std::unique_ptr<platform::BulkLoad> load, Insert insert, StatementBatch::Report inDoubt,
                       TransactionLimits limits)
    : load_(std::move(load)), insert_(std::move(insert)), inDoubt_(std::move(inDoubt)), limits_(limits)
{
}

// One call of the load; false where it failed: a lost connection leaves the
// batch in doubt, any other failure sends the rest as INSERTs.
template <typename F>
bool BulkSender::loaded(F&& call)
{
    try {
        call();
        return true;
    } catch (const platform::ConnectionLost& e) {
        lostBatch(e.what());
    } catch (const std::exception&) {
        insteadAsInserts();
    }
    return false;
}

void BulkSender::send(const std::string& statement, int tag)
{
    if (!load_ || !ReadBulkRow(statement, load_->columns(), row_)) {
        finish();
        insert_(statement, tag);
        return;
    }
    if (pending_.empty())
        started_ = std::chrono::steady_clock::now();
    pending_.push_back({texts_.size(), statement.size(), tag});
    texts_ += statement;
    if (!loaded([this] { load_->addRow(row_); }))
        return;
    // The clock is read once a row, as the INSERTs' batch reads it once a call.
    if (pending_.size() >= limits_.statements || texts_.size() >= limits_.bytes
        || std::chrono::steady_clock::now() - started_ >= limits_.time)
        endBatch(false);
}

void BulkSender::finish()
{
    if (load_)
        endBatch(true);
}

void BulkSender::endBatch(bool last)
{
    if (!loaded([this, last] { stored_ += load_->endBatch(last); }))
        return;
    pending_.clear();
    texts_.clear();
    if (last)
        load_.reset();
}

void BulkSender::insteadAsInserts()
{
    load_.reset();
    const std::vector<Pending> rows = std::move(pending_);
    const std::string texts = std::move(texts_);
    pending_.clear();
    texts_.clear();
    for (const Pending& p : rows)
        insert_(texts.substr(p.offset, p.size), p.tag);
}

void BulkSender::lostBatch(const std::string& description)
{
    load_.reset();
    if (!pending_.empty() && inDoubt_) {
        inDoubt_(description + "\nThe server did not confirm the bulk load of " + std::to_string(pending_.size())
                     + " rows from this one on; they may or may not be stored and are not sent again.",
                 pending_.front().tag, {pending_.size(), pending_.size()});
    }
    pending_.clear();
    texts_.clear();
}

}  // namespace conversion
