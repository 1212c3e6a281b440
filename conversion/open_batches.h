// The statement batches open on the user-interface thread, where runs and
// Execute SQL nest, each batch in the frame that uses it. The main window owns
// the list: closing it ends the process without unwinding, so that a run that
// is yielding does not go on, and it first finishes the open batches, so that
// what a run or Execute SQL has sent is committed.
#pragma once

#include <vector>

namespace conversion {

class StatementBatch;

class OpenBatches {
public:
    OpenBatches() = default;
    OpenBatches(const OpenBatches&) = delete;
    OpenBatches& operator=(const OpenBatches&) = delete;

    // Newest first, each batch that is not in the middle of a replay. Failures
    // are reported as ever; nothing throws.
    void finishAll() noexcept;

private:
    friend class StatementBatch;  // each batch adds itself when made and leaves when it ends
    std::vector<StatementBatch*> batches_;
};

}  // namespace conversion
