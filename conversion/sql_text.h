// The exact SQL texts of a table: drop, source query, create and one insert
// per record, built by plain concatenation. Every name is quoted by the
// dialect (QuotedName).
#pragma once

#include "conversion/datatype.h"
#include "conversion/dialect.h"
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

std::string DropStatement(Dialect dialect, std::string_view tableName);  // DROP TABLE [T]
// SELECT * FROM [T], for the source connection, which reads SQL Server's
// quoting whatever the target.
std::string SourceQuery(std::string_view tableName);

enum class FieldRole : std::uint8_t { Text, Numeric, Binary };

// The create statement and the numeric-field list of one table, built field
// by field, in the column types and the dialect chosen.
class TableScript {
public:
    explicit TableScript(ColumnTypes types = ColumnTypes::Text, Dialect dialect = Dialect::SqlServer)
        : types_(types), dialect_(dialect)
    {
    }

    // Starts "CREATE TABLE [name](" and an empty numeric-field list.
    void start(std::string_view tableName);
    // The per-field step for field index i (ascending): appends the datatype
    // record (when a list is given), the column definition and, for a numeric
    // field, the index. The column's name is the field's without control
    // characters (WithoutControlCharacters). Returns the rule that decided
    // (under SQL Server column types, the rule still names the field's kind
    // in the record).
    const TypeRule& addField(int index, std::string_view fieldName, std::int16_t typeCode,
                             DatatypeList* records)
    {
        return addField(index, fieldName, typeCode, FieldShape{}, records);
    }
    const TypeRule& addField(int index, std::string_view fieldName, std::int16_t typeCode,
                             const FieldShape& shape, DatatypeList* records);
    // Removes the last character and appends ");".
    void finishCreate();

    const std::string& tableName() const { return tableName_; }
    const std::string& createStatement() const { return create_; }
    const std::vector<int>& numericFields() const { return numeric_; }
    int fieldCount() const { return static_cast<int>(roles_.size()); }
    FieldRole role(int index) const { return roles_.at(static_cast<std::size_t>(index)); }

    ColumnTypes columnTypes() const { return types_; }
    Dialect dialect() const { return dialect_; }
    // Under SQL Server column types: how a field's values are written.
    TypedKind kind(int index) const { return columns_.at(static_cast<std::size_t>(index)).kind; }
    const std::string& fieldName(int index) const { return names_.at(static_cast<std::size_t>(index)); }
    // Under SQL Server column types: the field's column as SQL Server spells it.
    const TypedColumn& column(int index) const { return columns_.at(static_cast<std::size_t>(index)); }
    // A column of type INT IDENTITY: its values are given with SET IDENTITY_INSERT ON.
    bool hasIdentity() const;

    // The table's primary key over its first `count` fields (SQL Server
    // column types only; 0 or more than the fields: no key).
    void setKeyFieldCount(int count) { keyFields_ = count; }
    int keyFieldCount() const;
    // The statements that add the key after the rows (none without a key).
    std::vector<std::string> keyStatements() const;

private:
    ColumnTypes types_;
    Dialect dialect_;
    std::string tableName_;
    std::string create_;
    std::vector<int> numeric_;
    std::vector<FieldRole> roles_;
    std::vector<std::string> names_;
    std::vector<TypedColumn> columns_;  // SQL Server column types: each field's column
    int keyFields_ = 0;
};

// "INSERT INTO [T] VALUES(", or "INSERT INTO [T]([A],[B]) VALUES(" with every
// field named, as a table with an identity column needs under SET
// IDENTITY_INSERT ON.
std::string InsertPrefix(const TableScript& table);

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
    // Under SQL Server column types: values written NULL because their
    // column's type cannot hold them, and records written with a key field
    // NULL, since the first begin.
    std::int64_t outOfRangeValues() const { return outOfRange_; }
    std::int64_t blankKeyRecords() const { return blankKeyRecords_; }
    // The key field found blank first, or -1.
    int firstBlankKeyField() const { return firstBlankKeyField_; }
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
    void addToTypedColumn(int fieldIndex, const paradox::Value& value);
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
    const std::string prefix_;  // INSERT INTO [T] VALUES( (with the column list where there is an identity)
    std::string value_;
    const bool typed_;
    const int keyFields_;
    bool blankKey_ = false;  // in the statement being built
    std::int64_t outOfRange_ = 0;
    std::int64_t blankKeyRecords_ = 0;
    int firstBlankKeyField_ = -1;
};

}  // namespace conversion
