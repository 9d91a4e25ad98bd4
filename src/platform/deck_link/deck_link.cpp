#include "platform/deck_link/deck_link.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "device/records.h"
#include "platform/deck/client_codec.h"
#include "platform/deck_link/deck_config.h"
#include "platform/deck_link/deck_state.h"
#include "platform/link/batch.h"
#include "platform/link/io_thread.h"
#include "platform/link/libraries.h"
#include "platform/link/listing.h"
#include "platform/link/pool.h"
#include "platform/link/records.h"
#include "platform/link/stream.h"
#include "platform/wire/naming.h"
#include "shell/shared_routines.h"
#include "shell/text.h"

namespace tarvolen::decklink {

using Clock = std::chrono::steady_clock;
using link::BlockText;
using link::InputRecord;
using link::OutputRecord;
using link::ParseChannel;
using link::TagValue;

namespace {

constexpr char kNoTimecode[] = "--:--:--:--";
// Our recorders wind at ten times normal speed; the deck shuttles the same.
constexpr int kWindSpeed = 1000;
// Answers given up on are still awaited; a deck that never answers must not
// make the queue grow without end.
constexpr std::size_t kMaxPending = 1024;
constexpr char kDefaultNameTemplate[] = "%P_%S_%D_%T";

std::string KeyOf(const std::string& address, int32_t port) {
    return address + ":" + std::to_string(port > 0 ? port : deck::kDefaultPort);
}

}  // namespace

struct Pending {
    bool done = false;
    bool abandoned = false;
    bool caller = false;       // a device call awaits it
    bool stateChange = false;  // a refusal of it tells the row why
    bool completesSetup = false;
    int32_t result = result::kLost;
    deck::Response reply;
    std::string recordName;  // record: the name given
    std::string command;     // for the trace
};

struct Deck;

struct Ticket {
    int32_t result = result::kLost;
    std::shared_ptr<Pending> pending;
};

// A device call taken apart.
struct Prepared {
    bool send = false;
    int32_t result = result::kOk;
    int ch = 0;
    std::string name;  // deck command
    deck::Params params;
    bool stateChange = false;
    bool record = false;
    RecordNaming naming;
    std::string loadName;  // load: the clip to go to
    bool loopOff = false;  // loop off: only sent while the deck plays
    // A document made from the reply, into out.
    enum class Document { kNone, kVolumes, kConfig, kFiles } document = Document::kNone;
    TextBlock* out = nullptr;
    std::string fileClip;  // record file list: the clip asked for
};

struct DeckLink::Impl {
    DeckLinkOptions options;
    link::IoThread ioThread{"tarvolen-deck"};
    asio::io_context& io = ioThread.io;

    mutable std::mutex mu;
    std::condition_variable cv;
    link::Pool<Deck> pool;  // by address:port
    link::Routes routes;
    link::Listing listing;
    int dials = 0;
    // Called whenever what codes 30 and 34 answer may have changed.
    std::function<void()> statusWake;

    explicit Impl(DeckLinkOptions o) : options(std::move(o)) {}
    ~Impl();

    void StatusChanged() {  // mu held
        if (statusWake) statusWake();
    }
    bool WatchStatus(std::function<void()> wake) {
        std::lock_guard lock(mu);
        statusWake = std::move(wake);
        return true;
    }

    std::shared_ptr<Deck> Open(const std::string& key);              // mu held
    void DropUnused();                                               // mu held
    std::shared_ptr<Deck> DeckAt(const std::string& address) const;  // mu held

    using Outgoing = std::map<std::shared_ptr<Deck>,
                              std::vector<std::pair<std::shared_ptr<Pending>, std::string>>>;
    Ticket Issue(const std::shared_ptr<Deck>& d, const std::string& name,
                 const deck::Params& params,
                 Outgoing& out);                      // mu held
    Ticket IssueChannel(Prepared& p, Outgoing& out);  // mu held
    void Post(Outgoing& out);
    void Await(std::unique_lock<std::mutex>& lk, std::vector<Ticket*> tickets,
               Clock::time_point deadline);

    Prepared Prepare(int32_t code, std::intptr_t input, void* output);
    int32_t Finish(const Prepared& p, Ticket& t);

    using Sent = link::Sent<Prepared, Ticket>;
    Sent Send(std::span<DeviceCall> calls);
    void Collect(Sent& sent);

    int32_t Amp(int32_t code, std::intptr_t input, void* output);
    int32_t ClipDir(int32_t code, std::intptr_t input, void* output);
    int32_t Status(void* output);
    int32_t ClipNames(void* output);
    int32_t Connect(std::intptr_t input);
    int32_t Disconnect();
    int32_t SetAddress(std::intptr_t input);
    int32_t FetchListing(const std::string& address, int32_t* count);
};

// What the row of the deck's channel shows (codes 30 and 34).
std::string RowView(const DeckState& s) {
    return StateWord(s) + "|" + RowTimecode(s) + "|" + CurrentClip(s);
}

struct Deck : link::Stream<Deck> {
    // kSettingUp: dialled for the first time. kLost: was up, or its setup
    // failed; dialled again in the background. kHeld: another client holds
    // the deck (120); dialled again, slower.
    enum class Phase { kSettingUp, kUp, kLost, kHeld, kClosed };

    DeckLink::Impl& link;
    const std::string key;
    std::string address;
    uint16_t port = deck::kDefaultPort;
    // Guarded by link.mu.
    Phase phase = Phase::kSettingUp;
    DeckState state;
    std::deque<std::shared_ptr<Pending>> pending;  // in the order sent
    bool usedByAmp = false, usedByDir = false, spare = false;
    Clock::time_point spareUntil{};

    // I/O thread only.
    asio::steady_timer heartbeat;
    deck::ReplyReader reader;
    bool greeted = false, dialing = false;
    bool armedMoving = false;  // the timer is set for a moving transport's polls
    bool justUp = false;       // the setup has just completed
    Clock::time_point lastPing{}, setupStarted{}, retryAt{};

    Deck(DeckLink::Impl& l, std::string k)
        : Stream(l.ioThread), link(l), key(std::move(k)), heartbeat(l.io) {
        const std::size_t colon = key.rfind(':');
        address = key.substr(0, colon);
        if (auto p = deck::ParseInt(key.substr(colon + 1), 1, 65535))
            port = static_cast<uint16_t>(*p);
    }

    void Start() {
        Dial();
        Beat();
    }

    void Dial() {
        Reset();
        reader = deck::ReplyReader{};
        greeted = false;
        dialing = true;
        setupStarted = Clock::now();
        asio::error_code ec;
        auto ip = asio::ip::make_address_v4(address, ec);
        if (ec) {
            Lose(Phase::kLost);
            return;
        }
        {
            std::lock_guard lock(link.mu);
            ++link.dials;
        }
        Connect(ip, port);
    }

    void FailPending() {  // link.mu held
        for (auto& p : pending) {
            p->done = true;
            p->result = result::kLost;
        }
        pending.clear();
        link.cv.notify_all();
    }

    // Closes the socket, fails what waits on it and schedules a new attempt.
    void Lose(Phase why) {
        CloseSocket();
        dialing = false;
        retryAt =
            Clock::now() + (why == Phase::kHeld ? link.options.heldRetry : link.options.retryEvery);
        std::lock_guard lock(link.mu);
        const Phase was = phase;
        if (phase != Phase::kClosed) phase = why;
        if (phase != was) link.StatusChanged();  // not each failed redial
        FailPending();
        // The timer may be set for a later deadline of the old connection.
        heartbeat.expires_at(link::OnGrid(retryAt));
        heartbeat.async_wait([self = shared_from_this()](const asio::error_code& e) {
            if (!e) self->Check();
        });
    }

    void Close() {
        heartbeat.cancel();
        CloseSocket(true);
        std::lock_guard lock(link.mu);
        phase = Phase::kClosed;
        link.StatusChanged();
        FailPending();
    }

    // Queues a command of the link's own; the reply updates the state.
    void SendOwn(const std::string& name, const deck::Params& params = {},
                 bool completesSetup = false) {
        auto p = std::make_shared<Pending>();
        p->completesSetup = completesSetup;
        p->command = name;
        std::string bytes = deck::FormatCommand(name, params);
        {
            std::lock_guard lock(link.mu);
            pending.push_back(p);
        }
        SendBytes(bytes);
    }

    // The timer is set for the next thing due, not ticked, so an idle deck
    // wakes the I/O thread only for its pings.
    void Beat() { Arm(Clock::now()); }

    void Arm(Clock::time_point due) {
        armedFor = link::OnGrid(due);
        heartbeat.expires_at(armedFor);
        heartbeat.async_wait([self = shared_from_this()](const asio::error_code& e) {
            if (!e) self->Check();
        });
    }

    static bool Moving(const DeckState& s) {
        return s.status != "stopped" && s.status != "preview";
    }

    void Check() {
        auto now = Clock::now();
        Phase p;
        bool expired = false, local = false, moving = false;
        {
            std::lock_guard lock(link.mu);
            p = phase;
            local = !state.remoteEnabled;
            moving = Moving(state);
            expired = link.pool.SpareExpired(key, *this, now);
        }
        if (p == Phase::kClosed) return;
        if (expired) {
            Close();
            return;
        }
        auto& o = link.options;
        const bool heldUp = HeldUp(now, o.lostAfter, o.replyTimeout);
        if (dialing) {
            if (now - setupStarted > o.setupTimeout) Lose(Phase::kLost);
        } else if (p != Phase::kUp) {
            if (now >= retryAt) Dial();
        } else if (Silent(now, o.lostAfter)) {
            // Nothing at all for that long, pings included: gone.
            Lose(Phase::kLost);
        } else if (moving && now - lastPing >= o.movingPoll) {
            // A deck tells of changes, not of its running timecode.
            lastPing = now;
            SendOwn("transport info");
        } else if (heldUp || ((now - lastHeard >= o.keepalive || now - lastSent >= o.keepalive) &&
                              now - lastPing >= o.keepalive)) {
            lastPing = now;
            // In local mode the keepalive asks whether remote control is back.
            SendOwn(local ? "remote" : "ping");
        }

        bool spareCopy = false;
        Clock::time_point spareUntilCopy{};
        {
            std::lock_guard lock(link.mu);
            p = phase;
            moving = Moving(state);
            spareCopy = spare;
            spareUntilCopy = spareUntil;
        }
        if (p == Phase::kClosed) return;
        Clock::time_point due;
        if (dialing) {
            due = setupStarted + o.setupTimeout + Clock::duration(1);
        } else if (p != Phase::kUp) {
            due = retryAt;
        } else {
            Clock::time_point ping =
                std::max(std::min(lastHeard, lastSent) + o.keepalive, lastPing + o.keepalive);
            if (moving) ping = std::min(ping, lastPing + o.movingPoll);
            due = std::min(ping, SilentFrom(o.lostAfter));
        }
        if (spareCopy) due = std::min(due, spareUntilCopy + Clock::duration(1));
        armedMoving = moving;
        Arm(std::max(due, now + std::chrono::milliseconds(1)));
    }

    void Lost() { Lose(Phase::kLost); }

    bool Received(const char* data, std::size_t n) {
        const unsigned gen = generation;
        reader.Feed(data, n);
        deck::Response r;
        for (;;) {
            auto st = reader.Next(r);
            if (st == deck::ReplyReader::Status::kNeedMore) break;
            if (st == deck::ReplyReader::Status::kError) {
                DebugTrace("Deck " + key + ": " + reader.Error());
                return false;
            }
            if (gen != generation) return true;  // a reply closed it
            if (!Take(r)) return false;
        }
        // Up after its setup, or moving now: the timer was set for later.
        bool sooner = false;
        {
            std::lock_guard lock(link.mu);
            sooner = (phase == Phase::kUp && justUp) || (!armedMoving && Moving(state));
            justUp = false;
        }
        if (sooner) Beat();
        return true;
    }

    void Setup() {
        SendOwn("notify", {{"transport", "true"}, {"slot", "true"}, {"remote", "true"}});
        SendOwn("remote");
        if (link.options.watchdogSeconds > 0)
            SendOwn("watchdog", {{"period", std::to_string(link.options.watchdogSeconds)}});
        SendOwn("clips get");
        SendOwn("slot info");
        SendOwn("transport info", {}, true);
    }

    // One response from the deck; false when it makes no sense here.
    bool Take(deck::Response& r) {
        if (!greeted) {
            if (r.code == deck::kConnectionRejected) {
                DebugTrace("Deck " + key + ": another client holds it");
                Lose(Phase::kHeld);
                return true;
            }
            if (r.code != deck::kConnectionInfo) return false;
            greeted = true;
            {
                std::lock_guard lock(link.mu);
                state = DeckState{};
                link.StatusChanged();
            }
            Setup();
            return true;
        }
        bool refreshClips = false;
        if (r.IsAsync()) {
            std::lock_guard lock(link.mu);
            const std::string before = RowView(state);
            const bool wasRecording = state.status == "record";
            if (r.code == deck::kAsyncTransportInfo) {
                ApplyTransport(r.params, state);
                refreshClips = wasRecording && state.status != "record";
            } else if (r.code == deck::kAsyncSlotInfo) {
                ApplySlot(r.params, state);
                state.notice.clear();  // a disk came or went: a refusal for want of one is old news
                refreshClips = true;
            } else if (r.code == deck::kAsyncRemoteInfo) {
                ApplyRemote(r.params, state);
            }
            if (RowView(state) != before) link.StatusChanged();
        } else {
            std::lock_guard lock(link.mu);
            if (pending.empty()) return false;  // an answer nobody asked for
            std::shared_ptr<Pending> p = pending.front();
            pending.pop_front();
            const std::string before = RowView(state);
            const bool wasRecording = state.status == "record";
            switch (r.code) {
                case deck::kTransportInfo:
                    ApplyTransport(r.params, state);
                    break;
                case deck::kClipsInfo:
                    if (!ApplyClips(r.lines, state))
                        DebugTrace("Deck " + key + ": clip list not understood");
                    break;
                case deck::kSlotInfo:
                    ApplySlot(r.params, state);
                    break;
                case deck::kRemoteInfo:
                    ApplyRemote(r.params, state);
                    break;
                default:
                    break;
            }
            if (deck::IsSuccess(r.code)) {
                if (p->stateChange) {
                    state.remoteEnabled = true;
                    state.notice.clear();
                }
                if (!p->recordName.empty()) state.recordingName = p->recordName;
                p->result = result::kOk;
            } else {
                if (r.code == deck::kRemoteControlDisabled) {
                    state.remoteEnabled = false;
                    state.notice.clear();  // local mode says more than an older refusal
                } else if (p->stateChange && !RefusalWord(r.code).empty()) {
                    state.notice = RefusalWord(r.code);
                }
                p->result = result::kRefused;
                if (p->caller)
                    DebugTrace("Deck " + key + " refused " + p->command + ": " +
                               std::to_string(r.code) + " " + r.text);
            }
            refreshClips = wasRecording && state.status != "record";
            if (p->completesSetup && phase != Phase::kClosed) {
                phase = Phase::kUp;
                dialing = false;
                justUp = true;
                link.StatusChanged();
            } else if (RowView(state) != before) {
                // A poll of a moving transport that only repeats the picture wakes nobody.
                link.StatusChanged();
            }
            p->reply = std::move(r);
            p->done = true;
            link.cv.notify_all();
        }
        if (refreshClips) SendOwn("clips get");
        return true;
    }
};

// --- DeckLink::Impl ------------------------------------------------------------

DeckLink::Impl::~Impl() {
    {
        std::lock_guard lock(mu);
        pool.CloseAll(ioThread);
    }
    ioThread.Stop();
}

std::shared_ptr<Deck> DeckLink::Impl::Open(const std::string& key) {
    return pool.Open(ioThread, key, [&] { return std::make_shared<Deck>(*this, key); });
}

void DeckLink::Impl::DropUnused() {
    pool.DropUnused(options.linger, [&](const Deck& d) {
        if (listing.address == d.address) listing = link::Listing{};
    });
    StatusChanged();
    cv.notify_all();
}

std::shared_ptr<Deck> DeckLink::Impl::DeckAt(const std::string& address) const {
    std::shared_ptr<Deck> found;
    for (auto& [k, d] : pool.live) {
        if (d->address != address) continue;
        if (d->phase == Deck::Phase::kUp) return d;
        if (!found) found = d;
    }
    return found;
}

Ticket DeckLink::Impl::Issue(const std::shared_ptr<Deck>& d, const std::string& name,
                             const deck::Params& params, Outgoing& out) {
    Ticket t;
    // Dialling, greeting, held by another client, or lost: fail at once.
    if (d->phase != Deck::Phase::kUp) return t;
    std::string bytes = deck::FormatCommand(name, params);
    if (bytes.empty()) {
        t.result = result::kBadInput;
        return t;
    }
    if (d->pending.size() >= kMaxPending) return t;
    auto p = std::make_shared<Pending>();
    p->caller = true;
    p->command = name;
    out[d].emplace_back(p, std::move(bytes));
    t.pending = p;
    return t;
}

Ticket DeckLink::Impl::IssueChannel(Prepared& p, Outgoing& out) {
    Ticket t;
    if (p.ch < 0 || p.ch >= kDeviceChannels) {
        t.result = result::kBadInput;
        return t;
    }
    const link::Route& r = routes[static_cast<std::size_t>(p.ch)];
    auto it = pool.live.find(r.key);
    if (!r.mapped || it == pool.live.end() || r.internal != 1) {
        t.result = result::kNotConnected;
        return t;
    }
    const std::shared_ptr<Deck>& d = it->second;
    if (p.loopOff && d->state.status != "play") {
        t.result = result::kOk;  // not looping: nothing to end
        return t;
    }
    std::string recordName;
    if (p.record) {
        wire::NamingContext ctx;
        ctx.project = p.naming.project;
        ctx.scene = p.naming.scene;
        ctx.startTimecode = RowTimecode(d->state);
        std::time_t now = std::time(nullptr);
        localtime_r(&now, &ctx.when);
        recordName = wire::SanitizeName(wire::ExpandTemplate(
            p.naming.nameTemplate.empty() ? kDefaultNameTemplate : p.naming.nameTemplate, ctx));
        if (!recordName.empty()) p.params.push_back({"name", recordName});
    }
    if (!p.loadName.empty()) {
        const DeckClip* clip = FindClip(d->state, p.loadName);
        if (!clip) {
            DebugTrace("Deck " + d->key + " has no clip " + p.loadName);
            t.result = result::kRefused;
            return t;
        }
        p.params = {{"clip id", std::to_string(clip->id)}};
    }
    t = Issue(d, p.name, p.params, out);
    if (t.pending) {
        t.pending->stateChange = p.stateChange;
        t.pending->recordName = recordName;
    }
    return t;
}

void DeckLink::Impl::Post(Outgoing& out) {
    if (out.empty()) return;
    // One wake-up of the I/O thread for the whole batch. The queue of a deck
    // takes a request only with its bytes, so answers match in order.
    ioThread.Post([batch = std::move(out)] {
        for (auto& [d, items] : batch) {
            std::string bytes;
            {
                std::lock_guard lock(d->link.mu);
                for (auto& [p, b] : items) {
                    if (d->phase != Deck::Phase::kUp) {
                        p->done = true;
                        p->result = result::kLost;
                        continue;
                    }
                    d->pending.push_back(p);
                    bytes += b;
                }
                d->link.cv.notify_all();
            }
            if (!bytes.empty()) d->SendBytes(bytes);
        }
    });
    out.clear();
}

void DeckLink::Impl::Await(std::unique_lock<std::mutex>& lk, std::vector<Ticket*> tickets,
                           Clock::time_point deadline) {
    cv.wait_until(lk, deadline, [&] {
        for (Ticket* t : tickets)
            if (t->pending && !t->pending->done) return false;
        return true;
    });
    for (Ticket* t : tickets) {
        if (!t->pending) continue;
        if (t->pending->done) {
            t->result = t->pending->result;
        } else {
            // Late is not lost: the answer still takes its place in the queue.
            t->pending->abandoned = true;
            t->result = result::kLost;
        }
    }
}

Prepared DeckLink::Impl::Prepare(int32_t code, std::intptr_t input, void* output) {
    Prepared p;
    auto fail = [&p](int32_t rc) {
        p.send = false;
        p.result = rc;
        return p;
    };
    auto command = [&p](int ch, std::string name, deck::Params params = {}, bool change = true) {
        p.send = true;
        p.ch = ch;
        p.name = std::move(name);
        p.params = std::move(params);
        p.stateChange = change;
        return p;
    };
    const auto* request = InputRecord<ChannelRequest>(input);
    const auto* valued = InputRecord<ChannelValueRequest>(input);
    switch (code) {
        case amp::kStop:
            return request ? command(request->channel, "stop") : fail(result::kBadInput);
        case amp::kPlay:
            return request ? command(request->channel, "play") : fail(result::kBadInput);
        case amp::kEject:
            // The deck shows its input: nothing is loaded for output.
            return request ? command(request->channel, "preview", {{"enable", "true"}})
                           : fail(result::kBadInput);
        case amp::kWind:
            if (!valued) return fail(result::kBadInput);
            return command(
                valued->channel, "shuttle",
                {{"speed", std::to_string(valued->value < 0 ? -kWindSpeed : kWindSpeed)}});
        case amp::kStep:
            if (!valued) return fail(result::kBadInput);
            return command(valued->channel, "jog",
                           {{"timecode", valued->value < 0 ? "-00:00:00:01" : "+00:00:00:01"}});
        case amp::kPlaySpeed:
            if (!valued) return fail(result::kBadInput);
            return command(valued->channel, "play", {{"speed", std::to_string(valued->value)}});
        case amp::kLoop:
            if (!valued) return fail(result::kBadInput);
            command(valued->channel, "play", {{"loop", valued->value ? "true" : "false"}});
            p.loopOff = valued->value == 0;
            return p;
        case amp::kPingPong:
            if (!valued) return fail(result::kBadInput);
            if (valued->value == 0) return fail(result::kOk);  // it has none to end
            DebugTrace("Deck channel " + std::to_string(valued->channel) +
                       ": no ping-pong on a deck");
            return fail(result::kRefused);
        case amp::kRecord: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return fail(result::kBadInput);
            std::string text = BlockText(block);
            int ch = 0;
            if (!ParseChannel(TagValue(text, "Chan"), ch)) return fail(result::kBadInput);
            std::string name = CleanText(TagValue(text, "ClipName"));
            command(ch, "record");
            if (name.empty() || name == "?") {
                p.record = true;
                if (options.namingOf) p.naming = options.namingOf(ch);
            } else {
                p.params.push_back({"name", wire::SanitizeName(name)});
            }
            return p;
        }
        case amp::kLoadClip: {
            const auto* r = InputRecord<LoadClipRequest>(input);
            if (!r) return fail(result::kBadInput);
            std::string name = ReadField(r->clipName, kClipNameWidth);
            if (name.empty()) return fail(result::kBadInput);
            command(r->channel, "goto");
            p.loadName = name;
            return p;
        }
        case amp::kVolumes:
        case amp::kGetConfig: {
            auto* out = OutputRecord<TextBlock>(output);
            if (!request || !out) return fail(result::kBadInput);
            StoreField(out->text, kTextBlockWidth, "");
            const bool volumes = code == amp::kVolumes;
            command(request->channel, volumes ? "slot info" : "configuration", {}, false);
            p.document = volumes ? Prepared::Document::kVolumes : Prepared::Document::kConfig;
            p.out = out;
            return p;
        }
        case amp::kRecordFileList: {
            const auto* block = InputRecord<TextBlock>(input);
            auto* out = OutputRecord<TextBlock>(output);
            if (!block || !out) return fail(result::kBadInput);
            StoreField(out->text, kTextBlockWidth, "");
            std::string text = BlockText(block);
            int ch = 0;
            std::string name = CleanText(TagValue(text, "ClipName"));
            if (!ParseChannel(TagValue(text, "Chan"), ch) || name.empty())
                return fail(result::kBadInput);
            // The deck lists its files with their formats; the clip's is its one file.
            command(ch, "disk list", {}, false);
            p.document = Prepared::Document::kFiles;
            p.out = out;
            p.fileClip = name;
            return p;
        }
        case amp::kSendConfig: {
            const auto* block = InputRecord<TextBlock>(input);
            if (!block) return fail(result::kBadInput);
            int ch = 0;
            std::string document, why;
            if (!link::ChannelDocument(BlockText(block), ch, document))
                return fail(result::kBadInput);
            auto params = ConfigCommand(document, why);
            if (!params) {
                // Half a change reported as done would be worse than none.
                DebugTrace("Deck channel " + std::to_string(ch) +
                           ": configuration not sent: " + why);
                return fail(result::kRefused);
            }
            // Nothing to change still asks the deck, so a deck not up fails.
            return command(ch, "configuration", std::move(*params), !params->empty());
        }
        default:
            return fail(result::kBadInput);
    }
}

int32_t DeckLink::Impl::Finish(const Prepared& p, Ticket& t) {
    if (t.result != result::kOk || !p.out || !t.pending) return t.result;
    const deck::Response& r = t.pending->reply;
    auto value = [&r](const char* key) {
        const std::string* v = r.Find(key);
        return v ? *v : std::string();
    };
    std::string document;
    switch (p.document) {
        case Prepared::Document::kVolumes:
            document = "<Volumes><Volume><Name>" + value("volume name") + "</Name><Path>slot " +
                       value("slot id") + "</Path><Status>" + value("status") +
                       "</Status><RecordSeconds>" + value("recording time") +
                       "</RecordSeconds></Volume></Volumes>";
            break;
        case Prepared::Document::kConfig:
            if (r.code != deck::kConfiguration) return result::kRefused;
            document = ConfigDocument(r.params);
            break;
        case Prepared::Document::kFiles:
            if (r.code != deck::kDiskList) return result::kRefused;
            document = RecordFileList(r.params, p.fileClip);
            // A clip the deck does not list has no file to show.
            if (document.empty()) return result::kRefused;
            break;
        case Prepared::Document::kNone:
            return result::kOk;
    }
    // Cut to fit, a document would be malformed: none rather than that.
    if (document.size() >= static_cast<std::size_t>(kTextBlockWidth)) return result::kRefused;
    StoreField(p.out->text, kTextBlockWidth, document);
    return result::kOk;
}

DeckLink::Impl::Sent DeckLink::Impl::Send(std::span<DeviceCall> calls) {
    return link::SendCalls(*this, calls);
}

void DeckLink::Impl::Collect(Sent& sent) {
    link::CollectCalls(*this, sent);
}

int32_t DeckLink::Impl::Amp(int32_t code, std::intptr_t input, void* output) {
    return link::AmpCall(*this, code, input, output);
}

int32_t DeckLink::Impl::Status(void* output) {
    auto* table = OutputRecord<StatusTable>(output);
    if (!table) return result::kBadInput;
    std::lock_guard lock(mu);
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        StatusEntry& e = table->entry[ch];
        e.unused = 0;
        const link::Route& r = routes[static_cast<std::size_t>(ch)];
        std::string word = "Off";
        std::string tc = kNoTimecode;
        if (r.mapped) {
            auto it = pool.live.find(r.key);
            const Deck* d = it == pool.live.end() ? nullptr : it->second.get();
            if (!d) {
                word = "Los";
            } else if (d->phase == Deck::Phase::kSettingUp) {
                // Not up yet: a deck slow to greet is not lost.
            } else if (d->phase == Deck::Phase::kHeld) {
                word = "In use";
            } else if (d->phase != Deck::Phase::kUp) {
                word = "Los";
            } else if (r.internal != 1) {
                word = "Nop";  // a deck has one channel
            } else {
                word = StateWord(d->state);
                tc = RowTimecode(d->state);
            }
        }
        StoreField(e.timecode, sizeof e.timecode, tc);
        StoreField(e.state, sizeof e.state, word);
    }
    return result::kOk;
}

int32_t DeckLink::Impl::ClipNames(void* output) {
    auto* table = OutputRecord<ClipNameTable>(output);
    if (!table) return result::kBadInput;
    std::lock_guard lock(mu);
    for (int ch = 0; ch < kDeviceChannels; ++ch) {
        const link::Route& r = routes[static_cast<std::size_t>(ch)];
        std::string name;
        if (r.mapped && r.internal == 1) {
            auto it = pool.live.find(r.key);
            if (it != pool.live.end() && it->second->phase == Deck::Phase::kUp)
                name = CurrentClip(it->second->state);
        }
        StoreField(table->name[ch], kClipNameWidth, name);
    }
    return result::kOk;
}

int32_t DeckLink::Impl::Connect(std::intptr_t input) {
    const auto* table = InputRecord<ConnectTable>(input);
    if (!table) return result::kBadInput;
    std::array<int32_t, kDeviceChannels> ports{};
    for (int ch = 0; ch < kDeviceChannels; ++ch)
        if (table->shown[ch] && options.portOf)
            ports[static_cast<std::size_t>(ch)] = options.portOf(ch);
    std::unique_lock lk(mu);
    link::RouteChannels(
        pool, routes, *table, [](const std::string& a) { return !a.empty(); },
        [&ports](int ch, const std::string& a) {
            return KeyOf(a, ports[static_cast<std::size_t>(ch)]);
        },
        [this](const std::string& key) { return Open(key); });
    DropUnused();
    link::AwaitSetUp(lk, cv, pool, options.connectWait);
    return result::kOk;
}

int32_t DeckLink::Impl::Disconnect() {
    std::lock_guard lock(mu);
    link::Unroute(pool, routes);
    DropUnused();
    return result::kOk;
}

int32_t DeckLink::Impl::SetAddress(std::intptr_t input) {
    const auto* block = InputRecord<TextBlock>(input);
    if (!block) return result::kBadInput;
    int ch = 0, internal = 0;
    std::string address;
    if (!link::AddressDocument(BlockText(block), ch, address, internal)) return result::kBadInput;
    const std::string key = KeyOf(address, options.portOf ? options.portOf(ch) : 0);
    std::lock_guard lock(mu);
    if (!link::Reroute(routes, ch, key, internal)) return result::kOk;
    Open(key)->usedByAmp = true;
    StatusChanged();
    return result::kReconnect;
}

int32_t DeckLink::Impl::FetchListing(const std::string& address, int32_t* count) {
    Outgoing out;
    std::unique_lock lk(mu);
    listing = link::Listing{};
    std::shared_ptr<Deck> d = DeckAt(address);
    if (!d) return result::kNotConnected;
    Ticket t = Issue(d, "clips get", {}, out);
    Post(out);
    if (t.pending) Await(lk, {&t}, Clock::now() + options.listingTimeout);
    if (t.result != result::kOk) return t.result;
    if (t.pending->reply.code != deck::kClipsInfo) return result::kRefused;
    // The reply has been taken into the deck's state by now.
    listing.address = address;
    for (const DeckClip& c : d->state.clips) {
        ClipEntry e{};
        e.size = sizeof e;
        StoreField(e.clipName, kClipNameWidth, c.name);
        StoreField(e.dateTime, sizeof e.dateTime, "");
        StoreField(e.start, kTimecodeWidth, c.start);
        StoreField(e.duration, kTimecodeWidth, c.duration);
        // The clip list takes an entry only with an identifier of this form.
        char guid[40];
        std::snprintf(guid, sizeof guid, "%08x-0000-4000-8000-%012llx",
                      static_cast<unsigned>(std::hash<std::string>{}(address)),
                      static_cast<unsigned long long>(c.id));
        StoreField(e.guid, sizeof e.guid, guid);
        StoreField(e.address, kAddressWidth, address);
        listing.entries.push_back(e);
    }
    if (count) *count = static_cast<int32_t>(listing.entries.size());
    return result::kOk;
}

int32_t DeckLink::Impl::ClipDir(int32_t code, std::intptr_t input, void* output) {
    switch (code) {
        case clipdir::kConnect: {
            const auto* table = InputRecord<ClipDirConnectTable>(input);
            if (!table) return result::kBadInput;
            std::lock_guard lock(mu);
            for (auto& [k, d] : pool.live) d->usedByDir = false;
            for (int i = 0; i < kDeviceChannels; ++i) {
                std::string address = ReadField(table->address[i], kAddressWidth);
                if (address.empty()) break;
                // One connection a deck: the directory shares the channel's.
                bool any = false;
                for (auto& [k, d] : pool.live)
                    if (d->address == address) any = d->usedByDir = true;
                if (!any) Open(KeyOf(address, 0))->usedByDir = true;
            }
            DropUnused();
            return result::kOk;
        }
        case clipdir::kDisconnect: {
            std::lock_guard lock(mu);
            for (auto& [k, d] : pool.live) d->usedByDir = false;
            listing = link::Listing{};
            DropUnused();
            return result::kOk;
        }
        case clipdir::kOpen:
        case clipdir::kFirst:
        case clipdir::kNext:
            return link::WalkListing(code, input, output, mu, listing,
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
            std::lock_guard lock(mu);
            std::shared_ptr<Deck> d = DeckAt(address);
            if (!d) return result::kNotConnected;
            const DeckClip* c = FindClip(d->state, name);
            if (!c) return result::kNoEntry;
            *out = *in;
            out->size = sizeof *out;
            StoreField(out->clipName, kClipNameWidth, c->name);
            StoreField(out->start, kTimecodeWidth, c->start);
            StoreField(out->duration, kTimecodeWidth, c->duration);
            return result::kOk;
        }
        default:
            return result::kBadInput;
    }
}

// --- public ------------------------------------------------------------------

DeckLink::DeckLink(DeckLinkOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {}
DeckLink::~DeckLink() = default;

int32_t DeckLink::AmpCommand(int32_t code, std::intptr_t input, void* output) {
    return impl_->Amp(code, input, output);
}
int32_t DeckLink::ClipDirCommand(int32_t code, std::intptr_t input, void* output) {
    return impl_->ClipDir(code, input, output);
}
std::shared_ptr<DeviceLibrary> DeckLink::AmpLibrary() {
    return std::make_shared<link::AmpLibraryOf<Impl>>(impl_);
}
std::shared_ptr<DeviceLibrary> DeckLink::ClipDirLibrary() {
    return std::make_shared<link::ClipDirLibraryOf<Impl>>(impl_);
}
int DeckLink::Dials() const {
    std::lock_guard lock(impl_->mu);
    return impl_->dials;
}
int DeckLink::Connections() const {
    std::lock_guard lock(impl_->mu);
    int n = 0;
    for (auto& [k, d] : impl_->pool.live)
        if (d->phase == Deck::Phase::kUp) ++n;
    return n;
}

}  // namespace tarvolen::decklink
