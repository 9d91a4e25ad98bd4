#include "device/amp_control.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "busy/busy.h"
#include "device/clip_directory.h"
#include "device/device_clock.h"
#include "device/device_text.h"
#include "device/piamp.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "shell/globals.h"
#include "shell/shared_routines.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "timecode/tc_math.h"

namespace tarvolen {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int32_t kList = 100;
constexpr int32_t kStopWaitMs = 5000;

// A text record filled out with spaces; on the heap, it is 64 KiB.
std::unique_ptr<TextBlock> MakeTextBlock(std::string_view text) {
    auto block = std::make_unique<TextBlock>();
    block->size = sizeof(TextBlock);
    StoreField(block->text, kTextBlockWidth, text);
    return block;
}

std::unique_ptr<TextBlock> EmptyReply() {
    auto block = std::make_unique_for_overwrite<TextBlock>();
    block->size = sizeof(TextBlock);
    std::memset(block->text, 0, sizeof block->text);
    return block;
}

// Up to the reply's last byte that is not filler (NUL, blank or 0xFF, all of
// which the texts' cleaning drops at the end): the block comes back filled
// to its 64 KB, which would be copied and cleaned otherwise.
std::string ReplyText(const TextBlock& block) {
    return std::string(block.text, FilledEnd(std::string_view(block.text, sizeof block.text)));
}

std::string ChanPrefix(int32_t ch) {
    return "<Chan>" + std::to_string(ch) + "</Chan>" + kCrLf;
}

}  // namespace

std::string ClipNameDocument(std::string_view clip_name, int32_t ch) {
    std::string doc(kXmlDeclaration);
    doc += "<AmpClipType>";
    doc += kCrLf;
    doc += "\t<ClipName>";
    doc += clip_name;
    doc += "</ClipName>";
    doc += kCrLf;
    doc += "\t<Chan>" + std::to_string(ch) + "</Chan>";
    doc += kCrLf;
    doc += "</AmpClipType>";
    return doc;
}

std::string RecordFileRequest(std::string_view clip_name, int32_t ch) {
    std::string doc(kXmlDeclaration);
    doc += "<AmpClipType>";
    doc += kCrLf;
    doc += "<ClipName>";
    doc += clip_name;
    doc += "</ClipName><Chan>" + std::to_string(ch) + "</Chan></AmpClipType>";
    return doc;
}

cAmpcontrol::cAmpcontrol(cSettings& settings) : settings_(settings), clock_(&DeviceClock::Real()) {
    std::memset(static_cast<void*>(&table_), 0, sizeof table_);
}

cAmpcontrol::~cAmpcontrol() {
    // No waits and no toolkit events here: this may run while the process
    // and its windows are going away. The status thread stops with its own
    // object; the recorders are told once.
    if (!IsConnected()) return;
    if (sync_) sync_->SetKillThread(1);
    PIAMPCOMMAND(amp::kDisconnect, 0, nullptr);
}

void cAmpcontrol::SetClock(DeviceClock* clock) {
    clock_ = clock ? clock : &DeviceClock::Real();
}

bool cAmpcontrol::InBound(int32_t ch) const {
    return ch >= 0 && ch <= settings_.ChannelBound() && ch < kChannelCount;
}

bool cAmpcontrol::Usable(int32_t ch) const {
    return InBound(ch) && settings_.State(ch) != "Los";
}

bool cAmpcontrol::ChannelConnected(int32_t ch) const {
    return InBound(ch) && table_.shown[ch] != 0;
}

void cAmpcontrol::ProcessEvents() {
    EZ_DOEVENTS(255);
}

void cAmpcontrol::Sleep(int32_t ms) {
    clock_->Sleep(ms);
}

void cAmpcontrol::RedrawList() {
    EZ_REDRAWCONTROL("main", kList);
}

void cAmpcontrol::Resume() {
    if (sync_) sync_->SetSuspendSync(0);
}

bool cAmpcontrol::AnyRecording() const {
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (Usable(ch) && settings_.Checked(ch) && settings_.State(ch) == "Record") return true;
    }
    return false;
}

int32_t cAmpcontrol::IsConnected() {
    return connected_.load();
}

void cAmpcontrol::PauseStatusThread() {
    if (!IsConnected() || !sync_) return;
    // The request goes up before the busy flag is looked at, and again after
    // every wait: a command run by the events processed here may have
    // resumed polling in the meantime.
    for (;;) {
        sync_->SetSuspendSync(1);
        if (!sync_->SyncThreadBusy()) return;
        Sleep(2);
        ProcessEvents();
    }
}

std::string cAmpcontrol::ConnectedAddress(int32_t ch) {
    if (!ChannelConnected(ch)) return {};
    return ReadField(table_.address[ch], kAddressWidth);
}

int32_t cAmpcontrol::LoopFlag(int32_t ch) {
    return InBound(ch) ? loop_[size_t(ch)].load() : 0;
}

void cAmpcontrol::SetLoopFlag(int32_t ch, int32_t value) {
    if (InBound(ch)) loop_[size_t(ch)].store(value);
}

int32_t cAmpcontrol::PingPongFlag(int32_t ch) {
    return InBound(ch) ? ping_pong_[size_t(ch)].load() : 0;
}

void cAmpcontrol::SetPingPongFlag(int32_t ch, int32_t value) {
    if (InBound(ch)) ping_pong_[size_t(ch)].store(value);
}

void cAmpcontrol::Connect(int32_t ask) {
    if (ask) {
        EZ_COLOR(0, 31);
        int32_t answer =
            EZ_MSGBOXEX("Main", "|Connect to tarvolens?", "tarvolen", "&Yes|&No||", "C1E+", 7, 8);
        if (answer != 1) {
            ProcessEvents();
            return;
        }
    }
    ProcessEvents();
    EZ_ENABLEFORM("main", 0);
    Sleep(100);
    ProcessEvents();
    EZ_WAITCURSOR(1);

    PIAMPCOMMAND(amp::kDisconnect, 0, nullptr);
    Sleep(100);
    ProcessEvents();
    EZ_WAITCURSOR(1);

    if (clips_) clips_->DisconnectDirectory();
    connected_.store(0);
    table_.size = sizeof(ConnectTable);

    const int32_t bound = settings_.ChannelBound();
    for (int32_t ch = 0; ch <= bound; ++ch) TakeChannel(ch);

    PIAMPCOMMAND(amp::kConnect, RecordArg(&table_), &table_);
    // The form is disabled: this lets the window paint between the wait for
    // the greetings and the one for the volumes.
    ProcessEvents();

    // One batch, so that slow recorders cost one bounded wait, not one each.
    std::vector<ChannelRequest> requests;
    std::vector<std::unique_ptr<TextBlock>> replies;
    std::vector<int32_t> channels;
    for (int32_t ch = 0; ch <= bound; ++ch) {
        DebugTrace("Volumes of channel " + std::to_string(ch));
        if (!settings_.Shown(ch) || !ChannelConnected(ch)) continue;
        ChannelRequest request;
        request.channel = ch;
        requests.push_back(request);
        replies.push_back(EmptyReply());
        channels.push_back(ch);
    }
    std::vector<DeviceCall> calls;
    for (size_t i = 0; i < channels.size(); ++i)
        calls.push_back({amp::kVolumes, RecordArg(&requests[i]), replies[i].get(), 0});
    PIAMPCOMMANDS(calls);
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].result == 0)
            settings_.SetVolumes(channels[i], ReplyTagValue("<Volumes>", ReplyText(*replies[i])));
    }

    if (clips_) clips_->ConnectDirectory();
    DebugTrace(" Return from startup " + std::to_string(bound));

    connected_.store(1);
    if (!thread_launched_ && sync_) {
        sync_->Launch(0);
        thread_launched_ = 1;
    }
    EZ_WAITCURSOR(0);
    EZ_ENABLEFORM("main", 1);
    EZ_SETFOCUS("main", kList);
}

void cAmpcontrol::TakeChannel(int32_t ch) {
    const int32_t shown = settings_.Shown(ch);
    const std::string address = settings_.Address(ch);
    // A channel without a recorder reads "Off" and is never dialled.
    if (!shown || NoRecorderAddress(address)) {
        table_.shown[ch] = 0;
        return;
    }
    // A channel number the recorder cannot have keeps what the last connect sent.
    const int32_t internal = settings_.InternalChannel(ch);
    if (internal < 1 || internal > 4) return;
    StoreField(table_.address[ch], kAddressWidth, address);
    table_.internalChannel[ch] = internal;
    table_.shown[ch] = shown;
    DebugTrace("Connect channel " + std::to_string(ch) + " " + address + " " +
               std::to_string(internal));
}

void cAmpcontrol::ConnectChannel(int32_t ch) {
    if (!IsConnected() || !InBound(ch)) return;
    PauseStatusThread();
    TakeChannel(ch);
    PIAMPCOMMAND(amp::kConnect, RecordArg(&table_), &table_);
    if (clips_) clips_->ConnectDirectory();
    Resume();
}

void cAmpcontrol::Disconnect() {
    if (!IsConnected()) return;
    if (sync_) {
        sync_->SetKillThread(1);
        for (int i = 0; i < 11; ++i) {
            Sleep(100);
            ProcessEvents();
            const int32_t dead = sync_->ThreadDead();
            DebugTrace("THREADDEAD " + std::to_string(dead));
            if (dead) break;
        }
    }
    Sleep(100);
    if (IsConnected()) {
        PIAMPCOMMAND(amp::kDisconnect, 0, nullptr);
        Sleep(100);
        ProcessEvents();
        if (clips_) clips_->DisconnectDirectory();
        connected_.store(0);
    }
}

void cAmpcontrol::LoadClip(int32_t ch, const std::string& name, const std::string& start,
                           const std::string& duration, bool pause_around) {
    SetLoopFlag(ch, 0);
    SetPingPongFlag(ch, 0);
    LoadClipRequest request;
    request.channel = ch;
    StoreField(request.clipName, kClipNameWidth, name);
    StoreField(request.start, kTimecodeWidth, start);
    StoreField(request.duration, kTimecodeWidth, duration);
    if (pause_around) PauseStatusThread();
    Sleep(200);
    PIAMPCOMMAND(amp::kLoadClip, RecordArg(&request), nullptr);
    if (pause_around) Resume();
    settings_.SetClipStart(ch, start);
    settings_.SetClipDuration(ch, duration);
    settings_.SetClipEnd(ch, tc_ ? tc_->AddTc(start, duration) : std::string());
}

void cAmpcontrol::LoadSelectedClip() {
    if (EZ_HANDLE("ClipList", 0) == 0) return;
    const int32_t row = EZ_GETLVSEL("ClipList", kList);
    if (row < 0) return;
    const std::string name = EZ_GETLVITEMTEXT("ClipList", kList, row, 0);
    const std::string start = EZ_GETLVITEMTEXT("ClipList", kList, row, 1);
    const std::string duration = EZ_GETLVITEMTEXT("ClipList", kList, row, 2);
    if (!clips_) return;
    const int32_t ch = clips_->GetChannel();
    if (!Usable(ch)) return;
    LoadClip(ch, name, start, duration, true);
}

bool cAmpcontrol::StopQualifies(int32_t ch) const {
    return ChannelConnected(ch) && Usable(ch) && settings_.Checked(ch) &&
           settings_.State(ch) != "Stop";
}

void cAmpcontrol::StopChannel(int32_t ch) {
    if (!StopQualifies(ch)) return;
    const std::string state = settings_.State(ch);
    ChannelRequest request;
    request.channel = ch;
    PIAMPCOMMAND(amp::kStop, RecordArg(&request), nullptr);
    // A recording channel keeps "Record" until the next poll reports.
    if (state != "Record") settings_.SetState(ch, "Stop");
}

bool cAmpcontrol::Wanted(int32_t ch) const {
    if (!InBound(ch) || !settings_.Shown(ch)) return false;
    return settings_.Checked(ch) || (status_ && status_->UncheckedByDevice(ch));
}

std::string cAmpcontrol::SkipReason(int32_t ch) const {
    const std::string state = settings_.State(ch);
    if (StartsWith(state, "Los")) return "lost";
    if (!ChannelConnected(ch) || StartsWith(state, "Off") || StartsWith(state, "Nop"))
        return "not connected";
    return {};
}

namespace {

// The device library's answers to a refused or failed call, as the operator reads them.
std::string FailureReason(int32_t result) {
    switch (result) {
        case 2:
            return "not connected";
        case 3:
            return "lost";
        case 4:
            return "refused by the recorder";
        default:
            return "failed (" + std::to_string(result) + ")";
    }
}

std::string TwoDigits(int32_t ch) {
    const std::string n = std::to_string(ch + 1);
    return n.size() < 2 ? "0" + n : n;
}

}  // namespace

void cAmpcontrol::Report(const std::string& command,
                         const std::vector<std::pair<int32_t, std::string>>& left) {
    report_.clear();
    std::vector<std::string> reasons;
    for (const auto& [ch, reason] : left) {
        if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end())
            reasons.push_back(reason);
    }
    for (const std::string& reason : reasons) {
        // Runs of channels as one range, so a whole bank gone still fits a line.
        std::vector<int32_t> chs;
        for (const auto& [ch, why] : left)
            if (why == reason) chs.push_back(ch);
        std::string channels;
        for (size_t i = 0; i < chs.size();) {
            size_t j = i;
            while (j + 1 < chs.size() && chs[j + 1] == chs[j] + 1) ++j;
            channels += (channels.empty() ? "CH " : ", CH ") + TwoDigits(chs[i]);
            if (j > i) channels += "-" + TwoDigits(chs[j]);
            i = j + 1;
        }
        report_ +=
            (report_.empty() ? command + " left out " : "; ") + channels + " (" + reason + ")";
    }
    if (!report_.empty()) DebugTrace(report_);
}

void cAmpcontrol::StopAll() {
    std::vector<std::pair<int32_t, std::string>> left;
    if (!IsConnected()) {
        for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch)
            if (Wanted(ch) && settings_.State(ch) != "Stop") left.emplace_back(ch, "not connected");
        Report("Stop", left);
        return;
    }
    PauseStatusThread();
    const bool recording = AnyRecording();
    if (recording) busy::ShowBusy(EZ_HANDLE("Main", 0), busy::kBusyPicture);
    // StopChannel for every channel, as one batch.
    std::vector<int32_t> channels;
    std::vector<std::string> states;
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!StopQualifies(ch)) {
            if (Wanted(ch) && settings_.State(ch) != "Stop") {
                if (std::string why = SkipReason(ch); !why.empty()) left.emplace_back(ch, why);
            }
            continue;
        }
        channels.push_back(ch);
        states.push_back(settings_.State(ch));
    }
    std::vector<ChannelRequest> requests(channels.size());
    std::vector<DeviceCall> calls;
    for (size_t i = 0; i < channels.size(); ++i) {
        requests[i].channel = channels[i];
        calls.push_back({amp::kStop, RecordArg(&requests[i]), nullptr, 0});
    }
    PIAMPCOMMANDS(calls);
    for (size_t i = 0; i < channels.size(); ++i) {
        if (calls[i].result != 0) left.emplace_back(channels[i], FailureReason(calls[i].result));
        if (states[i] != "Record") settings_.SetState(channels[i], "Stop");
    }
    std::sort(left.begin(), left.end());
    Report("Stop", left);
    if (recording) {
        const uint32_t start = clock_->Ticks();
        for (;;) {
            if (!AnyRecording()) break;
            // An event handled below may have resumed polling: pause again, so
            // that this poll and the status thread's never overlap.
            PauseStatusThread();
            if (status_) status_->PollStatus(0);
            Sleep(50);
            RedrawList();
            ProcessEvents();
            if (clock_->Ticks() - start > uint32_t(kStopWaitMs)) break;
        }
        busy::StopBusy();
        EZ_WAITCURSOR(0);
    }
    Resume();
    RedrawList();
}

void cAmpcontrol::GroupCommand(int32_t code, bool with_value, int32_t value) {
    if (!IsConnected()) return;
    PauseStatusThread();
    std::vector<ChannelRequest> plain;
    std::vector<ChannelValueRequest> valued;
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!settings_.Checked(ch) || settings_.State(ch) == "Record" || !Usable(ch)) continue;
        plain.emplace_back().channel = ch;
        valued.emplace_back().channel = ch;
        valued.back().value = value;
    }
    std::vector<DeviceCall> calls;
    for (size_t i = 0; i < plain.size(); ++i)
        calls.push_back(
            {code, with_value ? RecordArg(&valued[i]) : RecordArg(&plain[i]), nullptr, 0});
    PIAMPCOMMANDS(calls);
    Resume();
}

void cAmpcontrol::PlayAll() {
    GroupCommand(amp::kPlay, false, 0);
}

void cAmpcontrol::RewindAll() {
    GroupCommand(g_StepMode.load() ? amp::kStep : amp::kWind, true, -1);
}

void cAmpcontrol::FastForwardAll() {
    GroupCommand(g_StepMode.load() ? amp::kStep : amp::kWind, true, 1);
}

void cAmpcontrol::PlayReverseAll() {
    GroupCommand(amp::kPlaySpeed, true, -100);
}

void cAmpcontrol::EjectAll() {
    GroupCommand(amp::kEject, false, 0);
}

void cAmpcontrol::EjectChannel(int32_t ch) {
    if (!settings_.Checked(ch) || !ChannelConnected(ch) || settings_.State(ch) == "Record" ||
        !Usable(ch))
        return;
    ChannelRequest request;
    request.channel = ch;
    PIAMPCOMMAND(amp::kEject, RecordArg(&request), nullptr);
}

bool cAmpcontrol::RecordQualifies(int32_t ch) const {
    return settings_.Checked(ch) && ChannelConnected(ch) && settings_.State(ch) != "Record" &&
           Usable(ch);
}

void cAmpcontrol::RecordChannel(int32_t ch) {
    if (!RecordQualifies(ch)) return;
    auto block = MakeTextBlock(ClipNameDocument("?", ch));
    if (PIAMPCOMMAND(amp::kRecord, RecordArg(block.get()), nullptr) == 0)
        settings_.SetState(ch, "Record");
}

void cAmpcontrol::RecordAll() {
    PauseStatusThread();
    EZ_WAITCURSOR(1);
    // RecordChannel for every channel, as one batch: every recorder is asked
    // before any answer is awaited, and the answers are applied in channel
    // order.
    std::vector<int32_t> channels;
    std::vector<std::unique_ptr<TextBlock>> blocks;
    std::vector<DeviceCall> calls;
    std::vector<std::pair<int32_t, std::string>> left;
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!RecordQualifies(ch)) {
            if (Wanted(ch) && settings_.State(ch) != "Record") {
                if (std::string why = SkipReason(ch); !why.empty()) left.emplace_back(ch, why);
            }
            continue;
        }
        channels.push_back(ch);
        blocks.push_back(MakeTextBlock(ClipNameDocument("?", ch)));
        calls.push_back({amp::kRecord, RecordArg(blocks.back().get()), nullptr, 0});
    }
    PIAMPCOMMANDS(calls);
    for (size_t i = 0; i < channels.size(); ++i) {
        if (calls[i].result == 0)
            settings_.SetState(channels[i], "Record");
        else
            left.emplace_back(channels[i], FailureReason(calls[i].result));
    }
    std::sort(left.begin(), left.end());
    Report("Record", left);
    RedrawList();
    ProcessEvents();
    Sleep(100);
    Resume();
    RedrawList();
    // The pointer would otherwise stay busy until the next command clears it.
    EZ_WAITCURSOR(0);
}

void cAmpcontrol::LoadLastClipAll() {
    if (!IsConnected()) return;
    PauseStatusThread();
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!settings_.Checked(ch)) continue;
        const std::string state = settings_.State(ch);
        if (StartsWith(state, "Record") || StartsWith(state, "Los")) continue;
        const std::string last = settings_.LastClip(ch);
        if (last.empty()) continue;
        const std::string times = clips_ ? clips_->GetClipTimes(last) : std::string();
        const size_t bar = times.find('|');
        const std::string start = times.substr(0, bar);
        const std::string duration =
            bar == std::string::npos ? std::string() : times.substr(bar + 1);
        LoadClip(ch, last, start, duration, true);
    }
    Resume();
}

void cAmpcontrol::ToggleLoopAll() {
    ToggleMarkerAll(amp::kLoop);
}

void cAmpcontrol::TogglePingPongAll() {
    ToggleMarkerAll(amp::kPingPong);
}

// Loop and ping-pong exclude each other: turning one on or off clears the other.
void cAmpcontrol::ToggleMarkerAll(int32_t code) {
    if (!IsConnected()) return;
    PauseStatusThread();
    const bool loop = code == amp::kLoop;
    std::vector<ChannelValueRequest> requests;
    for (int32_t ch = 0; ch <= settings_.ChannelBound(); ++ch) {
        if (!settings_.Checked(ch)) continue;
        const std::string state = settings_.State(ch);
        if (StartsWith(state, "Record") || StartsWith(state, "Los")) continue;
        const int32_t on = (loop ? LoopFlag(ch) : PingPongFlag(ch)) ? 0 : 1;
        SetLoopFlag(ch, loop ? on : 0);
        SetPingPongFlag(ch, loop ? 0 : on);
        requests.emplace_back().channel = ch;
        requests.back().value = on;
    }
    std::vector<DeviceCall> calls;
    for (auto& request : requests) calls.push_back({code, RecordArg(&request), nullptr, 0});
    PIAMPCOMMANDS(calls);
    Sleep(100);
    if (status_) status_->PollStatus(1);
    Resume();
}

std::string cAmpcontrol::ConfigurationDocument(int32_t ch) {
    ChannelRequest request;
    request.channel = ch;
    auto reply = EmptyReply();
    if (PIAMPCOMMAND(amp::kGetConfig, RecordArg(&request), reply.get()) != 0) return {};
    return CleanText(ReplyText(*reply));
}

size_t MaxConfigurationSize(int32_t ch) {
    return kTextBlockWidth - ChanPrefix(ch).size();
}

void cAmpcontrol::SendConfiguration(int32_t ch, const std::string& document) {
    // Cut to fit, it would be malformed: nothing goes rather than that.
    if (document.size() > MaxConfigurationSize(ch)) return;
    PauseStatusThread();
    auto block = MakeTextBlock(ChanPrefix(ch) + document);
    PIAMPCOMMAND(amp::kSendConfig, RecordArg(block.get()), nullptr);
    Resume();
}

int32_t cAmpcontrol::SetChannelAddress(int32_t ch, const std::string& address,
                                       int32_t internal_channel) {
    const std::string clean = CleanText(address);
    if (ch < 0 || ch >= kDeviceChannels || NoRecorderAddress(clean) || internal_channel < 1 ||
        internal_channel > 4)
        return 0;
    std::string message = ChanPrefix(ch);
    message += "<IpAddress>" + clean + "</IpAddress>" + kCrLf;
    message += "<Vtr>" + std::to_string(internal_channel) + "</Vtr>";
    auto block = MakeTextBlock(message);
    return PIAMPCOMMAND(amp::kSetAddress, RecordArg(block.get()), nullptr);
}

std::string cAmpcontrol::FirstFileName(const std::string& reply, const std::string& encoder_tag,
                                       const std::string& inner_tag) {
    if (reply.empty() || encoder_tag.empty() || inner_tag.empty()) return {};
    // Names travel escaped, bytes from 127 up as numeric references: the
    // file's name is decoded once, as a whole.
    const std::string encoder = ReplyTagText(encoder_tag, reply);
    if (encoder.empty()) return {};
    std::string value = ReplyTagText(inner_tag, encoder);
    const size_t end = value.find("</File>");
    if (end == std::string::npos || end == 0) return {};
    value.resize(end);
    const size_t gt = value.find('>');
    if (gt != std::string::npos) value.erase(0, gt + 1);
    value = XmlDecode(value);
    const size_t mxf = value.find("_avmxf");
    if (mxf != std::string::npos) value.resize(mxf + 6);
    return value;
}

std::string cAmpcontrol::RecordFileNames(int32_t ch, const std::string& clip_name) {
    auto request = MakeTextBlock(RecordFileRequest(clip_name, ch));
    auto reply = EmptyReply();
    if (PIAMPCOMMAND(amp::kRecordFileList, RecordArg(request.get()), reply.get()) != 0) return {};
    const std::string text = CleanText(ReplyText(*reply));
    if (text.find("<RecFileList>") == std::string::npos) return {};
    const std::string a = FirstFileName(text, "<EncoderA>", "<Primary>");
    const std::string b = FirstFileName(text, "<EncoderB>", "<Primary>");
    return a + "|" + b;
}

}  // namespace tarvolen
