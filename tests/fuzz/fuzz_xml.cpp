// The XML text helpers on arbitrary documents and tags: no crash, and every
// reader that consumes elements ends. Input: tag, NUL, document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/xml_text.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string Flipped(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); i += 2) {
        char c = out[i];
        if (c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string_view tag = split == std::string_view::npos ? "<item>" : input.substr(0, split);
    std::string_view doc = split == std::string_view::npos ? input : input.substr(split + 1);

    using namespace tarvolen;
    std::string value = XmlTagValue(tag, doc);
    Check(value.size() <= doc.size());
    Check(doc.empty() ? value.empty() : true);

    std::string lists = XmlItemLists(tag, doc);
    Check(doc.empty() == lists.empty());
    XmlItemLists(Flipped(tag), doc);
    XmlItemLists("<item>", doc);

    std::string removed = RemoveFirst(tag, doc);
    Check(removed.size() == doc.size() ||
          (!tag.empty() && removed.size() + tag.size() == doc.size()));

    // A reader walking a run of elements: each take of a closed element must
    // shrink the text; one without its closing tag leaves it and ends the walk.
    std::string rest(doc);
    for (size_t rounds = 0;; ++rounds) {
        Check(rounds <= doc.size() + 1);
        const std::string before = rest;
        bool closed = false;
        if (XmlTakeTagValue(tag, rest, &closed).empty()) break;
        Check(closed ? rest.size() < before.size() : rest == before);
        if (!closed) break;
    }
    return 0;
}
