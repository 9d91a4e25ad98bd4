// The configuration document the controller sends to a recorder: current
// values of the first four inputs and encoders, their audio routing and the
// project block, lines ending in CR LF.
#include <string>

#include "config/config_text.h"
#include "config/xml_text.h"
#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int32_t kSlotsSent = 4;

// Values are escaped so that the document is well-formed whatever the
// operator typed; the recorder then stores exactly the text typed.
void PutElement(std::string& out, std::string_view element, std::string_view value) {
    out += '<';
    out += element;
    out += '>';
    out += XmlEscape(value);
    out += "</";
    out += element;
    out += '>';
}

void PutClean(std::string& out, std::string_view element, std::string_view value) {
    PutElement(out, element, CleanText(value));
}

std::string EnabledWord(int32_t status) {
    return status == 1 ? "enabled" : "disabled";
}

}  // namespace

std::string cSettings::BuildConfigXml(int32_t channel) const {
    const ChannelConfig* config = Config(channel);
    if (!config) return {};
    std::string d = "<tarvolen>";

    for (int32_t i = 0; i < kSlotsSent; ++i) {
        const InputSlot& in = config->inputs[static_cast<size_t>(i)];
        if (CleanText(in.video_input).empty()) continue;
        d += kCrLf;
        d += "<input>";
        PutElement(d, "index", std::to_string(i));
        PutClean(d, "video_input", in.video_input);
        PutClean(d, "resolution", in.resolution);
        PutElement(d, "frame_rate", FrameRateText(in.frame_rate));
        PutClean(d, "pixel_fmt", in.pixel_format);
        PutClean(d, "audio_input", in.audio_input);
        d += "</input>";
        d += kCrLf;
    }

    for (int32_t e = 0; e < kSlotsSent; ++e) {
        const EncoderSlot& enc = config->encoders[static_cast<size_t>(e)];
        if (CleanText(enc.codec).empty()) continue;
        d += kCrLf;
        d += "<encoder>";
        d += kCrLf;
        PutElement(d, "index", std::to_string(e));
        d += "<input_index></input_index>";
        PutElement(d, "status", EnabledWord(enc.status));
        const std::string name = CleanText(enc.encoder_name);
        PutElement(d, "name", name.empty() ? std::string(" ") : name);
        PutClean(d, "codec", enc.codec);
        d += "<tape_id></tape_id>";
        PutClean(d, "quality", enc.quality);
        PutClean(d, "wrapper", enc.wrapper);
        const std::string routing = BuildRoutingXml(channel, e);
        d += routing.empty() ? std::string("<audio></audio>") : routing;
        PutClean(d, "write_mode", enc.write_mode);
        PutClean(d, "primary_disk", enc.primary_disk);
        PutClean(d, "secondary_disk", enc.secondary_disk);
        PutClean(d, "generate_xml_mode", enc.generate_xml_mode);
        PutElement(d, "segment_duration", std::to_string(enc.segment_duration));
        PutClean(d, "segment_mode", enc.segment_mode);
        PutClean(d, "primary_project_path", enc.primary_path);
        PutClean(d, "secondary_project_path", enc.secondary_path);
        PutClean(d, "override_primary_project_path", enc.override_primary_path);
        PutClean(d, "override_secondary_project_path", enc.override_secondary_path);
        PutClean(d, "burn_tc", enc.burn_timecode);
        PutClean(d, "burn_systime", enc.burn_system_time);
        PutClean(d, "burn_gps", enc.burn_gps);
        PutClean(d, "burn_filename", enc.burn_file_name);
        d += kCrLf;
        d += "</encoder>";
        d += kCrLf;
    }

    d += kCrLf;
    d += "<project>";
    d += kCrLf;
    const std::pair<const char*, std::string> project[] = {
        {"project_name", Project(channel)},
        {"master_path_template", config->master_path_template},
        {"master_sec_path_template", config->master_sec_path_template},
        {"proxy_path_template", config->proxy_path_template},
        {"proxy_sec_path_template", config->proxy_sec_path_template},
        {"master_name_template", BaseName(channel)},
        {"proxy_name_template", ProxyName(channel)},
        {"tape_id_template", TapeId(channel)},
        {"scene", SceneName(channel)},
    };
    for (const auto& [element, value] : project) {
        PutElement(d, element, value);
        d += kCrLf;
    }
    d += "</project>";
    d += kCrLf;
    d += "</tarvolen>";
    return d;
}

}  // namespace tarvolen
