// Statement texts and the value rules of the insert statement (A: numeric
// field; B: other field of a table with numeric fields; C: any field of a table
// without; N: NULL; D: date).
#include "conversion/sql_text.h"

#include "conversion/binary_constant.h"
#include "conversion/recognition.h"
#include "conversion/value_text.h"
#include "platform/event_loop.h"

#include <cmath>

namespace conversion {

std::string QuoteName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        out.push_back(c);
        if (c == ']')
            out.push_back(']');
    }
    return out;
}

std::string DropStatement(std::string_view tableName)
{
    return "DROP TABLE [" + QuoteName(tableName) + "]";
}

std::string SourceQuery(std::string_view tableName)
{
    return "SELECT * FROM [" + QuoteName(tableName) + "]";
}

void TableScript::start(std::string_view tableName)
{
    tableName_ = tableName;
    create_ = "CREATE TABLE [" + QuoteName(tableName) + "](";
    numeric_.clear();
    roles_.clear();
}

const TypeRule& TableScript::addField(int index, std::string_view fieldName,
                                      std::int16_t typeCode, DatatypeList* records)
{
    if (records) {
        records->append(tableName_);
        records->setSubItem(1, fieldName);
    }
    const TypeRule& rule = ClassifyCode(typeCode);
    create_ += '[';
    create_ += QuoteName(fieldName);
    create_ += rule.fragment;
    if (records) {
        records->setSubItem(2, rule.paradoxType);
        records->setSubItem(3, rule.sqlType);
    }
    if (rule.numeric)
        numeric_.push_back(index);
    if (static_cast<std::size_t>(index) >= roles_.size())
        roles_.resize(static_cast<std::size_t>(index) + 1, FieldRole::Text);
    roles_[static_cast<std::size_t>(index)] =
        rule.numeric ? FieldRole::Numeric : rule.binary ? FieldRole::Binary : FieldRole::Text;
    return rule;
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
      prefix_("INSERT INTO [" + QuoteName(table.tableName()) + "] VALUES(")
{
    statement_.reserve(256);
    value_.reserve(64);
}

void InsertBuilder::begin()
{
    statement_.assign(prefix_);
}

const std::string& InsertBuilder::finish()
{
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

// SQL Server drops a backslash that directly precedes a line break (LF or
// CR LF) inside a string constant, together with the break. Such a backslash
// is written followed by one extra backslash and break of the same kind, which
// SQL Server drops in turn: "C:\DATA\" CR LF "next" is sent as
// 'C:\DATA\\' CR LF CR LF 'next' and stored as it was. The constant stays one
// constant, so its type and length limits are those of the unchanged text.
void InsertBuilder::appendQuoted(std::string_view v)
{
    statement_ += '\'';
    for (auto special = v.find_first_of("'\\"); special != std::string_view::npos;
         special = v.find_first_of("'\\")) {
        statement_.append(v.data(), special + 1);
        v.remove_prefix(special + 1);
        if (statement_.back() == '\'') {
            statement_ += '\'';
            continue;
        }
        const std::size_t lineBreak = v.starts_with('\n') ? 1 : v.starts_with("\r\n") ? 2 : 0;
        if (lineBreak > 0) {
            statement_ += '\\';
            statement_.append(v.data(), lineBreak);
        }
    }
    statement_ += v;
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
        AppendBinaryConstant(value.text, statement_);
    } else {
        value_.clear();
        AppendValueText(value, settings_, value_);
        AppendBinaryConstant(value_, statement_);
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

void InsertBuilder::add(int fieldIndex, const paradox::Value& value)
{
    events_.yield();
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
