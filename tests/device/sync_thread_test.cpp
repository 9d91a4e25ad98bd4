// The polling thread: what each pass asks, when it wakes the main window,
// and that a paused thread never talks to the device library.
#include <thread>

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

struct CadenceCase {
    int32_t track_lines;
    size_t clip_polls;
    size_t file_fetches;
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
    for (int i = 0; i < 33; ++i) sync.Pass();
    EXPECT_EQ(device->CallsOf(amp::kStatus).size(), 33u);
    EXPECT_EQ(device->CallsOf(amp::kClipNames).size(), GetParam().clip_polls);
    EXPECT_EQ(device->CallsOf(amp::kRecordFileList).size(), GetParam().file_fetches);
}

INSTANTIATE_TEST_SUITE_P(Table, Cadence,
                         ::testing::Values(CadenceCase{3, 3, 3}, CadenceCase{2, 0, 0}));

// The GUI thread pauses and resumes as fast as it can while another thread
// runs passes back to back; every device call the passes make is checked
// against the GUI thread's claim that polling is paused.
TEST_F(SyncPasses, PauseHandshakeKeepsThePollerOutOfTheDeviceLibrary) {
    amp.SetSyncThread(&sync);
    amp.SetClock(&DeviceClock::Real());
    std::atomic<bool> gui_owns_device{false};
    std::atomic<int> violations{0};
    std::atomic<int> poller_calls{0};
    std::atomic<bool> stop{false};
    device->SetHandler(amp::kStatus, [&](const ScriptedDevice::Call&, void* out) {
        if (gui_owns_device.load()) ++violations;
        ++poller_calls;
        // A little work inside the library widens any window there is.
        std::this_thread::yield();
        if (gui_owns_device.load()) ++violations;
        StatusTable t = Table({{0, {"Play", std::to_string(poller_calls.load())}}});
        std::memcpy(out, &t, sizeof t);
        return 0;
    });
    std::thread poller([&] {
        while (!stop.load()) sync.Pass();
    });
    int pauses = 0;
    while (pauses < 3000 || poller_calls.load() < 200) {
        amp.PauseStatusThread();
        gui_owns_device.store(true);
        std::this_thread::yield();
        gui_owns_device.store(false);
        sync.SetSuspendSync(0);
        ++pauses;
        if (pauses > 200000) break;
    }
    stop.store(true);
    poller.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_GT(poller_calls.load(), 0);
}

}  // namespace
}  // namespace tarvolen::test
