// The chain of data blocks of a .DB file: walked from the first block along
// the next pointers, bounded (each block at most once), and checked against
// what the header says of it.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/header.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

inline constexpr std::uint32_t kDataBlockHeader = 6;

class BlockChain {
public:
    BlockChain(ByteSource& source, const TableHeader& header);
    // Loads the next block of the chain into `block` (decrypted) and the
    // number of its records to read. Returns false at the end of the chain or
    // where it breaks (a loop, a pointer past the end of the file); what is
    // wrong is kept in problems(). Throws FormatError only when the file
    // cannot be read.
    bool next(std::vector<std::uint8_t>& block, std::uint32_t& records);
    void rewind();
    std::uint32_t currentBlock() const { return current_; }
    // Blocks that lie whole in the file after the header.
    std::uint32_t blocksInFile() const { return blocksInFile_; }
    // Where the blocks do not chain as the header says, found so far; the
    // whole list once next() has returned false.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    void checkEnd();

    ByteSource& source_;
    const TableHeader& header_;
    std::uint32_t blocksInFile_ = 0;
    std::uint32_t current_ = 0;
    std::uint32_t following_ = 0;
    std::uint32_t length_ = 0;  // blocks visited
    bool ended_ = false;
    bool broken_ = false;
    std::vector<bool> visited_;
    std::vector<std::string> problems_;
};

}  // namespace paradox
