#include "recorder/model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "recorder/naming.h"

namespace tarvolen::recorder {
namespace {

std::string JoinFiles(const std::vector<std::string>& files) {
    std::string out;
    for (const auto& f : files) {
        if (!out.empty()) out.push_back('|');
        out += f;
    }
    return out;
}

std::vector<std::string> SplitFiles(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t bar = s.find('|', start);
        if (bar == std::string::npos) bar = s.size();
        if (bar > start) out.push_back(s.substr(start, bar - start));
        start = bar + 1;
    }
    return out;
}

int FormatCode(const std::string& resolution, const std::string& fps) {
    if (resolution == "1920x1080i") {
        if (fps == "23.98") return 4;
        if (fps == "24") return 5;
        if (fps == "25") return 9;
        if (fps == "30") return 11;
        return 10;
    }
    if (resolution == "1920x1080p") {
        if (fps == "23.98") return 100;
        if (fps == "24") return 101;
        if (fps == "25") return 102;
        if (fps == "50") return 104;
        if (fps == "59.94") return 105;
        return 103;
    }
    if (resolution == "1280x720p") {
        if (fps == "59.94") return 2;
        if (fps == "50") return 14;
        if (fps == "25") return 23;
        if (fps == "30") return 22;
        return 21;
    }
    return 255;
}

int CodecCode(const std::string& codec) {
    if (codec == "dnxhd") return 144;
    if (codec == "prores") return 160;
    if (codec == "xdcam") return 113;
    if (codec == "avci" || codec == "h264") return 8;
    return 255;
}

int CompressionCode(const std::string& quality) {
    if (quality == "high") return 220;
    if (quality == "medium") return 145;
    return 36;
}

}  // namespace

RecordPlan PlanRecording(const ChannelConfig& cfg) {
    const ConfigBlock* master = cfg.Encoder(0);
    const ConfigBlock* proxy = cfg.Encoder(1);
    const ConfigBlock* input = cfg.Input(0);
    auto project = [&](const char* k) {
        auto it = cfg.project.find(k);
        return it == cfg.project.end() ? std::string() : it->second;
    };
    auto ext = [&](const ConfigBlock* e) {
        return cfg.Value(e, "wrapper") == "mov" ? std::string(".mov") : std::string(".mxf");
    };
    RecordPlan p;
    p.project = project("project_name");
    p.scene = project("scene");
    p.masterEncoder = cfg.Value(master, "name");
    p.proxyEncoder = cfg.Value(proxy, "name");
    p.masterNameTemplate = project("master_name_template");
    p.masterPathTemplate = project("master_path_template");
    p.proxyNameTemplate = project("proxy_name_template");
    p.proxyPathTemplate = project("proxy_path_template");
    p.masterDisk = cfg.Value(master, "primary_disk");
    p.proxyDisk = cfg.Value(proxy, "primary_disk");
    p.masterExt = ext(master);
    p.proxyExt = ext(proxy);
    p.format = FormatCode(cfg.Value(input, "resolution"), cfg.Value(input, "frame_rate"));
    p.codec = CodecCode(cfg.Value(master, "codec"));
    p.compression = CompressionCode(cfg.Value(master, "quality"));
    p.tracks = std::min<std::size_t>(master ? master->routing.size() : 0, 8);
    p.proxy = cfg.Value(proxy, "status") == "enabled";
    return p;
}

int64_t Model::Position(const ChannelState& c, Clock::time_point now) const {
    if (c.speed == 0) return c.originFrame;
    double secs = std::chrono::duration<double>(now - c.originTime).count();
    return c.originFrame + static_cast<int64_t>(std::floor(secs * info_.fps * c.speed / 100.0));
}

void Model::Rebase(ChannelState& c, Clock::time_point now) const {
    c.originFrame = Position(c, now);
    c.originTime = now;
}

void Model::SetMotion(ChannelState& c, Clock::time_point now, int speed, std::string word) const {
    Rebase(c, now);
    c.speed = speed;
    c.word = std::move(word);
    c.deckMotion = DeckMotion::kNone;
}

std::string Model::TimecodeOf(const ChannelState& c, Clock::time_point now) const {
    if (c.word == "Eject") return "--:--:--:--";
    return FramesToTimecode(Position(c, now), rate_);
}

void Model::Advance(RecorderModel& r, ChannelState& c, Clock::time_point now) const {
    if (c.speed == 0) return;
    int64_t pos = Position(c, now);
    if (c.recording >= 0) {
        r.clips[c.recording].duration = std::max<int64_t>(0, pos - r.clips[c.recording].start);
        return;
    }
    bool playing = c.word == "Play" || c.word == "Reverse";
    int64_t lo = c.loaded ? c.lo : 0;
    int64_t hi = c.loaded ? c.hi : FramesPerDay(rate_) - 1;
    if (pos > hi) {
        if (playing && c.mode == 'L') {
            c.originFrame = lo, c.originTime = now;
        } else if (playing && c.mode == 'P') {
            c.originFrame = hi, c.originTime = now, c.speed = -std::abs(c.speed);
            c.word = "Reverse";
        } else {
            c.originFrame = hi, c.originTime = now, c.speed = 0, c.word = "Stop";
            c.deckMotion = DeckMotion::kNone;
        }
    } else if (pos < lo) {
        if (playing && c.mode == 'P') {
            c.originFrame = lo, c.originTime = now, c.speed = std::abs(c.speed);
            c.word = "Play";
        } else if (playing && c.mode == 'L') {
            c.originFrame = hi, c.originTime = now;
        } else {
            c.originFrame = lo, c.originTime = now, c.speed = 0, c.word = "Stop";
            c.deckMotion = DeckMotion::kNone;
        }
    }
}

void Model::StartPlay(ChannelState& c, Clock::time_point now, int speed) const {
    Rebase(c, now);
    if (c.loaded && speed > 0 && c.originFrame >= c.hi) c.originFrame = c.lo;
    if (c.loaded && speed < 0 && c.originFrame <= c.lo) c.originFrame = c.hi;
    c.speed = speed;
    c.word = speed == 0 ? "Still" : speed > 0 ? "Play" : "Reverse";
    c.deckMotion = DeckMotion::kNone;
}

void Model::Stop(RecorderModel& r, ChannelState& c, Clock::time_point now) const {
    FinishRecording(r, c, now);
    SetMotion(c, now, 0, c.word == "Eject" ? "Eject" : "Stop");  // an empty deck stays empty
    c.mode = '-';
}

std::string Model::Record(RecorderModel& r, ChannelState& c, Clock::time_point now,
                          const std::string& requested) const {
    Rebase(c, now);
    AddClip(r, MakeClip(r, c, requested));
    c.recording = static_cast<int>(r.clips.size()) - 1;
    c.clip = r.clips.back().name;
    c.loaded = false;
    c.mode = '-';
    c.originFrame = r.clips.back().start;
    c.originTime = now;
    c.speed = 100;
    c.word = "Record";
    c.deckMotion = DeckMotion::kNone;
    SaveState(r);
    return c.clip;
}

void Model::Load(ChannelState& c, Clock::time_point now, const Clip& clip, int64_t start,
                 int64_t duration) const {
    SetMotion(c, now, 0, "Stop");
    c.loaded = true;
    c.lo = start;
    c.hi = start + std::max<int64_t>(duration, 1) - 1;
    c.originFrame = start;
    c.clip = clip.name;
    c.mode = '-';
}

std::string Model::NewGuid(RecorderModel& r) {
    uint64_t a = r.random(), b = r.random();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xffff), static_cast<unsigned>(a & 0xfff),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3fff)),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return buf;
}

Clip* Model::FindClip(RecorderModel& r, const std::string& name) {
    auto it = r.clipIndex.find(name);
    return it == r.clipIndex.end() ? nullptr : &r.clips[it->second];
}

void Model::AddClip(RecorderModel& r, Clip c) {
    r.clipIndex.emplace(c.name, r.clips.size());
    r.clips.push_back(std::move(c));
}

Clip Model::Current(const RecorderModel& r, std::size_t index, Clock::time_point now) const {
    Clip copy = r.clips[index];
    if (!copy.recording) return copy;
    for (const auto& ch : r.channels)
        if (ch.recording >= 0 && r.clips[ch.recording].name == copy.name)
            copy.duration = std::max<int64_t>(0, Position(ch, now) - copy.start);
    return copy;
}

int64_t Model::UsedFrames(const RecorderModel& r) {
    int64_t used = 0;
    for (const auto& clip : r.clips) used += clip.duration;
    return used;
}

std::string Model::UniqueName(RecorderModel& r, std::string name) const {
    if (!FindClip(r, name)) return name;
    for (int k = 2;; ++k) {
        std::string suffix = "_" + std::to_string(k);
        std::string base = name.substr(0, kMaxClipName - suffix.size());
        if (!FindClip(r, base + suffix)) return base + suffix;
    }
}

static std::string JoinPath(std::string disk, const std::string& rest) {
    while (!disk.empty() && disk.back() == '/') disk.pop_back();
    if (rest.empty()) return disk;
    return disk + "/" + (rest.front() == '/' ? rest.substr(1) : rest);
}

Clip Model::MakeClip(RecorderModel& r, ChannelState& c, const std::string& requested) const {
    const RecordPlan& plan = c.plan;
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    NamingContext ctx;
    ctx.project = plan.project;
    ctx.scene = plan.scene;
    ctx.encoder = plan.masterEncoder;
    ctx.startTimecode = FramesToTimecode(c.nextRecord, rate_);
    ctx.when = local;

    Clip clip;
    std::string name = requested == "?" || requested.empty()
                           ? SanitizeName(ExpandTemplate(plan.masterNameTemplate, ctx))
                           : SanitizeName(requested);
    ++r.clipCounter;
    if (name.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Clip_%04d", r.clipCounter);
        name = buf;
    }
    clip.name = UniqueName(r, name);
    clip.guid = NewGuid(r);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    clip.dateTime = when;
    clip.start = c.nextRecord;
    clip.channel = c.number;
    clip.format = plan.format;
    clip.codec = plan.codec;
    clip.compression = plan.compression;
    clip.recording = true;

    std::string dir = JoinPath(plan.masterDisk, ExpandTemplate(plan.masterPathTemplate, ctx));
    clip.filesA.reserve(1 + plan.tracks);
    clip.filesA.push_back(dir + "/" + clip.name + "_avmxf_v1" + plan.masterExt);
    for (std::size_t k = 1; k <= plan.tracks; ++k)
        clip.filesA.push_back(dir + "/" + clip.name + "_avmxf_a" + std::to_string(k) +
                              plan.masterExt);
    if (plan.proxy) {
        NamingContext pctx = std::move(ctx);
        pctx.proxy = true;
        pctx.encoder = plan.proxyEncoder;
        std::string pname = SanitizeName(ExpandTemplate(plan.proxyNameTemplate, pctx));
        if (pname.empty()) pname = clip.name + "_proxy";
        std::string pdir = JoinPath(plan.proxyDisk, ExpandTemplate(plan.proxyPathTemplate, pctx));
        clip.filesB.push_back(pdir + "/" + pname + "_avmxf_v1" + plan.proxyExt);
    }
    return clip;
}

void Model::FinishRecording(RecorderModel& r, ChannelState& c, Clock::time_point now) const {
    if (c.recording < 0) return;
    Rebase(c, now);
    Clip& clip = r.clips[c.recording];
    clip.duration = std::max<int64_t>(0, c.originFrame - clip.start);
    clip.recording = false;
    c.nextRecord = clip.start + clip.duration;
    c.loaded = true;
    c.lo = clip.start;
    c.hi = clip.start + std::max<int64_t>(clip.duration, 1) - 1;
    c.recording = -1;
    SaveState(r);
}

std::string Model::StateFile(const RecorderModel& r) const {
    return (std::filesystem::path(stateDir_) / (r.address + ".clips")).string();
}

void Model::SaveState(RecorderModel& r) const {
    r.lastSave = Clock::now();
    if (stateDir_.empty()) return;
    std::string path = StateFile(r);
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return;
        out << "tarvolen-recorder clips 1\ncounter\t" << r.clipCounter << "\n";
        for (const auto& c : r.clips)
            out << c.name << '\t' << c.guid << '\t' << c.dateTime << '\t' << c.start << '\t'
                << c.duration << '\t' << c.channel << '\t' << c.format << '\t' << c.codec << '\t'
                << c.compression << '\t' << JoinFiles(c.filesA) << '\t' << JoinFiles(c.filesB)
                << '\n';
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
}

void Model::LoadState(RecorderModel& r) const {
    if (stateDir_.empty()) return;
    std::ifstream in(StateFile(r));
    std::string line;
    if (!in || !std::getline(in, line) || line != "tarvolen-recorder clips 1") return;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t')) f.push_back(field);
        if (f.size() == 2 && f[0] == "counter") {
            r.clipCounter = std::atoi(f[1].c_str());
            continue;
        }
        if (f.size() < 9) continue;
        Clip c;
        c.name = SanitizeName(f[0]);
        c.guid = f[1];
        c.dateTime = f[2];
        c.start = std::atoll(f[3].c_str());
        c.duration = std::atoll(f[4].c_str());
        c.channel = std::atoi(f[5].c_str());
        c.format = std::atoi(f[6].c_str()) & 0xff;
        c.codec = std::atoi(f[7].c_str()) & 0xff;
        c.compression = std::atoi(f[8].c_str()) & 0xff;
        if (f.size() > 9) c.filesA = SplitFiles(f[9]);
        if (f.size() > 10) c.filesB = SplitFiles(f[10]);
        if (c.name.empty() || c.guid.size() != 36 || FindClip(r, c.name)) continue;
        AddClip(r, std::move(c));
    }
}

void Model::ResetChannels(RecorderModel& r, int channels) const {
    auto now = Clock::now();
    int64_t hour = 0;
    TimecodeToFrames("01:00:00;00", rate_, hour);
    r.channels.clear();
    for (int k = 1; k <= channels; ++k) {
        ChannelState c;
        c.number = k;
        c.config = DefaultConfig(k, rate_);
        c.plan = PlanRecording(c.config);
        c.nextRecord = hour;
        for (const auto& clip : r.clips) {
            if (clip.channel != k) continue;
            c.nextRecord = std::max(c.nextRecord, clip.start + clip.duration);
            c.clip = clip.name;
            c.loaded = true;
            c.lo = clip.start;
            c.hi = clip.start + std::max<int64_t>(clip.duration, 1) - 1;
        }
        c.originFrame = c.nextRecord;
        c.originTime = now;
        r.channels.push_back(std::move(c));
    }
}

}  // namespace tarvolen::recorder
