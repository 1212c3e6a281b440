// Memo and blob values: the in-record leader and trailer, and the .MB file
// with its single-blob (type 2) and sub-allocated (type 3) blocks.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/fields.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

inline constexpr std::uint32_t kMbBlockUnit = 4096;
inline constexpr std::uint8_t kMbHeaderBlock = 0;
inline constexpr std::uint8_t kMbSingleBlob = 2;
inline constexpr std::uint8_t kMbSubAllocated = 3;
inline constexpr std::uint8_t kMbFreeBlock = 4;
inline constexpr std::uint32_t kMbSingleHeader = 9;
inline constexpr std::uint32_t kMbSubHeader = 12;
inline constexpr std::uint32_t kMbSlotCount = 64;
inline constexpr std::uint32_t kMbSlotSize = 5;
// Graphic blobs carry 8 bytes of their own before the image in the .MB.
inline constexpr std::uint32_t kGraphicPrefix = 8;

// The trailer after a blob field's leader.
struct BlobPointer {
    std::uint32_t offset = 0;  // of the MB block
    std::uint8_t index = 0;    // 0xFF: single-blob block; else slot number
    std::uint32_t length = 0;  // stored length (Graphic: with the 8-byte prefix)
    std::uint16_t modification = 0;
};
BlobPointer ReadBlobPointer(const std::uint8_t* field, const Field& info);

// The number of payload bytes of a blob: the stored length, less the graphic prefix.
std::uint32_t BlobPayloadSize(const BlobPointer& ptr, FieldType type);

// An .MB file; reads (and decrypts) only the bytes of the blob asked for.
class BlobFile {
public:
    BlobFile(std::unique_ptr<ByteSource> source, std::uint32_t encryptionKey);
    const std::string& name() const { return source_->name(); }
    // Reads the blob's payload into out (replacing its content). Throws FormatError.
    void read(const BlobPointer& ptr, FieldType type, std::string& out);

private:
    void readPlain(std::uint64_t offset, std::uint32_t n, std::uint8_t* dst);
    std::unique_ptr<ByteSource> source_;
    std::uint32_t key_;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace paradox
