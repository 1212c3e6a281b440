// A T-SQL batch cut into its statements, each told by its first words: enough
// to answer every statement with its own DONE and to follow the tables and
// transactions, never to run SQL. T-SQL needs no ";" between statements, so a
// statement also ends where a word that starts one stands outside parentheses
// (INSERT ... SELECT, UPDATE ... SET, UNION SELECT and CASE ... END excepted).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

enum class StatementKind {
    Other,
    Insert,
    Update,
    Delete,
    Select,
    CreateTable,
    DropTable,
    BeginTransaction,
    Commit,
    Rollback,
    Save,
    SetOption,
    If,
    Else,
    BlockBegin,
    BlockEnd,
    Exec,
};

// A table as a statement names it: "dbo.[Order Lines]" is shown as
// "dbo.Order Lines" and is the table "Order Lines".
struct ObjectName {
    std::string shown;
    std::string table;
};

struct Statement {
    StatementKind kind = StatementKind::Other;
    std::string text;                  // as it stands in the batch, blanks around it removed
    std::vector<ObjectName> objects;
    std::uint64_t rows = 0;            // INSERT: the rows of its VALUES
    std::string option;                // SET: the option's name in capitals
    bool on = false;                   // SET: ON
    std::string procedure;             // EXEC: the procedure's last name part
    std::string condition;             // IF: the text after IF
    bool ifExists = false;             // DROP TABLE IF EXISTS
    bool skippedBlock = false;         // BEGIN CATCH: runs only after an error, which is never here
};

std::vector<Statement> SplitBatch(std::string_view sql);

}  // namespace tdstest
