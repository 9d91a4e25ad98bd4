#include "cliplist/format_tables.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarvolen {
namespace {

struct Word {
    int32_t code;
    const char* name;
};

constexpr std::array kVideoFormats{
    Word{0, "NTSC_525"},
    Word{1, "PAL_625"},
    Word{2, "720_59_94p"},
    Word{3, "720_60p"},
    Word{4, "1080_23_98i"},
    Word{5, "1080_24i"},
    Word{6, "1080_25_1to1i"},
    Word{7, "1080_29_97_1to1i"},
    Word{8, "1080_30_1to1i"},
    Word{9, "1080_25_2to1i"},
    Word{10, "1080_29_97_2to1i"},
    Word{11, "1080_30_2to1i"},
    Word{12, "1035_30_2To1"},
    Word{13, "1035_29_97_2To1"},
    Word{14, "720_50_1To1p"},
    Word{15, "525_59_94_1To1p"},
    Word{16, "525_60_1To1p"},
    Word{17, "525_29_97_1To1p"},
    Word{18, "525_30_1To1p"},
    Word{19, "625_50_1To1p"},
    Word{20, "625_25_1To1p"},
    Word{21, "720_29_97_1To1p"},
    Word{22, "720_30_1To1p"},
    Word{23, "720_25_1To1p"},
    Word{24, "1440x1080_29_97_2To1"},
    Word{25, "1440x1080_30_2To1"},
    Word{26, "1440x1080_25_2To1"},
    Word{27, "Xga_59_94_1To1"},
    Word{28, "Xga_50_1To1"},
    Word{29, "Wxga_59_94_1To1"},
    Word{30, "Wxga_50_1To1"},
    Word{31, "Wsxga_59_94_1To1"},
    Word{32, "Wsxga_50_1To1"},
    Word{100, "1080_23_98p"},
    Word{101, "1080_24p"},
    Word{102, "1080_25p"},
    Word{103, "1080_2997p"},
    Word{104, "1080_50p"},
    Word{105, "1080_5994p"},
    Word{255, "Mixed"},
};

constexpr std::array kCodecs{
    Word{0, "Mpeg1"},    Word{1, "Mpeg2"},          Word{2, "D10"},        Word{3, "Dv25"},
    Word{4, "DV50"},     Word{5, "DVCAM"},          Word{6, "MPEG2HD"},    Word{7, "DV100"},
    Word{8, "AVCI"},     Word{113, "XDCam"},        Word{128, "CineForm"}, Word{144, "DNxHD"},
    Word{160, "ProRes"}, Word{176, "Uncompressed"}, Word{255, "Mixed"},
};

template <size_t N>
std::string Lookup(const std::array<Word, N>& table, int32_t code) {
    auto it =
        std::find_if(table.begin(), table.end(), [code](const Word& w) { return w.code == code; });
    return it == table.end() ? std::string() : std::string(it->name);
}

}  // namespace

std::string VideoFormatName(int32_t code) {
    return Lookup(kVideoFormats, code);
}

std::string CodecName(int32_t code) {
    return Lookup(kCodecs, code);
}

std::string AspectName(int32_t code) {
    if ((code >= 0 && code <= 1) || (code >= 15 && code <= 20)) return "4x3";
    if ((code >= 2 && code <= 14) || (code >= 21 && code <= 26)) return "16x9";
    return {};
}

char FrameSeparatorFor(std::string_view name) {
    char separator = 0;
    if (name.find("24") != std::string_view::npos) separator = ',';
    if (name.find("23") != std::string_view::npos) separator = ',';
    // Tested last on purpose: "525" and "625" names are 25-frame timecodes.
    if (name.find("25") != std::string_view::npos) separator = '.';
    return separator;
}

bool IsFourPartAddress(std::string_view address) {
    return !address.empty() && std::count(address.begin(), address.end(), '.') == 3;
}

std::string CodecColumn(int32_t code) {
    std::string name = CodecName(code);
    return name.empty() ? " " + std::to_string(code) : name;
}

}  // namespace tarvolen
