// The SQLite stand-in for SQL Server, made to take what the program writes for
// binary fields, for tests and benchmarks only: VARBINARY(MAX) columns become
// BLOB columns, and binary constants (0xABCD, the empty 0x) become SQLite's
// X'ABCD' and X''. Also the splitter of an insert statement into its values.
#pragma once

#include "platform/odbc/odbc_server_connection.h"
#include "platform/server_connection.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// The value items of "INSERT INTO [T] VALUES(a, 'b',NULL)" as written (blanks
// before an item left out; quotes kept), or nothing when the statement is not an
// insert or a literal is left open.
inline std::optional<std::vector<std::string_view>> InsertValueItems(std::string_view s)
{
    const std::string_view head = "INSERT INTO [";
    if (s.substr(0, head.size()) != head || s.empty() || s.back() != ')')
        return std::nullopt;
    std::size_t i = head.size();
    for (; i < s.size(); ++i) {  // the table name, "]]" standing for "]"
        if (s[i] == ']') {
            if (i + 1 < s.size() && s[i + 1] == ']')
                ++i;
            else
                break;
        }
    }
    const std::string_view values = "] VALUES(";
    if (s.substr(i, values.size()) != values)
        return std::nullopt;
    i += values.size();
    const std::size_t end = s.size() - 1;
    std::vector<std::string_view> items;
    while (i <= end) {
        while (i < end && s[i] == ' ')
            ++i;
        const std::size_t start = i;
        bool quoted = false;
        for (; i < end && (quoted || s[i] != ','); ++i) {
            if (s[i] == '\'') {
                if (quoted && i + 1 < end && s[i + 1] == '\'')
                    ++i;
                else
                    quoted = !quoted;
            }
        }
        if (quoted)
            return std::nullopt;
        items.push_back(s.substr(start, i - start));
        ++i;
    }
    return items;
}

// A statement as SQLite takes it (see above); other statements unchanged.
inline std::string ForSqlite(const std::string& statement)
{
    if (statement.rfind("CREATE TABLE ", 0) == 0) {
        std::string s = statement;
        const std::string from = " VARBINARY(MAX)";
        for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at))
            s.replace(at, from.size(), " BLOB");
        return s;
    }
    const auto items = InsertValueItems(statement);
    if (!items)
        return statement;
    bool binary = false;
    for (const auto& item : *items)
        binary = binary || item.substr(0, 2) == "0x";
    if (!binary)
        return statement;
    std::string s(statement, 0, statement.find(" VALUES(") + 8);
    for (std::size_t k = 0; k < items->size(); ++k) {
        const std::string_view item = (*items)[k];
        if (k > 0)
            s += ", ";
        if (item.substr(0, 2) == "0x") {
            s += "X'";
            s += item.substr(2);
            s += '\'';
        } else {
            s += item;
        }
    }
    return s + ')';
}

class SqliteStandIn final : public platform::ServerConnection {
public:
    explicit SqliteStandIn(std::unique_ptr<platform::ServerConnection> inner) : inner_(std::move(inner)) {}
    void setCursorLocation(int location) override { inner_->setCursorLocation(location); }
    void setCommandTimeout(int seconds) override { inner_->setCommandTimeout(seconds); }
    void setConnectionTimeout(int seconds) override { inner_->setConnectionTimeout(seconds); }
    void open(const std::string& connectionText) override { inner_->open(connectionText); }
    bool isOpen() const override { return inner_->isOpen(); }
    void execute(const std::string& statement) override { inner_->execute(ForSqlite(statement)); }
    std::vector<platform::SchemaTable> tables() override { return inner_->tables(); }
    void close() override { inner_->close(); }
    AutoCommit autoCommit() override { return inner_->autoCommit(); }
    bool setAutoCommit(bool on) override { return inner_->setAutoCommit(on); }
    void commit() override { inner_->commit(); }
    void rollback() override { inner_->rollback(); }

private:
    std::unique_ptr<platform::ServerConnection> inner_;
};

class SqliteStandInFactory final : public platform::ServerConnectionFactory {
public:
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<SqliteStandIn>(odbc_.create());
    }

private:
    platform::OdbcServerConnectionFactory odbc_;
};

}  // namespace testsupport
