// The exact SQL texts of a table: drop, source query, create and one insert
// per record, built by plain concatenation. Names go between square brackets
// with every "]" written "]]", SQL Server's own quoting.
#pragma once

#include "conversion/datatype.h"
#include "conversion/preview_list.h"
#include "conversion/regional_settings.h"
#include "paradox/value.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class EventLoop;
}  // namespace platform

namespace conversion {

// The name with every "]" doubled, for use between square brackets.
std::string QuoteName(std::string_view name);

std::string DropStatement(std::string_view tableName);   // DROP TABLE [T]
std::string SourceQuery(std::string_view tableName);     // SELECT * FROM [T]

enum class FieldRole : std::uint8_t { Text, Numeric, Binary };

// The create statement and the numeric-field list of one table, built field by field.
class TableScript {
public:
    // Starts "CREATE TABLE [name](" and an empty numeric-field list.
    void start(std::string_view tableName);
    // The per-field step for field index i (ascending): appends the datatype
    // record (when a list is given), the column definition and, for a numeric
    // field, the index. Returns the rule that decided.
    const TypeRule& addField(int index, std::string_view fieldName, std::int16_t typeCode,
                             DatatypeList* records);
    // Removes the last character and appends ");".
    void finishCreate();

    const std::string& tableName() const { return tableName_; }
    const std::string& createStatement() const { return create_; }
    const std::vector<int>& numericFields() const { return numeric_; }
    int fieldCount() const { return static_cast<int>(roles_.size()); }
    FieldRole role(int index) const { return roles_.at(static_cast<std::size_t>(index)); }

private:
    std::string tableName_;
    std::string create_;
    std::vector<int> numeric_;
    std::vector<FieldRole> roles_;
};

// Builds the insert statements of one table into one reused buffer.
class InsertBuilder {
public:
    InsertBuilder(const TableScript& table, const RegionalSettings& settings,
                  platform::EventLoop& events);

    // One statement: begin, add each field's value in field order, finish. The
    // statement stays valid until the next begin.
    void begin();
    void add(int fieldIndex, const paradox::Value& value);
    const std::string& finish();

    // Typed values take shortcuts with the same result; tests turn them off to compare.
    void setFastPaths(bool on) { fastPaths_ = on; }
    // Binary fields written as binary constants rather than NULL (off unless the user asks).
    void setTransferBinary(bool on) { transferBinary_ = on; }
    // Whether the field's value goes into the statement: the one place that
    // decides the binary choice. A field that needs none is written NULL
    // whatever is added for it, so callers need not read it.
    bool needsValue(int fieldIndex) const
    {
        return transferBinary_ || table_.role(fieldIndex) != FieldRole::Binary;
    }

private:
    bool appendTyped(FieldRole role, const paradox::Value& value);
    void appendNull();
    void appendQuoted(std::string_view v);
    void appendNumber(std::string_view v);
    void appendDateOrQuoted(std::string_view v);
    void appendBinary(int fieldIndex, const paradox::Value& value);

    const TableScript& table_;
    const RegionalSettings settings_;  // a copy: callers may pass a temporary
    platform::EventLoop& events_;
    bool tableHasNumeric_;
    bool usualDateSeparators_;
    bool fastPaths_ = true;
    bool transferBinary_ = false;
    std::string statement_;
    const std::string prefix_;  // INSERT INTO [T] VALUES(
    std::string value_;
};

}  // namespace conversion
