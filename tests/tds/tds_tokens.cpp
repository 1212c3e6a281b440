// Token layouts of the answers.
#include "tests/tds/tds_tokens.h"

namespace tdstest {

namespace {

void PutUserTypeAndFlags(Writer& w, std::uint16_t flags, bool tds72)
{
    if (tds72)
        w.u32(0);
    else
        w.u16(0);
    w.u16(flags);
}

// Plain ASCII stays; anything else that Latin-1 holds is its byte; the rest "?".
std::string SingleByte(std::string_view utf8)
{
    std::string out;
    for (char16_t u : Utf16(utf8))
        out.push_back(u < 0x100 ? static_cast<char>(u) : '?');
    return out;
}

}  // namespace

void PutDone(Writer& w, Token token, std::uint16_t status, std::uint16_t command, std::uint64_t rows, bool tds72)
{
    w.u8(token);
    w.u16(status);
    w.u16(command);
    if (tds72)
        w.u64(rows);
    else
        w.u32(static_cast<std::uint32_t>(rows));
}

void PutMessage(Writer& w, Token token, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                std::string_view text, std::uint32_t line)
{
    PutSized(w, token, [&] {
        w.u32(number);
        w.u8(state);
        w.u8(severity);
        w.usVarchar(text);
        w.bVarchar(kServerName);
        w.bVarchar("");
        w.u32(line);
    });
}

void PutEnvChangeText(Writer& w, EnvChange type, std::string_view newValue, std::string_view oldValue)
{
    PutSized(w, kEnvChange, [&] {
        w.u8(type);
        w.bVarchar(newValue);
        w.bVarchar(oldValue);
    });
}

void PutEnvChangeBytes(Writer& w, EnvChange type, std::string_view newValue, std::string_view oldValue)
{
    PutSized(w, kEnvChange, [&] {
        w.u8(type);
        w.bVarbyte(newValue);
        w.bVarbyte(oldValue);
    });
}

std::string CollationBytes()
{
    // Four bytes little-endian: LCID in bits 0-19, then fIgnoreCase (20),
    // fIgnoreKana (22) and fIgnoreWidth (23); then the sort id.
    return std::string("\x09\x04\xD0\x00\x00", 5);
}

void PutColumns(Writer& w, const std::vector<TextColumn>& columns, bool tds72)
{
    w.u8(kColMetadata);
    w.u16(static_cast<std::uint16_t>(columns.size()));
    for (const TextColumn& c : columns) {
        PutUserTypeAndFlags(w, kNullable, tds72);
        w.u8(c.unicode ? kNVarChar : kBigVarChar);
        w.u16(c.maxBytes);
        w.bytes(CollationBytes());
        w.bVarchar(c.name);
    }
}

void PutTextRow(Writer& w, const std::vector<TextColumn>& columns,
                const std::vector<std::optional<std::string>>& values)
{
    w.u8(kRow);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i >= values.size() || !values[i]) {
            w.u16(0xFFFF);
            continue;
        }
        const std::string bytes = columns[i].unicode ? Ucs2(*values[i]) : SingleByte(*values[i]);
        w.u16(static_cast<std::uint16_t>(bytes.size()));
        w.bytes(bytes);
    }
}

void PutIntResult(Writer& w, std::int32_t value, bool tds72)
{
    w.u8(kColMetadata);
    w.u16(1);
    PutUserTypeAndFlags(w, kNullable, tds72);
    w.u8(kInt4);
    w.bVarchar("");
    w.u8(kRow);
    w.u32(static_cast<std::uint32_t>(value));
}

void PutTextResult(Writer& w, std::string_view value, bool tds72)
{
    const std::vector<TextColumn> columns{{"", true, 8000}};
    PutColumns(w, columns, tds72);
    PutTextRow(w, columns, {std::string(value)});
}

}  // namespace tdstest
