// The tokens of the server's answers, each written as MS-TDS lays it out.
#pragma once

#include "tests/tds/tds_wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

inline constexpr std::string_view kServerName = "TDSTEST";

// A token whose body follows a 16-bit length: `body` writes it, and the
// length is filled in after it.
template <class Body>
void PutSized(Writer& w, Token token, Body body)
{
    w.u8(token);
    const std::size_t length = w.size();
    w.u16(0);
    body();
    w.patchLength16(length);
}

// DONE, DONEPROC or DONEINPROC; TDS 7.2 and later count rows in eight bytes.
void PutDone(Writer& w, Token token, std::uint16_t status, std::uint16_t command, std::uint64_t rows, bool tds72);

// ERROR or INFO.
void PutMessage(Writer& w, Token token, std::uint32_t number, std::uint8_t state, std::uint8_t severity,
                std::string_view text, std::uint32_t line = 1);

void PutEnvChangeText(Writer& w, EnvChange type, std::string_view newValue, std::string_view oldValue);
void PutEnvChangeBytes(Writer& w, EnvChange type, std::string_view newValue, std::string_view oldValue);

// Latin1_General_CI_AS: LCID 0x0409, case-insensitive, accent-sensitive,
// kana- and width-insensitive, sort id 0 (code page 1252).
std::string CollationBytes();

// A result set of text columns (the tables listing): NVARCHAR or VARCHAR
// columns, every value of a VARCHAR column plain ASCII or Windows-1252.
struct TextColumn {
    std::string name;
    bool unicode = true;
    std::uint16_t maxBytes = 256;
};
void PutColumns(Writer& w, const std::vector<TextColumn>& columns, bool tds72);
void PutTextRow(Writer& w, const std::vector<TextColumn>& columns,
                const std::vector<std::optional<std::string>>& values);

// A one-column, one-row result: an INT or an NVARCHAR(4000).
void PutIntResult(Writer& w, std::int32_t value, bool tds72);
void PutTextResult(Writer& w, std::string_view value, bool tds72);

}  // namespace tdstest
