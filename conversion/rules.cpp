// A table's own rules: what its rows break, counted as they pass, and the
// statements that give the server the rest.
#include "conversion/rules.h"

#include "conversion/table_names.h"

#include "conversion/typed_value.h"
#include "conversion/value_text.h"
#include "core/unicode_case.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

namespace conversion {

namespace {

// A value part of a key or reference that is NULL: such a row is not checked.
constexpr char kNullPart = '\x1E';
constexpr char kPartSeparator = '\x1F';

std::string Records(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

std::string Joined(const std::vector<std::string>& names, const char* separator = ", ")
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : separator) + n;
    return out;
}

int Sign(long double d)
{
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

long double Number(const paradox::Value& v)
{
    if (v.type == paradox::ValueType::Integer)
        return static_cast<long double>(v.integer);
    if (v.type == paradox::ValueType::Bcd)
        return std::strtold(std::string(v.text).c_str(), nullptr);
    return static_cast<long double>(v.number);
}

// The order of two values of one field; nothing when they cannot be compared.
std::optional<int> Compare(const paradox::Value& a, const paradox::Value& b)
{
    using paradox::ValueType;
    auto numeric = [](ValueType t) {
        return t == ValueType::Integer || t == ValueType::Double || t == ValueType::Currency || t == ValueType::Bcd;
    };
    if (numeric(a.type) && numeric(b.type))
        return Sign(Number(a) - Number(b));
    if (a.type != b.type)
        return std::nullopt;
    const auto days = [](const paradox::Value& v) { return paradox::DaysFromCivil(v.date); };
    switch (a.type) {
    case ValueType::Text: return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
    case ValueType::Boolean: return static_cast<int>(a.boolean) - static_cast<int>(b.boolean);
    case ValueType::Date: return Sign(static_cast<long double>(days(a) - days(b)));
    case ValueType::Time: return Sign(static_cast<long double>(a.milliseconds - b.milliseconds));
    case ValueType::Timestamp:
        return days(a) != days(b) ? Sign(static_cast<long double>(days(a) - days(b)))
                                  : Sign(static_cast<long double>(a.milliseconds - b.milliseconds));
    default: return std::nullopt;
    }
}

bool Blank(const paradox::Value& v)
{
    return v.isNull() || (v.type == paradox::ValueType::Text && v.text.empty());
}

}  // namespace


RulePlan::RulePlan(const TableScript& script, paradox::TableRules rules, bool referenced)
    : script_(script), rules_(std::move(rules)), table_(script.tableName()), keepKeys_(referenced)
{
    const int keys = script_.keyFieldCount();
    key_.table = table_;
    for (int f = 0; f < keys; ++f) {
        watched_[f] += keepKeys_ ? 1 : 0;
        key_.fields.push_back(script_.fieldName(f));
        key_.types.push_back(script_.column(f).type);
    }
    for (const paradox::CheckRule& c : rules_.checks) {
        if (c.required || c.minimum || c.maximum)
            ++watched_[c.field];
        if (!c.lookupTable.empty())
            addForeignKey(script_.fieldName(c.field), "the table lookup of " + table_ + "." + script_.fieldName(c.field),
                          {c.field}, {0}, c.lookupTable, false, true);
    }
    for (const paradox::Reference& r : rules_.references)
        addForeignKey(r.name, "the reference " + r.name + " of " + table_, r.fields, r.parentFields, r.parentTable,
                      r.cascade, false);
}

void RulePlan::addForeignKey(const std::string& name, const std::string& rule, std::vector<int> fields,
                             std::vector<int> parentFields, const std::string& parent, bool cascade, bool lookup)
{
    ForeignKeyRequest& fk = foreignKeys_.emplace_back();
    fk.child = table_;
    fk.constraint = ServerObjectName("FK_" + table_ + "_" + name);
    fk.rule = rule;
    for (int f : fields) {
        fk.fields.push_back(script_.fieldName(f));
        fk.types.push_back(script_.column(f).type);
        ++watched_[f];
    }
    fk.parentFile = parent;
    fk.parentFields = std::move(parentFields);
    fk.cascade = cascade;
    fk.lookup = lookup;
    foreignKeyFields_.push_back(std::move(fields));
}

std::string RulePlan::valueText(int field, const paradox::Value& value) const
{
    std::string out;
    if (AppendTypedValue(script_.kind(field), value, Dialect::SqlServer, out) != TypedOutcome::Written)
        return std::string(1, kNullPart);
    // The server's usual collation compares texts without letter case.
    return script_.kind(field) == TypedKind::Text ? core::LowerCase(out) : out;
}

void RulePlan::observe(int field, const paradox::Value& value)
{
    if (!watches(field))
        return;
    tuplePart_[field] = valueText(field, value);
    for (const paradox::CheckRule& c : rules_.checks) {
        if (c.field != field)
            continue;
        if (c.required && Blank(value))
            ++blank_[field];
        if (value.isNull())
            continue;
        const bool below = c.minimum && Compare(value, c.minimum->get()).value_or(0) < 0;
        const bool above = c.maximum && Compare(value, c.maximum->get()).value_or(0) > 0;
        if (below || above)
            ++outside_[field];
    }
}

void RulePlan::endRecord()
{
    auto tuple = [this](const std::vector<int>& fields) -> std::optional<std::string> {
        std::string t;
        for (int f : fields) {
            const std::string& part = tuplePart_[f];
            if (part.size() == 1 && part[0] == kNullPart)
                return std::nullopt;
            t += part + kPartSeparator;
        }
        return t;
    };
    if (keepKeys_ && !key_.fields.empty()) {
        std::vector<int> keyFields(key_.fields.size());
        for (std::size_t f = 0; f < keyFields.size(); ++f)
            keyFields[f] = static_cast<int>(f);
        if (const auto t = tuple(keyFields))
            key_.values.insert(*t);
    }
    for (std::size_t i = 0; i < foreignKeys_.size(); ++i) {
        if (const auto t = tuple(foreignKeyFields_[i]))
            ++foreignKeys_[i].rows[*t];
    }
    tuplePart_.clear();
}

std::vector<ForeignKeyRequest> RulePlan::takeForeignKeys()
{
    return std::move(foreignKeys_);
}

TableKey RulePlan::takeKey(bool made)
{
    key_.made = made && !key_.fields.empty();
    return std::move(key_);
}

std::string RulePlan::rangeText(const paradox::CheckRule& check) const
{
    std::string text;
    if (check.minimum)
        text += "minimum " + ValueText(check.minimum->get(), RegionalSettings{});
    if (check.maximum)
        text += std::string(text.empty() ? "" : ", ") + "maximum " + ValueText(check.maximum->get(), RegionalSettings{});
    return text;
}

void RulePlan::describe(DatatypeList& list) const
{
    auto row = [&](const std::string& what, const std::string& paradox, const std::string& server) {
        list.append(table_);
        list.setSubItem(1, what);
        list.setSubItem(2, paradox);
        list.setSubItem(3, server);
    };
    for (const paradox::SecondaryIndex& x : rules_.indexes) {
        std::vector<std::string> fields;
        for (const paradox::IndexField& f : x.fields)
            fields.push_back(script_.fieldName(f.field) + (f.descending ? " descending" : ""));
        row("index " + (x.name.empty() ? fields.front() : x.name),
            Joined(fields) + (x.caseInsensitive ? ", without letter case" : ", with letter case"),
            x.unique ? "UNIQUE INDEX" : "INDEX");
    }
    for (const paradox::CheckRule& c : rules_.checks) {
        const std::string& field = script_.fieldName(c.field);
        if (c.required)
            row(field, "required", "NOT NULL");
        if (c.defaultValue)
            row(field, "default " + ValueText(c.defaultValue->get(), RegionalSettings{}), "DEFAULT");
        if (c.minimum || c.maximum)
            row(field, rangeText(c), "CHECK");
        if (!c.picture.empty())
            row(field, "picture " + c.picture, "not enforced by the server");
        if (!c.lookupTable.empty())
            row(field, "table lookup " + c.lookupTable, "FOREIGN KEY");
    }
    for (const paradox::Reference& r : rules_.references) {
        std::vector<std::string> fields;
        for (int f : r.fields)
            fields.push_back(script_.fieldName(f));
        row("reference " + r.name, Joined(fields) + " in " + r.parentTable + (r.cascade ? ", updates cascade" : ", updates prohibited"),
            "FOREIGN KEY");
    }
    for (const paradox::RuleFileProblem& p : rules_.problems)
        row(p.file, p.reason, "not read");
}

std::vector<RuleStatement> RulePlan::statements(RuleFindings& findings) const
{
    std::vector<RuleStatement> out;
    for (const paradox::CheckRule& c : rules_.checks) {
        if (!c.picture.empty())
            findings.notes.push_back("The field " + script_.fieldName(c.field) + " of " + table_ + " has the picture " +
                                     c.picture + ", which the server does not enforce.");
    }
    if (script_.dialect() == Dialect::Sqlite) {
        // SQLite adds no constraint to a table that exists: only the indexes.
        bool constraints = false;
        for (const paradox::CheckRule& c : rules_.checks)
            constraints = constraints || c.required || c.defaultValue || c.minimum || c.maximum;
        if (constraints)
            findings.notes.push_back("SQLite cannot add NOT NULL, DEFAULT or CHECK to a table that exists: the "
                                     "required fields, defaults and ranges of " + table_ + " are left out.");
    } else {
        requiredStatements(out, findings);
        checkStatements(out, findings);
    }
    indexStatements(out, findings);
    return out;
}

void RulePlan::requiredStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const
{
    for (const paradox::CheckRule& c : rules_.checks) {
        const std::string& field = script_.fieldName(c.field);
        // Key fields are NOT NULL with the key, and an identity column always is.
        if (!c.required || c.field < script_.keyFieldCount() || script_.column(c.field).identity)
            continue;
        const auto blank = blank_.find(c.field);
        if (blank != blank_.end()) {
            findings.reports.push_back("The field " + field + " of " + table_ + " is required, but " +
                                       Records(blank->second) + (blank->second == 1 ? " holds" : " hold") +
                                       " no value there: its column stays "
                                       "nullable, so that no record is lost.");
            continue;
        }
        out.push_back({"ALTER TABLE " + QuotedName(script_.dialect(), table_) + " ALTER COLUMN " + QuotedName(script_.dialect(), field) + " " +
                           script_.column(c.field).type + " NOT NULL",
                       "the required field " + field + " of " + table_});
    }
}

void RulePlan::checkStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const
{
    const std::string table = QuotedName(script_.dialect(), table_);
    for (const paradox::CheckRule& c : rules_.checks) {
        const std::string& field = script_.fieldName(c.field);
        const TypedKind kind = script_.kind(c.field);
        std::string value;
        if (c.defaultValue && AppendTypedValue(kind, c.defaultValue->get(), Dialect::SqlServer, value) ==
                                  TypedOutcome::Written)
            out.push_back({"ALTER TABLE " + table + " ADD CONSTRAINT " + QuotedName(script_.dialect(), ServerObjectName("DF_" + table_ + "_" + field)) +
                               " DEFAULT " + value + " FOR " + QuotedName(script_.dialect(), field),
                           "the default of " + field + " of " + table_});
        if (!c.minimum && !c.maximum)
            continue;
        std::string condition;
        const std::optional<paradox::OwnedValue>* bounds[] = {&c.minimum, &c.maximum};
        const char* ops[] = {" >= ", " <= "};
        for (int b = 0; b < 2; ++b) {
            std::string constant;
            if (bounds[b]->has_value() &&
                AppendTypedValue(kind, (*bounds[b])->get(), Dialect::SqlServer, constant) == TypedOutcome::Written)
                condition += (condition.empty() ? "" : " AND ") + QuotedName(script_.dialect(), field) + ops[b] + constant;
        }
        if (condition.empty())
            continue;
        const std::string name = ServerObjectName("CK_" + table_ + "_" + field);
        const auto outside = outside_.find(c.field);
        const bool noCheck = outside != outside_.end();
        if (noCheck)
            findings.reports.push_back(Records(outside->second) + " of " + table_ +
                                       (outside->second == 1 ? " lies" : " lie") + " outside the " +
                                       rangeText(c) + " of " + field + ": the check " + name +
                                       " is made WITH NOCHECK, so that they stay; the server checks new and "
                                       "changed rows only.");
        out.push_back({"ALTER TABLE " + table + (noCheck ? " WITH NOCHECK" : "") + " ADD CONSTRAINT " +
                           QuotedName(script_.dialect(), name) + " CHECK (" + condition + ")",
                       "the range of " + field + " of " + table_});
    }
}

void RulePlan::indexStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const
{
    const bool sqlite = script_.dialect() == Dialect::Sqlite;
    std::set<std::string> names{core::LowerCase(KeyName(table_))};
    for (const paradox::SecondaryIndex& x : rules_.indexes) {
        std::string name = x.name.empty() ? script_.fieldName(x.fields.front().field) : x.name;
        // Index names are the table's own on SQL Server, the database's on SQLite.
        if (sqlite)
            name = table_ + "_" + name;
        name = ServerObjectName(name);
        for (int n = 2; !names.insert(core::LowerCase(name)).second; ++n)
            name = ServerObjectName((x.name.empty() ? script_.fieldName(x.fields.front().field) : x.name) + "_" +
                                    std::to_string(n));
        std::string columns;
        bool text = false;
        for (const paradox::IndexField& f : x.fields) {
            const bool isText = script_.kind(f.field) == TypedKind::Text;
            text = text || isText;
            columns += (columns.empty() ? "" : ",") + QuotedName(script_.dialect(), script_.fieldName(f.field)) +
                       (sqlite && isText && x.caseInsensitive ? " COLLATE NOCASE" : "") + (f.descending ? " DESC" : "");
        }
        if (!sqlite && text && !x.caseInsensitive)
            findings.notes.push_back("The index " + name + " of " + table_ + " tells letter case apart in Paradox; "
                                     "the server's collation decides (SQL Server's usual one does not).");
        out.push_back({std::string("CREATE ") + (x.unique ? "UNIQUE " : "") + "INDEX " + QuotedName(script_.dialect(), name) + " ON " +
                           QuotedName(script_.dialect(), table_) + "(" + columns + ")",
                       "the index " + name + " of " + table_});
    }
}

}  // namespace conversion
