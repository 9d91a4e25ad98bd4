#include "platform/recorder_link/recorder_link.h"

#include <array>
#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "device/records.h"
#include "platform/link/batch.h"
#include "platform/link/io_thread.h"
#include "platform/link/libraries.h"
#include "platform/link/listing.h"
#include "platform/link/pool.h"
#include "platform/link/records.h"
#include "platform/link/stream.h"
#include "platform/recorder_link/channel_status.h"
#include "shell/shared_routines.h"
#include "shell/text.h"

namespace tarvolen::link {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

namespace {

constexpr int kMaxInternal = 8;
// Answers given up on are still awaited so they can be consumed; a recorder
// that never answers must not make that list grow without end.
constexpr std::size_t kMaxPending = 1024;

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

}  // namespace

struct Pending {
    bool done = false;
    // The caller stopped waiting: the answer is consumed when it comes, and
    // its effect shows through the notifications that come before it.
    bool abandoned = false;
    int32_t result = result::kLost;
    wire::Frame reply;
    // LIST and CLIPINFO: the newest entries up to the link's bound, and how
    // many came in all.
    bool listing = false;
    std::deque<ClipEntry> entries;
    uint64_t seen = 0;
    Clock::time_point lastProgress{};
};

struct Connection;

// One request on its way: either already answered (no pending) or waiting.
struct Ticket {
    int32_t result = result::kLost;
    std::shared_ptr<Connection> connection;
    uint32_t id = 0;
    std::shared_ptr<Pending> pending;
};

// A PIAMPCOMMAND call taken apart: the request to send, or its result.
struct Prepared {
    bool send = false;
    int32_t result = result::kOk;
    int ch = 0;
    std::string verb;
    std::vector<std::string> args;
    std::optional<std::string> payload;
    TextBlock* out = nullptr;  // the reply's document goes here
};

struct RecorderLink::Impl {
    LinkOptions options;
    // Named: tells it apart in top and perf. Paced: while recorders push
    // news, each status pass reads it, not the link as it comes; the answers
    // to a round of pings in one or two reads.
    IoThread ioThread{"tarvolen-link", std::chrono::milliseconds(10)};
    asio::io_context& io = ioThread.io;

    // Everything below is shared by the callers and the I/O thread.
    mutable std::mutex mu;
    std::condition_variable cv;
    Pool<Connection> pool;
    Routes routes;
    // The one listing held: the last one fetched.
    Listing listing;
    uint32_t nextId = 0;
    int dials = 0;
    // Called whenever what codes 30 and 34 answer may have changed.
    std::function<void()> statusWake;
    // When the next status poll finds the runs the last one showed a frame on.
    std::optional<Clock::time_point> nextPass;

    explicit Impl(LinkOptions o) : options(o) {
        if (options.maxListing == 0) options.maxListing = 1;
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
    void StatusChanged() {  // mu held
        if (statusWake) statusWake();
    }
    // A channel whose timecode is run on here changes every frame without a
    // word from its recorder: while one runs the status is polled, not watched.
    bool WatchStatus(std::function<void()> wake) {
        const bool passes = bool(wake);
        bool watched;
        {
            std::lock_guard lock(mu);
            statusWake = std::move(wake);
            watched = !AnyRun();
        }
        // Polled: the passes read the news, the link need not.
        ioThread.Polled(passes && !watched);
        return watched;
    }
    bool AnyRun() const;  // mu held
    std::optional<Clock::time_point> NextPass() const {
        std::lock_guard lock(mu);
        return nextPass;
    }

    std::shared_ptr<Connection> Open(const std::string& address);  // mu held
    void DropUnused();                                             // mu held
    void ForgetListing(const std::string& address);                // mu held

    // Registers a request and queues its bytes in outgoing; mu held.
    Ticket Issue(const std::string& address, wire::Frame frame, bool listing,
                 std::map<std::shared_ptr<Connection>, std::string>& outgoing);
    Ticket IssueChannel(const Prepared& p,
                        std::map<std::shared_ptr<Connection>, std::string>& outgoing);
    void Post(std::map<std::shared_ptr<Connection>, std::string>& outgoing);
    // Waits for the tickets until the deadline; a listing's wait goes on while
    // its entries keep coming. Late answers give result 3.
    void Await(std::unique_lock<std::mutex>& lk, std::vector<Ticket*> tickets,
               Clock::time_point deadline);
    Ticket Request(const std::string& address, wire::Frame frame, bool listing = false);

    Prepared Prepare(int32_t code, std::intptr_t input, void* output);
    int32_t Finish(const Prepared& p, Ticket& t);

    int32_t Amp(int32_t code, std::intptr_t input, void* output);
    // A batch whose requests are on the wire, its answers not yet taken.
    using Sent = link::Sent<Prepared, Ticket>;
    using Outgoing = std::map<std::shared_ptr<Connection>, std::string>;
    Sent Send(std::span<DeviceCall> calls);
    void Collect(Sent& sent);
    int32_t ClipDir(int32_t code, std::intptr_t input, void* output);
    int32_t Status(void* output);
    int32_t ClipNames(void* output);
    int32_t Connect(std::intptr_t input);
    int32_t Disconnect();
    int32_t SetAddress(std::intptr_t input);
    int32_t FetchListing(const std::string& address, int32_t* count);
};

struct Connection : Stream<Connection> {
    // kSettingUp: dialled for the first time, not up yet. kLost: was up, or
    // its first setup failed; dialled again in the background.
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
    bool spare = false;
    Clock::time_point spareUntil{};

    // I/O thread only.
    asio::steady_timer heartbeat;
    wire::Decoder decoder;
    uint32_t watchId = 0;
    bool watchRuns = false;  // the WATCH asked for runs
    bool greeted = false;
    bool dialing = false;  // connect, greeting and first picture under way
    bool cameUp = false;   // the first picture is complete: time the pings from now
    Clock::time_point lastPing{}, setupStarted{}, retryAt{};
    uint32_t pingId = 0;  // the last ping, until answered

    Connection(RecorderLink::Impl& l, std::string a)
        : Stream(l.ioThread), link(l), address(std::move(a)), heartbeat(l.io) {}

    void Start() {
        Dial();
        Beat();
    }

    void Dial() {
        Reset();
        decoder = wire::Decoder{};
        greeted = false;
        dialing = true;
        setupStarted = Clock::now();
        asio::error_code ec;
        auto ip = asio::ip::make_address_v4(address, ec);
        if (ec) {
            Lose();
            return;
        }
        {
            std::lock_guard lock(link.mu);
            ++link.dials;
        }
        // A lost recorder stays lost while it is dialled again, so that
        // commands to it keep failing at once.
        Connect(ip, link.options.port);
    }

    void FailPending() {  // link.mu held
        for (auto& [id, p] : pending) {
            p->done = true;
            p->result = result::kLost;
        }
        pending.clear();
        link.cv.notify_all();
    }

    // Closes the socket, fails what waits on it and schedules a new attempt.
    void Lose() {
        CloseSocket();
        dialing = false;
        retryAt = Clock::now() + link.options.retryEvery;
        Arm(retryAt);
        std::lock_guard lock(link.mu);
        // A redial that fails again changes nothing shown: no status pass
        // for it, every retry of a recorder that stays away.
        if (phase != Phase::kClosed && phase != Phase::kLost) {
            phase = Phase::kLost;
            link.StatusChanged();
        }
        FailPending();
    }

    void Close() {  // I/O thread; the connection is finished for good
        heartbeat.cancel();
        CloseSocket(true);
        std::lock_guard lock(link.mu);
        phase = Phase::kClosed;
        link.StatusChanged();
        FailPending();
    }

    // The timer is set for the next thing due (a ping, the silence after
    // which the recorder is lost, the end of a setup, the next dial), not
    // ticked: an idle connection wakes the I/O thread only for its pings.
    void Beat() { Arm(Clock::now()); }

    void Arm(Clock::time_point due) {
        armedFor = OnGrid(due);
        heartbeat.expires_at(armedFor);
        heartbeat.async_wait([self = shared_from_this()](const asio::error_code& e) {
            if (!e) self->Check();
        });
    }

    // A recorder is pinged only once it has been quiet: news heard every
    // frame already proves it is there, and a ping then would cost a send
    // each time. Pings go out at instants a keepalive apart that every
    // recorder shares, so the bank's pings take one wake-up however the
    // answers' arrivals drifted; quiet means quiet since a grid step after
    // the last such instant, which a ping's own answer read late still is.
    Clock::time_point PingDue() const {
        const auto& o = link.options;
        const Clock::duration quiet =
            std::max<Clock::duration>(o.keepalive - link::kGrid, o.keepalive / 2);
        const Clock::duration k = o.keepalive;
        const Clock::duration from = (std::max(lastHeard, lastPing) + quiet).time_since_epoch();
        return Clock::time_point((from + k - Clock::duration(1)) / k * k);
    }

    void Check() {
        auto now = Clock::now();
        Phase p;
        bool expired = false;
        Clock::time_point spareUntilCopy{};
        bool spareCopy = false;
        {
            std::lock_guard lock(link.mu);
            p = phase;
            spareCopy = spare;
            spareUntilCopy = spareUntil;
            expired = link.pool.SpareExpired(address, *this, now);
        }
        if (p == Phase::kClosed) return;
        if (expired) {
            Close();
            return;
        }
        const auto& o = link.options;
        const bool heldUp = HeldUp(now, o.lostAfter, o.replyTimeout);
        if (dialing) {
            if (now - setupStarted > o.setupTimeout) Lose();
        } else if (p == Phase::kLost || p == Phase::kSettingUp) {
            if (now >= retryAt) Dial();
        } else if (Silent(now, o.lostAfter)) {
            // Nothing at all for that long, pings included: gone.
            Lose();
        } else if (now >= PingDue() || heldUp) {
            lastPing = now;
            pingId = link.NewIdLocked();
            Send(wire::MakeFrame(pingId, "PING"));
            link.ioThread.AnswerDue();
        }
        {
            std::lock_guard lock(link.mu);
            p = phase;
        }
        Clock::time_point due;
        if (dialing) {
            due = setupStarted + o.setupTimeout + Clock::duration(1);
        } else if (p == Phase::kLost || p == Phase::kSettingUp) {
            due = retryAt;
        } else {
            due = std::min(PingDue(), SilentFrom(o.lostAfter));
        }
        if (spareCopy) due = std::min(due, spareUntilCopy + Clock::duration(1));
        Arm(std::max(due, now + std::chrono::milliseconds(1)));
    }

    void Send(const wire::Frame& f) {
        std::string bytes;
        if (!wire::Encode(f, bytes)) return;
        SendBytes(bytes);
    }

    void Lost() { Lose(); }

    bool Received(const char* data, std::size_t n) {
        decoder.Feed(data, n);
        wire::Frame f;
        for (;;) {
            auto st = decoder.Next(f);
            if (st == wire::Decoder::Status::kNeedMore) break;
            if (st == wire::Decoder::Status::kError || !Take(f)) return false;
        }
        if (cameUp) {
            cameUp = false;
            Beat();
        }
        return true;
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
                    // Read only once it is up, which the WATCH answer says.
                    channelCount = static_cast<int>(channels);
                    for (auto& s : status) s = ChannelStatus{};
                    watchId = link.NewId();
                }
                // With runs, a running timecode comes a few times a second
                // instead of every frame, and is run on here.
                watchRuns = true;
                Send(wire::MakeFrame(watchId, "WATCH", {"runs"}));
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
                    s.Heard(f, Clock::now());
                }
                link.StatusChanged();
                link.ioThread.News();
                return true;
            }
            if (f.verb == "ERROR") return false;
            return true;  // notifications of later versions
        }
        if (!greeted) return false;
        if (f.verb == "ENTRY") {
            // Made before the lock is taken: a listing may bring many of them.
            ClipEntry entry = ClipEntryOf(f, address);
            std::lock_guard lock(link.mu);
            auto it = pending.find(f.id);
            // An entry for a request that lists nothing is ignored.
            if (it == pending.end() || !it->second->listing) return true;
            Pending& p = *it->second;
            ++p.seen;
            p.lastProgress = Clock::now();
            if (p.abandoned) return true;
            p.entries.push_back(entry);
            if (p.entries.size() > link.options.maxListing) p.entries.pop_front();
            return true;
        }
        std::lock_guard lock(link.mu);
        if (f.id == watchId) {
            if (f.verb == "ERR" && watchRuns) {
                // A recorder that does not know runs sends every frame instead.
                watchRuns = false;
                watchId = link.NewId();
                Send(wire::MakeFrame(watchId, "WATCH"));
                return true;
            }
            if (f.verb != "OK") return false;
            if (phase != Phase::kClosed) phase = Phase::kUp;
            dialing = false;
            link.StatusChanged();
            cameUp = true;  // its timer still waits for the end of the setup
            link.cv.notify_all();
            return true;
        }
        auto it = pending.find(f.id);
        if (it == pending.end()) {
            // A PING's answer, or a late one: nobody waits for it.
            if (f.id == pingId) {
                pingId = 0;
                link.ioThread.Answered();
            }
            return true;
        }
        Pending& p = *it->second;
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
        pool.CloseAll(ioThread);
    }
    ioThread.Stop();
}

bool RecorderLink::Impl::AnyRun() const {
    for (const auto& [key, c] : pool.live) {
        if (c->phase != Connection::Phase::kUp) continue;
        for (const ChannelStatus& s : c->status)
            if (s.run) return true;
    }
    return false;
}

std::shared_ptr<Connection> RecorderLink::Impl::Open(const std::string& address) {
    return pool.Open(ioThread, address,
                     [&] { return std::make_shared<Connection>(*this, address); });
}

void RecorderLink::Impl::ForgetListing(const std::string& address) {
    if (listing.address != address) return;
    listing = Listing{};
}

void RecorderLink::Impl::DropUnused() {
    pool.DropUnused(options.linger, [&](const Connection& c) { ForgetListing(c.address); });
    StatusChanged();
    cv.notify_all();
}

Ticket RecorderLink::Impl::Issue(const std::string& address, wire::Frame frame, bool listing,
                                 std::map<std::shared_ptr<Connection>, std::string>& outgoing) {
    Ticket t;
    auto it = pool.live.find(address);
    if (it == pool.live.end()) {
        t.result = result::kNotConnected;
        return t;
    }
    std::shared_ptr<Connection> c = it->second;
    // Still dialling, greeting, or lost: fail at once, never wait for it.
    if (c->phase != Connection::Phase::kUp) return t;
    frame.id = NewId();
    std::string bytes;
    if (!wire::Encode(frame, bytes)) {
        t.result = result::kBadInput;
        return t;
    }
    if (c->pending.size() >= kMaxPending) {
        for (auto p = c->pending.begin(); p != c->pending.end();)
            p = p->second->abandoned ? c->pending.erase(p) : std::next(p);
    }
    auto p = std::make_shared<Pending>();
    p->listing = listing;
    p->lastProgress = Clock::now();
    c->pending[frame.id] = p;
    outgoing[c] += bytes;
    t.connection = c;
    t.id = frame.id;
    t.pending = p;
    return t;
}

void RecorderLink::Impl::Post(std::map<std::shared_ptr<Connection>, std::string>& outgoing) {
    if (outgoing.empty()) return;
    // One wake-up of the I/O thread for the whole batch.
    ioThread.Post([batch = std::move(outgoing)] {
        for (auto& [c, bytes] : batch) c->SendBytes(bytes);
    });
    outgoing.clear();
}

void RecorderLink::Impl::Await(std::unique_lock<std::mutex>& lk, std::vector<Ticket*> tickets,
                               Clock::time_point deadline) {
    IoThread::Hurried hurried(ioThread);
    const Clock::time_point limit = Clock::now() + options.listingLimit;
    auto open = [&] {
        for (Ticket* t : tickets)
            if (t->pending && !t->pending->done) return true;
        return false;
    };
    for (;;) {
        // A listing still coming in moves the deadline on.
        Clock::time_point until = deadline;
        for (Ticket* t : tickets) {
            const Pending* p = t->pending.get();
            if (p && !p->done && p->listing)
                until = std::max(until, std::min(limit, p->lastProgress + options.replyTimeout));
        }
        if (!cv.wait_until(lk, until, [&] { return !open(); })) {
            bool progressed = false;
            for (Ticket* t : tickets) {
                const Pending* p = t->pending.get();
                if (p && !p->done && p->listing &&
                    std::min(limit, p->lastProgress + options.replyTimeout) > until)
                    progressed = true;
            }
            if (progressed) continue;
        }
        break;
    }
    for (Ticket* t : tickets) {
        if (!t->pending) continue;
        if (t->pending->done) {
            t->result = t->pending->result;
        } else {
            // Late is not lost: the answer is still consumed when it comes.
            t->pending->abandoned = true;
            t->pending->entries.clear();
            t->result = result::kLost;
        }
    }
}

Ticket RecorderLink::Impl::Request(const std::string& address, wire::Frame frame, bool listing) {
    std::map<std::shared_ptr<Connection>, std::string> outgoing;
    std::unique_lock lk(mu);
    Ticket t = Issue(address, std::move(frame), listing, outgoing);
    Post(outgoing);
    if (t.pending) Await(lk, {&t}, Clock::now() + options.replyTimeout);
    return t;
}

Ticket RecorderLink::Impl::IssueChannel(
    const Prepared& p, std::map<std::shared_ptr<Connection>, std::string>& outgoing) {
    Ticket t;
    if (p.ch < 0 || p.ch >= kDeviceChannels) {
        t.result = result::kBadInput;
        return t;
    }
    const Route& r = routes[static_cast<std::size_t>(p.ch)];
    auto it = pool.live.find(r.key);
    if (!r.mapped || it == pool.live.end()) {
        t.result = result::kNotConnected;
        return t;
    }
    if (it->second->phase == Connection::Phase::kUp && r.internal > it->second->channelCount) {
        t.result = result::kNotConnected;
        return t;
    }
    std::vector<std::string> args = p.args;
    args.insert(args.begin(), std::to_string(r.internal));
    wire::Frame f = wire::MakeFrame(0, p.verb, std::move(args));
    f.payload = p.payload;
    return Issue(r.key, std::move(f), false, outgoing);
}

int32_t RecorderLink::Impl::Status(void* output) {
    auto* table = OutputRecord<StatusTable>(output);
    if (!table) return result::kBadInput;
    // The news pushed until now is in the table.
    ioThread.Drain();
    std::lock_guard lock(mu);
    const auto now = Clock::now();
    std::array<RunClock, kDeviceChannels> runs;
    std::size_t running = 0;
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        StatusEntry& e = table->entry[ch];
        e.unused = 0;
        const Route& r = routes[static_cast<std::size_t>(ch)];
        std::string word = "Off";
        std::string tc = kNoTimecode;
        if (r.mapped) {
            auto it = pool.live.find(r.key);
            const Connection* c = it == pool.live.end() ? nullptr : it->second.get();
            if (c && c->phase == Connection::Phase::kSettingUp) {
                // Not connected yet: a recorder slow to greet is not lost.
            } else if (!c || c->phase != Connection::Phase::kUp) {
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
                tc = s.Timecode(now);
                if (s.run) runs[running++] = {s.runSince, wire::Info(s.rate).fps};
            }
        }
        StoreField(e.timecode, sizeof e.timecode, tc);
        StoreField(e.state, sizeof e.state, word);
    }
    nextPass = link::NextPass(now, std::span(runs.data(), running));
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
            auto it = pool.live.find(r.key);
            if (it != pool.live.end() && it->second->phase == Connection::Phase::kUp &&
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
    RouteChannels(
        pool, routes, *table, [](const std::string& a) { return !NoRecorderAddress(a); },
        [](int, const std::string& a) { return a; },
        [this](const std::string& a) { return Open(a); });
    DropUnused();
    IoThread::Hurried hurried(ioThread);
    AwaitSetUp(lk, cv, pool, options.connectWait);
    return result::kOk;
}

int32_t RecorderLink::Impl::Disconnect() {
    std::lock_guard lock(mu);
    Unroute(pool, routes);
    DropUnused();
    return result::kOk;
}

int32_t RecorderLink::Impl::SetAddress(std::intptr_t input) {
    const auto* block = InputRecord<TextBlock>(input);
    if (!block) return result::kBadInput;
    int ch = 0, internal = 0;
    std::string address;
    if (!AddressDocument(BlockText(block), ch, address, internal) || NoRecorderAddress(address))
        return result::kBadInput;
    std::lock_guard lock(mu);
    if (!Reroute(routes, ch, address, internal)) return result::kOk;
    Open(address)->usedByAmp = true;
    StatusChanged();
    return result::kReconnect;
}

Prepared RecorderLink::Impl::Prepare(int32_t code, std::intptr_t input, void* output) {
    Prepared p;
    auto fail = [&p](int32_t rc) {
        p.send = false;
        p.result = rc;
        return p;
    };
    auto request = [&p](int ch, std::string verb, std::vector<std::string> args = {}) {
        p.send = true;
        p.ch = ch;
        p.verb = std::move(verb);
        p.args = std::move(args);
        return p;
    };
    auto simple = [&](const char* verb) {
        const auto* r = InputRecord<tarvolen::ChannelRequest>(input);
        return r ? request(r->channel, verb) : fail(result::kBadInput);
    };
    auto valued = [&](const char* verb) {
        const auto* r = InputRecord<ChannelValueRequest>(input);
        return r ? request(r->channel, verb, {std::to_string(r->value)}) : fail(result::kBadInput);
    };
    auto document = [&](const char* verb) {
        const auto* r = InputRecord<tarvolen::ChannelRequest>(input);
        auto* out = OutputRecord<TextBlock>(output);
        if (!r || !out) return fail(result::kBadInput);
        FillBlock(out, "");
        p.out = out;
        return request(r->channel, verb);
    };
    switch (code) {
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
        case amp::kVolumes:
            return document("VOLUMES");
        case amp::kGetConfig:
            return document("CONFIG");
        case amp::kRecord: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return fail(result::kBadInput);
            std::string text = BlockText(block);
            int ch = 0;
            if (!ParseChannel(TagValue(text, "Chan"), ch)) return fail(result::kBadInput);
            std::string name = CleanText(TagValue(text, "ClipName"));
            return request(ch, "RECORD", {name.empty() ? "?" : name});
        }
        case amp::kRecordFileList: {
            const auto* block = InputRecord<TextBlock>(input);
            auto* out = OutputRecord<TextBlock>(output);
            if (!block || !out) return fail(result::kBadInput);
            FillBlock(out, "");
            std::string text = BlockText(block);
            int ch = 0;
            std::string name = CleanText(TagValue(text, "ClipName"));
            if (!ParseChannel(TagValue(text, "Chan"), ch) || name.empty())
                return fail(result::kBadInput);
            p.out = out;
            return request(ch, "FILES", {name});
        }
        case amp::kSendConfig: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return fail(result::kBadInput);
            int ch = 0;
            std::string doc;
            if (!ChannelDocument(BlockText(block), ch, doc)) return fail(result::kBadInput);
            if (doc.size() > wire::kMaxPayload) return fail(result::kBadInput);
            p.payload = std::move(doc);
            return request(ch, "SETCONFIG");
        }
        case amp::kLoadClip: {
            const auto* r = InputRecord<LoadClipRequest>(input);
            if (!r) return fail(result::kBadInput);
            std::string name = ReadField(r->clipName, kClipNameWidth);
            if (name.empty()) return fail(result::kBadInput);
            return request(r->channel, "LOAD",
                           {ReadField(r->start, kTimecodeWidth),
                            ReadField(r->duration, kTimecodeWidth), name});
        }
        default:
            return fail(result::kBadInput);
    }
}

int32_t RecorderLink::Impl::Finish(const Prepared& p, Ticket& t) {
    if (t.result != result::kOk) return t.result;
    if (!p.out) return result::kOk;
    const auto& payload = t.pending->reply.payload;
    if (!payload) return result::kRefused;
    FillBlock(p.out, *payload);
    return result::kOk;
}

int32_t RecorderLink::Impl::Amp(int32_t code, std::intptr_t input, void* output) {
    return AmpCall(*this, code, input, output);
}

RecorderLink::Impl::Sent RecorderLink::Impl::Send(std::span<DeviceCall> calls) {
    return SendCalls(*this, calls);
}

void RecorderLink::Impl::Collect(Sent& sent) {
    CollectCalls(*this, sent);
}

int32_t RecorderLink::Impl::FetchListing(const std::string& address, int32_t* count) {
    std::map<std::shared_ptr<Connection>, std::string> outgoing;
    std::unique_lock lk(mu);
    Open(address)->usedByDir = true;
    // One listing in memory: the one held goes before the next one comes.
    listing = Listing{};
    Ticket t = Issue(address, wire::MakeFrame(0, "LIST"), true, outgoing);
    Post(outgoing);
    if (t.pending) Await(lk, {&t}, Clock::now() + options.replyTimeout);
    if (t.result != result::kOk) return t.result;
    Pending& p = *t.pending;
    listing.address = address;
    listing.entries.assign(p.entries.begin(), p.entries.end());
    p.entries.clear();
    if (p.seen > listing.entries.size())
        DebugTrace("Clip listing of " + address + ": " + std::to_string(p.seen) +
                   " entries, kept the newest " + std::to_string(listing.entries.size()) +
                   ", left out the oldest " + std::to_string(p.seen - listing.entries.size()));
    if (count) *count = static_cast<int32_t>(listing.entries.size());
    return result::kOk;
}

int32_t RecorderLink::Impl::ClipDir(int32_t code, std::intptr_t input, void* output) {
    switch (code) {
        case clipdir::kConnect: {
            const auto* table = InputRecord<ClipDirConnectTable>(input);
            if (!table) return result::kBadInput;
            std::lock_guard lock(mu);
            for (auto& [a, c] : pool.live) c->usedByDir = false;
            // The table carries no count: it ends at the first blank slot.
            for (int i = 0; i < kDeviceChannels; ++i) {
                std::string address = ReadField(table->address[i], kAddressWidth);
                if (address.empty()) break;
                if (!NoRecorderAddress(address)) Open(address)->usedByDir = true;
            }
            DropUnused();
            return result::kOk;
        }
        case clipdir::kDisconnect: {
            std::lock_guard lock(mu);
            for (auto& [a, c] : pool.live) c->usedByDir = false;
            listing = Listing{};
            DropUnused();
            return result::kOk;
        }
        case clipdir::kOpen:
        case clipdir::kFirst:
        case clipdir::kNext:
            return WalkListing(code, input, output, mu, listing,
                               [this](const std::string& address, int32_t* count) {
                                   return FetchListing(address, count);
                               });
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
            Ticket t = Request(address, wire::MakeFrame(0, "CLIPINFO", {name}), true);
            if (t.result != result::kOk) return t.result;
            if (t.pending->entries.empty()) return result::kNoEntry;
            *out = t.pending->entries.front();
            return result::kOk;
        }
        default:
            return result::kBadInput;
    }
}

// --- public ------------------------------------------------------------------

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
    return std::make_shared<AmpLibraryOf<Impl>>(impl_);
}
std::shared_ptr<DeviceLibrary> RecorderLink::ClipDirLibrary() {
    return std::make_shared<ClipDirLibraryOf<Impl>>(impl_);
}
int RecorderLink::Dials() const {
    std::lock_guard lock(impl_->mu);
    return impl_->dials;
}
int RecorderLink::Connections() const {
    std::lock_guard lock(impl_->mu);
    int n = 0;
    for (auto& [a, c] : impl_->pool.live)
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
