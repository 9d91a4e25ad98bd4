#include "busy/lznt1.h"

#include <algorithm>
#include <array>

namespace tarvolen::busy {
namespace {

constexpr std::uint16_t kSignature = 0x3000;
constexpr std::uint16_t kCompressedFlag = 0x8000;
constexpr std::size_t kMinMatch = 3;

// A copy token is split between displacement (high bits) and length (low bits);
// the displacement field grows as the chunk's history grows. `pos` is the number
// of bytes already produced in the chunk (at least 1).
int LengthBits(std::size_t pos) {
    int bits = 12;
    for (std::size_t i = pos - 1; i >= 0x10; i >>= 1) --bits;
    return bits;
}

std::uint16_t ReadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Decodes one compressed chunk body into out[op, end). Returns false when the
// body is malformed (a token that points before the chunk or is cut in half).
bool DecodeChunk(const std::uint8_t* p, const std::uint8_t* body_end, std::span<std::uint8_t> out,
                 std::size_t& op, std::size_t end) {
    const std::size_t start = op;
    while (p < body_end && op < end) {
        const std::uint8_t flags = *p++;
        for (int bit = 0; bit < 8 && p < body_end && op < end; ++bit) {
            if (((flags >> bit) & 1) == 0) {
                out[op++] = *p++;
                continue;
            }
            if (body_end - p < 2) return false;
            const std::uint16_t token = ReadLe16(p);
            p += 2;
            const std::size_t pos = op - start;
            if (pos == 0) return false;
            const int bits = LengthBits(pos);
            const std::size_t length = (token & ((1u << bits) - 1)) + kMinMatch;
            const std::size_t displacement = (static_cast<std::size_t>(token) >> bits) + 1;
            if (displacement > pos) return false;
            // Byte by byte: a copy may overlap the bytes it is producing.
            const std::size_t n = std::min(length, end - op);
            for (std::size_t i = 0; i < n; ++i, ++op) out[op] = out[op - displacement];
        }
    }
    return true;
}

}  // namespace

std::size_t Lznt1Decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    std::size_t ip = 0;
    std::size_t op = 0;
    while (in.size() - ip >= 2 && op < out.size()) {
        const std::uint16_t header = ReadLe16(in.data() + ip);
        if (header == 0) break;
        if ((header & 0x7000) != kSignature) break;
        ip += 2;
        // A chunk cut off by the end of the file is decoded as far as it goes.
        const std::size_t body = std::min<std::size_t>((header & 0x0FFF) + 1, in.size() - ip);
        const std::size_t chunk_end = std::min(op + kLznt1ChunkSize, out.size());
        const std::uint8_t* p = in.data() + ip;
        if ((header & kCompressedFlag) != 0) {
            if (!DecodeChunk(p, p + body, out, op, chunk_end)) break;
        } else {
            const std::size_t n = std::min(body, chunk_end - op);
            std::copy_n(p, n, out.begin() + static_cast<std::ptrdiff_t>(op));
            op += n;
        }
        ip += body;
        // Each chunk stands for a whole 4 KiB of output; one that came out short
        // and is followed by another chunk is filled out with zeros.
        const bool more = in.size() - ip >= 2 && ReadLe16(in.data() + ip) != 0;
        if (more && op < chunk_end) {
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(op),
                      out.begin() + static_cast<std::ptrdiff_t>(chunk_end), std::uint8_t{0});
            op = chunk_end;
        }
    }
    return op;
}

namespace {

constexpr int kHashBits = 12;
constexpr int kMaxChainSteps = 64;

std::size_t Hash3(const std::uint8_t* p) {
    const std::uint32_t v =
        static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - kHashBits);
}

void CompressChunk(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out) {
    // Hash chains over positions in this chunk only: chunks are independent.
    std::array<std::int16_t, 1 << kHashBits> head;
    std::array<std::int16_t, kLznt1ChunkSize> prev;
    head.fill(-1);
    auto insert = [&](std::size_t pos) {
        if (pos + kMinMatch > n) return;
        const std::size_t h = Hash3(data + pos);
        prev[pos] = head[h];
        head[h] = static_cast<std::int16_t>(pos);
    };

    std::vector<std::uint8_t> body;
    body.reserve(n + n / 8 + 1);
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t flag_index = body.size();
        body.push_back(0);
        std::uint8_t flags = 0;
        for (int bit = 0; bit < 8 && pos < n; ++bit) {
            std::size_t best_len = 0;
            std::size_t best_disp = 0;
            int bits = 12;
            if (pos > 0 && pos + kMinMatch <= n) {
                bits = LengthBits(pos);
                const std::size_t max_len =
                    std::min(((std::size_t{1} << bits) - 1) + kMinMatch, n - pos);
                const std::size_t max_disp = std::size_t{1} << (16 - bits);
                int steps = 0;
                for (int cand = head[Hash3(data + pos)]; cand >= 0 && steps < kMaxChainSteps;
                     cand = prev[static_cast<std::size_t>(cand)], ++steps) {
                    const std::size_t disp = pos - static_cast<std::size_t>(cand);
                    if (disp > max_disp) break;
                    std::size_t len = 0;
                    while (len < max_len &&
                           data[static_cast<std::size_t>(cand) + len] == data[pos + len])
                        ++len;
                    if (len > best_len) {
                        best_len = len;
                        best_disp = disp;
                        if (len == max_len) break;
                    }
                }
            }
            if (best_len >= kMinMatch) {
                flags |= static_cast<std::uint8_t>(1u << bit);
                AppendLe16(body, static_cast<std::uint16_t>(((best_disp - 1) << bits) |
                                                            (best_len - kMinMatch)));
                for (std::size_t i = 0; i < best_len; ++i) insert(pos + i);
                pos += best_len;
            } else {
                body.push_back(data[pos]);
                insert(pos);
                ++pos;
            }
        }
        body[flag_index] = flags;
    }

    if (body.size() < n) {
        AppendLe16(out,
                   static_cast<std::uint16_t>(kCompressedFlag | kSignature | (body.size() - 1)));
        out.insert(out.end(), body.begin(), body.end());
    } else {
        AppendLe16(out, static_cast<std::uint16_t>(kSignature | (n - 1)));
        out.insert(out.end(), data, data + n);
    }
}

}  // namespace

std::vector<std::uint8_t> Lznt1Compress(std::span<const std::uint8_t> in) {
    std::vector<std::uint8_t> out;
    out.reserve(in.size() / 2 + 16);
    for (std::size_t at = 0; at < in.size(); at += kLznt1ChunkSize)
        CompressChunk(in.data() + at, std::min(kLznt1ChunkSize, in.size() - at), out);
    return out;
}

}  // namespace tarvolen::busy
