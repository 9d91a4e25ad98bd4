// Feeds arbitrary bytes, in pieces whose sizes come from the input, to the
// deck's command reader and to the controller's reply reader. What the command
// reader accepts must format and read back the same, as a command and as a
// reply body; neither reader may hold more than a line and a read's worth.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/deck/client_codec.h"
#include "platform/deck/server_codec.h"

namespace deck = tarvolen::deck;

namespace {

void CheckRoundTrip(const deck::Command& c) {
    std::string bytes;
    if (deck::FormatCommand(c, bytes)) {
        deck::CommandReader again;
        again.Feed(bytes.data(), bytes.size());
        deck::Command d;
        if (again.Next(d) != deck::CommandReader::Status::kCommand || d.name != c.name ||
            d.params != c.params)
            std::abort();
    }
    std::string reply = deck::FormatBlock(deck::kOk, "ok", c.params);
    deck::ReplyReader rr;
    rr.Feed(reply.data(), reply.size());
    deck::Response r;
    auto st = rr.Next(r);
    if (st == deck::ReplyReader::Status::kError) return;  // a line over the bound
    if (st != deck::ReplyReader::Status::kResponse || r.code != deck::kOk || !r.hasBody ||
        r.params != c.params)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::size_t chunk = 1 + data[0] % 128;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    std::size_t n = size - 1;
    deck::CommandReader commands;
    deck::ReplyReader replies;
    for (std::size_t i = 0; i < n; i += chunk) {
        std::size_t len = n - i < chunk ? n - i : chunk;
        commands.Feed(bytes + i, len);
        deck::Command c;
        for (;;) {
            auto st = commands.Next(c);
            if (st == deck::CommandReader::Status::kNeedMore) break;
            if (st == deck::CommandReader::Status::kCommand) {
                if (c.params.size() > deck::kMaxParams) std::abort();
                CheckRoundTrip(c);
            }
        }
        if (commands.Buffered() > deck::kMaxLine + 1) std::abort();
        replies.Feed(bytes + i, len);
        deck::Response r;
        while (replies.Next(r) == deck::ReplyReader::Status::kResponse) {
            if (r.code < 100 || r.code > 999 || r.lines.size() > deck::kMaxBodyLines) std::abort();
        }
        if (replies.Buffered() > deck::kMaxLine + 1) std::abort();
    }
    return 0;
}
