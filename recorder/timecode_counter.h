// The emulator's own frame counter: frame counts to timecode text and back at
// the bank's rate (29.97 drop-frame, 30, 25 or 24).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolen::recorder {

enum class Rate { k2997DropFrame, k30, k25, k24 };

struct RateInfo {
    double fps;   // real frames per second
    int nominal;  // frames per timecode second
    bool drop;    // drop-frame numbering
    char separator;
};

RateInfo Info(Rate rate);
bool ParseRate(std::string_view text, Rate& out);  // "29.97", "30", "25", "24"

// Frames in one day of timecode at the rate.
int64_t FramesPerDay(Rate rate);

// Frame count (wrapped into one day) to "HH:MM:SS;FF".
std::string FramesToTimecode(int64_t frames, Rate rate);

// "HH:MM:SS?FF" with any separator; false when it is not a timecode.
bool TimecodeToFrames(std::string_view text, Rate rate, int64_t& frames);

}  // namespace tarvolen::recorder
