// Statement texts and the value rules of the insert statement (A: numeric
// field; B: other field of a table with numeric fields; C: any field of a table
// without; N: NULL; D: date); under SQL Server column types each value is
// written for its column's type instead.
#include "conversion/sql_text.h"

#include "conversion/recognition.h"
#include "conversion/typed_value.h"
#include "conversion/value_text.h"
#include "platform/event_loop.h"

#include <cmath>

namespace conversion {

std::string DropStatement(Dialect dialect, std::string_view tableName)
{
    return "DROP TABLE " + QuotedName(dialect, tableName);
}

std::string SourceQuery(std::string_view tableName)
{
    return "SELECT * FROM " + QuotedName(Dialect::SqlServer, tableName);
}

void TableScript::start(std::string_view tableName)
{
    tableName_ = tableName;
    create_ = "CREATE TABLE " + QuotedName(dialect_, tableName) + '(';
    numeric_.clear();
    roles_.clear();
    names_.clear();
    columns_.clear();
}

const TypeRule& TableScript::addField(int index, std::string_view fieldName, std::int16_t typeCode,
                                      const FieldShape& shape, DatatypeList* records)
{
    if (records) {
        records->append(tableName_);
        records->setSubItem(1, fieldName);
    }
    const TypeRule& rule = ClassifyCode(typeCode);
    const auto at = static_cast<std::size_t>(index);
    if (at >= roles_.size()) {
        roles_.resize(at + 1, FieldRole::Text);
        names_.resize(at + 1);
        columns_.resize(at + 1);
    }
    names_[at] = fieldName;
    std::string_view sqlType;
    if (types_ == ColumnTypes::SqlServer) {
        columns_[at] = SqlServerColumn(typeCode, shape);
        sqlType = ColumnType(dialect_, columns_[at].type);
        roles_[at] = columns_[at].kind == TypedKind::Binary ? FieldRole::Binary : FieldRole::Text;
    } else {
        sqlType = ColumnType(dialect_, rule.sqlType);
        if (rule.numeric)
            numeric_.push_back(index);
        roles_[at] = rule.numeric ? FieldRole::Numeric : rule.binary ? FieldRole::Binary : FieldRole::Text;
    }
    create_ += QuotedName(dialect_, fieldName);
    create_ += ' ';
    create_ += sqlType;
    create_ += ',';
    if (records) {
        records->setSubItem(2, types_ == ColumnTypes::SqlServer ? TypedRecordName(typeCode, rule) : rule.paradoxType);
        records->setSubItem(3, sqlType);
    }
    return rule;
}

bool TableScript::hasIdentity() const
{
    for (const TypedColumn& c : columns_) {
        if (c.identity)
            return true;
    }
    return false;
}

int TableScript::keyFieldCount() const
{
    if (types_ != ColumnTypes::SqlServer || keyFields_ > fieldCount())
        return 0;
    return keyFields_ > 0 ? keyFields_ : 0;
}

std::vector<std::string> TableScript::keyStatements() const
{
    std::vector<KeyColumn> key;
    for (int f = 0; f < keyFieldCount(); ++f) {
        const TypedColumn& c = columns_[static_cast<std::size_t>(f)];
        key.push_back({names_[static_cast<std::size_t>(f)], c.type, c.identity, c.kind == TypedKind::Text, c.keyBytes});
    }
    return KeyStatements(dialect_, tableName_, key);
}

std::string InsertPrefix(const TableScript& table)
{
    std::string prefix = "INSERT INTO " + QuotedName(table.dialect(), table.tableName());
    if (table.columnTypes() == ColumnTypes::SqlServer && table.hasIdentity()) {
        for (int f = 0; f < table.fieldCount(); ++f) {
            prefix += f == 0 ? '(' : ',';
            prefix += QuotedName(table.dialect(), table.fieldName(f));
        }
        prefix += ')';
    }
    return prefix + " VALUES(";
}

void TableScript::finishCreate()
{
    if (!create_.empty())
        create_.pop_back();
    create_ += ");";
}

InsertBuilder::InsertBuilder(const TableScript& table, const RegionalSettings& settings,
                             platform::EventLoop& events)
    : table_(table),
      settings_(settings),
      events_(events),
      tableHasNumeric_(!table.numericFields().empty()),
      usualDateSeparators_(settings.dateSeparator == "/" && settings.timeSeparator == ":"
                           && settings.decimalSeparator != "/"),
      prefix_(InsertPrefix(table)),
      typed_(table.columnTypes() == ColumnTypes::SqlServer),
      keyFields_(table.keyFieldCount())
{
    statement_.reserve(256);
    value_.reserve(64);
}

void InsertBuilder::begin()
{
    statement_.assign(prefix_);
    blankKey_ = false;
}

const std::string& InsertBuilder::finish()
{
    if (blankKey_)
        ++blankKeyRecords_;
    statement_.resize(statement_.size() >= 2 ? statement_.size() - 2 : 0);
    statement_ += ')';
    return statement_;
}

void InsertBuilder::appendNull()
{
    // A NULL follows the preceding comma without a blank.
    if (statement_.size() > prefix_.size())
        statement_.pop_back();
    statement_ += "NULL, ";
}

// Quote doubling and the backslash continuation (see AppendQuotedText): the
// constant stays one constant, so its type and length limits are those of
// the unchanged text.
void InsertBuilder::appendQuoted(std::string_view v)
{
    statement_ += '\'';
    AppendQuotedText(v, statement_);
    statement_ += "', ";
}

// A number's commas (and a decimal separator other than the point) become points.
void InsertBuilder::appendNumber(std::string_view v)
{
    const std::string& sep = settings_.decimalSeparator;
    const bool otherSeparator = !sep.empty() && sep != "." && sep != ",";
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == ',') {
            statement_.push_back('.');
        } else if (otherSeparator && v.compare(i, sep.size(), sep) == 0) {
            statement_.push_back('.');
            i += sep.size() - 1;
        } else {
            statement_.push_back(v[i]);
        }
    }
}

void InsertBuilder::appendDateOrQuoted(std::string_view v)
{
    if (auto date = ReadAsDate(v, settings_)) {
        statement_ += '\'';
        AppendDateFormatted(*date, v.find(':') != std::string_view::npos, settings_, statement_);
        statement_ += "', ";
    } else {
        appendQuoted(v);
    }
}

// A binary field: NULL unless the user asked for byte data; then its bytes as
// a binary constant (a value of another kind: the bytes of its value text).
void InsertBuilder::appendBinary(int fieldIndex, const paradox::Value& value)
{
    if (!needsValue(fieldIndex) || value.isNull()) {
        appendNull();
        return;
    }
    if (value.type == paradox::ValueType::Bytes) {
        AppendBinary(table_.dialect(), value.text, statement_);
    } else {
        value_.clear();
        AppendValueText(value, settings_, value_);
        AppendBinary(table_.dialect(), value_, statement_);
    }
    statement_ += ", ";
}

// Typed values whose rule outcome is known without recognising their text:
// numbers in numeric fields, and dates and times with the usual separators.
// Each gives exactly what the rules give for its value text.
bool InsertBuilder::appendTyped(FieldRole role, const paradox::Value& value)
{
    using paradox::ValueType;
    switch (value.type) {
    case ValueType::Integer:
        if (role != FieldRole::Numeric)
            return false;
        AppendValueText(value, settings_, statement_);
        statement_ += ", ";
        return true;
    case ValueType::Double:
    case ValueType::Currency:
        if (role != FieldRole::Numeric || !std::isfinite(value.number))
            return false;
        AppendDouble(value.number, ".", statement_);
        statement_ += ", ";
        return true;
    case ValueType::Date:
    case ValueType::Timestamp:
        if (role != FieldRole::Text || !usualDateSeparators_ || value.date.year < 1
            || value.date.year > 9999 || value.milliseconds < 0
            || value.milliseconds >= 86'400'000)
            return false;
        statement_ += '\'';
        AppendValueText(value, settings_, statement_);
        statement_ += "', ";
        return true;
    case ValueType::Time:
        if (role != FieldRole::Text || !usualDateSeparators_ || value.milliseconds < 0
            || value.milliseconds >= 86'400'000)
            return false;
        statement_ += "'12/30/1899 ";
        AppendValueText(value, settings_, statement_);
        statement_ += "', ";
        return true;
    default:
        return false;
    }
}

// A value of a typed column: NULL when it is, or when the column's type cannot hold it.
void InsertBuilder::addToTypedColumn(int fieldIndex, const paradox::Value& value)
{
    const TypedKind kind = table_.kind(fieldIndex);
    const TypedOutcome outcome = needsValue(fieldIndex)
        ? AppendTypedValue(kind, value, table_.dialect(), statement_)
        : TypedOutcome::Null;
    if (outcome == TypedOutcome::Written) {
        statement_ += ", ";
        return;
    }
    if (outcome == TypedOutcome::OutOfRange)
        ++outOfRange_;
    if (fieldIndex < keyFields_ && !blankKey_) {
        blankKey_ = true;
        if (firstBlankKeyField_ < 0)
            firstBlankKeyField_ = fieldIndex;
    }
    appendNull();
}

void InsertBuilder::add(int fieldIndex, const paradox::Value& value)
{
    events_.yield();
    if (typed_) {
        addToTypedColumn(fieldIndex, value);
        return;
    }
    const FieldRole role = table_.role(fieldIndex);
    if (role == FieldRole::Binary) {
        appendBinary(fieldIndex, value);
        return;
    }
    if (fastPaths_ && appendTyped(role, value))
        return;
    value_.clear();
    AppendValueText(value, settings_, value_);
    if (value_.empty()) {
        appendNull();
        return;
    }

    if (role == FieldRole::Numeric) {
        // Rule A; a value that is no number is written as quoted text, never bare.
        if (ReadsAsNumber(value_, settings_)) {
            appendNumber(value_);
            statement_ += ", ";
        } else {
            appendQuoted(value_);
        }
    } else if (tableHasNumeric_) {
        // Rule B. A text holding a quote is neither number nor date, so the
        // recognitions may look at it before its quotes are doubled.
        appendDateOrQuoted(value_);
    } else {
        // Rule C.
        if (ReadsAsNumber(value_, settings_)) {
            for (char& c : value_) {
                if (c == ',')
                    c = '.';
            }
        }
        appendDateOrQuoted(value_);
    }
}

}  // namespace conversion
