// The bank's insides, shared by its parts: the recorder model (model.h), the
// I/O loops and sessions (io.cpp), our protocol's front end (wire_front.cpp),
// the deck protocol's front end (deck_front.cpp) and the bank itself
// (bank.cpp). Private to recorder/.
#pragma once

#include <array>
#include <asio.hpp>
#include <cstdio>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/deck/server_codec.h"
#include "platform/wire/wire.h"
#include "recorder/bank.h"
#include "recorder/model.h"

namespace tarvolen::recorder {

using asio::ip::tcp;

inline constexpr auto kTick = std::chrono::milliseconds(10);

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

// What a deck keeps across its connections.
struct DeckState {
    bool remoteEnabled = true;
    int slot = 1;                        // the selected slot; 2 is always empty
    DiskState disk = DiskState::kReady;  // the disk in slot 1
    std::string videoInput = "SDI", audioInput = "embedded";
    std::string fileFormat = "QuickTimeProResHQ";
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
struct Recorder : RecorderModel {
    Recorder(std::string a, asio::io_context& loop) : io(loop), ticker(loop) {
        address = std::move(a);
    }
    asio::io_context& io;
    asio::steady_timer ticker;
    bool ours = true;   // serves our protocol
    bool deck = false;  // serves the deck protocol
    std::unique_ptr<tcp::acceptor> acceptor, deckAcceptor;
    std::set<std::shared_ptr<Session>> sessions;
    Faults faults;
    DeckState deckState;
    bool running = false;
    Clock::time_point lastDrop{}, lastCut{}, lastOversize{};
};

// A request as it came, of either protocol, waiting its turn.
struct Request {
    wire::Frame frame;            // our protocol
    deck::Command command;        // the deck protocol
    std::string deckSyntaxError;  // the deck's reader refused the line
    const std::string& Verb(bool deck) const { return deck ? command.name : frame.verb; }
};

struct Session : std::enable_shared_from_this<Session> {
    Bank::Impl& bank;
    Recorder& recorder;
    tcp::socket socket;
    const bool deck;  // the deck protocol, else ours
    wire::Decoder decoder;
    deck::CommandReader deckReader;
    std::array<char, 16384> buffer{};
    std::string pending, inflight;
    bool writing = false;
    bool reading = false;
    bool closed = false;
    bool closeAfterWrite = false;
    bool flushPosted = false;
    bool watching = false;
    // Watching with runs: a channel running at normal speed is sent again
    // only every kRunResend; the client runs its timecode on meanwhile.
    bool runs = false;
    struct RunSent {
        int64_t originFrame = 0;
        Clock::time_point originTime{}, sentAt{};
        std::string word;
        char mode = 0;
    };
    std::map<int, RunSent> runSent;  // by channel, the last run sent
    // Deck clients: notifications asked for and the override of remote off.
    struct {
        bool transport = false, slot = false, remote = false, configuration = false;
    } notify;
    bool remoteOverride = false;
    std::chrono::seconds watchdog{0};
    Clock::time_point lastHeard{};
    asio::steady_timer watchdogTimer;
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
        Request request;
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

    Session(Bank::Impl& b, Recorder& r, tcp::socket s, bool isDeck)
        : bank(b),
          recorder(r),
          socket(std::move(s)),
          deck(isDeck),
          watchdogTimer(r.io),
          delayTimer(r.io) {}

    void Start();
    std::size_t Queued() const { return pending.size() + inflight.size(); }
    bool Backlogged() const;
    bool ReadNow();
    void WaitReadable();
    void Pump();
    void Arrived(Request request);
    void ArmDelay();
    void Carry(Request request, int64_t received);
    void Send(const wire::Frame& f);
    // Bytes of a reply, through the garble fault; label names it in the journal.
    void SendReply(std::string bytes, const std::string& label);
    void SendRawBytes(std::string bytes);
    void CloseAfterWrite();
    void Flush();
    void Drained();
    void ArmWatchdog();
    void Close();
};

struct Bank::Impl {
    BankOptions options;
    Model model;
    std::vector<std::unique_ptr<Loop>> loops;  // outlive the recorders on them
    bool running = false;
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<std::string> all;  // every recorder: ours, then decks not among them
    uint16_t port = 0, deckPort = 0;

    mutable std::mutex journalMutex;
    std::deque<JournalEntry> journal;
    std::FILE* journalFile = nullptr;

    explicit Impl(BankOptions o);

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

    Recorder* Find(const std::string& address);
    void Journal(const Recorder& r, int channel, std::string request, std::string outcome,
                 std::string detail = {}, int64_t received = 0, bool deck = false);

    // I/O loops (io.cpp).
    void Tick(Recorder& r);
    void StartTicking(Recorder& r);
    bool OpenRecorder(Recorder& r, uint16_t port, uint16_t deckPort, std::string& error);
    void CloseRecorder(Recorder& r);
    void Accept(Recorder& r, tcp::acceptor& acceptor, bool deck);
    void CloseSessions(Recorder& r);
    void CutSessions(Recorder& r);
    void SendOversize(Recorder& r);
    void Dispatch(Recorder& r, Session& s, const Request& request);

    // Our protocol (wire_front.cpp).
    void Notify(Recorder& r, ChannelState& c, Clock::time_point now);
    void SendFullPicture(Recorder& r, Session& s, Clock::time_point now);
    // Sends listing entries while the session's output has room; the OK
    // when all are out.
    void ContinueListing(Recorder& r, Session& s);
    void Handle(Recorder& r, Session& s, const wire::Frame& f);
    void ListEntry(Session& s, uint32_t id, const Clip& c);

    // The deck protocol (deck_front.cpp).
    void DeckGreet(Recorder& r, Session& s);
    void DeckHandle(Recorder& r, Session& s, const Request& request);
    // 5xx messages to the deck clients that asked, when what they show changed.
    void DeckNotify(Recorder& r, Clock::time_point now);
    void DeckRemoteChanged(Recorder& r);
    void DeckConfigurationChanged(Recorder& r);
    std::string DeckCutBytes() const;
    std::string DeckOversizeBytes() const;
};

}  // namespace tarvolen::recorder
