// One recorder's state as both of its faces see it: channels with their
// transport and running timecode, the clips and their directory, the
// configuration and the naming. The protocols are front ends over this; it
// knows nothing of sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "recorder/config_doc.h"
#include "recorder/timecode_counter.h"

namespace tarvolen::recorder {

using Clock = std::chrono::steady_clock;

inline constexpr int kWindSpeed = 1000;  // percent of normal speed

struct Clip {
    std::string name;
    std::string guid;
    std::string dateTime;
    int64_t start = 0;
    int64_t duration = 0;
    int channel = 0;
    int format = 0;
    int codec = 0;
    int compression = 0;
    bool recording = false;
    std::vector<std::string> filesA;
    std::vector<std::string> filesB;
};

// What a recording takes from the channel's configuration, read once per
// change of it: walking the configuration's maps at every RECORD cost more
// than the rest of the request when the bank starts 24 at once.
struct RecordPlan {
    std::string project, scene;
    std::string masterEncoder, proxyEncoder;  // %E
    std::string masterNameTemplate, masterPathTemplate;
    std::string proxyNameTemplate, proxyPathTemplate;
    std::string masterDisk, proxyDisk;
    std::string masterExt, proxyExt;  // ".mxf" or ".mov"
    int format = 0, codec = 0, compression = 0;
    std::size_t tracks = 0;  // audio files beside the master's video, at most 8
    bool proxy = false;
};

RecordPlan PlanRecording(const ChannelConfig& cfg);

// How a deck client last set the transport moving; our protocol has no word
// for it, so it lasts only until the transport changes otherwise.
enum class DeckMotion { kNone, kJog, kShuttle, kPreview };

struct ChannelState {
    int number = 1;
    std::string word = "Stop";
    char mode = '-';
    int speed = 0;  // percent of normal speed
    int64_t originFrame = 0;
    Clock::time_point originTime{};
    bool loaded = false;
    int64_t lo = 0, hi = 0;  // playable range of the loaded clip, inclusive
    std::string clip;        // the clip the channel is on
    int recording = -1;      // index of the clip being recorded
    int64_t nextRecord = 0;  // timecode the next recording starts at
    ChannelConfig config;
    RecordPlan plan;  // follows config
    DeckMotion deckMotion = DeckMotion::kNone;
    bool singleClip = false;  // as a deck client last asked for
    // What the watchers of our protocol last heard.
    std::string sentWord, sentTimecode, sentClip;
    char sentMode = 0;
    bool sentAny = false;
    // What deck clients last heard in a 508 / 502.
    std::string deckSentTransport, deckSentSlot;
};

// The media and transport of one recorder.
struct RecorderModel {
    std::string address;
    std::mt19937_64 random{std::random_device{}()};
    std::vector<ChannelState> channels;
    std::vector<Clip> clips;
    // Clip name to its index in clips, the first of that name: a lookup walked
    // every stored name, and RECORD makes one or more.
    std::unordered_map<std::string, std::size_t> clipIndex;
    int clipCounter = 0;
    Clock::time_point lastSave{};
};

// The rules of the transport and the clips, at one rate.
class Model {
  public:
    Model(Rate rate, std::string stateDir) : rate_(rate), info_(Info(rate)), stateDir_(stateDir) {}

    Rate rate() const { return rate_; }
    double fps() const { return info_.fps; }
    int nominal() const { return info_.nominal; }

    int64_t Position(const ChannelState& c, Clock::time_point now) const;
    void Rebase(ChannelState& c, Clock::time_point now) const;
    void SetMotion(ChannelState& c, Clock::time_point now, int speed, std::string word) const;
    std::string TimecodeOf(const ChannelState& c, Clock::time_point now) const;
    // Keeps a moving channel inside its clip: end of clip, loop, ping-pong.
    void Advance(RecorderModel& r, ChannelState& c, Clock::time_point now) const;
    // Play at speed within the loaded clip, from its other end when at one.
    void StartPlay(ChannelState& c, Clock::time_point now, int speed) const;
    // Ends a recording, keeps the clip loaded, and stops.
    void Stop(RecorderModel& r, ChannelState& c, Clock::time_point now) const;
    // Starts a recording of a new clip; requested "?" or empty names it from
    // the templates. Returns the clip's name.
    std::string Record(RecorderModel& r, ChannelState& c, Clock::time_point now,
                       const std::string& requested) const;
    // Loads a clip's range (start and duration in frames), stopped at its start.
    void Load(ChannelState& c, Clock::time_point now, const Clip& clip, int64_t start,
              int64_t duration) const;
    void FinishRecording(RecorderModel& r, ChannelState& c, Clock::time_point now) const;

    static std::string NewGuid(RecorderModel& r);
    static Clip* FindClip(RecorderModel& r, const std::string& name);
    static void AddClip(RecorderModel& r, Clip c);
    // The clip as it stands now, a recording one with its running duration.
    Clip Current(const RecorderModel& r, std::size_t index, Clock::time_point now) const;
    // Frames of clips kept, for the free space the faces report.
    static int64_t UsedFrames(const RecorderModel& r);

    void SaveState(RecorderModel& r) const;
    void LoadState(RecorderModel& r) const;
    void ResetChannels(RecorderModel& r, int channels) const;

  private:
    std::string UniqueName(RecorderModel& r, std::string name) const;
    Clip MakeClip(RecorderModel& r, ChannelState& c, const std::string& requested) const;
    std::string StateFile(const RecorderModel& r) const;

    Rate rate_;
    RateInfo info_;
    std::string stateDir_;
};

}  // namespace tarvolen::recorder
