// LZNT1: the chunked LZ77 format used for the pixel data of ".SKI" pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvolen::busy {

// Every chunk stands for this many bytes of output (the last one may be shorter).
inline constexpr std::size_t kLznt1ChunkSize = 4096;

// Decodes `in` into `out` and returns how many bytes were produced. Never reads
// or writes outside the two spans. Decoding ends at a zero chunk header, at the
// end of the input, when `out` is full, or at the first malformed chunk; what was
// produced up to then is kept, so a damaged stream gives a short result rather
// than an error.
std::size_t Lznt1Decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// Encodes `in` as LZNT1 (greedy matching; a chunk that would not shrink is stored
// uncompressed). Lznt1Decompress of the result gives back `in`.
std::vector<std::uint8_t> Lznt1Compress(std::span<const std::uint8_t> in);

}  // namespace tarvolen::busy
