// The record file and the table catalog.
#include "tests/tds/tds_server.h"

#include "tests/tds/tds_wire.h"

#include <stdexcept>

namespace tdstest {

namespace {

char16_t Folded(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB)
        || (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    return c;
}

void AppendEscape(std::string& out, char16_t u)
{
    static const char* const kHex = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(kHex[(u >> shift) & 0xF]);
}

}  // namespace

std::string JsonString(std::u16string_view text)
{
    std::string out = "\"";
    std::size_t plain = 0;  // start of the run not yet written
    auto flush = [&](std::size_t end) {
        if (end > plain)
            out += Utf8(text.substr(plain, end - plain));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a pair: written as UTF-8 with its run
            continue;
        }
        const char* escape = u == '"' ? "\\\"" : u == '\\' ? "\\\\" : u == '\n' ? "\\n" : u == '\r' ? "\\r"
                           : u == '\t' ? "\\t" : nullptr;
        if (!escape && u >= 0x20 && !high && !low)
            continue;
        flush(i);
        if (escape)
            out += escape;
        else
            AppendEscape(out, u);
        plain = i + 1;
    }
    flush(text.size());
    return out + "\"";
}

Recorder::Recorder(const std::string& path)
{
    if (path.empty())
        return;
    file_ = std::fopen(path.c_str(), "w");
    if (!file_)
        throw std::runtime_error("cannot write the record file " + path);
}

Recorder::~Recorder()
{
    if (file_)
        std::fclose(file_);
}

void Recorder::write(std::string_view kind, std::initializer_list<Field> fields, std::string_view flags)
{
    const std::lock_guard lock(mutex_);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    ++count_;
    if (!file_)
        return;
    char head[96];
    std::snprintf(head, sizeof head, "{\"n\":%llu,\"t\":%.6f,\"kind\":", static_cast<unsigned long long>(count_),
                  seconds);
    std::string line = head;
    line += JsonString(Utf16(kind));
    for (const Field& f : fields) {
        line += ",";
        line += JsonString(Utf16(f.key));
        line += ":";
        line += JsonString(f.value);
    }
    line += flags;
    line += "}\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

void Recorder::login(std::u16string_view user, std::u16string_view database, std::optional<bool> passwordOk)
{
    const std::string_view flag = !passwordOk ? "" : *passwordOk ? ",\"password_ok\":true" : ",\"password_ok\":false";
    write("login", {{"user", user}, {"database", database}}, flag);
}

void Recorder::batch(std::u16string_view text)
{
    write("batch", {{"text", text}});
}

void Recorder::rpc(std::u16string_view name, std::u16string_view params)
{
    write("rpc", {{"name", name}, {"params", params}});
}

void Recorder::transaction(std::string_view op)
{
    const std::u16string value = Utf16(op);
    write("transaction", {{"op", value}});
}

void Recorder::attention()
{
    write("attention", {});
}

void Recorder::stored(std::string_view statement)
{
    const std::u16string text = Utf16(statement);
    write("stored", {{"text", text}});
}

void Recorder::storedRow(std::string_view table, const StoredValues& values)
{
    std::string list = ",\"values\":[";
    for (std::size_t i = 0; i < values.size(); ++i)
        list += (i > 0 ? "," : "") + (values[i] ? JsonString(Utf16(*values[i])) : std::string("null"));
    write("stored", {{"table", Utf16(table)}}, list + "]");
}

std::string FoldCase(std::string_view name)
{
    std::u16string units = Utf16(name);
    for (char16_t& c : units)
        c = Folded(c);
    return Utf8(units);
}

bool Catalog::exists(const std::string& table) const
{
    const std::lock_guard lock(mutex_);
    return tables_.count(FoldCase(table)) > 0;
}

bool Catalog::create(const std::string& table, std::vector<ColumnDef> columns)
{
    const std::lock_guard lock(mutex_);
    return tables_.emplace(FoldCase(table), Table{table, 0, std::move(columns), {}}).second;
}

std::optional<std::vector<ColumnDef>> Catalog::columns(const std::string& table) const
{
    const std::lock_guard lock(mutex_);
    const auto at = tables_.find(FoldCase(table));
    return at == tables_.end() ? std::nullopt : std::optional<std::vector<ColumnDef>>(at->second.columns);
}

bool Catalog::drop(const std::string& table)
{
    const std::lock_guard lock(mutex_);
    return tables_.erase(FoldCase(table)) > 0;
}

std::vector<std::string> Catalog::tables() const
{
    const std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [key, t] : tables_)
        names.push_back(t.name);
    return names;
}

std::optional<std::int64_t> Catalog::rows(const std::string& table) const
{
    const std::lock_guard lock(mutex_);
    const auto at = tables_.find(FoldCase(table));
    return at == tables_.end() ? std::nullopt : std::optional<std::int64_t>(at->second.rows);
}

void Catalog::addRows(const std::string& table, std::int64_t rows)
{
    const std::lock_guard lock(mutex_);
    if (const auto at = tables_.find(FoldCase(table)); at != tables_.end())
        at->second.rows += rows;
}

void Catalog::keepRow(const std::string& table, const StoredValues& row)
{
    const std::lock_guard lock(mutex_);
    if (const auto at = tables_.find(FoldCase(table)); at != tables_.end())
        at->second.kept.push_back(row);
}

std::vector<StoredValues> Catalog::keptRows(const std::string& table) const
{
    const std::lock_guard lock(mutex_);
    const auto at = tables_.find(FoldCase(table));
    return at == tables_.end() ? std::vector<StoredValues>{} : at->second.kept;
}

}  // namespace tdstest
