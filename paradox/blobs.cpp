// Reading blob values from the .MB file. Every pointer, slot and length is
// checked against the block it claims to be in and against the file size.
#include "paradox/blobs.h"

#include "paradox/encryption.h"
#include "paradox/endian.h"
#include "paradox/error.h"

#include <cstring>

namespace paradox {

BlobPointer ReadBlobPointer(const std::uint8_t* field, const Field& info)
{
    const std::uint8_t* t = field + info.leaderSize();
    BlobPointer ptr;
    const std::uint32_t offsetIndex = LoadLe32(t);
    ptr.offset = offsetIndex & 0xFFFFFF00u;
    ptr.index = static_cast<std::uint8_t>(offsetIndex & 0xFFu);
    ptr.length = LoadLe32(t + 4);
    ptr.modification = LoadLe16(t + 8);
    return ptr;
}

std::uint32_t BlobPayloadSize(const BlobPointer& ptr, FieldType type)
{
    if (type == FieldType::Graphic)
        return ptr.length > kGraphicPrefix ? ptr.length - kGraphicPrefix : 0;
    return ptr.length;
}

BlobFile::BlobFile(std::unique_ptr<ByteSource> source, std::uint32_t encryptionKey)
    : source_(std::move(source)), key_(encryptionKey)
{
}

void BlobFile::readPlain(std::uint64_t offset, std::uint32_t n, std::uint8_t* dst)
{
    if (key_ == 0) {
        source_->read(offset, dst, n);
        return;
    }
    // Encrypted .MB files are ciphered in 256-byte chunks of the file.
    const std::uint64_t first = offset / kCipherChunk * kCipherChunk;
    const std::uint64_t end = (offset + n + kCipherChunk - 1) / kCipherChunk * kCipherChunk;
    if (!source_->contains(offset, n))
        source_->read(offset, dst, n);  // throws with the file's own message
    if (end > source_->size())
        throw FormatError(name(), "the encrypted blob file ends inside a 256-byte chunk");
    scratch_.resize(static_cast<std::size_t>(end - first));
    source_->read(first, scratch_.data(), scratch_.size());
    DecryptBlobChunks(scratch_.data(), scratch_.size(), key_);
    std::memcpy(dst, scratch_.data() + (offset - first), n);
}

void BlobFile::read(const BlobPointer& ptr, FieldType type, std::string& out)
{
    const auto fail = [&](const std::string& problem) {
        throw FormatError(name(), "blob at offset " + std::to_string(ptr.offset) + ": " + problem);
    };
    if (ptr.offset == 0)
        fail("the pointer in the record is zero");
    if (!source_->contains(ptr.offset, kMbSubHeader))
        fail("the pointer is past the end of the file (" + std::to_string(source_->size()) + " bytes)");
    std::uint8_t head[kMbSubHeader];
    readPlain(ptr.offset, kMbSubHeader, head);
    const std::uint8_t blockType = head[0];
    const std::uint64_t blockSize = static_cast<std::uint64_t>(LoadLe16(head + 1)) * kMbBlockUnit;
    const std::uint32_t skip = type == FieldType::Graphic ? kGraphicPrefix : 0;
    const std::uint32_t payload = BlobPayloadSize(ptr, type);

    std::uint64_t dataOffset = 0;
    if (blockType == kMbSingleBlob) {
        if (ptr.index != 0xFF)
            fail("a single-blob block is addressed with slot " + std::to_string(ptr.index));
        const std::uint32_t stored = LoadLe32(head + 3);
        if (stored != ptr.length)
            fail("the block holds " + std::to_string(stored) + " bytes, the record says " + std::to_string(ptr.length));
        if (static_cast<std::uint64_t>(kMbSingleHeader) + ptr.length > blockSize)
            fail("the blob is longer than its block");
        dataOffset = ptr.offset + kMbSingleHeader;
    } else if (blockType == kMbSubAllocated) {
        if (ptr.index >= kMbSlotCount)
            fail("slot " + std::to_string(ptr.index) + " does not exist (64 slots per block)");
        std::uint8_t slot[kMbSlotSize];
        readPlain(ptr.offset + kMbSubHeader + kMbSlotSize * ptr.index, kMbSlotSize, slot);
        if (slot[1] == 0 || slot[4] == 0 || slot[4] > 16)
            fail("slot " + std::to_string(ptr.index) + " is empty or damaged");
        const std::uint32_t stored = (static_cast<std::uint32_t>(slot[1]) - 1) * 16 + slot[4];
        if (stored != ptr.length)
            fail("slot " + std::to_string(ptr.index) + " holds " + std::to_string(stored) + " bytes, the record says " +
                 std::to_string(ptr.length));
        const std::uint64_t start = static_cast<std::uint64_t>(slot[0]) * 16;
        if (start < kMbSubHeader + kMbSlotCount * kMbSlotSize || start + ptr.length > blockSize)
            fail("slot " + std::to_string(ptr.index) + " points outside its block");
        dataOffset = ptr.offset + start;
    } else if (blockType == kMbHeaderBlock) {
        fail("the pointer leads to the file's header block");
    } else if (blockType == kMbFreeBlock) {
        fail("the pointer leads to a free block");
    } else {
        fail("unknown block type " + std::to_string(blockType));
    }
    if (ptr.length < skip)
        fail("a graphic blob shorter than its 8-byte prefix");
    if (!source_->contains(dataOffset, ptr.length))
        fail("the blob runs past the end of the file");
    out.resize(payload);
    if (payload > 0)
        readPlain(dataOffset + skip, payload, reinterpret_cast<std::uint8_t*>(out.data()));
}

}  // namespace paradox
