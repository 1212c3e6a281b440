// The block cipher of password-protected tables. The key is the 32-bit value
// stored in the header, so no password is needed to read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace paradox {

inline constexpr std::size_t kCipherChunk = 256;

// A data block of the .DB file (block numbers from 1); size a multiple of 256.
void DecryptDataBlock(std::uint8_t* block, std::size_t size, std::uint32_t key, std::uint32_t blockNumber);
void EncryptDataBlock(std::uint8_t* block, std::size_t size, std::uint32_t key, std::uint32_t blockNumber);

// Bytes of the .MB file starting at a multiple of 256; size a multiple of 256.
void DecryptBlobChunks(std::uint8_t* data, std::size_t size, std::uint32_t key);
void EncryptBlobChunks(std::uint8_t* data, std::size_t size, std::uint32_t key);

}  // namespace paradox
