// The installed device libraries when channels speak different protocols:
// each channel's calls go to the library of its protocol, and a group
// command's batch is on the wire of every library before any answer is
// awaited.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "device/piamp.h"
#include "device/records.h"

namespace tarvolen {

// The channel of a PIAMPCOMMAND call, -1 when it names none or its record
// cannot be read.
int32_t ChannelOfCall(int32_t code, std::intptr_t input);

class DeviceRouter : public std::enable_shared_from_this<DeviceRouter> {
  public:
    // Index 0 is our protocol, 1 the deck protocol (kProtocolOurs, kProtocolDeck).
    struct Libraries {
        std::shared_ptr<DeviceLibrary> amp, clipDir;
    };
    // protocol_of answers a channel's protocol; it is asked at every connect
    // (code 1) and for the channel of a set-address (code 85).
    DeviceRouter(Libraries ours, Libraries deck, std::function<int32_t(int32_t ch)> protocol_of);

    std::shared_ptr<DeviceLibrary> AmpLibrary();
    std::shared_ptr<DeviceLibrary> ClipDirLibrary();

    int32_t Amp(int32_t code, std::intptr_t input, void* output);
    void AmpBatch(std::span<DeviceCall> calls);
    int32_t ClipDir(int32_t code, std::intptr_t input, void* output);
    // DeviceLibrary::WatchStatus over the libraries the polls' answers come
    // from: ours, and the decks' while any channel is a deck. A connect wakes
    // the watcher, so it asks again when that changes.
    bool WatchStatus(std::function<void()> wake);
    // DeviceLibrary::NextPass of ours while no channel is a deck: a deck's
    // timecode comes at frames of its own.
    std::optional<std::chrono::steady_clock::time_point> NextPass();

  private:
    DeviceLibrary& AmpOf(int32_t ch) const;
    DeviceLibrary& DirOf(const std::string& address) const;
    bool AnyDeck() const;
    bool AnyDeckLocked() const;  // mu_ held
    int32_t Connect(std::intptr_t input, void* output);
    int32_t SetAddress(std::intptr_t input, void* output);

    std::array<Libraries, 2> libs_;
    std::function<int32_t(int32_t)> protocol_of_;
    // As of the last connect; read by the status thread too.
    mutable std::mutex mu_;
    std::array<int32_t, kDeviceChannels> protocol_{};
    std::array<std::string, kDeviceChannels> address_;
    std::function<void()> status_wake_;
};

// Installs a router over both protocols' libraries as the device libraries.
std::shared_ptr<DeviceRouter> InstallDeviceRouter(DeviceRouter::Libraries ours,
                                                  DeviceRouter::Libraries deck,
                                                  std::function<int32_t(int32_t ch)> protocol_of);

}  // namespace tarvolen
