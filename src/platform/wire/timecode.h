// Timecode text of the recorder protocol: frame counts to "HH:MM:SS?FF" and
// back at its rates (29.97 drop-frame, 30, 25 or 24), whose separator names
// the rate. The emulator counts its frames with it; the link runs a pushed
// timecode on with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolen::wire {

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

// The rate a timecode's separator names (its ninth character); false when
// the text names none.
bool RateOf(std::string_view timecode, Rate& out);

}  // namespace tarvolen::wire
