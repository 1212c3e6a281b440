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

#include <map>
#include <string>
#include <vector>

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
    // The statements after the last table; what cannot be made, and the rows
    // without a parent, go to the child table's findings.
    std::vector<ForeignKeyStatement> statements(Dialect dialect, std::map<std::string, RuleFindings>& findings);

private:
    std::optional<std::string> whyNot(const ForeignKeyRequest& fk, const TableKey* parent,
                                      const std::string& parentName) const;
    std::int64_t rowsWithoutParent(const ForeignKeyRequest& fk, const TableKey& parent) const;
    bool secondCascadePath(const std::string& parent, const std::string& child) const;

    std::map<std::string, TableKey> keys_;
    std::vector<ForeignKeyRequest> requests_;
    std::map<std::string, std::vector<std::string>> cascades_;  // parent -> children, by cascading keys made
};

struct TableRoad;

// Makes the run's foreign keys after its last table, on the road every table
// took; the reports count to their child tables of `tables`, and their number
// is returned.
int MakeForeignKeys(const TableRoad& road, RunForeignKeys& keys, std::vector<TableResult>& tables);

}  // namespace conversion
