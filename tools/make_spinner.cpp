// make-spinner: draws the busy spinner (a ring of dots with a bright head and a
// fading tail) as a horizontal strip of square frames and writes it as ".SKI".
//   make-spinner <out.ski> [frames=12] [side=40]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "busy/ski.h"

namespace {

using tarvolen::busy::BusyImage;

struct Rgb {
    double r, g, b;
};

// Coverage of a disc at one pixel, 4 x 4 samples, so the dots have soft edges.
double DiscCoverage(double px, double py, double cx, double cy, double radius) {
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const double x = px + (sx + 0.5) / 4 - cx;
            const double y = py + (sy + 0.5) / 4 - cy;
            if (x * x + y * y <= radius * radius) ++inside;
        }
    return inside / 16.0;
}

void DrawFrame(BusyImage& strip, int frame, int frames, int side) {
    const int dots = frames;
    const double centre = side / 2.0;
    const double ring = side * 0.34;
    const double dot = side * 0.085;
    const Rgb head{0x2E, 0x8B, 0xF0};
    const Rgb tail{0xB8, 0xD4, 0xF4};
    for (int d = 0; d < dots; ++d) {
        // Dot d is `age` steps behind the head; the head moves clockwise.
        const int age = (frame - d + dots) % dots;
        const double t = static_cast<double>(age) / dots;
        const double strength = std::max(0.18, 1.0 - t);
        const double radius = dot * (1.0 - 0.35 * t);
        const double angle = 2 * std::numbers::pi * d / dots - std::numbers::pi / 2;
        const double cx = centre + ring * std::cos(angle);
        const double cy = centre + ring * std::sin(angle);
        const Rgb c{head.r + (tail.r - head.r) * t, head.g + (tail.g - head.g) * t,
                    head.b + (tail.b - head.b) * t};
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const double cover = DiscCoverage(x, y, cx, cy, radius);
                if (cover <= 0) continue;
                const auto a = static_cast<std::uint32_t>(std::lround(255 * cover * strength));
                std::uint32_t& p = strip.argb[static_cast<std::size_t>(y) * strip.width +
                                              static_cast<std::size_t>(frame) * side + x];
                if (a <= (p >> 24)) continue;
                p = a << 24 | static_cast<std::uint32_t>(std::lround(c.r)) << 16 |
                    static_cast<std::uint32_t>(std::lround(c.g)) << 8 |
                    static_cast<std::uint32_t>(std::lround(c.b));
            }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make-spinner <out.ski> [frames=12] [side=40]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 12;
    const int side = argc > 3 ? std::atoi(argv[3]) : 40;
    if (frames < 1 || side < 8 || static_cast<long>(frames) * side > 0x7FFF) {
        std::fprintf(stderr, "make-spinner: frames or side out of range\n");
        return 2;
    }
    BusyImage strip;
    strip.width = frames * side;
    strip.height = side;
    strip.argb.assign(static_cast<std::size_t>(strip.width) * side, 0);
    for (int f = 0; f < frames; ++f) DrawFrame(strip, f, frames, side);
    if (!tarvolen::busy::WriteSki(argv[1], strip)) {
        std::fprintf(stderr, "make-spinner: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
