#include "device/device_text.h"

#include "shell/text.h"

namespace tarvolen {
std::string ReplyTagValue(std::string_view tag, std::string_view source) {
    std::string value = ReplyTagText(tag, source);
    for (size_t p = value.find("&amp;"); p != std::string::npos; p = value.find("&amp;", p + 1))
        value.replace(p, 5, "&");
    return value;
}

std::string ReplyTagText(std::string_view tag, std::string_view source) {
    if (source.empty() || tag.empty()) return {};
    const std::string up = ToUpper(source);
    const size_t open = up.find(ToUpper(tag));
    if (open == std::string::npos) return {};
    std::string closing;
    for (char c : tag) {
        closing += c;
        if (c == '<') closing += '/';
    }
    const size_t begin = open + tag.size();
    const size_t close = up.find(ToUpper(closing), begin);
    return std::string(
        source.substr(begin, close == std::string::npos ? std::string::npos : close - begin));
}

}  // namespace tarvolen
