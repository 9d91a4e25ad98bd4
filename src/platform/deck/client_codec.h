// The controller's side of the protocol: commands out, replies in.
//
// FormatCommand writes a command in the single-line syntax when every value
// reads back unchanged that way, else in the multi-line syntax.
// ReplyReader takes the bytes a deck sends, in any pieces, and yields whole
// responses: "NNN text" alone, or "NNN text:" with its body up to the blank
// line. Asynchronous 5xx messages come out the same way; Response::IsAsync
// tells them from the reply to a command. A line or a body beyond the bounds,
// or a line that is not a response, is an error that ends the connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/deck/protocol.h"

namespace tarvolen::deck {

// Appends the command's bytes (CR LF ends) to out. False, out unchanged, when
// a name, key or value cannot be carried (empty name or key, a colon in a
// name or key, a line end anywhere, blanks around a multi-line value).
bool FormatCommand(const Command& command, std::string& out);
std::string FormatCommand(std::string_view name, const Params& params = {});  // empty if not

class ReplyReader {
  public:
    enum class Status { kResponse, kNeedMore, kError };

    void Feed(const char* data, std::size_t size);
    Status Next(Response& out);
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }
    std::size_t Buffered() const { return buffer_.size() - start_; }

  private:
    Status Fail(std::string reason);
    bool Head(std::string_view line);

    std::string buffer_;
    std::size_t start_ = 0;
    bool failed_ = false;
    std::string error_;
    bool inBody_ = false;
    std::size_t bodyBytes_ = 0;
    Response current_;
};

}  // namespace tarvolen::deck
