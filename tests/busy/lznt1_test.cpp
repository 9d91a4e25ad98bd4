#include "busy/lznt1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tarvolen::busy {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Decode(const Bytes& in, std::size_t capacity) {
    Bytes out(capacity, 0xEE);
    out.resize(Lznt1Decompress(in, out));
    return out;
}

void PutLe16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

Bytes Chunk(bool compressed, const Bytes& body) {
    Bytes out;
    PutLe16(out, (compressed ? 0xB000u : 0x3000u) | static_cast<unsigned>(body.size() - 1));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Literals 0..n-1 with a pattern that never repeats within a chunk's reach.
Bytes Literals(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 256 + 1);
    return b;
}

// Builds a compressed chunk body token by token and, beside it, the output it
// must decode to.
class ChunkWriter {
  public:
    void Literal(std::uint8_t b) {
        Flag(false);
        body_.push_back(b);
        out_.push_back(b);
    }
    void Copy(std::size_t disp, std::size_t length, int length_bits) {
        Flag(true);
        PutLe16(body_, static_cast<unsigned>(((disp - 1) << length_bits) | (length - 3)));
        for (std::size_t i = 0; i < length; ++i) out_.push_back(out_[out_.size() - disp]);
    }
    // Reaches `pos` bytes: distinct literals, and past 2300 bytes (where a token
    // has 4 length bits) long copies from far back.
    void FillTo(std::size_t pos) {
        while (out_.size() < std::min<std::size_t>(pos, 2300))
            Literal(static_cast<std::uint8_t>(out_.size() * 7 + out_.size() / 256 + 1));
        while (out_.size() < pos) {
            const std::size_t n = std::min<std::size_t>(18, pos - out_.size());
            if (n < 3) {
                Literal(static_cast<std::uint8_t>(out_.size()));
            } else {
                Copy(2048, n, 4);
            }
        }
    }
    const Bytes& Body() const { return body_; }
    const Bytes& Expected() const { return out_; }

  private:
    void Flag(bool copy) {
        if (bit_ == 8) {
            flag_at_ = body_.size();
            body_.push_back(0);
            bit_ = 0;
        }
        if (copy) body_[flag_at_] = static_cast<std::uint8_t>(body_[flag_at_] | (1u << bit_));
        ++bit_;
    }
    Bytes body_;
    Bytes out_;
    std::size_t flag_at_ = 0;
    int bit_ = 8;
};

TEST(Lznt1Decode, PublishedExampleFromTheFormatDescription) {
    const Bytes in = {0x38, 0xb0, 0x88, 0x46, 0x23, 0x20, 0x00, 0x20, 0x47, 0x20, 0x41, 0x00,
                      0x10, 0xa2, 0x47, 0x01, 0xa0, 0x45, 0x20, 0x44, 0x00, 0x08, 0x45, 0x01,
                      0x50, 0x79, 0x00, 0xc0, 0x45, 0x20, 0x05, 0x24, 0x13, 0x88, 0x05, 0xb4,
                      0x02, 0x4a, 0x44, 0xef, 0x03, 0x58, 0x02, 0x8c, 0x09, 0x16, 0x01, 0x48,
                      0x45, 0x00, 0xbe, 0x00, 0x9e, 0x00, 0x04, 0x01, 0x18, 0x90, 0x00};
    const std::string text =
        "F# F# G A A G F# E D D E F# F# E E F# F# G A A G F# E D D E F# E D D E E F# D E F# G "
        "F# D E F# G F# E D E A F# F# G A A G F# E D D E F# E D D";
    Bytes expected(text.begin(), text.end());
    expected.push_back(0);
    EXPECT_EQ(Decode(in, 4096), expected);
}

TEST(Lznt1Decode, UncompressedChunkIsCopied) {
    const Bytes data = Literals(300);
    EXPECT_EQ(Decode(Chunk(false, data), 4096), data);
}

TEST(Lznt1Decode, LiteralsOnlyCompressedChunk) {
    const Bytes body = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 'i', 'j'};
    EXPECT_EQ(Decode(Chunk(true, body), 4096),
              Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}));
}

TEST(Lznt1Decode, OverlappingCopyRepeatsItsOwnOutput) {
    // "abc", then displacement 3 length 7: the copy reads bytes it is writing.
    const Bytes body = {0x08, 'a', 'b', 'c', 0x04, 0x20};
    const std::string want = "abcabcabca";
    EXPECT_EQ(Decode(Chunk(true, body), 4096), Bytes(want.begin(), want.end()));
}

// The copy token's split moves one bit from length to displacement each time
// the position in the chunk passes a power of two above 16.
struct SplitCase {
    std::size_t position;  // bytes already in the chunk
    int length_bits;
};

class Lznt1Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Lznt1Split, FarthestDisplacementAndLongestLengthDecode) {
    const auto [pos, bits] = GetParam();
    ChunkWriter w;
    w.FillTo(pos);
    // Back to the chunk's first byte, with the longest length the split allows
    // that stays inside the chunk.
    w.Copy(pos, std::min<std::size_t>((1u << bits) - 1 + 3, 4096 - pos), bits);
    ASSERT_LE(w.Body().size(), 4096u);
    EXPECT_EQ(Decode(Chunk(true, w.Body()), 8192), w.Expected());
}

TEST_P(Lznt1Split, ShortCopyWithOddDisplacement) {
    const auto [pos, bits] = GetParam();
    ChunkWriter w;
    w.FillTo(pos);
    w.Copy(pos / 2 + 1, std::min<std::size_t>(5, 4096 - pos), bits);
    // The token's size was read right if this lands next.
    if (w.Expected().size() < 4096) w.Literal('z');
    EXPECT_EQ(Decode(Chunk(true, w.Body()), 8192), w.Expected());
}

INSTANTIATE_TEST_SUITE_P(
    PositionInChunk, Lznt1Split,
    ::testing::Values(SplitCase{1, 12}, SplitCase{16, 12}, SplitCase{17, 11}, SplitCase{32, 11},
                      SplitCase{33, 10}, SplitCase{64, 10}, SplitCase{65, 9}, SplitCase{128, 9},
                      SplitCase{129, 8}, SplitCase{256, 8}, SplitCase{257, 7}, SplitCase{512, 7},
                      SplitCase{513, 6}, SplitCase{1024, 6}, SplitCase{1025, 5}, SplitCase{2048, 5},
                      SplitCase{2049, 4}, SplitCase{4000, 4}, SplitCase{4092, 4}));

TEST(Lznt1Decode, ChunkEndingEarlyIsFilledToFourKilobytesWhenAnotherFollows) {
    const Bytes first = Chunk(true, {0x00, 'x', 'y', 'z'});
    const Bytes second = Chunk(false, {'n', 'e', 'x', 't'});
    const Bytes out = Decode(Concat({first, second}), 3 * 4096);
    ASSERT_EQ(out.size(), 4096u + 4u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), Bytes({'x', 'y', 'z'}));
    EXPECT_EQ(std::count(out.begin() + 3, out.begin() + 4096, 0), 4096 - 3);
    EXPECT_EQ(Bytes(out.begin() + 4096, out.end()), Bytes({'n', 'e', 'x', 't'}));
}

TEST(Lznt1Decode, LastChunkEndingEarlyGivesAShortResult) {
    EXPECT_EQ(Decode(Chunk(true, {0x00, 'x', 'y'}), 4096).size(), 2u);
}

TEST(Lznt1Decode, SecondChunkCannotReachIntoTheFirst) {
    // Chunks are independent: a displacement past the chunk start is malformed
    // and ends decoding with what came before it.
    const Bytes first = Chunk(false, Literals(4096));
    const Bytes second = Chunk(true, {0x02, 'a', 0x00, 0x10});  // displacement 2 at position 1
    const Bytes out = Decode(Concat({first, second}), 3 * 4096);
    EXPECT_EQ(out.size(), 4097u);
    EXPECT_EQ(out.back(), 'a');
}

TEST(Lznt1Decode, CopyTokenAtChunkStartIsMalformed) {
    EXPECT_TRUE(Decode(Chunk(true, {0x01, 0x00, 0x00}), 4096).empty());
}

TEST(Lznt1Decode, StreamEnds) {
    struct Case {
        const char* what;
        Bytes in;
        std::size_t want;
    };
    const Case cases[] = {
        {"empty input", {}, 0},
        {"single byte", {0x30}, 0},
        {"zero header", Concat({Bytes{0x00, 0x00}, Chunk(false, {'a'})}), 0},
        {"bad signature", Concat({Chunk(false, {'a', 'b'}), Bytes{0x01, 0x40, 'c', 'd'}}), 4096},
        {"header promises more than the file has", Bytes{0xFF, 0x3F, 'a', 'b', 'c'}, 3},
        {"copy token cut in half", Chunk(true, {0x02, 'a', 0x00}), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.in, 8192).size(), c.want) << c.what;
}

TEST(Lznt1Decode, NeverWritesPastTheOutput) {
    const Bytes in = Concat({Chunk(false, Literals(4096)), Chunk(false, Literals(4096))});
    for (std::size_t cap : {0u, 1u, 100u, 4095u, 4096u, 4097u, 5000u}) {
        Bytes out(cap);
        EXPECT_EQ(Lznt1Decompress(in, out), cap);
    }
    // A long copy is cut at the end of the output.
    const Bytes copy = Chunk(true, {0x02, 'a', 0xFF, 0x0F});
    Bytes out(10);
    EXPECT_EQ(Lznt1Decompress(copy, out), 10u);
    EXPECT_EQ(out, Bytes(10, 'a'));
}

Bytes RoundTrip(const Bytes& data) {
    Bytes out(data.size() + 1, 0);
    out.resize(Lznt1Decompress(Lznt1Compress(data), out));
    return out;
}

TEST(Lznt1RoundTrip, RandomDataComesBackAndIsStoredNearItsSize) {
    std::mt19937 rng(1234);
    for (std::size_t size : {0u, 1u, 2u, 3u, 4095u, 4096u, 4097u, 3u * 4096u + 17u, 70000u}) {
        Bytes data(size);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        EXPECT_EQ(RoundTrip(data), data) << size;
        const std::size_t chunks = (size + 4095) / 4096;
        EXPECT_LE(Lznt1Compress(data).size(), size + 2 * chunks) << size;
    }
}

TEST(Lznt1RoundTrip, RepetitiveDataComesBackSmall) {
    struct Case {
        const char* what;
        Bytes data;
    };
    std::vector<Case> cases;
    cases.push_back({"zeros", Bytes(50000, 0)});
    Bytes abc;
    for (int i = 0; i < 20000; ++i) abc.push_back(static_cast<std::uint8_t>("abc"[i % 3]));
    cases.push_back({"abc", abc});
    Bytes rows;  // picture-like: runs of transparent pixels and a few coloured ones
    for (int i = 0; i < 76800; ++i)
        rows.push_back(i % 160 < 40 ? static_cast<std::uint8_t>(i % 4 * 60) : 0);
    cases.push_back({"pixel rows", rows});
    Bytes words;
    std::mt19937 rng(7);
    const char* vocab[] = {"record ", "stop ", "play ", "channel ", "01 ", "24 "};
    while (words.size() < 30000) {
        const char* w = vocab[rng() % 6];
        words.insert(words.end(), w, w + std::char_traits<char>::length(w));
    }
    cases.push_back({"words", words});
    for (const Case& c : cases) {
        EXPECT_EQ(RoundTrip(c.data), c.data) << c.what;
        EXPECT_LT(Lznt1Compress(c.data).size(), c.data.size() / 2) << c.what;
    }
}

}  // namespace
}  // namespace tarvolen::busy
