// The HyperDeck Ethernet Protocol over the recorder model: a deck is a
// recorder's first channel, its clips the timeline of slot 1. What it does,
// command by command, is in docs/deck-protocol.md.
#include <algorithm>
#include <cstdio>

#include "platform/deck/server_codec.h"
#include "recorder/bank_impl.h"

namespace tarvolen::recorder {
namespace {

using deck::Params;

constexpr const char* kProtocolVersion = "1.11";
constexpr const char* kModel = "TarVolen Deck";
constexpr int64_t kDiskSeconds = 36000;  // what an empty disk in slot 1 holds
constexpr int kMaxSpeed = 1600;          // percent, both ways
constexpr int kSlots = 2;                // slot 2 never holds a disk

const std::vector<std::string> kVideoInputs = {"SDI", "HDMI", "component"};
const std::vector<std::string> kAudioInputs = {"embedded", "XLR", "RCA"};
const std::vector<std::string> kFileFormats = {"QuickTimeUncompressed", "QuickTimeProResHQ",
                                               "QuickTimeProRes",       "QuickTimeProResLT",
                                               "QuickTimeProResProxy",  "QuickTimeDNxHD220"};

// Commands of the document that the emulated deck does not carry out.
const std::vector<std::string> kUnsupported = {
    "uptime",       "format",        "identify",        "clips add",       "clips clear",
    "playrange",    "playrange set", "playrange clear", "play on startup", "play option",
    "slot unblock", "dynamic range", "nettime"};

struct CommandRule {
    const char* name;
    std::vector<const char*> params;
    bool changesState;  // refused with 111 while remote control is off
};

const std::vector<CommandRule>& Rules() {
    static const std::vector<CommandRule> rules = {
        {"help", {}, false},
        {"?", {}, false},
        {"commands", {}, false},
        {"device info", {}, false},
        {"quit", {}, false},
        {"ping", {}, false},
        {"watchdog", {"period"}, false},
        {"remote", {"enable", "override"}, false},
        {"notify", {"transport", "slot", "remote", "configuration"}, false},
        {"transport info", {}, false},
        {"slot info", {"slot id"}, false},
        {"slot select", {"slot id", "video format"}, true},
        {"clips count", {}, false},
        {"clips get", {"clip id", "count"}, false},
        {"disk list", {"slot id"}, false},
        {"play", {"speed", "loop", "single clip"}, true},
        {"stop", {}, true},
        {"record", {"name"}, true},
        {"goto", {"clip id", "clip", "timeline", "timecode", "slot id"}, true},
        {"jog", {"timecode"}, true},
        {"shuttle", {"speed"}, true},
        {"preview", {"enable"}, true},
        {"configuration", {"video input", "audio input", "file format"}, true},
    };
    return rules;
}

bool OneOf(const std::vector<std::string>& list, const std::string& v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

// The document writes timecodes with colons only; at 29.97 the labels are
// still counted drop-frame, as our own protocol shows them.
std::string DeckTimecode(std::string tc) {
    if (tc.find('-') != std::string::npos) return "00:00:00:00";
    std::replace(tc.begin(), tc.end(), ';', ':');
    return tc;
}

std::string VideoFormat(Rate rate) {
    switch (rate) {
        case Rate::k2997DropFrame:
            return "1080i5994";
        case Rate::k30:
            return "1080p30";
        case Rate::k25:
            return "1080i50";
        case Rate::k24:
            return "1080p24";
    }
    return "1080i5994";
}

std::string UniqueId(const std::string& address) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "7476%02x%02x%02x%02x", a & 255, b & 255, c & 255, d & 255);
    return buf;
}

bool SlotHasDisk(const Recorder& r, int slot) {
    return slot == 1 && r.deckState.disk != DiskState::kMissing;
}

// The clips a deck client sees: those of slot 1 when its disk is in.
std::size_t TimelineSize(const Recorder& r) {
    return SlotHasDisk(r, r.deckState.slot) ? r.clips.size() : 0;
}

std::string ClipId(Recorder& r, const ChannelState& c) {
    if (TimelineSize(r) == 0 || c.clip.empty() || c.word == "Eject") return "none";
    auto it = r.clipIndex.find(c.clip);
    return it == r.clipIndex.end() ? "none" : std::to_string(it->second + 1);
}

std::string Status(const ChannelState& c) {
    bool jog = c.deckMotion == DeckMotion::kJog, shuttle = c.deckMotion == DeckMotion::kShuttle;
    if (c.word == "Record") return "record";
    if (c.word == "Rewind") return "rewind";
    if (c.word == "FastFwd") return "forward";
    if (c.word == "Play" || c.word == "Reverse") return shuttle ? "shuttle" : jog ? "jog" : "play";
    if (c.word == "Still" && jog) return "jog";
    if (c.deckMotion == DeckMotion::kPreview) return "preview";
    return "stopped";
}

// The form of a value, whatever the deck's state: a bad one is 102 before
// any other complaint.
bool ValidValue(const deck::Param& p, int nominal) {
    const std::string& k = p.key;
    const std::string& v = p.value;
    if (k == "speed" || k == "period") return deck::ParseInt(v, -1000000, 1000000).has_value();
    if (k == "loop" || k == "single clip" || k == "enable" || k == "override" || k == "transport" ||
        k == "slot" || k == "remote" || k == "configuration")
        return deck::ParseBool(v).has_value();
    if (k == "slot id") return deck::ParseInt(v, 1, kSlots).has_value();
    if (k == "clip id") return deck::ParseInt(v, -1000000000, 1000000000).has_value();
    if (k == "count") return deck::ParseInt(v, 1, 1000000000).has_value();
    if (k == "clip" || k == "timeline") return v == "start" || v == "end";
    if (k == "timecode") {
        bool relative = !v.empty() && (v[0] == '+' || v[0] == '-');
        return deck::ParseTimecode(relative ? v.substr(1) : v, nominal).has_value();
    }
    if (k == "video input") return OneOf(kVideoInputs, v);
    if (k == "audio input") return OneOf(kAudioInputs, v);
    return true;
}

// What a 508 tells: the running timecode of a moving transport is no news,
// a stopped one's is (a goto or a jog moved it).
std::string TransportKey(const Params& p, bool moving) {
    std::string key;
    for (const auto& kv : p)
        if (!moving || kv.key.find("timecode") == std::string::npos) key += kv.value + "|";
    return key;
}

}  // namespace

static Params TransportParams(Bank::Impl& m, Recorder& r, const ChannelState& c,
                              Clock::time_point now) {
    std::string tc = DeckTimecode(m.model.TimecodeOf(c, now));
    bool empty = TimelineSize(r) == 0;
    return {{"status", Status(c)},
            {"speed", std::to_string(c.speed)},
            {"slot id", std::to_string(r.deckState.slot)},
            {"display timecode", empty ? "00:00:00:00" : tc},
            {"timecode", empty ? "00:00:00:00" : tc},
            {"clip id", ClipId(r, c)},
            {"video format", VideoFormat(m.model.rate())},
            {"loop", std::string(deck::BoolText(c.mode == 'L'))}};
}

static Params SlotParams(Bank::Impl& m, Recorder& r, int slot) {
    bool disk = SlotHasDisk(r, slot);
    int64_t seconds = 0;
    if (disk && r.deckState.disk == DiskState::kReady) {
        int64_t used = static_cast<int64_t>(Model::UsedFrames(r) / std::max(1.0, m.model.fps()));
        seconds = std::max<int64_t>(0, kDiskSeconds - used);
    }
    return {{"slot id", std::to_string(slot)},
            {"status", disk ? "mounted" : "empty"},
            {"volume name", disk ? "Deck_" + r.address : ""},
            {"recording time", std::to_string(seconds)},
            {"video format", VideoFormat(m.model.rate())}};
}

static Params ConfigurationParams(const Recorder& r) {
    return {{"audio input", r.deckState.audioInput},
            {"video input", r.deckState.videoInput},
            {"file format", r.deckState.fileFormat}};
}

void Bank::Impl::DeckGreet(Recorder& r, Session& s) {
    int open = 0;
    for (const auto& other : r.sessions)
        if (other->deck && !other->closed && !other->closeAfterWrite) ++open;
    if (open > options.deckClients) {
        Journal(r, 0, "connect", "120 connection rejected", {}, 0, true);
        s.SendRawBytes(deck::FormatReply(deck::kConnectionRejected));
        s.CloseAfterWrite();
        return;
    }
    s.SendReply(deck::FormatBlock(deck::kConnectionInfo,
                                  {{"protocol version", kProtocolVersion}, {"model", kModel}}),
                "connection info");
}

void Bank::Impl::DeckNotify(Recorder& r, Clock::time_point now) {
    if (!r.deck || r.channels.empty() || r.faults.silent || r.faults.mute) return;
    bool transport = false, slot = false;
    for (const auto& s : r.sessions) {
        transport = transport || (s->deck && s->notify.transport);
        slot = slot || (s->deck && s->notify.slot);
    }
    ChannelState& c = r.channels.front();
    std::string bytes;
    if (transport) {
        Params p = TransportParams(*this, r, c, now);
        std::string key = TransportKey(p, c.speed != 0);
        if (key != c.deckSentTransport) {
            c.deckSentTransport = key;
            std::string msg = deck::FormatBlock(deck::kAsyncTransportInfo, p);
            for (const auto& s : std::vector(r.sessions.begin(), r.sessions.end()))
                if (s->deck && s->notify.transport) s->SendReply(msg, "transport info");
        }
    }
    if (slot) {
        std::string key = std::string(SlotHasDisk(r, 1) ? "mounted" : "empty") +
                          (r.deckState.disk == DiskState::kFull ? " full" : "");
        if (key != c.deckSentSlot) {
            c.deckSentSlot = key;
            std::string msg = deck::FormatBlock(deck::kAsyncSlotInfo, SlotParams(*this, r, 1));
            for (const auto& s : std::vector(r.sessions.begin(), r.sessions.end()))
                if (s->deck && s->notify.slot) s->SendReply(msg, "slot info");
        }
    }
}

void Bank::Impl::DeckRemoteChanged(Recorder& r) {
    if (r.faults.silent || r.faults.mute) return;
    for (const auto& s : std::vector(r.sessions.begin(), r.sessions.end()))
        if (s->deck && s->notify.remote)
            s->SendReply(deck::FormatBlock(
                             deck::kAsyncRemoteInfo,
                             {{"enabled", std::string(deck::BoolText(r.deckState.remoteEnabled))},
                              {"override", std::string(deck::BoolText(s->remoteOverride))}}),
                         "remote info");
}

void Bank::Impl::DeckConfigurationChanged(Recorder& r) {
    if (r.faults.silent || r.faults.mute) return;
    std::string msg = deck::FormatBlock(deck::kAsyncConfiguration, ConfigurationParams(r));
    for (const auto& s : std::vector(r.sessions.begin(), r.sessions.end()))
        if (s->deck && s->notify.configuration) s->SendReply(msg, "configuration");
}

std::string Bank::Impl::DeckCutBytes() const {
    return "208 transport info:\r\nstatus: rec";
}

std::string Bank::Impl::DeckOversizeBytes() const {
    return "205 clips info:\r\nclip count: 1\r\n1: " + std::string(deck::kMaxLine + 16, 'x') +
           " 00:00:00:00 00:00:01:00\r\n\r\n";
}

void Bank::Impl::DeckHandle(Recorder& r, Session& s, const Request& request) {
    auto now = Clock::now();
    const deck::Command& cmd = request.command;
    const std::string& name = cmd.name;
    ChannelState& c = r.channels.front();
    DeckState& st = r.deckState;

    auto answer = [&](std::string bytes, int code, std::string detail) {
        if (name != "ping") {
            std::string outcome = deck::IsSuccess(code) ? "ok"
                                                        : std::to_string(code) + " " +
                                                              std::string(deck::CodeText(code));
            Journal(r, 1, name.empty() ? "(unreadable)" : name, std::move(outcome),
                    std::move(detail), s.requestReceived, true);
        }
        s.SendReply(std::move(bytes), name);
    };
    auto fail = [&](int code, std::string detail = {}) {
        answer(deck::FormatReply(code), code, std::move(detail));
    };
    auto ok = [&](std::string detail = {}) {
        answer(deck::FormatReply(deck::kOk), deck::kOk, std::move(detail));
        DeckNotify(r, now);
        Notify(r, c, now);  // our own protocol's watchers see the same recorder
    };
    auto block = [&](int code, const Params& p) { answer(deck::FormatBlock(code, p), code, {}); };

    if (!request.deckSyntaxError.empty()) return fail(deck::kSyntaxError, request.deckSyntaxError);
    if (OneOf(kUnsupported, name)) return fail(deck::kUnsupported);
    auto rule = std::find_if(Rules().begin(), Rules().end(),
                             [&](const CommandRule& r) { return name == r.name; });
    if (rule == Rules().end()) return fail(deck::kSyntaxError, "unknown command");
    for (const auto& p : cmd.params) {
        bool known = std::any_of(rule->params.begin(), rule->params.end(),
                                 [&](const char* k) { return p.key == k; });
        if (!known) return fail(deck::kUnsupportedParameter, p.key);
    }
    for (const auto& p : cmd.params)
        if (!ValidValue(p, model.nominal())) return fail(deck::kInvalidValue, p.key);
    if (name == "goto" && cmd.params.size() != 1)
        return fail(deck::kSyntaxError, "one parameter at a time");
    if (name != "ping" && name != "quit" && name != "watchdog" && name != "notify" &&
        (r.faults.refused.count("*") || r.faults.refused.count(name)))
        return fail(deck::kInternalError, "fault injected");
    // A query of "configuration" or "remote" changes nothing.
    bool changes = rule->changesState && !(name == "configuration" && cmd.params.empty());
    if (changes && !st.remoteEnabled && !s.remoteOverride)
        return fail(deck::kRemoteControlDisabled);

    auto boolParam = [&](const char* key, std::optional<bool>& out) {
        const std::string* v = cmd.Find(key);
        if (!v) return true;
        out = deck::ParseBool(*v);
        return out.has_value();
    };
    auto slotParam = [&](int& slot) {
        const std::string* v = cmd.Find("slot id");
        if (!v) return true;
        auto n = deck::ParseInt(*v, 1, kSlots);
        if (!n) return false;
        slot = static_cast<int>(*n);
        return true;
    };
    bool recording = c.recording >= 0;
    std::size_t clips = TimelineSize(r);

    if (name == "ping") return ok();
    if (name == "quit") {
        ok();
        s.CloseAfterWrite();
        return;
    }
    if (name == "help" || name == "?") {
        std::vector<std::string> lines;
        for (const auto& r : Rules()) {
            std::string line = r.name;
            for (const char* p : r.params) line += std::string(" ") + p + ":";
            lines.push_back(line);
        }
        return answer(deck::FormatLines(deck::kHelp, "help", lines), deck::kHelp, {});
    }
    if (name == "commands") {
        std::vector<std::string> lines{"<commands>"};
        for (const auto& r : Rules()) {
            std::string line = std::string("<command name=\"") + r.name + "\">";
            for (const char* p : r.params) line += std::string("<parameter name=\"") + p + "\"/>";
            lines.push_back(line + "</command>");
        }
        lines.push_back("</commands>");
        return answer(deck::FormatLines(deck::kCommands, "commands", lines), deck::kCommands, {});
    }
    if (name == "device info")
        return block(deck::kDeviceInfo, {{"protocol version", kProtocolVersion},
                                         {"model", kModel},
                                         {"unique id", UniqueId(r.address)}});
    if (name == "watchdog") {
        const std::string* v = cmd.Find("period");
        auto n = v ? deck::ParseInt(*v, -1000000, 86400) : std::nullopt;
        if (!n) return fail(deck::kInvalidValue);
        s.watchdog = std::chrono::seconds(std::max<int64_t>(*n, 0));
        s.ArmWatchdog();
        return ok(std::to_string(s.watchdog.count()));
    }
    if (name == "remote") {
        if (cmd.params.empty())
            return block(deck::kRemoteInfo,
                         {{"enabled", std::string(deck::BoolText(st.remoteEnabled))},
                          {"override", std::string(deck::BoolText(s.remoteOverride))}});
        std::optional<bool> enable, override;
        if (!boolParam("enable", enable) || !boolParam("override", override))
            return fail(deck::kInvalidValue);
        bool changed =
            (enable && *enable != st.remoteEnabled) || (override && *override != s.remoteOverride);
        if (enable) st.remoteEnabled = *enable;
        if (override) s.remoteOverride = *override;
        ok();
        if (changed) DeckRemoteChanged(r);
        return;
    }
    if (name == "notify") {
        if (cmd.params.empty())
            return block(deck::kNotify,
                         {{"transport", std::string(deck::BoolText(s.notify.transport))},
                          {"slot", std::string(deck::BoolText(s.notify.slot))},
                          {"remote", std::string(deck::BoolText(s.notify.remote))},
                          {"configuration", std::string(deck::BoolText(s.notify.configuration))}});
        std::optional<bool> t, sl, rem, conf;
        if (!boolParam("transport", t) || !boolParam("slot", sl) || !boolParam("remote", rem) ||
            !boolParam("configuration", conf))
            return fail(deck::kInvalidValue);
        // From now on: what has already happened is not news.
        if (t) s.notify.transport = *t;
        if (sl) s.notify.slot = *sl;
        if (rem) s.notify.remote = *rem;
        if (conf) s.notify.configuration = *conf;
        answer(deck::FormatReply(deck::kOk), deck::kOk, {});
        // Prime the snapshots without sending: a later change is the news.
        if (t && *t)
            c.deckSentTransport = TransportKey(TransportParams(*this, r, c, now), c.speed != 0);
        if (sl && *sl)
            c.deckSentSlot = std::string(SlotHasDisk(r, 1) ? "mounted" : "empty") +
                             (st.disk == DiskState::kFull ? " full" : "");
        return;
    }
    if (name == "transport info")
        return block(deck::kTransportInfo, TransportParams(*this, r, c, now));
    if (name == "slot info") {
        int slot = st.slot;
        if (!slotParam(slot)) return fail(deck::kInvalidValue);
        return block(deck::kSlotInfo, SlotParams(*this, r, slot));
    }
    if (name == "clips count")
        return block(deck::kClipsCount, {{"clip count", std::to_string(clips)}});
    auto clipLine = [&](std::size_t index, bool disk) {
        Clip clip = model.Current(r, index, now);
        std::string dur = DeckTimecode(FramesToTimecode(clip.duration, model.rate()));
        if (disk)
            return clip.name + " " + st.fileFormat + " " + VideoFormat(model.rate()) + " " + dur;
        return clip.name + " " + DeckTimecode(FramesToTimecode(clip.start, model.rate())) + " " +
               dur;
    };
    if (name == "clips get") {
        std::size_t first = 1, count = clips;
        if (const std::string* v = cmd.Find("clip id")) {
            auto n = deck::ParseInt(*v, 1, 1000000000);
            if (!n) return fail(deck::kInvalidValue);
            if (static_cast<std::size_t>(*n) > clips) return fail(deck::kOutOfRange);
            first = static_cast<std::size_t>(*n);
            count = clips - first + 1;
        }
        if (const std::string* v = cmd.Find("count")) {
            auto n = deck::ParseInt(*v, 1, 1000000000);
            if (!n) return fail(deck::kInvalidValue);
            count = std::min(count, static_cast<std::size_t>(*n));
        }
        Params p{{"clip count", std::to_string(count)}};
        for (std::size_t k = first; k < first + count; ++k)
            p.push_back({std::to_string(k), clipLine(k - 1, false)});
        return block(deck::kClipsInfo, p);
    }
    if (name == "disk list") {
        int slot = st.slot;
        if (!slotParam(slot)) return fail(deck::kInvalidValue);
        Params p{{"slot id", std::to_string(slot)}};
        if (SlotHasDisk(r, slot))
            for (std::size_t k = 0; k < r.clips.size(); ++k)
                p.push_back({std::to_string(k + 1), clipLine(k, true)});
        return block(deck::kDiskList, p);
    }
    if (name == "configuration") {
        if (cmd.params.empty()) return block(deck::kConfiguration, ConfigurationParams(r));
        const std::string* video = cmd.Find("video input");
        const std::string* audio = cmd.Find("audio input");
        const std::string* format = cmd.Find("file format");
        if ((video && !OneOf(kVideoInputs, *video)) || (audio && !OneOf(kAudioInputs, *audio)))
            return fail(deck::kInvalidValue);
        if (format && !OneOf(kFileFormats, *format)) return fail(deck::kInvalidCodec);
        if (recording) return fail(deck::kInvalidState, "recording");
        DeckState before = st;
        if (video) st.videoInput = *video;
        if (audio) st.audioInput = *audio;
        if (format) st.fileFormat = *format;
        std::string detail;
        for (const auto& [k, v] : cmd.params) detail += (detail.empty() ? "" : " ") + k + ": " + v;
        ok(detail);
        if (before.videoInput != st.videoInput || before.audioInput != st.audioInput ||
            before.fileFormat != st.fileFormat)
            DeckConfigurationChanged(r);
        return;
    }
    if (name == "stop") {
        model.Stop(r, c, now);
        return ok();
    }
    if (name == "record") {
        if (!SlotHasDisk(r, st.slot)) return fail(deck::kNoDisk);
        if (st.disk == DiskState::kFull) return fail(deck::kDiskFull);
        if (recording) return fail(deck::kInvalidState, "recording");
        const std::string* requested = cmd.Find("name");
        std::string clip = model.Record(r, c, now, requested ? *requested : "?");
        return ok(clip);
    }
    if (recording) return fail(deck::kInvalidState, "recording");
    if (name == "slot select") {
        int slot = st.slot;
        if (!slotParam(slot)) return fail(deck::kInvalidValue);
        const std::string* fmt = cmd.Find("video format");
        if (fmt && *fmt != VideoFormat(model.rate())) return fail(deck::kInvalidValue);
        if (slot != st.slot) {
            model.SetMotion(c, now, 0, "Stop");
            c.mode = '-';
            st.slot = slot;
        }
        return ok();
    }
    if (name == "preview") {
        std::optional<bool> enable;
        if (!boolParam("enable", enable) || !enable) return fail(deck::kInvalidValue);
        if (*enable) {
            model.SetMotion(c, now, 0, c.word == "Eject" ? "Eject" : "Stop");
            c.mode = '-';
            c.deckMotion = DeckMotion::kPreview;
        } else if (c.deckMotion == DeckMotion::kPreview) {
            c.deckMotion = DeckMotion::kNone;
        }
        return ok();
    }

    // The transport moves within a clip of the timeline.
    if (clips == 0) return fail(deck::kTimelineEmpty);
    auto loadClip = [&](std::size_t index) {
        const Clip& clip = r.clips[index];
        model.Load(c, now, clip, clip.start, clip.duration);
    };
    if (!c.loaded || c.word == "Eject") loadClip(0);
    // A position within the loaded clip, or the clip that holds it.
    auto seek = [&](int64_t frame) {
        if (frame < c.lo || frame > c.hi) {
            auto it = std::find_if(r.clips.begin(), r.clips.end(), [&](const Clip& k) {
                return frame >= k.start && frame < k.start + std::max<int64_t>(k.duration, 1);
            });
            if (it == r.clips.end()) return false;
            loadClip(static_cast<std::size_t>(it - r.clips.begin()));
        }
        model.SetMotion(c, now, 0, "Stop");
        c.originFrame = frame;
        return true;
    };
    // "HH:MM:SS:FF" to a frame, or "+"/"-" and a duration from the position.
    auto timecodeTarget = [&](const std::string& text, int64_t& frame) {
        if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
            auto d = deck::ParseTimecode(text.substr(1), model.nominal());
            if (!d) return false;
            int64_t delta = deck::ToFrames(*d, model.nominal());
            int64_t pos = model.Position(c, now);
            frame = std::clamp<int64_t>(text[0] == '+' ? pos + delta : pos - delta, c.lo, c.hi);
            return true;
        }
        return deck::ParseTimecode(text, model.nominal()).has_value() &&
               TimecodeToFrames(text, model.rate(), frame);
    };
    auto speedParam = [&](int& speed) {
        const std::string* v = cmd.Find("speed");
        if (!v) return true;
        auto n = deck::ParseInt(*v, -1000000, 1000000);
        if (!n) return false;
        speed = static_cast<int>(std::clamp<int64_t>(*n, -kMaxSpeed - 1, kMaxSpeed + 1));
        return true;
    };
    if (name == "play") {
        int speed = 100;
        std::optional<bool> loop, single;
        if (!speedParam(speed) || !boolParam("loop", loop) || !boolParam("single clip", single))
            return fail(deck::kInvalidValue);
        if (std::abs(speed) > kMaxSpeed) return fail(deck::kOutOfRange);
        model.StartPlay(c, now, speed);
        c.mode = loop && *loop ? 'L' : '-';
        if (single) c.singleClip = *single;
        return ok(std::to_string(speed));
    }
    if (name == "shuttle") {
        int speed = 0;
        if (!cmd.Find("speed") || !speedParam(speed)) return fail(deck::kInvalidValue);
        if (std::abs(speed) > kMaxSpeed) return fail(deck::kOutOfRange);
        model.StartPlay(c, now, speed);
        c.deckMotion = DeckMotion::kShuttle;
        return ok(std::to_string(speed));
    }
    if (name == "jog") {
        const std::string* v = cmd.Find("timecode");
        int64_t frame = 0;
        if (!v || !timecodeTarget(*v, frame)) return fail(deck::kInvalidValue);
        if (!seek(frame)) return fail(deck::kOutOfRange);
        c.word = "Still";
        c.deckMotion = DeckMotion::kJog;
        return ok(*v);
    }
    if (name == "goto") {
        const deck::Param& p = cmd.params.front();
        std::size_t current = 0;
        if (auto it = r.clipIndex.find(c.clip); it != r.clipIndex.end()) current = it->second;
        if (p.key == "clip id") {
            bool relative = !p.value.empty() && (p.value[0] == '+' || p.value[0] == '-');
            auto n = deck::ParseInt(p.value, -1000000000, 1000000000);
            if (!n) return fail(deck::kInvalidValue);
            int64_t target = relative ? static_cast<int64_t>(current) + *n : *n - 1;
            if (relative)
                target = std::clamp<int64_t>(target, 0, static_cast<int64_t>(clips) - 1);
            else if (target < 0 || target >= static_cast<int64_t>(clips))
                return fail(deck::kOutOfRange);
            loadClip(static_cast<std::size_t>(target));
        } else if (p.key == "clip" || p.key == "timeline") {
            if (p.value != "start" && p.value != "end") return fail(deck::kInvalidValue);
            bool end = p.value == "end";
            if (p.key == "timeline") loadClip(end ? clips - 1 : 0);
            model.SetMotion(c, now, 0, "Stop");
            c.originFrame = end ? c.hi : c.lo;
        } else if (p.key == "timecode") {
            int64_t frame = 0;
            if (!timecodeTarget(p.value, frame)) return fail(deck::kInvalidValue);
            if (!seek(frame)) return fail(deck::kOutOfRange);
        } else {  // slot id
            int slot = st.slot;
            if (!slotParam(slot)) return fail(deck::kInvalidValue);
            if (slot != st.slot) {
                model.SetMotion(c, now, 0, "Stop");
                st.slot = slot;
            }
        }
        c.mode = '-';
        return ok(p.key + " " + p.value);
    }
    fail(deck::kSyntaxError, "unknown command");
}

}  // namespace tarvolen::recorder
