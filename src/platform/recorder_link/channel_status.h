// What the link knows of one internal channel of a recorder, from its
// pushed lines.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "platform/wire/timecode.h"
#include "platform/wire/wire.h"

namespace tarvolen::link {

inline constexpr char kNoTimecode[] = "--:--:--:--";

struct ChannelStatus {
    using Clock = std::chrono::steady_clock;

    std::string word = "Stop";
    std::string timecode = kNoTimecode;
    std::string mode = "none";
    std::string clip;
    // A run the recorder said goes on by itself, one frame a frame: its
    // timecode is run on from where and when the run was first heard.
    bool run = false;
    wire::Rate rate{};
    int64_t runFrames = 0;
    Clock::time_point runSince{};

    int64_t RunFrame(Clock::time_point now) const {
        const double seconds = std::chrono::duration<double>(now - runSince).count();
        return runFrames + static_cast<int64_t>(std::floor(seconds * wire::Info(rate).fps));
    }
    std::string Timecode(Clock::time_point now) const {
        return run ? wire::FramesToTimecode(RunFrame(now), rate) : timecode;
    }
    void Heard(const wire::Frame& f, Clock::time_point now) {
        std::string newWord = f.Arg(1).substr(0, 9);
        std::string newMode = f.Arg(3);
        timecode = f.Arg(2).substr(0, 15);
        wire::Rate newRate{};
        int64_t frames = 0;
        const bool runs = f.Arg(4) == "run" && wire::RateOf(timecode, newRate) &&
                          wire::TimecodeToFrames(timecode, newRate, frames);
        // The same run heard again keeps where it began: a line read a frame
        // late then never steps the timecode shown back. Two frames apart is
        // a jump, or clocks that drifted, and starts it again.
        const bool same = runs && run && newWord == word && newMode == mode && newRate == rate &&
                          std::llabs(frames - RunFrame(now)) <= 2;
        if (!same) {
            run = runs;
            rate = newRate;
            runFrames = frames;
            runSince = now;
        }
        word = std::move(newWord);
        mode = std::move(newMode);
    }
};

// A run's frames as a clock: they begin at since and every 1/fps after.
struct RunClock {
    ChannelStatus::Clock::time_point since;
    double fps = 0;
};

// When a pass after the one that showed the runs at shown finds every run
// one frame on and none two: just after the last run's next frame, as a
// pass wakes late, never early, and no later than the fastest run's frame.
// Nothing when there are no runs, a run is faster than the passes may come,
// or their frames leave no such moment with room to wake 10 ms late.
inline std::optional<ChannelStatus::Clock::time_point> NextPass(
    ChannelStatus::Clock::time_point shown, std::span<const RunClock> runs) {
    using Seconds = std::chrono::duration<double>;
    constexpr double kShortestStride = 0.030;
    constexpr double kAfter = 0.004;  // after the last frame
    constexpr double kLate = 0.010;   // a pass may wake this late and miss nothing
    if (runs.empty()) return std::nullopt;
    double lastNext = 0, firstSecond = 1e9, fastest = 1e9;
    for (const RunClock& run : runs) {
        if (!(run.fps > 0)) return std::nullopt;
        const double frame = 1 / run.fps;
        if (frame < kShortestStride) return std::nullopt;
        const double into = Seconds(shown - run.since).count();
        const double next = (std::floor(into * run.fps) + 1) * frame - into;
        lastNext = std::max(lastNext, next);
        firstSecond = std::min(firstSecond, next + frame);
        fastest = std::min(fastest, frame);
    }
    if (firstSecond - lastNext < kAfter + kLate) return std::nullopt;
    const double after = std::min(lastNext + kAfter, fastest);
    return shown + std::chrono::duration_cast<ChannelStatus::Clock::duration>(Seconds(after));
}

}  // namespace tarvolen::link
