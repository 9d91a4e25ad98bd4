// List view routines shared by the windows: selection clearing and a select
// that also brings the row to the middle of the list.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

// Clears the selected and then the focused state of every row when some row
// is selected, then lets pending events run.
void ClearListSelection(const std::string& form, int32_t id);

// Selects the row, makes it visible and scrolls it towards the middle.
void SelectAndCentre(const std::string& form, int32_t id, int32_t index);

}  // namespace tarvolen
