// Text decoding from a table's code page to UTF-8. Single-byte code pages use
// a 256-entry table built once per table; multi-byte ones go through iconv.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace paradox {

struct TableHeader;

// The iconv name of the table's text encoding: the header's code page when
// set, else the one the sort order / language driver names, else CP437.
std::string TextEncodingOf(const TableHeader& header);

// Whether iconv can decode texts from the encoding of that name (CP866, CP1251...).
bool KnownEncoding(const std::string& name);

class TextDecoder {
public:
    // Throws std::invalid_argument when iconv does not know the encoding.
    explicit TextDecoder(const std::string& encoding);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    const std::string& encoding() const { return encoding_; }
    // True when bytes below 0x80 decode to themselves, so ASCII text needs no copy.
    bool asciiCompatible() const { return asciiCompatible_; }
    // Appends the UTF-8 form of bytes to out. Each byte that does not decode
    // (one the code page leaves undefined, or of a broken multi-byte sequence)
    // becomes U+FFFD and is counted.
    void decode(std::string_view bytes, std::string& out);
    // Bytes that became U+FFFD so far.
    std::uint64_t undecodableBytes() const { return undecodable_; }

private:
    void decodeMultiByte(std::string_view bytes, std::string& out);

public:
    // UTF-8 of each byte of a single-byte code page; built once per encoding.
    struct ByteTable {
        bool singleByte = true;
        bool asciiCompatible = true;
        std::array<std::array<char, 4>, 256> utf8{};
        std::array<std::uint8_t, 256> length{};
        std::array<bool, 256> undefined{};
    };

private:
    std::string encoding_;
    std::shared_ptr<const ByteTable> table_;
    bool singleByte_ = true;
    bool asciiCompatible_ = true;
    void* iconv_ = nullptr;  // iconv_t for multi-byte code pages
    std::uint64_t undecodable_ = 0;
};

}  // namespace paradox
