// The LZNT1 decoder on arbitrary bytes: no access outside its buffers, never
// more output than room; and our compressor's output of the same bytes decodes
// back to them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "busy/lznt1.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvolen::busy;
    const std::span<const std::uint8_t> in(data, size);

    // Room for a few chunks, and a buffer cut mid-chunk.
    for (std::size_t room : {std::size_t{3} * kLznt1ChunkSize + 100, std::size_t{1000}}) {
        std::vector<std::uint8_t> out(room);
        Check(Lznt1Decompress(in, out) <= room);
    }

    const std::vector<std::uint8_t> packed = Lznt1Compress(in);
    std::vector<std::uint8_t> back(size + 1);
    Check(Lznt1Decompress(packed, back) == size);
    back.resize(size);
    Check(std::equal(back.begin(), back.end(), data));
    return 0;
}
