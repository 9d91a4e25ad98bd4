// The channel table as the Setup window's grid edits it, and the address
// dialog. Nothing here talks to a recorder: new addresses reach the recorders
// at the next connect.
#include <vector>

#include "device/status.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/list_routines.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

constexpr const char* kSetup = "setup";
constexpr int32_t kGrid = 105;
constexpr int32_t kManualNaming = 170;
constexpr const char* kAddress = "IPADDRESS";
constexpr int32_t kAddressControl = 100;
constexpr int32_t kName = 120;
constexpr int32_t kInternal = 130;

std::vector<std::string> SplitDots(const std::string& text) {
    std::vector<std::string> parts;
    size_t pos = 0;
    for (size_t dot = text.find('.'); dot != std::string::npos; dot = text.find('.', pos)) {
        parts.push_back(text.substr(pos, dot - pos));
        pos = dot + 1;
    }
    parts.push_back(text.substr(pos));
    return parts;
}

// The page beside the grid always shows the selected channel: a page left
// from another channel would be read back into this one and sent to its
// recorder.
void SelectRow(cSettings& s, int32_t row) {
    SelectAndCentre(kSetup, kGrid, row);
    if (s.FillFlag() == 0 && EZ_FORMEXISTS(kSetup)) s.RefreshPage(row);
}

// Ticks the operator changed in the grid are taken into the table before a
// refill, which would otherwise put the old ones back.
void TakeGridTicks(cSettings& s) {
    if (EZ_GETLVCOUNT(kSetup, kGrid) != s.ChannelBound() + 1) return;
    for (int32_t ch = 0; ch <= s.ChannelBound(); ++ch)
        s.SetShown(ch, EZ_LVGETITEMSTATEIMG(kSetup, kGrid, ch) == 2 ? 1 : 0);
}

}  // namespace

void cSettings::FillChannelGrid() {
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
        if (Shown(ch) == 1)
            EZ_LVSETITEMSTATE(kSetup, kGrid, row, EZ_STATEIMAGE(2), EZ_LVIS_STATEIMAGEMASK);
    }
    EZ_SETREDRAWSTATE(kSetup, kGrid, 1);
    SelectAndCentre(kSetup, kGrid, 0);
    EZ_DOEVENTS(255);
    SetFillFlag(0);
    if (EZ_FORMEXISTS(kSetup)) RefreshPage(-1);
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
    EZ_WAITCURSOR(1);
    for (int32_t ch = 0; ch <= ChannelBound(); ++ch) {
        const int32_t shown = EZ_LVGETITEMSTATEIMG(kSetup, kGrid, ch) == 2 ? 1 : 0;
        SetShown(ch, shown);
        if (!shown) SetChecked(ch, 0);
    }
    SetManualClipNaming(EZ_GETCHECKED(kSetup, kManualNaming));
    SaveSettings();
    EZ_REDRAWCONTROL("main", 100);
    EZ_WAITCURSOR(0);
}

void cSettings::ClearChannel() {
    const int32_t row = EZ_FINDNEXTSEL(kSetup, kGrid, -1);
    if (row < 0) return;
    TakeGridTicks(*this);
    SetAddress(row, "");
    SetInternalChannel(row, 0);
    SetShown(row, 0);
    SetChecked(row, 0);
    FillChannelGrid();
    ClearListSelection(kSetup, kGrid);
    if (row + 1 < EZ_GETLVCOUNT(kSetup, kGrid)) SelectRow(*this, row + 1);
}

void cSettings::IncrementChannel() {
    const int32_t row = EZ_FINDNEXTSEL(kSetup, kGrid, -1);
    if (row <= 0) return;
    const std::string before = EZ_GETLVITEMTEXT(kSetup, kGrid, row - 1, 2);
    const size_t dot = before.rfind('.');
    if (before.empty() || dot == std::string::npos) return;
    int32_t last = LeadingNumber(before.substr(dot + 1)) + 1;
    if (last > 255) last = 0;
    TakeGridTicks(*this);
    SetAddress(row, CleanText(before.substr(0, dot + 1) + std::to_string(last)));
    SetInternalChannel(row, 1);
    SetShown(row, 1);
    SetChecked(row, 1);
    FillChannelGrid();
    ClearListSelection(kSetup, kGrid);
    if (row + 1 < EZ_GETLVCOUNT(kSetup, kGrid)) SelectRow(*this, row + 1);
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
    const std::string address = Address(ch);
    const std::vector<std::string> parts = SplitDots(address);
    if (!address.empty() && parts.size() == 4) {
        uint32_t packed = 0;
        for (const std::string& part : parts)
            packed = (packed << 8) | (uint32_t(LeadingNumber(part)) & 0xFF);
        EZ_SENDMESSAGE(kAddress, kAddressControl, EZ_IPM_SETADDRESS, 0, intptr_t(packed));
    }
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
    int32_t ch = g_FormInfo ? g_FormInfo->GetNumber("setup") : 0;
    if (ch < 0) ch = 0;
    std::string dotted;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!dotted.empty()) dotted += '.';
        dotted += std::to_string((packed >> shift) & 0xFF);
    }
    SetAddress(ch, dotted);
    SetChannelName(ch, EZ_GETTEXT(kAddress, kName));
    SetInternalChannel(ch, LeadingNumber(EZ_GETTEXT(kAddress, kInternal)));
    EZ_UNLOADFORM(kAddress);
    TakeGridTicks(*this);
    FillChannelGrid();
    if (g_Status) g_Status->FillList();
}

}  // namespace tarvolen
