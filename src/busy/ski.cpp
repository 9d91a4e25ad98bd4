#include "busy/ski.h"

#include <fstream>
#include <iterator>

#include "busy/lznt1.h"

namespace tarvolen::busy {

std::optional<BusyImage> DecodeSki(std::span<const std::uint8_t> file) {
    if (file.size() <= kSkiHeaderSize) return std::nullopt;
    const auto width = static_cast<std::int16_t>(file[0] | (file[1] << 8));
    const auto height = static_cast<std::int16_t>(file[2] | (file[3] << 8));
    if (width <= 0 || height <= 0) return std::nullopt;
    if (std::int64_t{width} * height > kSkiMaxPixels) return std::nullopt;

    const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
    const std::size_t rows = static_cast<std::size_t>(height);
    // Zero-filled, so whatever the data does not reach stays transparent.
    std::vector<std::uint8_t> bits(row_bytes * rows, 0);
    Lznt1Decompress(file.subspan(kSkiHeaderSize), bits);

    BusyImage image;
    image.width = width;
    image.height = height;
    image.argb.resize(static_cast<std::size_t>(width) * rows);
    for (std::size_t y = 0; y < rows; ++y) {
        // Stored bottom row first.
        const std::uint8_t* src = bits.data() + (rows - 1 - y) * row_bytes;
        std::uint32_t* dst = image.argb.data() + y * static_cast<std::size_t>(width);
        for (int x = 0; x < width; ++x, src += 4) {
            dst[x] = static_cast<std::uint32_t>(src[3]) << 24 |
                     static_cast<std::uint32_t>(src[2]) << 16 |
                     static_cast<std::uint32_t>(src[1]) << 8 | src[0];
        }
    }
    return image;
}

std::optional<BusyImage> ReadSki(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return DecodeSki(file);
}

std::vector<std::uint8_t> EncodeSki(const BusyImage& image) {
    const std::size_t w = static_cast<std::size_t>(image.width);
    const std::size_t h = static_cast<std::size_t>(image.height);
    std::vector<std::uint8_t> bits;
    bits.reserve(w * h * 4);
    for (std::size_t y = h; y-- > 0;) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t p = image.argb[y * w + x];
            bits.push_back(static_cast<std::uint8_t>(p));
            bits.push_back(static_cast<std::uint8_t>(p >> 8));
            bits.push_back(static_cast<std::uint8_t>(p >> 16));
            bits.push_back(static_cast<std::uint8_t>(p >> 24));
        }
    }
    std::vector<std::uint8_t> file = {static_cast<std::uint8_t>(w),
                                      static_cast<std::uint8_t>(w >> 8),
                                      static_cast<std::uint8_t>(h),
                                      static_cast<std::uint8_t>(h >> 8),
                                      0,
                                      0,
                                      0,
                                      0};
    const std::vector<std::uint8_t> packed = Lznt1Compress(bits);
    file.insert(file.end(), packed.begin(), packed.end());
    return file;
}

bool WriteSki(const std::string& path, const BusyImage& image) {
    if (image.width <= 0 || image.height <= 0 || image.width > 0x7FFF || image.height > 0x7FFF ||
        image.argb.size() != static_cast<std::size_t>(image.width) * image.height)
        return false;
    const std::vector<std::uint8_t> file = EncodeSki(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace tarvolen::busy
