// Feeds arbitrary bytes to the protocol decoder in pieces whose sizes come
// from the input, and re-encodes what it accepts: what decodes must encode
// and decode to the same frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/wire/wire.h"

using tarvolen::wire::Decoder;
using tarvolen::wire::Frame;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::size_t chunk = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    std::size_t n = size - 1;
    Decoder d;
    for (std::size_t i = 0; i < n; i += chunk) {
        d.Feed(bytes + i, n - i < chunk ? n - i : chunk);
        Frame f;
        Decoder::Status st;
        while ((st = d.Next(f)) == Decoder::Status::kFrame) {
            std::string again;
            if (!tarvolen::wire::Encode(f, again)) continue;  // e.g. an over-long re-encoding
            Decoder check;
            check.Feed(again.data(), again.size());
            Frame g;
            if (check.Next(g) != Decoder::Status::kFrame || g.id != f.id || g.verb != f.verb ||
                g.args != f.args || g.payload != f.payload)
                std::abort();
        }
        if (st == Decoder::Status::kError) {
            if (d.Buffered() != 0) std::abort();
            return 0;
        }
        if (d.Buffered() > Decoder::kMaxBuffered) std::abort();
    }
    return 0;
}
