// The timecode entry window: form "TCENTRY", caption "Set In". The operator
// types a timecode as digits that enter from the right, as on a tape
// recorder's keypad; the whole keypad works from the keyboard.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

// Opens the window as a modal child of parent (a form name, e.g. "setup";
// empty for none) and returns once it has closed: the confirmed timecode in
// full, zero-padded form (12;34 gives 00:00:12;34 at 29.97 drop-frame, a sign
// typed by the operator stays in front), or the empty text when the operator
// cancelled (&Cancel, Esc, or closing the window). The same text is left in
// cFormInfo under "TcEntry". Needs g_TcMath and g_FormInfo; without them the
// window is not opened and the result is empty.
std::string OpenTcEntry(const std::string& parent);

// The design callback's part for form "TCENTRY".
void DesignTcEntry();
// The form's event handler. Event 300 of "&Ok" and "&Cancel" is left to the
// caller, which hands it to the shared button painter with form "TcEntry".
void TcEntryEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel);

// One key of the keypad on the display: 48-57 a digit, 190 "00", 107 "+",
// 109 "-", 8 removes the last digit; other codes change nothing.
void KeypadKey(int32_t key);
// Binds the keyboard to the keypad's buttons and switches the table on.
void DefineTcAccelerators();

inline constexpr const char* kTcEntryForm = "TcEntry";
inline constexpr int32_t kTcEntryDisplay = 100;
inline constexpr int32_t kTcEntryOk = 105;
inline constexpr int32_t kTcEntryCancel = 2;

}  // namespace tarvolen
