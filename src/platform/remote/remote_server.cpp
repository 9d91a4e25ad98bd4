#include "platform/remote/remote_server.h"

#include <pthread.h>

#include <asio.hpp>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/deck/protocol.h"
#include "platform/deck/server_codec.h"

namespace tarvolen::remote {

using asio::ip::tcp;

namespace {

constexpr const char* kProtocolVersion = "1.6";
// A client that does not read its replies stops being read; one that lets
// notifications pile up beyond the hard bound is let go.
constexpr std::size_t kOutputPause = 64 * 1024;
constexpr std::size_t kOutputLimit = 1024 * 1024;
constexpr std::size_t kReadChunk = 4096;

// Commands of the protocol that a deck standing for a group has no use for.
constexpr const char* kNotOffered[] = {
    "preview",         "clips count",   "clips get", "clips add", "clips clear",   "disk list",
    "slot select",     "configuration", "format",    "uptime",    "identify",      "playrange",
    "play on startup", "play option",   "goto",      "append",    "dynamic range", "nas",
};

std::string CommandText(const deck::Command& cmd) {
    std::string text = cmd.name;
    if (!cmd.params.empty()) text += ':';
    for (const auto& p : cmd.params) text += ' ' + p.key + ": " + p.value;
    return text;
}

}  // namespace

bool ClientAllowed(const std::vector<std::string>& allowed, const std::string& address) {
    if (allowed.empty()) return address.rfind("127.", 0) == 0 || address == "::1";
    for (const auto& a : allowed)
        if (a == "*" || a == address) return true;
    return false;
}

struct Session;

struct Deck {
    int index = 0;  // 0 the group, N channel N
    std::unique_ptr<tcp::acceptor> acceptor;
    DeckState state;
    bool remoteEnabled = true;
    std::set<std::shared_ptr<Session>> sessions;
    std::string Name() const {
        if (index == 0) return "group";
        return std::string("ch") + (index < 10 ? "0" : "") + std::to_string(index);
    }
};

struct RemoteServer::Impl {
    Impl(RemoteOptions o, std::function<void()> w) : options(std::move(o)), wake(std::move(w)) {}

    void Trace(const std::string& text) {
        if (options.trace) options.trace(text);
    }
    void Notify() {
        if (!wakeSent.exchange(true) && wake) wake();
    }
    void ClientsChanged();
    void Accept(Deck& home);
    void Push(ActionRequest request) {
        {
            std::lock_guard lock(mutex);
            pending.push_back(std::move(request));
        }
        Notify();
    }

    asio::io_context io;
    RemoteOptions options;
    std::function<void()> wake;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    std::vector<std::unique_ptr<Deck>> decks;  // I/O thread only once started
    std::map<uint64_t, std::weak_ptr<Session>> byId;
    uint64_t nextId = 1;
    uint16_t port = 0;

    std::atomic<bool> wakeSent{false};
    mutable std::mutex mutex;  // guards what the GUI thread reads
    std::vector<ActionRequest> pending;
    std::vector<std::string> clients;
    uint64_t clientsVersion = 0;
};

struct Session : std::enable_shared_from_this<Session> {
    Session(RemoteServer::Impl& impl, Deck& home, tcp::socket socket, uint64_t id,
            std::string client)
        : impl(impl),
          home(home),
          socket(std::move(socket)),
          id(id),
          client(std::move(client)),
          watchdog(impl.io) {}

    void Begin() {
        Send(
            deck::FormatBlock(deck::kConnectionInfo,
                              {{"protocol version", kProtocolVersion},
                               {"model", home.index == 0 ? "TarVolen Controller"
                                                         : "TarVolen Controller " + home.Name()}}));
        Read();
    }

    void Read() {
        if (closed || reading || waiting || quitting || out.size() + writing.size() > kOutputPause)
            return;
        reading = true;
        socket.async_read_some(asio::buffer(buf), [self = shared_from_this()](
                                                      const asio::error_code& ec, std::size_t n) {
            self->reading = false;
            if (ec) {
                self->Close();
                return;
            }
            self->reader.Feed(self->buf.data(), n);
            self->Process();
        });
    }

    // Answers what is buffered until an Action goes to the window, the client
    // stops reading its replies, or more bytes are needed.
    void Process() {
        while (!closed && !waiting && !quitting && out.size() + writing.size() <= kOutputPause) {
            deck::Command cmd;
            auto status = reader.Next(cmd);
            if (status == deck::CommandReader::Status::kNeedMore) break;
            Kick();
            if (status == deck::CommandReader::Status::kError) {
                impl.Trace("remote " + client + " " + home.Name() + ": " + reader.Error());
                Send(deck::FormatReply(deck::kSyntaxError));
                continue;
            }
            impl.Trace("remote " + client + " " + home.Name() + ": " + CommandText(cmd));
            Handle(cmd);
        }
        Read();
    }

    void Send(const std::string& text) {
        if (closed) return;
        if (out.size() + writing.size() + text.size() > kOutputLimit) {
            impl.Trace("remote " + client + ": does not read its replies; let go");
            Close();
            return;
        }
        out += text;
        Flush();
    }

    void Flush() {
        if (closed || !writing.empty() || out.empty()) return;
        writing.swap(out);
        asio::async_write(socket, asio::buffer(writing),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->writing.clear();
                              if (ec) {
                                  self->Close();
                                  return;
                              }
                              if (self->quitting && self->out.empty()) {
                                  self->Close();
                                  return;
                              }
                              self->Flush();
                              self->Process();
                          });
    }

    void Close() {
        if (closed) return;
        closed = true;
        asio::error_code ignored;
        watchdog.cancel();
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
        impl.byId.erase(id);
        home.sessions.erase(shared_from_this());
        impl.ClientsChanged();
    }

    // The watchdog runs again from every command.
    void Kick() {
        if (watchdogSeconds <= 0) return;
        watchdog.expires_after(std::chrono::seconds(watchdogSeconds));
        watchdog.async_wait([weak = weak_from_this()](const asio::error_code& ec) {
            auto self = weak.lock();
            if (ec || !self) return;
            self->impl.Trace("remote " + self->client + ": watchdog ran out");
            self->Close();
        });
    }

    void Reply(int code) { Send(deck::FormatReply(code)); }

    // A key outside the known ones: 101.
    bool OnlyKeys(const deck::Command& cmd, std::initializer_list<const char*> keys) {
        for (const auto& p : cmd.params) {
            bool known = false;
            for (const char* k : keys) known = known || p.key == k;
            if (!known) {
                Reply(deck::kUnsupportedParameter);
                return false;
            }
        }
        return true;
    }

    void Act(Action action, const deck::Command& cmd) {
        if (!home.remoteEnabled && !override) {
            Reply(deck::kRemoteControlDisabled);
            return;
        }
        waiting = true;
        impl.Push({id, home.index, client, action, CommandText(cmd)});
    }

    deck::Params TransportBody() const {
        const DeckState& s = home.state;
        return {{"status", s.status},
                {"speed", std::to_string(s.speed)},
                {"slot id", s.slotMounted ? "1" : "none"},
                {"display timecode", s.timecode},
                {"timecode", s.timecode},
                {"clip id", "none"},
                {"video format", s.videoFormat},
                {"loop", std::string(deck::BoolText(s.loop))}};
    }
    deck::Params SlotBody() const {
        const DeckState& s = home.state;
        return {{"slot id", "1"},
                {"status", s.slotMounted ? "mounted" : "empty"},
                {"volume name", "TarVolen " + home.Name()},
                {"recording time", std::to_string(s.recordingSeconds)},
                {"video format", s.videoFormat}};
    }
    deck::Params RemoteBody() const {
        return {{"enabled", std::string(deck::BoolText(home.remoteEnabled))},
                {"override", std::string(deck::BoolText(override))}};
    }

    void Handle(const deck::Command& cmd);
    void HandleNotify(const deck::Command& cmd);
    void HandleRemote(const deck::Command& cmd);
    void HandleTransport(const deck::Command& cmd);

    RemoteServer::Impl& impl;
    Deck& home;
    tcp::socket socket;
    uint64_t id;
    std::string client;
    asio::steady_timer watchdog;
    int watchdogSeconds = 0;
    deck::CommandReader reader;
    std::array<char, kReadChunk> buf{};
    std::string out, writing;
    bool reading = false, waiting = false, quitting = false, closed = false;
    bool override = false;
    bool notifyTransport = false, notifySlot = false, notifyRemote = false,
         notifyConfiguration = false, notifyDropped = false;
};

void Session::Handle(const deck::Command& cmd) {
    const std::string& n = cmd.name;
    if (n == "help" || n == "?") {
        Send(deck::FormatLines(deck::kHelp, deck::CodeText(deck::kHelp),
                               {"record: name: {name}  start recording on the checked channels",
                                "stop  stop them", "play: speed: {100, -100}",
                                "shuttle: speed: {n}  wind forward (n > 0) or back (n < 0)",
                                "jog: timecode: {+00:00:00:01, -00:00:00:01}  one frame",
                                "transport info", "slot info", "device info",
                                "notify: transport: {true, false} slot: remote: configuration:",
                                "remote: enable: {true, false} override: {true, false}",
                                "watchdog: period: {seconds}", "ping", "quit", "commands"}));
        return;
    }
    if (n == "commands") {
        std::vector<std::string> lines{"<commands>"};
        for (const char* c : {"help", "commands", "device info", "transport info", "slot info",
                              "notify", "remote", "watchdog", "ping", "quit", "record", "stop"})
            lines.push_back(std::string("<command name=\"") + c + "\"/>");
        if (home.index == 0)
            for (const char* c : {"play", "shuttle", "jog"})
                lines.push_back(std::string("<command name=\"") + c + "\"/>");
        lines.push_back("</commands>");
        Send(deck::FormatLines(deck::kCommands, deck::CodeText(deck::kCommands), lines));
        return;
    }
    if (n == "ping") {
        if (OnlyKeys(cmd, {})) Reply(deck::kOk);
        return;
    }
    if (n == "quit") {
        Reply(deck::kOk);
        quitting = true;
        if (writing.empty() && out.empty()) Close();
        return;
    }
    if (n == "watchdog") {
        if (!OnlyKeys(cmd, {"period"})) return;
        const std::string* period = cmd.Find("period");
        auto seconds = period ? deck::ParseInt(*period, 0, 86400) : std::nullopt;
        if (!seconds) {
            Reply(period ? deck::kInvalidValue : deck::kSyntaxError);
            return;
        }
        watchdogSeconds = int(*seconds);
        if (watchdogSeconds == 0) watchdog.cancel();
        Kick();
        Reply(deck::kOk);
        return;
    }
    if (n == "device info") {
        if (!OnlyKeys(cmd, {})) return;
        Send(deck::FormatBlock(deck::kDeviceInfo,
                               {{"protocol version", kProtocolVersion},
                                {"model", home.index == 0 ? "TarVolen Controller"
                                                          : "TarVolen Controller " + home.Name()},
                                {"unique id", "tarvolen-" + home.Name()},
                                {"slot count", "1"}}));
        return;
    }
    if (n == "transport info") {
        if (OnlyKeys(cmd, {})) Send(deck::FormatBlock(deck::kTransportInfo, TransportBody()));
        return;
    }
    if (n == "slot info") {
        if (!OnlyKeys(cmd, {"slot id"})) return;
        const std::string* slot = cmd.Find("slot id");
        if (slot && deck::ParseInt(*slot, 1, 1) == std::nullopt) {
            Reply(deck::kInvalidValue);
            return;
        }
        Send(deck::FormatBlock(deck::kSlotInfo, SlotBody()));
        return;
    }
    if (n == "notify") {
        HandleNotify(cmd);
        return;
    }
    if (n == "remote") {
        HandleRemote(cmd);
        return;
    }
    if (n == "record") {
        if (!OnlyKeys(cmd, {"name"})) return;
        Act(Action::kRecord, cmd);
        return;
    }
    if (n == "stop") {
        if (OnlyKeys(cmd, {})) Act(Action::kStop, cmd);
        return;
    }
    if (n == "play" || n == "shuttle" || n == "jog") {
        // A channel's own deck has only the row's Record and Stop behind it.
        if (home.index != 0) {
            Reply(deck::kUnsupported);
            return;
        }
        HandleTransport(cmd);
        return;
    }
    for (const char* c : kNotOffered) {
        if (n == c) {
            Reply(deck::kUnsupported);
            return;
        }
    }
    Reply(deck::kSyntaxError);
}

void Session::HandleTransport(const deck::Command& cmd) {
    const std::string& n = cmd.name;
    if (n == "play") {
        // Loop and single clip have no on/off behind the window's buttons,
        // which only toggle.
        if (!OnlyKeys(cmd, {"speed"})) return;
        const std::string* speed = cmd.Find("speed");
        auto v = speed ? deck::ParseInt(*speed, -1600, 1600) : std::optional<int64_t>(100);
        if (!v) {
            Reply(deck::kInvalidValue);
            return;
        }
        if (*v == 100) return Act(Action::kPlay, cmd);
        if (*v == -100) return Act(Action::kPlayReverse, cmd);
        Reply(deck::kUnsupported);
        return;
    }
    if (n == "shuttle") {
        if (!OnlyKeys(cmd, {"speed"})) return;
        const std::string* speed = cmd.Find("speed");
        auto v = speed ? deck::ParseInt(*speed, -1600, 1600) : std::nullopt;
        if (!v) {
            Reply(speed ? deck::kInvalidValue : deck::kSyntaxError);
            return;
        }
        if (*v == 0) return Act(Action::kStop, cmd);
        return Act(*v > 0 ? Action::kFastForward : Action::kRewind, cmd);
    }
    // jog: only the one-frame steps the Step mode's buttons make.
    if (!OnlyKeys(cmd, {"timecode"})) return;
    const std::string* tc = cmd.Find("timecode");
    if (!tc || tc->empty()) {
        Reply(deck::kSyntaxError);
        return;
    }
    bool relative = (*tc)[0] == '+' || (*tc)[0] == '-';
    auto parsed = deck::ParseTimecode(relative ? tc->substr(1) : *tc);
    if (!parsed) {
        Reply(deck::kInvalidValue);
        return;
    }
    if (!relative || !(*parsed == deck::Timecode{0, 0, 0, 1})) {
        Reply(deck::kUnsupported);
        return;
    }
    Act((*tc)[0] == '+' ? Action::kStepForward : Action::kStepBack, cmd);
}

void Session::HandleNotify(const deck::Command& cmd) {
    if (cmd.params.empty()) {
        Send(deck::FormatBlock(deck::kNotify,
                               {{"transport", std::string(deck::BoolText(notifyTransport))},
                                {"slot", std::string(deck::BoolText(notifySlot))},
                                {"remote", std::string(deck::BoolText(notifyRemote))},
                                {"configuration", std::string(deck::BoolText(notifyConfiguration))},
                                {"dropped frames", std::string(deck::BoolText(notifyDropped))}}));
        return;
    }
    if (!OnlyKeys(cmd, {"transport", "slot", "remote", "configuration", "dropped frames"})) return;
    // All or nothing: a bad value changes none of them.
    for (const auto& p : cmd.params) {
        if (!deck::ParseBool(p.value)) {
            Reply(deck::kInvalidValue);
            return;
        }
    }
    for (const auto& p : cmd.params) {
        bool on = *deck::ParseBool(p.value);
        if (p.key == "transport") notifyTransport = on;
        if (p.key == "slot") notifySlot = on;
        if (p.key == "remote") notifyRemote = on;
        if (p.key == "configuration") notifyConfiguration = on;
        if (p.key == "dropped frames") notifyDropped = on;
    }
    Reply(deck::kOk);
}

void Session::HandleRemote(const deck::Command& cmd) {
    if (cmd.params.empty()) {
        Send(deck::FormatBlock(deck::kRemoteInfo, RemoteBody()));
        return;
    }
    if (!OnlyKeys(cmd, {"enable", "override"})) return;
    const std::string* enable = cmd.Find("enable");
    const std::string* over = cmd.Find("override");
    std::optional<bool> e = enable ? deck::ParseBool(*enable) : std::nullopt;
    std::optional<bool> o = over ? deck::ParseBool(*over) : std::nullopt;
    if ((enable && !e) || (over && !o)) {
        Reply(deck::kInvalidValue);
        return;
    }
    if (o) override = *o;
    bool changed = e && *e != home.remoteEnabled;
    if (e) home.remoteEnabled = *e;
    Reply(deck::kOk);
    if (changed || o) {
        for (const auto& s : std::vector(home.sessions.begin(), home.sessions.end()))
            if (s->notifyRemote && (changed || s.get() == this))
                s->Send(deck::FormatBlock(deck::kAsyncRemoteInfo, s->RemoteBody()));
    }
}

void RemoteServer::Impl::ClientsChanged() {
    std::vector<std::string> list;
    for (const auto& d : decks)
        for (const auto& s : d->sessions) list.push_back(d->Name() + " " + s->client);
    {
        std::lock_guard lock(mutex);
        clients = std::move(list);
        ++clientsVersion;
    }
    Notify();
}

void RemoteServer::Impl::Accept(Deck& home) {
    home.acceptor->async_accept([this, &home](const asio::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !home.acceptor->is_open()) return;
        if (!ec) {
            asio::error_code e2;
            auto peer = socket.remote_endpoint(e2);
            std::string address = e2 ? std::string("?") : peer.address().to_string();
            std::string client = address + ":" + (e2 ? "0" : std::to_string(peer.port()));
            bool allowed = !e2 && ClientAllowed(options.allowed, address);
            if (!allowed || home.sessions.size() >= options.maxClients) {
                Trace("remote " + client + " " + home.Name() + ": " +
                      (allowed ? "too many clients" : "address not allowed") + ", rejected");
                // A few bytes to a fresh socket: this write does not wait.
                std::string reject = deck::FormatReply(deck::kConnectionRejected);
                socket.non_blocking(true, e2);
                asio::write(socket, asio::buffer(reject), e2);
                socket.close(e2);
            } else {
                socket.set_option(tcp::no_delay(true), e2);
                auto session =
                    std::make_shared<Session>(*this, home, std::move(socket), nextId++, client);
                byId[session->id] = session;
                home.sessions.insert(session);
                Trace("remote " + client + " " + home.Name() + ": connected");
                ClientsChanged();
                session->Begin();
            }
        }
        Accept(home);
    });
}

RemoteServer::RemoteServer(RemoteOptions options, std::function<void()> wake)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(wake))) {}

RemoteServer::~RemoteServer() {
    Stop();
}

bool RemoteServer::Start(std::string& error) {
    Impl& m = *impl_;
    asio::error_code ec;
    auto address = asio::ip::make_address(m.options.address, ec);
    if (ec) {
        error = "remote control: listen address " + m.options.address + " is not an address";
        return false;
    }
    auto listen = [&](int index, uint16_t port) -> bool {
        auto home = std::make_unique<Deck>();
        home->index = index;
        home->acceptor = std::make_unique<tcp::acceptor>(m.io);
        tcp::endpoint endpoint(address, port);
        home->acceptor->open(endpoint.protocol(), ec);
        if (!ec) home->acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) home->acceptor->bind(endpoint, ec);
        if (!ec) home->acceptor->listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            error = "remote control: cannot listen on " + m.options.address + ":" +
                    std::to_string(port) + ": " + ec.message();
            return false;
        }
        if (index == 0) m.port = home->acceptor->local_endpoint().port();
        m.decks.push_back(std::move(home));
        return true;
    };
    if (!listen(0, m.options.port)) return false;
    if (m.options.channelDecks) {
        for (int n = 1; n <= m.options.channels; ++n) {
            int port = int(m.options.channelBase) + n;
            if (port > 65535 || !listen(n, uint16_t(port))) {
                if (port > 65535) error = "remote control: channel ports run past 65535";
                m.decks.clear();
                return false;
            }
        }
    }
    for (auto& d : m.decks) m.Accept(*d);
    m.work.emplace(m.io.get_executor());
    m.thread = std::thread([&m] {
        pthread_setname_np(pthread_self(), "tv-remote");
        m.io.run();
    });
    return true;
}

void RemoteServer::Stop() {
    Impl& m = *impl_;
    if (!m.thread.joinable()) return;
    m.work.reset();
    m.io.stop();
    m.thread.join();
    // Sessions close their sockets before the io_context they live on goes.
    for (auto& d : m.decks) {
        asio::error_code ignored;
        d->acceptor->close(ignored);
        for (const auto& s : d->sessions) {
            s->closed = true;
            s->socket.close(ignored);
        }
        d->sessions.clear();
    }
    m.byId.clear();
}

uint16_t RemoteServer::Port() const {
    return impl_->port;
}

std::vector<ActionRequest> RemoteServer::TakeActions() {
    impl_->wakeSent = false;
    std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->pending, {});
}

// The posted work holds the Impl by a plain pointer: the io_context it waits
// in belongs to the Impl, so it never outlives it, and a shared pointer would
// keep both alive for good when the server stops before running it.
void RemoteServer::Answer(uint64_t session, int code) {
    Impl* m = impl_.get();
    asio::post(m->io, [m, session, code] {
        auto it = m->byId.find(session);
        if (it == m->byId.end()) return;
        auto s = it->second.lock();
        if (!s || s->closed) return;
        s->waiting = false;
        s->Reply(code);
        s->Process();
    });
}

void RemoteServer::Publish(int index, const DeckState& state) {
    Impl* m = impl_.get();
    asio::post(m->io, [m, index, state] {
        for (auto& d : m->decks) {
            if (d->index != index || d->state == state) continue;
            DeckState before = d->state;
            d->state = state;
            bool transport = before.status != state.status || before.speed != state.speed ||
                             before.loop != state.loop || before.videoFormat != state.videoFormat;
            bool slot = before.slotMounted != state.slotMounted ||
                        before.recordingSeconds != state.recordingSeconds;
            for (const auto& s : std::vector(d->sessions.begin(), d->sessions.end())) {
                if (transport && s->notifyTransport)
                    s->Send(deck::FormatBlock(deck::kAsyncTransportInfo, s->TransportBody()));
                if (slot && s->notifySlot)
                    s->Send(deck::FormatBlock(deck::kAsyncSlotInfo, s->SlotBody()));
            }
        }
    });
}

std::vector<std::string> RemoteServer::Clients(uint64_t* version) const {
    std::lock_guard lock(impl_->mutex);
    if (version) *version = impl_->clientsVersion;
    return impl_->clients;
}

}  // namespace tarvolen::remote
