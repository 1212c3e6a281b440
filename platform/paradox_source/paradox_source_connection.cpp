// ParadoxSourceConnection: connection text and query parsing, the table
// lookup in the folder, and the forward-only recordset over paradox::Table.
#include "platform/paradox_source/paradox_source_connection.h"

#include "paradox/error.h"
#include "paradox/table.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace platform {

namespace paradox_source {

namespace {

constexpr std::string_view kConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr std::string_view kConnectionSuffix = ";Extended Properties=Paradox 5.x;";
constexpr std::string_view kQueryPrefix = "SELECT * FROM [";

// Names compare as the table list makes them: upper-cased over all of Unicode,
// so "ÄPFEL" finds äpfel.db and "STRASSE" finds straße.db.
std::string UpperName(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUpper().toStdString();
}

bool EndsWithDb(const std::string& file)
{
    if (file.size() < 4)
        return false;
    const std::string_view ext(file.data() + file.size() - 3, 3);
    return ext[0] == '.' && (ext[1] == 'd' || ext[1] == 'D') && (ext[2] == 'b' || ext[2] == 'B');
}

}  // namespace

std::optional<std::string> FolderOf(const std::string& text)
{
    if (text.compare(0, kConnectionPrefix.size(), kConnectionPrefix) != 0)
        return std::nullopt;
    const auto suffix = text.rfind(kConnectionSuffix);
    if (suffix == std::string::npos || suffix < kConnectionPrefix.size() ||
        suffix + kConnectionSuffix.size() != text.size())
        return std::nullopt;
    return text.substr(kConnectionPrefix.size(), suffix - kConnectionPrefix.size());
}

std::optional<std::string> TableOf(const std::string& query)
{
    if (query.size() < kQueryPrefix.size() + 1 || query.compare(0, kQueryPrefix.size(), kQueryPrefix) != 0 ||
        query.back() != ']')
        return std::nullopt;
    const std::string_view inner(query.data() + kQueryPrefix.size(), query.size() - kQueryPrefix.size() - 1);
    std::string name;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == ']') {
            if (i + 1 >= inner.size() || inner[i + 1] != ']')
                return std::nullopt;  // a lone "]" closes the name early
            ++i;
        }
        name += inner[i];
    }
    if (name.empty())
        return std::nullopt;
    return name;
}

std::optional<std::filesystem::path> FindTable(const std::filesystem::path& folder, const std::string& name)
{
    const std::string wanted = UpperName(name);
    std::vector<std::filesystem::path> matches;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        const std::string file = p.filename().string();
        if (!EndsWithDb(file) || UpperName(std::string_view(file).substr(0, file.size() - 3)) != wanted)
            continue;
        std::error_code typeEc;
        if (it->is_regular_file(typeEc))
            matches.push_back(p);
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end(),
              [](const auto& a, const auto& b) { return a.filename().string() < b.filename().string(); });
    for (const auto& m : matches) {
        const std::string file = m.filename().string();
        if (file.compare(0, file.size() - 3, name) == 0 && file.size() - 3 == name.size())
            return m;
    }
    return matches.front();
}

std::int16_t AdoTypeOf(paradox::FieldType type)
{
    using paradox::FieldType;
    switch (type) {
    case FieldType::Alpha: return 202;          // adVarWChar
    case FieldType::Date: return 133;           // adDBDate
    case FieldType::Short: return 2;            // adSmallInt
    case FieldType::Long:
    case FieldType::Autoincrement: return 3;    // adInteger
    case FieldType::Currency: return 6;         // adCurrency
    case FieldType::Number: return 5;           // adDouble
    case FieldType::Logical: return 11;         // adBoolean
    case FieldType::Memo: return 203;           // adLongVarWChar
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic: return 205;        // adLongVarBinary
    case FieldType::Time: return 134;           // adDBTime
    case FieldType::Timestamp: return 135;      // adDBTimeStamp
    case FieldType::Bcd: return 131;            // adNumeric
    case FieldType::Bytes: return 128;          // adBinary
    }
    return 0;
}

}  // namespace paradox_source

namespace {

// A field reported as adCurrency hands out ADO's Currency: a fixed-point number
// of four decimals. Paradox keeps currency as a double, often the leftover of a
// sum (134.85000000000002), so the value is the double rounded to four decimals
// (to even on a tie, as the conversion to Currency does). Beyond 2^53 / 10^4 a
// double has no four decimals to round, so such a value comes as it is stored.
paradox::Value AsAdoCurrency(paradox::Value value)
{
    constexpr double kCurrencyLimit = 9'007'199'254'740'992.0 / 10'000.0;
    if (value.type == paradox::ValueType::Currency && std::isfinite(value.number)
        && std::fabs(value.number) < kCurrencyLimit)
        value.number = std::nearbyint(value.number * 10'000.0) / 10'000.0;
    return value;
}

class ParadoxRecordset final : public SourceRecordset {
public:
    ParadoxRecordset(std::unique_ptr<paradox::Table> table, std::filesystem::path path)
        : table_(std::move(table)), path_(std::move(path))
    {
        atRecord_ = table_->next();
        bof_ = !atRecord_;
    }

    int fieldCount() const override { return static_cast<int>(table().fieldCount()); }
    const std::string& fieldName(int index) const override { return field(index).name; }
    std::int16_t fieldType(int index) const override { return paradox_source::AdoTypeOf(field(index).type); }
    int fieldSize(int index) const override
    {
        const paradox::Field& f = field(index);
        const bool sized = f.type == paradox::FieldType::Alpha || f.type == paradox::FieldType::Bytes;
        return sized ? static_cast<int>(f.size) : 0;
    }
    int fieldScale(int index) const override { return field(index).scale(); }
    bool fieldAutoIncrement(int index) const override
    {
        return field(index).type == paradox::FieldType::Autoincrement;
    }
    int keyFieldCount() const override
    {
        // Only a keyed table has one; a key over more fields than it has is none.
        const paradox::TableHeader& header = table().header();
        if (header.fileType != paradox::kFileTypeKeyed || header.keyFieldCount > table().fieldCount())
            return 0;
        return header.keyFieldCount;
    }

    paradox::Value value(int index) override
    {
        field(index);
        if (!atRecord_)
            throw std::runtime_error("No current record: the recordset of " + table().fileName() + " is at its end.");
        return AsAdoCurrency(table_->value(static_cast<std::size_t>(index)));
    }

    std::string codePage() const override { return table().textEncoding(); }
    std::uint64_t undecodableBytes() const override { return table().undecodableBytes(); }
    std::optional<std::string> damage() const override
    {
        if (!table_)
            return damageAtClose_;
        const auto damage = table_->damage();
        if (!damage)
            return std::nullopt;
        return table_->fileName() + ": " + *damage;
    }

    paradox::TableRules rules() override
    {
        table();
        return paradox::ReadTableRules(path_, *table_);
    }

    bool eof() const override { return !atRecord_; }
    bool bof() const override { return bof_; }
    std::int64_t recordCount() const override { return table().recordCount(); }

    void moveNext() override
    {
        if (!atRecord_)
            throw std::runtime_error("Cannot move past the end of the recordset of " + table().fileName() + ".");
        bof_ = false;
        atRecord_ = false;  // stays at the end when the file cannot be read
        atRecord_ = table_->next();
    }

    void close() override
    {
        if (table_)
            damageAtClose_ = damage();
        table_.reset();
        atRecord_ = false;
    }

private:
    const paradox::Table& table() const
    {
        if (!table_)
            throw std::runtime_error("The recordset is closed.");
        return *table_;
    }
    const paradox::Field& field(int index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= table().fieldCount())
            throw std::out_of_range("Field index " + std::to_string(index) + " is out of range for " +
                                    table().fileName() + ".");
        return table().fields()[static_cast<std::size_t>(index)];
    }

    std::unique_ptr<paradox::Table> table_;
    std::filesystem::path path_;
    std::optional<std::string> damageAtClose_;
    bool atRecord_ = false;
    bool bof_ = true;
};

}  // namespace

const std::filesystem::path& ParadoxSourceConnection::folder() const
{
    if (!folder_)
        throw std::logic_error("the source connection is not open");
    return *folder_;
}

void ParadoxSourceConnection::open(const std::string& connectionText)
{
    const auto folderText = paradox_source::FolderOf(connectionText);
    if (!folderText)
        throw std::runtime_error("Unrecognised source connection text: " + connectionText);
    std::error_code ec;
    if (!std::filesystem::is_directory(*folderText, ec))
        throw std::runtime_error("The folder " + *folderText + " does not exist.");
    folder_ = std::filesystem::path(*folderText);
}

void CheckSourceCodePage(const std::string& name)
{
    if (!name.empty() && !paradox::KnownEncoding(name))
        throw std::invalid_argument("The source code page " + name +
                                    " is not known. Names such as CP437, CP850, CP866 or CP1251 are.");
}

void ParadoxSourceConnection::setSourceCodePage(const std::string& name)
{
    // A name typed into the settings may carry blanks around it.
    const auto first = name.find_first_not_of(" \t");
    const std::string trimmed =
        first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(" \t") - first + 1);
    CheckSourceCodePage(trimmed);
    codePage_ = trimmed;
}

std::unique_ptr<SourceRecordset> ParadoxSourceConnection::openRecordset(const std::string& query)
{
    return openRecordsetFrom(query, {});
}

std::unique_ptr<SourceRecordset> ParadoxSourceConnection::openRecordsetFrom(const std::string& query,
                                                                            const std::string& file)
{
    if (!folder_)
        throw std::runtime_error("The source connection is not open.");
    const auto name = paradox_source::TableOf(query);
    if (!name)
        throw std::runtime_error("Unsupported query (only SELECT * FROM [table] is understood): " + query);
    std::filesystem::path path = file;
    if (file.empty()) {
        const auto found = paradox_source::FindTable(*folder_, *name);
        if (!found)
            throw std::runtime_error("The table " + *name + " was not found in the folder " + folder_->string() + ".");
        path = *found;
    }
    try {
        return std::make_unique<ParadoxRecordset>(paradox::Table::open(path, codePage_), path);
    } catch (const paradox::FormatError& e) {
        // The file names itself; the table's name tells which entry of the list it is.
        throw std::runtime_error("The table " + *name + " cannot be read: " + e.what());
    }
}

}  // namespace platform
