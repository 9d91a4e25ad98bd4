// The ".SKI" reader on arbitrary files: no crash, and a picture it gives has a
// positive size within the limit and one pixel per position.
#include <cstddef>
#include <cstdint>

#include "busy/ski.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvolen::busy;
    const auto image = DecodeSki(std::span<const std::uint8_t>(data, size));
    if (size <= kSkiHeaderSize) Check(!image);
    if (!image) return 0;
    Check(image->width > 0 && image->height > 0);
    Check(std::int64_t{image->width} * image->height <= kSkiMaxPixels);
    Check(image->argb.size() == static_cast<std::size_t>(image->width) * image->height);
    return 0;
}
