// Transactions around the statements of a run or of Execute SQL, and the
// replay that keeps a failure from costing the statements around it.
#include "conversion/statement_batch.h"

#include <cstring>
#include <utility>

namespace conversion {

namespace {

// The batches alive on this thread, newest first (windows and runs nest on
// the user-interface thread; each batch lives in the frame that uses it).
thread_local StatementBatch* gNewest = nullptr;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool StartsWithInsert(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    constexpr std::string_view kInsert = "insert";
    if (s.size() - i <= kInsert.size())
        return false;
    for (std::size_t k = 0; k < kInsert.size(); ++k) {
        char c = s[i + k];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kInsert[k])
            return false;
    }
    return IsBlank(s[i + kInsert.size()]);
}

bool IsWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c == '@' || c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// A word that ends a transaction, starts one or runs code that might: T-SQL
// needs no ";" between statements, so such a word anywhere outside quotes
// makes the line run alone.
bool TransactionWord(std::string_view word)
{
    static constexpr std::string_view kWords[] = {"commit", "rollback", "begin", "save", "exec", "execute"};
    if (word.size() < 4 || word.size() > 8)
        return false;
    switch (word[0] | 0x20) {  // most words of an INSERT fail here
    case 'b': case 'c': case 'e': case 'r': case 's': break;
    default: return false;
    }
    char lower[8];
    for (std::size_t k = 0; k < word.size(); ++k) {
        char c = word[k];
        lower[k] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view w(lower, word.size());
    for (std::string_view k : kWords) {
        if (w == k)
            return true;
    }
    return false;
}

// Where the quote, bracket or comment that opens at `i` ends (just past it),
// s.size() when it never does.
std::size_t SkipQuoted(std::string_view s, std::size_t i)
{
    const char open = s[i];
    if (open == '-' || open == '/') {
        const std::string_view end = open == '-' ? "\n" : "*/";
        const std::size_t at = s.find(end, i + 2);
        return at == std::string_view::npos ? s.size() : at + end.size();
    }
    const char close = open == '[' ? ']' : open;
    for (std::size_t at = i + 1; at < s.size(); at += 2) {
        const void* hit = std::memchr(s.data() + at, close, s.size() - at);
        if (!hit)
            return s.size();
        at = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
        if (at + 1 >= s.size() || s[at + 1] != close)
            return at + 1;  // a doubled quote or "]]" stays inside
    }
    return s.size();
}

// One statement and nothing that touches the transaction: no ";" outside
// quotes, brackets and comments but a last one before blanks, and no
// transaction word.
bool SingleStatement(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (c == '\'' || c == '"' || c == '[' || (c == '-' && next == '-') || (c == '/' && next == '*')) {
            i = SkipQuoted(s, i);
        } else if (IsWordChar(c)) {
            const std::size_t start = i;
            while (i < s.size() && IsWordChar(s[i]))
                ++i;
            if (TransactionWord(s.substr(start, i - start)))
                return false;
        } else if (c == ';') {
            for (++i; i < s.size(); ++i) {
                if (!IsBlank(s[i]))
                    return false;
            }
        } else {
            ++i;
        }
    }
    return true;
}

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

bool StatementBatch::Batchable(std::string_view statement)
{
    return StartsWithInsert(statement) && SingleStatement(statement);
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
