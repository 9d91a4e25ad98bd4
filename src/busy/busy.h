// The busy animation: a small spinner centred over a window while a long
// operation runs. The frames come from one strip of square pictures.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "busy/ski.h"

namespace tarvolen::busy {

// The picture every caller shows.
inline constexpr const char* kBusyPicture = "spinner06.ski";
// Name the spinner window is made and found under.
inline constexpr const char* kSpinnerName = "ZSPINNER";

// A platform window handle; 0 means none.
using BusyHandle = std::int32_t;

struct BusyRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// What the spinner needs from the windowing platform. All calls come from the
// GUI thread; the timer fires there too.
class BusyPlatform {
  public:
    virtual ~BusyPlatform() = default;

    // The live spinner window made under `name`, or 0.
    virtual BusyHandle FindSpinner(const std::string& name) = 0;
    // Makes a borderless, always-on-top, per-pixel-transparent window without a
    // taskbar entry, draggable by the mouse, under `name`. 0 when it cannot.
    virtual BusyHandle CreateSpinner(const std::string& name) = 0;
    virtual void DestroySpinner(BusyHandle spinner) = 0;
    // Moves and sizes the spinner without repainting it.
    virtual void MoveSpinner(BusyHandle spinner, int x, int y, int width, int height) = 0;
    // Shows the side x side square of `strip` at (src_x, src_y) as the spinner's
    // whole content, with per-pixel alpha.
    virtual void ShowFrame(BusyHandle spinner, const BusyImage& strip, int src_x, int src_y,
                           int side) = 0;
    // (Re)starts the spinner's frame timer; `tick` runs on every period.
    virtual void StartTimer(BusyHandle spinner, int period_ms, std::function<void()> tick) = 0;
    virtual void StopTimer(BusyHandle spinner) = 0;

    // Screen rectangle of a window handle, or nothing when it is not a window.
    virtual std::optional<BusyRect> WindowRect(BusyHandle window) = 0;
    virtual BusyRect DesktopRect() = 0;

    // Loads a picture file of any format the platform reads (not ".SKI").
    virtual std::optional<BusyImage> LoadPicture(const std::string& path) = 0;
};

// Installs the platform the spinner uses (nullptr removes it). Not owned.
void InstallBusyPlatform(BusyPlatform* platform);
BusyPlatform* InstalledBusyPlatform();

// Shows the animation from `picture` centred over `window` (over the desktop
// when it is not a window); reuses a running spinner with the new strip.
// Returns the spinner's handle, or 0 when no picture could be loaded or no
// window exists.
BusyHandle ShowBusy(BusyHandle window, const std::string& picture);

// Asks the spinner to end at its next frame tick. The request stays pending
// until a tick acts on it, so one made while no spinner runs ends the next one.
void StopBusy();

// Where `picture` is read from: a relative name missing from the current
// directory is looked for beside the program, then in the installed
// program's <prefix>/share/tarvolen.
std::string ResolveBusyPicture(const std::string& picture);

// Loads a strip: ".SKI" (in any letter case) through our reader, anything else
// through the platform. No image when it cannot be read.
std::optional<BusyImage> LoadBusyPicture(const std::string& picture, BusyPlatform* platform);

// Strip geometry and timing.
struct StripLayout {
    int frames = 0;
    bool horizontal = false;
    int side = 0;
};
StripLayout LayoutStrip(int width, int height);
int BaseInterval(int frames);

}  // namespace tarvolen::busy
