// The source connection on our own Paradox reader: a folder of .db tables
// opened as a database, queried with SELECT * FROM [NAME].
#pragma once

#include "paradox/fields.h"
#include "platform/source_connection.h"

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

class ParadoxSourceConnection final : public SourceConnection {
public:
    void setCursorLocation(int location) override { cursorLocation_ = location; }
    int cursorLocation() const { return cursorLocation_; }
    void setSourceCodePage(const std::string& name) override;
    const std::string& sourceCodePage() const { return codePage_; }
    // Takes "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<folder>;Extended Properties=Paradox 5.x;".
    void open(const std::string& connectionText) override;
    std::unique_ptr<SourceRecordset> openRecordset(const std::string& query) override;
    // Reads the file given, whatever folder it lies in and whatever its name.
    std::unique_ptr<SourceRecordset> openRecordsetFrom(const std::string& query, const std::string& file) override;
    void close() override { folder_.reset(); }

    bool isOpen() const { return folder_.has_value(); }
    const std::filesystem::path& folder() const;

private:
    int cursorLocation_ = 0;
    std::string codePage_;
    std::optional<std::filesystem::path> folder_;
};

// The one check of a source code page name, as given: empty (each table's own)
// or a name iconv knows; otherwise std::invalid_argument saying so.
void CheckSourceCodePage(const std::string& name);

class ParadoxSourceConnectionFactory final : public SourceConnectionFactory {
public:
    std::unique_ptr<SourceConnection> create() override { return std::make_unique<ParadoxSourceConnection>(); }
};

// The pieces of the connection, visible for tests.
namespace paradox_source {

// The folder named by a connection text, or nothing when the text is not of that form.
std::optional<std::string> FolderOf(const std::string& connectionText);
// The table named by "SELECT * FROM [NAME]" ("]]" stands for "]"), or nothing.
std::optional<std::string> TableOf(const std::string& query);
// The table file NAME.db of the folder itself in any letter case; the exact
// spelling wins, else the first in name order.
std::optional<std::filesystem::path> FindTable(const std::filesystem::path& folder, const std::string& name);
// ADO data type code of a Paradox field type.
std::int16_t AdoTypeOf(paradox::FieldType type);

}  // namespace paradox_source

}  // namespace platform
