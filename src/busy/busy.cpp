#include "busy/busy.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tarvolen::busy {
namespace {

// The one animation of the program. Touched only on the GUI thread.
struct Animation {
    std::optional<BusyImage> image;
    StripLayout layout;
    int frame = 0;     // last frame drawn, 1-based; carries over between animations
    int interval = 0;  // base interval in ms; 0 until the first animation
    BusyHandle window = 0;
};

Animation& TheAnimation() {
    static Animation animation;
    return animation;
}

// Program-wide stop request; set from anywhere, cleared only by the tick that acts on it.
std::atomic<bool> g_stop_request{false};

BusyPlatform* g_platform = nullptr;

void FrameTick() {
    BusyPlatform* platform = g_platform;
    Animation& a = TheAnimation();
    if (platform == nullptr) return;
    // The stop request is honoured even when the strip is gone (a later show
    // whose picture failed to load), or that spinner could never be removed.
    if (g_stop_request.exchange(false)) {
        const BusyHandle window = a.window;
        if (a.interval != 0 && window != 0) platform->StopTimer(window);
        a.image.reset();
        a.layout = {};
        a.window = 0;
        if (window != 0) platform->DestroySpinner(window);
        return;
    }
    if (!a.image || a.window == 0 || a.layout.frames <= 0) return;

    if (++a.frame > a.layout.frames) a.frame = 1;
    const int offset = (a.frame - 1) * a.layout.side;
    const int src_x = a.layout.horizontal ? offset : 0;
    const int src_y = a.layout.horizontal ? 0 : offset;
    platform->ShowFrame(a.window, *a.image, src_x, src_y, a.layout.side);
}

bool EndsWithSki(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".SKI";
}

// Centre offset, rounded the way the platform's float conversion does (ties to even).
int Centre(int from, int to, int side) {
    return from + static_cast<int>(std::nearbyint((to - from - side) * 0.5));
}

}  // namespace

void InstallBusyPlatform(BusyPlatform* platform) {
    g_platform = platform;
}
BusyPlatform* InstalledBusyPlatform() {
    return g_platform;
}

StripLayout LayoutStrip(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    if (height < width) return {width / height, true, height};
    return {height / width, false, width};
}

int BaseInterval(int frames) {
    if (frames < 4) return 300;
    if (frames < 8) return 200;
    if (frames < 12) return 150;
    if (frames < 20) return 100;
    return 60;
}

std::string ResolveBusyPicture(const std::string& picture) {
    namespace fs = std::filesystem;
    const fs::path name(picture);
    std::error_code ec;
    if (picture.empty() || name.is_absolute() || fs::exists(name, ec)) return picture;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return picture;
    const fs::path beside = program.parent_path() / name;
    if (fs::exists(beside, ec)) return beside.string();
    // An installed program keeps its pictures in <prefix>/share/tarvolen.
    const fs::path shared = program.parent_path().parent_path() / "share" / "tarvolen" / name;
    return fs::exists(shared, ec) ? shared.string() : picture;
}

std::optional<BusyImage> LoadBusyPicture(const std::string& picture, BusyPlatform* platform) {
    std::optional<BusyImage> image;
    if (EndsWithSki(picture)) {
        image = ReadSki(picture);
    } else if (platform != nullptr) {
        image = platform->LoadPicture(picture);
    }
    if (image && (image->width <= 0 || image->height <= 0 ||
                  image->argb.size() != static_cast<std::size_t>(image->width) * image->height))
        image.reset();
    return image;
}

BusyHandle ShowBusy(BusyHandle window, const std::string& picture) {
    BusyPlatform* platform = g_platform;
    if (platform == nullptr) return 0;
    Animation& a = TheAnimation();

    const BusyRect over = platform->WindowRect(window).value_or(platform->DesktopRect());

    a.layout = {};
    a.image = LoadBusyPicture(ResolveBusyPicture(picture), platform);
    if (!a.image) return 0;
    a.layout = LayoutStrip(a.image->width, a.image->height);

    if (a.interval != 0 && a.window != 0) platform->StopTimer(a.window);

    BusyHandle spinner = platform->FindSpinner(kSpinnerName);
    if (spinner == 0) spinner = platform->CreateSpinner(kSpinnerName);
    a.window = spinner;
    if (spinner == 0) return 0;

    const int side = a.layout.side;
    platform->MoveSpinner(spinner, Centre(over.left, over.right, side),
                          Centre(over.top, over.bottom, side), side, side);
    a.interval = BaseInterval(a.layout.frames);
    platform->StartTimer(spinner, a.interval / 2, FrameTick);
    return spinner;
}

void StopBusy() {
    g_stop_request.store(true);
}

}  // namespace tarvolen::busy
