// End to end: the rules of the shared corpus's tables (their .VAL and index
// files, as Paradox wrote them) in the statements `script` writes for SQL
// Server: every statement `--rules all` adds to `--rules keys`, and what it
// reports.
#include "tests/support/run_program.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

std::vector<std::string> Statements(const std::string& script)
{
    std::vector<std::string> out;
    for (std::size_t at = 0, end; (end = script.find("\nGO\n", at)) != std::string::npos; at = end + 4)
        out.emplace_back(script.substr(at, end - at));
    return out;
}

// What `--rules all` writes beyond `--rules keys`, in order; and its standard error.
std::pair<std::vector<std::string>, std::string> RuleStatements(const std::filesystem::path& folder)
{
    TempDir dir;
    auto script = [&](const char* rules) {
        return RunProgram(dir, Quoted(DOVENMARK_CLI) + " script " + Quoted(folder.string()) +
                                   " --column-types sqlserver --rules " + rules);
    };
    const ProgramRun keys = script("keys");
    const ProgramRun all = script("all");
    const std::vector<std::string> without = Statements(keys.out);
    std::vector<std::string> added;
    for (const std::string& s : Statements(all.out)) {
        if (std::find(without.begin(), without.end(), s) == without.end())
            added.push_back(s);
    }
    EXPECT_EQ(Statements(all.out).size(), without.size() + added.size()) << "every statement of the keys is kept";
    return {added, all.err};
}

TEST(CorpusRules, DbdemosGetsItsIndexesRequiredFieldsAndForeignKeys)
{
    const auto data = paradoxTestdata();
    if (!data)
        GTEST_SKIP() << kNoTestdata;
    const auto [added, err] = RuleStatements(*data / "dbdemos");
    const std::string noAction = "]) ON DELETE NO ACTION ON UPDATE NO ACTION";
    EXPECT_EQ(added, (std::vector<std::string>{
        "CREATE INDEX [EventNo] ON [RESERVAT]([EventNo])",
        "CREATE INDEX [CustNo] ON [RESERVAT]([CustNo])",
        "CREATE INDEX [Date_Time] ON [EVENTS]([Event_Date],[Event_Time])",
        "CREATE INDEX [ByName] ON [EMPLOYEE]([LastName],[FirstName])",
        "CREATE INDEX [ByCompany] ON [CUSTOMER]([Company])",
        "CREATE INDEX [PartNo] ON [ITEMS]([PartNo])",
        "CREATE INDEX [ByOrderNo] ON [ITEMS]([OrderNo])",
        "ALTER TABLE [ORDERS] ALTER COLUMN [CustNo] FLOAT NOT NULL",
        "ALTER TABLE [ORDERS] ALTER COLUMN [EmpNo] INT NOT NULL",
        "CREATE INDEX [CustNo] ON [ORDERS]([CustNo])",
        "CREATE INDEX [VendorNo] ON [PARTS]([VendorNo])",
        "CREATE INDEX [ByDescription] ON [PARTS]([Description])",
        "CREATE INDEX [City] ON [CUSTOLY]([City])",
        "CREATE INDEX [Names] ON [CUSTOLY]([Last_Name],[First_Name])",
        "ALTER TABLE [ITEMS] ADD CONSTRAINT [FK_ITEMS_CheckPartNo] FOREIGN KEY ([PartNo]) REFERENCES [PARTS] ([PartNo"
            + noAction,
        "ALTER TABLE [ITEMS] ADD CONSTRAINT [FK_ITEMS_RefOrders] FOREIGN KEY ([OrderNo]) REFERENCES [ORDERS] "
        "([OrderNo" + noAction,
        "ALTER TABLE [ORDERS] ADD CONSTRAINT [FK_ORDERS_RefCustinOrders] FOREIGN KEY ([CustNo]) REFERENCES "
        "[CUSTOMER] ([CustNo" + noAction,
        "ALTER TABLE [PARTS] ADD CONSTRAINT [FK_PARTS_CheckVendor] FOREIGN KEY ([VendorNo]) REFERENCES [VENDORS] "
        "([VendorNo" + noAction,
    }));
    EXPECT_NE(err.find("CUSTOLY: 30 records read\n  The index City of CUSTOLY tells letter case apart in Paradox"),
              std::string::npos) << err;
    EXPECT_NE(err.find("\nDone.\n"), std::string::npos) << err;
}

TEST(CorpusRules, JoinsGetTheirReferencesCascadingOrNotAndHearWhatCannotBeMade)
{
    const auto data = paradoxTestdata();
    if (!data)
        GTEST_SKIP() << kNoTestdata;
    const auto [added, err] = RuleStatements(*data / "paradoxdriver" / "joins");
    auto fk = [](const std::string& child, const std::string& name, const std::string& fields,
                 const std::string& parent, const std::string& parentFields, bool cascade) {
        return "ALTER TABLE [" + child + "] ADD CONSTRAINT [FK_" + child + "_" + name + "] FOREIGN KEY (" + fields +
               ") REFERENCES [" + parent + "] (" + parentFields + ") ON DELETE NO ACTION ON UPDATE " +
               (cascade ? "CASCADE" : "NO ACTION");
    };
    EXPECT_EQ(added, (std::vector<std::string>{
        "ALTER TABLE [PARADOX-ASCII] ALTER COLUMN [A] NVARCHAR(20) NOT NULL",
        "ALTER TABLE [MULTIPLE] ALTER COLUMN [FK] INT NOT NULL",
        "CREATE INDEX [FK] ON [MULTIPLE]([FK])",
        "CREATE INDEX [FK2] ON [MULTIPLE]([FK2])",
        "CREATE INDEX [FK] ON [FK1]([FK])",
        "CREATE INDEX [Descending] ON [INDEXED]([Indexed] DESC)",
        "ALTER TABLE [C] ALTER COLUMN [A] INT NOT NULL",
        "CREATE INDEX [A] ON [C]([A])",
        "CREATE INDEX [B] ON [C]([B])",
        "CREATE INDEX [FK] ON [FK2]([FK])",
        "CREATE INDEX [FK] ON [TO_MULTIPLE]([FK])",
        "CREATE INDEX [reference] ON [FK4]([FK1],[FK])",
        "CREATE INDEX [FK2] ON [FK3]([FK2])",
        "CREATE INDEX [C] ON [CASE]([C])",
        fk("MULTIPLE", "fk2", "[FK2]", "PRIMARY", "[ID]", true),
        fk("MULTIPLE", "fk_multiple_primary", "[FK]", "PRIMARY", "[ID]", false),
        fk("FK1", "reference", "[FK]", "PRIMARY", "[ID]", true),
        fk("C", "Reference A", "[A]", "A", "[A]", true),
        fk("C", "Reference B", "[B]", "B", "[B]", true),
        fk("FK2", "reference", "[FK]", "PRIMARY", "[ID]", false),
        fk("TO_MULTIPLE", "to_multiple", "[FK]", "MULTIPLE", "[ID]", true),
        fk("FK4", "reference", "[FK1],[FK]", "TWO", "[ID1],[ID2]", true),
        fk("FK3", "reference", "[FK2]", "PRIMARY", "[ID]", false),
    }));
    for (const char* report : {
             "JOINB: The foreign key FK_JOINB_Id (the table lookup of JOINB.Id) is left out: JOINA has no primary key.",
             "MULTIPLE: The foreign key FK_MULTIPLE_fk_multiple_primary (the reference fk_multiple_primary of "
             "MULTIPLE) is made ON UPDATE NO ACTION, not CASCADE",
             "ORIGIN: The foreign key FK_ORIGIN_FK (the table lookup of ORIGIN.FK) is left out: DESTINATION has no "
             "primary key.",
             "The field A of MULTIPLE has the picture [(*3{#}) ]*3{#}-*4{#}, which the server does not enforce."})
        EXPECT_NE(err.find(report), std::string::npos) << report << "\n" << err;
}

// Paradox 3.0 validity files are named, unread, and cost no row.
TEST(CorpusRules, ParadoxThreeValidityFilesAreNamedAndNotRead)
{
    const auto data = paradoxTestdata();
    if (!data)
        GTEST_SKIP() << kNoTestdata;
    const auto [added, err] = RuleStatements(*data / "paradoxdriver" / "mtdemo");
    EXPECT_TRUE(added.empty());
    EXPECT_NE(err.find("The rule file FILMS.VAL of the table FILMS cannot be read: a Paradox 3.0 validity file "
                       "(version 1), whose layout is not documented; its checks are not read. The table is "
                       "converted without its rules."),
              std::string::npos) << err;
    EXPECT_NE(err.find("FILMS: 36 records read, 1 other failure"), std::string::npos) << err;
}

}  // namespace
