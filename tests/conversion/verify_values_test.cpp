// How verify sees values: the same value written another way is equal, any
// other value is not; and an insert's constants read as the server stores them.
#include "conversion/row_count.h"
#include "conversion/verify_values.h"
#include "tests/support/fake_server.h"

#include <gtest/gtest.h>

namespace {

using namespace conversion;

TEST(VerifyValues, TheSameValueWrittenAnotherWayIsEqualAndNothingElse)
{
    constexpr Dialect kServer = Dialect::SqlServer;
    struct Case {
        const char* type;
        Dialect dialect;
        const char* written;
        const char* read;
        bool equal;
    };
    const Case cases[] = {
        {"FLOAT", kServer, "150", "1.5E+2", true},
        {"FLOAT", kServer, "0.30000000000000004", "0.3", true},  // to 15 significant digits
        {"FLOAT", kServer, "-0", "0", true},
        {"FLOAT", kServer, "150", "150.01", false},
        {"REAL", kServer, "0.1", "0.100000001490116", true},
        {"MONEY", kServer, "12.5", "12.5000", true},
        {"MONEY", kServer, "0.123456", "0.1235", true},  // MONEY keeps four decimals
        {"MONEY", kServer, "12.5", "12.51", false},
        {"DECIMAL(32,2)", kServer, "12345678901234567890.125", "12345678901234567890.13", true},
        {"DECIMAL(32,2)", kServer, "-0.004", "0.00", true},
        {"DECIMAL(32,2)", kServer, "12345678901234567.89", "1.23456789012346e+16", false},
        {"DECIMAL(32,2)", Dialect::Sqlite, "12345678901234567.89", "1.23456789012346e+16", true},  // a double there
        {"INT", kServer, "007", "7", true},
        {"INT", kServer, "7", "70", false},
        {"DATETIME2(3)", kServer, "2020-12-31T10:30:00.120", "2020-12-31 10:30:00.1200000", true},
        {"DATETIME2(3)", kServer, "2020-12-31T10:30:00.000", "2020-12-31 10:30:00", true},
        {"DATETIME2(3)", kServer, "2020-12-31T10:30:00.000", "2020-12-31 10:30:01", false},
        {"TIME(3)", kServer, "09:05:00.000", "09:05:00.0000000", true},
        {"DATE", kServer, "2020-01-02", "2020-01-03", false},
        {"TEXT", kServer, "150", "1.5E+2", false},  // texts compare exactly
        {"NVARCHAR(20)", kServer, "abc", "abc ", false},
    };
    std::string scratch;
    for (const Case& c : cases) {
        const ColumnComparison column = ComparisonOf(c.type, c.dialect);
        const std::uint64_t written = ValueHash(column, ValueKind::Text, c.written, scratch);
        EXPECT_EQ(written == ValueHash(column, ValueKind::Text, c.read, scratch), c.equal)
            << c.type << ": " << c.written << " and " << c.read;
    }
    // NULL equals only NULL, not the empty text; bytes are not the text they spell.
    const ColumnComparison text = ComparisonOf("TEXT", kServer);
    EXPECT_NE(ValueHash(text, ValueKind::Null, "", scratch), ValueHash(text, ValueKind::Text, "", scratch));
    EXPECT_NE(ValueHash(text, ValueKind::Bytes, "AB", scratch), ValueHash(text, ValueKind::Text, "AB", scratch));
}

TEST(VerifyValues, InsertConstantsAsTheServerStoresThem)
{
    const std::string prefix = "INSERT INTO [T] VALUES(";
    const std::string statement = prefix + "NULL,'it''s', N'a\\\nb\\', 1.5E+2, 0x00FF, X'41')";
    std::vector<Constant> constants;
    for (const Dialect dialect : {Dialect::SqlServer, Dialect::Sqlite}) {
        ReadConstants(statement, prefix.size(), dialect, constants);
        ASSERT_EQ(constants.size(), 6u);
        EXPECT_EQ(constants[0].kind, ValueKind::Null);
        EXPECT_EQ(constants[1].value, "it's");
        // SQL Server drops a backslash before a line break with the break; SQLite keeps both.
        EXPECT_EQ(constants[2].value, dialect == Dialect::SqlServer ? "ab\\" : "a\\\nb\\");
        EXPECT_EQ(constants[3].kind, ValueKind::Text);
        EXPECT_EQ(constants[3].value, "1.5E+2");
        EXPECT_EQ(constants[4].kind, ValueKind::Bytes);
        EXPECT_EQ(constants[4].value, std::string("\0\xFF", 2));
        EXPECT_EQ(constants[5].value, "A");
    }
    // Lines a script tool reads as its own, their line breaks joined (SQL Server only).
    ReadConstants(prefix + "CAST(N'a' AS NVARCHAR(MAX)) + NCHAR(13) + NCHAR(10) + N'GO', 'x' + CHAR(10) + NCHAR(8232) "
                           "+ ':r')", prefix.size(), Dialect::SqlServer, constants);
    EXPECT_EQ(constants.size(), 2u);
    EXPECT_EQ(constants[0].value + constants[1].value, "a\r\nGOx\n\xE2\x80\xA8:r");
    for (const std::string bad : {"NULL,'open)", "0x0F0)", "1 2)", "NULL", "'a' + NCHAR(x))"})
        EXPECT_THROW(ReadConstants(prefix + bad, prefix.size(), Dialect::SqlServer, constants),
                     std::invalid_argument) << bad;
}

// The count is the one value of the count statement's one row; anything else is no count.
TEST(RowCount, TheOneNumberOfTheCountStatement)
{
    testsupport::FakeServerState state;
    testsupport::FakeServerConnection server(state);
    server.open("");
    state.answers = [](const std::string&) { return testsupport::FakeRows{{""}, {}}; };
    EXPECT_THROW(CountRows(server, Dialect::SqlServer, "T"), std::runtime_error);  // no row to read
    state.queries.clear();
    std::optional<std::string> answer = "1000000";
    state.answers = [&answer](const std::string&) { return testsupport::FakeRows{{""}, {{answer}}}; };
    EXPECT_EQ(CountRows(server, Dialect::SqlServer, "T"), 1'000'000);
    EXPECT_EQ(CountRows(server, Dialect::Sqlite, "O'K]"), 1'000'000);
    EXPECT_EQ(state.queries, (std::vector<std::string>{"SELECT COUNT_BIG(*) FROM [T]", R"(SELECT COUNT(*) FROM "O'K]")"}));
    for (const std::optional<std::string>& bad : {std::optional<std::string>("12 rows"), std::optional<std::string>()}) {
        answer = bad;
        EXPECT_THROW(CountRows(server, Dialect::SqlServer, "T"), std::runtime_error);
    }
}

}  // namespace
