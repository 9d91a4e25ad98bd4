// The emulated recorder bank: one recorder per address, each serving the
// recorder protocol on the bank's port, the deck protocol on the deck port, or
// both. Used by the tarvolen-recorder program and, in-process, by tests and
// benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/deck/protocol.h"
#include "platform/wire/wire.h"
#include "recorder/timecode_counter.h"

namespace tarvolen::recorder {

// A fault given on the command line: --fault ADDR=KIND[:ARG].
struct FaultSpec {
    std::string address;  // or "all"
    std::string kind;     // silent, mute, delay, latency, garble, drop, cut, oversize, refuse
    std::string arg;
};

// The disk in a deck's first slot.
enum class DiskState { kReady, kFull, kMissing };

struct BankOptions {
    std::vector<std::string> addresses;  // serving our protocol
    uint16_t port = wire::kDefaultPort;  // 0: pick one free port for the whole bank
    // Serving the deck protocol, with one channel; an address in both lists
    // is one recorder with both faces.
    std::vector<std::string> deckAddresses;
    uint16_t deckPort = deck::kDefaultPort;  // 0: pick one free port for all decks
    int deckClients = 1;                     // at once per deck; the next gets 120
    int channels = 4;                        // internal channels per recorder, 1 to 4
    Rate rate = Rate::k2997DropFrame;
    std::string journalPath;  // empty: journal kept in memory only
    std::string stateDir;     // empty: clips live as long as the bank
    bool allowAnyAddress = false;
    std::vector<FaultSpec> faults;
};

struct JournalEntry {
    int64_t micros = 0;  // since the epoch
    std::string address;
    int channel = 0;  // internal channel, 0 when the request names none
    std::string request;
    std::string outcome;  // "ok" or the error reason
    std::string detail;
    // When the request reached the recorder: the kernel's time of its arrival
    // plus the emulated network's delay. 0 for what the recorder did unasked.
    int64_t received = 0;
    bool deck = false;  // a request of the deck protocol
};

struct ChannelView {
    std::string state;
    std::string timecode;
    char mode = '-';
    std::string clip;
};

struct ClipView {
    std::string name;
    std::string guid;
    std::string dateTime;
    std::string start;
    std::string duration;
    int channel = 0;
    int format = 0;
    int codec = 0;
    int compression = 0;
    bool recording = false;
    std::vector<std::string> filesA;
    std::vector<std::string> filesB;
};

class Bank {
  public:
    explicit Bank(BankOptions options);
    ~Bank();
    Bank(const Bank&) = delete;
    Bank& operator=(const Bank&) = delete;

    bool Start(std::string& error);
    void Stop();
    uint16_t Port() const;
    uint16_t DeckPort() const;
    // Every recorder: the bank's addresses, then the decks' that are not among them.
    const std::vector<std::string>& Addresses() const;

    // Controls for tests; callable from any thread.
    bool StopRecorder(const std::string& address);  // as if it died
    bool StartRecorder(const std::string& address);
    // Says nothing at all, not even the greeting to a new connection.
    void SetSilent(const std::string& address, bool silent);
    // Greets, then says nothing.
    void SetMute(const std::string& address, bool mute);
    // Every request answered this late, in order (a network's delay).
    void SetDelay(const std::string& address, std::chrono::milliseconds delay);
    // The same with a delay drawn per request between min and max.
    void SetLatency(const std::string& address, std::chrono::milliseconds min,
                    std::chrono::milliseconds max);
    // Requests of this verb take this long; the rest are answered meanwhile.
    // Zero ends it.
    void SetSlow(const std::string& address, const std::string& verb,
                 std::chrono::milliseconds delay);
    // Half a frame, then the connections close.
    void CutConnections(const std::string& address);
    // A frame whose payload is over the protocol's bound.
    void SendOversize(const std::string& address);
    // Stored clips to list, named Seed_NNNNNN.
    bool AddClips(const std::string& address, int count);
    void GarbleNext(const std::string& address, int frames = 1);
    void DropConnections(const std::string& address);
    void Refuse(const std::string& address, const std::string& verb, bool on = true);
    void SendRaw(const std::string& address, std::string bytes);
    void ClearFaults(const std::string& address);
    // The disk a deck reports in its first slot (full: 104 to record; missing: 105).
    void SetDisk(const std::string& address, DiskState state);

    std::optional<ChannelView> Channel(const std::string& address, int channel);
    std::vector<ClipView> Clips(const std::string& address);
    std::vector<JournalEntry> Journal() const;
    int Sessions(const std::string& address);

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// "127.0.0.101-124", "127.0.0.5", comma lists of these.
bool ExpandAddresses(std::string_view addresses, std::vector<std::string>& out, std::string& error);

// Command line of tarvolen-recorder. False with error set, or with help set
// when --help was asked.
bool ParseBankArguments(const std::vector<std::string>& args, BankOptions& options,
                        std::string& error, bool& help);
std::string BankUsage();

}  // namespace tarvolen::recorder
