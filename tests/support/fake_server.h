// A scripted SQL Server for engine and window tests: it records every
// statement, knows a list of tables, refuses what the test tells it to, and
// keeps a transaction's statements apart until they are committed.
// The end-to-end tests use the real ODBC path instead.
#pragma once

#include "core/unicode_case.h"
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

// What a query reads: its columns' names and its rows, each value a text or NULL (nothing).
struct FakeRows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;
};

class FakeServerRows : public platform::ServerRows {
public:
    explicit FakeServerRows(FakeRows rows) : rows_(std::move(rows)) {}
    int columnCount() const override { return static_cast<int>(rows_.columns.size()); }
    const std::string& columnName(int column) const override { return rows_.columns.at(static_cast<std::size_t>(column)); }
    int columnType(int) const override { return -9; }  // SQL_WVARCHAR
    bool next() override { return ++at_ < rows_.rows.size(); }
    platform::ServerValue value(int column) const override
    {
        const auto& v = rows_.rows.at(at_).at(static_cast<std::size_t>(column));
        return v ? platform::ServerValue{platform::ServerValue::Kind::Text, *v} : platform::ServerValue{};
    }

private:
    FakeRows rows_;
    std::size_t at_ = static_cast<std::size_t>(-1);
};

struct FakeServerState {
    std::vector<platform::SchemaTable> tables;
    std::map<std::string, std::int64_t> rows;  // the rows a table of `tables` holds, by its name as the run writes it
    std::vector<std::string> executed;     // statements that succeeded, once committed
    std::vector<std::string> openedWith;   // connection texts
    bool refuseLogin = false;
    std::string openError;  // not empty: the connection does not open, and the driver says this
    std::function<bool(const std::string&)> refuses;  // a statement the server rejects
    int connections = 0;
    int closes = 0;
    std::string dbmsName;  // what the driver says the database system is; empty: it does not say
    // The answer to each query (recorded in `queries`); unset: the server reads no rows.
    std::function<FakeRows(const std::string&)> answers;
    std::vector<std::string> queries;

    bool transactions = true;              // false: a driver without autocommit control
    std::function<bool()> refusesCommit;   // a commit the server fails; the transaction stays open
    // A commit stored whose answer never comes: the connection is gone. With
    // autocommit on, each statement stored is its own commit.
    std::function<bool()> losesCommit;
    std::function<bool(const std::string&)> losesConnectionAt;  // the connection dies as this statement is sent
    std::function<bool()> refusesRollback; // a rollback the driver fails; the transaction stays open
    bool refusalEndsTransaction = false;   // a refused statement rolls its transaction back
    // A driver that takes the switch to autocommit off and stays on (ODBC's
    // "option value changed"): it says so when asked, and each statement commits itself.
    bool keepsAutoCommit = false;
    // As SQLite's driver after such a rollback: it still believes in the
    // transaction, so its commit, rollback and switch to autocommit fail, and
    // its statements commit one by one.
    bool driverMissesTheEnd = false;
    // Calls of several statements, as SQL Server runs a batch: a refusal ends
    // its statement only, and the call goes on, unless it ended the
    // transaction (which ends the call too); the driver names the first
    // refused statement, none (as FreeTDS when it is the first), or the one
    // after it (a driver that counts wrong).
    enum class Names { TheRefused, None, TheNext } driverNames = Names::TheRefused;
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
    void open(const platform::SecretText& text) override
    {
        state_.openedWith.emplace_back(text.reveal());
        if (state_.refuseLogin)
            throw platform::ServerError("[SQLSTATE 28000] Login failed for user 'sa'.");
        if (!state_.openError.empty())
            throw platform::OpenError(state_.openError, false);
        open_ = true;
    }
    bool isOpen() const override { return open_; }
    bool lost() const override { return gone_; }
    std::string lostWith() const override { return gone_ ? "[SQLSTATE 08S01] Communication link failure" : ""; }
    std::string dbmsName() override { return state_.dbmsName; }
    void execute(const std::string& sql) override
    {
        if (gone_)
            throw platform::ConnectionLost("[SQLSTATE 08S01] Communication link failure");
        if (!open_)
            throw platform::ServerError("the connection is not open.");
        if (state_.losesConnectionAt && state_.losesConnectionAt(sql)) {
            gone_ = true;
            throw platform::ConnectionLost("[SQLSTATE 08S01] Communication link failure");
        }
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
        if (!serverInTransaction_ && state_.losesCommit && state_.losesCommit()) {
            gone_ = true;
            fail(true, "commit lost");
        }
    }
    void executeSeveral(std::span<const std::string_view> statements) override
    {
        state_.calls.push_back(statements.size());
        std::optional<std::size_t> refused;
        std::string said;
        for (std::size_t i = 0; i < statements.size(); ++i) {
            try {
                execute(std::string(statements[i]));
            } catch (const platform::ConnectionLost&) {
                throw;
            } catch (const platform::ServerError& e) {
                if (!refused) {
                    refused = i;
                    said = e.driverText();
                }
                if (gone_ || (state_.refusalEndsTransaction && !autoCommit_))
                    break;
            }
        }
        if (refused) {
            using enum FakeServerState::Names;
            const std::size_t named = state_.driverNames == None ? statements.size() : *refused;
            throw platform::RefusedInCall(said, named + (state_.driverNames == TheNext ? 1 : 0));
        }
    }
    // The answers of `answers`; without them, the run's counts as a server
    // would give them (see Count).
    std::unique_ptr<platform::ServerRows> query(const std::string& statement) override
    {
        if (gone_)
            throw platform::ConnectionLost("[SQLSTATE 08S01] Communication link failure");
        if (!open_)
            throw platform::ServerError("the connection is not open.");
        state_.queries.push_back(statement);
        if (state_.answers)
            return std::make_unique<FakeServerRows>(state_.answers(statement));
        return std::make_unique<FakeServerRows>(FakeRows{{""}, {{std::to_string(count(statement))}}});
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
        if (!on && state_.keepsAutoCommit)
            return true;
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
    // A table of `tables` (any letter case) exists; its rows are those it held
    // before (unless the run dropped it) and the inserts into it stored since.
    std::int64_t count(const std::string& query) const
    {
        const auto quoted = query.find('\'');
        if (query.find("sys.tables") != std::string::npos || query.find("sqlite_master") != std::string::npos) {
            const std::string name = query.substr(quoted + 1, query.rfind('\'') - quoted - 1);
            return std::ranges::any_of(state_.tables, [&](const auto& t) { return core::EqualsIgnoringCase(t.name, name); });
        }
        const std::string table = query.substr(query.find('['));
        const auto held = state_.rows.find(table.substr(1, table.size() - 2));
        std::int64_t n = held == state_.rows.end() ? 0 : held->second;
        const std::string insert = "INSERT INTO " + table;
        for (const std::string& s : state_.executed) {
            if (s == "DROP TABLE " + table)
                n = 0;
            n += s.starts_with(insert) && s.size() > insert.size() && (s[insert.size()] == ' ' || s[insert.size()] == '(');
        }
        return n;
    }
    void fail(bool failed, const std::string& what)
    {
        if (!failed)
            return;
        doubt_ = true;
        state_.transactionLog.push_back(what);
        if (gone_)
            throw platform::ConnectionLost("[SQLSTATE 08S01] " + what);
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
    paradox::TableRules rules = {};
};

inline std::unique_ptr<platform::SourceRecordset> OpenMemoryTable(const MemoryTable& table)
{
    auto records = std::make_unique<MemoryRecordset>(table.fields, table.rows, table.damage, table.keyFields);
    records->tableRules = table.rules;
    return records;
}

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
                return OpenMemoryTable(table);
        }
        throw std::runtime_error("The table '" + name + "' does not exist.");
    }
    // A file of its own when one is held for that path; otherwise the table of the name.
    std::unique_ptr<platform::SourceRecordset> openRecordsetFrom(const std::string& query,
                                                                 const std::string& file) override
    {
        if (files_ && files_->count(file)) {
            return OpenMemoryTable(files_->at(file));
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
