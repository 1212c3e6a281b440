// A table's rules through the run, under SQL Server column types: the
// statements after its rows and key, the foreign keys after the last table,
// and what the rows break counted, reported and never lost.
#include "conversion/conversion_run.h"

#include "tests/support/fake_server.h"
#include "tests/support/run_services.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace testsupport;
using paradox::Value;

namespace {

struct RulesRun : ::testing::Test, RunServices<FakeServerFactory, MemorySourceFactory> {
    conversion::RunOptions options;

    // PARENT(ID key) with 1 and 2; CHILD(ID key, PID, QTY, NAME, FLAG) with
    // rules of every kind, its second record breaking them.
    RulesRun()
    {
        std::filesystem::create_directories(dir / "tables");
        form.Text1 = (dir / "tables").string();
        form.Check1 = true;
        form.Option1 = true;
        options.columnTypes = conversion::ColumnTypes::SqlServer;
        for (const char* name : {"parent", "child"})
            std::ofstream(dir / "tables" / (std::string(name) + ".db")) << "";
        sources.tables["PARENT"] = {{{"ID", 3}}, {{Value::ofInteger(1)}, {Value::ofInteger(2)}}, {}, 1};
        MemoryTable& child = sources.tables["CHILD"];
        child.fields = {{"ID", 3}, {"PID", 3}, {"QTY", 2}, {"NAME", 202, 10}, {"FLAG", 11}};
        child.rows = {{Value::ofInteger(1), Value::ofInteger(2), Value::ofInteger(5), Value::ofText("Ann"), {}},
                      {Value::ofInteger(2), Value::ofInteger(7), Value::ofInteger(20), {}, {}}};
        child.keyFields = 1;
        paradox::TableRules& r = child.rules;
        r.indexes = {{"ByName", {{3, false}}, true, true}, {"", {{2, true}}, false, false}};
        paradox::CheckRule qty{.field = 2, .required = true, .minimum = paradox::OwnedValue(Value::ofInteger(1)),
                               .maximum = paradox::OwnedValue(Value::ofInteger(10))};
        paradox::CheckRule name{.field = 3, .required = true, .picture = "&*?", .lookupTable = "names.db"};
        paradox::CheckRule flag{.field = 4, .defaultValue = paradox::OwnedValue(Value::ofBoolean(true))};
        r.checks = {qty, name, flag};
        r.references = {{"ToParent", "C:\\DATA\\parent.db", true, {1}, {0}}};
        r.problems = {{"CHILD.X07", "its header is too small for 3 fields"}};
    }

    conversion::RunResult run() { return convert(options); }
    // The statements of rules: neither the tables nor their rows.
    std::vector<std::string> ruleLines()
    {
        std::vector<std::string> lines;
        for (int r = 1; r <= handOff.preview.list().count(); ++r) {
            const std::string line(handOff.preview.list().text(r));
            if (line.rfind("INSERT", 0) != 0 && line.rfind("CREATE TABLE", 0) != 0 && line.rfind("SET ", 0) != 0)
                lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> reports()
    {
        std::vector<std::string> texts;
        for (const auto& m : dialogs.messages)
            texts.push_back(m.text.substr(0, m.text.find("\r\n")));
        return texts;
    }
};

TEST_F(RulesRun, EveryKindOfRuleFollowsTheRowsAndCostsNoRow)
{
    const conversion::RunResult result = run();
    EXPECT_EQ(ruleLines(), (std::vector<std::string>{
        "ALTER TABLE [PARENT] ALTER COLUMN [ID] INT NOT NULL",
        "ALTER TABLE [PARENT] ADD CONSTRAINT [PK_PARENT] PRIMARY KEY ([ID])",
        "ALTER TABLE [CHILD] ALTER COLUMN [ID] INT NOT NULL",
        "ALTER TABLE [CHILD] ADD CONSTRAINT [PK_CHILD] PRIMARY KEY ([ID])",
        "ALTER TABLE [CHILD] ALTER COLUMN [QTY] SMALLINT NOT NULL",
        "ALTER TABLE [CHILD] WITH NOCHECK ADD CONSTRAINT [CK_CHILD_QTY] CHECK ([QTY] >= 1 AND [QTY] <= 10)",
        "ALTER TABLE [CHILD] ADD CONSTRAINT [DF_CHILD_FLAG] DEFAULT 1 FOR [FLAG]",
        "CREATE UNIQUE INDEX [ByName] ON [CHILD]([NAME])",
        "CREATE INDEX [QTY] ON [CHILD]([QTY] DESC)",
        "ALTER TABLE [CHILD] WITH NOCHECK ADD CONSTRAINT [FK_CHILD_ToParent] FOREIGN KEY ([PID]) REFERENCES "
        "[PARENT] ([ID]) ON DELETE NO ACTION ON UPDATE CASCADE",
    }));
    const std::vector<std::string> expected = {
        "The rule file CHILD.X07 of the table CHILD cannot be read: its header is too small for 3 fields. The "
        "table is converted without its rules.",
        "The field NAME of CHILD is required, but 1 record holds no value there: its column stays nullable, so that "
        "no record is lost.",
        "1 record of CHILD lies outside the minimum 1, maximum 10 of QTY: the check CK_CHILD_QTY is made WITH "
        "NOCHECK, so that they stay; the server checks new and changed rows only.",
        "The foreign key FK_CHILD_NAME (the table lookup of CHILD.NAME) is left out: its parent NAMES is not among "
        "the tables this run converted.",
        "1 record of CHILD has no parent in PARENT: the foreign key FK_CHILD_ToParent is made WITH NOCHECK, so "
        "that they stay.",
    };
    std::vector<std::string> got = reports();
    got.pop_back();  // "Done." and its summary
    EXPECT_EQ(got, expected);
    ASSERT_EQ(result.tables.size(), 2u);
    EXPECT_EQ(result.tables[1].failures, 5);
    EXPECT_EQ(result.tables[1].notes, (std::vector<std::string>{
        "The field NAME of CHILD has the picture &*?, which the server does not enforce."}));
    // The datatype view lists the rules after the fields.
    const auto& types = handOff.datatypes.list();
    ASSERT_EQ(types.count(), 16);
    EXPECT_EQ(types.record(7).field, "index ByName");
    EXPECT_EQ(types.record(7).paradoxType, "NAME, without letter case");
    EXPECT_EQ(types.record(12).paradoxType, "picture &*?");
    EXPECT_EQ(types.record(12).sqlType, "not enforced by the server");
    EXPECT_EQ(types.record(15).field, "reference ToParent");
    EXPECT_EQ(types.record(16).sqlType, "not read");
}

// Previewed table by table, the foreign keys come in a preview of their own after the last table.
TEST_F(RulesRun, PreviewedTableByTableTheForeignKeysComeLast)
{
    form.Option1 = false;
    form.Option2 = true;
    std::vector<std::vector<std::string>> previews;
    form.preview = [&] {
        previews.push_back(ruleLines());
        handOff.SQLFormCancel = false;
        handOff.preview.closed();
    };
    run();
    ASSERT_EQ(previews.size(), 3u);
    EXPECT_EQ(previews[2].size(), 1u);
    EXPECT_EQ(previews[2][0].rfind("ALTER TABLE [CHILD] WITH NOCHECK ADD CONSTRAINT [FK_CHILD_ToParent]", 0), 0u);
}

// Keys only, or text column types: the rules stay behind and nothing is read of them.
TEST_F(RulesRun, KeysOnlyOrTextColumnsLeaveTheRulesBehind)
{
    options.rules = conversion::RuleChoice::Keys;
    run();
    EXPECT_EQ(ruleLines(), (std::vector<std::string>{
        "ALTER TABLE [PARENT] ALTER COLUMN [ID] INT NOT NULL",
        "ALTER TABLE [PARENT] ADD CONSTRAINT [PK_PARENT] PRIMARY KEY ([ID])",
        "ALTER TABLE [CHILD] ALTER COLUMN [ID] INT NOT NULL",
        "ALTER TABLE [CHILD] ADD CONSTRAINT [PK_CHILD] PRIMARY KEY ([ID])"}));
    options.columnTypes = conversion::ColumnTypes::Text;
    options.rules = conversion::RuleChoice::All;
    EXPECT_TRUE(run().clean());
    EXPECT_TRUE(ruleLines().empty());
}

// The demo's SQLite gets the indexes (named after their table, texts compared
// as the index did) and is told what it cannot add to a table that exists.
TEST_F(RulesRun, SqliteGetsTheIndexesAndHearsWhatItLeavesOut)
{
    form.Check1 = false;
    servers.state.dbmsName = "SQLite";
    const conversion::RunResult result = run();
    std::vector<std::string> indexes;
    for (const std::string& s : servers.state.executed) {
        if (s.find("INDEX") != std::string::npos)
            indexes.push_back(s);
    }
    EXPECT_EQ(indexes, (std::vector<std::string>{
        R"(CREATE UNIQUE INDEX "PK_PARENT" ON "PARENT"("ID"))",
        R"(CREATE UNIQUE INDEX "PK_CHILD" ON "CHILD"("ID"))",
        R"(CREATE UNIQUE INDEX "CHILD_ByName" ON "CHILD"("NAME" COLLATE NOCASE))",
        R"(CREATE INDEX "CHILD_QTY" ON "CHILD"("QTY" DESC))"}));
    ASSERT_EQ(result.tables[1].notes.size(), 4u);
    EXPECT_EQ(result.tables[1].notes.back(),
              "SQLite cannot add a foreign key to a table that exists: the reference ToParent of CHILD is left out.");
}

// In direct mode a rule the server refuses is reported as not made, and the rest goes on.
TEST_F(RulesRun, ARuleTheServerRefusesIsReportedAndTheRestGoesOn)
{
    form.Check1 = false;
    servers.state.refuses = [](const std::string& sql) { return sql.rfind("CREATE UNIQUE INDEX", 0) == 0; };
    const conversion::RunResult result = run();
    EXPECT_EQ(servers.state.executed.back().rfind("ALTER TABLE [CHILD] WITH NOCHECK ADD CONSTRAINT [FK_CHILD_ToParent]", 0),
              0u);
    bool told = false;
    for (const std::string& r : reports())
        told = told || r.rfind("Not made: the index ByName of CHILD, whose rows stay as they are. SQLException:", 0) == 0;
    EXPECT_TRUE(told);
    EXPECT_EQ(result.tables[1].refused, 1);
    EXPECT_EQ(result.tables[1].recordsRead, 2);
}

}  // namespace
