// Audio routing: reading it from and writing it into the configuration
// document, and the track edits of the audio pages.
#include "config/routing.h"

#include <algorithm>
#include <cmath>

#include "config/config_text.h"
#include "config/xml_text.h"
#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

bool KnownKey(std::string_view key) {
    return key == "digital" || key == "tone_generator" || key == "off" || key == "silent" ||
           key == "analog";
}

}  // namespace

int32_t LastTrack(const Routing& routing) {
    int32_t last = -1;
    for (int32_t k = 0; k < kRoutingEntries; ++k) {
        if (CleanText(routing[static_cast<size_t>(k)].key).empty()) break;
        last = k;
    }
    return last;
}

bool AddTrackTo(Routing& routing) {
    const int32_t last = LastTrack(routing);
    if (last >= kRoutingEntries - 1) return false;
    routing[static_cast<size_t>(last + 1)] = {FixedWidth("digital", kConfigFieldWidth), last + 1};
    return true;
}

bool RemoveLastTrack(Routing& routing) {
    const int32_t last = LastTrack(routing);
    if (last < 0) return false;
    routing[static_cast<size_t>(last)] = {};
    return true;
}

void SetTrackCountOf(Routing& routing, int32_t count) {
    count = std::clamp(count, 0, kRoutingEntries);
    for (int32_t k = 0; k < kRoutingEntries; ++k) routing[static_cast<size_t>(k)].value = k;
    const int32_t current = LastTrack(routing) + 1;
    for (int32_t k = count; k < current; ++k) routing[static_cast<size_t>(k)] = {};
    for (int32_t k = current; k < count; ++k) {
        routing[static_cast<size_t>(k)].key = FixedWidth("digital", kConfigFieldWidth);
    }
}

void ApplyTrackChoice(RoutingEntry& entry, std::string_view shown) {
    if (shown == "silent") {
        entry = {FixedWidth("silent", kConfigFieldWidth), 0};
        return;
    }
    if (shown == "off") {
        entry = {};
        return;
    }
    if (shown.find("Hz") == std::string_view::npos) {
        const int32_t n = NearestWhole(shown);
        entry.value = n == INT32_MIN ? n : n - 1;
        const std::string key = CleanText(entry.key);
        if (key == "tone_generator" || key == "silent") {
            entry.key = FixedWidth("digital", kConfigFieldWidth);
        }
        return;
    }
    std::string t;
    for (char c : shown) {
        if (c != 'k') t.push_back(c);
    }
    for (size_t p; (p = t.find("Hz")) != std::string::npos;) t.erase(p, 2);
    int32_t value;
    if (t == "1") {
        value = 1000;
    } else if (t == "1.2") {
        value = 1200;
    } else {
        value = NearestWhole(t);
    }
    entry = {FixedWidth("tone_generator", kConfigFieldWidth), value};
}

std::string TrackItemLabel(int32_t k) {
    return "Ch " + std::to_string(k + 1);
}

std::string TrackShownValue(const RoutingEntry& entry) {
    const std::string key = CleanText(entry.key);
    if (key == "silent") return "silent";
    int64_t v = entry.value;
    if (KnownKey(key)) v += 1;
    if (v > 32) {
        v = static_cast<int64_t>(std::llround(static_cast<double>(v) / 10.0)) * 10;
        if (v == 1000) return "1kHz";
        if (v == 1200) return "1.2kHz";
        return std::to_string(v) + "Hz";
    }
    return std::to_string(v);
}

std::string TrackChoices(const RoutingEntry& entry) {
    const std::string key = CleanText(entry.key);
    std::string choices = "off;silent;";
    const int sources = key == "analog" ? 2 : 16;
    for (int n = 1; n <= sources; ++n) {
        choices += std::to_string(n);
        choices += ';';
    }
    if (KnownKey(key)) choices += "200Hz;400Hz;600Hz;800Hz;1kHz;1.2kHz";
    return choices;
}

void cSettings::ParseRouting(int32_t channel, int32_t slot, std::string_view routing) {
    ChannelConfig* config = Config(channel);
    if (!config || slot < 0 || slot >= kConfigSlots || routing.empty()) return;
    Routing& entries = config->routing[static_cast<size_t>(slot)];
    entries = Routing{};
    // Each element is cut where it was found, so a run whose tags differ in
    // letter case is still read once per element, and equal tracks stay apart.
    std::string rest(routing);
    bool more = true;
    for (int32_t k = 0; k < kRoutingEntries && more; ++k) {
        const std::string e = XmlTakeTagText("<routing_element>", rest, &more);
        if (e.empty()) break;
        RoutingEntry& entry = entries[static_cast<size_t>(k)];
        entry.key = FixedWidth(XmlDecode(XmlTagText("<key>", e)), kConfigFieldWidth);
        entry.value = NearestWhole(XmlDecode(XmlTagText("<value>", e)));
    }
}

std::string cSettings::BuildRoutingXml(int32_t channel, int32_t slot) const {
    const ChannelConfig* config = Config(channel);
    if (!config || (slot != 0 && slot != 1)) return {};
    const Routing& entries = config->routing[static_cast<size_t>(slot)];
    if (CleanText(entries[0].key).empty()) return {};
    std::string out = "<audio><routing>";
    for (const RoutingEntry& entry : entries) {
        const std::string key = CleanText(entry.key);
        if (key.empty()) break;
        int32_t v = entry.value;
        // Sources above 32 are frequencies: 33-999 go out one higher.
        if (v > 32 && v < 1000) ++v;
        if (key == "tone_generator") {
            if (v == 1) v = 1000;
            if (v > 1000) v = 1200;
        }
        if (key == "silent") v = 0;
        out += "<routing_element><key>";
        out += XmlEscape(key);
        out += "</key><value>";
        out += std::to_string(v);
        out += "</value></routing_element>\r\n";
    }
    out += "</routing></audio>";
    return out;
}

int32_t cSettings::LastTrackIndex(int32_t channel, int32_t slot) const {
    const ChannelConfig* config = Config(channel);
    if (!config || slot < 0 || slot >= kConfigSlots) return -1;
    return LastTrack(config->routing[static_cast<size_t>(slot)]);
}

}  // namespace tarvolen
