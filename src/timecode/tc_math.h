// Timecode text, frame-rate codes and timecode arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarvolen {

// How cTcMath reaches the program-wide frame-rate code that the settings
// object holds: its getter and its setter. The settings object cannot know
// this folder, so the owner that creates both wires them together.
struct FrameRateAccess {
    std::function<int32_t()> get;
    std::function<void(int32_t)> set;
};

// Access to a plain integer, for owners that keep the code themselves.
FrameRateAccess FrameRateOf(int32_t& code);

// Access through an object with FrameRateCode() / SetFrameRateCode(code),
// such as the settings object; it must outlive the cTcMath.
template <class Settings>
FrameRateAccess FrameRateOfSettings(Settings& settings) {
    return {[&settings] { return settings.FrameRateCode(); },
            [&settings](int32_t code) { settings.SetFrameRateCode(code); }};
}

// The text that stands for a missing timecode.
inline constexpr std::string_view kNoTimecode = "--:--:--:--";

class cTcMath {
  public:
    explicit cTcMath(FrameRateAccess settingsRate);

    // The operations below keep their order: callers reach them by slot.
    virtual void SetFrameRate(int32_t code);
    // Keypad digits grouped into a (partial) timecode; pad != 0 fills the
    // missing leading digits with zeros.
    virtual std::string FormatEntry(std::string_view typed, int32_t pad);
    // Frame count to timecode text at the current rate, wrapping at 24 hours.
    virtual std::string FramesToTc(int32_t frames);
    // Timecode text to frame count at the rate named by its own separator.
    virtual int32_t TcToFrames(std::string_view tc);
    // a + b, each read at its own rate, written at the rate of a.
    virtual std::string AddTc(std::string_view a, std::string_view b);

    virtual ~cTcMath() = default;

    int32_t FrameRate() const { return code_; }

  private:
    void EnsureRate();

    FrameRateAccess settings_;
    int32_t code_ = 0;
};

}  // namespace tarvolen
