#include "config/config_text.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "shell/channel_config.h"

namespace tarvolen {

double LeadingReal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Only plain decimal forms: from_chars would also take "inf" and "nan".
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return 0;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                     std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        return negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
    }
    if (ec != std::errc() || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

int32_t NearestWhole(std::string_view text) {
    const double v = std::round(LeadingReal(text));
    if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(v);
}

std::optional<int32_t> SlotIndex(std::string_view text) {
    const double v = std::round(LeadingReal(text));
    if (v < 0 || v >= kConfigSlots) return std::nullopt;
    return static_cast<int32_t>(v);
}

float ToSingle(double v) {
    const double most = std::numeric_limits<float>::max();
    return static_cast<float>(v > most ? most : v < -most ? -most : v);
}

float FrameRateOf(std::string_view text) {
    std::string t(text);
    if (t.size() == 4 && t.find('.') == std::string::npos) t.insert(2, 1, '.');
    return ToSingle(LeadingReal(t));
}

std::string FrameRateText(float rate) {
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, rate, std::chars_format::general, 7);
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

}  // namespace tarvolen
