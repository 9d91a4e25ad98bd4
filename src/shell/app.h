// The application shell: the toolkit's three callbacks, the single-instance
// check, the program fonts and colours, and dispatch of every toolkit event
// to the handler of the window it belongs to.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolen {

struct WindowHandlers {
    std::function<void()> design;
    std::function<void(int32_t id, int32_t code, int32_t value, int32_t& cancel)> event;
};

// What the program plugs into the shell.
struct Application {
    // Creates the seven shared objects in their fixed order and sets the
    // program-wide references.
    std::function<void()> createSharedObjects;
    // Window handlers by form name as created ("MAIN", "CLIPLIST", ...).
    std::map<std::string, WindowHandlers> windows;
    // Creates form "MAIN".
    std::function<void()> createMainForm;
    // The command line after the program name.
    std::string commandLine;
};

void InstallApplication(Application app);

// The three toolkit callbacks.
void ApplicationStart(int32_t unused);
void ApplicationEvent(const std::string& form, int32_t id, int32_t code, int32_t value,
                      int32_t& cancel);
void ApplicationDesign(const std::string& form);

// Takes the single-instance lock, creates the shared objects, defines fonts
// 10-30 and reads "autorec=". False when the program must not go on.
bool ShellStart();

// Auto record cuts recordings every this many seconds unless "autorec=" says
// otherwise; the longest usable interval is a day.
inline constexpr int32_t kDefaultAutoRecord = 3600;
inline constexpr int32_t kLongestAutoRecord = 86400;
// The interval "autorec=" gives on the command line: 0 without "autorec=",
// the default (with a trace line) for a value that is not 1 to a day.
int32_t AutoRecordFromCommandLine(std::string_view commandLine);

// The text --help or --version (anywhere among args, the arguments after the
// program name) asks for, or nothing when the program is to start. Answered
// before the toolkit starts, so neither needs a display.
std::optional<std::string> InformationRequested(const std::vector<std::string>& args,
                                                std::string_view version);

void DefineProgramFonts(int32_t first, int32_t last);
void DefineProgramColors();

// Joins arguments 1.. with spaces: the command line after the program name.
std::string CommandLineText(int argc, char** argv);

// Runs the toolkit with the shell's callbacks.
int RunApplication(int argc, char** argv, Application app);

// Ends the process at once with the code; no teardown runs. Tests replace it.
void EndProcess(int code);
void SetEndProcessHook(std::function<void(int)> hook);

}  // namespace tarvolen
