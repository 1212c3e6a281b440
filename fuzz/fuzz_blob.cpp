// libFuzzer target over the .MB reader. The first 16 bytes of the input give
// the blob pointer of a record (offset|index, length), the encryption key and
// the field type; the rest is the .MB file.
#include "paradox/blobs.h"
#include "paradox/endian.h"
#include "paradox/error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
constexpr std::size_t kPrefix = 16;
constexpr paradox::FieldType kTypes[] = {paradox::FieldType::Memo, paradox::FieldType::Blob,
                                         paradox::FieldType::FormattedMemo, paradox::FieldType::Ole,
                                         paradox::FieldType::Graphic};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kPrefix)
        return 0;
    paradox::BlobPointer ptr;
    const std::uint32_t offsetIndex = paradox::loadLe32(data);
    ptr.offset = offsetIndex & 0xFFFFFF00u;
    ptr.index = static_cast<std::uint8_t>(offsetIndex);
    ptr.length = paradox::loadLe32(data + 4);
    const std::uint32_t key = paradox::loadLe32(data + 8);
    const paradox::FieldType type = kTypes[data[12] % 5];
    const std::string_view mb(reinterpret_cast<const char*>(data + kPrefix), size - kPrefix);
    paradox::BlobFile file(std::make_unique<paradox::MemorySource>("fuzz.mb", mb), key);
    std::string out;
    try {
        file.read(ptr, type, out);
    } catch (const paradox::FormatError&) {
    }
    return 0;
}
