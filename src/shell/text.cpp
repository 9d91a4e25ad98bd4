#include "shell/text.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace tarvolen {

std::string CleanText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\0' || static_cast<unsigned char>(c) == 0xFF) c = ' ';
    }
    size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

std::string FixedWidth(std::string_view text, size_t width) {
    std::string out(text.substr(0, std::min(text.size(), width)));
    out.resize(width, ' ');
    return out;
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
