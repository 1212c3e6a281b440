// A scripted SQL Server for engine and window tests: it records every
// statement, knows a list of tables, refuses what the test tells it to, and
// keeps a transaction's statements apart until they are committed.
// The end-to-end tests use the real ODBC path instead.
#pragma once

#include "platform/server_connection.h"
#include "platform/source_connection.h"
#include "tests/support/memory_recordset.h"

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

struct FakeServerState {
    std::vector<platform::SchemaTable> tables;
    std::vector<std::string> executed;     // statements that succeeded, once committed
    std::vector<std::string> openedWith;   // connection texts
    bool refuseLogin = false;
    std::function<bool(const std::string&)> refuses;  // a statement the server rejects
    int connections = 0;
    int closes = 0;

    bool transactions = true;              // false: a driver without autocommit control
    std::function<bool()> refusesCommit;   // a commit the server fails
    bool refusalEndsTransaction = false;   // a refused statement rolls its transaction back
    std::vector<std::string> uncommitted;  // the open transaction's statements
    // "off", "on" (autocommit), "commit N" and "rollback N" (N statements), in order.
    std::vector<std::string> transactionLog;
};

class FakeServerConnection : public platform::ServerConnection {
public:
    explicit FakeServerConnection(FakeServerState& state) : state_(state) { ++state_.connections; }
    void setCursorLocation(int) override {}
    void setCommandTimeout(int) override {}
    void setConnectionTimeout(int) override {}
    void open(const std::string& text) override
    {
        state_.openedWith.push_back(text);
        if (state_.refuseLogin)
            throw platform::ServerError("[SQLSTATE 28000] Login failed for user 'sa'.");
        open_ = true;
    }
    bool isOpen() const override { return open_; }
    void execute(const std::string& sql) override
    {
        if (!open_)
            throw platform::ServerError("the connection is not open.");
        if (state_.refuses && state_.refuses(sql)) {
            if (state_.refusalEndsTransaction)
                state_.uncommitted.clear();
            throw platform::ServerError("[SQLSTATE 42000] refused: " + sql.substr(0, 30));
        }
        (autoCommit_ ? state_.executed : state_.uncommitted).push_back(sql);
    }
    bool setAutoCommit(bool on) override
    {
        if (!on && !state_.transactions)
            return false;
        if (on != autoCommit_) {
            if (on && !state_.uncommitted.empty())
                commit();
            state_.transactionLog.push_back(on ? "on" : "off");
        }
        autoCommit_ = on;
        return true;
    }
    void commit() override
    {
        if (autoCommit_)
            return;
        if (state_.refusesCommit && state_.refusesCommit())
            throw platform::ServerError("[SQLSTATE 40001] the transaction was chosen as a deadlock victim.");
        state_.transactionLog.push_back("commit " + std::to_string(state_.uncommitted.size()));
        state_.executed.insert(state_.executed.end(), state_.uncommitted.begin(), state_.uncommitted.end());
        state_.uncommitted.clear();
    }
    void rollback() override
    {
        if (autoCommit_)
            return;
        state_.transactionLog.push_back("rollback " + std::to_string(state_.uncommitted.size()));
        state_.uncommitted.clear();
    }
    std::vector<platform::SchemaTable> tables() override
    {
        if (!open_)
            throw platform::ServerError("the connection is not open.");
        return state_.tables;
    }
    void close() override
    {
        if (open_)
            ++state_.closes;
        open_ = false;
        state_.uncommitted.clear();
        autoCommit_ = true;
    }

private:
    FakeServerState& state_;
    bool open_ = false;
    bool autoCommit_ = true;
};

struct FakeServerFactory : platform::ServerConnectionFactory {
    FakeServerState state;
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<FakeServerConnection>(state);
    }
};

// Tables held in memory, opened by "SELECT * FROM [NAME]" (any letter case).
struct MemoryTable {
    std::vector<MemoryField> fields;
    std::vector<std::vector<paradox::Value>> rows;
};

class MemorySourceConnection : public platform::SourceConnection {
public:
    explicit MemorySourceConnection(std::map<std::string, MemoryTable>& tables) : tables_(tables) {}
    void setCursorLocation(int) override {}
    void open(const std::string&) override { open_ = true; }
    std::unique_ptr<platform::SourceRecordset> openRecordset(const std::string& query) override
    {
        if (!open_)
            throw std::runtime_error("The connection is not open.");
        const std::string prefix = "SELECT * FROM [";
        if (query.rfind(prefix, 0) != 0 || query.back() != ']')
            throw std::runtime_error("Not a table query: " + query);
        const std::string name = query.substr(prefix.size(), query.size() - prefix.size() - 1);
        for (auto& [key, table] : tables_) {
            if (key == name)
                return std::make_unique<MemoryRecordset>(table.fields, table.rows);
        }
        throw std::runtime_error("The table '" + name + "' does not exist.");
    }
    void close() override { open_ = false; }

private:
    std::map<std::string, MemoryTable>& tables_;
    bool open_ = false;
};

struct MemorySourceFactory : platform::SourceConnectionFactory {
    std::map<std::string, MemoryTable> tables;
    std::unique_ptr<platform::SourceConnection> create() override
    {
        return std::make_unique<MemorySourceConnection>(tables);
    }
};

}  // namespace testsupport
