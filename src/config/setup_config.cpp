// The operations the Setup window drives: fetch and show a recorder's
// configuration, send every edit at once, copy it to the other checked
// channels and watch the shown recorder for changes made elsewhere.
#include <chrono>
#include <string>
#include <thread>

#include "config/pages.h"
#include "config/routing.h"
#include "config/xml_text.h"
#include "device/amp_control.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen {
namespace {

const std::string kForm = "setup";

void ResumePolling() {
    if (g_SyncThread) g_SyncThread->SetSuspendSync(0);
}

// A short wait that keeps the windows live.
void WaitPumping(std::chrono::milliseconds total) {
    const auto end = std::chrono::steady_clock::now() + total;
    while (std::chrono::steady_clock::now() < end) {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A document the device library's text record cannot carry whole would
// reach the recorder cut and malformed: refused, and the operator told why.
bool Sendable(const std::string& document, int32_t ch) {
    const size_t most = MaxConfigurationSize(ch);
    if (document.size() <= most) return true;
    EZ_MSGBOXEX(kForm,
                "|The configuration is too long to send: " + std::to_string(document.size()) +
                    " characters, the recorder takes at most " + std::to_string(most) +
                    ".|Nothing was sent; shorten the longest texts.",
                "tarvolen", "&Ok", "C1E+", 7, 8);
    return false;
}

}  // namespace

void cSettings::CommitEdit() {
    EZ_SENDMESSAGE(kForm, kSetupPropertyList, EZ_WM_VSCROLL, EZ_SB_ENDSCROLL, 0);
    EZ_SETFOCUS(kForm, kSetupPropertyList);
    EZ_DOEVENTS(10);
}

void cSettings::SetSegmentDuration(const std::string& timecode) {
    ChannelConfig* config = Config(SelectedSetupChannel());
    if (!config) return;
    int32_t frames;
    if (g_TcMath) {
        frames = g_TcMath->TcToFrames(timecode);
    } else {
        cTcMath local(FrameRateOfSettings(*this));
        frames = local.TcToFrames(timecode);
    }
    config->encoders[0].segment_duration = frames;
}

void cSettings::RefreshPage(int32_t channel) {
    if (fill_flag_) return;
    if (channel == -1) channel = SelectedSetupChannel();
    if (!Config(channel) || !g_Ampcontrol) return;

    if (StartsWith(State(channel), "Off")) {
        // The recorder was never connected: tell the link where it is first.
        if (g_Ampcontrol->SetChannelAddress(channel, Address(channel), InternalChannel(channel)) ==
            5) {
            g_Ampcontrol->PauseStatusThread();
            g_Ampcontrol->Connect(0);
            if (g_Status) g_Status->FillList();
            ResumePolling();
        }
    }

    // A deck's configuration fills the Inputs and Encoders pages; it has
    // nothing for the others: say so rather than show an empty page.
    const int32_t tab = EZ_GETTABSEL(kForm, kSetupTabs);
    if (Protocol(channel) == kProtocolDeck && tab != kInputsPage && tab != kEncodersPage) {
        EZ_CLEAR(kForm, kSetupPropertyList);
        EZ_SETTEXT(kForm, kSetupPageNotice,
                   "Channel " + std::to_string(channel + 1) +
                       " is a HyperDeck deck:|its recorder does not offer these settings.");
        EZ_HIDEC(kForm, kSetupPropertyList, kSetupPropertyList);
        EZ_SHOWC(kForm, kSetupPageNotice, kSetupPageNotice);
        return;
    }
    EZ_HIDEC(kForm, kSetupPageNotice, kSetupPageNotice);
    EZ_SHOWC(kForm, kSetupPropertyList, kSetupPropertyList);

    const std::string document = g_Ampcontrol->ConfigurationDocument(channel);
    if (document.find("<tarvolen>") == std::string::npos ||
        document.find("</tarvolen>") == std::string::npos) {
        EZ_CLEAR(kForm, kSetupPropertyList);
        return;
    }
    // What the page now shows needs no second rebuild from the change watch.
    if (channel == last_polled_channel_) last_configuration_ = document;
    ParseCapabilities(channel, document);
    BuildSetupPage(*this, tab, channel);
}

void cSettings::ApplyPage(const std::string& item_name, int32_t item_index) {
    const int32_t channel = SelectedSetupChannel();
    if (!Config(channel)) return;
    // Which item changed does not matter: the whole page is read and sent.
    (void)item_name;
    (void)item_index;
    CommitEdit();
    const int32_t page = EZ_GETTABSEL(kForm, kSetupTabs);
    EZ_DOEVENTS(255);
    if (!ReadSetupPage(*this, page, channel)) return;
    const std::string document = BuildConfigXml(channel);
    // The page keeps what was typed, to be shortened.
    if (!Sendable(document, channel)) return;
    if (g_Ampcontrol) g_Ampcontrol->SendConfiguration(channel, document);
    WaitPumping(std::chrono::milliseconds(100));
    RefreshPage(channel);
}

void cSettings::ApplyToChecked(int32_t ask) {
    std::string document = BuildConfigXml();
    // Every channel keeps its own tape id.
    const std::string tape = "<tape_id>" + XmlTagText("<tape_id>", document) + "</tape_id>";
    for (size_t p; (p = document.find(tape)) != std::string::npos;) document.erase(p, tape.size());

    const int32_t source = SelectedSetupChannel();
    if (source < 0) return;
    EZ_COLOR(0, 31);
    if (ask == 0) return;
    // Checked against the longest channel prefix, so it fits every channel.
    if (!Sendable(document, ChannelBound())) return;
    if (EZ_MSGBOXEX("Setup", "|Apply to All Checked Channels?", "tarvolen", "&Yes|&No", "C1E+", 7,
                    8) != 1) {
        return;
    }
    EZ_WAITCURSOR(1);
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) {
        if (ch == source) continue;
        if (EZ_LVGETITEMSTATEIMG(kForm, kSetupChannelGrid, ch) != 2) continue;
        // A deck's three settings are no configuration for our recorders, nor
        // theirs for a deck.
        if (Protocol(ch) != Protocol(source)) continue;
        const std::string state = State(ch);
        if (state.empty() || StartsWith(state, "Off") || StartsWith(state, "Record")) continue;
        if (g_Ampcontrol) g_Ampcontrol->SendConfiguration(ch, document);
    }
    EZ_WAITCURSOR(0);
}

void cSettings::PollConfiguration(int32_t prime) {
    const int32_t channel = SelectedSetupChannel();
    if (!g_Ampcontrol || !Config(channel) || StartsWith(State(channel), "Off")) return;
    if (channel != last_polled_channel_ || prime != 0) last_configuration_.clear();
    last_polled_channel_ = channel;

    g_Ampcontrol->PauseStatusThread();
    const std::string document = g_Ampcontrol->ConfigurationDocument(channel);
    ResumePolling();

    if (document.empty() || document == last_configuration_) return;
    last_configuration_ = document;
    if (prime == 0) RefreshPage(channel);
}

std::string cSettings::BuildConfigXml() {
    const int32_t channel = SelectedSetupChannel();
    return channel < 0 ? std::string() : BuildConfigXml(channel);
}

void cSettings::AddTrack() {
    const int32_t channel = SelectedSetupChannel();
    const int32_t page = AudioPageIndex();
    ChannelConfig* config = Config(channel);
    if (!config || (page != 0 && page != 1)) return;
    if (!AddTrackTo(config->routing[static_cast<size_t>(page)])) return;
    BuildSetupPage(*this, kMasterAudioPage + page, channel);
    ApplyPage("", 0);
}

void cSettings::RemoveTrack() {
    const int32_t channel = SelectedSetupChannel();
    const int32_t page = AudioPageIndex();
    ChannelConfig* config = Config(channel);
    if (!config || (page != 0 && page != 1)) return;
    if (!RemoveLastTrack(config->routing[static_cast<size_t>(page)])) return;
    BuildSetupPage(*this, kMasterAudioPage + page, channel);
    ApplyPage("", 0);
}

void cSettings::SetTrackCount(int32_t count) {
    const int32_t channel = SelectedSetupChannel();
    const int32_t page = AudioPageIndex();
    ChannelConfig* config = Config(channel);
    if (!config || (page != 0 && page != 1)) return;
    SetTrackCountOf(config->routing[static_cast<size_t>(page)], count);
    BuildSetupPage(*this, kMasterAudioPage + page, channel);
    ApplyPage("", 0);
}

}  // namespace tarvolen
