// The Debian package as an operator gets it: unpacked into a scratch root,
// its controller driving its emulated bank under Qt's offscreen platform,
// with the settings in the user's configuration folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/e2e/process.h"
#include "tests/shell/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarvolen::e2e::ChildProcess;
using tarvolen::testing::ReadFile;
using tarvolen::testing::TempDir;
using tarvolen::testing::WriteFile;

// The newest package scripts/package left, or empty.
std::string PackageFile() {
    std::error_code ec;
    fs::path newest;
    for (const auto& entry : fs::directory_iterator(TARVOLEN_PACKAGE_DIR, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("tarvolen_", 0) != 0 || entry.path().extension() != ".deb") continue;
        if (newest.empty() || fs::last_write_time(entry) > fs::last_write_time(newest))
            newest = entry.path();
    }
    return newest.string();
}

// Standard output of a shell command.
std::string StandardOutput(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

TEST(Package, InstalledControllerDrivesInstalledBankAndKeepsSettingsInConfigFolder) {
    const std::string deb = PackageFile();
    if (deb.empty()) {
        // CI builds the package first; a developer's run may not have.
        if (std::getenv("CI") != nullptr) FAIL() << "no package in " TARVOLEN_PACKAGE_DIR;
        GTEST_SKIP() << "no package in " TARVOLEN_PACKAGE_DIR << ": scripts/package builds it";
    }
    TempDir scratch;
    const std::string root = scratch.File("root");
    ASSERT_EQ(std::system(("dpkg -x '" + deb + "' '" + root + "'").c_str()), 0) << deb;
    const std::string controller = root + "/usr/bin/tarvolen";
    const std::string recorder = root + "/usr/bin/tarvolen-recorder";
    const std::string config = scratch.File("config");
    const std::string settings = config + "/tarvolen/tarvolen.ini";

    EXPECT_NE(StandardOutput(controller + " --version").find("tarvolen " TARVOLEN_VERSION),
              std::string::npos);
    EXPECT_NE(StandardOutput(recorder + " --version").find("tarvolen-recorder " TARVOLEN_VERSION),
              std::string::npos);
    const std::string help =
        StandardOutput("XDG_CONFIG_HOME=" + config + " " + controller + " --help");
    EXPECT_NE(help.find("Settings file: " + settings), std::string::npos) << help;
    EXPECT_NE(help.find("autorec="), std::string::npos) << help;

    const std::string journal = scratch.File("journal.jsonl");
    ChildProcess bank(recorder, {"--bank", "127.0.0.101-124", "--port", "0", "--journal", journal},
                      {});
    ASSERT_TRUE(bank.WaitForOutput(" each\n", 20s)) << bank.Output();
    const size_t at = bank.Output().find("on port ");
    ASSERT_NE(at, std::string::npos) << bank.Output();
    const std::string port = std::to_string(std::atoi(bank.Output().c_str() + at + 8));

    const std::string go = scratch.File("go");
    ChildProcess tarvolen(
        controller, {},
        {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config, "TARVOLEN_TRACE=1",
         "TARVOLEN_MSGBOX_ANSWER=1", "TARVOLEN_RECORDER_PORT=" + port,
         "TARVOLEN_INSTANCE=PackageTest" + std::to_string(::getpid()),
         "LD_PRELOAD=" TARVOLEN_PRESS_SETUP_OK, "TARVOLEN_TEST_GO=" + go});
    ASSERT_TRUE(tarvolen.WaitForOutput("settings file: " + settings, 20s)) << tarvolen.Output();
    EXPECT_FALSE(fs::exists(config)) << "nothing is written before the first save";

    // Every recorder of the bank, the last one included, sees the controller connect.
    const auto connected = [&] {
        return ReadFile(journal).find(
                   R"("address":"127.0.0.124","channel":0,"request":"connect")") !=
               std::string::npos;
    };
    ASSERT_TRUE(WaitFor(connected, 60s)) << tarvolen.Output() << ReadFile(journal);

    WriteFile(go, "");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(settings); }, 60s)) << tarvolen.Output();
    const std::string saved = ReadFile(settings);
    EXPECT_NE(saved.find("23=127.0.0.124"), std::string::npos) << saved;
    struct stat st {};
    ASSERT_EQ(::stat((config + "/tarvolen").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a user's settings folder is private";
    EXPECT_FALSE(fs::exists(root + "/usr/bin/tarvolen.ini")) << "nothing in the system folder";
    EXPECT_TRUE(tarvolen.Running()) << tarvolen.Output();
}

}  // namespace
