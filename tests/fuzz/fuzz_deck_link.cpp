// Feeds arbitrary bytes, in pieces whose sizes come from the input, through
// the reply reader into the deck link's picture of a deck, as a deck's
// connection would, and its configuration and disk list into our documents.
// The row's word and timecode keep their widths whatever the deck says, a
// clip found by name is one the deck listed, and what the deck says stays a
// value in the documents made of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/deck/client_codec.h"
#include "platform/deck_link/deck_config.h"
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
                case 11: {
                    // Whatever the deck reports stays a value of the document.
                    const std::string doc = dl::ConfigDocument(r.params);
                    if (doc.find("<tarvolen>", 1) != std::string::npos) std::abort();
                    if (doc.find("</tarvolen>") != doc.size() - 11) std::abort();
                    std::string body, why;
                    for (const auto& line : r.lines) body += line;
                    (void)dl::ConfigCommand(body, why);
                    break;
                }
                case 6:
                    for (const auto& p : r.params) {
                        const std::string list =
                            dl::RecordFileList(r.params, p.value.substr(0, p.value.find(' ')));
                        if (!list.empty() && (list.rfind("<RecFileList>", 0) != 0 ||
                                              list.find("<File>") != list.rfind("<File>")))
                            std::abort();
                    }
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
