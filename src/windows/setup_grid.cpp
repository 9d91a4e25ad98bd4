// The channel table as the Setup window's grid edits it, and the address
// dialog. Nothing here talks to a recorder: new addresses reach the recorders
// at the next connect.
#include <string>

#include "device/amp_control.h"
#include "device/status.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/list_routines.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "windows/setup_window.h"

namespace tarvolen {
namespace {

constexpr const char* kSetup = "setup";
constexpr int32_t kGrid = 105;
constexpr int32_t kManualNaming = 170;
constexpr const char* kAddress = "IPADDRESS";
constexpr int32_t kAddressControl = 100;
constexpr int32_t kName = 120;
constexpr int32_t kInternal = 130;

// The packed form of a dotted address with exactly four numeric parts of
// 0-255; false for anything the address editor cannot show.
bool PackedAddress(const std::string& address, uint32_t& packed) {
    packed = 0;
    int parts = 0;
    size_t pos = 0;
    while (true) {
        const size_t dot = address.find('.', pos);
        const std::string part = address.substr(pos, dot - pos);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const int value = std::stoi(part);
        if (value > 255) return false;
        packed = (packed << 8) | uint32_t(value);
        ++parts;
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return parts == 4;
}

// The page beside the grid always shows the selected channel: a page left
// from another channel would be read back into this one and sent to its
// recorder. With no row after the one just edited, that row stays selected.
void SelectNextRow(cSettings& s, int32_t row) {
    ClearListSelection(kSetup, kGrid);
    const int32_t next = row + 1 < EZ_GETLVCOUNT(kSetup, kGrid) ? row + 1 : row;
    SelectAndCentre(kSetup, kGrid, next);
    if (EZ_FORMEXISTS(kSetup)) s.RefreshPage(next);
}

// Ticks the operator changed in the grid are taken into the table before a
// refill, which would otherwise put the old ones back.
void TakeGridTicks(cSettings& s) {
    if (EZ_GETLVCOUNT(kSetup, kGrid) != s.ChannelBound() + 1) return;
    for (int32_t ch = 0; ch <= s.ChannelBound(); ++ch)
        s.SetShown(ch, EZ_LVGETITEMSTATEIMG(kSetup, kGrid, ch) == 2 ? 1 : 0);
}

}  // namespace

void cSettings::FillChannelGrid(bool refresh_page) {
    SetFillFlag(1);
    if (TrackLines() == 2) EZ_SETCHECKED(kSetup, 120, 1);
    if (TrackLines() == 3) EZ_SETCHECKED(kSetup, 130, 1);
    if (ManualClipNaming() != 0) EZ_SETCHECKED(kSetup, kManualNaming, 1);
    EZ_SETREDRAWSTATE(kSetup, kGrid, 0);
    EZ_CLEARLV(kSetup, kGrid);
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) {
        const int32_t row = EZ_ADDLVITEM(kSetup, kGrid, std::to_string(ch + 1), -1);
        EZ_SETLVITEMTEXT(kSetup, kGrid, row, 1, ChannelName(ch));
        EZ_SETLVITEMTEXT(kSetup, kGrid, row, 2, FixedWidth(Address(ch), kAddressWidth));
        const int32_t internal = InternalChannel(ch);
        EZ_SETLVITEMTEXT(kSetup, kGrid, row, 3,
                         internal >= 1 && internal <= 4 ? std::to_string(internal) : "");
        // The column is narrow: a deck is named by its kind, not its protocol.
        EZ_SETLVITEMTEXT(kSetup, kGrid, row, 4,
                         Protocol(ch) == kProtocolDeck ? "Deck" : std::string(kProtocolOursName));
        if (Shown(ch) == 1)
            EZ_LVSETITEMSTATE(kSetup, kGrid, row, EZ_STATEIMAGE(2), EZ_LVIS_STATEIMAGEMASK);
    }
    EZ_SETREDRAWSTATE(kSetup, kGrid, 1);
    SelectAndCentre(kSetup, kGrid, 0);
    EZ_DOEVENTS(255);
    SetFillFlag(0);
    if (refresh_page && EZ_FORMEXISTS(kSetup)) RefreshPage(-1);
}

void cSettings::ShowChannelsWithAddress() {
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) SetShown(ch, Address(ch).empty() ? 0 : 1);
    FillChannelGrid();
}

void cSettings::ShowNoChannels() {
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) SetShown(ch, 0);
    FillChannelGrid();
}

void cSettings::ApplyChannelGrid() {
    // A grid that is not filled says nothing about which channels are shown.
    if (EZ_GETLVCOUNT(kSetup, kGrid) != ChannelBound() + 1) return;
    EZ_WAITCURSOR(1);
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) {
        const int32_t shown = EZ_LVGETITEMSTATEIMG(kSetup, kGrid, ch) == 2 ? 1 : 0;
        SetShown(ch, shown);
        if (!shown) SetChecked(ch, 0);
    }
    SetManualClipNaming(EZ_GETCHECKED(kSetup, kManualNaming));
    std::string why;
    const bool saved = SaveSettings(&why);
    EZ_REDRAWCONTROL("main", 100);
    EZ_WAITCURSOR(0);
    // The table keeps what the operator set; only the file is behind.
    if (!saved) {
        EZ_COLOR(0, 31);
        EZ_MSGBOXEX(kSetup,
                    "|The settings could not be saved to|" + SettingsPath() + "|" + why + ".",
                    "tarvolen", "&Ok", "C1E+", 7, 8);
    }
}

void cSettings::ClearChannel() {
    const int32_t row = EZ_FINDNEXTSEL(kSetup, kGrid, -1);
    if (row < 0) return;
    TakeGridTicks(*this);
    SetAddress(row, "");
    SetInternalChannel(row, 0);
    SetShown(row, 0);
    SetChecked(row, 0);
    FillChannelGrid(false);
    SelectNextRow(*this, row);
}

void cSettings::IncrementChannel() {
    const int32_t row = EZ_FINDNEXTSEL(kSetup, kGrid, -1);
    if (row <= 0) return;
    const std::string before = EZ_GETLVITEMTEXT(kSetup, kGrid, row - 1, 2);
    const size_t dot = before.rfind('.');
    if (before.empty() || dot == std::string::npos) return;
    const int32_t previous = LeadingNumber(before.substr(dot + 1));
    const int32_t last = previous < 0 || previous >= 255 ? 0 : previous + 1;
    TakeGridTicks(*this);
    SetAddress(row, CleanText(before.substr(0, dot + 1) + std::to_string(last)));
    SetInternalChannel(row, 1);
    SetShown(row, 1);
    SetChecked(row, 1);
    FillChannelGrid(false);
    SelectNextRow(*this, row);
}

void cSettings::LoadAddressDialog() {
    double column = 0, row = 0, width = 0, height = 0;
    EZ_GETPOSC(kAddress, kAddressControl, column, row);
    EZ_GETSIZEC(kAddress, kAddressControl, width, height);
    EZ_REMOVECONTROL(kAddress, kAddressControl);
    EZ_CREATECONTROL(kAddress, kAddressControl, "SysIPAddress32", column - 1.5, row, width + 3,
                     1.825);
    EZ_DEFFONT(7, "Arial", 12, "BV");
    EZ_SETFONT(kAddress, kAddressControl, 7);
    EZ_DOEVENTS(255);
    int32_t ch = g_FormInfo ? g_FormInfo->GetNumber("setup") : 0;
    if (ch < 0) ch = 0;
    EZ_SETCOMBOINDEX(kAddress, kInternal, InternalChannel(ch) - 1);
    EZ_SETFONT(kAddress, kName, 7);
    EZ_SETTEXT(kAddress, kName, ChannelName(ch));
    EZ_SETCOMBOINDEX(kAddress, kAddressProtocol, Protocol(ch));
    EZ_SETTEXT(kAddress, kAddressPort, Port(ch) > 0 ? std::to_string(Port(ch)) : "");
    uint32_t packed = 0;
    if (PackedAddress(Address(ch), packed))
        EZ_SENDMESSAGE(kAddress, kAddressControl, EZ_IPM_SETADDRESS, 0, intptr_t(packed));
    EZ_SETFOCUS(kAddress, kAddressControl);
}

void cSettings::ApplyAddressDialog() {
    uint32_t packed = 0;
    const intptr_t filled = EZ_SENDMESSAGE(kAddress, kAddressControl, EZ_IPM_GETADDRESS, 0,
                                           reinterpret_cast<intptr_t>(&packed));
    // Half an address would point the channel at some other recorder.
    if (filled > 0 && filled < 4) {
        EZ_COLOR(0, 31);
        EZ_MSGBOXEX(kAddress, "|The address needs all four numbers.", "tarvolen", "&Ok", "C1E+", 7,
                    8);
        EZ_SETFOCUS(kAddress, kAddressControl);
        return;
    }
    // A port is a number the protocol can carry, or nothing for its own.
    const std::string port = CleanText(EZ_GETTEXT(kAddress, kAddressPort));
    const int32_t port_number = LeadingNumber(port);
    if (!port.empty() && (port.find_first_not_of("0123456789") != std::string::npos ||
                          port_number < 1 || port_number > 65535)) {
        EZ_COLOR(0, 31);
        EZ_MSGBOXEX(kAddress, "|The port is a number from 1 to 65535, or empty.", "tarvolen", "&Ok",
                    "C1E+", 7, 8);
        EZ_SETFOCUS(kAddress, kAddressPort);
        return;
    }
    int32_t ch = g_FormInfo ? g_FormInfo->GetNumber("setup") : 0;
    if (ch < 0) ch = 0;
    // An empty editor is a channel without a recorder, not 0.0.0.0.
    std::string dotted;
    for (int shift = 24; filled > 0 && shift >= 0; shift -= 8) {
        if (!dotted.empty()) dotted += '.';
        dotted += std::to_string((packed >> shift) & 0xFF);
    }
    // An address the editor could not show stays as it was unless the
    // operator typed a new one: renaming a channel must not lose it.
    uint32_t unused = 0;
    const std::string stored = Address(ch);
    const int32_t internal = InternalChannel(ch);
    if (filled > 0 || stored.empty() || PackedAddress(stored, unused)) SetAddress(ch, dotted);
    SetChannelName(ch, EZ_GETTEXT(kAddress, kName));
    SetInternalChannel(ch, LeadingNumber(EZ_GETTEXT(kAddress, kInternal)));
    SetProtocol(ch, EZ_GETCOMBOINDEX(kAddress, kAddressProtocol) == kProtocolDeck ? kProtocolDeck
                                                                                  : kProtocolOurs);
    SetPort(ch, port.empty() ? 0 : port_number);
    EZ_UNLOADFORM(kAddress);
    TakeGridTicks(*this);
    FillChannelGrid(false);
    // The pages of this row must reach the recorder the row now shows.
    if (g_Ampcontrol && (Address(ch) != stored || InternalChannel(ch) != internal))
        g_Ampcontrol->ConnectChannel(ch);
    SelectAndCentre(kSetup, kGrid, ch);
    if (EZ_FORMEXISTS(kSetup)) RefreshPage(ch);
    if (g_Status) g_Status->FillList();
}

}  // namespace tarvolen
