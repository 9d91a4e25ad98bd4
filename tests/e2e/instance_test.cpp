// Two real controller processes: only one runs at a time whatever their
// environments say, and a killed one never blocks the next start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shell/instance_lock.h"
#include "shell/settings.h"
#include "tests/e2e/process.h"

namespace {

using namespace std::chrono_literals;
using tarvolen::e2e::ChildProcess;

std::string Instance() {
    return "TarVolenInstanceTest" + std::to_string(::getpid());
}

std::vector<std::string> Environment(std::vector<std::string> extra = {}) {
    std::vector<std::string> env = {"TARVOLEN_INSTANCE=" + Instance(), "QT_QPA_PLATFORM=offscreen",
                                    // "&No" to the connect question: nothing here needs recorders.
                                    "TARVOLEN_MSGBOX_ANSWER=2", "TARVOLEN_RECORDER_PORT=1"};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

class SingleInstance : public ::testing::Test {
  protected:
    // The children get the environments the cases give them, nothing inherited.
    void SetUp() override { ::unsetenv("XDG_RUNTIME_DIR"); }
    void TearDown() override {
        ::unlink(tarvolen::InstanceLock::LockPath(
                     Instance(), tarvolen::cSettings::SettingsPathFor(TARVOLEN_PROGRAM))
                     .c_str());
    }
};

TEST_F(SingleInstance, SecondCopyIsTurnedAwayAndAKilledCopyDoesNotBlock) {
    ChildProcess first(TARVOLEN_PROGRAM, {}, Environment({"XDG_RUNTIME_DIR=/tmp"}));
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(first.WaitForOutput("Connect to tarvolens?", 20s)) << first.Output();

    // As from ssh or cron: another runtime directory, none, another home.
    for (const std::vector<std::string>& env :
         {std::vector<std::string>{"XDG_RUNTIME_DIR=/dev/shm"}, std::vector<std::string>{},
          std::vector<std::string>{"HOME=/", "TMPDIR=/var/tmp"}}) {
        ChildProcess second(TARVOLEN_PROGRAM, {}, Environment(env));
        EXPECT_TRUE(second.WaitForOutput("TarVolen is already running", 20s)) << second.Output();
        EXPECT_NE(second.Wait(20s), -1) << "the second copy must end by itself";
        EXPECT_EQ(second.Output().find("Connect to tarvolens?"), std::string::npos);
        EXPECT_TRUE(first.Running()) << "the first copy must be left running";
    }

    first.Kill(SIGKILL);
    first.Wait(5s);
    ChildProcess third(TARVOLEN_PROGRAM, {}, Environment());
    EXPECT_TRUE(third.WaitForOutput("Connect to tarvolens?", 20s)) << third.Output();
    EXPECT_EQ(third.Output().find("already running"), std::string::npos);
}

}  // namespace
