// The test server cuts a batch into the statements SQL Server would see: the
// program's own statements one each, several on lines of one batch, and the
// quoting that hides statement words.
#include "tests/tds/tsql_batch.h"

#include <gtest/gtest.h>

namespace {

using tdstest::Statement;
using tdstest::StatementKind;

std::string Described(const Statement& s)
{
    static const char* const kNames[] = {"Other",  "Insert",   "Update", "Delete",     "Select",   "Create",
                                         "Drop",   "Begin",    "Commit", "Rollback",   "Save",     "Set",
                                         "If",     "Else",     "Block",  "End",        "Exec"};
    std::string d = kNames[static_cast<int>(s.kind)];
    for (const auto& o : s.objects)
        d += " [" + o.table + "]";
    if (s.kind == StatementKind::Insert)
        d += " " + std::to_string(s.rows);
    if (s.kind == StatementKind::SetOption)
        d += " " + s.option + (s.on ? " ON" : " OFF");
    if (s.kind == StatementKind::Exec)
        d += " " + s.procedure;
    return d;
}

struct Case {
    const char* batch;
    std::vector<std::string> statements;
};

TEST(TsqlBatch, CutsABatchIntoTheStatementsSqlServerRuns)
{
    const Case cases[] = {
        {"CREATE TABLE [PARTS]([ID] INT,[NAME] TEXT);", {"Create [PARTS]"}},
        {"INSERT INTO [PARTS] VALUES(1, 'it''s; INSERT INTO [B] VALUES(2)', N'DROP TABLE [X]')", {"Insert [PARTS] 1"}},
        {"INSERT INTO [A] VALUES(1)\nINSERT INTO [A] VALUES(N'x\r\nINSERT')\r\nINSERT INTO [B] VALUES(0x0A0B)",
         {"Insert [A] 1", "Insert [A] 1", "Insert [B] 1"}},
        {"INSERT INTO [P] VALUES(0x0A, -1.5), (2, /* VALUES(3) /* nested */ ) */ 4) -- INSERT INTO [Q]\n",
         {"Insert [P] 2"}},
        {"DROP TABLE [Order Lines]]x]", {"Drop [Order Lines]x]"}},
        {"DROP TABLE IF EXISTS dbo.[A], [B]", {"Drop [A] [B]"}},
        {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", {"If", "Commit", "Begin"}},
        {"SET IMPLICIT_TRANSACTIONS ON; SET XACT_ABORT OFF", {"Set IMPLICIT_TRANSACTIONS ON", "Set XACT_ABORT OFF"}},
        {"INSERT INTO dbo.[T] SELECT 1 UNION SELECT 2 SELECT CASE WHEN 1=1 THEN 2 ELSE 3 END", {"Insert [T] 0", "Select"}},
        {"UPDATE [T] SET [A]=1 SET NOCOUNT ON", {"Update", "Set NOCOUNT ON"}},
        {"exec sp_tables @table_name = N'%'", {"Exec sp_tables"}},
        {"IF OBJECT_ID('T') IS NOT NULL BEGIN DROP TABLE [T] END ELSE ROLLBACK", {"If", "Block", "Drop [T]", "End", "Else", "Rollback"}},
        {"  ; -- nothing\n", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const Statement& s : tdstest::SplitBatch(c.batch))
            got.push_back(Described(s));
        EXPECT_EQ(got, c.statements) << c.batch;
    }
}

TEST(TsqlBatch, KeepsEachStatementsTextAsItStands)
{
    const auto statements = tdstest::SplitBatch("  INSERT INTO [A] VALUES('a;b')  ;\nINSERT INTO [A]\nVALUES('c')\n");
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_EQ(statements[0].text, "INSERT INTO [A] VALUES('a;b')");
    EXPECT_EQ(statements[1].text, "INSERT INTO [A]\nVALUES('c')");
}

}  // namespace
