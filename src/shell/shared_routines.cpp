#include "shell/shared_routines.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/text.h"

namespace tarvolen {

void DebugTrace(std::string_view text) {
    const char* trace = std::getenv("TARVOLEN_TRACE");
    if (trace == nullptr || std::strcmp(trace, "1") != 0) return;
    std::string line(text.substr(0, text.find('\0')));
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

uint32_t AddressToNumber(std::string_view address) {
    uint32_t value = 0;
    for (int octet = 0; octet < 4; ++octet) {
        size_t dot = address.find('.');
        std::string_view field = address.substr(0, dot);
        uint32_t byte = static_cast<uint32_t>(LeadingNumber(field)) & 0xFFu;
        value = (value << 8) | byte;
        address = dot == std::string_view::npos ? std::string_view() : address.substr(dot + 1);
    }
    return value;
}

uint32_t ByteSwap(uint32_t value) {
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
           (value >> 24);
}

std::string NumberToAddress(uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out += '.';
        out += std::to_string((value >> (8 * i)) & 0xFFu);
    }
    return out;
}

int32_t CommandLineAutoRecord(std::string_view command_line) {
    static constexpr std::string_view kMarker = "autorec=";
    std::string text = ToLower(command_line);
    if (text.find(kMarker) == std::string::npos) return 0;
    std::string rest;
    size_t pos = 0;
    for (size_t at; (at = text.find(kMarker, pos)) != std::string::npos;
         pos = at + kMarker.size()) {
        rest.append(text, pos, at - pos);
    }
    rest.append(text, pos, std::string::npos);
    return LeadingNumber(rest);
}

}  // namespace tarvolen
