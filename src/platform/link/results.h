// What a link's device calls answer besides 0, the same for every protocol.
#pragma once

#include <cstdint>

namespace tarvolen::link::result {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kBadInput = 1;      // record size, channel or document unreadable
inline constexpr int32_t kNotConnected = 2;  // channel not connected, or not on its recorder
inline constexpr int32_t kLost = 3;          // recorder lost, not ready, or no answer in time
inline constexpr int32_t kRefused = 4;       // the recorder refused, or cannot do it
inline constexpr int32_t kReconnect = 5;     // code 85: the caller reconnects
inline constexpr int32_t kNoEntry = 6;       // directory listing empty or at its end

}  // namespace tarvolen::link::result
