// The polling thread: what each pass asks, when it wakes the main window,
// and that a paused thread never talks to the device library.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "device_fixture.h"

namespace tarvolen::test {
namespace {

class SyncPasses : public DeviceTest {
  protected:
    SyncPasses() {
        sync.SetWakeUp([this] { ++wakes; });
        ConnectQuietly();
    }
    std::atomic<int> wakes{0};
};

TEST_F(SyncPasses, OnlyAChangeWakesTheMainWindow) {
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Play", "1"}}})));
    EXPECT_TRUE(sync.Pass());
    EXPECT_EQ(wakes, 1);
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Play", "1"}}})));
    EXPECT_TRUE(sync.Pass());
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(sync.SyncThreadBusy(), 0);
}

TEST_F(SyncPasses, SuspendedOrDisconnectedPassesDoNothing) {
    sync.SetSuspendSync(1);
    EXPECT_FALSE(sync.Pass());
    sync.SetSuspendSync(0);
    amp.Disconnect();
    device->ClearCalls();
    EXPECT_FALSE(sync.Pass());
    EXPECT_TRUE(device->Calls().empty());
}

// A scripted library that says when its answers change, as the link does.
class TellingDevice : public ScriptedDevice {
  public:
    bool WatchStatus(std::function<void()> wake) override {
        std::lock_guard lock(mu_);
        wake_ = std::move(wake);
        return true;
    }
    bool Watched() {
        std::lock_guard lock(mu_);
        return bool(wake_);
    }
    void Change() {
        std::lock_guard lock(mu_);
        if (wake_) wake_();
    }

  private:
    std::mutex mu_;
    std::function<void()> wake_;
};

template <typename Pred>
bool WaitFor(Pred pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pred();
}

// The status thread running on a library that tells of changes, after its
// first pass; passes counts them.
class WatchedPasses : public SyncPasses {
  protected:
    std::shared_ptr<TellingDevice> LaunchWatched() {
        auto telling = std::make_shared<TellingDevice>();
        InstallAmpLibrary(telling);
        sync.SetPassHook([this](bool) { ++passes; });
        sync.Launch(0);
        EXPECT_TRUE(WaitFor([&] { return passes.load() == 1 && telling->Watched(); }));
        return telling;
    }
    std::atomic<int> passes{0};
};

// Nothing polls what is pushed: one pass at the start, then one per change
// or resume, none in between; a change while paused waits for the resume.
TEST_F(WatchedPasses, ALibraryThatTellsOfChangesIsNotPolled) {
    auto telling = LaunchWatched();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(passes.load(), 1) << "passes with nothing changed";

    telling->Change();
    ASSERT_TRUE(WaitFor([&] { return passes.load() == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(passes.load(), 2) << "passes after one change";

    sync.SetSuspendSync(1);
    telling->Change();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(passes.load(), 2) << "a pass while paused";
    sync.SetSuspendSync(0);
    EXPECT_TRUE(WaitFor([&] { return passes.load() == 3; }));

    sync.SetKillThread(1);
    EXPECT_TRUE(WaitFor([&] { return sync.ThreadDead() != 0; }));
    EXPECT_FALSE(telling->Watched());
}

// Passes come only with changes: the clip name of the last change (an
// Eject, say) is still asked though no pass follows it.
TEST_F(WatchedPasses, TheNamesOfTheLastChangeAreAskedWhenThePassesStop) {
    settings.SetTrackLines(3);
    auto telling = LaunchWatched();
    telling->ClearCalls();
    telling->Change();
    ASSERT_TRUE(WaitFor([&] { return passes.load() >= 2; }));
    EXPECT_TRUE(WaitFor([&] { return !telling->CallsOf(amp::kClipNames).empty(); }));
    sync.SetKillThread(1);
    EXPECT_TRUE(WaitFor([&] { return sync.ThreadDead() != 0; }));
}

// A library that polls but tells when its running timecodes move on.
class PacedDevice : public ScriptedDevice {
  public:
    std::optional<std::chrono::steady_clock::time_point> NextPass() override {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(40);
    }
};

TEST_F(SyncPasses, PollingPassesComeWhenTheLibrarySaysTheTimecodesMoveOn) {
    InstallAmpLibrary(std::make_shared<PacedDevice>());
    using Clock = std::chrono::steady_clock;
    std::mutex mu;
    std::vector<Clock::time_point> at;
    sync.SetPassHook([&](bool) {
        std::lock_guard lock(mu);
        at.push_back(Clock::now());
    });
    sync.Launch(0);
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard lock(mu);
        return at.size() >= 6;
    }));
    sync.SetKillThread(1);
    EXPECT_TRUE(WaitFor([&] { return sync.ThreadDead() != 0; }));
    for (size_t i = 1; i < at.size(); ++i)
        EXPECT_GE(at[i] - at[i - 1], std::chrono::milliseconds(39)) << "pass " << i;
}

struct CadenceCase {
    int32_t track_lines;
    std::vector<int> clip_passes;  // passes (from 1) that ask for clip names
    std::vector<int> file_passes;  // passes that fetch record file names
};

class Cadence : public SyncPasses, public ::testing::WithParamInterface<CadenceCase> {};

TEST_P(Cadence, ClipNamesEveryTenthPassFilesEveryEleventh) {
    settings.SetTrackLines(GetParam().track_lines);
    settings.SetState(0, "Record");
    settings.SetClipName(0, "Rec");
    // Every pass sees the same recording table, and file lists fail, so each
    // fetch asks again.
    device->SetHandler(amp::kStatus, [](const ScriptedDevice::Call&, void* out) {
        StatusTable t = Table({{0, {"Record", "1"}}});
        std::memcpy(out, &t, sizeof t);
        return 0;
    });
    device->SetDefaultResult(amp::kRecordFileList, 1);
    std::vector<int> clip_passes, file_passes;
    for (int pass = 1; pass <= 66; ++pass) {
        const size_t clips = device->CallsOf(amp::kClipNames).size();
        const size_t files = device->CallsOf(amp::kRecordFileList).size();
        sync.Pass();
        if (device->CallsOf(amp::kClipNames).size() > clips) clip_passes.push_back(pass);
        if (device->CallsOf(amp::kRecordFileList).size() > files) file_passes.push_back(pass);
    }
    EXPECT_EQ(device->CallsOf(amp::kStatus).size(), 66u);
    EXPECT_EQ(clip_passes, GetParam().clip_passes);
    EXPECT_EQ(file_passes, GetParam().file_passes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cadence,
    ::testing::Values(CadenceCase{3, {10, 20, 30, 40, 50, 60}, {11, 22, 33, 44, 55, 66}},
                      CadenceCase{2, {}, {}}));

// The GUI thread pauses and resumes as fast as it can while another thread
// runs passes back to back; every device call the passes make (status, clip
// names and record file lists) is checked against the GUI thread's claim
// that polling is paused.
TEST_F(SyncPasses, PauseHandshakeKeepsThePollerOutOfTheDeviceLibrary) {
    amp.SetSyncThread(&sync);
    amp.SetClock(&DeviceClock::Real());
    settings.SetTrackLines(3);
    settings.SetClipName(0, "Rec");
    std::atomic<bool> gui_owns_device{false};
    std::atomic<int> violations{0};
    std::map<int32_t, std::atomic<int>> calls;
    for (int32_t code : {amp::kStatus, amp::kClipNames, amp::kRecordFileList}) calls[code] = 0;
    std::atomic<bool> stop{false};
    auto watch = [&](int32_t code, int32_t result, auto&& answer) {
        device->SetHandler(code, [&, code, result, answer](const ScriptedDevice::Call&, void* out) {
            if (gui_owns_device.load()) ++violations;
            ++calls[code];
            // A little work inside the library widens any window there is.
            std::this_thread::yield();
            if (gui_owns_device.load()) ++violations;
            answer(out);
            return result;
        });
    };
    // Channel 0 records, so passes also ask for clip names and file lists;
    // the file lists fail, so every eleventh pass asks again.
    watch(amp::kStatus, 0, [&](void* out) {
        StatusTable t = Table({{0, {"Record", std::to_string(calls[amp::kStatus].load())}}});
        std::memcpy(out, &t, sizeof t);
    });
    watch(amp::kClipNames, 0, [](void*) {});
    watch(amp::kRecordFileList, 1, [](void*) {});
    std::thread poller([&] {
        while (!stop.load()) sync.Pass();
    });
    int pauses = 0;
    while (pauses < 3000 || calls[amp::kClipNames].load() < 3 ||
           calls[amp::kRecordFileList].load() < 3) {
        amp.PauseStatusThread();
        gui_owns_device.store(true);
        std::this_thread::yield();
        gui_owns_device.store(false);
        sync.SetSuspendSync(0);
        ++pauses;
        // Now and then the poller gets a moment, so pauses also land while a
        // pass is asking for clip names or file lists.
        if (pauses % 4 == 0) std::this_thread::sleep_for(std::chrono::microseconds(pauses % 97));
        if (pauses > 200000) break;
    }
    stop.store(true);
    poller.join();
    EXPECT_EQ(violations.load(), 0);
    for (const auto& [code, n] : calls) EXPECT_GT(n.load(), 0) << "code " << code;
}

}  // namespace
}  // namespace tarvolen::test
