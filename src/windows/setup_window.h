// The Setup window (form "SETUP"): the channel grid with its bulk buttons on
// the left, the recorder configuration pages on the right, and the address
// dialog (form "IPADDRESS") opened from a grid row.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolen {

// Opens Setup modally over the main window; returns when it has closed.
void OpenSetupWindow();
void DesignSetupWindow();
void SetupWindowEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel);

// The address dialog's protocol choice (items in the order of the protocol
// numbers) and port box, and its height with them.
inline constexpr int32_t kAddressProtocol = 140;
inline constexpr int32_t kAddressPort = 150;
inline constexpr double kAddressDialogHeight = 15.6875;

void DesignAddressDialog();
void AddressDialogEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel);

// The clip-naming help shown beside the Projects page: three groups of
// template tokens, a tab before every "%".
std::string NamingHelpText();

}  // namespace tarvolen
