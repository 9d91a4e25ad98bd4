#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "shell/settings.h"
#include "temp_dir.h"

namespace tarvolen {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// Sets or unsets one environment variable for the life of the guard.
class Env {
  public:
    Env(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Env() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class SettingsLocation : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir_.File("usr/bin"));
        fs::create_directories(dir_.File("usr/share/tarvolen"));
        fs::create_directories(dir_.File("build/bin"));
    }
    std::string Installed() const { return dir_.File("usr/bin/tarvolen"); }
    TempDir dir_;
};

TEST_F(SettingsLocation, InstalledUsesConfigFolderACopyItsOwnFolder) {
    struct Case {
        std::string program;
        const char* xdg;
        const char* home;
        std::string settings;
    };
    const std::string build = dir_.File("build/bin/tarvolen");
    const Case cases[] = {
        {Installed(), "/cfg", "/home/op", "/cfg/tarvolen/tarvolen.ini"},
        {Installed(), "/cfg/", "/home/op", "/cfg/tarvolen/tarvolen.ini"},
        {Installed(), nullptr, "/home/op", "/home/op/.config/tarvolen/tarvolen.ini"},
        {Installed(), "", "/home/op", "/home/op/.config/tarvolen/tarvolen.ini"},
        // A relative XDG_CONFIG_HOME is to be ignored.
        {Installed(), "cfg", "/home/op", "/home/op/.config/tarvolen/tarvolen.ini"},
        // A build's bin/ has no share/tarvolen beside it.
        {build, "/cfg", "/home/op", dir_.File("build/bin/tarvolen.ini")},
        {dir_.File("usr/share/tarvolen/TarVolen"), "/cfg", "/home/op",
         dir_.File("usr/share/tarvolen/tarvolen.ini")},
    };
    for (const Case& c : cases) {
        Env xdg("XDG_CONFIG_HOME", c.xdg);
        Env home("HOME", c.home);
        EXPECT_EQ(cSettings::SettingsFileFor(c.program), c.settings)
            << c.program << " XDG_CONFIG_HOME=" << (c.xdg ? c.xdg : "(unset)");
    }
    EXPECT_EQ(cSettings::InstalledDataDirFor(Installed()), dir_.File("usr/share/tarvolen"));
    EXPECT_EQ(cSettings::InstalledDataDirFor(build), "");

    // Without HOME, the home of the password database (root's too).
    Env xdg("XDG_CONFIG_HOME", nullptr);
    Env home("HOME", nullptr);
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(cSettings::SettingsFileFor(Installed()),
              std::string(pw->pw_dir) + "/.config/tarvolen/tarvolen.ini");
}

TEST_F(SettingsLocation, InstalledProgramCreatesPrivateFolderOnFirstSaveAndReadsItBack) {
    const std::string config = dir_.File("home/.config");
    Env xdg("XDG_CONFIG_HOME", config.c_str());
    {
        cSettings s(Installed());
        EXPECT_FALSE(fs::exists(dir_.File("home"))) << "nothing is written before a save";
        s.SetChannelName(3, "Studio B");
        ASSERT_TRUE(s.SaveSettings());
    }
    struct stat st {};
    ASSERT_EQ(::stat((config + "/tarvolen").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(cSettings(Installed()).ChannelName(3), "Studio B");
    EXPECT_FALSE(fs::exists(dir_.File("usr/bin/tarvolen.ini")));
}

}  // namespace
}  // namespace tarvolen
