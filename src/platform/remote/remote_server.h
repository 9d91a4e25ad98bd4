// The remote surface: the controller answers the deck protocol as one deck
// standing for its checked channels (and, when asked, one deck per channel on
// a port of its own), so a switcher or a show-control panel starts and stops
// the bank.
//
// Sockets, parsing and every query are handled on the server's own I/O
// thread; only the commands that change something become Actions, which the
// window takes on the GUI thread and answers. A session waits for the answer
// to its Action before it reads its next command, so one client never has
// more than one Action outstanding and a flood only fills its own socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvolen::remote {

struct RemoteOptions {
    std::string address = "127.0.0.1";  // where to listen
    uint16_t port = 9993;               // the group's deck; 0 picks a free one
    // Client addresses allowed in; empty lets only loopback clients in.
    // "*" lets anyone in.
    std::vector<std::string> allowed;
    bool channelDecks = false;  // channel N also answers on channelBase + N
    uint16_t channelBase = 9993;
    int channels = 24;
    std::size_t maxClients = 64;  // per deck; the next one gets 120
    std::function<void(const std::string&)> trace;
};

enum class Action {
    kRecord,
    kStop,
    kPlay,
    kPlayReverse,
    kFastForward,
    kRewind,
    kStepForward,
    kStepBack
};

struct ActionRequest {
    uint64_t session = 0;
    int deck = 0;        // 0 the group, N channel N (index N - 1)
    std::string client;  // "address:port"
    Action action = Action::kStop;
    std::string line;  // the command as the client gave it, for the trace
};

// What a deck reports; the window publishes it whenever it may have changed.
struct DeckState {
    std::string status = "stopped";  // a transport status word of the protocol
    int speed = 0;
    std::string timecode = "00:00:00:00";
    bool loop = false;
    bool slotMounted = false;
    int64_t recordingSeconds = 0;
    std::string videoFormat = "1080i5994";
    bool operator==(const DeckState&) const = default;
};

class RemoteServer {
  public:
    // wake is called from the I/O thread when Actions wait or the client list
    // changed; it must only hand over to the GUI thread.
    RemoteServer(RemoteOptions options, std::function<void()> wake);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    bool Start(std::string& error);
    void Stop();
    uint16_t Port() const;  // the group deck's, once started

    // Any thread.
    std::vector<ActionRequest> TakeActions();
    // The reply to an Action: a response code (and its standard text).
    void Answer(uint64_t session, int code);
    void Publish(int deck, const DeckState& state);
    // Connected clients as "deck address:port", and a number that changes
    // whenever the list does.
    std::vector<std::string> Clients(uint64_t* version = nullptr) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// "127.0.0.1" style address allowed by the list (see RemoteOptions::allowed).
bool ClientAllowed(const std::vector<std::string>& allowed, const std::string& address);

}  // namespace tarvolen::remote
