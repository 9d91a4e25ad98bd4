#include "shell/app.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "shell/globals.h"
#include "shell/instance_lock.h"
#include "shell/settings.h"
#include "shell/shared_routines.h"
#include "shell/text.h"
#include "shell/toolkit.h"

namespace tarvolen {
namespace {

struct FontDef {
    int32_t slot;
    const char* face;
    double points;
    const char* props;
};

constexpr FontDef kFonts[] = {
    {6, "Arial", 10, "V"},         {7, "Arial", 12, "BV"},        {8, "Arial", 10, "BV"},
    {9, "Webdings", 24, "L+SV"},   {10, "Tahoma", 10, "B"},       {11, "Tahoma", 11, "B"},
    {12, "Tahoma", 11, "BI"},      {13, "Arial", 13, "BV"},       {14, "Arial", 9, "BV"},
    {15, "Tahoma", 18, ""},        {16, "Tahoma", 10, "BC"},      {17, "Arial", 11, "V"},
    {18, "Arial", 10, "IBV"},      {19, "Webdings", 11, "L+SV"},  {20, "Courier", 10, ""},
    {21, "Arial", 8, "V"},         {22, "Webdings", 14, "L+SV"},  {23, "Wingdings", 12, "L+SV"},
    {24, "Wingdings", 18, "L+SV"}, {25, "Webdings", 12, "BL+SV"}, {26, "Wingdings", 13, "L+SV"},
    {27, "Arial", 8, "BV"},        {28, "Symbol", 13, "BV"},      {29, "Arial", 13, "V"},
    {30, "Arial", 10, "V"},
};

// The toolkit's own dialogs and the application pseudo-form: recognised, ignored.
constexpr const char* kBuiltInForms[] = {"{OPENDLG}",  "{SAVEDLG}",  "{OPENDLGX}", "{SAVEDLGX}",
                                         "{COLORDLG}", "{FONTDLG}",  "{PRINTDLG}", "{PAGEDLG}",
                                         "{FINDDLG}",  "{ABORTDLG}", "{MSGBOX}",   "{APP}"};

Application& App() {
    static Application app;
    return app;
}

std::function<void(int)>& EndHook() {
    static std::function<void(int)> hook;
    return hook;
}

// Held for the life of the process; the kernel lets go when it ends.
std::optional<InstanceLock>& Lock() {
    static std::optional<InstanceLock> lock;
    return lock;
}

bool PreFilter(const std::string&, int32_t, int32_t, int32_t, int32_t&) {
    return false;
}

// The settings file as the trace and --help name it.
std::string SettingsFileInUse() {
    const std::string path = cSettings::SettingsFileFor(cSettings::ProgramPath());
    return path.empty() ? "none (no home folder): nothing is saved" : path;
}

}  // namespace

void InstallApplication(Application app) {
    App() = std::move(app);
}

void DefineProgramFonts(int32_t first, int32_t last) {
    for (const FontDef& f : kFonts) {
        if (f.slot >= first && f.slot <= last) EZ_DEFFONT(f.slot, f.face, f.points, f.props);
    }
}

void DefineProgramColors() {
    EZ_DEFSYSTEMCOLOR(32, 4);
    EZ_DEFSYSTEMCOLOR(33, 5);
    EZ_DEFSYSTEMCOLOR(34, 15);
    EZ_DEFSYSTEMCOLOR(35, 24);
    EZ_DEFCOLOR(36, 255, 111, 185);
    EZ_DEFCOLOR(37, 159, 171, 20);
    EZ_DEFCOLOR(38, 255, 167, 71);
    EZ_DEFCOLOR(39, 207, 170, 210);
    EZ_DEFCOLOR(40, 227, 213, 28);
    EZ_DEFCOLOR(41, 67, 137, 188);
    EZ_DEFCOLOR(42, 183, 106, 108);
    EZ_DEFCOLOR(43, 137, 68, 221);
}

int32_t AutoRecordFromCommandLine(std::string_view commandLine) {
    const int32_t seconds = CommandLineAutoRecord(commandLine);
    if (ToLower(commandLine).find("autorec=") == std::string::npos) return 0;
    if (seconds >= 1 && seconds <= kLongestAutoRecord) return seconds;
    // A negative interval or one whose milliseconds overflow the timer would
    // leave auto record on with a cycle that never or always fires.
    DebugTrace("autorec=" + std::to_string(seconds) + " is not 1 to " +
               std::to_string(kLongestAutoRecord) + " seconds: auto record uses " +
               std::to_string(kDefaultAutoRecord));
    return kDefaultAutoRecord;
}

std::optional<std::string> InformationRequested(const std::vector<std::string>& args,
                                                std::string_view version) {
    const std::string build =
        "tarvolen " + std::string(version) + " (build " + BuildStringFromDate(BuildDate()) + ")\n";
    for (const std::string& a : args) {
        if (a == "--version") return build;
        if (a != "--help" && a != "-h") continue;
        return "Usage: tarvolen [autorec=SECONDS] [Qt options such as -platform NAME]\n"
               "Drives up to 24 recording channels of a bank of networked video recorders.\n"
               "\n"
               "  autorec=SECONDS  auto record cuts recordings every SECONDS (1 to " +
               std::to_string(kLongestAutoRecord) + ",\n" + "                   default " +
               std::to_string(kDefaultAutoRecord) +
               "), in any letter case\n"
               "  --help, -h       show this text\n"
               "  --version        show the version\n"
               "\n"
               "Settings file: " +
               SettingsFileInUse() +
               "\n"
               "\n"
               "Environment:\n"
               "  XDG_CONFIG_HOME           where an installed controller keeps "
               "tarvolen/tarvolen.ini\n"
               "  TARVOLEN_TRACE=1          the debug trace on standard error\n"
               "  TARVOLEN_RECORDER_PORT=N  the recorders' port (default 7380)\n"
               "  TARVOLEN_INSTANCE=NAME    another single-instance lock name\n"
               "  TARVOLEN_MSGBOX_ANSWER=N  answer every message box with button N\n" +
               build;
    }
    return std::nullopt;
}

bool ShellStart() {
    const std::string settings = cSettings::SettingsFileFor(cSettings::ProgramPath());
    DebugTrace("settings file: " + SettingsFileInUse());
    InstanceLock lock = InstanceLock::Acquire(InstanceLock::Name(), settings);
    if (lock.Status() == InstanceStatus::kFailed) {
        // Without the lock two controllers could drive the same recorders:
        // stop, and say why, so the operator can clear the way.
        DebugTrace("single-instance lock: " + lock.Error());
        EZ_MSGBOXEX("", "TarVolen cannot take its single-instance lock:|" + lock.Error(),
                    "TarVolen", "&Ok", "", 7, 8);
        return false;
    }
    if (lock.Status() == InstanceStatus::kAlreadyRunning) {
        EZ_MSGBOXEX("", "TarVolen is already running", "TarVolen", "&Ok", "", 7, 8);
        return false;
    }
    Lock().emplace(std::move(lock));

    if (App().createSharedObjects) App().createSharedObjects();
    DefineProgramFonts(10, 30);
    g_CommandLineAutoRecord = AutoRecordFromCommandLine(App().commandLine);
    return true;
}

void ApplicationStart(int32_t) {
    EZ_DEFIMAGEFOLDER("");
    EZ_ALLOWCOMMANDEVENTS(1);
    EZ_ALLOWNOTIFYEVENTS(1);
    EZ_ALLOWKEYEVENTS(2);
    EZ_ALLOWMOUSEMOVEEVENTS(1);
    EZ_ALLOWCURSOREVENTS(1);
    DefineProgramFonts(6, 9);
    DefineProgramColors();
    if (!ShellStart()) return;
    if (App().createMainForm) App().createMainForm();
}

void ApplicationDesign(const std::string& form) {
    if (form == "{MSGBOX}") {
        EZ_SETFONT(form, 100, 29);
        double width = 0, height = 0;
        EZ_GETSIZE(form, width, height, 0);
        EZ_TURTLEPICTURE(1000, "V1;U1;G20,32,3;", 0, 0, width, height, "");
        return;
    }
    auto it = App().windows.find(form);
    if (it != App().windows.end() && it->second.design) it->second.design();
}

void ApplicationEvent(const std::string& form, int32_t id, int32_t code, int32_t value,
                      int32_t& cancel) {
    if (PreFilter(form, id, code, value, cancel)) return;
    auto it = App().windows.find(ToUpper(form));
    if (it != App().windows.end()) {
        if (it->second.event) it->second.event(id, code, value, cancel);
        return;
    }
    for (const char* builtIn : kBuiltInForms) {
        if (EqualsNoCase(form, builtIn)) return;
    }
}

std::string CommandLineText(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

int RunApplication(int argc, char** argv, Application app) {
    if (app.commandLine.empty()) app.commandLine = CommandLineText(argc, argv);
    InstallApplication(std::move(app));
    return EZ_GUIRUN(argc, argv, ApplicationStart, ApplicationEvent, ApplicationDesign);
}

void EndProcess(int code) {
    if (EndHook()) {
        EndHook()(code);
        return;
    }
    std::fflush(nullptr);
    std::_Exit(code);
}

void SetEndProcessHook(std::function<void(int)> hook) {
    EndHook() = std::move(hook);
}

}  // namespace tarvolen
