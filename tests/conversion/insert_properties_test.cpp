// Insert statements over many random values: the typed shortcuts give exactly
// what the rules give, and no value of any kind breaks a statement.
#include "conversion/sql_text.h"

#include "platform/event_loop.h"
#include "tests/conversion/tsql_values.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace conversion;
using paradox::Value;
using paradox::ValueType;

namespace {

constexpr std::int16_t kCodes[] = {202, 133, 2, 3, 6, 5, 11, 203, 205, 134, 135, 131, 128, 14, 4, 300};

struct RandomValues {
    std::mt19937_64 gen{20211231};
    std::string storage[8];
    int next = 0;

    double anyDouble()
    {
        switch (gen() % 6) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return (gen() % 2 ? 1 : -1) * std::numeric_limits<double>::infinity();
        case 2: return static_cast<double>(static_cast<std::int64_t>(gen() % 2000000) - 1000000) / 100.0;
        default: {
            std::uint64_t bits = gen();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        }
    }

    std::string_view text()
    {
        static const char* pieces[] = {"O'Brien", "12/31/2020", "10:30", "2,5", "1.5", " ", "",
                                       "\r\n", "'", "31 December 2020", "-1e5", "NULL", "]",
                                       "äöü", "3/4", "May", "12:00 PM", "\x01\xff"};
        std::string& s = storage[next++ % 8];
        s.clear();
        const int parts = static_cast<int>(gen() % 4);
        for (int i = 0; i < parts; ++i)
            s += pieces[gen() % (sizeof pieces / sizeof *pieces)];
        return s;
    }

    paradox::CivilDate date()
    {
        if (gen() % 10 == 0)
            return {static_cast<std::int32_t>(gen()), static_cast<std::int32_t>(gen() % 12 + 1),
                    static_cast<std::int32_t>(gen() % 31 + 1)};
        return paradox::CivilFromDays(static_cast<std::int64_t>(gen() % 3652059));
    }

    std::int64_t ms()
    {
        if (gen() % 10 == 0)
            return static_cast<std::int64_t>(gen()) >> (gen() % 64);
        return gen() % 3 == 0 ? 0 : static_cast<std::int64_t>(gen() % 86'400'000);
    }

    // The script of a table T of 1 to `most` fields of random types, made to its
    // CREATE TABLE; the number of fields.
    int table(TableScript& script, unsigned most)
    {
        script.start("T");
        const int fields = 1 + static_cast<int>(gen() % most);
        for (int f = 0; f < fields; ++f)
            script.addField(f, "F", kCodes[gen() % std::size(kCodes)], nullptr);
        script.finishCreate();
        return fields;
    }

    Value any()
    {
        switch (gen() % 11) {
        case 0: return Value::null();
        case 1: return Value::ofText(text());
        case 2: return Value::ofInteger(static_cast<std::int64_t>(gen()));
        case 3: return Value::ofDouble(anyDouble());
        case 4: return Value::ofCurrency(anyDouble());
        case 5: return Value::ofBcd(gen() % 2 ? "-123.4500" : "0.00");
        case 6: return Value::ofBoolean(gen() % 2);
        case 7: return Value::ofDate(date());
        case 8: return Value::ofTime(ms());
        case 9: return Value::ofTimestamp(date(), ms());
        default: return Value::ofBytes(text());
        }
    }
};

}  // namespace

TEST(InsertProperties, TypedShortcutsGiveWhatTheRulesGive)
{
    RandomValues random;
    platform::NoEventLoop events;
    RegionalSettings point, comma;
    comma.decimalSeparator = ",";
    for (const RegionalSettings* settings : {&point, &comma}) {
        for (int table = 0; table < 300; ++table) {
            TableScript script;
            const int fields = random.table(script, 6);
            InsertBuilder fast(script, *settings, events);
            InsertBuilder rules(script, *settings, events);
            rules.setFastPaths(false);
            for (int record = 0; record < 50; ++record) {
                std::vector<Value> values;
                for (int f = 0; f < fields; ++f)
                    values.push_back(random.any());
                fast.begin();
                rules.begin();
                for (int f = 0; f < fields; ++f) {
                    fast.add(f, values[static_cast<std::size_t>(f)]);
                    rules.add(f, values[static_cast<std::size_t>(f)]);
                }
                ASSERT_EQ(fast.finish(), rules.finish());
            }
        }
    }
}

TEST(InsertProperties, EveryValueGivesOneWellFormedStatement)
{
    RandomValues random;
    platform::NoEventLoop events;
    RegionalSettings settings;
    for (int round = 0; round < 2000; ++round) {
        TableScript script;
        const int fields = random.table(script, 8);
        InsertBuilder builder(script, settings, events);
        builder.begin();
        for (int f = 0; f < fields; ++f)
            builder.add(f, random.any());
        const std::string& s = builder.finish();
        ASSERT_EQ(s.rfind("INSERT INTO [T] VALUES(", 0), 0u) << s;
        ASSERT_EQ(s.back(), ')') << s;
        // Outside quoted literals the statement holds only numbers, NULL, commas and blanks,
        // and every literal is closed.
        bool inQuote = false;
        for (std::size_t i = 23; i + 1 < s.size(); ++i) {
            const char c = s[i];
            if (c == '\'') {
                if (inQuote && i + 1 < s.size() && s[i + 1] == '\'') {
                    ++i;
                    continue;
                }
                inQuote = !inQuote;
            } else if (!inQuote) {
                ASSERT_NE(std::string("0123456789.,-+Ee NUL").find(c), std::string::npos) << s;
            }
        }
        ASSERT_FALSE(inQuote) << s;
    }
}

TEST(InsertProperties, AMegabyteMemoAndExtremeNumbersAreWrittenWhole)
{
    platform::NoEventLoop events;
    RegionalSettings settings;
    TableScript script;
    script.start("T");
    script.addField(0, "N", 3, nullptr);
    script.addField(1, "M", 203, nullptr);
    script.addField(2, "D", 5, nullptr);
    script.finishCreate();
    InsertBuilder builder(script, settings, events);
    std::string memo(1 << 20, 'x');
    memo[500] = '\'';
    builder.begin();
    builder.add(0, Value::ofInteger(std::numeric_limits<std::int64_t>::max()));
    builder.add(1, Value::ofText(memo));
    builder.add(2, Value::ofDouble(-std::numeric_limits<double>::max()));
    const std::string& s = builder.finish();
    EXPECT_EQ(s.size(), std::string("INSERT INTO [T] VALUES(9223372036854775807, '', -1.7976931348623157E+308)").size()
                            + memo.size() + 1);
    EXPECT_NE(s.find("x''x"), std::string::npos);
}

// Texts of backslashes, line breaks, quotes, non-ASCII characters and lines a
// script tool reads as its own, short and longer than 8,000 bytes, come back
// from every rule that quotes a text exactly as SQL Server would store them,
// and no line of the statement reads as a batch separator; texts without a
// backslash before a line break or such a line are written as before, inside
// plain quotes.
TEST(InsertProperties, ServerStoresEveryTextAsTheSourceHasIt)
{
    using testsupport::TsqlValues;
    // The server's rules themselves, from its documentation (the second case is
    // the remedy Microsoft gives for the continuation).
    EXPECT_EQ(TsqlValues::evaluate("'c:\\\r\nX'").utf8, "c:X");
    EXPECT_EQ(TsqlValues::evaluate("'c:\\\\\r\n\r\nX'").utf8, "c:\\\r\nX");
    EXPECT_EQ(TsqlValues::evaluate("'a''b' + N'\xC3\xA9'").utf8, "a'b\xC3\xA9");
    EXPECT_EQ(TsqlValues::evaluate("'" + std::string(5000, 'a') + "' + '" + std::string(5000, 'b') + "'").utf8.size(),
              8000u);

    std::mt19937_64 gen(1996);
    // The last ones begin lines that sqlcmd or the management studio reads as their own.
    const char* pieces[] = {"\\", "\r", "\n", "\r\n", "\\\r\n", "\\\n", "'", "x", " ", "\xC3\xA9", "\xD0\x96",
                            "\xE2\x82\xAC", "\xE2\x80\xA8", "GO", " go 5", ":r x", "!!ls", "Exit"};
    const std::size_t plain = std::size(pieces) - 5;
    platform::NoEventLoop events;
    const RegionalSettings settings;
    // A text field alone (rule C), a memo beside a number (rule B), a numeric
    // field holding a text (rule A writes it quoted), and under SQL Server
    // column types a text field and a memo (N'...').
    const std::vector<std::pair<std::vector<std::int16_t>, ColumnTypes>> tables = {
        {{202}, ColumnTypes::Text},
        {{3, 203}, ColumnTypes::Text},
        {{202, 3}, ColumnTypes::Text},
        {{202}, ColumnTypes::SqlServer},
        {{3, 203}, ColumnTypes::SqlServer}};
    for (int round = 0; round < 600; ++round) {
        std::string text;
        const std::size_t size = round % 10 == 0 ? 8000 + gen() % 9000 : gen() % 40;
        bool commands = false;
        while (text.size() <= size) {
            const std::size_t piece = gen() % std::size(pieces);
            commands = commands || piece >= plain;
            text += pieces[piece];
        }
        if (text.find_first_not_of(" \r\n") == std::string::npos)
            text += 'x';  // an all-blank text would only test the NULL rule
        const bool continuation = text.find("\\\n") != std::string::npos || text.find("\\\r\n") != std::string::npos;
        for (const auto& [codes, types] : tables) {
            TableScript script(types);
            script.start("T");
            for (std::size_t f = 0; f < codes.size(); ++f)
                script.addField(static_cast<int>(f), "F", codes[f], nullptr);
            script.finishCreate();
            InsertBuilder builder(script, settings, events);
            builder.begin();
            for (std::size_t f = 0; f < codes.size(); ++f)
                builder.add(static_cast<int>(f), f + 1 == codes.size() ? Value::ofText(text) : Value::ofInteger(7));
            const std::string& statement = builder.finish();
            const auto items = TsqlValues::itemsOf(statement);
            ASSERT_EQ(items.size(), codes.size()) << statement.substr(0, 200);
            ASSERT_TRUE(items.back()) << statement.substr(0, 200);
            ASSERT_EQ(*items.back(), text) << statement.substr(0, 200);
            ASSERT_EQ(testsupport::ScriptStatements(statement + "\nGO\n").size(), 1u) << statement.substr(0, 200);
            if (!continuation && !commands) {
                std::string quoted;
                for (char c : text)
                    quoted += c == '\'' ? std::string("''") : std::string(1, c);
                ASSERT_NE(statement.find((types == ColumnTypes::SqlServer ? "N'" : "'") + quoted + "'"),
                          std::string::npos);
            }
        }
    }
}
