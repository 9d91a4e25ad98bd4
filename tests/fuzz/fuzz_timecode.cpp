// TcToFrames, AddTc and FormatEntry on arbitrary texts. Input: first byte
// picks the rate and the pad flag, then text a, NUL, text b.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "timecode/tc_math.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    constexpr int32_t kCodes[] = {29, 30, 25, 24, 0, 31, -1, 2147483647};
    int32_t program = kCodes[data[0] & 7];
    int32_t pad = (data[0] >> 3) & 1 ? data[0] : 0;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = input.find('\0');
    std::string_view a = input.substr(0, split);
    std::string_view b = split == std::string_view::npos ? a : input.substr(split + 1);

    using namespace tarvolen;
    cTcMath tc(FrameRateOf(program));
    if (data[0] & 0x10) tc.SetFrameRate(kCodes[(data[0] >> 5) & 7]);

    int32_t frames = tc.TcToFrames(a);
    Check(a.size() == 11 || frames == 0);

    std::string sum = tc.AddTc(a, b);
    Check(sum.empty() || sum.size() == 11);

    std::string text = tc.FramesToTc(frames);
    Check(text.size() == 11);
    if (frames >= 0 && frames < 2073600) {
        // below 24 hours at every rate the text reads back as the same count
        Check(tc.TcToFrames(text) == frames);
    }

    std::string shown = tc.FormatEntry(a, pad);
    Check(shown.size() <= 12);
    return 0;
}
