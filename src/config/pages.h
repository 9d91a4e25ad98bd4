// The Setup pages: building the property list of a page from a channel's
// configuration and reading the edited page back into it. The property list
// is control 140 of the form "setup", the tabs control 220.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

class cSettings;

inline constexpr int32_t kSetupPropertyList = 140;
inline constexpr int32_t kSetupChannelGrid = 105;
inline constexpr int32_t kSetupTabs = 220;
// A text over the pages, for a channel whose recorder has none to show.
inline constexpr int32_t kSetupPageNotice = 150;
inline constexpr int32_t kSetupNamingHelp = 145;
inline constexpr int32_t kSetupFirstPreset = 175;
inline constexpr int32_t kSetupLastPreset = 215;

// Setup tabs, counted from 1.
enum SetupPage : int32_t {
    kInputsPage = 1,
    kEncodersPage = 2,
    kProjectsPage = 3,
    kMasterAudioPage = 4,
    kProxyAudioPage = 5,
};

// text when an item whose whole text is text exists at start (negative: 0)
// or later, else empty.
std::string FindPropertyHeader(const std::string& text, int32_t start);
// The value of the first item from position on (negative: 0) whose label is
// label; position is moved to it. Not found: empty, position unchanged.
std::string ReadPropertyValue(const std::string& label, int32_t& position);

// Builds page (a SetupPage) for channel; other pages: nothing.
void BuildSetupPage(cSettings& settings, int32_t page, int32_t channel);
// Reads page back into channel's configuration; false for another page.
bool ReadSetupPage(cSettings& settings, int32_t page, int32_t channel);

// The header of encoder slot e on the Encoders page.
std::string EncoderHeader(const cSettings& settings, int32_t channel, int32_t e);

}  // namespace tarvolen
