// The deck's side of the protocol: commands in, replies out.
//
// CommandReader takes the bytes a client sends, in any pieces, and yields
// whole commands in both syntaxes:
//   single line   "play: speed: 200 loop: true"
//   multi-line    "play:" then one "key: value" a line, ended by a blank line
// In the single-line form a value is one word when another parameter follows
// and the rest of the line when it is the last, so "record: name: my clip"
// names the clip "my clip". A bad command or an over-long line yields kError
// once (the caller answers 100 syntax error) and reading goes on with the
// next line: the reader never stops part-way through a line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/deck/protocol.h"

namespace tarvolen::deck {

class CommandReader {
  public:
    enum class Status { kCommand, kNeedMore, kError };

    void Feed(const char* data, std::size_t size);
    Status Next(Command& out);
    // Why the last kError came: "line too long", "missing colon", ...
    const std::string& Error() const { return error_; }
    std::size_t Buffered() const { return buffer_.size() - start_; }
    // A multi-line command is open (its blank line has not come yet).
    bool InBlock() const { return inBlock_; }

  private:
    Status Line(std::string_view line, Command& out);
    Status Fail(std::string reason);

    std::string buffer_;
    std::size_t start_ = 0;
    bool discarding_ = false;  // the rest of an over-long line is being skipped
    bool inBlock_ = false;
    bool blockFailed_ = false;
    Command block_;
    std::string error_;
};

// Parses one complete line in the single-line syntax. A "name:" line with
// nothing after the colon is the start of a multi-line command: startsBlock
// is set and out holds only the name. Empty on success, else the reason.
std::string ParseCommandLine(std::string_view line, Command& out, bool& startsBlock);

// Replies, with CR LF line ends. A value's CR or LF becomes a space, since the
// protocol has no way to carry it.
std::string FormatReply(int code);                         // "200 ok"
std::string FormatReply(int code, std::string_view text);  // "NNN text"
std::string FormatBlock(int code, const Params& params);   // "NNN text:" + lines + blank
std::string FormatBlock(int code, std::string_view text, const Params& params);
// A body of free lines ("201 help:", "212 commands:").
std::string FormatLines(int code, std::string_view text, const std::vector<std::string>& lines);

}  // namespace tarvolen::deck
