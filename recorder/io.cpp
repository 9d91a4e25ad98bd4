// The I/O loops: listening, sessions, reading with arrival times, writing
// with back-pressure, and the faults that act on the connection itself.
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "recorder/bank_impl.h"

namespace tarvolen::recorder {
namespace {

constexpr std::size_t kMaxQueuedOutput = 8 << 20;  // a client that reads nothing is dropped
// Above this much unsent output a session reads no further requests and a
// listing waits: a client that asks faster than it reads is slowed, not reset.
constexpr std::size_t kBackPressure = 256 << 10;

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void Session::Start() {
    if (!recorder.faults.silent) {
        if (deck) {
            bank.DeckGreet(recorder, *this);
        } else {
            Send(wire::MakeFrame(0, "HELLO",
                                 {std::to_string(wire::kProtocolVersion),
                                  std::to_string(recorder.channels.size()), recorder.address}));
        }
    }
    if (closeAfterWrite) return;
    Pump();
}

bool Session::Backlogged() const {
    return Queued() > kBackPressure;
}

// Feeds the reader what has come, with the kernel's time of its arrival;
// false when nothing has (or the connection went).
bool Session::ReadNow() {
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
    if (deck)
        deckReader.Feed(buffer.data(), static_cast<std::size_t>(n));
    else
        decoder.Feed(buffer.data(), static_cast<std::size_t>(n));
    lastHeard = Clock::now();
    return true;
}

void Session::WaitReadable() {
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

// Handles the requests the reader holds until it needs more bytes, a
// listing is being sent, or the output backs up; the write that drains the
// output calls it again.
void Session::Pump() {
    Carrying carrying(*this);
    while (!closed && !closeAfterWrite && !listing && !Backlogged()) {
        Request request;
        bool needMore = false;
        if (deck) {
            auto st = deckReader.Next(request.command);
            needMore = st == deck::CommandReader::Status::kNeedMore;
            // A bad line is answered in its turn, like any command.
            if (st == deck::CommandReader::Status::kError)
                request.deckSyntaxError = deckReader.Error();
        } else {
            auto st = decoder.Next(request.frame);
            needMore = st == wire::Decoder::Status::kNeedMore;
            if (st == wire::Decoder::Status::kError) {
                bank.Journal(recorder, 0, "protocol", "error", decoder.Error());
                SendRawBytes(
                    wire::Encode(wire::MakeFrame(0, "ERROR", {"protocol", decoder.Error()})));
                CloseAfterWrite();
                return;
            }
        }
        if (needMore) {
            // Read at once, and wait only when nothing has come: a wait
            // alone could miss bytes that came while none was pending.
            if (reading) return;
            if (ReadNow()) continue;
            if (!closed) WaitReadable();
            return;
        }
        Arrived(std::move(request));
    }
}

void Session::Arrived(Request request) {
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
        Carry(std::move(request), received);
        return;
    }
    // A network delays but does not reorder.
    Clock::time_point due = std::max(now + latency, lastDue);
    lastDue = due;
    delayed.push_back({due, std::move(request), received});
    if (delayed.size() == 1) ArmDelay();
}

void Session::ArmDelay() {
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
            self->Carry(std::move(held.request), held.received);
            if (self->closed) return;
        }
        self->ArmDelay();
    });
}

// A request whose verb is slow is carried out later; others at once.
void Session::Carry(Request request, int64_t received) {
    auto slow = recorder.faults.slowVerbs.find(request.Verb(deck));
    if (slow == recorder.faults.slowVerbs.end() || slow->second.count() <= 0) {
        requestReceived = received;
        bank.Dispatch(recorder, *this, request);
        return;
    }
    auto timer = std::make_shared<asio::steady_timer>(recorder.io, slow->second);
    auto self = shared_from_this();
    timer->async_wait(
        [self, timer, request = std::move(request), received](const asio::error_code& e) {
            if (e || self->closed) return;
            self->requestReceived = received;
            self->bank.Dispatch(self->recorder, *self, request);
        });
}

void Session::Send(const wire::Frame& f) {
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
    SendReply(std::move(bytes), f.verb);
}

void Session::SendReply(std::string bytes, const std::string& label) {
    Faults& faults = recorder.faults;
    ++faults.sentCount;
    if (faults.garbleNext > 0 ||
        (faults.garbleEvery > 0 && faults.sentCount % faults.garbleEvery == 0)) {
        if (faults.garbleNext > 0) --faults.garbleNext;
        bytes = "\x01\xfe garbled \x7f\x02\n";
        bank.Journal(recorder, 0, "fault", "garbled", label, 0, deck);
    }
    SendRawBytes(std::move(bytes));
}

void Session::SendRawBytes(std::string bytes) {
    if (closed) return;
    if (Queued() + bytes.size() > kMaxQueuedOutput) {
        bank.Journal(recorder, 0, "session", "dropped", "client does not read", 0, deck);
        Close();
        return;
    }
    pending += bytes;
    // Written once the handlers now due have run: what they send goes out in
    // one write, and requests that came together are carried out together.
    if (writing || flushPosted || carrying > 0) return;
    flushPosted = true;
    asio::post(recorder.io, [self = shared_from_this()] {
        self->flushPosted = false;
        if (!self->writing) self->Flush();
    });
}

void Session::CloseAfterWrite() {
    closeAfterWrite = true;
    if (!writing && pending.empty()) Close();
}

void Session::Flush() {
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
void Session::Drained() {
    if (closed || Backlogged()) return;
    if (listing) bank.ContinueListing(recorder, *this);
    Pump();
}

// A deck client silent for its watchdog period is disconnected.
void Session::ArmWatchdog() {
    watchdogTimer.cancel();
    if (watchdog.count() <= 0 || closed) return;
    watchdogTimer.expires_at(lastHeard + watchdog);
    auto self = shared_from_this();
    watchdogTimer.async_wait([self](const asio::error_code& e) {
        if (e || self->closed || self->watchdog.count() <= 0) return;
        if (Clock::now() - self->lastHeard >= self->watchdog) {
            self->bank.Journal(self->recorder, 0, "watchdog", "closed", {}, 0, true);
            self->Close();
            return;
        }
        self->ArmWatchdog();
    });
}

void Session::Close() {
    if (closed) return;
    closed = true;
    asio::error_code ec;
    delayTimer.cancel();
    watchdogTimer.cancel();
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
    recorder.sessions.erase(shared_from_this());
}

void Bank::Impl::Dispatch(Recorder& r, Session& s, const Request& request) {
    if (s.deck)
        DeckHandle(r, s, request);
    else
        Handle(r, s, request.frame);
}

void Bank::Impl::Tick(Recorder& r) {
    auto now = Clock::now();
    if (r.running) {
        bool recording = false;
        for (auto& c : r.channels) {
            bool moving = c.speed != 0;
            model.Advance(r, c, now);
            recording = recording || c.recording >= 0;
            if (moving || !c.sentAny) Notify(r, c, now);
        }
        if (recording && now - r.lastSave > std::chrono::seconds(1)) model.SaveState(r);
        if (r.faults.dropEvery.count() > 0 && now - r.lastDrop > r.faults.dropEvery) {
            r.lastDrop = now;
            CloseSessions(r);
        }
        if (r.faults.cutEvery.count() > 0 && now - r.lastCut > r.faults.cutEvery) {
            r.lastCut = now;
            CutSessions(r);
        }
        if (r.faults.oversizeEvery.count() > 0 && now - r.lastOversize > r.faults.oversizeEvery) {
            r.lastOversize = now;
            SendOversize(r);
        }
    }
    r.ticker.expires_at(r.ticker.expiry() + kTick);
    if (r.ticker.expiry() < Clock::now()) r.ticker.expires_after(kTick);
    StartTicking(r);
}

void Bank::Impl::StartTicking(Recorder& r) {
    r.ticker.async_wait([this, &r](const asio::error_code& ec) {
        if (!ec) Tick(r);
    });
}

static bool Listen(Recorder& r, asio::ip::address_v4 addr, uint16_t port,
                   std::unique_ptr<tcp::acceptor>& out, std::string& error) {
    asio::error_code ec;
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
    out = std::move(acceptor);
    return true;
}

bool Bank::Impl::OpenRecorder(Recorder& r, uint16_t port, uint16_t deckPort, std::string& error) {
    asio::error_code ec;
    auto addr = asio::ip::make_address_v4(r.address, ec);
    if (ec) {
        error = r.address + ": not an IPv4 address";
        return false;
    }
    if (r.ours && !Listen(r, addr, port, r.acceptor, error)) return false;
    if (r.deck && !Listen(r, addr, deckPort, r.deckAcceptor, error)) {
        r.acceptor.reset();
        return false;
    }
    r.running = true;
    model.ResetChannels(r, r.deck ? 1 : options.channels);
    Journal(r, 0, "start", "ok",
            r.ours && r.deck ? std::to_string(port) + " " + std::to_string(deckPort)
                             : std::to_string(r.ours ? port : deckPort));
    if (r.acceptor) Accept(r, *r.acceptor, false);
    if (r.deckAcceptor) Accept(r, *r.deckAcceptor, true);
    return true;
}

void Bank::Impl::CloseRecorder(Recorder& r) {
    auto now = Clock::now();
    for (auto& c : r.channels) model.FinishRecording(r, c, now);
    for (auto* a : {&r.acceptor, &r.deckAcceptor}) {
        if (*a) (*a)->close();
        a->reset();
    }
    r.running = false;
    CloseSessions(r);
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
        asio::write(s->socket, asio::buffer(s->deck ? DeckCutBytes() : std::string("* ST 1 Rec")),
                    ec);
        s->Close();
    }
    Journal(r, 0, "fault", "cut");
}

void Bank::Impl::SendOversize(Recorder& r) {
    std::string bytes = "* CONFIG #" + std::to_string(wire::kMaxPayload + 1) + "\n";
    bytes += std::string(wire::kMaxPayload + 1, 'x') + "\n";
    std::string deckBytes = DeckOversizeBytes();
    auto sessions = r.sessions;
    for (const auto& s : sessions) s->SendRawBytes(s->deck ? deckBytes : bytes);
    Journal(r, 0, "fault", "oversize");
}

void Bank::Impl::Accept(Recorder& r, tcp::acceptor& acceptor, bool deck) {
    acceptor.async_accept(
        [this, &r, &acceptor, deck](const asio::error_code& ec, tcp::socket socket) {
            if (ec) {
                bool open = deck ? r.deckAcceptor != nullptr : r.acceptor != nullptr;
                if (ec != asio::error::operation_aborted && open) Accept(r, acceptor, deck);
                return;
            }
            socket.set_option(tcp::no_delay(true));
            int on = 1;  // arrival times of requests, for the journal
            ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            auto s = std::make_shared<Session>(*this, r, std::move(socket), deck);
            r.sessions.insert(s);
            Journal(r, 0, "connect", "ok", {}, 0, deck);
            s->lastHeard = Clock::now();
            s->Start();
            Accept(r, acceptor, deck);
        });
}

}  // namespace tarvolen::recorder
