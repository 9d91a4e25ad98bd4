#include "platform/link/records.h"

#include <cstring>

#include "shell/text.h"

namespace tarvolen::link {

std::string BlockText(const TextBlock* block) {
    // Callers pad the whole 64 KiB with spaces, so the fill is skipped a word
    // at a time: byte by byte it cost more than the request's round trip.
    const char* t = block->text;
    std::size_t n = strnlen(t, kTextBlockWidth);
    constexpr uint64_t kSpaces = 0x2020202020202020ULL;
    for (uint64_t word; n >= sizeof word; n -= sizeof word) {
        std::memcpy(&word, t + n - sizeof word, sizeof word);
        if (word != kSpaces) break;
    }
    while (n > 0 && (t[n - 1] == ' ' || static_cast<unsigned char>(t[n - 1]) == 255)) --n;
    return std::string(t, n);
}

void FillBlock(TextBlock* block, std::string_view text) {
    StoreField(block->text, kTextBlockWidth, text);
}

std::string TagValue(std::string_view text, std::string_view tag) {
    std::string lower = ToLower(text);
    std::string open = "<" + ToLower(tag) + ">";
    std::string close = "</" + ToLower(tag) + ">";
    std::size_t a = lower.find(open);
    if (a == std::string::npos) return "";
    a += open.size();
    std::size_t b = lower.find(close, a);
    if (b == std::string::npos) return "";
    return std::string(text.substr(a, b - a));
}

bool ParseChannel(std::string_view text, int& ch) {
    std::string t = CleanText(text);
    if (t.empty() || t.size() > 3) return false;
    int v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v >= kDeviceChannels) return false;
    ch = v;
    return true;
}

bool ChannelDocument(std::string_view text, int& ch, std::string& document) {
    std::size_t end = ToLower(text).find("</chan>");
    if (end == std::string::npos || !ParseChannel(TagValue(text, "Chan"), ch)) return false;
    document = std::string(text.substr(end + 7));
    while (!document.empty() && (document.front() == '\r' || document.front() == '\n'))
        document.erase(0, 1);
    return true;
}

bool AddressDocument(std::string_view text, int& ch, std::string& address, int& internal) {
    address = CleanText(TagValue(text, "IpAddress"));
    std::string vtr = CleanText(TagValue(text, "Vtr"));
    if (!ParseChannel(TagValue(text, "Chan"), ch) || address.empty() ||
        address.size() > static_cast<std::size_t>(kAddressWidth) || vtr.size() != 1 ||
        vtr[0] < '1' || vtr[0] > '4')
        return false;
    internal = vtr[0] - '0';
    return true;
}

bool IsDirectCall(int32_t code) {
    return code == amp::kConnect || code == amp::kStatus || code == amp::kDisconnect ||
           code == amp::kClipNames || code == amp::kSetAddress;
}

}  // namespace tarvolen::link
