#include "windows/program.h"

#include <memory>

#include "cliplist/cliplist.h"
#include "cliplist/cliplist_window.h"
#include "device/amp_control.h"
#include "device/status.h"
#include "device/sync_thread.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "timecode/keypad_window.h"
#include "timecode/tc_math.h"
#include "windows/button_painter.h"
#include "windows/main_window.h"
#include "windows/remote_control.h"
#include "windows/setup_window.h"

namespace tarvolen {
namespace {

// Owners of the shared objects; never released before the process ends.
struct SharedObjects {
    std::unique_ptr<cSettings> settings;
    std::unique_ptr<cTcMath> tcMath;
    std::unique_ptr<cStatus> status;
    std::unique_ptr<cFormInfo> formInfo;
    std::unique_ptr<cCliplist> cliplist;
    std::unique_ptr<cAmpcontrol> ampcontrol;
    std::unique_ptr<cSyncThread> syncThread;
};

// The shared objects live until the process ends and are never released:
// tearing them down from static destructors would stop threads and pump
// toolkit events while Qt is already going away.
SharedObjects& Objects() {
    static SharedObjects& objects = *new SharedObjects;
    return objects;
}

void WireSharedObjects(SharedObjects& o) {
    o.ampcontrol->SetSyncThread(o.syncThread.get());
    o.ampcontrol->SetStatus(o.status.get());
    o.ampcontrol->SetClipDirectory(o.cliplist.get());
    o.ampcontrol->SetTcMath(o.tcMath.get());
    o.status->SetAmpcontrol(o.ampcontrol.get());
    o.status->SetSyncThread(o.syncThread.get());
    o.status->SetClipDirectory(o.cliplist.get());
    cAmpcontrol* amp = o.ampcontrol.get();
    cSyncThread* sync = o.syncThread.get();
    CliplistLinks links;
    links.connectedAddress = [amp](int32_t ch) { return amp->ConnectedAddress(ch); };
    links.pauseStatusThread = [amp] { amp->PauseStatusThread(); };
    links.resumeStatusThread = [sync] { sync->SetSuspendSync(0); };
    links.loadSelectedClip = [amp] { amp->LoadSelectedClip(); };
    links.positionMemory = ClipListPositionMemory;
    o.cliplist->SetLinks(std::move(links));
}

void CreateSharedObjects() {
    SharedObjects& o = Objects();
    o.settings = std::make_unique<cSettings>();
    o.settings->SetRedrawHook([] { EZ_REDRAWCONTROL("main", 100); });
    g_Settings = o.settings.get();
    o.tcMath = std::make_unique<cTcMath>(FrameRateOfSettings(*o.settings));
    g_TcMath = o.tcMath.get();
    o.status = std::make_unique<cStatus>(*o.settings);
    g_Status = o.status.get();
    o.formInfo = std::make_unique<cFormInfo>();
    g_FormInfo = o.formInfo.get();
    o.cliplist = std::make_unique<cCliplist>(*o.settings);
    g_Cliplist = o.cliplist.get();
    o.ampcontrol = std::make_unique<cAmpcontrol>(*o.settings);
    g_Ampcontrol = o.ampcontrol.get();
    o.syncThread = std::make_unique<cSyncThread>(*o.status, *o.ampcontrol, *o.settings);
    g_SyncThread = o.syncThread.get();
    WireSharedObjects(o);
}

bool IsClipListButton(int32_t id) {
    return id == 105 || id == 2;
}

bool IsTcEntryButton(int32_t id) {
    return id == kTcEntryOk || id == kTcEntryCancel;
}

}  // namespace

Application MakeApplication(int argc, char** argv) {
    Application app;
    app.createSharedObjects = CreateSharedObjects;
    app.commandLine = CommandLineText(argc, argv);
    app.createMainForm = [line = app.commandLine] {
        CreateMainForm();
        StartRemoteControl(line);
    };
    // Remote commands arrive as a thread event of their own; the status
    // thread's tells the remote surface too that the channels changed.
    app.windows["MAIN"] = {[] {
                               DesignMainWindow();
                               DesignRemoteLabel();
                           },
                           [](int32_t id, int32_t code, int32_t value, int32_t& cancel) {
                               if (id == kRemoteEventId && code == EZ_EV_THREAD) {
                                   RemoteControlEvent();
                                   return;
                               }
                               MainWindowEvent(id, code, value, cancel);
                               if (id == EZ_THREADEVENT_ID && code == EZ_EV_THREAD)
                                   RemoteStatusChanged();
                           }};
    // The clip list leaves painting its buttons to the shared painter.
    app.windows["CLIPLIST"] = {
        DesignClipList, [](int32_t id, int32_t code, int32_t value, int32_t& cancel) {
            if (code == EZ_EV_OWNERDRAW && IsClipListButton(id)) {
                PaintButton("cliplist", id, value, EZ_GETTEXT("CLIPLIST", id));
                return;
            }
            ClipListEvent(id, code, value, cancel);
        }};
    app.windows["SETUP"] = {DesignSetupWindow, SetupWindowEvent};
    app.windows["IPADDRESS"] = {DesignAddressDialog, AddressDialogEvent};
    SetSetupWindowOpener(OpenSetupWindow);
    app.windows["TCENTRY"] = {
        DesignTcEntry, [](int32_t id, int32_t code, int32_t value, int32_t& cancel) {
            if (code == EZ_EV_OWNERDRAW && IsTcEntryButton(id)) {
                PaintButton(kTcEntryForm, id, value, EZ_GETTEXT(kTcEntryForm, id));
                return;
            }
            TcEntryEvent(id, code, value, cancel);
        }};
    return app;
}

int RunTarvolen(int argc, char** argv) {
    return RunApplication(argc, argv, MakeApplication(argc, argv));
}

}  // namespace tarvolen
