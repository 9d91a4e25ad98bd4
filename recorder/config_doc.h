// A channel's configuration as a recorder holds it, the document it sends for
// it and the reading of the documents a controller sends back.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recorder/timecode_counter.h"

namespace tarvolen::recorder {

struct ConfigBlock {
    int index = 0;
    std::map<std::string, std::string> values;
    std::vector<std::pair<std::string, int>> routing;  // encoders only
};

struct ChannelConfig {
    std::vector<ConfigBlock> inputs;
    std::vector<ConfigBlock> encoders;  // index 0 master, 1 proxy
    std::map<std::string, std::string> project;

    const ConfigBlock* Encoder(int index) const;
    const ConfigBlock* Input(int index) const;
    std::string Value(const ConfigBlock* block, const std::string& key) const;
};

struct SupportedItem {
    std::string type;
    std::string name;
};

ChannelConfig DefaultConfig(int channel, Rate rate);
std::string BuildConfigDocument(const ChannelConfig& config);

// Reads a document as a controller builds it and applies it whole; on any
// problem nothing changes and why says what was wrong.
bool ApplyConfigDocument(ChannelConfig& config, std::string_view document, std::string& why);

// A text as every document of this recorder carries it: & < > escaped, and a
// tab, a line end or a byte from 127 up as a numeric reference (&#233;), so
// a document is plain ASCII and reads back byte for byte.
std::string EscapeText(std::string_view text);

// Supported items of a list element ("supported_codecs", ...).
const std::vector<SupportedItem>& SupportedList(const std::string& listElement);

}  // namespace tarvolen::recorder
