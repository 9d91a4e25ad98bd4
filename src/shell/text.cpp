#include "shell/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace tarvolen {

size_t FilledEnd(std::string_view text) {
    constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
    size_t end = text.size();
    for (std::uint64_t word = 0; end >= sizeof word; end -= sizeof word) {
        std::memcpy(&word, text.data() + end - sizeof word, sizeof word);
        if (word != 0 && word != kBlanks) break;
    }
    while (end > 0 && IsFiller(text[end - 1])) --end;
    return end;
}

std::string CleanText(std::string_view text) {
    // Trimmed first, then copied once: the status pass cleans every channel's
    // fields thirty times a second.
    size_t first = 0, last = FilledEnd(text);
    while (first < last && IsFiller(text[first])) ++first;
    std::string out(text.substr(first, last - first));
    for (char& c : out)
        if (IsFiller(c)) c = ' ';
    return out;
}

std::string FixedWidth(std::string_view text, size_t width) {
    std::string out;
    AssignFixedWidth(out, text, width);
    return out;
}

void AssignFixedWidth(std::string& out, std::string_view text, size_t width) {
    out.assign(text.substr(0, width));
    out.resize(width, ' ');
}

void StoreField(char* field, size_t width, std::string_view text) {
    size_t n = std::min(text.size(), width);
    std::copy_n(text.data(), n, field);
    std::fill(field + n, field + width, ' ');
}

std::string ReadField(const char* field, size_t width) {
    return CleanText(std::string_view(field, width));
}

int32_t LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t limit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), limit);
        ++i;
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string ToUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

namespace {

// The byte a reference between '&' and ';' stands for, 0 for none.
unsigned char Referenced(std::string_view ref) {
    if (ref == "amp") return '&';
    if (ref == "lt") return '<';
    if (ref == "gt") return '>';
    if (ref == "quot") return '"';
    if (ref == "apos") return '\'';
    if (ref.size() < 2 || ref[0] != '#') return 0;
    const bool hex = ref[1] == 'x' || ref[1] == 'X';
    std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 6) return 0;
    unsigned value = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return 0;
        value = value * (hex ? 16 : 10) + d;
    }
    return value >= 1 && value <= 255 ? static_cast<unsigned char>(value) : 0;
}

}  // namespace

std::string XmlDecode(std::string_view text) {
    if (text.find('&') == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) break;
        out.append(text, pos, amp - pos);
        const size_t semi = text.find(';', amp + 1);
        // References are short; a far ';' belongs to something else.
        const unsigned char c = semi != std::string_view::npos && semi - amp <= 9
                                    ? Referenced(text.substr(amp + 1, semi - amp - 1))
                                    : 0;
        if (c) {
            out.push_back(static_cast<char>(c));
            pos = semi + 1;
        } else {
            out.push_back('&');
            pos = amp + 1;
        }
    }
    if (pos < text.size()) out.append(text, pos);
    return out;
}

bool NoRecorderAddress(std::string_view address) {
    const std::string clean = CleanText(address);
    if (clean.empty()) return true;
    int parts = 1;
    bool digits = false;
    for (char c : clean) {
        if (c == '.') {
            if (!digits) return false;
            ++parts;
            digits = false;
        } else if (c == '0') {
            digits = true;
        } else {
            return false;
        }
    }
    return digits && parts == 4;
}

}  // namespace tarvolen
