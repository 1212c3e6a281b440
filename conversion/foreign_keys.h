// The run's foreign keys, made after its last table, when every table has its
// rows and its key: a reference or table lookup whose parent is not in the
// run, has no key, or is not referenced by its key is left out and reported;
// rows without a parent are counted, and the key is then made WITH NOCHECK,
// so that they stay. Paradox never deletes children with their parent: ON
// DELETE NO ACTION; its update rule gives ON UPDATE CASCADE or NO ACTION.
#pragma once

#include "conversion/dialect.h"
#include "conversion/rules.h"
#include "conversion/run_result.h"
#include "conversion/table_names.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {
class SourceConnection;
}

namespace Paradox {
struct TableFile;
}

namespace conversion {

// One statement of the run's foreign keys and the table it belongs to.
struct ForeignKeyStatement {
    std::string child;
    RuleStatement statement;
};

class RunForeignKeys {
public:
    // Each converted table once, with its key and what it asks for.
    void addTable(TableKey key, std::vector<ForeignKeyRequest> requests);
    bool empty() const { return requests_.empty(); }
    // The run's tables by their Paradox names and what each is written
    // under, so that a parent is found under the name the run gave it.
    void nameTables(const std::vector<std::string>& paradoxNames, const std::vector<ServerTableName>& serverNames);
    // The statements after the last table; what cannot be made, and the rows
    // without a parent, go to the child table's findings.
    std::vector<ForeignKeyStatement> statements(Dialect dialect, std::map<std::string, RuleFindings>& findings);

private:
    std::optional<std::string> whyNot(const ForeignKeyRequest& fk, const TableKey* parent,
                                      const std::string& parentName) const;
    std::int64_t rowsWithoutParent(const ForeignKeyRequest& fk, const TableKey& parent) const;
    bool secondCascadePath(const std::string& parent, const std::string& child) const;

    std::string serverName(const std::string& paradoxName) const;

    std::map<std::string, std::string> serverNames_;  // by the Paradox name folded
    std::map<std::string, TableKey> keys_;
    std::vector<ForeignKeyRequest> requests_;
    std::map<std::string, std::vector<std::string>> cascades_;  // parent -> children, by cascading keys made
};

struct TableRoad;

// Makes the run's foreign keys after its last table, on the road every table
// took; the reports count to their child tables of `tables`, and their number
// is returned.
int MakeForeignKeys(const TableRoad& road, RunForeignKeys& keys, std::vector<TableResult>& tables);

// The tables (by their Paradox names) that another of `tables`, read from
// `files`, refers to by its rules: only theirs are the key values worth
// keeping. Read from the rule files alone; what cannot be read here is told
// when its table is converted.
std::set<std::string> ReferencedTables(platform::SourceConnection& source, const std::vector<std::string>& tables,
                                       const std::vector<Paradox::TableFile>& files);

}  // namespace conversion
