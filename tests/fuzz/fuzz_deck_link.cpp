// Feeds arbitrary bytes, in pieces whose sizes come from the input, through
// the reply reader into the deck link's picture of a deck, as a deck's
// connection would. The row's word and timecode keep their widths whatever
// the deck says, and a clip found by name is one the deck listed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/deck/client_codec.h"
#include "platform/deck_link/deck_state.h"

namespace deck = tarvolen::deck;
namespace dl = tarvolen::decklink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;
    deck::ReplyReader reader;
    dl::DeckState state;
    for (std::size_t i = 0; i < n; i += chunk) {
        reader.Feed(bytes + i, n - i < chunk ? n - i : chunk);
        deck::Response r;
        while (reader.Next(r) == deck::ReplyReader::Status::kResponse) {
            switch (r.code % 100) {
                case 8:
                    dl::ApplyTransport(r.params, state);
                    break;
                case 10:
                    dl::ApplyRemote(r.params, state);
                    break;
                case 2:
                    dl::ApplySlot(r.params, state);
                    break;
                case 5:
                    dl::ApplyClips(r.lines, state);
                    break;
                default:
                    state.notice = dl::RefusalWord(r.code);
            }
            if (dl::StateWord(state).size() > 13) std::abort();
            if (dl::RowTimecode(state).size() != 11) std::abort();
            const std::string clip = dl::CurrentClip(state);
            if (!clip.empty() && state.status != "record" && !dl::FindClip(state, clip))
                std::abort();
        }
        if (reader.Buffered() > deck::kMaxLine + 1) std::abort();
    }
    return 0;
}
