// Reading a recorder's configuration document into a channel's configuration
// and the choice table, and translating between device values and labels.
#include <string>
#include <string_view>

#include "config/config_text.h"
#include "config/xml_text.h"
#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

struct ListKind {
    const char* list;
    const char* item;
};

constexpr ListKind kKinds[kChoiceKinds] = {
    {"<supported_video_inputs>", "<video_input>"},
    {"<supported_resolutions>", "<resolution>"},
    {"<supported_frame_rates>", "<frame_rate>"},
    {"<supported_pixel_fmts>", "<pixel_fmt>"},
    {"<supported_audio_inputs>", "<audio_input>"},
    {"<supported_codecs>", "<codec>"},
    {"<supported_qualities>", "<quality>"},
    {"<supported_wrappers>", "<wrapper>"},
    {"<supported_audio>", "<audio>"},
    {"<supported_write_modes>", "<write_mode>"},
    {"<supported_primary_disks>", "<primary_disk>"},
    {"<supported_secondary_disks>", "<secondary_disk>"},
};

// "v1;v2;|l1;l2;" for a run of items each holding <type> and <name>, as
// XmlItemLists gives it, each value decoded once. Each item read is cut out of
// list where it was found, so the walk ends whatever the letter case of its
// tags; what is not an item stays in list.
std::string ItemLists(std::string_view item_tag, std::string& list) {
    if (list.empty()) return {};
    std::string values;
    std::string labels;
    for (bool more = true; more;) {
        const std::string item = XmlTagText(item_tag, list);
        if (item.empty()) break;
        const std::string value = XmlDecode(XmlTagText("<type>", item));
        if (value.empty()) break;
        XmlTakeTagText(item_tag, list, &more);
        values += value;
        values += ';';
        const std::string label = XmlDecode(XmlTagText("<name>", item));
        if (label.empty()) break;
        labels += label;
        labels += ';';
    }
    return values + "|" + labels;
}

// Fills the cells of the kinds first..last for one slot and cuts their lists
// out of the element, so that the lookups that follow find the element's own
// current values rather than the first offered item. A list without its
// closing tag runs to the end of the element: its items are cut out one by
// one, and what follows them stays to be read.
void ReadLists(ChoiceTable& table, int32_t slot, int first, int last, std::string& element) {
    for (int kind = first; kind <= last; ++kind) {
        const std::string_view tag = kKinds[kind].list;
        bool closed = false;
        std::string list = XmlTakeTagText(tag, element, &closed);
        std::string& cell = table[static_cast<size_t>(slot)][static_cast<size_t>(kind)];
        if (closed || list.empty()) {
            cell = ItemLists(kKinds[kind].item, list);
            continue;
        }
        const size_t at = element.size() - list.size() - tag.size();
        cell = ItemLists(kKinds[kind].item, list);
        element.replace(at, std::string::npos, list);
    }
}

std::string Value(std::string_view tag, std::string_view element) {
    return XmlDecode(XmlTagText(tag, element));
}

std::string Field(std::string_view tag, std::string_view element,
                  size_t width = kConfigFieldWidth) {
    return FixedWidth(Value(tag, element), width);
}

// The n-th (from 1) ";"-separated field of list, empty when there is none.
std::string_view NthField(std::string_view list, size_t n) {
    size_t start = 0;
    for (size_t k = 1; k < n; ++k) {
        const size_t semi = list.find(';', start);
        if (semi == std::string_view::npos) return {};
        start = semi + 1;
    }
    const size_t semi = list.find(';', start);
    return list.substr(start, semi == std::string_view::npos ? list.size() - start : semi - start);
}

// Position (from 1) of the first field of list equal to value, 0 for none.
size_t FieldPosition(std::string_view list, std::string_view value) {
    size_t start = 0;
    for (size_t k = 1;; ++k) {
        const size_t semi = list.find(';', start);
        const std::string_view field =
            list.substr(start, semi == std::string_view::npos ? list.size() - start : semi - start);
        if (field == value) return k;
        if (semi == std::string_view::npos) return 0;
        start = semi + 1;
    }
}

}  // namespace

void cSettings::ParseCapabilities(int32_t channel, std::string_view document) {
    ChannelConfig* config = Config(channel);
    if (!config || channel > ChannelBound()) return;
    choices_ = ChoiceTable{};
    // A deck's document is the whole of what it has: nothing left over from a
    // recorder of ours that was at this address may go back to it.
    if (Protocol(channel) == kProtocolDeck) {
        config->inputs = {};
        config->encoders = {};
        config->routing = {};
    }

    // Values keep their hyphens and are decoded once, where they are read:
    // what the recorder holds comes back unchanged on the next apply.
    std::string doc = XmlTagText("<tarvolen>", document);
    if (doc.empty()) return;
    // Removed unread; one without its closing tag stays, and what follows it
    // is still read.
    for (bool more = true; more;) XmlTakeTagText("<drives>", doc, &more);

    std::string inputs = doc;
    for (bool more = true; more;) {
        std::string e = XmlTakeTagText("<input>", inputs, &more);
        if (e.empty()) break;
        const std::string index = XmlTagText("<index>", e);
        if (index.empty()) break;
        const auto slot = SlotIndex(index);
        if (!slot) continue;
        ReadLists(choices_, *slot, 0, 4, e);
        InputSlot& in = config->inputs[static_cast<size_t>(*slot)];
        in.video_input = Field("<video_input>", e);
        in.resolution = Field("<resolution>", e);
        in.pixel_format = Field("<pixel_fmt>", e);
        in.audio_input = Field("<audio_input>", e);
        in.name_mode = Field("<name_mode>", e);
        in.frame_rate = FrameRateOf(Value("<frame_rate>", e));
    }

    std::string encoders = doc;
    for (bool more = true; more;) {
        std::string e = XmlTakeTagText("<encoder>", encoders, &more);
        if (e.empty()) break;
        const std::string index = XmlTagText("<index>", e);
        if (index.empty()) break;
        const auto slot = SlotIndex(index);
        if (!slot) continue;
        ReadLists(choices_, *slot, 5, 11, e);
        EncoderSlot& enc = config->encoders[static_cast<size_t>(*slot)];
        enc.codec = Field("<codec>", e);
        enc.status = Value("<status>", e) == "enabled" ? 1 : 0;
        enc.encoder_name = Field("<name>", e);
        enc.input_index = NearestWhole(Value("<input_index>", e));
        enc.quality = Field("<quality>", e);
        enc.wrapper = Field("<wrapper>", e);
        const std::string audio = XmlTagText("<audio>", e);
        ParseRouting(channel, *slot, XmlTagText("<routing>", audio));
        enc.audio = FixedWidth(XmlDecode(audio.substr(0, audio.find('<'))), kConfigFieldWidth);
        enc.write_mode = Field("<write_mode>", e);
        enc.primary_disk = Field("<primary_disk>", e);
        enc.secondary_disk = Field("<secondary_disk>", e);
        enc.generate_xml_mode = Field("<generate_xml_mode>", e);
        enc.segment_mode = Field("<segment_mode>", e);
        enc.segment_duration = NearestWhole(Value("<segment_duration>", e));
        enc.override_primary_path = Field("<override_primary_project_path>", e);
        enc.override_secondary_path = Field("<override_secondary_project_path>", e);
        enc.primary_path = Field("<primary_project_path>", e, kConfigPathWidth);
        enc.secondary_path = Field("<secondary_project_path>", e, kConfigPathWidth);
        enc.burn_timecode = Field("<burn_tc>", e);
        enc.burn_system_time = Field("<burn_systime>", e);
        enc.burn_gps = Field("<burn_gps>", e);
        enc.burn_file_name = Field("<burn_filename>", e);
    }

    // A deck names no project: the controller's own naming for it stays.
    if (Protocol(channel) == kProtocolDeck) return;
    const std::string p = XmlTagText("<project>", doc);
    SetProject(channel, Value("<project_name>", p));
    config->master_path_template = Value("<master_path_template>", p);
    config->master_sec_path_template = Value("<master_sec_path_template>", p);
    config->proxy_path_template = Value("<proxy_path_template>", p);
    config->proxy_sec_path_template = Value("<proxy_sec_path_template>", p);
    SetBaseName(channel, Value("<master_name_template>", p));
    SetProxyName(channel, Value("<proxy_name_template>", p));
    SetTapeId(channel, Value("<tape_id_template>", p));
    SetSceneName(channel, Value("<scene>", p));
}

std::string cSettings::TranslateChoice(std::string_view value, int32_t slot, int32_t kind) const {
    if (slot < 0 || slot > 10 || kind < 0 || kind >= kChoiceKinds) return {};
    const std::string v = CleanText(value);
    if (v.empty()) return {};
    const std::string& cell = choices_[static_cast<size_t>(slot)][static_cast<size_t>(kind)];
    if (cell.empty()) return v;
    const size_t bar = cell.find('|');
    if (bar == std::string::npos) return v;
    const std::string_view values = std::string_view(cell).substr(0, bar);
    const std::string_view labels = std::string_view(cell).substr(bar + 1);
    if (labels.empty() || values == labels) return v;
    if (size_t k = FieldPosition(values, v)) {
        const std::string_view label = NthField(labels, k);
        if (!label.empty()) return std::string(label);
    }
    if (size_t k = FieldPosition(labels, v)) {
        const std::string_view found = NthField(values, k);
        if (!found.empty()) return std::string(found);
    }
    return v;
}

}  // namespace tarvolen
