#include <gtest/gtest.h>

#include "cliplist/format_tables.h"

namespace tarvolen {
namespace {

struct FormatCase {
    int32_t code;
    const char* name;
    const char* aspect;
    char separator;
};

// Every row of the format table, with the aspect and separator it implies.
const FormatCase kFormats[] = {
    {0, "NTSC_525", "4x3", '.'},
    {1, "PAL_625", "4x3", '.'},
    {2, "720_59_94p", "16x9", 0},
    {3, "720_60p", "16x9", 0},
    {4, "1080_23_98i", "16x9", ','},
    {5, "1080_24i", "16x9", ','},
    {6, "1080_25_1to1i", "16x9", '.'},
    {7, "1080_29_97_1to1i", "16x9", 0},
    {8, "1080_30_1to1i", "16x9", 0},
    {9, "1080_25_2to1i", "16x9", '.'},
    {10, "1080_29_97_2to1i", "16x9", 0},
    {11, "1080_30_2to1i", "16x9", 0},
    {12, "1035_30_2To1", "16x9", 0},
    {13, "1035_29_97_2To1", "16x9", 0},
    {14, "720_50_1To1p", "16x9", 0},
    {15, "525_59_94_1To1p", "4x3", '.'},
    {16, "525_60_1To1p", "4x3", '.'},
    {17, "525_29_97_1To1p", "4x3", '.'},
    {18, "525_30_1To1p", "4x3", '.'},
    {19, "625_50_1To1p", "4x3", '.'},
    {20, "625_25_1To1p", "4x3", '.'},
    {21, "720_29_97_1To1p", "16x9", 0},
    {22, "720_30_1To1p", "16x9", 0},
    {23, "720_25_1To1p", "16x9", '.'},
    {24, "1440x1080_29_97_2To1", "16x9", 0},
    {25, "1440x1080_30_2To1", "16x9", 0},
    {26, "1440x1080_25_2To1", "16x9", '.'},
    {27, "Xga_59_94_1To1", "", 0},
    {28, "Xga_50_1To1", "", 0},
    {29, "Wxga_59_94_1To1", "", 0},
    {30, "Wxga_50_1To1", "", 0},
    {31, "Wsxga_59_94_1To1", "", 0},
    {32, "Wsxga_50_1To1", "", 0},
    {100, "1080_23_98p", "", ','},
    {101, "1080_24p", "", ','},
    {102, "1080_25p", "", '.'},
    {103, "1080_2997p", "", 0},
    {104, "1080_50p", "", 0},
    {105, "1080_5994p", "", 0},
    {255, "Mixed", "", 0},
};

TEST(VideoFormatTable, EveryCodeHasItsNameAspectAndSeparator) {
    for (const auto& c : kFormats) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(VideoFormatName(c.code), c.name);
        EXPECT_EQ(AspectName(c.code), c.aspect);
        EXPECT_EQ(FrameSeparatorFor(VideoFormatName(c.code)), c.separator);
    }
}

TEST(VideoFormatTable, CodesOutsideTheTableGiveEmptyNameAndAspect) {
    for (int32_t code : {33, 50, 99, 106, 200, 254, -1, 256}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(VideoFormatName(code), "");
        EXPECT_EQ(AspectName(code), "");
        EXPECT_EQ(FrameSeparatorFor(VideoFormatName(code)), 0);
    }
}

TEST(FrameSeparator, TwentyFiveIsTestedLastAndWins) {
    // A name with both "24" and "25" in it takes the 25-frame separator.
    EXPECT_EQ(FrameSeparatorFor("x_24_25"), '.');
    EXPECT_EQ(FrameSeparatorFor("x_25_24"), '.');
    EXPECT_EQ(FrameSeparatorFor("x_23_24"), ',');
    EXPECT_EQ(FrameSeparatorFor(""), 0);
}

TEST(CodecTable, NamesAndNumbersShownForUnknownCodes) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "Mpeg1"},      {1, "Mpeg2"},   {2, "D10"},      {3, "Dv25"},           {4, "DV50"},
        {5, "DVCAM"},      {6, "MPEG2HD"}, {7, "DV100"},    {8, "AVCI"},           {113, "XDCam"},
        {128, "CineForm"}, {144, "DNxHD"}, {160, "ProRes"}, {176, "Uncompressed"}, {255, "Mixed"},
        {50, " 50"},       {9, " 9"},      {254, " 254"},
    };
    for (const auto& [code, shown] : cases) {
        SCOPED_TRACE(code);
        EXPECT_EQ(CodecColumn(code), shown);
    }
    EXPECT_EQ(CodecName(50), "");
}

TEST(FourPartAddress, CountsPartsNotOctets) {
    const std::pair<const char*, bool> cases[] = {
        {"10.0.0.5", true},    {"10.0..5", true}, {"...", true},
        {"127.0.0.101", true}, {"10.0.0", false}, {"10.0.0.5.", false},
        {"", false},           {"10005", false},  {"1.2.3.4.5", false},
    };
    for (const auto& [address, ok] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(IsFourPartAddress(address), ok);
    }
}

}  // namespace
}  // namespace tarvolen
