// The device libraries over the HyperDeck Ethernet Protocol: PIAMPCOMMAND and
// PIAMPCLIPDIRCOMMAND for channels whose recorder is a one-channel deck. The
// device codes and the deck commands they become are in docs/deck-protocol.md.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/piamp.h"
#include "platform/link/results.h"

namespace tarvolen::decklink {

// Results besides 0, the same numbers as our own link's.
namespace result = ::tarvolen::link::result;

// What a recording on a deck is named from: the deck names clips as it is
// told, so the controller expands the channel's template as our recorders do.
struct RecordNaming {
    std::string project;
    std::string scene;
    std::string nameTemplate;  // empty: the recorders' default
};

struct DeckLinkOptions {
    std::chrono::milliseconds replyTimeout{200};     // longest a call waits for its answer
    std::chrono::milliseconds connectWait{150};      // code 1 waits this long for decks to be up
    std::chrono::milliseconds listingTimeout{3000};  // a clip list may be long
    std::chrono::milliseconds keepalive{250};        // ping after this long without a word
    std::chrono::milliseconds movingPoll{100};       // transport info while the transport moves
    std::chrono::milliseconds lostAfter{800};        // nothing heard this long: lost
    std::chrono::milliseconds retryEvery{200};       // redial of a lost deck
    std::chrono::milliseconds heldRetry{1000};       // redial of a deck another client holds
    std::chrono::milliseconds setupTimeout{1000};    // connect, greeting and first picture
    std::chrono::milliseconds linger{2000};          // a dropped connection waits to be reused
    // The deck drops a client silent this long, so a controller that died
    // does not hold a one-client deck; 0 leaves the deck's setting alone.
    int watchdogSeconds = 3;
    // A channel's port (0: the protocol's 9993), asked at connect.
    std::function<int32_t(int32_t ch)> portOf;
    // A channel's naming, asked at each record.
    std::function<RecordNaming(int32_t ch)> namingOf;
};

class DeckLink {
  public:
    explicit DeckLink(DeckLinkOptions options = {});
    ~DeckLink();
    DeckLink(const DeckLink&) = delete;
    DeckLink& operator=(const DeckLink&) = delete;

    int32_t AmpCommand(int32_t code, std::intptr_t input, void* output);
    int32_t ClipDirCommand(int32_t code, std::intptr_t input, void* output);
    std::shared_ptr<DeviceLibrary> AmpLibrary();
    std::shared_ptr<DeviceLibrary> ClipDirLibrary();

    // Decks up, and TCP connections made since the link was created (tests).
    int Connections() const;
    int Dials() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace tarvolen::decklink
