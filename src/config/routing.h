// Audio routing of one encoder slot: the edits the Setup pages and buttons
// make to its 32 entries, and the page item of one track.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/channel_config.h"

namespace tarvolen {

using Routing = std::array<RoutingEntry, kRoutingEntries>;

// Index of the last track (the entries before the first empty cleaned key),
// -1 when there is none.
int32_t LastTrack(const Routing& routing);
// One "digital" track more, fed from the next source; false at 32 tracks.
bool AddTrackTo(Routing& routing);
// The last track gone; false when there is none.
bool RemoveLastTrack(Routing& routing);
// Every entry fed from its own number (0-31), then the tracks cut or filled
// with "digital" ones up to count (held to 0-32).
void SetTrackCountOf(Routing& routing, int32_t count);
// A track's choice as the audio page reads it back ("silent", "off", "3",
// "400Hz", "1.2kHz"), applied to its entry.
void ApplyTrackChoice(RoutingEntry& entry, std::string_view shown);

// The page item of track k (from 0): "Ch k+1{D}shown[choices]".
std::string TrackItemLabel(int32_t k);
std::string TrackShownValue(const RoutingEntry& entry);
std::string TrackChoices(const RoutingEntry& entry);

}  // namespace tarvolen
