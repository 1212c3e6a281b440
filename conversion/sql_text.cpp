// Statement texts and the value rules of the insert statement (A: numeric
// field; B: other field of a table with numeric fields; C: any field of a table
// without; N: NULL; D: date).
#include "conversion/sql_text.h"

#include "conversion/recognition.h"
#include "conversion/value_text.h"
#include "platform/event_loop.h"
#include "platform/source_connection.h"

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
      prefixLength_(0)
{
    statement_.reserve(256);
    value_.reserve(64);
}

const std::string& InsertBuilder::build(platform::SourceRecordset& records)
{
    begin();
    const int n = records.fieldCount();
    for (int f = 0; f < n; ++f)
        add(f, records.value(f));
    return finish();
}

void InsertBuilder::begin()
{
    statement_.clear();
    statement_ += "INSERT INTO [";
    for (char c : table_.tableName()) {
        statement_.push_back(c);
        if (c == ']')
            statement_.push_back(']');
    }
    statement_ += "] VALUES(";
    prefixLength_ = statement_.size();
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
    if (statement_.size() > prefixLength_)
        statement_.pop_back();
    statement_ += "NULL, ";
}

void InsertBuilder::appendQuoted(std::string_view v)
{
    statement_ += '\'';
    for (char c : v) {
        statement_.push_back(c);
        if (c == '\'')
            statement_.push_back('\'');
    }
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

void InsertBuilder::add(int fieldIndex, const paradox::Value& value)
{
    events_.yield();
    const FieldRole role = table_.role(fieldIndex);
    if (role == FieldRole::Binary) {
        appendNull();
        return;
    }
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
