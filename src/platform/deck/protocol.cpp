#include "platform/deck/protocol.h"

#include <array>
#include <utility>

namespace tarvolen::deck {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 36> kCodeTexts{{
    {100, "syntax error"},
    {101, "unsupported parameter"},
    {102, "invalid value"},
    {103, "unsupported"},
    {104, "disk full"},
    {105, "no disk"},
    {106, "disk error"},
    {107, "timeline empty"},
    {108, "internal error"},
    {109, "out of range"},
    {110, "no input"},
    {111, "remote control disabled"},
    {120, "connection rejected"},
    {150, "invalid state"},
    {151, "invalid codec"},
    {160, "invalid format"},
    {161, "invalid token"},
    {162, "format not prepared"},
    {200, "ok"},
    {201, "help"},
    {202, "slot info"},
    {204, "device info"},
    {205, "clips info"},
    {206, "disk list"},
    {208, "transport info"},
    {209, "notify"},
    {210, "remote info"},
    {211, "configuration"},
    {212, "commands"},
    {213, "deck rebooting"},
    {214, "clips count"},
    {500, "connection info"},
    {502, "slot info"},
    {508, "transport info"},
    {510, "remote info"},
    {511, "configuration"},
}};

constexpr std::array<std::string_view, 8> kTransportTexts{
    "preview", "stopped", "play", "forward", "rewind", "jog", "shuttle", "record"};

bool TwoDigits(std::string_view t, std::size_t at, int& out) {
    char a = t[at], b = t[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    out = (a - '0') * 10 + (b - '0');
    return true;
}

}  // namespace

std::string_view CodeText(int code) {
    for (const auto& [c, text] : kCodeTexts)
        if (c == code) return text;
    return {};
}

std::string_view TransportText(Transport t) {
    return kTransportTexts[static_cast<std::size_t>(t)];
}

std::optional<Transport> ParseTransport(std::string_view text) {
    for (std::size_t i = 0; i < kTransportTexts.size(); ++i)
        if (kTransportTexts[i] == text) return static_cast<Transport>(i);
    return std::nullopt;
}

std::string FormatTimecode(const Timecode& tc) {
    auto two = [](int v, std::string& out) {
        v = v < 0 ? 0 : v % 100;
        out.push_back(static_cast<char>('0' + v / 10));
        out.push_back(static_cast<char>('0' + v % 10));
    };
    std::string out;
    out.reserve(11);
    two(tc.hours, out);
    out.push_back(':');
    two(tc.minutes, out);
    out.push_back(':');
    two(tc.seconds, out);
    out.push_back(':');
    two(tc.frames, out);
    return out;
}

std::optional<Timecode> ParseTimecode(std::string_view text, int maxFrames) {
    if (text.size() != 11 || text[2] != ':' || text[5] != ':' || text[8] != ':')
        return std::nullopt;
    Timecode tc;
    if (!TwoDigits(text, 0, tc.hours) || !TwoDigits(text, 3, tc.minutes) ||
        !TwoDigits(text, 6, tc.seconds) || !TwoDigits(text, 9, tc.frames))
        return std::nullopt;
    if (tc.hours > 23 || tc.minutes > 59 || tc.seconds > 59 || tc.frames >= maxFrames)
        return std::nullopt;
    return tc;
}

int64_t ToFrames(const Timecode& tc, int fps) {
    return ((int64_t{tc.hours} * 60 + tc.minutes) * 60 + tc.seconds) * fps + tc.frames;
}

Timecode FromFrames(int64_t frames, int fps) {
    const int64_t day = int64_t{24} * 3600 * fps;
    frames %= day;
    if (frames < 0) frames += day;
    Timecode tc;
    tc.frames = static_cast<int>(frames % fps);
    int64_t s = frames / fps;
    tc.seconds = static_cast<int>(s % 60);
    tc.minutes = static_cast<int>(s / 60 % 60);
    tc.hours = static_cast<int>(s / 3600);
    return tc;
}

const std::string* Find(const Params& params, std::string_view key) {
    for (const auto& p : params)
        if (p.key == key) return &p.value;
    return nullptr;
}

std::optional<bool> ParseBool(std::string_view text) {
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
}

std::optional<int64_t> ParseInt(std::string_view text, int64_t lo, int64_t hi) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (negative) v = -v;
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

}  // namespace tarvolen::deck
