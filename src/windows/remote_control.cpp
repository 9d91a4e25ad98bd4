#include "windows/remote_control.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "config/xml_text.h"
#include "device/amp_control.h"
#include "device/device_clock.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "platform/deck/protocol.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/ini.h"
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

using remote::Action;

constexpr const char* kMain = "MAIN";
constexpr const char* kCaption = "tarvolen controller";
// Recording time is told from the free space at this rate, which a panel
// only shows; the recorders' real rate depends on their encoders.
constexpr int64_t kNominalMegabitsPerSecond = 50;

struct Surface {
    std::unique_ptr<remote::RemoteServer> server;
    bool channelDecks = false;
    std::string where;     // "127.0.0.1:9993"
    std::string problem;   // why it does not run
    std::string status;    // as last shown
    bool running = false;  // an Action is being carried out
};

Surface& S() {
    static Surface surface;
    return surface;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == ';' || c == '\t') {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

bool ReadPort(std::string_view text, uint16_t& port) {
    if (text.empty()) return true;
    int32_t v = LeadingNumber(text);
    if (v < 1 || v > 65535) return false;
    port = uint16_t(v);
    return true;
}

// The window's caption and its remote line say whether the surface is on
// and who is connected.
void SetCaption() {
    Surface& s = S();
    std::string status;
    if (s.server) {
        auto clients = s.server->Clients();
        status = "remote control on " + s.where + ": ";
        if (clients.empty()) status += "no clients";
        for (size_t i = 0; i < clients.size() && i < 4; ++i) status += (i ? ", " : "") + clients[i];
        if (clients.size() > 4) status += ", +" + std::to_string(clients.size() - 4) + " more";
    } else if (!s.problem.empty()) {
        status = "remote control off: " + s.problem;
    }
    if (status == s.status) return;
    s.status = status;
    if (!EZ_FORMEXISTS(kMain)) return;
    EZ_SETCAPTION(kMain, status.empty() ? std::string(kCaption)
                                        : std::string(kCaption) + "   [" + status + "]");
    EZ_SETTEXT(kMain, kRemoteLabelId, status);
}

// Members of a deck: the group stands for the checked channels the window
// can drive; a channel's deck for its channel.
bool Drivable(int32_t ch) {
    return g_Settings->Checked(ch) && g_Ampcontrol->ChannelConnected(ch) &&
           g_Ampcontrol->Usable(ch);
}

std::vector<int32_t> GroupMembers() {
    std::vector<int32_t> members;
    for (int32_t ch = 0; ch <= g_Settings->ChannelBound(); ++ch)
        if (Drivable(ch)) members.push_back(ch);
    return members;
}

void Press(int32_t id) {
    int32_t cancel = 0;
    ApplicationEvent(kMain, id, EZ_EV_CLICK, 0, cancel);
}

bool AnyRecording(const std::vector<int32_t>& channels) {
    for (int32_t ch : channels)
        if (g_Settings->State(ch) == "Record") return true;
    return false;
}

int RunGroup(Action action) {
    const std::vector<int32_t> members = GroupMembers();
    if (members.empty()) return deck::kInvalidState;
    // Wind and play are the strip's buttons that Step mode hides or turns
    // into single frames; a step needs Step mode.
    const bool step = g_StepMode.load() != 0;
    switch (action) {
        case Action::kRecord:
            Press(140);
            for (int32_t ch : members)
                if (g_Settings->State(ch) != "Record") return deck::kInternalError;
            return deck::kOk;
        case Action::kStop:
            Press(125);
            return AnyRecording(members) ? deck::kInternalError : deck::kOk;
        case Action::kPlay:
        case Action::kPlayReverse:
        case Action::kFastForward:
        case Action::kRewind:
            if (step) return deck::kInvalidState;
            Press(action == Action::kPlay          ? 130
                  : action == Action::kPlayReverse ? 120
                  : action == Action::kFastForward ? 135
                                                   : 115);
            return deck::kOk;
        case Action::kStepForward:
        case Action::kStepBack:
            if (!step) return deck::kInvalidState;
            Press(action == Action::kStepForward ? 135 : 115);
            return deck::kOk;
    }
    return deck::kUnsupported;
}

// As the row's Record/Stop cell does it.
int RunChannel(int32_t ch, Action action) {
    if (ch < 0 || ch > g_Settings->ChannelBound() || !Drivable(ch)) return deck::kInvalidState;
    cAmpcontrol* amp = g_Ampcontrol;
    DeviceClock& clock = DeviceClock::Real();
    const bool recording = g_Settings->State(ch) == "Record";
    if (action == Action::kRecord) {
        if (recording) return deck::kOk;
        amp->PauseStatusThread();
        amp->EjectChannel(ch);
        clock.Sleep(300);
        amp->RecordChannel(ch);
        clock.Sleep(30);
        if (g_SyncThread) g_SyncThread->SetSuspendSync(0);
        EZ_REDRAWCONTROL(kMain, 100);
        return g_Settings->State(ch) == "Record" ? deck::kOk : deck::kInternalError;
    }
    if (action != Action::kStop) return deck::kUnsupported;
    amp->PauseStatusThread();
    amp->StopChannel(ch);
    if (recording && g_Status) g_Status->WaitUntilStopped(ch);
    if (g_SyncThread) g_SyncThread->SetSuspendSync(0);
    EZ_REDRAWCONTROL(kMain, 100);
    return g_Settings->State(ch) == "Record" ? deck::kInternalError : deck::kOk;
}

const char* ActionName(Action a) {
    switch (a) {
        case Action::kRecord:
            return "record";
        case Action::kStop:
            return "stop";
        case Action::kPlay:
            return "play";
        case Action::kPlayReverse:
            return "play reverse";
        case Action::kFastForward:
            return "fast forward";
        case Action::kRewind:
            return "rewind";
        case Action::kStepForward:
            return "step forward";
        case Action::kStepBack:
            return "step back";
    }
    return "?";
}

// Our state words as the protocol's transport status and speed.
void StatusOf(const std::string& state, remote::DeckState& out) {
    out.speed = 0;
    if (state == "Record")
        out.status = "record";
    else if (state == "Play")
        out.status = "play", out.speed = 100;
    else if (state == "Reverse")
        out.status = "play", out.speed = -100;
    else if (state == "FastFwd")
        out.status = "forward";
    else if (state == "Rewind")
        out.status = "rewind";
    else
        out.status = "stopped";
}

std::string DeckTimecode(const std::string& tc) {
    if (tc.size() != 11 || !deck::ParseTimecode(tc.substr(0, 8) + ":" + tc.substr(9)))
        return "00:00:00:00";
    return tc.substr(0, 8) + ":" + tc.substr(9);
}

std::string VideoFormat() {
    switch (g_Settings->FrameRateCode()) {
        case 25:
            return "1080i50";
        case 24:
            return "1080p24";
        case 30:
            return "1080i60";
        default:
            return "1080i5994";
    }
}

// Seconds left on the fullest recorder's first volume, or -1 when unknown.
int64_t RecordingSeconds(int32_t ch) {
    std::string free = XmlTagValue("<FreeMB>", g_Settings->Volumes(ch));
    if (free.empty()) return -1;
    return int64_t(LeadingNumber(free)) * 8 / kNominalMegabitsPerSecond;
}

remote::DeckState StateOf(const std::vector<int32_t>& members) {
    remote::DeckState st;
    st.videoFormat = VideoFormat();
    if (members.empty()) return st;
    st.slotMounted = true;
    // The group records while any of its channels does: a tally that goes
    // dark while one channel still records would mislead.
    if (AnyRecording(members)) {
        st.status = "record";
    } else {
        StatusOf(g_Settings->State(members.front()), st);
        for (int32_t ch : members) {
            remote::DeckState other;
            StatusOf(g_Settings->State(ch), other);
            if (other.status != st.status || other.speed != st.speed) {
                st.status = "stopped";
                st.speed = 0;
                break;
            }
        }
    }
    st.timecode = DeckTimecode(g_Settings->Timecode(members.front()));
    st.loop = true;
    int64_t least = -1;
    for (int32_t ch : members) {
        st.loop = st.loop && g_Ampcontrol->LoopFlag(ch) != 0;
        int64_t s = RecordingSeconds(ch);
        if (s >= 0 && (least < 0 || s < least)) least = s;
    }
    st.recordingSeconds = least < 0 ? 0 : least;
    return st;
}

void PublishStates() {
    Surface& s = S();
    if (!s.server || !g_Settings || !g_Ampcontrol) return;
    s.server->Publish(0, StateOf(GroupMembers()));
    if (!s.channelDecks) return;
    for (int32_t ch = 0; ch <= g_Settings->ChannelBound(); ++ch) {
        std::vector<int32_t> one;
        if (g_Ampcontrol->ChannelConnected(ch) && g_Ampcontrol->Usable(ch)) one.push_back(ch);
        s.server->Publish(ch + 1, StateOf(one));
    }
}

}  // namespace

void DesignRemoteLabel() {
    EZ_USEIFONT("Segoe UI", 9, "V");
    EZ_COLOR(11, 0);
    EZ_LABEL(kRemoteLabelId, "", 83.5, 34.875, 51, 1.125, "");
}

RemoteSettings ReadRemoteSettings(const IniFile& file, std::string_view commandLine) {
    RemoteSettings r;
    auto value = [&](const char* key, const char* fallback) {
        return ReadProfileString(file, "Remote", key, fallback);
    };
    r.on = LeadingNumber(value("Enabled", "0")) != 0;
    std::string address = value("Address", "127.0.0.1");
    if (!address.empty()) r.options.address = address;
    if (!ReadPort(value("Port", ""), r.options.port)) r.problem = "Port is not 1 to 65535";
    r.options.channelBase = r.options.port;
    if (!ReadPort(value("ChannelBasePort", ""), r.options.channelBase))
        r.problem = "ChannelBasePort is not 1 to 65535";
    r.options.channelDecks = LeadingNumber(value("ChannelPorts", "0")) != 0;
    r.options.allowed = SplitList(value("Allow", ""));
    int32_t clients = LeadingNumber(value("Clients", "64"));
    if (clients >= 1 && clients <= 1024) r.options.maxClients = size_t(clients);

    std::string line = ToLower(commandLine);
    size_t at = line.find("remote=");
    if (at != std::string::npos) {
        int32_t v = LeadingNumber(std::string_view(line).substr(at + 7));
        if (v == 0) {
            r.on = false;
        } else if (v == 1) {
            r.on = true;
        } else if (v > 1 && v <= 65535) {
            r.on = true;
            if (r.options.channelBase == r.options.port) r.options.channelBase = uint16_t(v);
            r.options.port = uint16_t(v);
        } else {
            r.problem = "remote=" + std::to_string(v) + " is not 0, 1 or a port";
        }
    }
    return r;
}

void StopRemoteControl() {
    Surface& s = S();
    if (s.server) s.server->Stop();
    s.server.reset();
    s.problem.clear();
    s.status.clear();
}

void StartRemoteControl(std::string_view commandLine) {
    StopRemoteControl();
    Surface& s = S();
    const std::string path = g_Settings ? g_Settings->SettingsPath()
                                        : cSettings::SettingsPathFor(cSettings::ProgramPath());
    RemoteSettings settings = ReadRemoteSettings(IniFile::Load(path), commandLine);
    if (!settings.problem.empty()) DebugTrace("remote control: " + settings.problem);
    if (!settings.on) {
        SetCaption();
        return;
    }
    if (g_Settings) settings.options.channels = g_Settings->ChannelBound() + 1;
    settings.options.trace = [](const std::string& text) { DebugTrace(text); };
    auto server = std::make_unique<remote::RemoteServer>(
        settings.options, [] { EZ_SENDTHREADEVENT(kMain, kRemoteEventId, 0); });
    std::string error;
    if (!server->Start(error)) {
        DebugTrace(error);
        s.problem = error.substr(error.find(':') + 2);
        SetCaption();
        return;
    }
    s.where = settings.options.address + ":" + std::to_string(server->Port());
    s.channelDecks = settings.options.channelDecks;
    s.server = std::move(server);
    DebugTrace("remote control on " + s.where);
    SetCaption();
    PublishStates();
}

uint16_t RemoteControlPort() {
    return S().server ? S().server->Port() : 0;
}

void RemoteControlEvent() {
    Surface& s = S();
    // A command already being carried out pumps events; what arrives
    // meanwhile waits for it, so remote commands never overlap.
    if (!s.server || s.running) return;
    s.running = true;
    for (;;) {
        auto actions = s.server->TakeActions();
        SetCaption();
        if (actions.empty()) break;
        for (const auto& a : actions) {
            DebugTrace("remote " + a.client + (a.deck ? " channel " + std::to_string(a.deck) : "") +
                       ": " + a.line + " -> " + ActionName(a.action));
            int code = deck::kInvalidState;
            if (g_Settings && g_Ampcontrol && g_Ampcontrol->IsConnected())
                code = a.deck == 0 ? RunGroup(a.action) : RunChannel(a.deck - 1, a.action);
            if (!s.server) break;  // stopped by what ran
            s.server->Answer(a.session, code);
            PublishStates();
        }
        if (!s.server) break;
    }
    s.running = false;
}

void RemoteStatusChanged() {
    PublishStates();
}

}  // namespace tarvolen
