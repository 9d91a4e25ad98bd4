#include "platform/wire/timecode.h"

namespace tarvolen::wire {

RateInfo Info(Rate rate) {
    switch (rate) {
        case Rate::k30:
            return {30.0, 30, false, ':'};
        case Rate::k25:
            return {25.0, 25, false, '.'};
        case Rate::k24:
            return {24.0, 24, false, ','};
        case Rate::k2997DropFrame:
            break;
    }
    return {30000.0 / 1001.0, 30, true, ';'};
}

bool ParseRate(std::string_view text, Rate& out) {
    if (text == "29.97" || text == "2997" || text == "29")
        out = Rate::k2997DropFrame;
    else if (text == "30")
        out = Rate::k30;
    else if (text == "25")
        out = Rate::k25;
    else if (text == "24")
        out = Rate::k24;
    else
        return false;
    return true;
}

int64_t FramesPerDay(Rate rate) {
    RateInfo r = Info(rate);
    // Drop-frame loses two frame numbers in every minute not divisible by ten.
    return r.drop ? int64_t{24} * 107892 : int64_t{24} * 3600 * r.nominal;
}

std::string FramesToTimecode(int64_t frames, Rate rate) {
    RateInfo r = Info(rate);
    int64_t day = FramesPerDay(rate);
    frames %= day;
    if (frames < 0) frames += day;
    if (r.drop) {
        // 17982 frames per ten minutes; 1798 in each dropped minute.
        int64_t tens = frames / 17982;
        int64_t rem = frames % 17982;
        int64_t extra = rem < 2 ? 0 : 2 * ((rem - 2) / 1798);
        frames += 18 * tens + extra;
    }
    const int64_t secs = frames / r.nominal;
    // Written by hand: the status pass writes one for every channel thirty
    // times a second, and a formatted print costs ten times as much.
    const int64_t fields[4] = {secs / 3600 % 24, secs / 60 % 60, secs % 60, frames % r.nominal};
    std::string text = "00:00:00:00";
    for (size_t i = 0; i < 4; ++i) {
        text[i * 3] = char('0' + fields[i] / 10 % 10);
        text[i * 3 + 1] = char('0' + fields[i] % 10);
    }
    text[8] = r.separator;
    return text;
}

bool TimecodeToFrames(std::string_view t, Rate rate, int64_t& frames) {
    if (t.size() != 11 || t[2] != ':' || t[5] != ':') return false;
    int field[4];
    for (int i = 0; i < 4; ++i) {
        char a = t[i * 3], b = t[i * 3 + 1];
        if (a < '0' || a > '9' || b < '0' || b > '9') return false;
        field[i] = (a - '0') * 10 + (b - '0');
    }
    RateInfo r = Info(rate);
    if (field[0] > 23 || field[1] > 59 || field[2] > 59 || field[3] >= r.nominal) return false;
    int64_t minutes = field[0] * 60 + field[1];
    int64_t n = (minutes * 60 + field[2]) * r.nominal + field[3];
    if (r.drop) n -= 2 * (minutes - minutes / 10);
    frames = n;
    return true;
}

bool RateOf(std::string_view timecode, Rate& out) {
    if (timecode.size() != 11) return false;
    for (Rate r : {Rate::k2997DropFrame, Rate::k30, Rate::k25, Rate::k24}) {
        if (Info(r).separator == timecode[8]) {
            out = r;
            return true;
        }
    }
    return false;
}

}  // namespace tarvolen::wire
