// The five Setup pages over the property list: each built item by item in
// display order, each read back with one position counter carried forward,
// so that equal labels of different sections are told apart by their order.
#include "config/pages.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_text.h"
#include "config/routing.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen {
namespace {

const std::string kForm = "setup";

std::string Labels(const cSettings& s, int32_t slot, int32_t kind) {
    const std::string& cell = s.Choices()[static_cast<size_t>(slot)][static_cast<size_t>(kind)];
    const size_t bar = cell.find('|');
    return bar == std::string::npos ? std::string() : cell.substr(bar + 1);
}

std::string Values(const cSettings& s, int32_t slot, int32_t kind) {
    const std::string& cell = s.Choices()[static_cast<size_t>(slot)][static_cast<size_t>(kind)];
    return cell.substr(0, cell.find('|'));
}

std::string Header(const std::string& label) {
    return EZ_DEFPLINFO(label, "", "", "", 0);
}

std::string DropDown(const std::string& label, const std::string& value,
                     const std::string& choices) {
    return EZ_DEFPLINFO(label, value, choices, "D", 0);
}

// A drop-down of one of the recorder's lists: the device value shown as its
// label, the labels as the choices.
std::string ChoiceDropDown(const cSettings& s, const std::string& label, const std::string& value,
                           int32_t slot, int32_t kind) {
    return DropDown(label, s.TranslateChoice(value, slot, kind), Labels(s, slot, kind));
}

std::string Text(const std::string& label, const std::string& value) {
    return EZ_DEFPLINFO(label, value, "", "T", 0);
}

// The segment duration as timecode, at the program's frame rate.
std::string DurationText(cSettings& s, int32_t frames) {
    if (g_TcMath) return g_TcMath->FramesToTc(frames);
    cTcMath local(FrameRateOfSettings(s));
    return local.FramesToTc(frames);
}

std::string BurnIn(const EncoderSlot& e) {
    if (CleanText(e.burn_timecode) == "enabled") return "Timecode";
    if (CleanText(e.burn_system_time) == "enabled") return "System Time";
    if (CleanText(e.burn_gps) == "enabled") return "Gps";
    if (CleanText(e.burn_file_name) == "enabled") return "File Name";
    return "disabled";
}

// The entry of rates that is the rate's number, whatever its form ("2997",
// "29.97"); a rate the list lacks is shown as it is, so that an apply sends
// it back unchanged.
std::string ShownRate(float rate, std::string_view rates) {
    for (size_t start = 0; start < rates.size();) {
        const size_t semi = std::min(rates.find(';', start), rates.size());
        const std::string_view entry = rates.substr(start, semi - start);
        if (!entry.empty() && FrameRateOf(entry) == rate) return std::string(entry);
        start = semi + 1;
    }
    return FrameRateText(rate);
}

// A deck offers its video and audio input and its file format, nothing else.
bool IsDeck(const cSettings& s, int32_t channel) {
    return s.Protocol(channel) == kProtocolDeck;
}

std::vector<std::string> DeckInputsItems(cSettings& s, const ChannelConfig& c) {
    const InputSlot& in = c.inputs[0];
    if (CleanText(in.video_input).empty() && CleanText(in.audio_input).empty()) return {};
    return {Header("Input 1"), ChoiceDropDown(s, "Video Input", in.video_input, 0, 0),
            ChoiceDropDown(s, "Audio Input", in.audio_input, 0, 4)};
}

std::vector<std::string> DeckEncodersItems(cSettings& s, int32_t channel, const ChannelConfig& c) {
    if (CleanText(c.encoders[0].codec).empty()) return {};
    return {Header(EncoderHeader(s, channel, 0)),
            ChoiceDropDown(s, "File Format", c.encoders[0].codec, 0, 5)};
}

std::vector<std::string> InputsItems(cSettings& s, int32_t channel) {
    std::vector<std::string> items;
    const ChannelConfig& c = *s.Config(channel);
    if (IsDeck(s, channel)) return DeckInputsItems(s, c);
    for (int32_t i = 0; i < 4; ++i) {
        const InputSlot& in = c.inputs[static_cast<size_t>(i)];
        if (in.frame_rate == 0) continue;
        items.push_back(Header("Input " + std::to_string(i + 1)));
        items.push_back(ChoiceDropDown(s, "Resolution", in.resolution, i, 1));
        const std::string rates = Values(s, i, 2);
        items.push_back(DropDown("Fps", ShownRate(in.frame_rate, rates), rates));
        items.push_back(ChoiceDropDown(s, "Format", in.pixel_format, i, 3));
        items.push_back(ChoiceDropDown(s, "Video Input", in.video_input, i, 0));
        items.push_back(ChoiceDropDown(s, "Audio Input", in.audio_input, i, 4));
    }
    return items;
}

std::vector<std::string> EncodersItems(cSettings& s, int32_t channel) {
    std::vector<std::string> items;
    const ChannelConfig& c = *s.Config(channel);
    if (IsDeck(s, channel)) return DeckEncodersItems(s, channel, c);
    for (int32_t e = 0; e < 4; ++e) {
        const EncoderSlot& enc = c.encoders[static_cast<size_t>(e)];
        if (CleanText(enc.codec).empty()) continue;
        items.push_back(Header(EncoderHeader(s, channel, e)));
        items.push_back(
            DropDown("Status", enc.status == 1 ? "enabled" : "disabled", "disabled;enabled"));
        items.push_back(ChoiceDropDown(s, "Codec", enc.codec, e, 5));
        items.push_back(ChoiceDropDown(s, "Quality", enc.quality, e, 6));
        items.push_back(ChoiceDropDown(s, "Wrapper", enc.wrapper, e, 7));
        items.push_back(ChoiceDropDown(s, "write", enc.write_mode, e, 9));
        items.push_back(ChoiceDropDown(s, "primary", enc.primary_disk, e, 10));
        items.push_back(ChoiceDropDown(s, "secondary", enc.secondary_disk, e, 11));
        items.push_back(DropDown("Override Primary path", CleanText(enc.override_primary_path),
                                 "disabled;enabled"));
        items.push_back(Text("Primary Path", CleanText(enc.primary_path)));
        items.push_back(DropDown("Override Secondary path", CleanText(enc.override_secondary_path),
                                 "disabled;enabled"));
        items.push_back(Text("Secondary Path", CleanText(enc.secondary_path)));
        if (e != 0) continue;
        items.push_back(Text("Encoder Name", CleanText(enc.encoder_name)));
        const std::string xml = CleanText(enc.generate_xml_mode);
        items.push_back(DropDown("Generate XML", xml.empty() ? "off" : xml, "on;off"));
        items.push_back(
            DropDown("Segment Mode", CleanText(enc.segment_mode), "no;increment;manual;tc_break"));
        items.push_back(
            EZ_DEFPLINFO("Segment Duration", DurationText(s, enc.segment_duration), "", "B", 0));
        items.push_back(
            DropDown("Burn In", BurnIn(enc), "disabled;Timecode;System Time;Gps;File Name"));
    }
    return items;
}

std::vector<std::string> ProjectsItems(cSettings& s, int32_t channel) {
    const ChannelConfig& c = *s.Config(channel);
    return {Header("Files"),
            Text("project", s.Project(channel)),
            Text("Master Path", c.master_path_template),
            Text("Redundant Master Path", c.master_sec_path_template),
            Text("Proxy Path", c.proxy_path_template),
            Text("Redundant Proxy Path", c.proxy_sec_path_template),
            Text("master name", s.BaseName(channel)),
            Text("proxy name", s.ProxyName(channel)),
            Text("tape/reel ID", s.TapeId(channel)),
            Text("scene name", s.SceneName(channel))};
}

std::vector<std::string> AudioItems(cSettings& s, int32_t channel, int32_t which) {
    std::vector<std::string> items;
    items.push_back(Header(which == 0 ? "Master Audio Routing" : "Proxy Audio Routing"));
    const Routing& routing = s.Config(channel)->routing[static_cast<size_t>(which)];
    for (int32_t k = 0; k < kRoutingEntries; ++k) {
        const RoutingEntry& entry = routing[static_cast<size_t>(k)];
        if (CleanText(entry.key).empty()) break;
        items.push_back(DropDown(TrackItemLabel(k), TrackShownValue(entry), TrackChoices(entry)));
    }
    return items;
}

// Fits the property list into the tab control's page: shorter on the
// Projects page, with the naming help below it, and on the audio pages,
// above the preset buttons.
void LayOut(int32_t page) {
    double column = 0, row = 0, width = 0, height = 0;
    EZ_GETPOSC(kForm, kSetupTabs, column, row);
    EZ_GETSIZEC(kForm, kSetupTabs, width, height);
    const double top = row + 1.3125;
    const double bottom = row + height - 0.5;
    const double help = row + 16.5625;
    const double presets = row + 28.9375;
    double listBottom = bottom;
    if (page == kProjectsPage) listBottom = help - 0.25;
    if (page == kMasterAudioPage || page == kProxyAudioPage) listBottom = presets - 0.25;
    EZ_RESIZEC(kForm, kSetupPropertyList, column + 0.625, top, width - 1.0, listBottom - top);
    if (page == kProjectsPage) {
        EZ_RESIZEC(kForm, kSetupNamingHelp, column + 1.0, help, width - 1.625, bottom - help);
        EZ_SHOWC(kForm, kSetupNamingHelp, kSetupNamingHelp);
    } else {
        EZ_HIDEC(kForm, kSetupNamingHelp, kSetupNamingHelp);
    }
    if (page == kMasterAudioPage || page == kProxyAudioPage) {
        EZ_SHOWC(kForm, kSetupFirstPreset, kSetupLastPreset);
    } else {
        EZ_HIDEC(kForm, kSetupFirstPreset, kSetupLastPreset);
    }
}

std::string Choice(cSettings& s, const std::string& label, int32_t& position, int32_t slot,
                   int32_t kind) {
    return FixedWidth(s.TranslateChoice(ReadPropertyValue(label, position), slot, kind),
                      kConfigFieldWidth);
}

std::string Read(const std::string& label, int32_t& position, size_t width = kConfigFieldWidth) {
    return FixedWidth(ReadPropertyValue(label, position), width);
}

void ReadInputs(cSettings& s, ChannelConfig& c) {
    int32_t position = 0;
    for (int32_t i = 0; i < 4; ++i) {
        if (FindPropertyHeader("Input " + std::to_string(i + 1), position).empty()) continue;
        const std::string resolution = ReadPropertyValue("Resolution", position);
        if (resolution.empty()) continue;
        InputSlot& in = c.inputs[static_cast<size_t>(i)];
        in.resolution = FixedWidth(s.TranslateChoice(resolution, i, 1), kConfigFieldWidth);
        in.frame_rate = FrameRateOf(ReadPropertyValue("Fps", position));
        in.pixel_format = Choice(s, "Format", position, i, 3);
        in.video_input = Choice(s, "Video Input", position, i, 0);
        in.audio_input = Choice(s, "Audio Input", position, i, 4);
    }
}

void ReadEncoders(cSettings& s, int32_t channel, ChannelConfig& c) {
    int32_t position = 0;
    for (int32_t e = 0; e < 4; ++e) {
        if (FindPropertyHeader(EncoderHeader(s, channel, e), position).empty()) continue;
        const std::string status = ReadPropertyValue("Status", position);
        if (status.empty()) continue;
        EncoderSlot& enc = c.encoders[static_cast<size_t>(e)];
        enc.status = status == "enabled" ? 1 : 0;
        enc.codec = Choice(s, "Codec", position, e, 5);
        enc.quality = Choice(s, "Quality", position, e, 6);
        enc.wrapper = Choice(s, "Wrapper", position, e, 7);
        // The write mode is shown with its choices, so a change to it is sent
        // like any other.
        enc.write_mode = Choice(s, "write", position, e, 9);
        enc.primary_disk = Choice(s, "primary", position, e, 10);
        enc.secondary_disk = Choice(s, "secondary", position, e, 11);
        enc.override_primary_path = Read("Override Primary path", position);
        enc.primary_path = Read("Primary Path", position, kConfigPathWidth);
        enc.override_secondary_path = Read("Override Secondary path", position);
        enc.secondary_path = Read("Secondary Path", position, kConfigPathWidth);
        const std::string disabled = FixedWidth("disabled", kConfigFieldWidth);
        const std::string enabled = FixedWidth("enabled", kConfigFieldWidth);
        enc.burn_timecode = enc.burn_system_time = enc.burn_gps = enc.burn_file_name = disabled;
        const std::string burn = ReadPropertyValue("Burn In", position);
        if (burn == "Timecode") enc.burn_timecode = enabled;
        if (burn == "System Time") enc.burn_system_time = enabled;
        if (burn == "Gps") enc.burn_gps = enabled;
        if (burn == "File Name") enc.burn_file_name = enabled;
    }
    // Slot 0's own items, each looked up from the first item: "Encoder Name"
    // stands before the other two, and carrying one position through all
    // three would empty the name on every apply.
    EncoderSlot& first = c.encoders[0];
    int32_t from = 0;
    first.generate_xml_mode = Read("Generate XML", from);
    from = 0;
    first.segment_mode = Read("Segment Mode", from);
    from = 0;
    first.encoder_name = Read("Encoder Name", from);
    for (int32_t e = 1; e < 4; ++e) {
        EncoderSlot& enc = c.encoders[static_cast<size_t>(e)];
        enc.encoder_name = first.encoder_name;
        enc.generate_xml_mode = first.generate_xml_mode;
        enc.segment_mode = first.segment_mode;
        enc.segment_duration = first.segment_duration;
    }
}

void ReadProjects(cSettings& s, int32_t channel, ChannelConfig& c) {
    int32_t position = 0;
    s.SetProject(channel, ReadPropertyValue("project", position));
    c.master_path_template = ReadPropertyValue("Master Path", position);
    c.master_sec_path_template = ReadPropertyValue("Redundant Master Path", position);
    c.proxy_path_template = ReadPropertyValue("Proxy Path", position);
    c.proxy_sec_path_template = ReadPropertyValue("Redundant Proxy Path", position);
    s.SetBaseName(channel, ReadPropertyValue("master name", position));
    s.SetProxyName(channel, ReadPropertyValue("proxy name", position));
    s.SetTapeId(channel, ReadPropertyValue("tape/reel ID", position));
    s.SetSceneName(channel, ReadPropertyValue("scene name", position));
}

void ReadAudio(ChannelConfig& c, int32_t which) {
    Routing& routing = c.routing[static_cast<size_t>(which)];
    int32_t position = 0;
    for (int32_t k = 0; k < kRoutingEntries; ++k) {
        const std::string shown = ReadPropertyValue(TrackItemLabel(k), position);
        if (shown.empty()) break;
        ApplyTrackChoice(routing[static_cast<size_t>(k)], shown);
    }
}

}  // namespace

std::string EncoderHeader(const cSettings& settings, int32_t channel, int32_t e) {
    const ChannelConfig* c = settings.Config(channel);
    std::string name = c ? CleanText(c->encoders[static_cast<size_t>(e)].encoder_name) : "";
    if (name.empty()) name = "ch " + std::to_string(channel + 1);
    return name + (e % 2 == 0 ? " master" : " proxy");
}

std::string FindPropertyHeader(const std::string& text, int32_t start) {
    const int32_t last = EZ_FINDLAST(kForm, kSetupPropertyList);
    for (int32_t i = start < 0 ? 0 : start; i <= last; ++i) {
        if (EZ_GETITEMTEXT(kForm, kSetupPropertyList, i) == text) return text;
    }
    return {};
}

std::string ReadPropertyValue(const std::string& label, int32_t& position) {
    const int32_t last = EZ_FINDLAST(kForm, kSetupPropertyList);
    for (int32_t i = position < 0 ? 0 : position; i <= last; ++i) {
        std::string itemLabel, value, choices, kind;
        EZ_GETPLINFO(EZ_GETITEMTEXT(kForm, kSetupPropertyList, i), itemLabel, value, choices, kind);
        if (itemLabel == label) {
            position = i;
            return value;
        }
    }
    return {};
}

void BuildSetupPage(cSettings& settings, int32_t page, int32_t channel) {
    if (!settings.Config(channel) || page < kInputsPage || page > kProxyAudioPage) return;
    // The other pages of a deck stay behind the notice that it has none.
    if (IsDeck(settings, channel) && page != kInputsPage && page != kEncodersPage) return;
    std::vector<std::string> items;
    switch (page) {
        case kInputsPage:
            items = InputsItems(settings, channel);
            break;
        case kEncodersPage:
            items = EncodersItems(settings, channel);
            break;
        case kProjectsPage:
            items = ProjectsItems(settings, channel);
            break;
        default:
            items = AudioItems(settings, channel, page - kMasterAudioPage);
            break;
    }
    EZ_SETREDRAWSTATE(kForm, kSetupPropertyList, 0);
    LayOut(page);
    EZ_CLEAR(kForm, kSetupPropertyList);
    EZ_STARTCC(kForm, kSetupPropertyList);
    // One by one: a value may hold a "|", which would split a joined list.
    for (const std::string& item : items) EZ_ADDITEM(kForm, kSetupPropertyList, item);
    EZ_ENDCC(kForm, kSetupPropertyList);
    EZ_SETREDRAWSTATE(kForm, kSetupPropertyList, 1);
    EZ_DOEVENTS(255);
}

bool ReadSetupPage(cSettings& settings, int32_t page, int32_t channel) {
    ChannelConfig* c = settings.Config(channel);
    if (!c) return false;
    switch (page) {
        case kInputsPage:
            if (IsDeck(settings, channel)) {
                int32_t position = 0;
                c->inputs[0].video_input = Choice(settings, "Video Input", position, 0, 0);
                c->inputs[0].audio_input = Choice(settings, "Audio Input", position, 0, 4);
            } else {
                ReadInputs(settings, *c);
            }
            return true;
        case kEncodersPage:
            if (IsDeck(settings, channel)) {
                int32_t position = 0;
                c->encoders[0].codec = Choice(settings, "File Format", position, 0, 5);
            } else {
                ReadEncoders(settings, channel, *c);
            }
            return true;
        case kProjectsPage:
            ReadProjects(settings, channel, *c);
            return true;
        case kMasterAudioPage:
        case kProxyAudioPage:
            ReadAudio(*c, page - kMasterAudioPage);
            return true;
        default:
            return false;
    }
}

int32_t cSettings::SelectedSetupChannel() {
    return EZ_FINDNEXTSEL(kForm, kSetupChannelGrid, -1);
}

int32_t cSettings::AudioPageIndex() {
    return EZ_GETTABSEL(kForm, kSetupTabs) - 4;
}

int32_t cSettings::LastTrackIndex(int32_t slot) {
    const int32_t channel = SelectedSetupChannel();
    return channel < 0 ? -1 : LastTrackIndex(channel, slot);
}

void cSettings::BuildInputsPage() {
    BuildSetupPage(*this, kInputsPage, SelectedSetupChannel());
}
void cSettings::BuildEncodersPage() {
    BuildSetupPage(*this, kEncodersPage, SelectedSetupChannel());
}
void cSettings::BuildProjectsPage() {
    BuildSetupPage(*this, kProjectsPage, SelectedSetupChannel());
}
void cSettings::BuildMasterAudioPage() {
    BuildSetupPage(*this, kMasterAudioPage, SelectedSetupChannel());
}
void cSettings::BuildProxyAudioPage() {
    BuildSetupPage(*this, kProxyAudioPage, SelectedSetupChannel());
}

}  // namespace tarvolen
