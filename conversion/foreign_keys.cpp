// The run's foreign keys: each checked against its parent as the run made it.
#include "conversion/foreign_keys.h"

#include "conversion/sql_text.h"
#include "conversion/table_names.h"
#include "conversion/table_writer.h"
#include "core/error_report.h"
#include "core/main_form.h"
#include "core/unicode_case.h"
#include "sources/paradox_module.h"

#include <algorithm>
#include <set>

namespace conversion {

namespace {

// The Paradox name of a table a rule refers to by its file (a path the rule
// file keeps, perhaps of another machine).
std::string ParentTableName(const std::string& file)
{
    return Paradox::TableNameOf(file.substr(file.find_last_of("\\/:") + 1));
}

// A column type without what makes the column count by itself.
std::string BaseType(const std::string& type)
{
    const auto identity = type.find(" IDENTITY");
    return identity == std::string::npos ? type : type.substr(0, identity);
}

std::vector<std::string> Parts(const std::string& tuple)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : tuple) {
        if (c == '\x1F') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

std::string ColumnList(Dialect dialect, const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ",") + QuotedName(dialect, n);
    return out;
}

}  // namespace

void RunForeignKeys::addTable(TableKey key, std::vector<ForeignKeyRequest> requests)
{
    const std::string name = key.table;
    keys_[name] = std::move(key);
    for (ForeignKeyRequest& r : requests)
        requests_.push_back(std::move(r));
}

std::optional<std::string> RunForeignKeys::whyNot(const ForeignKeyRequest& fk, const TableKey* parent,
                                                  const std::string& parentName) const
{
    if (!parent)
        return "its parent " + parentName + " is not among the tables this run converted";
    if (!parent->made)
        return parentName + " has no primary key";
    std::vector<int> order = fk.parentFields;
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order.size() != parent->fields.size() || order[i] != static_cast<int>(i))
            return fk.lookup ? "the key of " + parentName + " is not exactly its first field"
                             : "the fields it names in " + parentName + " are not that table's primary key";
    }
    for (std::size_t i = 0; i < fk.fields.size(); ++i) {
        const auto p = static_cast<std::size_t>(fk.parentFields[i]);
        if (BaseType(fk.types[i]) != BaseType(parent->types[p]))
            return "its column " + fk.fields[i] + " is " + BaseType(fk.types[i]) + " and " + parentName + "." +
                   parent->fields[p] + " is " + BaseType(parent->types[p]);
    }
    return std::nullopt;
}

std::int64_t RunForeignKeys::rowsWithoutParent(const ForeignKeyRequest& fk, const TableKey& parent) const
{
    std::int64_t rows = 0;
    for (const auto& [tuple, count] : fk.rows) {
        const std::vector<std::string> parts = Parts(tuple);
        std::vector<std::string> keyOrder(parts.size());
        for (std::size_t i = 0; i < parts.size() && i < fk.parentFields.size(); ++i)
            keyOrder[static_cast<std::size_t>(fk.parentFields[i])] = parts[i];
        std::string key;
        for (const std::string& p : keyOrder)
            key += p + '\x1F';
        if (parent.values.count(key) == 0)
            rows += count;
    }
    return rows;
}

// SQL Server allows one path of cascading updates between two tables, and no cycle.
bool RunForeignKeys::secondCascadePath(const std::string& parent, const std::string& child) const
{
    auto reach = [this](const std::string& from) {
        std::set<std::string> seen{from};
        std::vector<std::string> todo{from};
        while (!todo.empty()) {
            const std::string t = todo.back();
            todo.pop_back();
            const auto edges = cascades_.find(t);
            if (edges == cascades_.end())
                continue;
            for (const std::string& c : edges->second) {
                if (seen.insert(c).second)
                    todo.push_back(c);
            }
        }
        return seen;
    };
    if (parent == child || reach(child).count(parent) != 0)
        return true;
    const std::set<std::string> below = reach(child);
    for (const auto& [table, edges] : cascades_) {
        const std::set<std::string> from = reach(table);
        if (from.count(parent) == 0)
            continue;
        for (const std::string& b : below) {
            if (from.count(b) != 0)
                return true;
        }
    }
    return false;
}

void RunForeignKeys::nameTables(const std::vector<std::string>& paradoxNames,
                                const std::vector<ServerTableName>& serverNames)
{
    for (std::size_t i = 0; i < paradoxNames.size() && i < serverNames.size(); ++i)
        serverNames_.emplace(core::LowerCase(paradoxNames[i]), serverNames[i].name);
}

std::string RunForeignKeys::serverName(const std::string& paradoxName) const
{
    const auto at = serverNames_.find(core::LowerCase(paradoxName));
    return at == serverNames_.end() ? paradoxName : at->second;
}

std::vector<ForeignKeyStatement> RunForeignKeys::statements(Dialect dialect,
                                                            std::map<std::string, RuleFindings>& findings)
{
    std::vector<ForeignKeyStatement> out;
    std::set<std::string> names;
    for (const ForeignKeyRequest& fk : requests_) {
        RuleFindings& found = findings[fk.child];
        if (dialect == Dialect::Sqlite) {
            found.notes.push_back("SQLite cannot add a foreign key to a table that exists: " + fk.rule +
                                  " is left out.");
            continue;
        }
        const std::string parentName =
            serverName(ParentTableName(fk.parentFile));
        const auto at = keys_.find(parentName);
        const TableKey* parent = at == keys_.end() ? nullptr : &at->second;
        if (const auto why = whyNot(fk, parent, parentName)) {
            found.reports.push_back("The foreign key " + fk.constraint + " (" + fk.rule + ") is left out: " + *why +
                                    ".");
            continue;
        }
        bool cascade = fk.cascade;
        if (cascade && secondCascadePath(parentName, fk.child)) {
            cascade = false;
            found.reports.push_back("The foreign key " + fk.constraint + " (" + fk.rule + ") is made ON UPDATE NO "
                                    "ACTION, not CASCADE: SQL Server allows only one path of cascading updates "
                                    "between two tables, and one is made already.");
        }
        if (cascade)
            cascades_[parentName].push_back(fk.child);
        const std::int64_t orphans = rowsWithoutParent(fk, *parent);
        if (orphans > 0)
            found.reports.push_back(std::to_string(orphans) + (orphans == 1 ? " record" : " records") + " of " +
                                    fk.child + (orphans == 1 ? " has" : " have") + " no parent in " + parentName + ": the foreign key " +
                                    fk.constraint + " is made WITH NOCHECK, so that they stay.");
        std::string name = fk.constraint;
        for (int n = 2; !names.insert(core::LowerCase(name)).second; ++n)
            name = ServerObjectName(fk.constraint + "_" + std::to_string(n));
        std::vector<std::string> parentColumns;
        for (int p : fk.parentFields)
            parentColumns.push_back(parent->fields[static_cast<std::size_t>(p)]);
        out.push_back({fk.child,
                       {"ALTER TABLE " + QuotedName(dialect, fk.child) + (orphans > 0 ? " WITH NOCHECK" : "") +
                            " ADD CONSTRAINT " + QuotedName(dialect, name) + " FOREIGN KEY (" + ColumnList(dialect, fk.fields) +
                            ") REFERENCES " + QuotedName(dialect, parentName) + " (" + ColumnList(dialect, parentColumns) +
                            ") ON DELETE NO ACTION ON UPDATE " + (cascade ? "CASCADE" : "NO ACTION"),
                        "the foreign key " + name + " (" + fk.rule + ")"}});
    }
    requests_.clear();
    return out;
}

int MakeForeignKeys(const TableRoad& road, RunForeignKeys& keys, std::vector<TableResult>& tables)
{
    if (keys.empty())
        return 0;
    core::GuardedOperation& op = road.op;
    std::map<std::string, RuleFindings> findings;
    std::vector<ForeignKeyStatement> statements;
    op.step(437, [&] { statements = keys.statements(road.dialect, findings); });
    int counted = 0;
    // Reports and statements count to their child table, the last of that name.
    auto forTable = [&](const std::string& child, const auto& action) {
        const auto t = std::find_if(tables.rbegin(), tables.rend(),
                                    [&](const TableResult& r) { return r.table == child; });
        TableResult scratch;
        TableResult& table = t == tables.rend() ? scratch : *t;
        op.setTable(child);
        const int before = op.failures();
        action(table);
        const int reports = op.failures() - before;
        counted += reports;
        table.failures += reports;
        op.setTable({});
    };
    for (const auto& [child, found] : findings)
        forTable(child, [&](TableResult& table) { ReportRuleFindings(road, found, 437, table); });
    for (const ForeignKeyStatement& s : statements) {
        forTable(s.child, [&](TableResult& table) {
            StatementTally tally;
            WriteRuleStatements(road, {s.statement}, 437, tally);
            table.statementsThrough += tally.confirmed;
        });
    }
    bool perTable = false;
    if (!statements.empty()
        && op.step(437, [&] { perTable = road.form.previewMode() && road.form.previewEachTable(); }) && perTable) {
        op.step(437, [&] { road.handOff.SQLFormCancel = true; });
        op.step(437, [&] { road.form.showPreview(); });
    }
    return counted;
}

std::set<std::string> ReferencedTables(platform::SourceConnection& source, const std::vector<std::string>& tables,
                                       const std::vector<Paradox::TableFile>& files)
{
    std::set<std::string> referenced;
    for (std::size_t at = 0; at < tables.size(); ++at) {
        try {
            const std::string file = at < files.size() ? files[at].path : std::string();
            const auto records = source.openRecordsetFrom(SourceQuery(tables[at]), file);
            const paradox::TableRules rules = records->rules();
            records->close();
            for (const paradox::Reference& r : rules.references)
                referenced.insert(ParentTableName(r.parentTable));
            for (const paradox::CheckRule& c : rules.checks) {
                if (!c.lookupTable.empty())
                    referenced.insert(ParentTableName(c.lookupTable));
            }
        } catch (...) {
            // Reported where the table itself is read.
        }
    }
    return referenced;
}

}  // namespace conversion
