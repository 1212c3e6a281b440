// A keyed Paradox table of numbered records, big enough that a run can be
// stopped in its middle: an autoincrement ID from 1 and a NAME "Row N".
#pragma once

#include "paradox/writer/table_writer.h"

#include <filesystem>
#include <string>

namespace testsupport {

inline void WriteNumberedTable(const std::filesystem::path& db, int records)
{
    paradox::writer::TableDesign design;
    design.keyed = true;
    design.fields = {{"ID", paradox::FieldType::Autoincrement}, {"NAME", paradox::FieldType::Alpha, 20}};
    paradox::writer::TableWriter w(design);
    for (int i = 1; i <= records; ++i)
        w.addRecord({paradox::Value::ofInteger(i), paradox::Value::ofText("Row " + std::to_string(i))});
    w.writeFiles(db, std::filesystem::path(db).replace_extension(".mb"));
}

}  // namespace testsupport
