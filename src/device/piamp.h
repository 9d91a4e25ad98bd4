// The two device library entries. Each takes a command code, an input (a
// record's address, or a plain integer for the status and clip-name polls)
// and an output record, and answers 0 for success.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace tarvolen {

// One call of a batch: what Command takes, and the result it gave.
struct DeviceCall {
    int32_t code = 0;
    std::intptr_t input = 0;
    void* output = nullptr;
    int32_t result = 0;
};

// The answers of a batch whose requests are on their way.
class PendingCalls {
  public:
    virtual ~PendingCalls() = default;
    // Awaits the answers, each within its library's bound, and sets the results.
    virtual void Finish() = 0;
};

class DeviceLibrary {
  public:
    virtual ~DeviceLibrary() = default;
    virtual int32_t Command(int32_t code, std::intptr_t input, void* output) = 0;
    // The calls with the outcome of making them one after another in order.
    // A library that reaches several recorders may send every request before
    // it awaits any answer, as long as each recorder sees its own in order.
    virtual void Commands(std::span<DeviceCall> calls) {
        for (DeviceCall& c : calls) c.result = Command(c.code, c.input, c.output);
    }
    // Commands in two halves: the requests go out now, the answers are taken
    // by Finish, so a caller can have several libraries' batches on the wire
    // at once. By default everything happens in Finish. The calls must outlive
    // the result.
    virtual std::unique_ptr<PendingCalls> Start(std::span<DeviceCall> calls);
    // Has wake called, from any thread, whenever what the status and clip-name
    // polls (codes 30 and 34) answer may have changed; an empty function ends
    // that. False when the library cannot tell, so its callers poll.
    virtual bool WatchStatus(std::function<void()> wake) {
        (void)wake;
        return false;
    }
    // While its callers poll: when the next status poll would find every
    // running timecode the last one showed one frame on, and none two.
    // Nothing when the library cannot tell.
    virtual std::optional<std::chrono::steady_clock::time_point> NextPass() { return std::nullopt; }
};

// Installs the implementation behind PIAMPCOMMAND / PIAMPCLIPDIRCOMMAND and
// returns the previous one. With none installed every call answers -1.
std::shared_ptr<DeviceLibrary> InstallAmpLibrary(std::shared_ptr<DeviceLibrary> lib);
std::shared_ptr<DeviceLibrary> InstallClipDirLibrary(std::shared_ptr<DeviceLibrary> lib);

int32_t PIAMPCOMMAND(int32_t code, std::intptr_t input, void* output);
int32_t PIAMPCLIPDIRCOMMAND(int32_t code, std::intptr_t input, void* output);
// Several PIAMPCOMMAND calls at once (group commands); see DeviceLibrary::Commands.
void PIAMPCOMMANDS(std::span<DeviceCall> calls);
// DeviceLibrary::WatchStatus of the installed device library.
bool PIAMPWATCHSTATUS(std::function<void()> wake);
// DeviceLibrary::NextPass of the installed device library.
std::optional<std::chrono::steady_clock::time_point> PIAMPNEXTPASS();

inline std::intptr_t RecordArg(const void* record) {
    return reinterpret_cast<std::intptr_t>(record);
}

}  // namespace tarvolen
