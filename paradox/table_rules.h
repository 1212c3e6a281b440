// The rules a table keeps beside its .DB file: its secondary indexes (.Xnn,
// .XGn), its validity checks and its side of referential integrity (.VAL),
// with texts decoded and values typed. A rule file that cannot be read is
// named with the reason, and the table's other rules still count.
#pragma once

#include "paradox/indexes.h"
#include "paradox/validity.h"
#include "paradox/value.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

class Table;
class TextDecoder;

// A value that keeps its own text.
class OwnedValue {
public:
    explicit OwnedValue(const Value& value) : value_(value), text_(value.text) {}
    Value get() const
    {
        Value v = value_;
        v.text = text_;
        return v;
    }

private:
    Value value_;
    std::string text_;
};

// A field's checks with their texts in UTF-8 and their values typed.
struct CheckRule {
    int field = 0;  // from 0
    bool required = false;
    std::optional<OwnedValue> minimum = {};
    std::optional<OwnedValue> maximum = {};
    std::optional<OwnedValue> defaultValue = {};
    std::string picture = {};
    std::string lookupTable = {};  // a file name such as "states.db"; empty: none
};

struct RuleFileProblem {
    std::string file;    // the file's name
    std::string reason;
};

struct TableRules {
    std::vector<SecondaryIndex> indexes;  // names in UTF-8, in file name order
    std::vector<CheckRule> checks;
    std::vector<Reference> references;    // names in UTF-8; parent tables as file names without folders
    std::vector<RuleFileProblem> problems;
};

// The rule files of the table at dbPath: NAME.VAL, NAME.Xnn and NAME.XGn in
// any letter case, read against the table's header.
TableRules ReadTableRules(const std::filesystem::path& dbPath, Table& table);

// Which rule file a name is, for a table of that stem: 'V' a validity file,
// 'X' a secondary index, 0 none (.Ynn, .YGn, .PX and others are not needed).
char RuleFileKind(const std::string& fileName, const std::string& tableStem);

// A check's stored value as the field's type reads it (not for blob fields).
Value DecodeStoredValue(const Field& field, std::string_view bytes, TextDecoder& decoder, std::string& storage);

}  // namespace paradox
