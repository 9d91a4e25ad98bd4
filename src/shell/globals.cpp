#include "shell/globals.h"

namespace tarvolen {

cSettings* g_Settings = nullptr;
cTcMath* g_TcMath = nullptr;
cStatus* g_Status = nullptr;
cFormInfo* g_FormInfo = nullptr;
cCliplist* g_Cliplist = nullptr;
cAmpcontrol* g_Ampcontrol = nullptr;
cSyncThread* g_SyncThread = nullptr;

std::atomic<int32_t> g_MainWindowHandle{0};
std::atomic<int32_t> g_AutoRecordInterval{0};
std::atomic<int32_t> g_CommandLineAutoRecord{0};
std::atomic<int32_t> g_StepMode{0};

}  // namespace tarvolen
