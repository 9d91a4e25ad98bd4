#include "device/piamp.h"

#include <atomic>
#include <utility>

namespace tarvolen {
namespace {

// Installed once at start-up (or by a test) and read from both threads.
std::atomic<std::shared_ptr<DeviceLibrary>>& AmpSlot() {
    static std::atomic<std::shared_ptr<DeviceLibrary>> slot;
    return slot;
}
std::atomic<std::shared_ptr<DeviceLibrary>>& ClipDirSlot() {
    static std::atomic<std::shared_ptr<DeviceLibrary>> slot;
    return slot;
}

int32_t Dispatch(std::atomic<std::shared_ptr<DeviceLibrary>>& slot, int32_t code,
                 std::intptr_t input, void* output) {
    auto lib = slot.load();
    return lib ? lib->Command(code, input, output) : -1;
}

class DeferredCalls : public PendingCalls {
  public:
    DeferredCalls(DeviceLibrary& lib, std::span<DeviceCall> calls) : lib_(lib), calls_(calls) {}
    void Finish() override { lib_.Commands(calls_); }

  private:
    DeviceLibrary& lib_;
    std::span<DeviceCall> calls_;
};

}  // namespace

std::unique_ptr<PendingCalls> DeviceLibrary::Start(std::span<DeviceCall> calls) {
    return std::make_unique<DeferredCalls>(*this, calls);
}

std::shared_ptr<DeviceLibrary> InstallAmpLibrary(std::shared_ptr<DeviceLibrary> lib) {
    return AmpSlot().exchange(std::move(lib));
}
std::shared_ptr<DeviceLibrary> InstallClipDirLibrary(std::shared_ptr<DeviceLibrary> lib) {
    return ClipDirSlot().exchange(std::move(lib));
}
int32_t PIAMPCOMMAND(int32_t code, std::intptr_t input, void* output) {
    return Dispatch(AmpSlot(), code, input, output);
}
int32_t PIAMPCLIPDIRCOMMAND(int32_t code, std::intptr_t input, void* output) {
    return Dispatch(ClipDirSlot(), code, input, output);
}
void PIAMPCOMMANDS(std::span<DeviceCall> calls) {
    auto lib = AmpSlot().load();
    if (!lib) {
        for (DeviceCall& c : calls) c.result = -1;
        return;
    }
    lib->Commands(calls);
}

bool PIAMPWATCHSTATUS(std::function<void()> wake) {
    auto lib = AmpSlot().load();
    return lib && lib->WatchStatus(std::move(wake));
}

std::optional<std::chrono::steady_clock::time_point> PIAMPNEXTPASS() {
    auto lib = AmpSlot().load();
    return lib ? lib->NextPass() : std::nullopt;
}

}  // namespace tarvolen
