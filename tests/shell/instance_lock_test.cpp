#include "shell/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tarvolen {
namespace {

class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = "TarVolenTest-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::setenv("TARVOLEN_INSTANCE", name_.c_str(), 1);
    }
    void TearDown() override {
        ::unlink(InstanceLock::LockPath(name_).c_str());
        ::unsetenv("TARVOLEN_INSTANCE");
    }

    // Status of an acquire made in a separate process.
    static InstanceStatus AcquireInChild() {
        pid_t pid = ::fork();
        if (pid == 0) {
            InstanceLock lock = InstanceLock::Acquire(InstanceLock::Name());
            ::_exit(static_cast<int>(lock.Status()));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return static_cast<InstanceStatus>(WEXITSTATUS(status));
    }

    std::string name_;
};

TEST_F(InstanceLockTest, NameComesFromEnvironment) {
    EXPECT_EQ(InstanceLock::Name(), name_);
    ::unsetenv("TARVOLEN_INSTANCE");
    EXPECT_EQ(InstanceLock::Name(), "TarVolenMcc");
}

TEST_F(InstanceLockTest, SecondProcessSeesAlreadyRunning) {
    InstanceLock first = InstanceLock::Acquire(InstanceLock::Name());
    ASSERT_EQ(first.Status(), InstanceStatus::kAcquired);
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAlreadyRunning);
    EXPECT_TRUE(first.Held());  // untouched by the attempt
}

TEST_F(InstanceLockTest, FreeAgainWhenReleased) {
    {
        InstanceLock first = InstanceLock::Acquire(InstanceLock::Name());
        ASSERT_TRUE(first.Held());
    }
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAcquired);
}

TEST_F(InstanceLockTest, HolderKilledReleasesLock) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        InstanceLock lock = InstanceLock::Acquire(InstanceLock::Name());
        char c = lock.Held() ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(c, 'y');

    EXPECT_EQ(InstanceLock::Acquire(InstanceLock::Name()).Status(),
              InstanceStatus::kAlreadyRunning);
    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    InstanceLock next = InstanceLock::Acquire(InstanceLock::Name());
    EXPECT_EQ(next.Status(), InstanceStatus::kAcquired);
}

TEST_F(InstanceLockTest, UncreatableLockFileIsFailure) {
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-dir-for-test", 1);
    InstanceLock lock = InstanceLock::Acquire(name_);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(lock.Status(), InstanceStatus::kFailed);
}

TEST_F(InstanceLockTest, MovedLockStaysHeld) {
    InstanceLock a = InstanceLock::Acquire(name_);
    ASSERT_TRUE(a.Held());
    InstanceLock b = std::move(a);
    EXPECT_TRUE(b.Held());
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAlreadyRunning);
}

}  // namespace
}  // namespace tarvolen
