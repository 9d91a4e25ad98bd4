// The waits of the command layer and the channel list: short sleeps and the
// millisecond tick count they are measured against. Tests hand in a clock
// whose sleeps only move its own ticks on.
#pragma once

#include <cstdint>

namespace tarvolen {

class DeviceClock {
  public:
    virtual ~DeviceClock() = default;
    virtual void Sleep(int32_t ms);
    virtual uint32_t Ticks();

    // The clock of the real world, shared by everyone who is given none.
    static DeviceClock& Real();
};

}  // namespace tarvolen
