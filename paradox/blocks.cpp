// Walking and checking the data blocks of a table.
#include "paradox/blocks.h"

#include "paradox/encryption.h"
#include "paradox/endian.h"
#include "paradox/error.h"

namespace paradox {

BlockChain::BlockChain(ByteSource& source, const TableHeader& header) : source_(source), header_(header)
{
    // A last block cut short by the end of the file still counts: Paradox
    // itself leaves such files, and the records it claims must lie in the file.
    const std::uint64_t afterHeader = source.size() - header.headerSize;
    const std::uint64_t blocks = (afterHeader + header.blockSize() - 1) / header.blockSize();
    blocksInFile_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, 0xFFFF));
    rewind();
}

void BlockChain::rewind()
{
    current_ = 0;
    // A table without data blocks has nothing to walk whatever the first-block field says.
    following_ = header_.fileBlocks == 0 ? 0 : header_.firstBlock;
    visited_.assign(blocksInFile_ + 1, false);
}

bool BlockChain::next(std::vector<std::uint8_t>& block, std::uint32_t& records)
{
    if (following_ == 0)
        return false;
    const std::uint32_t number = following_;
    const auto fail = [&](const std::string& problem) {
        following_ = 0;
        throw FormatError(source_.name(), "data block " + std::to_string(number) + ": " + problem);
    };
    if (number > blocksInFile_) {
        fail(current_ == 0 ? "the first block lies past the end of the file"
                           : "block " + std::to_string(current_) + " points past the end of the file (" +
                                 std::to_string(blocksInFile_) + " blocks)");
    }
    if (visited_[number])
        fail("the block chain loops back to this block");
    visited_[number] = true;

    const std::uint32_t size = header_.blockSize();
    const std::uint64_t start = header_.headerSize + static_cast<std::uint64_t>(number - 1) * size;
    const auto available = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, source_.size() - start));
    if (available < kDataBlockHeader)
        fail("the block is cut off by the end of the file");
    block.assign(size, 0);
    source_.read(start, block.data(), available);
    if (header_.encryptionKey != 0)
        decryptDataBlock(block.data(), size, header_.encryptionKey, number);

    const auto lastOffset = static_cast<std::int16_t>(loadLe16(block.data() + 4));
    const std::int32_t capacity = static_cast<std::int32_t>((size - kDataBlockHeader) / header_.recordSize);
    if (lastOffset < 0) {
        records = 0;  // an empty block stores 0 - record size
    } else {
        const std::int32_t count = lastOffset / header_.recordSize + 1;
        if (count > capacity)
            fail("it claims " + std::to_string(count) + " records but holds at most " + std::to_string(capacity));
        if (kDataBlockHeader + static_cast<std::uint64_t>(count) * header_.recordSize > available)
            fail("its records are cut off by the end of the file");
        records = static_cast<std::uint32_t>(count);
    }
    current_ = number;
    following_ = loadLe16(block.data());
    return true;
}

}  // namespace paradox
