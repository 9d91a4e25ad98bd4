#include "platform/deck_link/deck_config.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "config/xml_text.h"
#include "shell/text.h"

namespace tarvolen::decklink {

namespace {

// What the protocol document lists. It says the valid inputs and formats
// vary between models and gives no way to ask a deck for its own, so the
// deck's current value is offered too when the list lacks it.
constexpr const char* kVideoInputs[] = {"SDI", "HDMI", "component"};
constexpr const char* kAudioInputs[] = {"embedded", "XLR", "RCA"};
constexpr const char* kFileFormats[] = {"QuickTimeUncompressed", "QuickTimeProResHQ",
                                        "QuickTimeProRes", "QuickTimeProResLT",
                                        "QuickTimeProResProxy"};

void Put(std::string& d, std::string_view tag, std::string_view value) {
    d += '<';
    d += tag;
    d += '>';
    d += XmlEscape(value);
    d += "</";
    d += tag;
    d += '>';
}

template <std::size_t N>
void PutChoices(std::string& d, std::string_view list, std::string_view item,
                const char* const (&offered)[N], const std::string& current) {
    std::vector<std::string> values(std::begin(offered), std::end(offered));
    if (!current.empty() && std::find(values.begin(), values.end(), current) == values.end())
        values.push_back(current);
    d += '<';
    d += list;
    d += '>';
    for (const std::string& v : values) {
        d += '<';
        d += item;
        d += '>';
        Put(d, "type", v);
        Put(d, "name", v);
        d += "</";
        d += item;
        d += '>';
    }
    d += "</";
    d += list;
    d += '>';
}

struct Element {
    std::string tag;
    std::string_view content;
};

// The elements of text at its own level, in order; false when one is not
// closed.
bool Children(std::string_view text, std::vector<Element>& out) {
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        const std::size_t gt = text.find('>', at);
        if (gt == std::string_view::npos) return false;
        std::string tag(text.substr(at + 1, gt - at - 1));
        if (tag.empty() || tag[0] == '/') return false;
        const std::string close = "</" + tag + ">";
        const std::size_t end = text.find(close, gt + 1);
        if (end == std::string_view::npos) return false;
        out.push_back({std::move(tag), text.substr(gt + 1, end - gt - 1)});
        at = end + close.size();
    }
    return true;
}

// The leaf elements of text, their values decoded and trimmed; false for
// one not closed or nested deeper than any document of ours.
bool Leaves(std::string_view text, std::vector<std::pair<std::string, std::string>>& out,
            int depth = 0) {
    std::vector<Element> children;
    if (depth > 8 || !Children(text, children)) return false;
    for (const Element& e : children) {
        if (e.content.find('<') != std::string_view::npos) {
            if (!Leaves(e.content, out, depth + 1)) return false;
        } else {
            out.emplace_back(e.tag, CleanText(XmlDecode(e.content)));
        }
    }
    return true;
}

// A value that asks nothing of the deck.
bool Blank(const std::string& v) {
    if (v.empty() || v == "disabled") return true;
    char* end = nullptr;
    const double n = std::strtod(v.c_str(), &end);
    return end && *end == '\0' && n == 0;
}

}  // namespace

std::string ConfigDocument(const deck::Params& configuration) {
    auto value = [&](std::string_view key) {
        const std::string* v = deck::Find(configuration, key);
        return v ? *v : std::string();
    };
    const std::string video = value("video input"), audio = value("audio input"),
                      format = value("file format");
    std::string d = "<tarvolen>\r\n<input>";
    Put(d, "index", "0");
    PutChoices(d, "supported_video_inputs", "video_input", kVideoInputs, video);
    PutChoices(d, "supported_audio_inputs", "audio_input", kAudioInputs, audio);
    Put(d, "video_input", video);
    Put(d, "audio_input", audio);
    d += "</input>\r\n<encoder>";
    Put(d, "index", "0");
    PutChoices(d, "supported_codecs", "codec", kFileFormats, format);
    Put(d, "status", "enabled");
    Put(d, "codec", format);
    d += "</encoder>\r\n</tarvolen>";
    return d;
}

std::optional<deck::Params> ConfigCommand(std::string_view document, std::string& why) {
    std::vector<Element> top;
    if (!Children(document, top) || top.size() != 1 || top[0].tag != "tarvolen") {
        why = "not a configuration document";
        return std::nullopt;
    }
    std::vector<Element> parts;
    if (!Children(top[0].content, parts)) {
        why = "an element is not closed";
        return std::nullopt;
    }
    deck::Params params;
    for (const Element& part : parts) {
        if (part.tag == "project") continue;  // the controller's own naming
        std::vector<std::pair<std::string, std::string>> leaves;
        if (!Leaves(part.content, leaves)) {
            why = "an element is not closed";
            return std::nullopt;
        }
        std::string index;
        for (const auto& [tag, value] : leaves)
            if (tag == "index") index = value;
        const bool first = index == "0";
        for (const auto& [tag, value] : leaves) {
            if (tag == "index") continue;
            const char* carried = nullptr;
            if (first && part.tag == "input" && tag == "video_input") carried = "video input";
            if (first && part.tag == "input" && tag == "audio_input") carried = "audio input";
            if (first && part.tag == "encoder" && tag == "codec") carried = "file format";
            if (carried) {
                if (!value.empty()) params.push_back({carried, value});
                continue;
            }
            // A deck records whenever told: its encoder cannot be turned off.
            const bool offered =
                tag == "status" ? value.empty() || value == "enabled" : Blank(value);
            if (!offered) {
                why = "a deck has no " + part.tag + " " + (index.empty() ? "?" : index) + " " +
                      tag + " (" + value + ")";
                return std::nullopt;
            }
        }
    }
    return params;
}

std::string RecordFileList(const deck::Params& diskList, std::string_view clip) {
    if (clip.empty()) return "";
    const std::string* slot = deck::Find(diskList, "slot id");
    for (const auto& [key, line] : diskList) {
        if (key == "slot id") continue;
        // "{name} {file format} {video format} {duration}": the name may hold spaces.
        std::size_t end = line.size();
        for (int word = 0; word < 3 && end != std::string::npos; ++word)
            end = end == 0 ? std::string::npos : line.rfind(' ', end - 1);
        if (end == std::string::npos || end == 0) continue;
        const std::string_view name = std::string_view(line).substr(0, end);
        const bool same =
            name == clip ||
            (name.size() > clip.size() + 1 && name.substr(0, clip.size()) == clip &&
             name[clip.size()] == '.' && name.find('.', clip.size() + 1) == std::string::npos);
        if (!same) continue;
        const std::string file = (slot ? "slot " + *slot + "/" : std::string()) + std::string(name);
        return "<RecFileList><Clip>" + XmlEscape(clip) + "</Clip>\r\n<EncoderA><Primary><File>" +
               XmlEscape(file) +
               "</File></Primary>\r\n<Secondary></Secondary></EncoderA>\r\n"
               "<EncoderB><Primary></Primary></EncoderB>\r\n</RecFileList>";
    }
    return "";
}

}  // namespace tarvolen::decklink
