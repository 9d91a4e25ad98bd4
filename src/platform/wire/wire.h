// Framing of the recorder protocol (docs/recorder-protocol.md), shared by the
// controller's link and the emulated recorders. Text lines with percent-encoded
// arguments and an optional length-bounded payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolen::wire {

inline constexpr uint16_t kDefaultPort = 7380;
inline constexpr int kProtocolVersion = 1;
inline constexpr std::size_t kMaxLine = 2048;  // including the LF
inline constexpr std::size_t kMaxPayload = 65535;
inline constexpr std::size_t kMaxArgs = 24;
inline constexpr std::size_t kMaxVerb = 16;
inline constexpr uint32_t kMaxId = 2147483647;

// id 0 is the "*" tag: greeting, notifications, protocol errors.
struct Frame {
    uint32_t id = 0;
    std::string verb;
    std::vector<std::string> args;
    std::optional<std::string> payload;

    const std::string& Arg(std::size_t i) const;  // empty text past the end
};

Frame MakeFrame(uint32_t id, std::string verb, std::vector<std::string> args = {});

// Appends the frame's bytes to out. False (out unchanged) when the frame cannot
// be sent within the protocol's bounds.
bool Encode(const Frame& frame, std::string& out);
std::string Encode(const Frame& frame);  // empty when it cannot be encoded

std::string EncodeText(std::string_view text);
// False on a malformed escape or a byte that must not appear raw.
bool DecodeText(std::string_view token, std::string& out);

// Reads a decimal integer in [lo, hi]; the whole text must be the number.
bool ParseInt(std::string_view text, int64_t lo, int64_t hi, int64_t& out);

// Incremental decoder for one connection. Feed what the socket gave, then
// call Next until it stops answering kFrame. After kError the connection is
// to be closed; the decoder stays in error.
class Decoder {
  public:
    enum class Status { kFrame, kNeedMore, kError };

    // Holds at most one line, one payload and one read chunk; beyond that the
    // peer is flooding and the decoder fails.
    static constexpr std::size_t kMaxBuffered = kMaxLine + kMaxPayload + 2 + 65536;

    void Feed(const char* data, std::size_t size);
    Status Next(Frame& out);
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }
    std::size_t Buffered() const { return buffer_.size() - start_; }

  private:
    Status Fail(std::string reason);
    bool ParseLine(std::string_view line, Frame& out, std::size_t& payload);

    std::string buffer_;
    std::size_t start_ = 0;  // consumed bytes at the front of buffer_
    bool failed_ = false;
    std::string error_;
    std::optional<Frame> waiting_;  // header read, payload still to come
    std::size_t payloadSize_ = 0;
};

}  // namespace tarvolen::wire
