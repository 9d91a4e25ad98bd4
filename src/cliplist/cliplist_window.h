// The clip list window: form "CLIPLIST", one channel's clip directory as a
// sortable owner-drawn list, with "&Load" and "&Cancel".
#pragma once

#include <cstdint>

namespace tarvolen {

// The design callback's part for form "CLIPLIST".
void DesignClipList();
// The form's event handler. Event 300 of the two buttons (105 "&Load",
// 2 "&Cancel") is left to the caller, which hands it to the shared button
// painter with form "Cliplist".
void ClipListEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel);

// Button ids of the window.
inline constexpr int32_t kClipListLoadButton = 105;
inline constexpr int32_t kClipListCancelButton = 2;

}  // namespace tarvolen
