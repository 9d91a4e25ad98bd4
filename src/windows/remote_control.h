// The remote surface seen from the window: whether it is switched on, the
// commands of show-control panels taken on the GUI thread and carried out by
// the bottom strip's buttons (or a row's Record/Stop), the group's state told
// back to them, and the clients shown in the window's caption.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/remote/remote_server.h"

namespace tarvolen {

class IniFile;

// The main form's control id of the thread event that says remote commands
// wait.
inline constexpr int32_t kRemoteEventId = 10001;
// The main form's line that shows the surface and its clients.
inline constexpr int32_t kRemoteLabelId = 195;

// Adds that line to the main form while it is being designed.
void DesignRemoteLabel();

struct RemoteSettings {
    bool on = false;
    remote::RemoteOptions options;
    std::string problem;  // a value that could not be used, for the trace
};

// Section "Remote" of the settings file, then "remote=" on the command line:
// 0 switches it off, 1 on, a larger number on at that port.
RemoteSettings ReadRemoteSettings(const IniFile& file, std::string_view commandLine);

// Starts (or restarts) the surface as the settings file and the command line
// say; off, it only makes sure none runs.
void StartRemoteControl(std::string_view commandLine);
void StopRemoteControl();
// The group deck's port while it listens, else 0.
uint16_t RemoteControlPort();

// GUI thread: the thread event kRemoteEventId.
void RemoteControlEvent();
// GUI thread: the channel table may have changed.
void RemoteStatusChanged();

}  // namespace tarvolen
