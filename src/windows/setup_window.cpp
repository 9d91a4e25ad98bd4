#include "windows/setup_window.h"

#include "device/amp_control.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/toolkit.h"
#include "timecode/keypad_window.h"
#include "windows/button_painter.h"

namespace tarvolen {
namespace {

constexpr const char* kSetup = "SETUP";
constexpr int32_t kOk = 100;
constexpr int32_t kGrid = 105;
constexpr int32_t kTwoLines = 120;
constexpr int32_t kThreeLines = 130;
constexpr int32_t kPropertyList = 140;
constexpr int32_t kNamingHelp = 145;
constexpr int32_t kPageNotice = 150;
constexpr int32_t kApplyToChecked = 155;
constexpr int32_t kApplyHighlighted = 160;
constexpr int32_t kFirstPreset = 175;  // "2ch" … "16ch", "+", "-", "Audio Presets"
constexpr int32_t kAddTrack = 205;
constexpr int32_t kRemoveTrack = 210;
constexpr int32_t kPresetsLabel = 215;
constexpr int32_t kTabs = 220;
constexpr int32_t kRefreshTimer = 3;

struct ButtonDef {
    int32_t id;
    const char* caption;
    double column, row, width, height;
    const char* props;  // "H": created hidden
};

constexpr ButtonDef kButtons[] = {
    {kOk, "&Ok", 1.25, 31.1875, 7.75, 2.8125, "2T"},
    {110, "Select All|Channels", 1.25, 0.4375, 12, 2.6875, "2T"},
    {115, "Select No|Channels", 1.25, 4.375, 12, 2.6875, "2T"},
    {125, "Clear|Channel", 1.25, 8.3125, 12, 2.6875, "2T"},
    {135, "Increment", 1.25, 12.25, 12, 2.6875, "2T"},
    {kTwoLines, "2 Lines", 30.125, 31.1875, 7.75, 2.8125, "2GT"},
    {kThreeLines, "3 Lines", 38, 31.1875, 7.75, 2.8125, "2GT"},
    {kApplyToChecked, "Apply Settings|to All Checked", 47, 31.1875, 15.875, 2.8125, "2T"},
    {kApplyHighlighted, "Apply|Highlighted", 48, 31.1875, 13.25, 2.8125, "2HT"},
    {kAddTrack, "+", 66.5, 29.375, 6, 2, "2HT"},
    {kRemoveTrack, "-", 99, 29.375, 6, 2, "2HT"},
    {175, "2ch", 66.5, 31.75, 6, 2, "2HT"},
    {180, "4ch", 73, 31.75, 6, 2, "2HT"},
    {185, "6ch", 79.5, 31.75, 6, 2, "2HT"},
    {190, "8ch", 86, 31.75, 6, 2, "2HT"},
    {195, "12ch", 92.5, 31.75, 6, 2, "2HT"},
    {200, "16ch", 99, 31.75, 6, 2, "2HT"},
};

bool IsButton(int32_t id) {
    for (const ButtonDef& b : kButtons) {
        if (b.id == id) return true;
    }
    return false;
}

// Track counts of the audio preset buttons "2ch" … "16ch".
int32_t PresetTracks(int32_t id) {
    switch (id) {
        case 175:
            return 2;
        case 180:
            return 4;
        case 185:
            return 6;
        case 190:
            return 8;
        case 195:
            return 12;
        case 200:
            return 16;
        default:
            return 0;
    }
}

void ShowPage(int32_t tab) {
    cSettings& s = *g_Settings;
    switch (tab) {
        case 1:
            s.BuildInputsPage();
            break;
        case 2:
            s.BuildEncodersPage();
            break;
        case 3:
            s.BuildProjectsPage();
            break;
        case 4:
            s.BuildMasterAudioPage();
            break;
        case 5:
            s.BuildProxyAudioPage();
            break;
        default:
            break;
    }
}

void TabChanged(int32_t tab) {
    if (!g_Settings) return;
    EZ_HIDEC(kSetup, kNamingHelp, kNamingHelp);
    EZ_HIDEC(kSetup, kFirstPreset, kPresetsLabel);
    EZ_DOEVENTS(255);
    g_Settings->RefreshPage(-1);
    if (EZ_FINDNEXTSEL(kSetup, kGrid, -1) >= 0) ShowPage(tab);
}

void SetTrackLines(int32_t lines) {
    if (!g_Settings) return;
    g_Settings->SetTrackLines(lines);
    EZ_REDRAWCONTROL(kSetup, kTwoLines);
    EZ_REDRAWCONTROL(kSetup, kThreeLines);
    EZ_REDRAWCONTROL("main", 100);
}

void SegmentDurationPressed() {
    const std::string timecode = OpenTcEntry("setup");
    if (timecode.empty() || !g_Settings) return;
    // A duration cannot be negative, and a signed timecode would read as 0.
    if (timecode.find_first_of("+-") != std::string::npos) {
        EZ_MSGBOXEX(kSetup,
                    "|A segment duration has no sign: type it without \"-\" or \"+\".|"
                    "Nothing was sent.",
                    "tarvolen", "&Ok", "C1E+", 7, 8);
        return;
    }
    g_Settings->SetSegmentDuration(timecode);
    g_Settings->ApplyPage("", 0);
    g_Settings->CommitEdit();
}

void Started() {
    EZ_HIDEC(kSetup, kPageNotice, kPageNotice);
    EZ_SETTEXT(kSetup, kNamingHelp, NamingHelpText());
    EZ_CLEAR(kSetup, kPropertyList);
    if (g_Settings) g_Settings->FillChannelGrid(false);  // the shown event refreshes
    // Esc leaves Setup the way "&Ok" does, settings file included.
    EZ_DEFACCEL(kSetup, "ESC," + std::to_string(kOk));
    EZ_SETACCELFORM(kSetup, 1);
}

void Shown() {
    if (g_Settings) {
        g_Settings->RefreshPage(0);
        g_Settings->PollConfiguration(1);
    }
    EZ_STARTTIMER(kSetup, kRefreshTimer, 1);
}

void Closed() {
    if (g_Status) g_Status->FillList();
    EZ_STOPTIMER(kSetup, kRefreshTimer);
}

void Tick() {
    if (!g_Settings) return;
    if (g_SyncThread && g_SyncThread->SuspendSync() == 1) return;
    g_Settings->PollConfiguration(0);
}

void GridEvent(int32_t code, int32_t value, int32_t& cancel) {
    switch (code) {
        case EZ_EV_LVROWCHOSEN:
            if (g_Settings) g_Settings->RefreshPage(value);
            break;
        case EZ_EV_LVACTIVATE:
            if (value < 0) break;
            if (g_FormInfo) g_FormInfo->SetNumber("Setup", value);
            EZ_COLOR(0, 0);
            EZ_FORM("IPADDRESS", "Setup", "IP Address", 0, 0, 36.75, kAddressDialogHeight, "CMR");
            break;
        case EZ_EV_CUSTOMDRAW:
            EZ_COLOR(15, 8);
            break;
        case EZ_EV_CUSTOMDRAWNOTIFY:
            cancel = 1;
            break;
        default:
            break;
    }
}

}  // namespace

std::string NamingHelpText() {
    std::string text =
        "general%P = project|%E = encoder|%S = scene|%x = '_proxy'|%C = 8 digit start TC"
        "||date%D = date (YYYYMMDD)|%Y = 4 digit year|%y = 2 digit year|%M = 2 digit month"
        "|%d = 2 digit day"
        "||time%T = time (HHMMSS)|%H = 2 digit hour (0-23)|%m = 2 digit minute"
        "|%s = 2 digit second|%W = day of week|%w = day of week (short)";
    std::string out;
    for (char c : text) {
        if (c == '%') out += '\t';
        out += c;
    }
    return out;
}

void OpenSetupWindow() {
    EZ_COLOR(0, 0);
    EZ_FORM(kSetup, "Main", "Setup", 0, 0, 109, 35, "CMN");
}

void DesignSetupWindow() {
    EZ_COLOR(-1, -1);
    for (const ButtonDef& b : kButtons)
        EZ_ODBUTTON(b.id, b.caption, b.column, b.row, b.width, b.height, b.props);
    EZ_COLOR(15, 0);
    EZ_LABEL(165, "Manual Clip Naming", 3.875, 16.125, 9, 2.1875, "CH");
    EZ_CHECKBOX(170, "Manual Clip|  Naming", 1.5, 16.5, 1.625, 1.1875, "HT");
    EZ_COLOR(15, 8);
    EZ_LISTVIEW(kGrid, "Num{6}|Name{8}{C}|IP Address{14}{C}|Int Chan{8}{C}|Protocol{8}{C}", 15.75,
                0.4375, 47, 29.5625, "-#STVX");
    EZ_COLOR(-1, -1);
    EZ_PLISTBOX(kPropertyList, "", 65.625, 1.75, 40.75, 10.25, "STV");
    EZ_COLOR(15, 0);
    EZ_LABEL(kPageNotice, "", 65.5, 1.75, 40.375, 17.25, "C");
    EZ_LABEL(kNamingHelp, "", 66, 17, 39.625, 17, "HL");
    EZ_LABEL(kPresetsLabel, "Audio Presets", 66.5, 29.375, 38.5, 2, "CH");
    // Last, so it lies beneath the page controls drawn over it.
    EZ_TABCONTROL(kTabs, "Inputs|Encoders|Projects|Master Aud|Proxy Aud", 65, 0.4375, 41.25, 34,
                  "T");
    EZ_COLOR(-1, -1);
    for (const ButtonDef& b : kButtons) {
        if (std::string(b.props).find('H') != std::string::npos) EZ_HIDEC(kSetup, b.id, b.id);
    }
    EZ_HIDEC(kSetup, 165, 170);
    EZ_HIDEC(kSetup, kNamingHelp, kNamingHelp);
    EZ_HIDEC(kSetup, kPresetsLabel, kPresetsLabel);
}

void SetupWindowEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    if (id == 0) {
        switch (code) {
            case EZ_EV_STARTED:
                Started();
                break;
            case EZ_EV_SHOWN:
                Shown();
                break;
            case EZ_EV_CLOSE:
                Closed();
                break;
            default:
                break;
        }
        return;
    }
    if (id == kRefreshTimer && code == EZ_EV_TIMER) {
        Tick();
        return;
    }
    if (id == kGrid) {
        GridEvent(code, value, cancel);
        return;
    }
    if (id == kTabs) {
        if (code == EZ_EV_TABCHANGED) TabChanged(value);
        return;
    }
    if (id == kPropertyList) {
        if (code == EZ_EV_PLBUTTON) {
            SegmentDurationPressed();
        } else if (code == EZ_EV_PLCHANGED && g_Settings) {
            g_Settings->ApplyPage("", 0);
            g_Settings->CommitEdit();
        }
        return;
    }
    if (id == kApplyHighlighted) return;
    if (IsButton(id) && code == EZ_EV_OWNERDRAW) {
        PaintButton("Setup", id, value, EZ_GETTEXT(kSetup, id));
        return;
    }
    if ((id == kTwoLines || id == kThreeLines) && code == EZ_EV_BUTTONERASE) {
        cancel = 1;
        return;
    }
    if (code != EZ_EV_CLICK && code != EZ_EV_POSTED) return;
    cSettings* s = g_Settings;
    switch (id) {
        case kOk:
            // A value still being typed on the page is sent before Setup goes.
            if (s) s->CommitEdit();
            if (s) s->ApplyChannelGrid();
            Closed();
            EZ_UNLOADFORM(kSetup);
            break;
        case 110:
            if (s) s->ShowChannelsWithAddress();
            break;
        case 115:
            if (s) s->ShowNoChannels();
            break;
        case 125:
            if (s) s->ClearChannel();
            break;
        case 135:
            if (s) s->IncrementChannel();
            break;
        case kTwoLines:
            SetTrackLines(2);
            break;
        case kThreeLines:
            SetTrackLines(3);
            break;
        case kApplyToChecked:
            if (s) s->ApplyToChecked(1);
            break;
        case kAddTrack:
            if (s) s->AddTrack();
            break;
        case kRemoveTrack:
            if (s) s->RemoveTrack();
            break;
        default:
            if (int32_t tracks = PresetTracks(id); tracks > 0 && s) s->SetTrackCount(tracks);
            break;
    }
}

}  // namespace tarvolen

// ---- The address dialog

namespace tarvolen {
namespace {

constexpr const char* kAddress = "IPADDRESS";
constexpr int32_t kAddressOk = 105;
constexpr int32_t kAddressClear = 125;
constexpr int32_t kAddressCancel = 2;

}  // namespace

void DesignAddressDialog() {
    EZ_COLOR(15, 0);
    EZ_LABEL(115, "Channel Name", 6.5, 0.375, 20.25, 1.125, "C");
    EZ_COLOR(-1, -1);
    EZ_TEXT(120, "", 6.5, 1.875, 20.25, 1.75, "EST");
    EZ_COLOR(15, 0);
    EZ_LABEL(135, "Int Chan", 27.5, 0.375, 7.75, 1.125, "C");
    EZ_COLOR(-1, -1);
    EZ_COMBOBOX(130, "   1|   2|   3|   4", 28.5, 2.125, 5.875, 5.125, "ATV");
    EZ_COLOR(15, 0);
    EZ_LABEL(110, "IP Address", 6.5, 4.375, 20.25, 1.125, "C");
    EZ_COLOR(-1, -1);
    EZ_LABEL(100, "", 6.5, 5.8125, 20.25, 2.1875, "");
    // What the recorder at the address speaks, and on which port (empty: its own).
    EZ_COLOR(15, 0);
    EZ_LABEL(145, "Protocol", 6.5, 8.5, 12.5, 1.125, "C");
    EZ_LABEL(155, "Port", 20.25, 8.5, 6.5, 1.125, "C");
    EZ_COLOR(-1, -1);
    EZ_COMBOBOX(kAddressProtocol,
                std::string(kProtocolOursName) + "|" + std::string(kProtocolDeckName), 6.5, 9.875,
                12.5, 5.125, "ATV");
    EZ_TEXT(kAddressPort, "", 20.25, 9.875, 6.5, 1.75, "EST");
    EZ_USEIFONT("Segoe UI", 10, "BV");
    EZ_ODBUTTON(kAddressOk, "&Ok", 2.125, 12.625, 7.25, 2.375, "2T");
    EZ_ODBUTTON(kAddressClear, "C&lear", 14.375, 12.625, 7.25, 2.375, "2T");
    EZ_ODBUTTON(kAddressCancel, "&Cancel", 26.625, 12.625, 7.75, 2.375, "2T");
}

void AddressDialogEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    (void)cancel;
    if (id == 0) {
        if (code == EZ_EV_SHOWN) {
            if (g_Ampcontrol) g_Ampcontrol->PauseStatusThread();
            if (g_Settings) g_Settings->LoadAddressDialog();
            if (g_SyncThread) g_SyncThread->SetSuspendSync(0);
            // Return takes the address, Esc leaves it as it was.
            EZ_DEFACCEL(kAddress, "Return," + std::to_string(kAddressOk) + "|ESC," +
                                      std::to_string(kAddressCancel));
            EZ_SETACCELFORM(kAddress, 1);
        }
        return;
    }
    if (code == EZ_EV_OWNERDRAW &&
        (id == kAddressOk || id == kAddressCancel || id == kAddressClear)) {
        PaintButton("IPADDRESS", id, value, EZ_GETTEXT(kAddress, id));
        return;
    }
    if (code != EZ_EV_CLICK && code != EZ_EV_POSTED) return;
    switch (id) {
        case kAddressOk:
            if (g_Settings) g_Settings->ApplyAddressDialog();
            break;
        case kAddressCancel:
            EZ_UNLOADFORM("IpAddress");
            break;
        case kAddressClear:
            // Empties the address so a new one can be typed from the first octet.
            EZ_SENDMESSAGE(kAddress, 100, EZ_IPM_CLEARADDRESS, 0, 0);
            EZ_SETFOCUS(kAddress, 100);
            break;
        default:
            break;
    }
}

}  // namespace tarvolen
