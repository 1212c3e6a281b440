// The chain of data blocks of a .DB file: walked from the first block along
// the next pointers, bounded so that cycles and stray pointers end in an error.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/header.h"

#include <cstdint>
#include <vector>

namespace paradox {

inline constexpr std::uint32_t kDataBlockHeader = 6;

class BlockChain {
public:
    BlockChain(ByteSource& source, const TableHeader& header);
    // Loads the next block of the chain into `block` (decrypted). Returns false
    // at the end of the chain. Throws FormatError for a broken chain or block.
    bool next(std::vector<std::uint8_t>& block, std::uint32_t& records);
    void rewind();
    std::uint32_t currentBlock() const { return current_; }
    // Blocks that lie whole in the file after the header.
    std::uint32_t blocksInFile() const { return blocksInFile_; }

private:
    ByteSource& source_;
    const TableHeader& header_;
    std::uint32_t blocksInFile_ = 0;
    std::uint32_t current_ = 0;
    std::uint32_t following_ = 0;
    std::vector<bool> visited_;
};

}  // namespace paradox
