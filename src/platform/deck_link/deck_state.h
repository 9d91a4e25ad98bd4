// What the deck link knows of one deck, and how that reads as a channel row:
// the deck's replies and notifications in, state word, timecode and clip
// name out. No sockets here, so the fuzz target and tests reach it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/deck/protocol.h"

namespace tarvolen::decklink {

struct DeckClip {
    int64_t id = 0;
    std::string name;
    std::string start;     // deck timecode, HH:MM:SS:FF
    std::string duration;  // deck timecode
};

struct DeckState {
    // From transport info (208 / 508).
    std::string status = "stopped";
    int speed = 0;
    std::string displayTimecode;
    std::string clipId;  // "none" or a number
    std::string videoFormat;
    bool loop = false;
    // From remote info (210 / 510): false means the deck is in local mode.
    bool remoteEnabled = true;
    // Why the last state change was refused ("Disk full", ...); shown in
    // place of the transport word until the transport moves again.
    std::string notice;
    // From clips get (205).
    std::vector<DeckClip> clips;
    // The name this link gave the recording under way.
    std::string recordingName;
    // From slot info (202 / 502).
    std::string slotId, slotStatus, volumeName, recordingTime;
};

// Takes the parameters of a transport info reply or notification; a
// notification may carry only what changed. True when the status changed.
bool ApplyTransport(const deck::Params& params, DeckState& state);
void ApplyRemote(const deck::Params& params, DeckState& state);
void ApplySlot(const deck::Params& params, DeckState& state);
// A clips info reply's lines "N: name start duration"; false when a line is
// not of that form (the list is then left as it was).
bool ApplyClips(const std::vector<std::string>& lines, DeckState& state);

// The row's state word (13 characters at most) and timecode (11).
std::string StateWord(const DeckState& state);
std::string RowTimecode(const DeckState& state);
// The clip the deck is on, or records.
std::string CurrentClip(const DeckState& state);
const DeckClip* FindClip(const DeckState& state, const std::string& name);

// What the row shows for a refusal that says something of the deck ("Disk
// full", "No disk", ...); empty for the others.
std::string RefusalWord(int code);

}  // namespace tarvolen::decklink
