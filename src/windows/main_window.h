// The operator's console: form "MAIN" with the channel list, the button strip,
// the auto-record cycle, step mode and the About box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarvolen {

void CreateMainForm();
void DesignMainWindow();
void MainWindowEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel);

// Run when the main form is first shown: connect, fill the list, select all.
void MainStartSequence();
// Run when the main form closes: disconnect everything and end the process.
void Shutdown();

// Pause, reconnect asking first, refill the list, resume polling.
void ReconnectAndRefill();

// The remembered place of the clip list window: mode 0 when it closes, 1 when
// it has started.
void ClipListPositionMemory(int32_t mode);

// Opens the Setup window modally, when the program has one.
void SetSetupWindowOpener(std::function<void()> open);

// Seconds the auto-record cycle waits between stop and record, in 100 ms steps.
inline constexpr int kAutoRecordPauseSteps = 100;

}  // namespace tarvolen
