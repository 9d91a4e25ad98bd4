// The program-wide references to the shared objects and the few program-wide
// variables several windows share. The objects are created once at start-up,
// in a fixed order, and live until the process ends.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarvolen {

class cSettings;
class cTcMath;
class cStatus;
class cFormInfo;
class cCliplist;
class cAmpcontrol;
class cSyncThread;

extern cSettings* g_Settings;
extern cTcMath* g_TcMath;
extern cStatus* g_Status;
extern cFormInfo* g_FormInfo;
extern cCliplist* g_Cliplist;
extern cAmpcontrol* g_Ampcontrol;
extern cSyncThread* g_SyncThread;

// Toolkit handle of form "main"; read by the status thread.
extern std::atomic<int32_t> g_MainWindowHandle;
// 0: auto record off; otherwise the auto-record timer interval.
extern std::atomic<int32_t> g_AutoRecordInterval;
// The interval "autorec=" gave on the command line; 0 when not given.
extern std::atomic<int32_t> g_CommandLineAutoRecord;
// Step mode of the main window: rewind and fast forward step one frame.
extern std::atomic<int32_t> g_StepMode;

}  // namespace tarvolen
