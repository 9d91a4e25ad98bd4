// ".SKI" pictures: a small header and LZNT1-compressed 32-bit pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvolen::busy {

// A picture in memory: top row first, each pixel 0xAARRGGBB with straight
// (not premultiplied) alpha.
struct BusyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
};

// Header: width and height (signed 16-bit, little-endian), 4 bytes not read.
inline constexpr std::size_t kSkiHeaderSize = 8;

// Pictures larger than this are refused: the header alone would otherwise make
// a nine-byte file ask for gigabytes.
inline constexpr std::int64_t kSkiMaxPixels = std::int64_t{1} << 24;

// Decodes a whole ".SKI" file. No image for 8 bytes or less, or a width or height
// that is not positive or too large. Pixels the data does not reach stay
// transparent.
std::optional<BusyImage> DecodeSki(std::span<const std::uint8_t> file);

// Reads and decodes a ".SKI" file; no image when it does not exist or cannot be read.
std::optional<BusyImage> ReadSki(const std::string& path);

// Writes `image` as a ".SKI" file with LZNT1-compressed pixels. Returns false
// when the file cannot be written or the picture does not fit the header.
bool WriteSki(const std::string& path, const BusyImage& image);
std::vector<std::uint8_t> EncodeSki(const BusyImage& image);

}  // namespace tarvolen::busy
