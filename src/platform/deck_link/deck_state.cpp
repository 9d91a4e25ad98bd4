#include "platform/deck_link/deck_state.h"

#include <string_view>

namespace tarvolen::decklink {
namespace {

constexpr char kNoTimecode[] = "--:--:--:--";

bool EndsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// The separator that names the rate in our timecodes, from the deck's video
// format ("1080i50", "PAL", "1080p23976", ...). The deck's own timecodes are
// non-drop-frame, so 29.97 formats read as 30.
char RateSeparator(std::string_view format) {
    if (format.find("PAL") != std::string_view::npos || EndsWith(format, "50") ||
        EndsWith(format, "25"))
        return '.';
    if (EndsWith(format, "23976") || EndsWith(format, "24")) return ',';
    return ':';
}

}  // namespace

bool ApplyTransport(const deck::Params& params, DeckState& s) {
    const std::string before = s.status;
    const int speedBefore = s.speed;
    for (const deck::Param& p : params) {
        if (p.key == "status") {
            if (deck::ParseTransport(p.value)) s.status = p.value;
        } else if (p.key == "speed") {
            if (auto v = deck::ParseInt(p.value, -100000, 100000)) s.speed = static_cast<int>(*v);
        } else if (p.key == "display timecode") {
            s.displayTimecode = p.value;
        } else if (p.key == "clip id") {
            s.clipId = p.value;
        } else if (p.key == "video format") {
            s.videoFormat = p.value;
        } else if (p.key == "loop") {
            if (auto b = deck::ParseBool(p.value)) s.loop = *b;
        }
    }
    const bool changed = s.status != before || s.speed != speedBefore;
    if (changed) s.notice.clear();
    if (s.status != "record") s.recordingName.clear();
    return changed;
}

void ApplyRemote(const deck::Params& params, DeckState& s) {
    if (const std::string* v = deck::Find(params, "enabled"))
        if (auto b = deck::ParseBool(*v)) s.remoteEnabled = *b;
}

void ApplySlot(const deck::Params& params, DeckState& s) {
    for (const deck::Param& p : params) {
        if (p.key == "slot id") s.slotId = p.value;
        if (p.key == "status") s.slotStatus = p.value;
        if (p.key == "volume name") s.volumeName = p.value;
        if (p.key == "recording time") s.recordingTime = p.value;
    }
}

bool ApplyClips(const std::vector<std::string>& lines, DeckState& s) {
    std::vector<DeckClip> clips;
    for (const std::string& line : lines) {
        std::string_view l = line;
        if (l.rfind("clip count:", 0) == 0) continue;
        const std::size_t colon = l.find(": ");
        if (colon == std::string_view::npos) return false;
        auto id = deck::ParseInt(l.substr(0, colon), 0, INT32_MAX);
        if (!id) return false;
        // The name may hold blanks; the two timecodes are the last two words.
        std::string_view rest = l.substr(colon + 2);
        const std::size_t b2 = rest.rfind(' ');
        if (b2 == std::string_view::npos || b2 == 0) return false;
        const std::size_t b1 = rest.rfind(' ', b2 - 1);
        if (b1 == std::string_view::npos || b1 == 0) return false;
        DeckClip c;
        c.id = *id;
        c.name.assign(rest.substr(0, b1));
        c.start.assign(rest.substr(b1 + 1, b2 - b1 - 1));
        c.duration.assign(rest.substr(b2 + 1));
        if (!deck::ParseTimecode(c.start) || !deck::ParseTimecode(c.duration)) return false;
        clips.push_back(std::move(c));
    }
    s.clips = std::move(clips);
    return true;
}

std::string StateWord(const DeckState& s) {
    if (!s.remoteEnabled) return "Local";
    if (!s.notice.empty()) return s.notice;
    auto t = deck::ParseTransport(s.status);
    if (!t) return "Stop";
    switch (*t) {
        case deck::Transport::kPreview:
            // The deck shows its input: no clip is loaded for output.
            return "Eject";
        case deck::Transport::kStopped:
            return "Stop";
        case deck::Transport::kRecord:
            return "Record";
        case deck::Transport::kForward:
            return "FastFwd";
        case deck::Transport::kRewind:
            return "Rewind";
        case deck::Transport::kJog:
            return "Still";
        case deck::Transport::kShuttle:
            return s.speed > 0 ? "FastFwd" : s.speed < 0 ? "Rewind" : "Still";
        case deck::Transport::kPlay: {
            std::string word = s.speed < 0 ? "Reverse" : s.speed == 0 ? "Still" : "Play";
            return s.loop ? word + "{L}" : word;
        }
    }
    return "Stop";
}

std::string RowTimecode(const DeckState& s) {
    auto tc = deck::ParseTimecode(s.displayTimecode);
    if (!tc) {
        // Some decks write drop-frame timecodes with ';': keep that rate.
        if (s.displayTimecode.size() == 11 && s.displayTimecode[8] == ';') {
            std::string colons = s.displayTimecode;
            colons[8] = ':';
            if (deck::ParseTimecode(colons)) return s.displayTimecode;
        }
        return kNoTimecode;
    }
    std::string text = deck::FormatTimecode(*tc);
    text[8] = RateSeparator(s.videoFormat);
    return text;
}

const DeckClip* FindClip(const DeckState& s, const std::string& name) {
    for (const DeckClip& c : s.clips)
        if (c.name == name) return &c;
    // A deck may list the file name where it was told the clip's name.
    for (const DeckClip& c : s.clips) {
        const std::size_t dot = c.name.rfind('.');
        if (dot != std::string::npos && c.name.compare(0, dot, name) == 0 && dot == name.size())
            return &c;
    }
    return nullptr;
}

std::string CurrentClip(const DeckState& s) {
    if (s.status == "record" && !s.recordingName.empty()) return s.recordingName;
    auto id = deck::ParseInt(s.clipId, 0, INT32_MAX);
    if (!id) return "";
    for (const DeckClip& c : s.clips)
        if (c.id == *id) return c.name;
    return "";
}

std::string RefusalWord(int code) {
    switch (code) {
        case deck::kRemoteControlDisabled:
            return "Local";
        case deck::kConnectionRejected:
            return "In use";
        case deck::kDiskFull:
            return "Disk full";
        case deck::kNoDisk:
            return "No disk";
        case deck::kDiskError:
            return "Disk error";
        case deck::kNoInput:
            return "No input";
        case deck::kTimelineEmpty:
            return "No clips";
        default:
            // The deck's state is as it shows: a play refused while it
            // records still records.
            return "";
    }
}

}  // namespace tarvolen::decklink
