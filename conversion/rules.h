// A table's rules on their way to the server, under SQL Server column types:
// its secondary indexes become indexes, its required fields NOT NULL, its
// defaults DEFAULT and its ranges CHECK constraints, after its rows; its
// references and table lookups become foreign keys after the run's last table
// (conversion/foreign_keys.h). What the rows already break is counted while
// they pass, so that a rule never costs a row: a column stays nullable, a
// check is made WITH NOCHECK, and the report says so.
#pragma once

#include "conversion/preview_list.h"
#include "conversion/sql_text.h"
#include "paradox/table_rules.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace conversion {

// A statement of a rule, and the rule as its report names it when the server refuses it.
struct RuleStatement {
    std::string sql;
    std::string rule;  // "the index Names of CUSTOLY"
};

// What the rows and the server make of a table's rules besides its statements:
// reports (a rule the rows break or that cannot be made) and notes (a rule the
// server does not enforce, which costs nothing).
struct RuleFindings {
    std::vector<std::string> reports;
    std::vector<std::string> notes;
};

// A foreign key a table asks for: a reference (the child's side of a
// referential integrity) or a table lookup.
struct ForeignKeyRequest {
    std::string child;                 // the table's name in the run
    std::string constraint;            // FK_CHILD_NAME
    std::string rule;                  // "the reference RefCustinOrders of ORDERS"
    std::vector<std::string> fields;   // the child's columns
    std::vector<std::string> types;    // their column types
    std::string parentFile;            // as the rule names the parent: "customer.db"
    std::vector<int> parentFields;     // the parent's fields, from 0, in the order of `fields`
    bool cascade = false;              // ON UPDATE CASCADE, else NO ACTION
    bool lookup = false;
    // The child's rows by their values in these columns (rows with a NULL
    // there are not checked by a foreign key and are left out).
    std::unordered_map<std::string, std::int64_t> rows;
};

// A table's primary key as the run made it, and its rows' key values.
struct TableKey {
    std::string table;
    std::vector<std::string> fields;
    std::vector<std::string> types;
    bool made = false;
    std::unordered_set<std::string> values;
};

class RulePlan {
public:
    // referenced: a table of the run refers to this one, so its key values
    // are kept (a million keys take their memory and time: only then).
    RulePlan(const TableScript& script, paradox::TableRules rules, bool referenced = true);

    // One record per rule after the table's fields: the rule, what Paradox
    // holds, what the server gets.
    void describe(DatatypeList& list) const;
    const std::vector<paradox::RuleFileProblem>& problems() const { return rules_.problems; }

    // Whether a field's values matter to the rules, and each of them in
    // field order, record by record.
    bool watches(int field) const { return watched_.count(field) != 0; }
    void observe(int field, const paradox::Value& value);
    void endRecord();

    // After the rows and the key: the statements of the table's own rules
    // (NOT NULL, DEFAULT, CHECK, then the indexes), and what the rows broke.
    std::vector<RuleStatement> statements(RuleFindings& findings) const;
    // For the run's foreign keys; each may be taken once.
    std::vector<ForeignKeyRequest> takeForeignKeys();
    TableKey takeKey(bool made);

private:
    std::string valueText(int field, const paradox::Value& value) const;
    std::string rangeText(const paradox::CheckRule& check) const;
    void requiredStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const;
    void checkStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const;
    void indexStatements(std::vector<RuleStatement>& out, RuleFindings& findings) const;
    void addForeignKey(const std::string& name, const std::string& rule, std::vector<int> fields,
                       std::vector<int> parentFields, const std::string& parent, bool cascade, bool lookup);

    const TableScript& script_;
    paradox::TableRules rules_;
    std::string table_;
    std::map<int, int> watched_;                 // field -> how many rules watch it
    std::map<int, std::string> tuplePart_;       // this record's key texts of the watched fields
    std::map<int, std::int64_t> blank_;          // required field -> records without a value
    std::map<int, std::int64_t> outside_;        // field with a range -> records outside it
    std::vector<ForeignKeyRequest> foreignKeys_;
    std::vector<std::vector<int>> foreignKeyFields_;
    TableKey key_;
    bool keepKeys_;
};

}  // namespace conversion
