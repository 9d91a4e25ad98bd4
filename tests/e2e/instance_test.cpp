// Two real controller processes: only one runs at a time, and a killed one
// never blocks the next start.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/process.h"

namespace {

using namespace std::chrono_literals;
using tarvolen::e2e::ChildProcess;

std::vector<std::string> Environment() {
    return {"TARVOLEN_INSTANCE=TarVolenInstanceTest" + std::to_string(::getpid()),
            "QT_QPA_PLATFORM=offscreen",
            // "&No" to the connect question: nothing here needs recorders.
            "TARVOLEN_MSGBOX_ANSWER=2", "TARVOLEN_RECORDER_PORT=1"};
}

TEST(SingleInstance, SecondCopyIsTurnedAwayAndAKilledCopyDoesNotBlock) {
    ChildProcess first(TARVOLEN_PROGRAM, {}, Environment());
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(first.WaitForOutput("Connect to tarvolens?", 20s)) << first.Output();

    ChildProcess second(TARVOLEN_PROGRAM, {}, Environment());
    EXPECT_TRUE(second.WaitForOutput("TarVolen is already running", 20s)) << second.Output();
    EXPECT_NE(second.Wait(20s), -1) << "the second copy must end by itself";
    EXPECT_EQ(second.Output().find("Connect to tarvolens?"), std::string::npos);
    EXPECT_TRUE(first.Running()) << "the first copy must be left running";

    first.Kill(SIGKILL);
    first.Wait(5s);
    ChildProcess third(TARVOLEN_PROGRAM, {}, Environment());
    EXPECT_TRUE(third.WaitForOutput("Connect to tarvolens?", 20s)) << third.Output();
    EXPECT_EQ(third.Output().find("already running"), std::string::npos);
}

}  // namespace
