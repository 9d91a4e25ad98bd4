// Each channel's image of its recorder's configuration: input and encoder
// slots, audio routing and the naming texts that live only in memory, plus
// the choice lists of the recorder parsed last. Filled from the recorder's
// configuration document, shown and edited on the Setup pages, and turned
// back into the document the recorder is sent. GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tarvolen {

inline constexpr int32_t kConfigSlots = 21;      // input and encoder slots 0-20
inline constexpr int32_t kRoutingEntries = 32;   // tracks per encoder slot
inline constexpr int32_t kChoiceKinds = 12;      // kinds of choice list per slot
inline constexpr size_t kConfigFieldWidth = 32;  // most text fields
inline constexpr size_t kConfigPathWidth = 255;  // the two project paths of an encoder

// Text fields hold their value as stored: cut to the field's width or filled
// out with spaces (FixedWidth); read them through CleanText.
struct InputSlot {
    std::string video_input;
    std::string resolution;
    float frame_rate = 0;  // 0: the recorder has no such input
    std::string pixel_format;
    std::string audio_input;
    std::string name_mode;
};

struct EncoderSlot {
    int32_t input_index = 0;
    std::string codec;   // empty: the recorder has no such encoder
    int32_t status = 0;  // 1 enabled
    std::string quality;
    std::string wrapper;
    std::string audio;
    std::string write_mode;
    std::string primary_disk;
    std::string secondary_disk;
    std::string encoder_name;
    std::string generate_xml_mode;
    std::string segment_mode;
    int32_t segment_duration = 0;  // whole frames
    std::string override_primary_path;
    std::string primary_path;
    std::string override_secondary_path;
    std::string secondary_path;
    std::string burn_timecode;
    std::string burn_system_time;
    std::string burn_gps;
    std::string burn_file_name;
};

// One audio track's source: "analog", "digital", "tone_generator", "silent";
// an empty key ends the track list.
struct RoutingEntry {
    std::string key;
    int32_t value = 0;
};

struct ChannelConfig {
    std::array<InputSlot, kConfigSlots> inputs;
    std::array<EncoderSlot, kConfigSlots> encoders;
    std::array<std::array<RoutingEntry, kRoutingEntries>, kConfigSlots> routing;
    // The naming texts not kept in the settings file; project, base name,
    // proxy name, tape id and scene name are the channel table's.
    std::string master_path_template;
    std::string master_sec_path_template;
    std::string proxy_path_template;
    std::string proxy_sec_path_template;
};

// Per slot and kind: "values;...|labels;..." as XmlItemLists gives it.
using ChoiceTable = std::array<std::array<std::string, kChoiceKinds>, kConfigSlots>;

}  // namespace tarvolen
