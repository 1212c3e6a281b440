// Finding a table's rule files beside it and reading them, each on its own:
// one that cannot be read costs only its own rules.
#include "paradox/table_rules.h"

#include "paradox/error.h"
#include "paradox/table.h"
#include "paradox/values.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace paradox {

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool IsHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string Decoded(TextDecoder& decoder, std::string_view raw)
{
    std::string out;
    decoder.decode(raw, out);
    return out;
}

// A parent or lookup table as its file name, without the folder some files store with it.
std::string FileNameOnly(std::string name)
{
    const auto slash = name.find_last_of("\\/:");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::optional<OwnedValue> StoredValue(const Field& field, const std::string& bytes, TextDecoder& decoder)
{
    if (bytes.empty())
        return std::nullopt;
    std::string storage;
    const Value v = DecodeStoredValue(field, bytes, decoder, storage);
    if (v.isNull())
        return std::nullopt;
    // The text of a decoded value may point into `bytes` or `storage`: keep a copy.
    return OwnedValue(v);
}

void ReadValidity(const std::filesystem::path& path, const Table& table, TextDecoder& decoder, TableRules& rules)
{
    auto source = FileSource::open(path);
    const ValidityFile file = ReadValidityFile(*source, table.header());
    std::vector<CheckRule> checks;
    for (const FieldCheck& c : file.checks) {
        const Field& field = table.fields()[static_cast<std::size_t>(c.field)];
        CheckRule& r = checks.emplace_back();
        r.field = c.field;
        r.required = c.required;
        try {
            r.minimum = StoredValue(field, c.minimum, decoder);
            r.maximum = StoredValue(field, c.maximum, decoder);
            r.defaultValue = StoredValue(field, c.defaultValue, decoder);
        } catch (const std::domain_error& e) {
            throw FormatError(source->name(), "a value of the checks of field " + field.name + ": " + e.what());
        }
        r.picture = Decoded(decoder, c.picture);
        r.lookupTable = FileNameOnly(Decoded(decoder, c.lookupTable));
    }
    rules.checks = std::move(checks);
    for (Reference ref : file.references) {
        ref.name = Decoded(decoder, ref.name);
        ref.parentTable = FileNameOnly(Decoded(decoder, ref.parentTable));
        rules.references.push_back(std::move(ref));
    }
}

}  // namespace

char RuleFileKind(const std::string& fileName, const std::string& tableStem)
{
    const std::string lower = Lower(fileName);
    const std::string stem = Lower(tableStem) + '.';
    if (lower.size() <= stem.size() || lower.compare(0, stem.size(), stem) != 0)
        return 0;
    const std::string ext = lower.substr(stem.size());
    if (ext == "val")
        return 'V';
    if (ext.size() == 3 && ext[0] == 'x' && IsHex(ext[1]) && IsHex(ext[2]))
        return 'X';
    if (ext.size() == 3 && ext[0] == 'x' && ext[1] == 'g' && IsHex(ext[2]))
        return 'X';
    return 0;
}

Value DecodeStoredValue(const Field& field, std::string_view bytes, TextDecoder& decoder, std::string& storage)
{
    if (bytes.size() != field.size || IsBlobType(field.type))
        throw std::domain_error("a stored value of " + std::to_string(bytes.size()) + " bytes for a field of " +
                                std::to_string(field.size));
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    switch (field.type) {
    case FieldType::Alpha: {
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, bytes.size()));
        const std::size_t len = end ? static_cast<std::size_t>(end - p) : bytes.size();
        if (len == 0)
            return Value::null();
        decoder.decode(bytes.substr(0, len), storage);
        return Value::ofText(storage);
    }
    case FieldType::Date: return DecodeDate(p);
    case FieldType::Short: return DecodeShort(p);
    case FieldType::Long:
    case FieldType::Autoincrement: return DecodeLong(p);
    case FieldType::Currency: return DecodeCurrency(p);
    case FieldType::Number: return DecodeNumber(p);
    case FieldType::Logical: return DecodeLogical(p);
    case FieldType::Time: return DecodeTime(p);
    case FieldType::Timestamp: return DecodeTimestamp(p);
    case FieldType::Bcd: return DecodeBcd(p, field.scale(), storage);
    case FieldType::Bytes:
        if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return b == 0; }))
            return Value::null();
        storage.assign(bytes);
        return Value::ofBytes(storage);
    default:
        throw std::domain_error("no stored value for this type");
    }
}

TableRules ReadTableRules(const std::filesystem::path& dbPath, Table& table)
{
    TableRules rules;
    const auto dir = dbPath.has_parent_path() ? dbPath.parent_path() : std::filesystem::path(".");
    const std::string stem = dbPath.stem().string();
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (RuleFileKind(it->path().filename().string(), stem) != 0 && it->is_regular_file(typeEc))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return Lower(a.filename().string()) < Lower(b.filename().string());
    });
    // Texts in the table's own code page, without touching its count of undecodable bytes.
    TextDecoder decoder(table.textEncoding());
    std::string previous;
    for (const auto& path : files) {
        const std::string name = path.filename().string();
        if (Lower(name) == previous)
            continue;  // the same file name in another letter case: the first one counts
        previous = Lower(name);
        try {
            if (RuleFileKind(name, stem) == 'V') {
                ReadValidity(path, table, decoder, rules);
                continue;
            }
            auto source = FileSource::open(path);
            SecondaryIndex index = ReadIndexHeader(*source, table.header());
            index.name = Decoded(decoder, index.name);
            rules.indexes.push_back(std::move(index));
        } catch (const FormatError& e) {
            rules.problems.push_back({name, e.problem()});
        } catch (const std::exception& e) {
            rules.problems.push_back({name, e.what()});
        }
    }
    return rules;
}

}  // namespace paradox
