// The rules beside a table (.VAL, .Xnn, .XGn): every rule file of the shared
// corpus read as Paradox wrote it, rule files of our own writer read back
// (what the corpus lacks: minimum, maximum, version 0x0C), and rule files
// that cannot be read named with their reason while the rest still count.
#include "paradox/record_text.h"
#include "paradox/table.h"
#include "paradox/table_rules.h"
#include "paradox/writer/rule_writer.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>

namespace {

namespace fs = std::filesystem;
using paradox::FieldType;
using paradox::Value;

std::string ValueText(const std::optional<paradox::OwnedValue>& v)
{
    if (!v)
        return "";
    const Value value = v->get();
    switch (value.type) {
    case paradox::ValueType::Text: return std::string(value.text);
    case paradox::ValueType::Integer: return std::to_string(value.integer);
    case paradox::ValueType::Double: case paradox::ValueType::Currency: return std::to_string(value.number);
    case paradox::ValueType::Boolean: return value.boolean ? "true" : "false";
    case paradox::ValueType::Date:
        return std::to_string(value.date.year) + "-" + std::to_string(value.date.month) + "-" + std::to_string(value.date.day);
    case paradox::ValueType::Bcd: return std::string(value.text);
    default: return "?";
    }
}

// One line per rule, with the table's own field names.
std::vector<std::string> Describe(const paradox::TableRules& rules, const paradox::Table& table)
{
    auto name = [&](int f) { return table.fields().at(static_cast<std::size_t>(f)).name; };
    std::vector<std::string> lines;
    for (const paradox::SecondaryIndex& x : rules.indexes) {
        std::string line = "index " + (x.name.empty() ? std::string("-") : x.name) + " (";
        for (std::size_t i = 0; i < x.fields.size(); ++i)
            line += (i ? "," : "") + name(x.fields[i].field) + (x.fields[i].descending ? " desc" : "");
        lines.push_back(line + ")" + (x.unique ? " unique" : "") + (x.caseInsensitive ? " nocase" : ""));
    }
    for (const paradox::CheckRule& c : rules.checks) {
        std::string line = "check " + name(c.field) + ":";
        if (c.required) line += " required";
        if (c.minimum) line += " min=" + ValueText(c.minimum);
        if (c.maximum) line += " max=" + ValueText(c.maximum);
        if (c.defaultValue) line += " default=" + ValueText(c.defaultValue);
        if (!c.picture.empty()) line += " picture=" + c.picture;
        if (!c.lookupTable.empty()) line += " lookup=" + c.lookupTable;
        lines.push_back(line);
    }
    for (const paradox::Reference& r : rules.references) {
        std::string line = "reference " + r.name + " (";
        for (std::size_t i = 0; i < r.fields.size(); ++i)
            line += (i ? "," : "") + name(r.fields[i]);
        line += ") -> " + r.parentTable + " (";
        for (std::size_t i = 0; i < r.parentFields.size(); ++i)
            line += (i ? "," : "") + std::to_string(r.parentFields[i] + 1);
        lines.push_back(line + ") " + (r.cascade ? "cascade" : "prohibit"));
    }
    for (const paradox::RuleFileProblem& p : rules.problems)
        lines.push_back("problem " + p.file + ": " + p.reason);
    return lines;
}

std::vector<std::string> RulesOf(const fs::path& db)
{
    auto table = paradox::Table::open(db);
    return Describe(paradox::ReadTableRules(db, *table), *table);
}

std::string Version1(const std::string& file)
{
    return "problem " + file +
           ": a Paradox 3.0 validity file (version 1), whose layout is not documented; its checks are not read";
}

// Every table of the corpus with rule files, and what they hold. The one
// index whose field numbers are out of date (events.xg0: 3 and 4, a date and
// a time at places 4 and 5) is found by its fields' names and types.
TEST(TableRules, EveryRuleFileOfTheCorpus)
{
    const auto dir = testsupport::paradoxTestdata();
    if (!dir)
        GTEST_SKIP() << testsupport::kNoTestdata;
    const std::map<std::string, std::vector<std::string>> expected = {
        {"dbdemos/custoly.db", {"index - (City)", "index Names (Last_Name,First_Name) nocase"}},
        {"dbdemos/customer.db", {"index ByCompany (Company) nocase"}},
        {"dbdemos/employee.db", {"index ByName (LastName,FirstName) nocase"}},
        {"dbdemos/events.db", {"index Date_Time (Event_Date,Event_Time) nocase"}},
        {"dbdemos/items.db", {"index - (PartNo)", "index ByOrderNo (OrderNo) nocase",
                              "reference CheckPartNo (PartNo) -> parts.db (1) prohibit",
                              "reference RefOrders (OrderNo) -> orders.db (1) prohibit"}},
        {"dbdemos/orders.db", {"index - (CustNo)", "check CustNo: required", "check EmpNo: required",
                               "reference RefCustinOrders (CustNo) -> customer.db (1) prohibit"}},
        {"dbdemos/parts.db", {"index - (VendorNo)", "index ByDescription (Description) nocase",
                              "reference CheckVendor (VendorNo) -> vendors.db (1) prohibit"}},
        {"dbdemos/reservat.db", {"index - (EventNo)", "index - (CustNo)"}},
        {"paradoxdriver/areas/ZIPCODES.DB", {"check Zip: picture=#####", "check State: picture=&&"}},
        {"paradoxdriver/db/AREACODE.DB", {"check Area Code: picture=###", "check State: picture=&&"}},
        {"paradoxdriver/db/AREACODES.DB", {"index ste (State) nocase"}},
        {"paradoxdriver/db/CUSTOMER.DB", {"index - (City)"}},
        {"paradoxdriver/fields/logical.db", {"check BOOL: required default=true"}},
        {"paradoxdriver/joins/C.DB", {"index - (A)", "index - (B)", "check C: required", "check A: required",
                                      "reference Reference A (A) -> A.db (1) cascade",
                                      "reference Reference B (B) -> B.db (1) cascade"}},
        {"paradoxdriver/joins/case.db", {"index - (C)"}},
        {"paradoxdriver/joins/fk1.db", {"index - (FK)", "reference reference (FK) -> primary.db (1) cascade"}},
        {"paradoxdriver/joins/fk2.db", {"index - (FK)", "reference reference (FK) -> primary.db (1) prohibit"}},
        {"paradoxdriver/joins/fk3.db", {"index - (FK2)", "reference reference (FK2) -> primary.db (1) prohibit"}},
        {"paradoxdriver/joins/fk4.db",
         {"index reference (FK1,FK)", "reference reference (FK1,FK) -> two.db (1,2) cascade"}},
        {"paradoxdriver/joins/indexed.db", {"index Descending (Indexed desc) nocase"}},
        {"paradoxdriver/joins/joinb.db", {"check Id: lookup=joina.db"}},
        {"paradoxdriver/joins/multiple.db",
         {"index - (FK)", "index - (FK2)", "check FK: required", "check A: picture=[(*3{#}) ]*3{#}-*4{#}",
          "reference fk2 (FK2) -> primary.db (1) cascade",
          "reference fk_multiple_primary (FK) -> primary.db (1) cascade"}},
        {"paradoxdriver/joins/origin.db", {"check FK: lookup=destination.db"}},
        {"paradoxdriver/joins/paradox-ascii.db", {"check A: required"}},
        {"paradoxdriver/joins/to_multiple.db",
         {"index - (FK)", "reference to_multiple (FK) -> multiple.DB (1) cascade"}},
        {"paradoxdriver/mtdemo/CUSTOMER.DB", {Version1("CUSTOMER.VAL")}},
        {"paradoxdriver/mtdemo/EMPLOYEE.DB", {Version1("EMPLOYEE.VAL")}},
        {"paradoxdriver/mtdemo/FILMS.DB", {Version1("FILMS.VAL")}},
        {"paradoxdriver/mtdemo/KRENTAL.DB", {Version1("KRENTAL.VAL")}},
        {"paradoxdriver/mtdemo/PAYMENT.DB", {Version1("PAYMENT.VAL")}},
        {"paradoxdriver/mtdemo/RENTAL.DB", {Version1("RENTAL.VAL")}},
        {"paradoxdriver/mtdemo/STORE.DB", {Version1("STORE.VAL")}},
        {"paradoxdriver/mtdemo/TAXRATE.DB", {Version1("TAXRATE.VAL")}},
        {"paradoxdriver/mtdemo/VIDORDER.DB", {Version1("VIDORDER.VAL")}},
    };
    std::map<std::string, std::vector<std::string>> found;
    for (const auto& entry : fs::recursive_directory_iterator(*dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".db" && ext != ".DB")
            continue;
        auto lines = RulesOf(entry.path());
        if (!lines.empty())
            found[fs::relative(entry.path(), *dir).generic_string()] = lines;
    }
    EXPECT_EQ(found, expected);
}

// A table with a rule of every kind, in files of our own writer.
struct RuleFiles {
    paradox::writer::TableDesign design;
    paradox::writer::ValidityDesign validity;
    std::vector<paradox::writer::IndexDesign> indexes;

    RuleFiles()
    {
        using paradox::writer::FieldDesign;
        design.versionId = 11;
        design.keyed = true;
        design.tableName = "child.db";
        design.fields = {{"ID", FieldType::Long, 0},       {"Name", FieldType::Alpha, 20},
                         {"Qty", FieldType::Short, 0},     {"Price", FieldType::Currency, 0},
                         {"Since", FieldType::Date, 0},    {"Flag", FieldType::Logical, 0},
                         {"Amount", FieldType::Bcd, 2},    {"Ratio", FieldType::Number, 0}};
        using paradox::writer::CheckDesign;
        const CheckDesign qty{.field = 2, .minimum = Value::ofInteger(1), .maximum = Value::ofInteger(99),
                              .defaultValue = Value::ofInteger(5)};
        const CheckDesign name{.field = 1, .required = true, .defaultValue = Value::ofText("Ann"), .picture = "&*?",
                               .lookupTable = "names.db", .lookupFlags = 2};
        const CheckDesign price{.field = 3, .minimum = Value::ofCurrency(0.5)};
        const CheckDesign since{.field = 4, .minimum = Value::ofDate({1990, 1, 31}),
                                .maximum = Value::ofDate({2030, 12, 1})};
        const CheckDesign flag{.field = 5, .defaultValue = Value::ofBoolean(true)};
        const CheckDesign amount{.field = 6, .minimum = Value::ofBcd("-12.50"), .maximum = Value::ofBcd("1000.25")};
        const CheckDesign ratio{.field = 7, .required = true, .minimum = Value::ofDouble(-1.5),
                                .maximum = Value::ofDouble(2.25)};
        validity.checks = {qty, name, price, since, flag, amount, ratio};
        validity.references = {{"ToParent", "C:\\DATA\\parent.db", true, {2, 1}, {0, 1}},
                               {"Other", "other.DB", false, {4}, {0}}};
        indexes = {{.fields = {2}},
                   {.name = "ByNameSince", .fields = {1, 4}, .descending = {true, false}, .unique = true,
                    .caseInsensitive = true}};
    }

    // Writes child.db with child.VAL and its index files into dir.
    fs::path write(const fs::path& dir, std::string valName = "child.VAL") const
    {
        paradox::writer::TableWriter table(design);
        table.writeFiles(dir / "child.db", dir / "child.mb");
        std::ofstream(dir / valName, std::ios::binary) << paradox::writer::ValidityBytes(design, table, validity);
        const char* names[] = {"child.X03", "child.XG0"};
        for (std::size_t i = 0; i < indexes.size(); ++i)
            std::ofstream(dir / names[i], std::ios::binary) << paradox::writer::IndexHeaderBytes(design, indexes[i]);
        return dir / "child.db";
    }
};

// Minimum and maximum occur in no shared file: they are read here as the
// documented layout places them, in the form of a record's field.
TEST(TableRules, EveryKindOfRuleOfOurWriterInEveryVersion)
{
    const std::vector<std::string> expected = {
        "index - (Qty)",
        "index ByNameSince (Name desc,Since) unique nocase",
        "check Qty: min=1 max=99 default=5",
        "check Name: required default=Ann picture=&*? lookup=names.db",
        "check Price: min=0.500000",
        "check Since: min=1990-1-31 max=2030-12-1",
        "check Flag: default=true",
        "check Amount: min=-12.50 max=1000.25",
        "check Ratio: required min=-1.500000 max=2.250000",
        "reference ToParent (Qty,Name) -> parent.db (1,2) cascade",
        "reference Other (Since) -> other.DB (1) prohibit",
    };
    for (const std::uint8_t version : {0x09, 0x0B, 0x0C}) {
        testsupport::TempDir dir;
        RuleFiles files;
        files.validity.version = version;
        files.validity.tableName = "C:\\A LONG FOLDER NAME\\child.db";
        EXPECT_EQ(RulesOf(files.write(dir.path())), expected) << "version " << int(version);
        // The footer's names come after the table name area, which is longer in 0x0C.
        auto table = paradox::Table::open(dir / "child.db");
        auto source = paradox::FileSource::open(dir / "child.VAL");
        const paradox::ValidityFile val = paradox::ReadValidityFile(*source, table->header());
        EXPECT_EQ(val.fieldNames, (std::vector<std::string>{"ID", "Name", "Qty", "Price", "Since", "Flag", "Amount",
                                                            "Ratio"}));
        EXPECT_EQ(val.tableName, files.validity.tableName);
    }
}

std::size_t FooterAt(const std::string& val)
{
    return static_cast<unsigned char>(val[9]) | static_cast<std::size_t>(static_cast<unsigned char>(val[10])) << 8;
}

// A rule file that cannot be read is named with its reason; the table's other
// rule files still count.
TEST(TableRules, AFileThatCannotBeReadCostsOnlyItsOwnRules)
{
    struct Case {
        const char* what;
        std::function<void(RuleFiles&)> change;
        std::function<void(std::string& val)> damage;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"an unknown version", {}, [](std::string& v) { v[1] = 0x0D; },
         "child.VAL: unknown validity file version 13 (9 to 12 are read)"},
        {"another change count", [](RuleFiles& f) { f.validity.changeCount = 7; }, {},
         "child.VAL: its change count 7 does not match the table's 0: it belongs to another state of the table"},
        {"a field changed since", {}, [](std::string& v) { v[FooterAt(v) + 6 + 2 * 8 + 2 * 2] = 0x04; },
         "child.VAL: field 3 was a Long of size 2 when the checks were made and is now a Short of size 2"},
        {"cut short", {}, [](std::string& v) { v.resize(0x60); },
         "child.VAL: the footer runs past the end of the file"},
        {"a check of a field that is gone", {}, [](std::string& v) { v[0x35] = 40; },
         "child.VAL: a check names field 41, the table has 8"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        RuleFiles files;
        if (c.change)
            c.change(files);
        const fs::path db = files.write(dir.path());
        if (c.damage) {
            std::ifstream in(dir / "child.VAL", std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), {});
            c.damage(bytes);
            std::ofstream(dir / "child.VAL", std::ios::binary | std::ios::trunc) << bytes;
        }
        EXPECT_EQ(RulesOf(db), (std::vector<std::string>{"index - (Qty)",
                                                         "index ByNameSince (Name desc,Since) unique nocase",
                                                         "problem " + c.problem}))
            << c.what;
    }
}

// An index over a field whose type changed, or whose header is cut short.
TEST(TableRules, AnIndexThatNoLongerFitsIsNamedWithItsReason)
{
    testsupport::TempDir dir;
    RuleFiles files;
    const fs::path db = files.write(dir.path());
    RuleFiles changed;
    changed.design.fields[2].type = FieldType::Long;
    changed.design.fields[2].name = "Count";
    std::ofstream(dir / "child.X03", std::ios::binary | std::ios::trunc)
        << paradox::writer::IndexHeaderBytes(changed.design, changed.indexes[0]);
    std::ofstream(dir / "child.XG0", std::ios::binary | std::ios::trunc) << std::string(0x40, 'x');
    const std::vector<std::string> lines = RulesOf(db);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "problem child.X03: its field 1 (Count, number 3) is no longer a field of the table");
    EXPECT_EQ(lines.back(), "problem child.XG0: the file is too small for an index (64 bytes)");
}

}  // namespace
