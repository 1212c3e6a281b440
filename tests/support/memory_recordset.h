// A source recordset over values held in memory, for engine tests.
#pragma once

#include "platform/source_connection.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

struct MemoryField {
    std::string name;
    std::int16_t type;
    int size = 0;  // ADO's DefinedSize, NumericScale and ISAUTOINCREMENT
    int scale = 0;
    bool autoIncrement = false;
};

class MemoryRecordset : public platform::SourceRecordset {
public:
    MemoryRecordset(std::vector<MemoryField> fields, std::vector<std::vector<paradox::Value>> rows,
                    std::optional<std::string> damage = std::nullopt, int keyFields = 0)
        : fields_(std::move(fields)), rows_(std::move(rows)), damage_(std::move(damage)), keyFields_(keyFields)
    {
    }

    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const std::string& fieldName(int i) const override { return fields_.at(static_cast<std::size_t>(i)).name; }
    std::int16_t fieldType(int i) const override { return fields_.at(static_cast<std::size_t>(i)).type; }
    int fieldSize(int i) const override { return fields_.at(static_cast<std::size_t>(i)).size; }
    int fieldScale(int i) const override { return fields_.at(static_cast<std::size_t>(i)).scale; }
    bool fieldAutoIncrement(int i) const override { return fields_.at(static_cast<std::size_t>(i)).autoIncrement; }
    int keyFieldCount() const override { return keyFields_; }
    paradox::Value value(int i) override
    {
        if (eof())
            throw std::runtime_error("Either BOF or EOF is True.");
        return rows_.at(current_).at(static_cast<std::size_t>(i));
    }
    bool eof() const override { return current_ >= rows_.size(); }
    bool bof() const override { return rows_.empty(); }
    std::int64_t recordCount() const override { return static_cast<std::int64_t>(rows_.size()); }
    void moveNext() override
    {
        if (eof())
            throw std::runtime_error("Either BOF or EOF is True.");
        ++current_;
    }
    void close() override {}
    std::optional<std::string> damage() const override { return eof() ? damage_ : std::nullopt; }
    paradox::TableRules rules() override { return tableRules; }

    paradox::TableRules tableRules;  // what the files beside the table would hold

private:
    std::vector<MemoryField> fields_;
    std::vector<std::vector<paradox::Value>> rows_;
    std::optional<std::string> damage_;
    int keyFields_ = 0;
    std::size_t current_ = 0;
};

}  // namespace testsupport
