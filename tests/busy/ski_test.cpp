#include "busy/ski.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "busy/lznt1.h"

namespace tarvolen::busy {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(int w, int h) {
    return {static_cast<std::uint8_t>(w & 0xFF),
            static_cast<std::uint8_t>((w >> 8) & 0xFF),
            static_cast<std::uint8_t>(h & 0xFF),
            static_cast<std::uint8_t>((h >> 8) & 0xFF),
            0xAA,
            0xBB,
            0xCC,
            0xDD};
}

// One uncompressed LZNT1 chunk holding `raw`.
Bytes Stored(const Bytes& raw) {
    Bytes out = {static_cast<std::uint8_t>((raw.size() - 1) & 0xFF),
                 static_cast<std::uint8_t>(0x30 | ((raw.size() - 1) >> 8))};
    out.insert(out.end(), raw.begin(), raw.end());
    return out;
}

Bytes File(int w, int h, const Bytes& raw_pixels) {
    Bytes f = Header(w, h);
    const Bytes body = Stored(raw_pixels);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

TEST(SkiDecode, BottomRowFirstBlueGreenRedAlpha) {
    // 2 x 2: the first stored row is the bottom of the picture.
    const Bytes raw = {
        0x01, 0x02, 0x03, 0xFF, 0x11, 0x12, 0x13, 0x80,  // bottom row
        0x21, 0x22, 0x23, 0x00, 0x31, 0x32, 0x33, 0x40,  // top row
    };
    const auto image = DecodeSki(File(2, 2, raw));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->argb,
              (std::vector<std::uint32_t>{0x00232221, 0x40333231, 0xFF030201, 0x80131211}));
}

TEST(SkiDecode, ShortDataLeavesTheRestTransparent) {
    // 3 x 4 picture, data for the bottom row only.
    const Bytes raw(3 * 4, 0xFF);
    const auto image = DecodeSki(File(3, 4, raw));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->argb.size(), 12u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image->argb[static_cast<std::size_t>(y * 3 + x)], y == 3 ? 0xFFFFFFFFu : 0u)
                << x << "," << y;
}

TEST(SkiDecode, WhatGivesNoImage) {
    struct Case {
        const char* what;
        Bytes file;
        bool image;
    };
    Bytes nine = Header(4, 4);
    nine.push_back(0x00);
    const Case cases[] = {
        {"empty", {}, false},
        {"header only", Header(4, 4), false},
        {"nine bytes: a wholly transparent picture", nine, true},
        {"zero width", File(0, 4, Bytes(4, 1)), false},
        {"zero height", File(4, 0, Bytes(4, 1)), false},
        {"negative width", File(-4, 4, Bytes(4, 1)), false},
        {"negative height", File(4, -1, Bytes(4, 1)), false},
        {"too large to be a spinner", File(32767, 32767, Bytes(4, 1)), false},
        {"largest allowed", File(4096, 4096, Bytes(4, 1)), true},
        {"garbage data", File(8, 8, Bytes{0x12, 0x34, 0x56}), true},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeSki(c.file).has_value(), c.image) << c.what;
}

class SkiFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ski_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(SkiFiles, MissingFileGivesNoImage) {
    EXPECT_FALSE(ReadSki(Path("nothing.ski")));
}

TEST_F(SkiFiles, EightByteFileGivesNoImage) {
    std::ofstream(Path("short.ski"), std::ios::binary).write("\x04\x00\x04\x00\x00\x00\x00\x00", 8);
    EXPECT_FALSE(ReadSki(Path("short.ski")));
}

TEST_F(SkiFiles, WrittenPictureReadsBackExactly) {
    BusyImage image;
    image.width = 37;
    image.height = 23;
    std::mt19937 rng(5);
    for (int i = 0; i < 37 * 23; ++i)
        image.argb.push_back(i % 5 == 0 ? static_cast<std::uint32_t>(rng()) : 0x80102030u);
    ASSERT_TRUE(WriteSki(Path("p.ski"), image));
    const auto back = ReadSki(Path("p.ski"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 37);
    EXPECT_EQ(back->height, 23);
    EXPECT_EQ(back->argb, image.argb);
}

TEST_F(SkiFiles, PicturesThatDoNotFitTheHeaderAreNotWritten) {
    BusyImage wide;
    wide.width = 40000;
    wide.height = 1;
    wide.argb.assign(40000, 0);
    EXPECT_FALSE(WriteSki(Path("wide.ski"), wide));
    BusyImage mismatched;
    mismatched.width = 2;
    mismatched.height = 2;
    mismatched.argb.assign(3, 0);
    EXPECT_FALSE(WriteSki(Path("bad.ski"), mismatched));
}

}  // namespace
}  // namespace tarvolen::busy
