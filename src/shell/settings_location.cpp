// Where the settings file lives. A copy run from a folder of its own keeps it
// beside itself; an installed program cannot write its system folder, so each
// user gets a file in their configuration folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "shell/settings.h"

namespace tarvolen {

namespace {

namespace fs = std::filesystem;

bool Absolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

// $XDG_CONFIG_HOME, else ~/.config; relative values are ignored as the base
// directory rules ask.
fs::path ConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); Absolute(xdg)) return xdg;
    if (const char* home = std::getenv("HOME"); Absolute(home)) return fs::path(home) / ".config";
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        Absolute(found->pw_dir)) {
        return fs::path(found->pw_dir) / ".config";
    }
    return {};
}

}  // namespace

std::string cSettings::InstalledDataDirFor(std::string_view program_path) {
    const fs::path dir = fs::path(program_path).parent_path();
    if (dir.filename() != "bin") return {};
    const fs::path data = dir.parent_path() / "share" / "tarvolen";
    std::error_code ec;
    return fs::is_directory(data, ec) ? data.string() : std::string();
}

std::string cSettings::SettingsFileFor(std::string_view program_path) {
    if (InstalledDataDirFor(program_path).empty()) return SettingsPathFor(program_path);
    const fs::path home = ConfigHome();
    return home.empty() ? std::string() : (home / "tarvolen" / "tarvolen.ini").string();
}

}  // namespace tarvolen
