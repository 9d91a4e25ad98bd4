#include "config/xml_text.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

#include "shell/text.h"

namespace tarvolen {
namespace {

constexpr std::array<unsigned char, 256> kUpper = [] {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) {
        t[i] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    }
    return t;
}();

inline unsigned char Up(char c) {
    return kUpper[static_cast<unsigned char>(c)];
}

// First position at or after from where needle occurs, ASCII letter case
// ignored. An empty needle is found at from.
size_t FindNoCase(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
    if (hay.size() < needle.size()) return std::string_view::npos;
    const unsigned char first = Up(needle[0]);
    const size_t last = hay.size() - needle.size();
    for (size_t i = from; i <= last; ++i) {
        if (Up(hay[i]) != first) continue;
        size_t k = 1;
        while (k < needle.size() && Up(hay[i + k]) == Up(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

// Every exact occurrence of needle replaced by replacement, in one pass from
// the left (text formed by a removal is not searched again).
std::string ReplaceAll(std::string_view text, std::string_view needle,
                       std::string_view replacement) {
    if (needle.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t hit; (hit = text.find(needle, pos)) != std::string_view::npos;) {
        out.append(text, pos, hit - pos);
        out.append(replacement);
        pos = hit + needle.size();
    }
    out.append(text, pos);
    return out;
}

std::string DecodeAmp(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    return ReplaceAll(text, "&amp;", "&");
}

// Removes every exact occurrence of needle from source[from, end). Long
// needles in long documents: a skip-table search keeps each pass cheap.
void RemoveAllFrom(std::string& source, size_t from, std::string_view needle) {
    if (needle.empty() || from >= source.size()) return;
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    auto begin = source.begin() + static_cast<std::ptrdiff_t>(from);
    auto hit = std::search(begin, source.end(), searcher);
    if (hit == source.end()) return;
    std::string out(source.begin(), hit);
    auto pos = hit;
    while (hit != source.end()) {
        out.append(pos, hit);
        pos = hit + static_cast<std::ptrdiff_t>(needle.size());
        hit = std::search(pos, source.end(), searcher);
    }
    out.append(pos, source.end());
    source = std::move(out);
}

// One element as found in a document: its value and the raw text it spans.
struct Element {
    std::string value;
    size_t begin = 0;       // the opening tag
    size_t contentEnd = 0;  // end of the raw content (closing tag excluded)
    size_t end = 0;         // after the closing tag, when there is one
    bool closed = false;    // the closing tag was found
};

std::optional<Element> Locate(std::string_view tag, std::string_view source, size_t from = 0,
                              bool decode = true) {
    if (source.empty()) return std::nullopt;
    size_t p = FindNoCase(source, tag, from);
    if (p == std::string_view::npos) return std::nullopt;
    Element e;
    e.begin = p;
    const size_t content = p + tag.size();

    if (!tag.empty() && tag.back() == '>') {
        const std::string closing = ReplaceAll(tag, "<", "</");
        size_t close = FindNoCase(source, closing, content);
        e.contentEnd = close == std::string_view::npos ? source.size() : close;
        e.end = close == std::string_view::npos ? source.size() : close + closing.size();
        e.closed = close != std::string_view::npos;
        const std::string_view raw = source.substr(content, e.contentEnd - content);
        e.value = decode ? DecodeAmp(raw) : std::string(raw);
        return e;
    }

    // Attribute form. The tag at the found position goes whatever its letter
    // case; further copies of it only when they match exactly.
    std::string rest = ReplaceAll(source.substr(content), tag, "");
    size_t stop = rest.find("/>");
    if (stop != std::string::npos) rest.resize(stop);
    e.value = CleanText(DecodeAmp(rest));
    size_t rawStop = source.find("/>", content);
    e.contentEnd = rawStop == std::string_view::npos ? source.size() : rawStop;
    e.end = rawStop == std::string_view::npos ? source.size() : rawStop + 2;
    e.closed = rawStop != std::string_view::npos;
    return e;
}

}  // namespace

std::string XmlTagValue(std::string_view tag, std::string_view source) {
    auto e = Locate(tag, source);
    return e ? std::move(e->value) : std::string();
}

std::string XmlItemLists(std::string_view tag, std::string_view source) {
    if (source.empty()) return {};
    std::string text(source);
    std::string values;
    std::string labels;
    size_t from = 0;
    for (;;) {
        auto item = Locate(tag, text, from);
        if (!item || item->value.empty()) break;
        std::string value = XmlTagValue("<type>", item->value);
        if (value.empty()) break;
        values += value;
        values += ';';
        std::string label = XmlTagValue("<name>", item->value);
        if (label.empty()) break;
        labels += label;
        labels += ';';

        // The item found is consumed where it was found, so tags in another
        // letter case than tag cannot be found again; exact copies of it
        // further on go with it. The closing tag stays and is harmless.
        const size_t cut = item->contentEnd - item->begin;
        if (cut == 0) break;
        text.erase(item->begin, cut);
        std::string copy(tag);
        copy += item->value;
        RemoveAllFrom(text, item->begin, copy);
        // Text before the cut held no tag; only a match across the join is new.
        const size_t reach = tag.empty() ? item->begin : tag.size() - 1;
        from = item->begin > reach ? item->begin - reach : 0;
    }
    std::string out = std::move(values);
    out += '|';
    out += labels;
    return out;
}

std::string RemoveFirst(std::string_view needle, std::string_view source) {
    size_t p = source.find(needle);
    if (p == std::string_view::npos) return std::string(source);
    std::string out(source.substr(0, p));
    out.append(source.substr(p + needle.size()));
    return out;
}

namespace {

std::string Take(std::string_view tag, std::string& source, bool decode, bool* closed) {
    if (closed) *closed = false;
    auto e = Locate(tag, source, 0, decode);
    if (!e) return {};
    if (e->closed) source.erase(e->begin, e->end - e->begin);
    if (closed) *closed = e->closed;
    return std::move(e->value);
}

}  // namespace

std::string XmlTakeTagValue(std::string_view tag, std::string& source, bool* closed) {
    return Take(tag, source, true, closed);
}

std::string XmlTagText(std::string_view tag, std::string_view source) {
    if (tag.empty() || tag.back() != '>') return {};
    auto e = Locate(tag, source, 0, false);
    return e ? std::move(e->value) : std::string();
}

std::string XmlTakeTagText(std::string_view tag, std::string& source, bool* closed) {
    if (closed) *closed = false;
    if (tag.empty() || tag.back() != '>') return {};
    return Take(tag, source, false, closed);
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '\t' || c == '\n' || c == '\r' || c >= 0x7F) {
            out += "&#";
            out += std::to_string(c);
            out += ';';
        } else if (c >= 0x20) {
            out.push_back(ch);
        }
    }
    return out;
}

}  // namespace tarvolen
