// The HyperDeck Ethernet Protocol's shared vocabulary: response codes and their
// texts, transport status words, timecodes, and the command and response
// records that the server and client codecs read and write. No sockets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolen::deck {

inline constexpr uint16_t kDefaultPort = 9993;
// Longest line either side accepts, without its line end. The protocol names
// no bound; a clip name line or an XML command line fits well within it.
inline constexpr std::size_t kMaxLine = 1024;
// Most parameters in one command and most lines in one reply body.
inline constexpr std::size_t kMaxParams = 64;
inline constexpr std::size_t kMaxBodyLines = 20000;
inline constexpr std::size_t kMaxBodyBytes = 4u << 20;

// Response codes with a fixed text. 1xx failures, 2xx success, 5xx async.
enum Code : int {
    kSyntaxError = 100,
    kUnsupportedParameter = 101,
    kInvalidValue = 102,
    kUnsupported = 103,
    kDiskFull = 104,
    kNoDisk = 105,
    kDiskError = 106,
    kTimelineEmpty = 107,
    kInternalError = 108,
    kOutOfRange = 109,
    kNoInput = 110,
    kRemoteControlDisabled = 111,
    kConnectionRejected = 120,
    kInvalidState = 150,
    kInvalidCodec = 151,
    kInvalidFormat = 160,
    kInvalidToken = 161,
    kFormatNotPrepared = 162,
    kOk = 200,
    kHelp = 201,
    kSlotInfo = 202,
    kDeviceInfo = 204,
    kClipsInfo = 205,
    kDiskList = 206,
    kTransportInfo = 208,
    kNotify = 209,
    kRemoteInfo = 210,
    kConfiguration = 211,
    kCommands = 212,
    kDeckRebooting = 213,
    kClipsCount = 214,
    kConnectionInfo = 500,
    kAsyncSlotInfo = 502,
    kAsyncTransportInfo = 508,
    kAsyncRemoteInfo = 510,
    kAsyncConfiguration = 511,
};

// The document's text for a code ("syntax error", "transport info"); empty
// for a code it does not name.
std::string_view CodeText(int code);
inline bool IsFailure(int code) {
    return code >= 100 && code <= 199;
}
inline bool IsSuccess(int code) {
    return code >= 200 && code <= 299;
}
inline bool IsAsync(int code) {
    return code >= 500 && code <= 599;
}

enum class Transport { kPreview, kStopped, kPlay, kForward, kRewind, kJog, kShuttle, kRecord };
std::string_view TransportText(Transport t);
std::optional<Transport> ParseTransport(std::string_view text);

// The protocol's timecodes are non-drop-frame HH:MM:SS:FF.
struct Timecode {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    friend bool operator==(const Timecode&, const Timecode&) = default;
};
std::string FormatTimecode(const Timecode& tc);
// Strict HH:MM:SS:FF with two digits each; frames below maxFrames.
std::optional<Timecode> ParseTimecode(std::string_view text, int maxFrames = 60);
// Frame counts at a whole frame rate, so a deck can run and step its clock.
int64_t ToFrames(const Timecode& tc, int fps);
Timecode FromFrames(int64_t frames, int fps);  // wraps at 24 hours

struct Param {
    std::string key;
    std::string value;
    friend bool operator==(const Param&, const Param&) = default;
};
using Params = std::vector<Param>;

// First value under key (keys compare exactly), or nullptr.
const std::string* Find(const Params& params, std::string_view key);

// "true" / "false" as the protocol writes them.
inline std::string_view BoolText(bool b) {
    return b ? "true" : "false";
}
std::optional<bool> ParseBool(std::string_view text);
// A whole decimal integer with an optional sign, within [lo, hi].
std::optional<int64_t> ParseInt(std::string_view text, int64_t lo, int64_t hi);

struct Command {
    std::string name;  // as typed, without the colon
    Params params;     // in the order given
    const std::string* Find(std::string_view key) const { return deck::Find(params, key); }
};

struct Response {
    int code = 0;
    std::string text;                // without the trailing colon
    bool hasBody = false;            // the text ended with a colon
    std::vector<std::string> lines;  // body lines as sent, without line ends
    Params params;                   // body lines of the form "key: value"
    bool IsAsync() const { return deck::IsAsync(code); }
    const std::string* Find(std::string_view key) const { return deck::Find(params, key); }
};

}  // namespace tarvolen::deck
