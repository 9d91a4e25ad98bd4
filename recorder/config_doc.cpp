#include "recorder/config_doc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <pugixml.hpp>

namespace tarvolen::recorder {
namespace {

struct ListSpec {
    const char* list;
    const char* item;
};

const ListSpec kInputLists[] = {{"supported_video_inputs", "video_input"},
                                {"supported_resolutions", "resolution"},
                                {"supported_frame_rates", "frame_rate"},
                                {"supported_pixel_fmts", "pixel_fmt"},
                                {"supported_audio_inputs", "audio_input"}};
const ListSpec kEncoderLists[] = {{"supported_codecs", "codec"},
                                  {"supported_qualities", "quality"},
                                  {"supported_wrappers", "wrapper"},
                                  {"supported_audio", "audio"},
                                  {"supported_write_modes", "write_mode"},
                                  {"supported_primary_disks", "primary_disk"},
                                  {"supported_secondary_disks", "secondary_disk"}};

const char* const kInputFields[] = {"video_input", "resolution",  "frame_rate",
                                    "pixel_fmt",   "audio_input", "name_mode"};
const char* const kEncoderFields[] = {"codec",
                                      "status",
                                      "name",
                                      "input_index",
                                      "quality",
                                      "wrapper",
                                      "audio",
                                      "write_mode",
                                      "primary_disk",
                                      "secondary_disk",
                                      "generate_xml_mode",
                                      "segment_mode",
                                      "segment_duration",
                                      "override_primary_project_path",
                                      "override_secondary_project_path",
                                      "primary_project_path",
                                      "secondary_project_path",
                                      "burn_tc",
                                      "burn_systime",
                                      "burn_gps",
                                      "burn_filename",
                                      "tape_id"};
const char* const kProjectFields[] = {
    "project_name",        "master_path_template",    "master_sec_path_template",
    "proxy_path_template", "proxy_sec_path_template", "master_name_template",
    "proxy_name_template", "tape_id_template",        "scene"};
const char* const kSwitchFields[] = {"status",
                                     "override_primary_project_path",
                                     "override_secondary_project_path",
                                     "burn_tc",
                                     "burn_systime",
                                     "burn_gps",
                                     "burn_filename"};
// Fields with a fixed set of words of their own.
struct WordField {
    const char* field;
    std::vector<std::string> words;
};
const WordField kWordFields[] = {{"generate_xml_mode", {"on", "off"}},
                                 {"segment_mode", {"no", "increment", "manual", "tc_break"}}};
const char* const kRoutingKeys[] = {"analog", "digital", "tone_generator", "silent"};
const int kTones[] = {200, 400, 600, 800, 1000, 1200};

// The parser hands out UTF-8; the recorder keeps one byte per character.
// Characters beyond 255 become '?'; bytes that are not UTF-8 stay as they are.
std::string ToSingleByte(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
        bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < utf8.size();
        unsigned code = c & (0x3F >> extra);
        for (int k = 1; ok && k <= extra; ++k) {
            const auto n = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            ok = (n & 0xC0) == 0x80;
            code = (code << 6) | (n & 0x3F);
        }
        if (!ok) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
        i += static_cast<std::size_t>(extra);
    }
    return out;
}

// A frame rate as this recorder writes it: two decimals without their point
// (29.97 as 2997), whole rates as they are.
std::string NativeRate(const std::string& rate) {
    if (rate.size() == 5 && rate[2] == '.') return rate.substr(0, 2) + rate.substr(3);
    return rate;
}

// The same form read back: four digits are two decimals ("2997" is 29.97).
std::string FromNativeRate(const std::string& rate) {
    const bool digits =
        std::all_of(rate.begin(), rate.end(), [](char c) { return c >= '0' && c <= '9'; });
    return rate.size() == 4 && digits ? rate.substr(0, 2) + "." + rate.substr(2) : rate;
}

void Element(std::string& out, std::string_view name, std::string_view value) {
    out += "<";
    out += name;
    out += ">";
    out += EscapeText(value);
    out += "</";
    out += name;
    out += ">";
}

const ListSpec* ListFor(const std::string& field, bool input) {
    if (input) {
        for (const auto& l : kInputLists)
            if (field == l.item) return &l;
    } else {
        for (const auto& l : kEncoderLists)
            if (field == l.item) return &l;
    }
    return nullptr;
}

bool IsOneOf(const std::string& v, const char* const* begin, const char* const* end) {
    for (auto p = begin; p != end; ++p)
        if (v == *p) return true;
    return false;
}

std::string Trim(std::string s) {
    std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    std::size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// The item the value names, taken as the item's own type. A number may come
// in this recorder's own form, as a client echoes what it was sent.
bool InList(std::string& value, const std::vector<SupportedItem>& list, bool numeric) {
    const std::string number = numeric ? FromNativeRate(value) : value;
    for (const auto& item : list) {
        if (item.type == value) return true;
        if (numeric) {
            char* e1 = nullptr;
            char* e2 = nullptr;
            double a = std::strtod(number.c_str(), &e1);
            double b = std::strtod(item.type.c_str(), &e2);
            if (*e1 == 0 && *e2 == 0 && std::fabs(a - b) < 0.005) {
                value = item.type;
                return true;
            }
        }
    }
    return false;
}

const WordField* WordsOf(const std::string& field) {
    for (const auto& w : kWordFields)
        if (field == w.field) return &w;
    return nullptr;
}

// Reads the current values of one input or encoder element into a copy.
bool ReadBlock(const pugi::xml_node& node, ConfigBlock& block, bool input, std::string& why) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        std::string field = child.name();
        if (field == "index") continue;
        bool known = input ? IsOneOf(field, std::begin(kInputFields), std::end(kInputFields))
                           : IsOneOf(field, std::begin(kEncoderFields), std::end(kEncoderFields));
        if (!known) continue;  // supported lists and unknown elements are not settings
        std::string raw = ToSingleByte(child.text().get());
        if (!input && field == "audio") {
            raw = child.first_child().type() == pugi::node_pcdata
                      ? ToSingleByte(child.first_child().value())
                      : "";
            if (pugi::xml_node routing = child.child("routing")) {
                std::vector<std::pair<std::string, int>> r;
                for (pugi::xml_node e : routing.children("routing_element")) {
                    std::string key = Trim(ToSingleByte(e.child("key").text().get()));
                    if (!IsOneOf(key, std::begin(kRoutingKeys), std::end(kRoutingKeys))) {
                        why = "routing key '" + key + "' is not known";
                        return false;
                    }
                    int value = e.child("value").text().as_int(0);
                    if (key == "tone_generator") {
                        int best = kTones[0];
                        for (int t : kTones)
                            if (std::abs(t - value) < std::abs(best - value)) best = t;
                        value = best;
                    } else if (key == "silent") {
                        value = 0;
                    } else if (value < 0 || value > 63) {
                        why = "routing source " + std::to_string(value) + " out of range";
                        return false;
                    }
                    if (r.size() < 32) r.emplace_back(key, value);
                }
                block.routing = std::move(r);
            }
        }
        bool blank = !raw.empty() && Trim(raw).empty();
        std::string value = Trim(raw);
        if (value.empty() && !blank) continue;  // an empty element keeps the value
        if (const ListSpec* l = ListFor(field, input)) {
            if (!InList(value, SupportedList(l->list), field == "frame_rate")) {
                why = field + " '" + value + "' is not supported";
                return false;
            }
        } else if (IsOneOf(field, std::begin(kSwitchFields), std::end(kSwitchFields))) {
            if (value != "enabled" && value != "disabled") {
                why = field + " must be enabled or disabled";
                return false;
            }
        } else if (const WordField* w = WordsOf(field)) {
            if (std::find(w->words.begin(), w->words.end(), value) == w->words.end()) {
                why = field + " '" + value + "' is not one of its words";
                return false;
            }
        } else if (field == "segment_duration") {
            char* end = nullptr;
            long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != 0 || n < 0) {
                why = "segment_duration must be a frame count";
                return false;
            }
        }
        block.values[field] = value;
    }
    return true;
}

}  // namespace

std::string EscapeText(std::string_view v) {
    std::string out;
    for (char ch : v) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c >= 0x7F || c == '\t' || c == '\n' || c == '\r')
            out += "&#" + std::to_string(c) + ";";
        else if (c >= 0x20)
            out.push_back(ch);
    }
    return out;
}

const ConfigBlock* ChannelConfig::Encoder(int index) const {
    for (const auto& e : encoders)
        if (e.index == index) return &e;
    return nullptr;
}
const ConfigBlock* ChannelConfig::Input(int index) const {
    for (const auto& e : inputs)
        if (e.index == index) return &e;
    return nullptr;
}
std::string ChannelConfig::Value(const ConfigBlock* block, const std::string& key) const {
    if (!block) return "";
    auto it = block->values.find(key);
    return it == block->values.end() ? std::string() : it->second;
}

const std::vector<SupportedItem>& SupportedList(const std::string& listElement) {
    static const std::map<std::string, std::vector<SupportedItem>> kLists = {
        {"supported_video_inputs",
         {{"sdi1", "SDI 1"}, {"sdi2", "SDI 2"}, {"hdmi", "HDMI"}, {"ndi", "NDI"}}},
        {"supported_resolutions",
         {{"1920x1080i", "1080i"},
          {"1920x1080p", "1080p"},
          {"1280x720p", "720p"},
          {"3840x2160p", "UHD 2160p"}}},
        {"supported_frame_rates",
         {{"23.98", "23.98"},
          {"24", "24"},
          {"25", "25"},
          {"29.97", "29.97"},
          {"30", "30"},
          {"50", "50"},
          {"59.94", "59.94"}}},
        {"supported_pixel_fmts",
         {{"yuv422p10", "10 bit 422"}, {"yuv422p", "8 bit 422"}, {"yuv420p", "8 bit 420"}}},
        {"supported_audio_inputs",
         {{"embedded", "Embedded"}, {"aes", "AES"}, {"analog", "Analog"}}},
        {"supported_codecs",
         {{"dnxhd", "DNxHD"},
          {"prores", "ProRes"},
          {"xdcam", "XDCAM HD"},
          {"avci", "AVC Intra"},
          {"h264", "H.264"}}},
        {"supported_qualities", {{"high", "High"}, {"medium", "Medium"}, {"low", "Low"}}},
        {"supported_wrappers",
         {{"mxf_op1a", "MXF OP1a"}, {"mxf_opatom", "MXF OPAtom"}, {"mov", "QuickTime"}}},
        {"supported_audio", {{"pcm24", "PCM 24 bit"}, {"pcm16", "PCM 16 bit"}, {"aac", "AAC"}}},
        {"supported_write_modes",
         {{"single", "Single"}, {"mirror", "Mirror"}, {"dual", "Primary and Secondary"}}},
        {"supported_primary_disks",
         {{"/media/primary", "Primary RAID"},
          {"/media/secondary", "Secondary RAID"},
          {"/media/archive", "Archive"}}},
        {"supported_secondary_disks",
         {{"/media/secondary", "Secondary RAID"},
          {"/media/raid-1", "RAID-1 mirror"},
          {"/media/archive", "Archive"},
          {"/media/primary", "Primary RAID"}}},
    };
    static const std::vector<SupportedItem> kNone;
    auto it = kLists.find(listElement);
    return it == kLists.end() ? kNone : it->second;
}

ChannelConfig DefaultConfig(int channel, Rate rate) {
    ChannelConfig c;
    const char* fps = "29.97";
    switch (rate) {
        case Rate::k30:
            fps = "30";
            break;
        case Rate::k25:
            fps = "25";
            break;
        case Rate::k24:
            fps = "24";
            break;
        case Rate::k2997DropFrame:
            break;
    }
    auto input = [&](int index, const char* video, const char* resolution, const char* rate,
                     const char* pixel, const char* audio) {
        ConfigBlock in;
        in.index = index;
        in.values = {{"video_input", video}, {"resolution", resolution}, {"frame_rate", rate},
                     {"pixel_fmt", pixel},   {"audio_input", audio},     {"name_mode", "auto"}};
        c.inputs.push_back(in);
    };
    input(0, "sdi1", "1920x1080i", fps, "yuv422p10", "embedded");
    input(1, "sdi2", "1920x1080p", "25", "yuv422p10", "aes");
    input(2, "hdmi", "1280x720p", "59.94", "yuv422p", "analog");
    auto encoder = [&](int index, const char* codec, const char* status, const std::string& name,
                       const char* quality, const char* wrapper, const char* audio,
                       std::vector<std::pair<std::string, int>> routing) {
        ConfigBlock e;
        e.index = index;
        e.values = {{"codec", codec},
                    {"status", status},
                    {"name", name},
                    {"input_index", std::to_string(index / 2)},
                    {"quality", quality},
                    {"wrapper", wrapper},
                    {"audio", audio},
                    {"write_mode", index == 0 ? "mirror" : "single"},
                    {"primary_disk", "/media/primary"},
                    {"secondary_disk", index == 0 ? "/media/raid-1" : "/media/secondary"},
                    {"generate_xml_mode", "off"},
                    {"segment_mode", "no"},
                    {"segment_duration", "0"},
                    {"override_primary_project_path", "disabled"},
                    {"override_secondary_project_path", "disabled"},
                    {"primary_project_path", ""},
                    {"secondary_project_path", ""},
                    {"burn_tc", index == 0 ? "enabled" : "disabled"},
                    {"burn_systime", "disabled"},
                    {"burn_gps", "disabled"},
                    {"burn_filename", "disabled"},
                    {"tape_id", ""}};
        e.routing = std::move(routing);
        c.encoders.push_back(e);
    };
    // Every encoder of a channel carries the channel's one encoder name.
    const std::string name = "Cam" + std::to_string(channel);
    // The master takes every kind of source: two analog channels, digital
    // pairs, a line-up tone and a silent track.
    encoder(0, "dnxhd", "enabled", name, "high", "mxf_op1a", "pcm24",
            {{"analog", 0},
             {"analog", 1},
             {"digital", 2},
             {"digital", 3},
             {"digital", 4},
             {"digital", 5},
             {"tone_generator", 1000},
             {"silent", 0}});
    encoder(1, "h264", "enabled", name, "low", "mov", "aac", {{"digital", 0}, {"digital", 1}});
    encoder(2, "prores", "disabled", name, "medium", "mov", "pcm24",
            {{"digital", 0}, {"digital", 1}, {"digital", 2}, {"digital", 3}});
    encoder(3, "h264", "disabled", name, "low", "mov", "aac", {{"digital", 0}});
    std::string scene = "Ch" + std::to_string(channel);
    c.project = {{"project_name", "Demo"},
                 {"master_path_template", "%P/%D"},
                 {"master_sec_path_template", "%P/%D"},
                 {"proxy_path_template", "%P/%D/proxy"},
                 {"proxy_sec_path_template", ""},
                 {"master_name_template", "%P_%S_%D_%T"},
                 {"proxy_name_template", "%P_%S_%D_%T%x"},
                 {"tape_id_template", "%S_%y%M%d"},
                 {"scene", scene}};
    return c;
}

std::string BuildConfigDocument(const ChannelConfig& c) {
    const char* crlf = "\r\n";
    std::string d = "<?xml version=\"1.0\"?>\r\n<tarvolen>\r\n<drives>";
    for (const auto& item : SupportedList("supported_primary_disks")) {
        d += "<drive>";
        Element(d, "path", item.type);
        Element(d, "label", item.name);
        d += "</drive>";
    }
    d += "</drives>\r\n";
    auto lists = [&](const ListSpec* begin, const ListSpec* end) {
        for (auto l = begin; l != end; ++l) {
            d += std::string("<") + l->list + ">";
            for (const auto& item : SupportedList(l->list)) {
                d += std::string("<") + l->item + ">";
                Element(d, "type", item.type);
                Element(d, "name", item.name);
                d += std::string("</") + l->item + ">";
            }
            d += std::string("</") + l->list + ">" + crlf;
        }
    };
    for (const auto& in : c.inputs) {
        d += "<input>\r\n";
        Element(d, "index", std::to_string(in.index));
        d += crlf;
        lists(std::begin(kInputLists), std::end(kInputLists));
        for (const char* f : kInputFields) {
            const std::string v = c.Value(&in, f);
            Element(d, f, std::string(f) == "frame_rate" ? NativeRate(v) : v);
        }
        d += "\r\n</input>\r\n";
    }
    for (const auto& e : c.encoders) {
        d += "<encoder>\r\n";
        Element(d, "index", std::to_string(e.index));
        d += crlf;
        lists(std::begin(kEncoderLists), std::end(kEncoderLists));
        for (const char* f : kEncoderFields) {
            if (std::string(f) == "audio") {
                d += "<audio>" + EscapeText(c.Value(&e, "audio")) + "<routing>";
                for (const auto& [key, value] : e.routing) {
                    d += "<routing_element>";
                    Element(d, "key", key);
                    Element(d, "value", std::to_string(value));
                    d += "</routing_element>";
                }
                d += "</routing></audio>";
            } else {
                Element(d, f, c.Value(&e, f));
            }
        }
        d += "\r\n</encoder>\r\n";
    }
    d += "<project>\r\n";
    for (const char* f : kProjectFields) {
        auto it = c.project.find(f);
        Element(d, f, it == c.project.end() ? std::string() : it->second);
        d += crlf;
    }
    d += "</project>\r\n</tarvolen>\r\n";
    return d;
}

// The parser passes a bare '&' through; a conforming reader must not.
bool BareAmpersand(std::string_view d, std::size_t& at) {
    for (std::size_t i = d.find('&'); i != std::string_view::npos; i = d.find('&', i + 1)) {
        std::size_t semi = d.find(';', i);
        std::string_view ref =
            semi == std::string_view::npos ? d.substr(i + 1) : d.substr(i + 1, semi - i - 1);
        bool ok = semi != std::string_view::npos &&
                  (ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos");
        if (!ok && semi != std::string_view::npos && ref.size() > 1 && ref[0] == '#') {
            bool hex = ref[1] == 'x';
            std::string_view digits = ref.substr(hex ? 2 : 1);
            ok = !digits.empty() && digits.size() < 8 &&
                 std::all_of(digits.begin(), digits.end(), [hex](char c) {
                     return (c >= '0' && c <= '9') ||
                            (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
                 });
        }
        if (!ok) {
            at = i;
            return true;
        }
    }
    return false;
}

bool ApplyConfigDocument(ChannelConfig& config, std::string_view document, std::string& why) {
    std::size_t at = 0;
    if (BareAmpersand(document, at)) {
        why = "not well-formed: bare & at offset " + std::to_string(at);
        return false;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(
        document.data(), document.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) {
        why = std::string("not well-formed: ") + parsed.description() + " at offset " +
              std::to_string(parsed.offset);
        return false;
    }
    pugi::xml_node root = doc.document_element();
    if (std::string(root.name()) != "tarvolen") {
        why = "root element is not tarvolen";
        return false;
    }
    ChannelConfig next = config;
    auto readIndex = [&](const pugi::xml_node& node, int& index) {
        std::string t = Trim(node.child("index").text().get());
        char* end = nullptr;
        long v = std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end != 0 || v < 0 || v > 20) {
            why = std::string(node.name()) + " without a valid index";
            return false;
        }
        index = static_cast<int>(v);
        return true;
    };
    for (pugi::xml_node n : root.children("input")) {
        int index = 0;
        if (!readIndex(n, index)) return false;
        for (auto& b : next.inputs)
            if (b.index == index && !ReadBlock(n, b, true, why)) return false;
    }
    for (pugi::xml_node n : root.children("encoder")) {
        int index = 0;
        if (!readIndex(n, index)) return false;
        for (auto& b : next.encoders)
            if (b.index == index && !ReadBlock(n, b, false, why)) return false;
    }
    if (pugi::xml_node p = root.child("project")) {
        // Project texts are taken as sent, empty ones too.
        for (const char* f : kProjectFields)
            if (pugi::xml_node e = p.child(f)) next.project[f] = Trim(ToSingleByte(e.text().get()));
    }
    config = std::move(next);
    return true;
}

}  // namespace tarvolen::recorder
