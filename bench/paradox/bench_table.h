// The benchmark table: 1,000,000 records of ten mixed fields, written by our writer.
#pragma once

#include "paradox/writer/table_writer.h"

#include <filesystem>

namespace benchtable {

inline constexpr int kRecords = 1'000'000;

inline void write(const std::filesystem::path& db)
{
    using paradox::FieldType;
    using paradox::Value;
    paradox::writer::TableDesign design;
    design.blockSizeCode = 32;
    design.keyed = true;
    design.fields = {{"Id", FieldType::Autoincrement}, {"Name", FieldType::Alpha, 24}, {"City", FieldType::Alpha, 16},
                   {"Born", FieldType::Date},        {"Rank", FieldType::Short},     {"Count", FieldType::Long},
                   {"Ratio", FieldType::Number},     {"Price", FieldType::Currency}, {"Active", FieldType::Logical},
                   {"Seen", FieldType::Timestamp}};
    paradox::writer::TableWriter w(design);
    const char* cities[] = {"Zürich", "Paris", "Oslo", "Köln", "Lisboa"};
    for (int r = 0; r < kRecords; ++r) {
        const std::string name = "Customer " + std::to_string(r);
        w.addRecord({Value::ofInteger(r + 1), Value::ofText(name), Value::ofText(cities[r % 5]),
                     Value::ofDate(paradox::CivilFromDays(700000 + r % 30000)), Value::ofInteger(r % 1000 - 500),
                     r % 10 ? Value::ofInteger(r * 7) : Value::null(), Value::ofDouble(r / 7.0),
                     Value::ofCurrency(r * 0.01), Value::ofBoolean(r % 3 == 0),
                     Value::ofTimestamp(paradox::CivilFromDays(730000 + r % 5000), r % 86'400'000)});
    }
    w.writeFiles(db, std::filesystem::path(db).replace_extension(".mb"));
}

}  // namespace benchtable
