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
#include <optional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

struct FakeServerState {
    std::vector<platform::SchemaTable> tables;
    std::vector<std::string> executed;     // statements that succeeded, once committed
    std::vector<std::string> openedWith;   // connection texts
    bool refuseLogin = false;
    std::string openError;  // not empty: the connection does not open, and the driver says this
    std::function<bool(const std::string&)> refuses;  // a statement the server rejects
    int connections = 0;
    int closes = 0;
    std::string dbmsName;  // what the driver says the database system is; empty: it does not say

    bool transactions = true;              // false: a driver without autocommit control
    std::function<bool()> refusesCommit;   // a commit the server fails; the transaction stays open
    std::function<bool()> losesCommit;     // a commit stored whose answer never comes: the connection is gone
    std::function<bool()> refusesRollback; // a rollback the driver fails; the transaction stays open
    bool refusalEndsTransaction = false;   // a refused statement rolls its transaction back
    // As SQLite's driver after such a rollback: it still believes in the
    // transaction, so its commit, rollback and switch to autocommit fail, and
    // its statements commit one by one.
    bool driverMissesTheEnd = false;
    // Calls of several statements, as SQL Server runs a batch: a refusal ends
    // its statement only, and the call goes on, unless it ended the
    // transaction (which ends the call too); the driver names the first
    // refused statement, unless it does not say (as FreeTDS when it is the first).
    bool driverHidesWhich = false;
    std::vector<std::size_t> calls;        // the statements of each execute call
    std::vector<std::string> uncommitted;  // the open transaction's statements
    // "off", "on" (autocommit), "commit N" and "rollback N" (N statements),
    // "... refused" for a switch, commit or rollback that failed, in order.
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
        if (!state_.openError.empty())
            throw platform::OpenError(state_.openError, false);
        open_ = true;
    }
    bool isOpen() const override { return open_; }
    std::string dbmsName() override { return state_.dbmsName; }
    void execute(const std::string& sql) override
    {
        if (!open_ || gone_)
            throw platform::ServerError("the connection is not open.");
        if (!autoCommit_ && !driverInTransaction_)
            driverInTransaction_ = serverInTransaction_ = true;
        if (state_.refuses && state_.refuses(sql)) {
            if (state_.refusalEndsTransaction && serverInTransaction_) {
                state_.uncommitted.clear();
                serverInTransaction_ = false;
                driverInTransaction_ = state_.driverMissesTheEnd;
            }
            throw platform::ServerError("[SQLSTATE 42000] refused: " + sql.substr(0, 30));
        }
        (serverInTransaction_ ? state_.uncommitted : state_.executed).push_back(sql);
    }
    void executeSeveral(std::span<const std::string_view> statements) override
    {
        state_.calls.push_back(statements.size());
        std::optional<std::size_t> refused;
        std::string said;
        for (std::size_t i = 0; i < statements.size(); ++i) {
            try {
                execute(std::string(statements[i]));
            } catch (const platform::ServerError& e) {
                if (!refused) {
                    refused = i;
                    said = e.driverText();
                }
                if (gone_ || (state_.refusalEndsTransaction && !autoCommit_))
                    break;
            }
        }
        if (refused)
            throw platform::RefusedInCall(said, state_.driverHidesWhich ? statements.size() : *refused);
    }
    // What the driver says; in doubt after a failed switch, commit or rollback,
    // until a switch to autocommit, a commit or a rollback succeeds.
    AutoCommit autoCommit() override
    {
        if (doubt_ || gone_)
            return AutoCommit::Unknown;
        return autoCommit_ ? AutoCommit::On : AutoCommit::Off;
    }
    bool setAutoCommit(bool on) override
    {
        if (!on && !state_.transactions)
            return false;
        fail(gone_, on ? "on refused" : "off refused");
        if (on != autoCommit_)
            state_.transactionLog.push_back(on ? "on" : "off");
        autoCommit_ = on;
        if (on && driverInTransaction_)
            end(true);
        if (on)
            doubt_ = false;
        return true;
    }
    void commit() override
    {
        if (!autoCommit_)
            end(true);
    }
    void rollback() override
    {
        if (!autoCommit_)
            end(false);
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
        driverInTransaction_ = serverInTransaction_ = doubt_ = false;
    }

private:
    void fail(bool failed, const std::string& what)
    {
        if (!failed)
            return;
        doubt_ = true;
        state_.transactionLog.push_back(what);
        throw platform::ServerError("[SQLSTATE 08S01] " + what);
    }
    void end(bool commit)
    {
        const std::string name = commit ? "commit" : "rollback";
        fail(gone_, name + " refused");
        if (!driverInTransaction_) {
            doubt_ = false;
            return;  // nothing open
        }
        fail(!serverInTransaction_, name + " refused");  // "no transaction is active"
        if (commit && state_.refusesCommit && state_.refusesCommit())
            fail(true, "commit refused");
        if (!commit && state_.refusesRollback && state_.refusesRollback())
            fail(true, "rollback refused");
        doubt_ = false;
        state_.transactionLog.push_back(name + " " + std::to_string(state_.uncommitted.size()));
        if (commit)
            state_.executed.insert(state_.executed.end(), state_.uncommitted.begin(), state_.uncommitted.end());
        state_.uncommitted.clear();
        driverInTransaction_ = serverInTransaction_ = false;
        if (commit && state_.losesCommit && state_.losesCommit()) {
            gone_ = true;
            fail(true, "commit lost");
        }
    }

    FakeServerState& state_;
    bool open_ = false;
    bool autoCommit_ = true;            // what the driver says
    bool driverInTransaction_ = false;  // what the driver believes
    bool serverInTransaction_ = false;  // what is so
    bool doubt_ = false;
    bool gone_ = false;
};

struct FakeServerFactory : platform::ServerConnectionFactory {
    FakeServerState state;
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<FakeServerConnection>(state);
    }
};

// Tables held in memory, opened by "SELECT * FROM [NAME]" (any letter case),
// or by the file the folder walk found them in.
struct MemoryTable {
    std::vector<MemoryField> fields;
    std::vector<std::vector<paradox::Value>> rows;
    std::optional<std::string> damage = std::nullopt;  // what reading found wrong, told at the end
    int keyFields = 0;
};

class MemorySourceConnection : public platform::SourceConnection {
public:
    explicit MemorySourceConnection(std::map<std::string, MemoryTable>& tables,
                                    std::map<std::string, MemoryTable>* files = nullptr)
        : tables_(tables), files_(files)
    {
    }
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
                return std::make_unique<MemoryRecordset>(table.fields, table.rows, table.damage, table.keyFields);
        }
        throw std::runtime_error("The table '" + name + "' does not exist.");
    }
    // A file of its own when one is held for that path; otherwise the table of the name.
    std::unique_ptr<platform::SourceRecordset> openRecordsetFrom(const std::string& query,
                                                                 const std::string& file) override
    {
        if (files_ && files_->count(file)) {
            const MemoryTable& table = files_->at(file);
            return std::make_unique<MemoryRecordset>(table.fields, table.rows, table.damage, table.keyFields);
        }
        return openRecordset(query);
    }
    void close() override { open_ = false; }

private:
    std::map<std::string, MemoryTable>& tables_;
    std::map<std::string, MemoryTable>* files_;
    bool open_ = false;
};

struct MemorySourceFactory : platform::SourceConnectionFactory {
    std::map<std::string, MemoryTable> tables;  // by name
    std::map<std::string, MemoryTable> files;   // by path, read in preference to the name
    std::unique_ptr<platform::SourceConnection> create() override
    {
        return std::make_unique<MemorySourceConnection>(tables, &files);
    }
};

}  // namespace testsupport
