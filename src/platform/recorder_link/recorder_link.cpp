#include "platform/recorder_link/recorder_link.h"

#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "device/records.h"
#include "shell/text.h"

namespace tarvolen::link {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr std::size_t kMaxEntries = 100000;  // clips in one listing
constexpr int kMaxInternal = 8;
constexpr char kNoTimecode[] = "--:--:--:--";

// The value between the first <tag> and the next </tag>, letter case ignored.
std::string TagValue(std::string_view text, std::string_view tag) {
    std::string lower = ToLower(text);
    std::string open = "<" + ToLower(tag) + ">";
    std::string close = "</" + ToLower(tag) + ">";
    std::size_t a = lower.find(open);
    if (a == std::string::npos) return "";
    a += open.size();
    std::size_t b = lower.find(close, a);
    if (b == std::string::npos) return "";
    return std::string(text.substr(a, b - a));
}

// A clip directory entry from an ENTRY line: guid, date, time, start,
// duration, format, codec, compression, name.
ClipEntry ClipEntryOf(const wire::Frame& e, const std::string& address) {
    ClipEntry entry{};
    entry.size = sizeof(ClipEntry);
    StoreField(entry.clipName, kClipNameWidth, e.Arg(8));
    StoreField(entry.dateTime, sizeof entry.dateTime, e.Arg(1) + " " + e.Arg(2));
    StoreField(entry.start, kTimecodeWidth, e.Arg(3));
    StoreField(entry.duration, kTimecodeWidth, e.Arg(4));
    auto byte = [&e](std::size_t i) {
        int64_t v = 0;
        return wire::ParseInt(e.Arg(i), 0, 255, v) ? static_cast<uint8_t>(v) : uint8_t{0};
    };
    entry.videoFormat = byte(5);
    entry.codec = byte(6);
    entry.compression = byte(7);
    StoreField(entry.guid, sizeof entry.guid, e.Arg(0));
    StoreField(entry.address, kAddressWidth, address);
    return entry;
}

bool ParseChannel(const std::string& text, int& ch) {
    std::string t = CleanText(text);
    if (t.empty() || t.size() > 3) return false;
    int v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v >= kDeviceChannels) return false;
    ch = v;
    return true;
}

// The text of a TextBlock up to its first NUL, trailing fill removed.
std::string BlockText(const TextBlock* block) {
    const char* t = block->text;
    std::size_t n = strnlen(t, kTextBlockWidth);
    while (n > 0 && (t[n - 1] == ' ' || static_cast<unsigned char>(t[n - 1]) == 255)) --n;
    return std::string(t, n);
}

void FillBlock(TextBlock* block, std::string_view text) {
    StoreField(block->text, kTextBlockWidth, text);
}

template <class T>
const T* InputRecord(std::intptr_t input) {
    auto* r = reinterpret_cast<const T*>(input);
    if (!r || r->size < static_cast<int32_t>(sizeof(T))) return nullptr;
    return r;
}

template <class T>
T* OutputRecord(void* output) {
    auto* r = static_cast<T*>(output);
    if (!r || r->size < static_cast<int32_t>(sizeof(T))) return nullptr;
    return r;
}

}  // namespace

struct ChannelStatus {
    std::string word = "Stop";
    std::string timecode = kNoTimecode;
    std::string mode = "none";
    std::string clip;
};

struct Pending {
    bool done = false;
    int32_t result = result::kLost;
    wire::Frame reply;
    std::vector<wire::Frame> entries;
};

struct Connection;

struct RecorderLink::Impl {
    LinkOptions options;
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;

    // Everything below is shared by the callers and the I/O thread.
    mutable std::mutex mu;
    std::condition_variable cv;
    std::map<std::string, std::shared_ptr<Connection>> connections;
    struct Route {
        bool mapped = false;
        std::string address;
        int internal = 0;
    };
    std::array<Route, kDeviceChannels> routes;
    struct Listing {
        std::vector<ClipEntry> entries;
        std::size_t next = 0;
    };
    std::map<std::string, Listing> listings;
    uint32_t nextId = 0;

    explicit Impl(LinkOptions o) : options(o) {
        work.emplace(io.get_executor());
        thread = std::thread([this] { io.run(); });
    }
    ~Impl();

    uint32_t NewId() {  // mu held
        if (++nextId > wire::kMaxId) nextId = 1;
        return nextId;
    }
    uint32_t NewIdLocked() {
        std::lock_guard lock(mu);
        return NewId();
    }

    std::shared_ptr<Connection> Open(const std::string& address);  // mu held
    void DropUnused();                                             // mu held
    bool WaitSetUp(std::unique_lock<std::mutex>& lk, Clock::time_point deadline);

    struct Reply {
        int32_t result = result::kLost;
        wire::Frame frame;
        std::vector<wire::Frame> entries;
    };
    Reply Request(const std::string& address, wire::Frame frame, Clock::time_point deadline);
    Reply ChannelRequest(int ch, std::string verb, std::vector<std::string> args,
                         std::optional<std::string> payload = std::nullopt);

    int32_t Amp(int32_t code, std::intptr_t input, void* output);
    int32_t ClipDir(int32_t code, std::intptr_t input, void* output);
    int32_t Status(void* output);
    int32_t ClipNames(void* output);
    int32_t Connect(std::intptr_t input);
    int32_t Disconnect();
    int32_t SetAddress(std::intptr_t input);
    int32_t FetchListing(const std::string& address, int32_t* count);
};

struct Connection : std::enable_shared_from_this<Connection> {
    enum class Phase { kSettingUp, kUp, kLost, kClosed };

    RecorderLink::Impl& link;
    const std::string address;
    // Guarded by link.mu.
    Phase phase = Phase::kSettingUp;
    int channelCount = 0;
    std::array<ChannelStatus, kMaxInternal + 1> status;
    std::map<uint32_t, std::shared_ptr<Pending>> pending;
    bool usedByAmp = false;
    bool usedByDir = false;

    // I/O thread only.
    tcp::socket socket;
    asio::steady_timer heartbeat;
    wire::Decoder decoder;
    std::array<char, 16384> buffer{};
    std::string outgoing, inflight;
    bool writing = false;
    unsigned generation = 0;
    uint32_t watchId = 0;
    bool greeted = false;
    bool dialing = false;  // connect, greeting and first picture under way
    Clock::time_point lastHeard{}, lastSent{}, setupStarted{}, retryAt{};

    Connection(RecorderLink::Impl& l, std::string a)
        : link(l), address(std::move(a)), socket(l.io), heartbeat(l.io) {}

    void Start() {
        Dial();
        Beat();
    }

    void Dial() {
        ++generation;
        decoder = wire::Decoder{};
        outgoing.clear();
        inflight.clear();
        writing = false;
        greeted = false;
        dialing = true;
        setupStarted = Clock::now();
        asio::error_code ec;
        auto ip = asio::ip::make_address_v4(address, ec);
        if (ec) {
            Lose();
            return;
        }
        // A lost recorder stays lost while it is dialled again, so that
        // commands to it keep failing at once.
        socket = tcp::socket(link.io);
        auto self = shared_from_this();
        unsigned gen = generation;
        socket.async_connect(tcp::endpoint(ip, link.options.port),
                             [self, gen](const asio::error_code& e) {
                                 if (gen != self->generation) return;
                                 if (e) {
                                     self->Lose();
                                     return;
                                 }
                                 asio::error_code ignored;
                                 self->socket.set_option(tcp::no_delay(true), ignored);
                                 self->lastHeard = self->lastSent = Clock::now();
                                 self->Read(gen);
                             });
    }

    // Closes the socket, fails what waits on it and schedules a new attempt.
    void Lose() {
        ++generation;
        dialing = false;
        asio::error_code ec;
        socket.close(ec);
        retryAt = Clock::now() + link.options.retryEvery;
        std::lock_guard lock(link.mu);
        if (phase != Phase::kClosed) phase = Phase::kLost;
        for (auto& [id, p] : pending) {
            p->done = true;
            p->result = result::kLost;
        }
        pending.clear();
        link.cv.notify_all();
    }

    void Close() {  // I/O thread; the connection is finished for good
        {
            std::lock_guard lock(link.mu);
            phase = Phase::kClosed;
        }
        ++generation;
        asio::error_code ec;
        heartbeat.cancel();
        socket.shutdown(tcp::socket::shutdown_both, ec);
        socket.close(ec);
        std::lock_guard lock(link.mu);
        for (auto& [id, p] : pending) {
            p->done = true;
            p->result = result::kLost;
        }
        pending.clear();
        link.cv.notify_all();
    }

    void Beat() {
        auto self = shared_from_this();
        heartbeat.expires_after(std::chrono::milliseconds(50));
        heartbeat.async_wait([self](const asio::error_code& e) {
            if (e) return;
            Phase p;
            {
                std::lock_guard lock(self->link.mu);
                p = self->phase;
            }
            if (p == Phase::kClosed) return;
            auto now = Clock::now();
            if (self->dialing) {
                if (now - self->setupStarted > self->link.options.setupTimeout) self->Lose();
            } else if (p == Phase::kLost || p == Phase::kSettingUp) {
                if (now >= self->retryAt) self->Dial();
            } else {
                if (now - self->lastHeard > self->link.options.lostAfter) {
                    self->Lose();
                } else if (now - self->lastSent >= self->link.options.keepalive) {
                    self->Send(wire::MakeFrame(self->link.NewIdLocked(), "PING"));
                }
            }
            self->Beat();
        });
    }

    void Send(const wire::Frame& f) {
        std::string bytes;
        if (!wire::Encode(f, bytes)) return;
        SendBytes(bytes);
    }

    void SendBytes(const std::string& bytes) {
        outgoing += bytes;
        lastSent = Clock::now();
        if (!writing) Flush();
    }

    void Flush() {
        if (outgoing.empty()) return;
        writing = true;
        inflight.swap(outgoing);
        outgoing.clear();
        auto self = shared_from_this();
        unsigned gen = generation;
        asio::async_write(socket, asio::buffer(inflight),
                          [self, gen](const asio::error_code& e, std::size_t) {
                              if (gen != self->generation) return;
                              self->writing = false;
                              self->inflight.clear();
                              if (e) {
                                  self->Lose();
                                  return;
                              }
                              self->Flush();
                          });
    }

    void Read(unsigned gen) {
        auto self = shared_from_this();
        socket.async_read_some(asio::buffer(buffer),
                               [self, gen](const asio::error_code& e, std::size_t n) {
                                   if (gen != self->generation) return;
                                   if (e) {
                                       self->Lose();
                                       return;
                                   }
                                   self->lastHeard = Clock::now();
                                   self->decoder.Feed(self->buffer.data(), n);
                                   wire::Frame f;
                                   for (;;) {
                                       auto st = self->decoder.Next(f);
                                       if (st == wire::Decoder::Status::kNeedMore) break;
                                       if (st == wire::Decoder::Status::kError || !self->Take(f)) {
                                           self->Lose();
                                           return;
                                       }
                                   }
                                   self->Read(gen);
                               });
    }

    // One frame from the recorder; false when it makes no sense.
    bool Take(wire::Frame& f) {
        if (f.id == 0) {
            if (f.verb == "HELLO") {
                int64_t version = 0, channels = 0;
                if (greeted || !wire::ParseInt(f.Arg(0), 1, 1000, version) ||
                    version != wire::kProtocolVersion ||
                    !wire::ParseInt(f.Arg(1), 0, kMaxInternal, channels))
                    return false;
                greeted = true;
                {
                    std::lock_guard lock(link.mu);
                    channelCount = static_cast<int>(channels);
                    for (auto& s : status) s = ChannelStatus{};
                    watchId = link.NewId();
                }
                Send(wire::MakeFrame(watchId, "WATCH"));
                return true;
            }
            if (!greeted) return false;
            if (f.verb == "ST" || f.verb == "CLIP") {
                int64_t ch = 0;
                if (!wire::ParseInt(f.Arg(0), 1, kMaxInternal, ch)) return false;
                std::lock_guard lock(link.mu);
                ChannelStatus& s = status[static_cast<std::size_t>(ch)];
                if (f.verb == "CLIP") {
                    s.clip = f.Arg(1).substr(0, kClipNameWidth);
                } else {
                    s.word = f.Arg(1).substr(0, 9);
                    s.timecode = f.Arg(2).substr(0, 15);
                    s.mode = f.Arg(3);
                }
                return true;
            }
            if (f.verb == "ERROR") return false;
            return true;  // notifications of later versions
        }
        if (!greeted) return false;
        std::lock_guard lock(link.mu);
        if (f.id == watchId) {
            if (f.verb != "OK") return false;
            if (phase != Phase::kClosed) phase = Phase::kUp;
            dialing = false;
            link.cv.notify_all();
            return true;
        }
        auto it = pending.find(f.id);
        if (it == pending.end()) return true;  // late reply of a request given up on, or a PING
        Pending& p = *it->second;
        if (f.verb == "ENTRY") {
            if (p.entries.size() >= kMaxEntries) return false;
            p.entries.push_back(std::move(f));
            return true;
        }
        p.done = true;
        p.result = f.verb == "OK"                               ? result::kOk
                   : f.verb == "ERR" && f.Arg(0) == "nochannel" ? result::kNotConnected
                                                                : result::kRefused;
        p.reply = std::move(f);
        pending.erase(it);
        link.cv.notify_all();
        return true;
    }
};

// --- RecorderLink::Impl ------------------------------------------------------

RecorderLink::Impl::~Impl() {
    {
        std::lock_guard lock(mu);
        for (auto& [a, c] : connections) asio::post(io, [c = c] { c->Close(); });
        connections.clear();
    }
    work.reset();
    // Give the BYEs a moment; nothing waits on them.
    asio::post(io, [this] {
        auto t = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(20));
        t->async_wait([this, t](const asio::error_code&) { io.stop(); });
    });
    thread.join();
}

std::shared_ptr<Connection> RecorderLink::Impl::Open(const std::string& address) {
    auto it = connections.find(address);
    if (it != connections.end()) return it->second;
    auto c = std::make_shared<Connection>(*this, address);
    connections[address] = c;
    asio::post(io, [c] { c->Start(); });
    return c;
}

void RecorderLink::Impl::DropUnused() {
    for (auto it = connections.begin(); it != connections.end();) {
        if (!it->second->usedByAmp && !it->second->usedByDir) {
            auto c = it->second;
            c->phase = Connection::Phase::kClosed;
            for (auto& [id, p] : c->pending) {
                p->done = true;
                p->result = result::kLost;
            }
            c->pending.clear();
            asio::post(io, [c] { c->Close(); });
            listings.erase(it->first);
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
    cv.notify_all();
}

bool RecorderLink::Impl::WaitSetUp(std::unique_lock<std::mutex>& lk, Clock::time_point deadline) {
    return cv.wait_until(lk, deadline, [&] {
        for (auto& [a, c] : connections)
            if (c->phase == Connection::Phase::kSettingUp) return false;
        return true;
    });
}

RecorderLink::Impl::Reply RecorderLink::Impl::Request(const std::string& address, wire::Frame frame,
                                                      Clock::time_point deadline) {
    Reply reply;
    std::unique_lock lk(mu);
    auto it = connections.find(address);
    if (it == connections.end()) {
        reply.result = result::kNotConnected;
        return reply;
    }
    std::shared_ptr<Connection> c = it->second;
    if (c->phase == Connection::Phase::kSettingUp) {
        cv.wait_until(lk, deadline, [&] { return c->phase != Connection::Phase::kSettingUp; });
    }
    if (c->phase != Connection::Phase::kUp) return reply;  // lost: fail at once
    frame.id = NewId();
    std::string bytes;
    if (!wire::Encode(frame, bytes)) {
        reply.result = result::kBadInput;
        return reply;
    }
    auto p = std::make_shared<Pending>();
    c->pending[frame.id] = p;
    asio::post(io, [c, bytes = std::move(bytes)] { c->SendBytes(bytes); });
    if (!cv.wait_until(lk, deadline, [&] { return p->done; })) {
        // No answer in time: the recorder counts as lost until it answers again.
        c->pending.erase(frame.id);
        if (c->phase == Connection::Phase::kUp) {
            c->phase = Connection::Phase::kLost;
            asio::post(io, [c] { c->Lose(); });
        }
        return reply;
    }
    reply.result = p->result;
    reply.frame = std::move(p->reply);
    reply.entries = std::move(p->entries);
    return reply;
}

RecorderLink::Impl::Reply RecorderLink::Impl::ChannelRequest(int ch, std::string verb,
                                                             std::vector<std::string> args,
                                                             std::optional<std::string> payload) {
    Reply reply;
    std::string address;
    int internal = 0;
    {
        std::lock_guard lock(mu);
        if (ch < 0 || ch >= kDeviceChannels) {
            reply.result = result::kBadInput;
            return reply;
        }
        const Route& r = routes[static_cast<std::size_t>(ch)];
        auto it = connections.find(r.address);
        if (!r.mapped || it == connections.end()) {
            reply.result = result::kNotConnected;
            return reply;
        }
        if (it->second->phase == Connection::Phase::kUp && r.internal > it->second->channelCount) {
            reply.result = result::kNotConnected;
            return reply;
        }
        address = r.address;
        internal = r.internal;
    }
    args.insert(args.begin(), std::to_string(internal));
    wire::Frame f = wire::MakeFrame(0, std::move(verb), std::move(args));
    f.payload = std::move(payload);
    return Request(address, std::move(f), Clock::now() + options.replyTimeout);
}

int32_t RecorderLink::Impl::Status(void* output) {
    auto* table = OutputRecord<StatusTable>(output);
    if (!table) return result::kBadInput;
    std::lock_guard lock(mu);
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        StatusEntry& e = table->entry[ch];
        e.unused = 0;
        const Route& r = routes[static_cast<std::size_t>(ch)];
        std::string word = "Off";
        std::string tc = kNoTimecode;
        if (r.mapped) {
            auto it = connections.find(r.address);
            const Connection* c = it == connections.end() ? nullptr : it->second.get();
            if (!c || c->phase != Connection::Phase::kUp) {
                word = "Los";
            } else if (r.internal > c->channelCount) {
                word = "Nop";
            } else {
                const ChannelStatus& s = c->status[static_cast<std::size_t>(r.internal)];
                word = s.word;
                if (s.mode == "loop")
                    word += "{L}";
                else if (s.mode == "pingpong")
                    word += "{P}";
                tc = s.timecode;
            }
        }
        StoreField(e.timecode, sizeof e.timecode, tc);
        StoreField(e.state, sizeof e.state, word);
    }
    return result::kOk;
}

int32_t RecorderLink::Impl::ClipNames(void* output) {
    auto* table = OutputRecord<ClipNameTable>(output);
    if (!table) return result::kBadInput;
    std::lock_guard lock(mu);
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        const Route& r = routes[static_cast<std::size_t>(ch)];
        std::string name;
        if (r.mapped) {
            auto it = connections.find(r.address);
            if (it != connections.end() && it->second->phase == Connection::Phase::kUp &&
                r.internal <= it->second->channelCount)
                name = it->second->status[static_cast<std::size_t>(r.internal)].clip;
        }
        StoreField(table->name[ch], kClipNameWidth, name);
    }
    return result::kOk;
}

int32_t RecorderLink::Impl::Connect(std::intptr_t input) {
    const auto* table = InputRecord<ConnectTable>(input);
    if (!table) return result::kBadInput;
    std::unique_lock lk(mu);
    for (auto& [a, c] : connections) c->usedByAmp = false;
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        Route& r = routes[static_cast<std::size_t>(ch)];
        r = Route{};
        std::string address = ReadField(table->address[ch], kAddressWidth);
        int internal = table->internalChannel[ch];
        if (!table->shown[ch] || address.empty() || internal < 1 || internal > 4) continue;
        r.mapped = true;
        r.address = address;
        r.internal = internal;
        Open(address)->usedByAmp = true;
    }
    DropUnused();
    // A short wait so the first status poll shows the recorders' own states.
    WaitSetUp(lk, Clock::now() + options.replyTimeout);
    return result::kOk;
}

int32_t RecorderLink::Impl::Disconnect() {
    std::lock_guard lock(mu);
    for (auto& r : routes) r = Route{};
    for (auto& [a, c] : connections) c->usedByAmp = false;
    DropUnused();
    return result::kOk;
}

int32_t RecorderLink::Impl::SetAddress(std::intptr_t input) {
    const auto* block = InputRecord<TextBlock>(input);
    if (!block) return result::kBadInput;
    std::string text = BlockText(block);
    int ch = 0;
    std::string address = CleanText(TagValue(text, "IpAddress"));
    std::string vtr = CleanText(TagValue(text, "Vtr"));
    if (!ParseChannel(TagValue(text, "Chan"), ch) || address.empty() ||
        address.size() > static_cast<std::size_t>(kAddressWidth) || vtr.size() != 1 ||
        vtr[0] < '1' || vtr[0] > '4')
        return result::kBadInput;
    int internal = vtr[0] - '0';
    std::lock_guard lock(mu);
    Route& r = routes[static_cast<std::size_t>(ch)];
    if (r.mapped && r.address == address && r.internal == internal) return result::kOk;
    r.mapped = true;
    r.address = address;
    r.internal = internal;
    Open(address)->usedByAmp = true;
    return result::kReconnect;
}

int32_t RecorderLink::Impl::Amp(int32_t code, std::intptr_t input, void* output) {
    auto simple = [&](const char* verb) {
        const auto* r = InputRecord<tarvolen::ChannelRequest>(input);
        if (!r) return result::kBadInput;
        return ChannelRequest(r->channel, verb, {}).result;
    };
    auto valued = [&](const char* verb) {
        const auto* r = InputRecord<ChannelValueRequest>(input);
        if (!r) return result::kBadInput;
        return ChannelRequest(r->channel, verb, {std::to_string(r->value)}).result;
    };
    auto document = [&](const char* verb, const std::string& arg) {
        const auto* r = InputRecord<tarvolen::ChannelRequest>(input);
        auto* out = OutputRecord<TextBlock>(output);
        if (!r || !out) return result::kBadInput;
        FillBlock(out, "");
        std::vector<std::string> args;
        if (!arg.empty()) args.push_back(arg);
        Reply reply = ChannelRequest(r->channel, verb, args);
        if (reply.result != result::kOk) return reply.result;
        if (!reply.frame.payload) return result::kRefused;
        FillBlock(out, *reply.frame.payload);
        return result::kOk;
    };
    switch (code) {
        case amp::kConnect:
            return Connect(input);
        case amp::kStop:
            return simple("STOP");
        case amp::kPlay:
            return simple("PLAY");
        case amp::kWind:
            return valued("WIND");
        case amp::kStep:
            return valued("STEP");
        case amp::kEject:
            return simple("EJECT");
        case amp::kPlaySpeed:
            return valued("SPEED");
        case amp::kLoop:
            return valued("LOOP");
        case amp::kPingPong:
            return valued("PINGPONG");
        case amp::kStatus:
            return Status(output);
        case amp::kDisconnect:
            return Disconnect();
        case amp::kClipNames:
            return ClipNames(output);
        case amp::kVolumes:
            return document("VOLUMES", "");
        case amp::kGetConfig:
            return document("CONFIG", "");
        case amp::kSetAddress:
            return SetAddress(input);
        case amp::kRecord: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return result::kBadInput;
            std::string text = BlockText(block);
            int ch = 0;
            if (!ParseChannel(TagValue(text, "Chan"), ch)) return result::kBadInput;
            std::string name = CleanText(TagValue(text, "ClipName"));
            return ChannelRequest(ch, "RECORD", {name.empty() ? "?" : name}).result;
        }
        case amp::kRecordFileList: {
            const auto* block = InputRecord<TextBlock>(input);
            auto* out = OutputRecord<TextBlock>(output);
            if (!block || !out) return result::kBadInput;
            FillBlock(out, "");
            std::string text = BlockText(block);
            int ch = 0;
            std::string name = CleanText(TagValue(text, "ClipName"));
            if (!ParseChannel(TagValue(text, "Chan"), ch) || name.empty()) return result::kBadInput;
            Reply reply = ChannelRequest(ch, "FILES", {name});
            if (reply.result != result::kOk) return reply.result;
            if (!reply.frame.payload) return result::kRefused;
            FillBlock(out, *reply.frame.payload);
            return result::kOk;
        }
        case amp::kSendConfig: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return result::kBadInput;
            std::string text = BlockText(block);
            int ch = 0;
            std::size_t end = ToLower(text).find("</chan>");
            if (end == std::string::npos || !ParseChannel(TagValue(text, "Chan"), ch))
                return result::kBadInput;
            std::string doc = text.substr(end + 7);
            while (!doc.empty() && (doc.front() == '\r' || doc.front() == '\n')) doc.erase(0, 1);
            if (doc.size() > wire::kMaxPayload) return result::kBadInput;
            return ChannelRequest(ch, "SETCONFIG", {}, doc).result;
        }
        case amp::kLoadClip: {
            const auto* r = InputRecord<LoadClipRequest>(input);
            if (!r) return result::kBadInput;
            std::string name = ReadField(r->clipName, kClipNameWidth);
            if (name.empty()) return result::kBadInput;
            return ChannelRequest(r->channel, "LOAD",
                                  {ReadField(r->start, kTimecodeWidth),
                                   ReadField(r->duration, kTimecodeWidth), name})
                .result;
        }
        default:
            return result::kBadInput;
    }
}

int32_t RecorderLink::Impl::FetchListing(const std::string& address, int32_t* count) {
    {
        std::lock_guard lock(mu);
        Open(address)->usedByDir = true;
        listings.erase(address);
    }
    Reply reply = Request(address, wire::MakeFrame(0, "LIST"), Clock::now() + options.replyTimeout);
    if (reply.result != result::kOk) return reply.result;
    Listing listing;
    for (const auto& e : reply.entries) {
        listing.entries.push_back(ClipEntryOf(e, address));
    }
    if (count) *count = static_cast<int32_t>(listing.entries.size());
    std::lock_guard lock(mu);
    listings[address] = std::move(listing);
    return result::kOk;
}

int32_t RecorderLink::Impl::ClipDir(int32_t code, std::intptr_t input, void* output) {
    switch (code) {
        case clipdir::kConnect: {
            const auto* table = InputRecord<ClipDirConnectTable>(input);
            if (!table) return result::kBadInput;
            std::lock_guard lock(mu);
            for (auto& [a, c] : connections) c->usedByDir = false;
            // The table carries no count: it ends at the first blank slot.
            for (int i = 0; i < kDeviceChannels; ++i) {
                std::string address = ReadField(table->address[i], kAddressWidth);
                if (address.empty()) break;
                Open(address)->usedByDir = true;
            }
            DropUnused();
            return result::kOk;
        }
        case clipdir::kDisconnect: {
            std::lock_guard lock(mu);
            for (auto& [a, c] : connections) c->usedByDir = false;
            listings.clear();
            DropUnused();
            return result::kOk;
        }
        case clipdir::kOpen: {
            const auto* r = InputRecord<AddressRequest>(input);
            auto* out = OutputRecord<CountReply>(output);
            if (!r || !out) return result::kBadInput;
            std::string address = ReadField(r->address, kAddressWidth);
            if (address.empty()) return result::kBadInput;
            out->count = 0;
            return FetchListing(address, &out->count);
        }
        case clipdir::kFirst:
        case clipdir::kNext: {
            const auto* r = InputRecord<AddressRequest>(input);
            auto* out = OutputRecord<ClipEntry>(output);
            if (!r || !out) return result::kBadInput;
            std::string address = ReadField(r->address, kAddressWidth);
            if (address.empty()) return result::kBadInput;
            bool have = false;
            {
                std::lock_guard lock(mu);
                have = listings.count(address) > 0;
            }
            if (!have && code == clipdir::kFirst) {
                int32_t rc = FetchListing(address, nullptr);
                if (rc != result::kOk) return rc;
            }
            std::lock_guard lock(mu);
            auto it = listings.find(address);
            if (it == listings.end()) return result::kNoEntry;
            Listing& l = it->second;
            if (code == clipdir::kFirst) l.next = 0;
            if (l.next >= l.entries.size()) return result::kNoEntry;
            *out = l.entries[l.next++];
            return result::kOk;
        }
        case clipdir::kNamedClip: {
            const auto* in = InputRecord<ClipEntry>(input);
            auto* out = OutputRecord<ClipEntry>(output);
            if (!in || !out) return result::kBadInput;
            std::string name = ReadField(in->clipName, kClipNameWidth);
            std::string address = ReadField(in->address, kAddressWidth);
            if (name.empty() || address.empty()) return result::kBadInput;
            {
                std::lock_guard lock(mu);
                Open(address)->usedByDir = true;
            }
            Reply reply = Request(address, wire::MakeFrame(0, "CLIPINFO", {name}),
                                  Clock::now() + options.replyTimeout);
            if (reply.result != result::kOk) return reply.result;
            if (reply.entries.empty()) return result::kNoEntry;
            const wire::Frame& e = reply.entries.front();
            *out = ClipEntryOf(e, address);
            return result::kOk;
        }
        default:
            return result::kBadInput;
    }
}

// --- public ------------------------------------------------------------------

namespace {

class AmpAdapter : public DeviceLibrary {
  public:
    explicit AmpAdapter(std::shared_ptr<RecorderLink::Impl> impl) : impl_(std::move(impl)) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        return impl_->Amp(code, input, output);
    }

  private:
    std::shared_ptr<RecorderLink::Impl> impl_;
};

class ClipDirAdapter : public DeviceLibrary {
  public:
    explicit ClipDirAdapter(std::shared_ptr<RecorderLink::Impl> impl) : impl_(std::move(impl)) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        return impl_->ClipDir(code, input, output);
    }

  private:
    std::shared_ptr<RecorderLink::Impl> impl_;
};

}  // namespace

LinkOptions LinkOptions::FromEnvironment() {
    LinkOptions o;
    if (const char* p = std::getenv("TARVOLEN_RECORDER_PORT")) {
        int64_t v = 0;
        if (wire::ParseInt(p, 1, 65535, v)) o.port = static_cast<uint16_t>(v);
    }
    return o;
}

RecorderLink::RecorderLink(LinkOptions options) : impl_(std::make_shared<Impl>(options)) {}
RecorderLink::~RecorderLink() = default;

int32_t RecorderLink::AmpCommand(int32_t code, std::intptr_t input, void* output) {
    return impl_->Amp(code, input, output);
}
int32_t RecorderLink::ClipDirCommand(int32_t code, std::intptr_t input, void* output) {
    return impl_->ClipDir(code, input, output);
}
std::shared_ptr<DeviceLibrary> RecorderLink::AmpLibrary() {
    return std::make_shared<AmpAdapter>(impl_);
}
std::shared_ptr<DeviceLibrary> RecorderLink::ClipDirLibrary() {
    return std::make_shared<ClipDirAdapter>(impl_);
}
int RecorderLink::Connections() const {
    std::lock_guard lock(impl_->mu);
    int n = 0;
    for (auto& [a, c] : impl_->connections)
        if (c->phase == Connection::Phase::kUp) ++n;
    return n;
}

std::shared_ptr<RecorderLink> InstallRecorderLink(LinkOptions options) {
    auto link = std::make_shared<RecorderLink>(options);
    InstallAmpLibrary(link->AmpLibrary());
    InstallClipDirLibrary(link->ClipDirLibrary());
    return link;
}

}  // namespace tarvolen::link
