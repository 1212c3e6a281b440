// The TDS wire as the test server speaks it: packets (an 8-byte header, the
// last packet of a message marked end-of-message), the little-endian token
// stream of the answers, and UCS-2 texts.
#pragma once

#include "platform/odbc/utf16.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tdstest {

// Packet types (the first header byte).
enum PacketType : std::uint8_t {
    kSqlBatch = 0x01,
    kRpc = 0x03,
    kTabularResult = 0x04,
    kAttention = 0x06,
    kBulkLoad = 0x07,
    kTransactionManager = 0x0E,
    kLogin7 = 0x10,
    kPrelogin = 0x12,
};

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::uint8_t kEndOfMessage = 0x01;
inline constexpr std::size_t kDefaultPacketSize = 4096;

// Token types of the answers.
enum Token : std::uint8_t {
    kColMetadata = 0x81,
    kReturnStatus = 0x79,
    kError = 0xAA,
    kInfo = 0xAB,
    kLoginAck = 0xAD,
    kFeatureExtAck = 0xAE,
    kRow = 0xD1,
    kEnvChange = 0xE3,
    kDone = 0xFD,
    kDoneProc = 0xFE,
    kDoneInProc = 0xFF,
};

// DONE status bits.
enum DoneStatus : std::uint16_t {
    kDoneFinal = 0x0000,
    kDoneMore = 0x0001,
    kDoneError = 0x0002,
    kDoneCount = 0x0010,
    kDoneAttention = 0x0020,
};

// DONE's current-command codes.
enum DoneCommand : std::uint16_t {
    kCmdSelect = 0xC1,
    kCmdInsert = 0xC3,
    kCmdDelete = 0xC4,
    kCmdUpdate = 0xC5,
};

// ENVCHANGE types.
enum EnvChange : std::uint8_t {
    kEnvDatabase = 1,
    kEnvLanguage = 2,
    kEnvPacketSize = 4,
    kEnvCollation = 7,
    kEnvBeginTransaction = 8,
    kEnvCommitTransaction = 9,
    kEnvRollbackTransaction = 10,
};

// Transaction manager request types.
enum TransactionRequest : std::uint16_t {
    kTmBegin = 5,
    kTmPromote = 6,
    kTmCommit = 7,
    kTmRollback = 8,
    kTmSave = 9,
};

// The data types of the result columns, and their flags.
enum DataType : std::uint8_t {
    kInt4 = 0x38,
    kBigVarChar = 0xA7,
    kNVarChar = 0xE7,
};
inline constexpr std::uint16_t kNullable = 0x0001;

// UTF-16 code units from UCS-2 little-endian bytes (an odd last byte is dropped).
std::u16string FromUcs2(std::string_view bytes);
// The program's own conversions: what cannot be converted becomes U+FFFD.
inline std::string Utf8(std::u16string_view text) { return platform::odbc::Utf16ToUtf8(text); }
inline std::u16string Utf16(std::string_view utf8) { return platform::odbc::Utf8ToUtf16(utf8); }
// UCS-2 little-endian bytes of UTF-8 text.
std::string Ucs2(std::string_view utf8);

// Little-endian reads from a message body; every read checks the length and
// throws std::runtime_error past the end.
class Reader {
public:
    explicit Reader(std::string_view data, std::size_t at = 0) : data_(data), at_(at) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::uint64_t u64();
    std::string_view bytes(std::size_t n);
    void skip(std::size_t n) { bytes(n); }
    std::size_t at() const { return at_; }
    std::size_t left() const { return data_.size() - at_; }

private:
    std::string_view data_;
    std::size_t at_;
};

// A token stream being built.
class Writer {
public:
    void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void u64(std::uint64_t v);
    void bytes(std::string_view b) { out_ += b; }
    // B_VARCHAR: a count of characters in one byte, then UCS-2.
    void bVarchar(std::string_view utf8);
    // US_VARCHAR: a count of characters in two bytes, then UCS-2.
    void usVarchar(std::string_view utf8);
    // B_VARBYTE: a count of bytes in one byte, then the bytes.
    void bVarbyte(std::string_view b)
    {
        u8(static_cast<std::uint8_t>(b.size()));
        out_ += b;
    }
    // Writes a 16-bit length at `at` that counts the bytes written after it.
    void patchLength16(std::size_t at);
    std::uint8_t byteAt(std::size_t at) const { return static_cast<std::uint8_t>(out_.at(at)); }
    void patchByte(std::size_t at, std::uint8_t v) { out_.at(at) = static_cast<char>(v); }
    std::size_t size() const { return out_.size(); }
    const std::string& data() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Splits a message into packets of at most packetSize bytes (header included).
std::string Packets(std::uint8_t type, std::string_view body, std::size_t packetSize, std::uint16_t spid);

}  // namespace tdstest
