// Direct mode's second road for a table's rows (the setting "Bulk Copy"): the
// server's bulk load, in batches it stores whole or not at all, bounded as
// the INSERTs' transactions are. Each row comes as the INSERT the run built
// for it and goes as the values of that INSERT (bulk_row.h). A row whose
// values a bulk row cannot carry goes as its INSERT, and so does every row
// after it, so that the rows keep their order; so do the rows of a batch the
// server refuses, so that what is stored and reported is what the INSERTs give.
#pragma once

#include "conversion/statement_batch.h"
#include "platform/bulk_load.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace conversion {

class BulkSender {
public:
    // The INSERT road, for a row the load does not take.
    using Insert = std::function<void(const std::string& statement, int tag)>;

    // `inDoubt` reports a batch whose end the server did not confirm (the
    // connection went), by the tag of its first row.
    BulkSender(std::unique_ptr<platform::BulkLoad> load, Insert insert, StatementBatch::Report inDoubt,
               TransactionLimits limits = {});

    // One row, as its INSERT statement.
    void send(const std::string& statement, int tag);
    // Ends the load: its last batch stored. Nothing else may use the connection before.
    void finish();
    // The rows the server said it stored since the last call.
    std::int64_t takeStored() { return std::exchange(stored_, 0); }

private:
    struct Pending {
        std::size_t offset;
        std::size_t size;
        int tag;
    };
    void endBatch(bool last);
    // The load is over: the rows of its open batch go as INSERTs.
    void insteadAsInserts();
    void lostBatch(const std::string& description);
    template <typename F>
    bool loaded(F&& call);

    std::unique_ptr<platform::BulkLoad> load_;
    Insert insert_;
    StatementBatch::Report inDoubt_;
    TransactionLimits limits_;
    std::vector<platform::BulkValue> row_;
    // The open batch's statements, kept for the INSERTs that take their place.
    std::string texts_;
    std::vector<Pending> pending_;
    std::chrono::steady_clock::time_point started_{};
    std::int64_t stored_ = 0;
};

}  // namespace conversion
