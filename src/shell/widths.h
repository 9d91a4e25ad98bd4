// Widths of the fixed text fields that the channel table and the device
// records share.
#pragma once

#include <cstddef>

namespace tarvolen {

inline constexpr size_t kAddressWidth = 15;
inline constexpr size_t kTimecodeWidth = 11;

}  // namespace tarvolen
