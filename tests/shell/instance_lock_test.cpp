#include "shell/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tarvolen {
namespace {

constexpr const char* kSettings = "/opt/tarvolen/tarvolen.ini";

class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = "TarVolenTest-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::setenv("TARVOLEN_INSTANCE", name_.c_str(), 1);
    }
    void TearDown() override {
        ::unlink(InstanceLock::LockPath(name_, kSettings).c_str());
        ::unsetenv("TARVOLEN_INSTANCE");
    }

    // Status of an acquire made in a separate process, after it changed its
    // environment as a start from ssh or cron would find it.
    static InstanceStatus AcquireInChild(bool otherEnvironment = false) {
        pid_t pid = ::fork();
        if (pid == 0) {
            if (otherEnvironment) {
                ::setenv("XDG_RUNTIME_DIR", "/tmp", 1);
                ::setenv("HOME", "/", 1);
                ::unsetenv("TMPDIR");
            }
            InstanceLock lock = InstanceLock::Acquire(InstanceLock::Name(), kSettings);
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

TEST_F(InstanceLockTest, OneLockPerUserAndSettingsFileWhateverTheEnvironment) {
    const std::string path = InstanceLock::LockPath(name_, kSettings);
    EXPECT_EQ(path.rfind(InstanceLock::LockDirectory() + "/", 0), 0u) << path;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = saved ? saved : "";
    for (const char* dir : {"/run/user/4242", "/tmp", ""}) {
        if (*dir)
            ::setenv("XDG_RUNTIME_DIR", dir, 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("HOME", dir, 1);
        EXPECT_EQ(InstanceLock::LockPath(name_, kSettings), path) << dir;
    }
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_NE(InstanceLock::LockPath(name_, "/opt/other/tarvolen.ini"), path);
    EXPECT_NE(InstanceLock::LockPath("Other", kSettings), path);
}

TEST_F(InstanceLockTest, SecondProcessSeesAlreadyRunningWhateverItsEnvironment) {
    InstanceLock first = InstanceLock::Acquire(InstanceLock::Name(), kSettings);
    ASSERT_EQ(first.Status(), InstanceStatus::kAcquired) << first.Error();
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAlreadyRunning);
    EXPECT_EQ(AcquireInChild(true), InstanceStatus::kAlreadyRunning);
    EXPECT_TRUE(first.Held());  // untouched by the attempts
}

TEST_F(InstanceLockTest, FreeAgainWhenReleased) {
    {
        InstanceLock first = InstanceLock::Acquire(InstanceLock::Name(), kSettings);
        ASSERT_TRUE(first.Held()) << first.Error();
    }
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAcquired);
}

TEST_F(InstanceLockTest, HolderKilledReleasesLock) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        InstanceLock lock = InstanceLock::Acquire(InstanceLock::Name(), kSettings);
        char c = lock.Held() ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(c, 'y');

    EXPECT_EQ(InstanceLock::Acquire(InstanceLock::Name(), kSettings).Status(),
              InstanceStatus::kAlreadyRunning);
    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    InstanceLock next = InstanceLock::Acquire(InstanceLock::Name(), kSettings);
    EXPECT_EQ(next.Status(), InstanceStatus::kAcquired);
}

TEST_F(InstanceLockTest, UncreatableLockFileIsAFailureThatSaysWhy) {
    InstanceLock lock = InstanceLock::AcquireAt("/nonexistent-dir-for-test/x.lock");
    EXPECT_EQ(lock.Status(), InstanceStatus::kFailed);
    EXPECT_EQ(lock.Error(), "/nonexistent-dir-for-test/x.lock: No such file or directory");
    // A name too long for a file name fails the same way, with the reason.
    InstanceLock tooLong = InstanceLock::Acquire(std::string(300, 'x'), kSettings);
    EXPECT_EQ(tooLong.Status(), InstanceStatus::kFailed);
    EXPECT_NE(tooLong.Error().find("File name too long"), std::string::npos) << tooLong.Error();
}

TEST_F(InstanceLockTest, MovedLockStaysHeld) {
    InstanceLock a = InstanceLock::Acquire(name_, kSettings);
    ASSERT_TRUE(a.Held()) << a.Error();
    InstanceLock b = std::move(a);
    EXPECT_TRUE(b.Held());
    EXPECT_EQ(AcquireInChild(), InstanceStatus::kAlreadyRunning);
}

}  // namespace
}  // namespace tarvolen
