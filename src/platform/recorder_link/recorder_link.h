// The device libraries over TCP: PIAMPCOMMAND and PIAMPCLIPDIRCOMMAND talking
// the recorder protocol (docs/recorder-protocol.md) to each recorder.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "device/piamp.h"
#include "platform/link/results.h"
#include "platform/wire/wire.h"

namespace tarvolen::link {

// Results besides 0 (success).

struct LinkOptions {
    uint16_t port = wire::kDefaultPort;
    std::chrono::milliseconds replyTimeout{200};    // longest a call waits for its answer
    std::chrono::milliseconds connectWait{150};     // code 1 waits this long for greetings
    std::chrono::milliseconds listingLimit{10000};  // a listing that keeps coming, in all
    std::chrono::milliseconds keepalive{250};       // PING after this long without a word
    std::chrono::milliseconds lostAfter{800};       // nothing heard this long: lost
    std::chrono::milliseconds retryEvery{200};      // reconnect attempts of a lost recorder
    std::chrono::milliseconds setupTimeout{1000};   // connect, greeting and first picture
    std::chrono::milliseconds linger{2000};         // a dropped connection waits to be reused
    std::size_t maxListing = 50000;                 // entries of a listing kept (the newest)

    // The defaults, with the port from TARVOLEN_RECORDER_PORT when that is set.
    static LinkOptions FromEnvironment();
};

class RecorderLink {
  public:
    explicit RecorderLink(LinkOptions options = {});
    ~RecorderLink();
    RecorderLink(const RecorderLink&) = delete;
    RecorderLink& operator=(const RecorderLink&) = delete;

    int32_t AmpCommand(int32_t code, std::intptr_t input, void* output);
    int32_t ClipDirCommand(int32_t code, std::intptr_t input, void* output);

    // Library objects for InstallAmpLibrary / InstallClipDirLibrary; they keep
    // the link alive.
    std::shared_ptr<DeviceLibrary> AmpLibrary();
    std::shared_ptr<DeviceLibrary> ClipDirLibrary();

    // Open connections (for tests and diagnostics).
    int Connections() const;
    // TCP connections made since the link was created (for tests).
    int Dials() const;

    struct Impl;

  private:
    std::shared_ptr<Impl> impl_;
};

// Creates a link and installs it as both device libraries.
std::shared_ptr<RecorderLink> InstallRecorderLink(
    LinkOptions options = LinkOptions::FromEnvironment());

}  // namespace tarvolen::link
