// What one connection's requests do on the server's side, as SQL Server
// answers them: a DONE per statement, the transaction count and its ENVCHANGE
// tokens, the tables created and dropped, the errors (the refused statements
// and the ones SQL Server itself would give) and how far a batch goes on after one.
#pragma once

#include "tests/tds/tds_server.h"
#include "tests/tds/tds_wire.h"
#include "tests/tds/tsql_batch.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

struct SessionState {
    std::uint16_t spid = 0;
    bool tds72 = true;  // ALL_HEADERS in requests, eight-byte row counts
    std::string database = "master";
    int trancount = 0;
    std::uint64_t descriptor = 0;
    bool implicitTransactions = false;
    bool xactAbort = false;
    bool nocount = false;
    struct Change {
        bool created;
        std::string table;
    };
    std::vector<Change> journal;  // the open transaction's CREATE and DROP, undone by a rollback
    // The open transaction's INSERTs (statement) and bulk rows (table and
    // values), recorded as stored at its commit.
    struct Stored {
        std::string statement;
        std::string table;
        StoredValues values;
    };
    std::vector<Stored> inserted;
    bool fmtonly = false;     // SET FMTONLY ON: a query tells its columns only
    std::string bulkTable;    // named by the last INSERT BULK, for the bulk load that follows
    std::map<std::string, std::int64_t> insertedRows;  // the open transaction's rows, by table, counted at its commit
};

struct RpcParam {
    std::string name;
    std::optional<std::string> value;  // as T-SQL would write it: N'...', 12, 0x...; none for NULL
    std::optional<std::string> text;   // a character value itself (UTF-8)
};

class Executor {
public:
    Executor(Server& server, SessionState& state) : server_(server), state_(state) {}

    // Each returns the token stream of the answer.
    std::string batch(std::string_view sql);
    std::string procedure(std::string_view name, const std::vector<RpcParam>& params);
    std::string transactionRequest(std::uint16_t type, bool beginAfter);
    // A bulk-load message into the table the last INSERT BULK named.
    std::string bulkLoad(std::string_view body);

    // The connection ends: an open transaction is rolled back, silently.
    void closing();

private:
    enum class Abort { Statement, Scope, BatchRollback, Compile };
    struct Failure {
        std::uint32_t number;
        std::uint8_t severity;
        std::uint8_t state;
        std::string text;
        Abort abort;
    };

    void start(Token doneToken);
    std::string finish();
    std::size_t step(const std::vector<Statement>& statements, std::size_t i, bool run);
    void execute(const Statement& st);
    void executeDdl(const Statement& st);
    void executeTransaction(const Statement& st);
    void select(const Statement& st);
    void storeRows(const std::string& table, const std::vector<StoredValues>& rows);
    bool condition(const std::string& text) const;
    void callProcedure(std::string_view name, const std::vector<RpcParam>& params);
    void tablesResult(const std::vector<RpcParam>& params);

    void done(std::uint16_t status, std::uint16_t command, std::uint64_t rows);
    void fail(const Failure& f, std::uint16_t command);
    std::optional<Failure> refusal(const Statement& st) const;
    std::uint16_t countStatus() const;

    void begin();
    void count(const Statement& st);
    void commitOne();
    void rollbackAll();
    void implicitBegin();
    void created(const std::string& table);
    void dropped(const std::string& table);

    Server& server_;
    SessionState& state_;
    Writer out_;
    Token doneToken_ = kDone;
    std::size_t lastDone_ = 0;
    bool anyDone_ = false;
    bool aborted_ = false;
};

}  // namespace tdstest
