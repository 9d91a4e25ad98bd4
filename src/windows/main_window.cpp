#include "windows/main_window.h"

#include <chrono>
#include <thread>

#include "busy/busy.h"
#include "device/amp_control.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "windows/button_painter.h"

namespace tarvolen {
namespace {

constexpr const char* kMain = "MAIN";
constexpr int32_t kList = 100;
constexpr int32_t kGroupNotice = 190;
constexpr int32_t kAutoRecordTimer = 3;

struct ButtonDef {
    int32_t id;
    double column;
    double width;
    const char* caption;
    const char* face;
    double points;
    const char* props;
    const char* tooltip;
};

constexpr ButtonDef kButtons[] = {
    {105, 22, 5.875, "all", "Segoe UI", 12, "BV", "Select All Channels"},
    {110, 29, 5.875, "none", "Segoe UI", 12, "BV", "De-Select All Channels"},
    {115, 36, 5.875, "7", "Webdings", 18, "BSV", "Rewind"},
    {120, 43, 5.875, "3", "Webdings", 18, "BSV", "Play Reverse"},
    {125, 50, 8.625, "<", "Webdings", 18, "BSV", "Stop"},
    {130, 59.75, 5.875, "4", "Webdings", 18, "BSV", "Play Forward"},
    {135, 66.75, 5.875, "8", "Webdings", 18, "BSV", "Fast Forward"},
    {140, 73.75, 8.625, "record", "Segoe UI", 12, "BV", "Record"},
    {145, 83.5, 5.875, "5", "Webdings", 18, "BSV", "Eject"},
    {150, 90.5, 5.875, "`", "Webdings", 18, "BSV", "Loop Play"},
    {155, 97.5, 5.875, "\xE8|\xE7", "Wingdings", 12, "L+SV", "Ping Pong"},
    {160, 104.5, 5.875, "step", "Segoe UI", 12, "BV",
     "Step Forward - Right Click to Step Backwards"},
    {165, 111.5, 10.5, "Load Last", "Segoe UI", 10, "BV", "Load Last Clip"},
    {170, 125.125, 8.625, "setup", "Segoe UI", 12, "L+V", "Setup Channels"},
};

constexpr int kMainColors[][4] = {
    {60, 0, 213, 255}, {61, 0, 94, 145},   {62, 0, 77, 116}, {63, 1, 34, 53},
    {64, 0, 164, 251}, {65, 1, 80, 123},   {66, 0, 68, 105}, {67, 0, 137, 206},
    {68, 0, 114, 174}, {69, 255, 187, 58}, {70, 64, 0, 0},
};

// Narrower than designed, a row's Out point is cut off by its Load label.
constexpr double kMinWidth = 135;
constexpr double kMinHeight = 33.875;

std::function<void()>& SetupOpener() {
    static std::function<void()> open;
    return open;
}

// Where the clip list window was when it last closed; lives for this run only.
struct ClipListMemory {
    bool started = false;
    double column = 0, row = 0, width = 0, height = 0;
};
ClipListMemory& Memory() {
    static ClipListMemory memory;
    return memory;
}

void ProcessEvents() {
    EZ_DOEVENTS(255);
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ResumePolling() {
    if (g_SyncThread) g_SyncThread->SetSuspendSync(0);
}

const ButtonDef* Button(int32_t id) {
    for (const ButtonDef& b : kButtons) {
        if (b.id == id) return &b;
    }
    return nullptr;
}

void ToggleStepMode() {
    g_StepMode = g_StepMode ? 0 : 1;
    if (g_StepMode) {
        EZ_HIDEC(kMain, 120, 130);
        EZ_HIDEC(kMain, 140, 140);
    } else {
        EZ_SHOWC(kMain, 115, 130);
        EZ_SHOWC(kMain, 140, 140);
    }
    EZ_REDRAWCONTROL(kMain, 160);
}

bool AskYesNo(const std::string& text) {
    EZ_COLOR(0, 31);
    return EZ_MSGBOXEX(kMain, text, "tarvolen", "&Yes|&No", "C1E+", 7, 8) == 1;
}

void ToggleAutoRecord() {
    if (g_AutoRecordInterval == 0) {
        if (!AskYesNo("|Turn On Auto Record?")) return;
        EZ_STOPTIMER(kMain, kAutoRecordTimer);
        ProcessEvents();
        if (g_CommandLineAutoRecord == 0) g_CommandLineAutoRecord = kDefaultAutoRecord;
        g_AutoRecordInterval = g_CommandLineAutoRecord.load();
        EZ_STARTTIMER(kMain, kAutoRecordTimer, g_AutoRecordInterval);
        ProcessEvents();
    } else {
        if (!AskYesNo("|Turn Off Auto Record?")) return;
        EZ_STOPTIMER(kMain, kAutoRecordTimer);
        ProcessEvents();
        g_AutoRecordInterval = 0;
    }
}

// Until the next group command, the main window says what Record or Stop left out.
void ShowGroupReport() {
    EZ_SETTEXT(kMain, kGroupNotice, g_Ampcontrol ? g_Ampcontrol->GroupReport() : std::string());
}

void AutoRecordCycle() {
    EZ_STOPTIMER(kMain, kAutoRecordTimer);
    if (g_AutoRecordInterval == 0) return;
    if (g_Settings) g_Settings->SelectAllChannels();
    if (g_Ampcontrol) g_Ampcontrol->StopAll();
    ShowGroupReport();
    for (int i = 0; i < kAutoRecordPauseSteps; ++i) {
        ProcessEvents();
        SleepMs(100);
        ProcessEvents();
    }
    if (g_Ampcontrol) g_Ampcontrol->RecordAll();
    ShowGroupReport();
    ProcessEvents();
    EZ_WAITCURSOR(0);
    // Turned off during the wait: the recording goes on, the timer stays off.
    if (g_AutoRecordInterval != 0) EZ_STARTTIMER(kMain, kAutoRecordTimer, g_AutoRecordInterval);
}

void AboutBox() {
    EZ_COLOR(0, 31);
    std::string build = g_Settings ? g_Settings->BuildString() : std::string();
    EZ_MSGBOXEX(kMain, "Tarvolen Controller 1.2|Build: " + build, "Tarvolen", "&Ok", "C1E+", 8, 8);
    ProcessEvents();
}

void EnforceMinimumSize() {
    double width = 0, height = 0, column = 0, row = 0;
    EZ_GETSIZE(kMain, width, height, 3);
    EZ_GETPOS(kMain, column, row, 2);
    bool raised = false;
    if (width < kMinWidth) width = kMinWidth, raised = true;
    if (height < kMinHeight) height = kMinHeight, raised = true;
    if (raised) EZ_RESIZEFORM(kMain, column, row, width, height, 1);
}

// Closing leaves the recorders recording; the operator should know before.
bool ConfirmCloseWhileRecording() {
    if (!g_Settings) return true;
    int recording = 0;
    for (int32_t ch = 0; ch <= g_Settings->ChannelBound(); ++ch) {
        if (g_Settings->Shown(ch) && CleanText(g_Settings->State(ch)).rfind("Record", 0) == 0)
            ++recording;
    }
    if (recording == 0) return true;
    const std::string count =
        recording == 1 ? std::string("1 channel is") : std::to_string(recording) + " channels are";
    return AskYesNo("|" + count +
                    " recording.|The recorders go on recording when the controller closes."
                    "||Close the controller?");
}

void SetupChannels() {
    if (SetupOpener()) SetupOpener()();
    ReconnectAndRefill();
}

}  // namespace

void SetSetupWindowOpener(std::function<void()> open) {
    SetupOpener() = std::move(open);
}

void CreateMainForm() {
    EZ_DEFMAINMENU(9000, "&Help", 0);
    EZ_COLOR(0, 0);
    EZ_ALLOWLOADINGEVENT(2);
    EZ_FORM(kMain, "", "tarvolen controller", 0, 0, 135, 36, "^_CZ");
}

void DesignMainWindow() {
    EZ_SETAUTOSIZE("VH");
    EZ_SUBCLASS(1);
    // The rows' own black below the last row too, not a white block.
    EZ_COLOR(-1, 0);
    EZ_USEIFONT("Segoe UI", 14, "BV");
    EZ_LISTVIEW(kList, "Column 1{66}|Column 2{66}{L}", 0, 0.5625, 134.75, 29.5625, "NOSV");
    if (g_Status) g_Status->FillList();

    EZ_SETTHEME(0);
    EZ_COLOR(0, 15);
    for (const ButtonDef& b : kButtons) {
        EZ_USEIFONT(b.face, b.points, b.props);
        EZ_ODBUTTON(b.id, b.caption, b.column, 31.5625, b.width, 2.75, "2");
        EZ_ADDTOOLTIP(kMain, b.id);
    }
    EZ_SETTHEME(1);
    EZ_SUBCLASS(0);
    EZ_USEFONT(4);
    EZ_COLOR(0, 0);
    EZ_LABEL(175, "", 20.625, 31, 103.25, 3.875, "CF");
    EZ_SUBCLASS(1);
    EZ_USEIFONT("Segoe UI", 24, "L+V");
    EZ_COLOR(14, 0);
    EZ_LABEL(180, "tarvolen", 1.25, 30.875, 16.125, 2.0625, "^A");
    EZ_SUBCLASS(0);
    EZ_USEIFONT("Segoe UI", 16, "L+V");
    EZ_COLOR(25, 0);
    EZ_LABEL(185, "controller", 1.25, 32.625, 16.125, 1.875, "^");
    // Which channels the last Record or Stop left out, below the buttons; the
    // remote-control line shares the row, on the right.
    EZ_USEIFONT("Segoe UI", 9, "BV");
    EZ_COLOR(12, 0);
    EZ_LABEL(kGroupNotice, "", 20.625, 34.875, 62, 1.125, "C");

    int32_t help = EZ_DEFSUBMENU(9005, "&Contents", 0);
    EZ_SETSUBMENU(0, 9000, help);
    EZ_ADDMENUITEM(help, 9010, "&About", 0);
}

void MainStartSequence() {
    if (const std::string notice = g_Settings ? g_Settings->TakeLoadNotice() : "";
        !notice.empty()) {
        EZ_COLOR(0, 31);
        EZ_MSGBOXEX(kMain, notice, "tarvolen", "&Ok", "C1E+", 7, 8);
    }
    if (g_Ampcontrol) {
        g_Ampcontrol->PauseStatusThread();
        g_Ampcontrol->Connect(1);
    }
    if (g_Status) g_Status->FillList();
    ResumePolling();
    {
        EzBusyPointer busy;
        for (int i = 0; i < 11; ++i) {
            SleepMs(10);
            ProcessEvents();
        }
    }
    EZ_POSTEVENT(kMain, 105, 0);
}

void ReconnectAndRefill() {
    if (g_Ampcontrol) {
        g_Ampcontrol->PauseStatusThread();
        g_Ampcontrol->Connect(1);
    }
    if (g_Status) g_Status->FillList();
    ResumePolling();
}

void Shutdown() {
    EZ_WAITCURSOR(1);
    busy::ShowBusy(EZ_HANDLE("CLIPLIST", 0), busy::kBusyPicture);
    if (g_Ampcontrol) g_Ampcontrol->Disconnect();
    busy::StopBusy();
    EZ_WAITCURSOR(0);
    ProcessEvents();
    EndProcess(0);
}

void ClipListPositionMemory(int32_t mode) {
    ClipListMemory& m = Memory();
    if (!m.started) {
        EZ_GETSIZE("CLIPLIST", m.width, m.height, 2);
        m.started = true;
        return;
    }
    if (mode == 0) {
        EZ_GETSIZE("CLIPLIST", m.width, m.height, 2);
        EZ_GETPOS("CLIPLIST", m.column, m.row, 2);
    } else if (mode == 1 && m.column > 0 && m.row > 0 && m.width > 0 && m.height > 0) {
        EZ_RESIZEFORM("CLIPLIST", m.column, m.row, m.width, m.height, 1);
    }
}

void MainWindowEvent(int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    if (id == 0) {
        switch (code) {
            case EZ_EV_CREATED:
                g_MainWindowHandle = EZ_HANDLE(kMain, 0);
                for (const auto& c : kMainColors) EZ_DEFCOLOR(c[0], c[1], c[2], c[3]);
                break;
            case EZ_EV_STARTED:
                EZ_SETFORMICON(kMain, "$ProgramIcon");
                break;
            case EZ_EV_SHOWN:
                MainStartSequence();
                break;
            case EZ_EV_RESIZED:
                EnforceMinimumSize();
                if (g_Status) g_Status->SizeColumns();
                break;
            case EZ_EV_CLOSE:
                if (!ConfirmCloseWhileRecording()) {
                    cancel = 1;
                    break;
                }
                Shutdown();
                break;
            default:
                break;
        }
        return;
    }
    if (id == kAutoRecordTimer && code == EZ_EV_TIMER) {
        AutoRecordCycle();
        return;
    }
    if (id == 9010 && code == EZ_EV_CLICK) {
        AboutBox();
        return;
    }
    if (id == EZ_THREADEVENT_ID && code == EZ_EV_THREAD) {
        // The status thread rewrote the rows of what changed.
        EZ_REDRAWLVWRITTEN(kMain, kList);
        return;
    }
    if (id == kList) {
        switch (code) {
            case EZ_EV_OWNERSIZE:
                EZ_DEFFONT(99, "tahoma", 13, "BV");
                EZ_SETLVROWHEIGHT(kMain, kList, EZ_FONTHEIGHT(99) + 4);
                EZ_FREEFONT(99);
                break;
            case EZ_EV_OWNERDRAW:
                if (g_Status) g_Status->DrawCell("Main", id, value);
                break;
            case EZ_EV_LVCLICK:
                if (g_Status) g_Status->HandleClick(value);
                break;
            case EZ_EV_ERASE:
                cancel = 1;
                break;
            default:
                break;
        }
        return;
    }
    if (id == 180 && code == EZ_EV_RIGHTCLICK) {
        ToggleAutoRecord();
        return;
    }
    if (const ButtonDef* b = Button(id)) {
        if (code == EZ_EV_OWNERDRAW) {
            PaintButton("main", id, value, EZ_GETTEXT(kMain, id));
            return;
        }
        if (code == EZ_EV_TOOLTIP) {
            EZ_SETTOOLTIP(b->tooltip);
            return;
        }
        if (id == 105 && (code == EZ_EV_CLICK || code == EZ_EV_POSTED)) {
            if (g_Settings) g_Settings->SelectAllChannels();
            return;
        }
        if (code != EZ_EV_CLICK) return;
        cAmpcontrol* amp = g_Ampcontrol;
        const bool groupCommand = id >= 115 && id <= 165 && id != 160;
        if (groupCommand) EZ_SETTEXT(kMain, kGroupNotice, "");
        switch (id) {
            case 110:
                EZ_REDRAWCONTROL(kMain, 110);
                if (g_Settings) g_Settings->DeselectAllChannels();
                break;
            case 115:
                if (amp) amp->RewindAll();
                break;
            case 120:
                if (amp) amp->PlayReverseAll();
                break;
            case 125:
                if (amp) amp->StopAll();
                ShowGroupReport();
                break;
            case 130:
                if (amp) amp->PlayAll();
                break;
            case 135:
                if (amp) amp->FastForwardAll();
                break;
            case 140:
                if (amp) amp->RecordAll();
                ShowGroupReport();
                break;
            case 145:
                if (amp) amp->EjectAll();
                break;
            case 150:
                if (amp) amp->ToggleLoopAll();
                break;
            case 155:
                if (amp) amp->TogglePingPongAll();
                break;
            case 160:
                ToggleStepMode();
                break;
            case 165:
                if (amp) amp->LoadLastClipAll();
                break;
            case 170:
                SetupChannels();
                break;
            default:
                break;
        }
    }
}

}  // namespace tarvolen
