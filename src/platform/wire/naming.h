// Expansion of the clip naming templates a recorder holds per channel; the
// controller expands them itself for decks, which name clips as told.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tarvolen::wire {

struct NamingContext {
    std::string project;
    std::string encoder;
    std::string scene;
    bool proxy = false;
    std::string startTimecode;  // "HH:MM:SS;FF"
    std::tm when{};             // local time of the recording's start
};

inline constexpr std::size_t kMaxClipName = 200;

// Expands the tokens %P %E %S %x %C %D %Y %y %M %d %T %H %m %s %W %w and %%;
// anything else is kept as written.
std::string ExpandTemplate(std::string_view templ, const NamingContext& ctx);

// A name fit for a file: unfit characters become '_', cut to kMaxClipName.
std::string SanitizeName(std::string_view name);

}  // namespace tarvolen::wire
