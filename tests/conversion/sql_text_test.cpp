// Statement texts: the drop, query, create and insert statements exactly, with
// the value rules for numeric fields, other fields, NULL and dates.
#include "conversion/sql_text.h"

#include "platform/event_loop.h"
#include "tests/support/memory_recordset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace conversion;
using paradox::CivilDate;
using paradox::Value;
using testsupport::MemoryField;

namespace {

constexpr std::int16_t kInteger = 3, kText = 202, kDouble = 5, kCurrency = 6, kBoolean = 11,
                       kDate = 133, kTime = 134, kTimestamp = 135, kMemo = 203, kBlob = 205,
                       kBcd = 131, kBytes = 128;

// Builds the table's create statement and one insert per row.
struct Table {
    explicit Table(std::vector<MemoryField> fields, RegionalSettings settings = {})
        : fields_(std::move(fields)), settings_(std::move(settings))
    {
        script.start("T");
        for (std::size_t i = 0; i < fields_.size(); ++i)
            script.addField(static_cast<int>(i), fields_[i].name, fields_[i].type, &records);
        script.finishCreate();
    }

    // As the run makes a record's statement: begin, one add per field, finish.
    std::string insert(const std::vector<Value>& row)
    {
        platform::NoEventLoop events;
        InsertBuilder builder(script, settings_, events);
        builder.begin();
        for (std::size_t f = 0; f < row.size(); ++f)
            builder.add(static_cast<int>(f), row[f]);
        return builder.finish();
    }

    std::vector<MemoryField> fields_;
    RegionalSettings settings_;
    TableScript script;
    DatatypeList records;
};

Table IdNamePrice() { return Table({{"ID", kInteger}, {"NAME", kText}, {"PRICE", kDouble}}); }

}  // namespace

TEST(Statements, DropQueryCreateTexts)
{
    EXPECT_EQ(DropStatement(Dialect::SqlServer, "ORDERS"), "DROP TABLE [ORDERS]");
    EXPECT_EQ(SourceQuery("ORDERS"), "SELECT * FROM [ORDERS]");

    TableScript s;
    s.start("ORDERS");
    s.addField(0, "ID", kInteger, nullptr);
    s.addField(1, "CUSTOMER", kText, nullptr);
    s.addField(2, "TOTAL", kDouble, nullptr);
    s.finishCreate();
    EXPECT_EQ(s.createStatement(), "CREATE TABLE [ORDERS]([ID] INT,[CUSTOMER] TEXT,[TOTAL] FLOAT);");

    Table onlyText({{"A", kText}});
    EXPECT_EQ(onlyText.script.createStatement(), "CREATE TABLE [T]([A] TEXT);");
    EXPECT_EQ(onlyText.insert({Value::ofText("x")}), "INSERT INTO [T] VALUES('x')");
}

TEST(Statements, ClosingBracketInANameIsDoubledSoTheNameCannotEndEarly)
{
    // A table file named X]; DROP TABLE [Y.db must not run a second statement.
    EXPECT_EQ(DropStatement(Dialect::SqlServer, "X]; DROP TABLE [Y"), "DROP TABLE [X]]; DROP TABLE [Y]");
    EXPECT_EQ(SourceQuery("A]B"), "SELECT * FROM [A]]B]");
    Table t({{"odd]name", kText}});
    EXPECT_EQ(t.script.createStatement(), "CREATE TABLE [T]([odd]]name] TEXT);");

    TableScript s;
    s.start("X]Y");
    s.addField(0, "A", kText, nullptr);
    s.finishCreate();
    EXPECT_EQ(s.createStatement(), "CREATE TABLE [X]]Y]([A] TEXT);");
    platform::NoEventLoop events;
    RegionalSettings settings;
    InsertBuilder b(s, settings, events);
    b.begin();
    b.add(0, Value::ofText("v"));
    EXPECT_EQ(b.finish(), "INSERT INTO [X]]Y] VALUES('v')");
}

TEST(Statements, PerFieldStepFillsDefinitionsNumericListAndRecords)
{
    Table t({{"A", kInteger}, {"B", 200}, {"C", kDouble}});
    EXPECT_EQ(t.script.createStatement(), "CREATE TABLE [T]([A] INT,[B] TEXT,[C] FLOAT);");
    EXPECT_EQ(t.script.numericFields(), (std::vector<int>{0, 2}));
    ASSERT_EQ(t.records.count(), 3);
    const auto& r = t.records.record(2);
    EXPECT_EQ(r.table, "T");
    EXPECT_EQ(r.field, "B");
    EXPECT_EQ(r.paradoxType, "char");
    EXPECT_EQ(r.sqlType, "TEXT");

    Table notes({{"NOTES", kMemo}, {"PICTURE", kBlob}});
    EXPECT_EQ(notes.script.createStatement(),
              "CREATE TABLE [T]([NOTES] TEXT,[PICTURE] VARBINARY(MAX));");
    EXPECT_TRUE(notes.script.numericFields().empty());
    EXPECT_EQ(notes.records.record(2).paradoxType, "adlongvarbinary");
    EXPECT_EQ(notes.records.record(2).sqlType, "VARBINARY(MAX)");
}

TEST(InsertValues, ExamplesWithNumericFields)
{
    Table orders({{"ID", kInteger}, {"CUSTOMER", kText}, {"NOTE", kText}, {"TOTAL", kDouble}});
    EXPECT_EQ(orders.insert({Value::ofInteger(1), Value::ofText("Smith"), Value::null(),
                             Value::ofDouble(12.5)}),
              "INSERT INTO [T] VALUES(1, 'Smith',NULL, 12.5)");

    Table t = IdNamePrice();
    EXPECT_EQ(t.insert({Value::ofInteger(7), Value::ofText("O'Brien"), Value::ofDouble(2.5)}),
              "INSERT INTO [T] VALUES(7, 'O''Brien', 2.5)");
    EXPECT_EQ(t.insert({Value::ofInteger(7), Value::null(), Value::ofDouble(2.5)}),
              "INSERT INTO [T] VALUES(7,NULL, 2.5)");
    EXPECT_EQ(t.insert({Value::null(), Value::ofText("O'Brien"), Value::ofDouble(2.5)}),
              "INSERT INTO [T] VALUES(NULL, 'O''Brien', 2.5)");
    EXPECT_EQ(t.insert({Value::ofInteger(7), Value::ofText("O'Brien"), Value::null()}),
              "INSERT INTO [T] VALUES(7, 'O''Brien',NULL)");
    // The empty text is written NULL exactly like a Null.
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofText(""), Value::ofDouble(3)}),
              "INSERT INTO [T] VALUES(1,NULL, 3)");
    EXPECT_EQ(t.insert({Value::null(), Value::null(), Value::null()}),
              "INSERT INTO [T] VALUES(NULL,NULL,NULL)");
}

TEST(InsertValues, DatesTimesAndTextsThatReadAsDates)
{
    Table t({{"ID", kInteger}, {"D", kDate}, {"TS", kTimestamp}, {"TM", kTime}, {"S", kText}});
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofDate({2020, 12, 31}),
                        Value::ofTimestamp({2020, 12, 31}, (15 * 3600 + 45 * 60) * 1000),
                        Value::ofTime((10 * 3600 + 30 * 60) * 1000), Value::ofText("10:30")}),
              "INSERT INTO [T] VALUES(1, '12/31/2020', '12/31/2020 15:45:00', "
              "'12/30/1899 10:30:00', '12/30/1899 10:30:00')");
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::null(), Value::ofTimestamp({2020, 12, 31}, 0),
                        Value::null(), Value::ofText("2020-12-31")}),
              "INSERT INTO [T] VALUES(1,NULL, '12/31/2020',NULL, '12/31/2020')");
    // Texts that are only part of a date stay as they are.
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::null(), Value::null(), Value::null(),
                        Value::ofText("3/4")}),
              "INSERT INTO [T] VALUES(1,NULL,NULL,NULL, '3/4')");
}

TEST(InsertValues, BooleansCurrencyBcdAndBytes)
{
    Table t({{"ID", kInteger}, {"OK", kBoolean}, {"PAID", kCurrency}, {"AMOUNT", kBcd},
             {"RAW", kBytes}});
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofBoolean(true), Value::ofCurrency(12.5),
                        Value::ofBcd("-1234.50"), Value::ofBytes(std::string_view("\x00\xff\x10", 3))}),
              "INSERT INTO [T] VALUES(1, 'True', '12.5', -1234.50, '0x00FF10')");
    EXPECT_EQ(t.insert({Value::ofInteger(2), Value::ofBoolean(false), Value::null(), Value::null(),
                        Value::null()}),
              "INSERT INTO [T] VALUES(2, 'False',NULL,NULL,NULL)");
}

TEST(InsertValues, DecimalCommaInAndOutOfNumericFields)
{
    RegionalSettings comma;
    comma.decimalSeparator = ",";
    Table withNumeric({{"D", kDouble}, {"C", kCurrency}}, comma);
    EXPECT_EQ(withNumeric.insert({Value::ofDouble(2.5), Value::ofCurrency(2.5)}),
              "INSERT INTO [T] VALUES(2.5, '2,5')");

    // Without numeric fields a text that reads as a number has its commas made points.
    Table noNumeric({{"C", kCurrency}, {"S", kText}}, comma);
    EXPECT_EQ(noNumeric.insert({Value::ofCurrency(2.5), Value::ofText("1,25")}),
              "INSERT INTO [T] VALUES('2.5', '1.25')");
    // ... while with the point as separator "1,5" is no number and keeps its comma.
    Table pointNoNumeric({{"S", kText}});
    EXPECT_EQ(pointNoNumeric.insert({Value::ofText("1,5")}), "INSERT INTO [T] VALUES('1,5')");
    EXPECT_EQ(pointNoNumeric.insert({Value::ofText("-1.5e3")}), "INSERT INTO [T] VALUES('-1.5e3')");

    Table bcd({{"N", kBcd}}, comma);
    EXPECT_EQ(bcd.insert({Value::ofBcd("0.10")}), "INSERT INTO [T] VALUES(0.10)");
}

TEST(InsertValues, TextKeepsLineBreaksQuotesAndEverySpace)
{
    Table t({{"S", kText}});
    EXPECT_EQ(t.insert({Value::ofText("a\r\nb")}), "INSERT INTO [T] VALUES('a\r\nb')");
    EXPECT_EQ(t.insert({Value::ofText("  x  ")}), "INSERT INTO [T] VALUES('  x  ')");
    EXPECT_EQ(t.insert({Value::ofText("''")}), "INSERT INTO [T] VALUES('''''')");
    EXPECT_EQ(t.insert({Value::ofText(" ")}), "INSERT INTO [T] VALUES(' ')");
    // SQL Server drops a backslash before a line break with the break; one more
    // backslash and break, which it drops instead, keeps both.
    EXPECT_EQ(t.insert({Value::ofText("C:\\DATA\\\r\nnext\\\n")}),
              "INSERT INTO [T] VALUES('C:\\DATA\\\\\r\n\r\nnext\\\\\n\n')");
    EXPECT_EQ(t.insert({Value::ofText("a\\b\\ \n\\\r")}), "INSERT INTO [T] VALUES('a\\b\\ \n\\\r')");
}

TEST(InsertValues, NumericFieldValueThatIsNoNumberIsQuotedText)
{
    // A value that does not read as a number would be a syntax error bare.
    Table t({{"N", kDouble}, {"I", kInteger}});
    EXPECT_EQ(t.insert({Value::ofText("abc'd"), Value::ofText("12")}),
              "INSERT INTO [T] VALUES('abc''d', 12)");
}

TEST(InsertValues, DoublesKeepEveryDigitAndDamagedOnesBecomeNull)
{
    Table t({{"N", kDouble}});
    EXPECT_EQ(t.insert({Value::ofDouble(1.0 / 3.0)}), "INSERT INTO [T] VALUES(0.3333333333333333)");
    EXPECT_EQ(t.insert({Value::ofDouble(0.1)}), "INSERT INTO [T] VALUES(0.1)");
    EXPECT_EQ(t.insert({Value::ofDouble(1e20)}), "INSERT INTO [T] VALUES(1E+20)");
    EXPECT_EQ(t.insert({Value::ofDouble(std::numeric_limits<double>::quiet_NaN())}),
              "INSERT INTO [T] VALUES(NULL)");
    EXPECT_EQ(t.insert({Value::ofDouble(-std::numeric_limits<double>::infinity())}),
              "INSERT INTO [T] VALUES(NULL)");
}

TEST(InsertValues, DatesOutsideYearsOneTo9999KeepTheirValueText)
{
    Table t({{"ID", kInteger}, {"D", kDate}});
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofDate({-2, 12, 31})}),
              "INSERT INTO [T] VALUES(1, '-0002-12-31')");
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofDate({12345, 1, 2})}),
              "INSERT INTO [T] VALUES(1, '12345-01-02')");
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofDate({0, 6, 1})}),
              "INSERT INTO [T] VALUES(1, '0000-06-01')");
}

TEST(InsertValues, BinaryFieldsAreWrittenNull)
{
    Table t({{"ID", kInteger}, {"PIC", kBlob}, {"S", kText}});
    EXPECT_EQ(t.insert({Value::ofInteger(1), Value::ofBytes("GIF89a"), Value::ofText("x")}),
              "INSERT INTO [T] VALUES(1,NULL, 'x')");
    Table first({{"PIC", kBlob}, {"S", kText}});
    EXPECT_EQ(first.insert({Value::ofBytes("\x89PNG"), Value::ofText("x")}),
              "INSERT INTO [T] VALUES(NULL, 'x')");
}

TEST(InsertValues, RegionalSeparatorsShapeDates)
{
    RegionalSettings dots;
    dots.dateSeparator = ".";
    Table t({{"TS", kTimestamp}}, dots);
    // The value text uses the regional separators and reads back as the same date and time.
    EXPECT_EQ(t.insert({Value::ofTimestamp({2021, 3, 4}, (1 * 3600 + 2 * 60 + 3) * 1000)}),
              "INSERT INTO [T] VALUES('03.04.2021 01:02:03')");
}

// Under SQL Server column types every value is written for its column's type:
// texts exactly as stored (nothing recognised in them, escaped as ever inside
// N'...'), dates and times in forms every language setting reads alike; a
// value the type cannot hold is NULL and counted.
TEST(InsertValues, SqlServerColumnTypesWriteEachValueForItsType)
{
    struct Case {
        MemoryField field;
        Value value;
        const char* column;
        const char* item;
        bool outOfRange = false;
    };
    const Case cases[] = {
        {{"A", kText, 40}, Value::ofText("it's 12/31/2020"), "NVARCHAR(40)", "N'it''s 12/31/2020'"},
        {{"A", kText, 40}, Value::ofText("1,5"), "NVARCHAR(40)", "N'1,5'"},
        {{"A", kText, 40}, Value::ofText("C:\\\nx"), "NVARCHAR(40)", "N'C:\\\\\n\nx'"},
        {{"A", kText, 40}, Value::ofText(""), "NVARCHAR(40)", "NULL"},
        {{"M", kMemo}, Value::ofText("\xD0\x96"), "NVARCHAR(MAX)", "N'\xD0\x96'"},
        {{"S", 2}, Value::ofInteger(-7), "SMALLINT", "-7"},
        {{"L", kInteger}, Value::ofInteger(2147483647), "INT", "2147483647"},
        {{"L", kInteger, 0, 0, true}, Value::ofInteger(5), "INT IDENTITY(1,1)", "5"},
        {{"N", kDouble}, Value::ofDouble(1e20), "FLOAT", "1E+20"},
        {{"N", kDouble}, Value::ofDouble(0.1), "FLOAT", "0.1"},
        {{"N", kDouble}, Value::ofDouble(std::numeric_limits<double>::quiet_NaN()), "FLOAT", "NULL", true},
        {{"C", kCurrency}, Value::ofCurrency(12.3456), "MONEY", "12.3456"},
        {{"C", kCurrency}, Value::ofCurrency(1e15), "MONEY", "NULL", true},
        {{"B", kBcd, 0, 4}, Value::ofBcd("-12.3400"), "DECIMAL(32,4)", "-12.3400"},
        {{"D", kDate}, Value::ofDate({2020, 12, 31}), "DATE", "'2020-12-31'"},
        {{"D", kDate}, Value::ofDate({10000, 1, 1}), "DATE", "NULL", true},
        {{"T", kTime}, Value::ofTime(36'000'123), "TIME(3)", "'10:00:00.123'"},
        {{"T", kTime}, Value::ofTime(-1), "TIME(3)", "NULL", true},
        {{"S", kTimestamp}, Value::ofTimestamp({1, 1, 1}, 0), "DATETIME2(3)", "'0001-01-01T00:00:00.000'"},
        {{"S", kTimestamp}, Value::ofTimestamp({-1, 12, 31}, 0), "DATETIME2(3)", "NULL", true},
        {{"L", kBoolean}, Value::ofBoolean(true), "BIT", "1"},
        {{"L", kBoolean}, Value::ofBoolean(false), "BIT", "0"},
        {{"Y", kBytes, 2}, Value::ofBytes(std::string_view("\0\xFF", 2)), "VARBINARY(2)", "0x00FF"},
        {{"P", kBlob}, Value::ofBytes("\x01"), "VARBINARY(MAX)", "NULL"},  // not without Transfer Binary
    };
    platform::NoEventLoop events;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        TableScript script(ColumnTypes::SqlServer);
        DatatypeList records;
        script.start("T");
        script.addField(0, c.field.name, c.field.type, FieldShape{c.field.size, c.field.scale, c.field.autoIncrement},
                        &records);
        script.finishCreate();
        EXPECT_EQ(script.createStatement(), "CREATE TABLE [T]([" + c.field.name + "] " + c.column + ");");
        EXPECT_EQ(records.record(1).sqlType, c.column);
        EXPECT_NE(records.record(1).paradoxType, "OTHER TYPES");  // the column type says more
        InsertBuilder builder(script, RegionalSettings{",", ".", "."}, events);
        builder.begin();
        builder.add(0, c.value);
        const std::string prefix = c.field.autoIncrement ? "INSERT INTO [T]([L]) VALUES(" : "INSERT INTO [T] VALUES(";
        EXPECT_EQ(builder.finish(), prefix + c.item + ")");
        EXPECT_EQ(builder.outOfRangeValues(), c.outOfRange ? 1 : 0);
    }
}
