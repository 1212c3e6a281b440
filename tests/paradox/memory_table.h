// Opening a table written by the test writer straight from memory.
#pragma once

#include "paradox/table.h"
#include "paradox/writer/table_writer.h"

#include <memory>
#include <string>

namespace testsupport {

inline std::unique_ptr<paradox::Table> OpenInMemory(const std::string& db, const std::string& mb,
                                                    const std::string& name = "t.db")
{
    paradox::BlobOpener opener;
    if (!mb.empty())
        opener = [mb, name]() { return std::make_unique<paradox::MemorySource>(name + ".mb", mb); };
    return std::make_unique<paradox::Table>(std::make_unique<paradox::MemorySource>(name, db), opener);
}

inline std::unique_ptr<paradox::Table> OpenInMemory(const paradox::writer::TableWriter& w)
{
    return OpenInMemory(w.databaseBytes(), w.blobBytes());
}

}  // namespace testsupport
