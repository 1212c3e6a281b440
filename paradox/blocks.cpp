// Walking and checking the data blocks of a table.
#include "paradox/blocks.h"

#include "paradox/encryption.h"
#include "paradox/endian.h"

namespace paradox {

namespace {

std::string Num(std::uint64_t n) { return std::to_string(n); }

}  // namespace

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
    length_ = 0;
    ended_ = false;
    broken_ = false;
    visited_.assign(blocksInFile_ + 1, false);
    problems_.clear();
}

bool BlockChain::next(std::vector<std::uint8_t>& block, std::uint32_t& records)
{
    const std::uint32_t number = following_;
    following_ = 0;
    records = 0;
    if (number == 0) {
        checkEnd();
        return false;
    }
    const auto stop = [&](std::string problem) {
        problems_.push_back(std::move(problem));
        broken_ = true;
        checkEnd();
        return false;
    };
    if (number > blocksInFile_) {
        return stop(current_ == 0 ? "the first data block, " + Num(number) + ", lies past the end of the file (" +
                                        Num(blocksInFile_) + " blocks)"
                                  : "data block " + Num(current_) + " points to block " + Num(number) +
                                        ", past the end of the file (" + Num(blocksInFile_) + " blocks)");
    }
    if (visited_[number])
        return stop("data block " + Num(current_) + " points back to block " + Num(number) + ": the chain loops");
    visited_[number] = true;

    const std::uint32_t size = header_.blockSize();
    const std::uint64_t start = header_.headerSize + static_cast<std::uint64_t>(number - 1) * size;
    const auto available = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, source_.size() - start));
    if (available < kDataBlockHeader)
        return stop("data block " + Num(number) + " is cut off by the end of the file");
    block.assign(size, 0);
    source_.read(start, block.data(), available);
    if (header_.encryptionKey != 0)
        DecryptDataBlock(block.data(), size, header_.encryptionKey, number);
    current_ = number;
    ++length_;
    following_ = LoadLe16(block.data());

    const auto lastOffset = static_cast<std::int16_t>(LoadLe16(block.data() + 4));
    if (lastOffset < 0)
        return true;  // an empty block stores 0 - record size
    const std::uint32_t count = static_cast<std::uint32_t>(lastOffset) / header_.recordSize + 1;
    const std::uint32_t capacity = (size - kDataBlockHeader) / header_.recordSize;
    const std::uint32_t inFile = (available - kDataBlockHeader) / header_.recordSize;
    if (count > capacity) {
        // The count is the only thing that tells which bytes of the block are
        // records. Past the real ones a block keeps stale bytes, often copies of
        // records that Paradox moved to another block, so reading up to the
        // capacity could bring rows twice; the block's records are left out.
        problems_.push_back("data block " + Num(number) + " claims " + Num(count) + " records but holds at most " +
                            Num(capacity) + "; they are not read");
    } else if (count > inFile) {
        problems_.push_back("data block " + Num(number) + " holds " + Num(count) + " records but only " +
                            Num(inFile) + " lie in the file before its end");
        records = inFile;
    } else {
        records = count;
    }
    return true;
}

void BlockChain::checkEnd()
{
    if (ended_)
        return;
    ended_ = true;
    if (broken_ || header_.fileBlocks == 0)
        return;
    if (current_ != header_.lastBlock)
        problems_.push_back((current_ == 0 ? std::string("the chain has no data block")
                                           : "the chain ends at data block " + Num(current_)) +
                            ", the header names block " + Num(header_.lastBlock) + " as its last");
    if (length_ != header_.usedBlocks)
        problems_.push_back("the chain has " + Num(length_) + " data blocks, the header says " +
                            Num(header_.usedBlocks) + " are in use");
    if (length_ > header_.fileBlocks)
        problems_.push_back("the chain has " + Num(length_) + " data blocks, the header says the file has " +
                            Num(header_.fileBlocks));
}

}  // namespace paradox
