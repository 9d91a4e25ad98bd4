#include "recorder/bank.h"

#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "recorder/config_doc.h"
#include "recorder/naming.h"

namespace tarvolen::recorder {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
constexpr std::size_t kMaxLoops = 4;               // I/O threads of a bank, at most one per core
constexpr std::size_t kMaxQueuedOutput = 8 << 20;  // a client that reads nothing is dropped
// Above this much unsent output a session reads no further requests and a
// listing waits: a client that asks faster than it reads is slowed, not reset.
constexpr std::size_t kBackPressure = 256 << 10;
constexpr int kWindSpeed = 1000;  // percent of normal speed

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string JsonText(std::string_view s) {
    std::string out = "\"";
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(ch);
        }
    }
    return out + "\"";
}

std::string IsoTime(int64_t micros) {
    std::time_t secs = static_cast<std::time_t>(micros / 1000000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(micros % 1000000));
    return buf;
}

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

std::string ModeWord(char mode) {
    return mode == 'L' ? "loop" : mode == 'P' ? "pingpong" : "none";
}

int CompressionCode(const std::string& quality) {
    if (quality == "high") return 220;
    if (quality == "medium") return 145;
    return 36;
}

}  // namespace

struct Clip {
    std::string name;
    std::string guid;
    std::string dateTime;
    int64_t start = 0;
    int64_t duration = 0;
    int channel = 0;
    int format = 0;
    int codec = 0;
    int compression = 0;
    bool recording = false;
    std::vector<std::string> filesA;
    std::vector<std::string> filesB;
};

// What a recording takes from the channel's configuration, read once per
// change of it: walking the configuration's maps at every RECORD cost more
// than the rest of the request when the bank starts 24 at once.
struct RecordPlan {
    std::string project, scene;
    std::string masterEncoder, proxyEncoder;  // %E
    std::string masterNameTemplate, masterPathTemplate;
    std::string proxyNameTemplate, proxyPathTemplate;
    std::string masterDisk, proxyDisk;
    std::string masterExt, proxyExt;  // ".mxf" or ".mov"
    int format = 0, codec = 0, compression = 0;
    std::size_t tracks = 0;  // audio files beside the master's video, at most 8
    bool proxy = false;
};

static RecordPlan PlanRecording(const ChannelConfig& cfg) {
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

struct ChannelState {
    int number = 1;
    std::string word = "Stop";
    char mode = '-';
    int speed = 0;  // percent of normal speed
    int64_t originFrame = 0;
    Clock::time_point originTime{};
    bool loaded = false;
    int64_t lo = 0, hi = 0;  // playable range of the loaded clip, inclusive
    std::string clip;        // the clip the channel is on
    int recording = -1;      // index of the clip being recorded
    int64_t nextRecord = 0;  // timecode the next recording starts at
    ChannelConfig config;
    RecordPlan plan;  // follows config
    // What the watchers last heard.
    std::string sentWord, sentTimecode, sentClip;
    char sentMode = 0;
    bool sentAny = false;
};

struct Faults {
    bool silent = false;  // says nothing at all, not even the greeting
    bool mute = false;    // greets, then says nothing
    // Answer delay of every request, in order as a network would: fixed
    // (min == max) or drawn per request.
    std::chrono::milliseconds latencyMin{0}, latencyMax{0};
    // Requests that take this long to carry out; others are answered meanwhile.
    std::map<std::string, std::chrono::milliseconds> slowVerbs;
    int garbleNext = 0;
    int garbleEvery = 0;  // garble one frame in every N
    int sentCount = 0;
    std::chrono::milliseconds dropEvery{0};
    std::chrono::milliseconds cutEvery{0};       // close mid-frame
    std::chrono::milliseconds oversizeEvery{0};  // a payload over the bound
    std::set<std::string> refused;               // verbs; "*" every command
};

struct Session;

// An I/O loop and the thread that runs it.
struct Loop {
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
};

// Everything of a recorder runs on its loop, one thread: the bank's loops
// serve recorders side by side, as machines of their own would be.
struct Recorder {
    Recorder(std::string a, asio::io_context& loop)
        : address(std::move(a)), io(loop), ticker(loop) {}
    std::string address;
    asio::io_context& io;
    asio::steady_timer ticker;
    std::mt19937_64 random{std::random_device{}()};
    std::unique_ptr<tcp::acceptor> acceptor;
    std::set<std::shared_ptr<Session>> sessions;
    std::vector<ChannelState> channels;
    std::vector<Clip> clips;
    // Clip name to its index in clips, the first of that name: a lookup walked
    // every stored name, and RECORD makes one or more.
    std::unordered_map<std::string, std::size_t> clipIndex;
    int clipCounter = 0;
    Faults faults;
    bool running = false;
    Clock::time_point lastDrop{}, lastCut{}, lastOversize{};
    Clock::time_point lastSave{};
};

struct Bank::Impl {
    BankOptions options;
    std::vector<std::unique_ptr<Loop>> loops;  // outlive the recorders on them
    bool running = false;
    std::vector<std::unique_ptr<Recorder>> recorders;
    uint16_t port = 0;
    RateInfo rate{};

    mutable std::mutex journalMutex;
    std::deque<JournalEntry> journal;
    std::FILE* journalFile = nullptr;

    explicit Impl(BankOptions o) : options(std::move(o)), rate(Info(options.rate)) {
        unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        std::size_t count = std::min<std::size_t>(
            {cores, kMaxLoops, std::max<std::size_t>(options.addresses.size(), 1)});
        for (std::size_t k = 0; k < count; ++k) loops.push_back(std::make_unique<Loop>());
    }

    // Runs f on the recorder's loop and waits for it.
    template <class F>
    auto On(Recorder& r, F f) -> decltype(f()) {
        if (!running || r.io.get_executor().running_in_this_thread()) return f();
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto future = task.get_future();
        asio::post(r.io, [&task] { task(); });
        return future.get();
    }

    // The same for the recorder at address; f gets nullptr when there is none.
    template <class F>
    auto Call(const std::string& address, F f) -> decltype(f(nullptr)) {
        Recorder* r = Find(address);
        if (!r) return f(nullptr);
        return On(*r, [&] { return f(r); });
    }

    Recorder* Find(const std::string& address) {
        for (auto& r : recorders)
            if (r->address == address) return r.get();
        return nullptr;
    }

    void Journal(const Recorder& r, int channel, std::string request, std::string outcome,
                 std::string detail = {}, int64_t received = 0) {
        JournalEntry e{NowMicros(),        r.address,         channel, std::move(request),
                       std::move(outcome), std::move(detail), received};
        std::lock_guard lock(journalMutex);
        if (journalFile) {
            std::string line =
                "{\"time\":" + JsonText(IsoTime(e.micros)) + ",\"us\":" + std::to_string(e.micros) +
                ",\"address\":" + JsonText(e.address) +
                ",\"channel\":" + std::to_string(e.channel) +
                ",\"request\":" + JsonText(e.request) + ",\"outcome\":" + JsonText(e.outcome);
            if (!e.detail.empty()) line += ",\"detail\":" + JsonText(e.detail);
            if (e.received != 0) line += ",\"received_us\":" + std::to_string(e.received);
            line += "}\n";
            std::fwrite(line.data(), 1, line.size(), journalFile);
            std::fflush(journalFile);
        }
        journal.push_back(std::move(e));
        if (journal.size() > 200000) journal.pop_front();
    }

    // --- transport -------------------------------------------------------

    int64_t Position(const ChannelState& c, Clock::time_point now) const {
        if (c.speed == 0) return c.originFrame;
        double secs = std::chrono::duration<double>(now - c.originTime).count();
        return c.originFrame + static_cast<int64_t>(std::floor(secs * rate.fps * c.speed / 100.0));
    }
    void Rebase(ChannelState& c, Clock::time_point now) {
        c.originFrame = Position(c, now);
        c.originTime = now;
    }
    void SetMotion(ChannelState& c, Clock::time_point now, int speed, std::string word) {
        Rebase(c, now);
        c.speed = speed;
        c.word = std::move(word);
    }

    std::string TimecodeOf(const ChannelState& c, Clock::time_point now) const {
        if (c.word == "Eject") return "--:--:--:--";
        return FramesToTimecode(Position(c, now), options.rate);
    }

    // Keeps a moving channel inside its clip: end of clip, loop, ping-pong.
    void Advance(Recorder& r, ChannelState& c, Clock::time_point now) {
        if (c.speed == 0) return;
        int64_t pos = Position(c, now);
        if (c.recording >= 0) {
            r.clips[c.recording].duration = std::max<int64_t>(0, pos - r.clips[c.recording].start);
            return;
        }
        bool playing = c.word == "Play" || c.word == "Reverse";
        int64_t lo = c.loaded ? c.lo : 0;
        int64_t hi = c.loaded ? c.hi : FramesPerDay(options.rate) - 1;
        if (pos > hi) {
            if (playing && c.mode == 'L') {
                c.originFrame = lo, c.originTime = now;
            } else if (playing && c.mode == 'P') {
                c.originFrame = hi, c.originTime = now, c.speed = -std::abs(c.speed);
                c.word = "Reverse";
            } else {
                c.originFrame = hi, c.originTime = now, c.speed = 0, c.word = "Stop";
            }
        } else if (pos < lo) {
            if (playing && c.mode == 'P') {
                c.originFrame = lo, c.originTime = now, c.speed = std::abs(c.speed);
                c.word = "Play";
            } else if (playing && c.mode == 'L') {
                c.originFrame = hi, c.originTime = now;
            } else {
                c.originFrame = lo, c.originTime = now, c.speed = 0, c.word = "Stop";
            }
        }
    }

    wire::Frame StatusFrame(const ChannelState& c, const std::string& tc) const {
        return wire::MakeFrame(0, "ST", {std::to_string(c.number), c.word, tc, ModeWord(c.mode)});
    }

    void Notify(Recorder& r, ChannelState& c, Clock::time_point now);
    void SendFullPicture(Recorder& r, Session& s, Clock::time_point now);

    void Tick(Recorder& r) {
        auto now = Clock::now();
        if (r.running) {
            bool recording = false;
            for (auto& c : r.channels) {
                bool moving = c.speed != 0;
                Advance(r, c, now);
                recording = recording || c.recording >= 0;
                if (moving || !c.sentAny) Notify(r, c, now);
            }
            if (recording && now - r.lastSave > std::chrono::seconds(1)) SaveState(r);
            if (r.faults.dropEvery.count() > 0 && now - r.lastDrop > r.faults.dropEvery) {
                r.lastDrop = now;
                CloseSessions(r);
            }
            if (r.faults.cutEvery.count() > 0 && now - r.lastCut > r.faults.cutEvery) {
                r.lastCut = now;
                CutSessions(r);
            }
            if (r.faults.oversizeEvery.count() > 0 &&
                now - r.lastOversize > r.faults.oversizeEvery) {
                r.lastOversize = now;
                SendOversize(r);
            }
        }
        r.ticker.expires_at(r.ticker.expiry() + kTick);
        if (r.ticker.expiry() < Clock::now()) r.ticker.expires_after(kTick);
        StartTicking(r);
    }

    void StartTicking(Recorder& r) {
        r.ticker.async_wait([this, &r](const asio::error_code& ec) {
            if (!ec) Tick(r);
        });
    }

    // --- clips -------------------------------------------------------------

    static std::string NewGuid(Recorder& r) {
        uint64_t a = r.random(), b = r.random();
        char buf[40];
        std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx",
                      static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xffff),
                      static_cast<unsigned>(a & 0xfff),
                      static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3fff)),
                      static_cast<unsigned long long>(b & 0xffffffffffffULL));
        return buf;
    }

    static Clip* FindClip(Recorder& r, const std::string& name) {
        auto it = r.clipIndex.find(name);
        return it == r.clipIndex.end() ? nullptr : &r.clips[it->second];
    }

    static void AddClip(Recorder& r, Clip c) {
        r.clipIndex.emplace(c.name, r.clips.size());
        r.clips.push_back(std::move(c));
    }

    std::string UniqueName(Recorder& r, std::string name) {
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

    Clip MakeClip(Recorder& r, ChannelState& c, const std::string& requested) {
        const RecordPlan& plan = c.plan;
        std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        NamingContext ctx;
        ctx.project = plan.project;
        ctx.scene = plan.scene;
        ctx.encoder = plan.masterEncoder;
        ctx.startTimecode = FramesToTimecode(c.nextRecord, options.rate);
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
            std::string pdir =
                JoinPath(plan.proxyDisk, ExpandTemplate(plan.proxyPathTemplate, pctx));
            clip.filesB.push_back(pdir + "/" + pname + "_avmxf_v1" + plan.proxyExt);
        }
        return clip;
    }

    void FinishRecording(Recorder& r, ChannelState& c, Clock::time_point now) {
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

    std::string StateFile(const Recorder& r) const {
        return (std::filesystem::path(options.stateDir) / (r.address + ".clips")).string();
    }

    void SaveState(Recorder& r) {
        r.lastSave = Clock::now();
        if (options.stateDir.empty()) return;
        std::string path = StateFile(r);
        std::string tmp = path + ".tmp";
        {
            std::ofstream out(tmp, std::ios::trunc);
            if (!out) return;
            out << "tarvolen-recorder clips 1\ncounter\t" << r.clipCounter << "\n";
            for (const auto& c : r.clips)
                out << c.name << '\t' << c.guid << '\t' << c.dateTime << '\t' << c.start << '\t'
                    << c.duration << '\t' << c.channel << '\t' << c.format << '\t' << c.codec
                    << '\t' << c.compression << '\t' << JoinFiles(c.filesA) << '\t'
                    << JoinFiles(c.filesB) << '\n';
        }
        std::error_code ec;
        std::filesystem::rename(tmp, path, ec);
    }

    void LoadState(Recorder& r) {
        if (options.stateDir.empty()) return;
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

    void ResetChannels(Recorder& r) {
        auto now = Clock::now();
        int64_t hour = 0;
        TimecodeToFrames("01:00:00;00", options.rate, hour);
        r.channels.clear();
        for (int k = 1; k <= options.channels; ++k) {
            ChannelState c;
            c.number = k;
            c.config = DefaultConfig(k, options.rate);
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

    // --- sessions ---------------------------------------------------------

    bool OpenRecorder(Recorder& r, uint16_t port, std::string& error);
    void CloseSessions(Recorder& r);
    void CutSessions(Recorder& r);
    void SendOversize(Recorder& r);
    // Sends listing entries while the session's output has room; the OK
    // when all are out.
    void ContinueListing(Recorder& r, Session& s);
    void Accept(Recorder& r);
    void Handle(Recorder& r, Session& s, const wire::Frame& f);
    void ListEntry(Session& s, uint32_t id, const Clip& c);
};

struct Session : std::enable_shared_from_this<Session> {
    Bank::Impl& bank;
    Recorder& recorder;
    tcp::socket socket;
    wire::Decoder decoder;
    std::array<char, 16384> buffer{};
    std::string pending, inflight;
    bool writing = false;
    bool reading = false;
    bool closed = false;
    bool closeAfterWrite = false;
    bool flushPosted = false;
    bool watching = false;
    // Replies to the requests being carried out gather and go out in one
    // write when the last is done, without another turn of the I/O loop.
    int carrying = 0;
    struct Carrying {
        Session& s;
        explicit Carrying(Session& session) : s(session) { ++s.carrying; }
        ~Carrying() {
            if (--s.carrying == 0 && !s.writing) s.Flush();
        }
        Carrying(const Carrying&) = delete;
        Carrying& operator=(const Carrying&) = delete;
    };
    // A listing being sent: its request id, the next clip and the count.
    struct Listing {
        uint32_t id = 0;
        std::size_t next = 0, count = 0;
    };
    std::optional<Listing> listing;
    // Requests held back by the latency fault, in arrival order.
    struct Held {
        Clock::time_point due;
        wire::Frame frame;
        int64_t received;
    };
    std::deque<Held> delayed;
    // When the bytes last read reached the socket, by the kernel's clock, and
    // when the request being carried out reached the recorder: that time plus
    // the emulated network's delay. Recorders being machines of their own,
    // this is when each could start on it, whatever this bank is busy with.
    int64_t receivedMicros = 0;
    int64_t requestReceived = 0;
    Clock::time_point lastDue{};
    asio::steady_timer delayTimer;

    Session(Bank::Impl& b, Recorder& r, tcp::socket s)
        : bank(b), recorder(r), socket(std::move(s)), delayTimer(r.io) {}

    void Start() {
        if (!recorder.faults.silent) {
            Send(wire::MakeFrame(0, "HELLO",
                                 {std::to_string(wire::kProtocolVersion),
                                  std::to_string(recorder.channels.size()), recorder.address}));
        }
        Pump();
    }

    std::size_t Queued() const { return pending.size() + inflight.size(); }
    bool Backlogged() const { return Queued() > kBackPressure; }

    // Feeds the decoder what has come, with the kernel's time of its arrival;
    // false when nothing has (or the connection went).
    bool ReadNow() {
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        iovec iov{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(socket.native_handle(), &msg, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return false;
        if (n <= 0) {
            Close();
            return false;
        }
        receivedMicros = NowMicros();
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec t;
                std::memcpy(&t, CMSG_DATA(c), sizeof t);
                receivedMicros = int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
            }
        }
        decoder.Feed(buffer.data(), static_cast<std::size_t>(n));
        return true;
    }

    void WaitReadable() {
        reading = true;
        auto self = shared_from_this();
        socket.async_wait(tcp::socket::wait_read, [self](const asio::error_code& ec) {
            self->reading = false;
            if (ec || self->closed) {
                self->Close();
                return;
            }
            self->Pump();
        });
    }

    // Handles the requests the decoder holds until it needs more bytes, a
    // listing is being sent, or the output backs up; the write that drains
    // the output calls it again.
    void Pump() {
        Carrying carrying(*this);
        while (!closed && !listing && !Backlogged()) {
            wire::Frame f;
            auto st = decoder.Next(f);
            if (st == wire::Decoder::Status::kNeedMore) {
                // Read at once, and wait only when nothing has come: a wait
                // alone could miss bytes that came while none was pending.
                if (reading) return;
                if (ReadNow()) continue;
                if (!closed) WaitReadable();
                return;
            }
            if (st == wire::Decoder::Status::kError) {
                bank.Journal(recorder, 0, "protocol", "error", decoder.Error());
                SendRawBytes(
                    wire::Encode(wire::MakeFrame(0, "ERROR", {"protocol", decoder.Error()})));
                CloseAfterWrite();
                return;
            }
            Arrived(std::move(f));
        }
    }

    void Arrived(wire::Frame f) {
        const Faults& faults = recorder.faults;
        if (faults.silent || faults.mute) return;
        auto now = Clock::now();
        auto latency = faults.latencyMin;
        if (faults.latencyMax > faults.latencyMin) {
            std::uniform_int_distribution<int64_t> pick(faults.latencyMin.count(),
                                                        faults.latencyMax.count());
            latency = std::chrono::milliseconds(pick(recorder.random));
        }
        int64_t received =
            receivedMicros + std::chrono::duration_cast<std::chrono::microseconds>(latency).count();
        if (latency.count() <= 0 && delayed.empty()) {
            Carry(std::move(f), received);
            return;
        }
        // A network delays but does not reorder.
        Clock::time_point due = std::max(now + latency, lastDue);
        lastDue = due;
        delayed.push_back({due, std::move(f), received});
        if (delayed.size() == 1) ArmDelay();
    }

    void ArmDelay() {
        if (delayed.empty()) return;
        delayTimer.expires_at(delayed.front().due);
        auto self = shared_from_this();
        delayTimer.async_wait([self](const asio::error_code& e) {
            if (e || self->closed) return;
            Carrying carrying(*self);
            auto now = Clock::now();
            while (!self->delayed.empty() && self->delayed.front().due <= now) {
                Held held = std::move(self->delayed.front());
                self->delayed.pop_front();
                self->Carry(std::move(held.frame), held.received);
                if (self->closed) return;
            }
            self->ArmDelay();
        });
    }

    // A request whose verb is slow is carried out later; others at once.
    void Carry(wire::Frame f, int64_t received) {
        auto slow = recorder.faults.slowVerbs.find(f.verb);
        if (slow == recorder.faults.slowVerbs.end() || slow->second.count() <= 0) {
            requestReceived = received;
            bank.Handle(recorder, *this, f);
            return;
        }
        auto timer = std::make_shared<asio::steady_timer>(recorder.io, slow->second);
        auto self = shared_from_this();
        timer->async_wait([self, timer, f = std::move(f), received](const asio::error_code& e) {
            if (e || self->closed) return;
            self->requestReceived = received;
            self->bank.Handle(self->recorder, *self, f);
        });
    }

    void Send(const wire::Frame& f) {
        std::string bytes;
        if (!wire::Encode(f, bytes)) {
            // Too long for a line: the longest texts are cut until it fits,
            // so the client still gets its answer.
            wire::Frame cut = f;
            while (!wire::Encode(cut, bytes)) {
                auto longest = std::max_element(
                    cut.args.begin(), cut.args.end(),
                    [](const std::string& x, const std::string& y) { return x.size() < y.size(); });
                if (longest == cut.args.end() || longest->size() < 2) return;
                longest->resize(longest->size() / 2);
            }
            bank.Journal(recorder, 0, "reply", "truncated", f.verb);
        }
        Faults& faults = recorder.faults;
        ++faults.sentCount;
        if (faults.garbleNext > 0 ||
            (faults.garbleEvery > 0 && faults.sentCount % faults.garbleEvery == 0)) {
            if (faults.garbleNext > 0) --faults.garbleNext;
            bytes = "\x01\xfe garbled \x7f\x02\n";
            bank.Journal(recorder, 0, "fault", "garbled", f.verb);
        }
        SendRawBytes(std::move(bytes));
    }

    void SendRawBytes(std::string bytes) {
        if (closed) return;
        if (Queued() + bytes.size() > kMaxQueuedOutput) {
            bank.Journal(recorder, 0, "session", "dropped", "client does not read");
            Close();
            return;
        }
        pending += bytes;
        // Written once the handlers now due have run: what they send goes out
        // in one write, and requests that came together are carried out
        // together.
        if (writing || flushPosted || carrying > 0) return;
        flushPosted = true;
        asio::post(recorder.io, [self = shared_from_this()] {
            self->flushPosted = false;
            if (!self->writing) self->Flush();
        });
    }

    void CloseAfterWrite() {
        closeAfterWrite = true;
        if (!writing && pending.empty()) Close();
    }

    void Flush() {
        if (pending.empty() || closed) {
            if (closeAfterWrite) Close();
            return;
        }
        writing = true;
        inflight.swap(pending);
        pending.clear();
        auto self = shared_from_this();
        asio::async_write(socket, asio::buffer(inflight),
                          [self](const asio::error_code& ec, std::size_t) {
                              self->writing = false;
                              self->inflight.clear();
                              if (ec) {
                                  self->Close();
                                  return;
                              }
                              self->Flush();
                              self->Drained();
                          });
    }

    // Output went out: a listing goes on, held-back requests are read.
    void Drained() {
        if (closed || Backlogged()) return;
        if (listing) bank.ContinueListing(recorder, *this);
        Pump();
    }

    void Close() {
        if (closed) return;
        closed = true;
        asio::error_code ec;
        delayTimer.cancel();
        socket.shutdown(tcp::socket::shutdown_both, ec);
        socket.close(ec);
        recorder.sessions.erase(shared_from_this());
    }
};

void Bank::Impl::Notify(Recorder& r, ChannelState& c, Clock::time_point now) {
    if (r.faults.silent || r.faults.mute) return;
    std::string tc = TimecodeOf(c, now);
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
        if (stChanged) s->Send(StatusFrame(c, tc));
        if (clipChanged) s->Send(wire::MakeFrame(0, "CLIP", {std::to_string(c.number), c.clip}));
    }
}

void Bank::Impl::SendFullPicture(Recorder& r, Session& s, Clock::time_point now) {
    for (auto& c : r.channels) {
        Notify(r, c, now);  // others first, so this session's picture is not overtaken
        s.Send(StatusFrame(c, TimecodeOf(c, now)));
        s.Send(wire::MakeFrame(0, "CLIP", {std::to_string(c.number), c.clip}));
    }
}

bool Bank::Impl::OpenRecorder(Recorder& r, uint16_t port, std::string& error) {
    asio::error_code ec;
    auto addr = asio::ip::make_address_v4(r.address, ec);
    if (ec) {
        error = r.address + ": not an IPv4 address";
        return false;
    }
    auto acceptor = std::make_unique<tcp::acceptor>(r.io);
    tcp::endpoint ep(addr, port);
    acceptor->open(ep.protocol(), ec);
    if (!ec) acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor->bind(ep, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = r.address + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    r.acceptor = std::move(acceptor);
    r.running = true;
    ResetChannels(r);
    Journal(r, 0, "start", "ok", std::to_string(port));
    Accept(r);
    return true;
}

void Bank::Impl::CloseSessions(Recorder& r) {
    auto sessions = r.sessions;
    for (const auto& s : sessions) s->Close();
}

void Bank::Impl::CutSessions(Recorder& r) {
    auto sessions = r.sessions;
    for (const auto& s : sessions) {
        // Half a frame, then the connection goes.
        asio::error_code ec;
        asio::write(s->socket, asio::buffer(std::string("* ST 1 Rec")), ec);
        s->Close();
    }
    Journal(r, 0, "fault", "cut");
}

void Bank::Impl::SendOversize(Recorder& r) {
    std::string bytes = "* CONFIG #" + std::to_string(wire::kMaxPayload + 1) + "\n";
    bytes += std::string(wire::kMaxPayload + 1, 'x') + "\n";
    auto sessions = r.sessions;
    for (const auto& s : sessions) s->SendRawBytes(bytes);
    Journal(r, 0, "fault", "oversize");
}

void Bank::Impl::Accept(Recorder& r) {
    if (!r.acceptor) return;
    r.acceptor->async_accept([this, &r](const asio::error_code& ec, tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && r.acceptor) Accept(r);
            return;
        }
        socket.set_option(tcp::no_delay(true));
        int on = 1;  // arrival times of requests, for the journal
        ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        auto s = std::make_shared<Session>(*this, r, std::move(socket));
        r.sessions.insert(s);
        Journal(r, 0, "connect", "ok");
        s->Start();
        Accept(r);
    });
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
        Clip copy = c;
        for (const auto& ch : r.channels)
            if (ch.recording >= 0 && r.clips[ch.recording].name == c.name)
                copy.duration = std::max<int64_t>(0, Position(ch, now) - c.start);
        ListEntry(s, l.id, copy);
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
                           {c.guid, date, time, FramesToTimecode(c.start, options.rate),
                            FramesToTimecode(c.duration, options.rate), std::to_string(c.format),
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
        Clip* c = FindClip(r, f.args[0]);
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
        return ok({c.word, TimecodeOf(c, now), ModeWord(c.mode), c.clip});
    }
    if (verb == "STOP") {
        FinishRecording(r, c, now);
        SetMotion(c, now, 0, c.word == "Eject" ? "Eject" : "Stop");  // an empty deck stays empty
        c.mode = '-';
        return done();
    }
    if (verb == "RECORD") {
        if (f.args.size() != 2) return err("badrequest", "RECORD <ch> <name>");
        if (recording) return err("badstate", "already recording");
        Rebase(c, now);
        AddClip(r, MakeClip(r, c, f.args[1]));
        c.recording = static_cast<int>(r.clips.size()) - 1;
        c.clip = r.clips.back().name;
        c.loaded = false;
        c.mode = '-';
        c.originFrame = r.clips.back().start;
        c.originTime = now;
        c.speed = 100;
        c.word = "Record";
        SaveState(r);
        Notify(r, c, now);
        return ok({c.clip}, c.clip);
    }
    if (verb == "EJECT") {
        if (recording) return err("badstate", "recording");
        SetMotion(c, now, 0, "Eject");
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
        int64_t used = 0;
        for (const auto& clip : r.clips) used += clip.duration;
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
        Clip* clip = FindClip(r, f.args[1]);
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
        Clip* clip = FindClip(r, f.args[3]);
        if (!clip) return err("notfound", f.args[3]);
        int64_t start = clip->start, dur = clip->duration;
        if (!f.args[1].empty() && !TimecodeToFrames(f.args[1], options.rate, start))
            return err("badrequest", "start timecode");
        if (!f.args[2].empty() && !TimecodeToFrames(f.args[2], options.rate, dur))
            return err("badrequest", "duration");
        SetMotion(c, now, 0, "Stop");
        c.loaded = true;
        c.lo = start;
        c.hi = start + std::max<int64_t>(dur, 1) - 1;
        c.originFrame = start;
        c.clip = clip->name;
        c.mode = '-';
        return done(clip->name);
    }
    bool ejected = c.word == "Eject";
    auto startPlay = [&](int speed) {
        Rebase(c, now);
        if (c.loaded && speed > 0 && c.originFrame >= c.hi) c.originFrame = c.lo;
        if (c.loaded && speed < 0 && c.originFrame <= c.lo) c.originFrame = c.hi;
        c.speed = speed;
        c.word = speed == 0 ? "Still" : speed > 0 ? "Play" : "Reverse";
    };
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
        SetMotion(c, now, v < 0 ? -kWindSpeed : kWindSpeed, v < 0 ? "Rewind" : "FastFwd");
        return done();
    }
    if (verb == "STEP") {
        int64_t v = 0;
        if (!intArg(1, -1, 1, v) || v == 0) return err("badrequest", "STEP <ch> <-1|1>");
        if (ejected) return err("badstate", "no clip");
        SetMotion(c, now, 0, "Still");
        int64_t lo = c.loaded ? c.lo : 0;
        int64_t hi = c.loaded ? c.hi : FramesPerDay(options.rate) - 1;
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

// --- Bank ------------------------------------------------------------------

Bank::Bank(BankOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Bank::~Bank() {
    Stop();
}

bool Bank::Start(std::string& error) {
    Impl& m = *impl_;
    if (m.running) return true;
    if (m.options.addresses.empty()) {
        error = "no recorder addresses";
        return false;
    }
    if (m.options.channels < 1 || m.options.channels > 4) {
        error = "channels must be 1 to 4";
        return false;
    }
    for (const auto& a : m.options.addresses) {
        asio::error_code ec;
        auto addr = asio::ip::make_address_v4(a, ec);
        if (ec) {
            error = a + ": not an IPv4 address";
            return false;
        }
        if (!addr.is_loopback() && !m.options.allowAnyAddress) {
            error = a + ": not a loopback address (use --allow-any-address)";
            return false;
        }
    }
    if (!m.options.journalPath.empty()) {
        m.journalFile = std::fopen(m.options.journalPath.c_str(), "a");
        if (!m.journalFile) {
            error = m.options.journalPath + ": cannot open journal";
            return false;
        }
    }
    if (!m.options.stateDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(m.options.stateDir, ec);
    }
    m.recorders.clear();
    for (const auto& a : m.options.addresses) {
        auto& loop = *m.loops[m.recorders.size() % m.loops.size()];
        auto r = std::make_unique<Recorder>(a, loop.io);
        m.LoadState(*r);
        m.recorders.push_back(std::move(r));
    }
    for (const auto& fs : m.options.faults) {
        for (auto& r : m.recorders) {
            if (fs.address != "all" && fs.address != r->address) continue;
            Faults& f = r->faults;
            int v = std::atoi(fs.arg.c_str());
            using ms = std::chrono::milliseconds;
            if (fs.kind == "silent") {
                f.silent = true;
            } else if (fs.kind == "mute") {
                f.mute = true;
            } else if (fs.kind == "delay") {
                // delay:MS every request; delay:MS:VERB+VERB only those, out of turn.
                std::size_t colon = fs.arg.find(':');
                ms d(v > 0 ? v : 300);
                if (colon == std::string::npos) {
                    f.latencyMin = f.latencyMax = d;
                } else {
                    std::string verbs = fs.arg.substr(colon + 1);
                    for (std::size_t a = 0; a <= verbs.size();) {
                        std::size_t plus = verbs.find('+', a);
                        if (plus == std::string::npos) plus = verbs.size();
                        if (plus > a) f.slowVerbs[verbs.substr(a, plus - a)] = d;
                        a = plus + 1;
                    }
                }
            } else if (fs.kind == "latency") {
                std::size_t dash = fs.arg.find('-');
                int hi = dash == std::string::npos ? v : std::atoi(fs.arg.c_str() + dash + 1);
                f.latencyMin = ms(std::max(v, 0));
                f.latencyMax = ms(std::max(hi, std::max(v, 0)));
            } else if (fs.kind == "garble") {
                f.garbleEvery = v > 0 ? v : 100;
            } else if (fs.kind == "drop") {
                f.dropEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "cut") {
                f.cutEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "oversize") {
                f.oversizeEvery = ms(v > 0 ? v : 5000);
            } else if (fs.kind == "refuse") {
                f.refused.insert(fs.arg.empty() ? "*" : fs.arg);
            }
        }
    }
    // A whole bank shares one port; with port 0 find one that is free on every address.
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !opened; ++attempt) {
        uint16_t port = m.options.port;
        opened = true;
        for (auto& r : m.recorders) {
            if (!m.OpenRecorder(*r, port, error)) {
                opened = false;
                break;
            }
            if (port == 0) port = r->acceptor->local_endpoint().port();
        }
        if (opened) {
            m.port = port;
        } else {
            for (auto& r : m.recorders) {
                r->acceptor.reset();
                r->running = false;
            }
            if (m.options.port != 0) break;
        }
    }
    if (!opened) return false;
    for (auto& r : m.recorders) {
        r->ticker.expires_after(kTick);
        m.StartTicking(*r);
    }
    for (auto& loop : m.loops) {
        loop->work.emplace(loop->io.get_executor());
        loop->io.restart();
        loop->thread = std::thread([&io = loop->io] {
            pthread_setname_np(pthread_self(), "recorder-bank");  // tells it apart in top and perf
            io.run();
        });
    }
    m.running = true;
    return true;
}

void Bank::Stop() {
    Impl& m = *impl_;
    if (!m.running) return;
    for (auto& r : m.recorders) {
        m.On(*r, [&m, &r] {
            auto now = Clock::now();
            for (auto& c : r->channels) m.FinishRecording(*r, c, now);
            if (r->acceptor) r->acceptor->close();
            r->acceptor.reset();
            r->running = false;
            m.CloseSessions(*r);
            r->ticker.cancel();
        });
    }
    for (auto& loop : m.loops) {
        loop->work.reset();
        loop->io.stop();
        loop->thread.join();
    }
    m.running = false;
    std::lock_guard lock(m.journalMutex);
    if (m.journalFile) std::fclose(m.journalFile);
    m.journalFile = nullptr;
}

uint16_t Bank::Port() const {
    return impl_->port;
}
const std::vector<std::string>& Bank::Addresses() const {
    return impl_->options.addresses;
}

bool Bank::StopRecorder(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r || !r->running) return false;
        auto now = Clock::now();
        for (auto& c : r->channels) impl_->FinishRecording(*r, c, now);
        r->acceptor->close();
        r->acceptor.reset();
        r->running = false;
        impl_->CloseSessions(*r);
        impl_->Journal(*r, 0, "stop", "ok");
        return true;
    });
}

bool Bank::StartRecorder(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r) return false;
        if (r->running) return true;
        std::string error;
        return impl_->OpenRecorder(*r, impl_->port, error);
    });
}

void Bank::SetSilent(const std::string& address, bool silent) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.silent = silent;
            // Whoever watches gets the whole picture again when it speaks again.
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

void Bank::SetDelay(const std::string& address, std::chrono::milliseconds delay) {
    SetLatency(address, delay, delay);
}

void Bank::SetLatency(const std::string& address, std::chrono::milliseconds min,
                      std::chrono::milliseconds max) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.latencyMin = min;
            r->faults.latencyMax = std::max(min, max);
        }
    });
}

void Bank::SetSlow(const std::string& address, const std::string& verb,
                   std::chrono::milliseconds delay) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            if (delay.count() > 0)
                r->faults.slowVerbs[verb] = delay;
            else
                r->faults.slowVerbs.erase(verb);
        }
    });
}

void Bank::SetMute(const std::string& address, bool mute) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults.mute = mute;
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

void Bank::CutConnections(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->CutSessions(*r);
    });
}

void Bank::SendOversize(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->SendOversize(*r);
    });
}

bool Bank::AddClips(const std::string& address, int count) {
    return impl_->Call(address, [&](Recorder* r) {
        if (!r || count < 0) return false;
        int64_t hour = 0;
        TimecodeToFrames("01:00:00;00", impl_->options.rate, hour);
        r->clips.reserve(r->clips.size() + static_cast<std::size_t>(count));
        for (int k = 0; k < count; ++k) {
            Clip c;
            char name[32];
            std::snprintf(name, sizeof name, "Seed_%06d", ++r->clipCounter);
            c.name = name;
            c.guid = Impl::NewGuid(*r);
            c.dateTime = "2024-05-01 12:00:00";
            c.start = hour;
            c.duration = 300;
            c.channel = 1;
            c.format = 10;
            c.codec = 144;
            c.compression = 220;
            Impl::AddClip(*r, std::move(c));
        }
        return true;
    });
}

void Bank::GarbleNext(const std::string& address, int frames) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) r->faults.garbleNext += frames;
    });
}

void Bank::DropConnections(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) impl_->CloseSessions(*r);
    });
}

void Bank::Refuse(const std::string& address, const std::string& verb, bool on) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            if (on)
                r->faults.refused.insert(verb);
            else
                r->faults.refused.erase(verb);
        }
    });
}

void Bank::SendRaw(const std::string& address, std::string bytes) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            auto sessions = r->sessions;
            for (const auto& s : sessions) s->SendRawBytes(bytes);
        }
    });
}

void Bank::ClearFaults(const std::string& address) {
    impl_->Call(address, [&](Recorder* r) {
        if (r) {
            r->faults = Faults{};
            for (auto& c : r->channels) c.sentAny = false;
        }
    });
}

std::optional<ChannelView> Bank::Channel(const std::string& address, int channel) {
    return impl_->Call(address, [&](Recorder* r) -> std::optional<ChannelView> {
        if (!r || channel < 1 || channel > static_cast<int>(r->channels.size()))
            return std::nullopt;
        auto now = Clock::now();
        ChannelState& c = r->channels[static_cast<std::size_t>(channel - 1)];
        impl_->Advance(*r, c, now);
        return ChannelView{c.word, impl_->TimecodeOf(c, now), c.mode, c.clip};
    });
}

std::vector<ClipView> Bank::Clips(const std::string& address) {
    return impl_->Call(address, [&](Recorder* r) {
        std::vector<ClipView> out;
        if (!r) return out;
        for (const auto& c : r->clips) {
            ClipView v;
            v.name = c.name;
            v.guid = c.guid;
            v.dateTime = c.dateTime;
            v.start = FramesToTimecode(c.start, impl_->options.rate);
            v.duration = FramesToTimecode(c.duration, impl_->options.rate);
            v.channel = c.channel;
            v.format = c.format;
            v.codec = c.codec;
            v.compression = c.compression;
            v.recording = c.recording;
            v.filesA = c.filesA;
            v.filesB = c.filesB;
            out.push_back(std::move(v));
        }
        return out;
    });
}

std::vector<JournalEntry> Bank::Journal() const {
    std::lock_guard lock(impl_->journalMutex);
    return {impl_->journal.begin(), impl_->journal.end()};
}

int Bank::Sessions(const std::string& address) {
    return impl_->Call(address,
                       [&](Recorder* r) { return r ? static_cast<int>(r->sessions.size()) : 0; });
}

}  // namespace tarvolen::recorder
