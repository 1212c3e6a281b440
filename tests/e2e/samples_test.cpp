// The sample tables the build puts beside the program: a small, related set,
// keyed, that reads back whole and uses every kind of value the sample
// promises, pictures included.
#include "platform/paradox_source/paradox_source_connection.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

TEST(SampleTables, ReadBackWithTheTypesTheSampleShows)
{
    platform::ParadoxSourceConnection connection;
    connection.open(std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + DOVENMARK_SAMPLES
                    + ";Extended Properties=Paradox 5.x;");
    std::set<int> codes;
    std::set<paradox::ValueType> kinds;
    std::int64_t records = 0;
    for (const auto& [table, keys] :
         {std::pair{"CUSTOMER", 1}, std::pair{"ORDERS", 1}, std::pair{"ITEMS", 2}, std::pair{"PARTS", 1},
          std::pair{"PHOTOS", 1}}) {
        auto rs = connection.openRecordset(std::string("SELECT * FROM [") + table + "]");
        EXPECT_EQ(rs->keyFieldCount(), keys) << table;
        for (int f = 0; f < rs->fieldCount(); ++f)
            codes.insert(rs->fieldType(f));
        EXPECT_GT(rs->recordCount(), 10) << table;
        for (; !rs->eof(); rs->moveNext()) {
            ++records;
            for (int f = 0; f < rs->fieldCount(); ++f)
                kinds.insert(rs->value(f).type);
        }
    }
    EXPECT_GE(records, 200);
    EXPECT_LE(records, 1000);
    // text, memo, long/short/autoincrement, number, currency, date, time, timestamp, logical, graphic
    for (int code : {202, 203, 3, 2, 5, 6, 133, 134, 135, 11, 205})
        EXPECT_TRUE(codes.count(code)) << code;
    using paradox::ValueType;
    for (auto kind : {ValueType::Text, ValueType::Integer, ValueType::Double, ValueType::Currency, ValueType::Date,
                      ValueType::Time, ValueType::Timestamp, ValueType::Boolean, ValueType::Bytes, ValueType::Null})
        EXPECT_TRUE(kinds.count(kind)) << static_cast<int>(kind);
}
