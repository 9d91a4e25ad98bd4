#include "device/device_clock.h"

#include <chrono>
#include <thread>

namespace tarvolen {

void DeviceClock::Sleep(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t DeviceClock::Ticks() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DeviceClock& DeviceClock::Real() {
    static DeviceClock clock;
    return clock;
}

}  // namespace tarvolen
