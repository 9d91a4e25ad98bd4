// Our recorder protocol (docs/recorder-protocol.md) over the recorder model.
#include <algorithm>

#include "recorder/bank_impl.h"

namespace tarvolen::recorder {
namespace {

std::string ModeWord(char mode) {
    return mode == 'L' ? "loop" : mode == 'P' ? "pingpong" : "none";
}

// A session watching with runs hears a run's timecode again once in each
// 200 ms of the clock, at instants every channel and recorder of the bank
// shares: a client then wakes once for all of their lines.
constexpr auto kRunResend = std::chrono::milliseconds(200);
auto ResendSlot(Clock::time_point t) {
    return t.time_since_epoch() / kRunResend;
}

// Running on by itself at one frame per frame, as a client can run it on.
bool Runs(const ChannelState& c) {
    return c.speed == 100 && c.word != "Eject";
}

wire::Frame StatusFrame(const ChannelState& c, const std::string& tc, bool run = false) {
    std::vector<std::string> args{std::to_string(c.number), c.word, tc, ModeWord(c.mode)};
    if (run) args.emplace_back("run");
    return wire::MakeFrame(0, "ST", std::move(args));
}

// The ST a session watching with runs is owed now, if any: none while the
// run it last heard goes on unchanged and was heard lately.
std::optional<wire::Frame> RunStatus(Session& s, const ChannelState& c, const std::string& tc,
                                     Clock::time_point now) {
    const bool run = Runs(c);
    auto it = s.runSent.find(c.number);
    if (run && it != s.runSent.end()) {
        const Session::RunSent& was = it->second;
        if (was.originFrame == c.originFrame && was.originTime == c.originTime &&
            was.word == c.word && was.mode == c.mode && ResendSlot(now) == ResendSlot(was.sentAt))
            return std::nullopt;
    }
    if (run)
        s.runSent[c.number] = Session::RunSent{c.originFrame, c.originTime, now, c.word, c.mode};
    else if (it != s.runSent.end())
        s.runSent.erase(it);
    return StatusFrame(c, tc, run);
}

}  // namespace

void Bank::Impl::Notify(Recorder& r, ChannelState& c, Clock::time_point now) {
    if (r.faults.silent || r.faults.mute) return;
    if (r.deck) DeckNotify(r, now);  // one model, so the deck clients hear it too
    std::string tc = model.TimecodeOf(c, now);
    bool stChanged =
        !c.sentAny || c.word != c.sentWord || tc != c.sentTimecode || c.mode != c.sentMode;
    bool clipChanged = !c.sentAny || c.clip != c.sentClip;
    if (!stChanged && !clipChanged) return;
    c.sentAny = true;
    c.sentWord = c.word;
    c.sentTimecode = tc;
    c.sentMode = c.mode;
    c.sentClip = c.clip;
    std::vector<std::shared_ptr<Session>> watchers;
    for (const auto& s : r.sessions)
        if (s->watching) watchers.push_back(s);
    for (const auto& s : watchers) {
        if (stChanged && !s->runs) {
            s->Send(StatusFrame(c, tc));
        } else if (stChanged) {
            if (auto st = RunStatus(*s, c, tc, now)) s->Send(*st);
        }
        if (clipChanged) s->Send(wire::MakeFrame(0, "CLIP", {std::to_string(c.number), c.clip}));
    }
}

void Bank::Impl::SendFullPicture(Recorder& r, Session& s, Clock::time_point now) {
    for (auto& c : r.channels) {
        Notify(r, c, now);  // others first, so this session's picture is not overtaken
        const std::string tc = model.TimecodeOf(c, now);
        s.runSent.erase(c.number);  // the whole picture, whatever was heard before
        s.Send(s.runs ? *RunStatus(s, c, tc, now) : StatusFrame(c, tc));
        s.Send(wire::MakeFrame(0, "CLIP", {std::to_string(c.number), c.clip}));
    }
}

void Bank::Impl::ContinueListing(Recorder& r, Session& s) {
    if (!s.listing) return;
    auto now = Clock::now();
    Session::Listing& l = *s.listing;
    while (l.next < l.count && !s.Backlogged() && !s.closed) {
        const Clip& c = r.clips[l.next++];
        if (!c.recording) {
            ListEntry(s, l.id, c);
            continue;
        }
        ListEntry(s, l.id, model.Current(r, l.next - 1, now));
    }
    if (l.next < l.count) return;
    Journal(r, 0, "LIST", "ok", std::to_string(l.count));
    s.Send(wire::MakeFrame(l.id, "OK", {std::to_string(l.count)}));
    s.listing.reset();
}

void Bank::Impl::ListEntry(Session& s, uint32_t id, const Clip& c) {
    std::string date = c.dateTime.substr(0, 10);
    std::string time = c.dateTime.size() > 11 ? c.dateTime.substr(11) : std::string();
    s.Send(wire::MakeFrame(id, "ENTRY",
                           {c.guid, date, time, FramesToTimecode(c.start, model.rate()),
                            FramesToTimecode(c.duration, model.rate()), std::to_string(c.format),
                            std::to_string(c.codec), std::to_string(c.compression), c.name}));
}

void Bank::Impl::Handle(Recorder& r, Session& s, const wire::Frame& f) {
    auto now = Clock::now();
    const std::string& verb = f.verb;
    uint32_t id = f.id;
    int chNumber = 0;
    auto ok = [&](std::vector<std::string> args = {}, std::string detail = {}) {
        if (verb != "PING") Journal(r, chNumber, verb, "ok", std::move(detail), s.requestReceived);
        s.Send(wire::MakeFrame(id, "OK", std::move(args)));
    };
    auto err = [&](const std::string& reason, std::string text = {}) {
        Journal(r, chNumber, verb, reason, text, s.requestReceived);
        std::vector<std::string> args{reason};
        if (!text.empty()) args.push_back(text);
        s.Send(wire::MakeFrame(id, "ERR", std::move(args)));
    };
    auto payload = [&](std::string doc) {
        if (doc.size() > wire::kMaxPayload) doc.resize(wire::kMaxPayload);
        Journal(r, chNumber, verb, "ok", {}, s.requestReceived);
        wire::Frame reply = wire::MakeFrame(id, "OK");
        reply.payload = std::move(doc);
        s.Send(reply);
    };
    if (id == 0) return;  // a client has nothing to announce
    if (verb != "PING" && verb != "WATCH" && verb != "BYE" &&
        (r.faults.refused.count("*") || r.faults.refused.count(verb))) {
        err("refused", "fault injected");
        return;
    }
    if (verb == "PING") return ok();
    if (verb == "BYE") {
        ok();
        s.CloseAfterWrite();
        return;
    }
    if (verb == "WATCH") {
        if (f.args.size() > 1 || (f.args.size() == 1 && f.args[0] != "runs"))
            return err("badrequest", "WATCH [runs]");
        s.runs = f.args.size() == 1;
        s.runSent.clear();
        SendFullPicture(r, s, now);
        s.watching = true;
        return ok();
    }
    if (verb == "LIST") {
        s.listing = Session::Listing{id, 0, r.clips.size()};
        ContinueListing(r, s);
        return;
    }
    if (verb == "CLIPINFO") {
        if (f.args.size() != 1) return err("badrequest", "CLIPINFO <name>");
        Clip* c = Model::FindClip(r, f.args[0]);
        if (!c) return err("notfound", f.args[0]);
        ListEntry(s, id, *c);
        return ok({"1"});
    }

    // Everything else names a channel.
    int64_t n = 0;
    if (f.args.empty() || !wire::ParseInt(f.args[0], -1000000, 1000000, n))
        return err("badrequest", "channel number expected");
    chNumber = static_cast<int>(n);
    if (n < 1 || n > static_cast<int64_t>(r.channels.size()))
        return err("nochannel", "channels are 1 to " + std::to_string(r.channels.size()));
    ChannelState& c = r.channels[static_cast<std::size_t>(n - 1)];
    bool recording = c.recording >= 0;
    auto intArg = [&](std::size_t i, int64_t lo, int64_t hi, int64_t& v) {
        return f.args.size() > i && wire::ParseInt(f.args[i], lo, hi, v);
    };
    auto done = [&](std::string detail = {}) {
        Notify(r, c, now);
        ok({}, std::move(detail));
    };

    if (verb == "STATUS") {
        return ok({c.word, model.TimecodeOf(c, now), ModeWord(c.mode), c.clip});
    }
    if (verb == "STOP") {
        model.Stop(r, c, now);
        return done();
    }
    if (verb == "RECORD") {
        if (f.args.size() != 2) return err("badrequest", "RECORD <ch> <name>");
        if (recording) return err("badstate", "already recording");
        model.Record(r, c, now, f.args[1]);
        Notify(r, c, now);
        return ok({c.clip}, c.clip);
    }
    if (verb == "EJECT") {
        if (recording) return err("badstate", "recording");
        model.SetMotion(c, now, 0, "Eject");
        c.loaded = false;
        c.clip.clear();
        c.mode = '-';
        return done();
    }
    if (verb == "SETCONFIG") {
        if (!f.payload) return err("badrequest", "document expected");
        std::string why;
        // The journal keeps each document whole, refused ones too.
        if (!ApplyConfigDocument(c.config, *f.payload, why)) {
            Journal(r, chNumber, verb, "badxml", why + "\n" + *f.payload, s.requestReceived);
            s.Send(wire::MakeFrame(id, "ERR", {"badxml", why}));
            return;
        }
        c.plan = PlanRecording(c.config);
        return done(*f.payload);
    }
    if (verb == "CONFIG") return payload(BuildConfigDocument(c.config));
    if (verb == "VOLUMES") {
        int64_t used = Model::UsedFrames(r);
        std::string d = "<Volumes>";
        for (const auto& item : SupportedList("supported_primary_disks")) {
            int64_t total = 1907729;
            int64_t free = item.type == "/media/primary" ? total - 200000 - used : total - 350000;
            d += "<Volume><Name>" + item.name + "</Name><Path>" + item.type + "</Path><TotalMB>" +
                 std::to_string(total) + "</TotalMB><FreeMB>" +
                 std::to_string(std::max<int64_t>(free, 0)) + "</FreeMB></Volume>";
        }
        return payload(d + "</Volumes>");
    }
    if (verb == "FILES") {
        if (f.args.size() != 2) return err("badrequest", "FILES <ch> <clip>");
        Clip* clip = Model::FindClip(r, f.args[1]);
        if (!clip) return err("notfound", f.args[1]);
        auto files = [](const std::vector<std::string>& list) {
            std::string out;
            for (const auto& file : list) out += "<File>" + EscapeText(file) + "</File>";
            return out;
        };
        std::vector<std::string> secondary;
        const ConfigBlock* master = c.config.Encoder(0);
        if (c.config.Value(master, "write_mode") != "single" && !clip->filesA.empty()) {
            std::string first = clip->filesA.front();
            std::string prim = c.config.Value(master, "primary_disk");
            std::string sec = c.config.Value(master, "secondary_disk");
            if (first.rfind(prim, 0) == 0) secondary.push_back(sec + first.substr(prim.size()));
        }
        std::string d = "<RecFileList><Clip>" + EscapeText(clip->name) +
                        "</Clip>\r\n<EncoderA><Primary>" + files(clip->filesA) +
                        "</Primary>\r\n<Secondary>" + files(secondary) +
                        "</Secondary></EncoderA>\r\n<EncoderB><Primary>" + files(clip->filesB) +
                        "</Primary></EncoderB>\r\n</RecFileList>";
        return payload(d);
    }

    // Transport.
    if (recording) return err("badstate", "recording");
    if (verb == "LOAD") {
        if (f.args.size() != 4) return err("badrequest", "LOAD <ch> <start> <duration> <name>");
        Clip* clip = Model::FindClip(r, f.args[3]);
        if (!clip) return err("notfound", f.args[3]);
        int64_t start = clip->start, dur = clip->duration;
        if (!f.args[1].empty() && !TimecodeToFrames(f.args[1], model.rate(), start))
            return err("badrequest", "start timecode");
        if (!f.args[2].empty() && !TimecodeToFrames(f.args[2], model.rate(), dur))
            return err("badrequest", "duration");
        model.Load(c, now, *clip, start, dur);
        return done(clip->name);
    }
    bool ejected = c.word == "Eject";
    auto startPlay = [&](int speed) { model.StartPlay(c, now, speed); };
    if (verb == "PLAY") {
        if (ejected) return err("badstate", "no clip");
        startPlay(100);
        return done();
    }
    if (verb == "SPEED") {
        int64_t v = 0;
        if (!intArg(1, -5000, 5000, v)) return err("badrequest", "SPEED <ch> <percent>");
        if (ejected) return err("badstate", "no clip");
        startPlay(static_cast<int>(v));
        return done();
    }
    if (verb == "WIND") {
        int64_t v = 0;
        if (!intArg(1, -1, 1, v) || v == 0) return err("badrequest", "WIND <ch> <-1|1>");
        if (ejected) return err("badstate", "no clip");
        model.SetMotion(c, now, v < 0 ? -kWindSpeed : kWindSpeed, v < 0 ? "Rewind" : "FastFwd");
        return done();
    }
    if (verb == "STEP") {
        int64_t v = 0;
        if (!intArg(1, -1, 1, v) || v == 0) return err("badrequest", "STEP <ch> <-1|1>");
        if (ejected) return err("badstate", "no clip");
        model.SetMotion(c, now, 0, "Still");
        int64_t lo = c.loaded ? c.lo : 0;
        int64_t hi = c.loaded ? c.hi : FramesPerDay(model.rate()) - 1;
        c.originFrame = std::clamp<int64_t>(c.originFrame + v, lo, hi);
        return done();
    }
    if (verb == "LOOP" || verb == "PINGPONG") {
        int64_t v = 0;
        if (!intArg(1, 0, 1, v)) return err("badrequest", verb + " <ch> <0|1>");
        char mode = verb == "LOOP" ? 'L' : 'P';
        if (v == 0) {
            if (c.mode == mode) c.mode = '-';
            return done();
        }
        if (ejected) return err("badstate", "no clip");
        c.mode = mode;
        if (c.word != "Play") startPlay(100);
        return done();
    }
    err("badrequest", "unknown request " + verb);
}

}  // namespace tarvolen::recorder
