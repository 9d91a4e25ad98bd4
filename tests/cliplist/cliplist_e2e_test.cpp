// The clip list against an emulated recorder over the real recorder link:
// record two clips, list them, sort, and read one clip's times back.
#include <chrono>
#include <thread>

#include "cliplist_fixture.h"
#include "tests/platform/link_harness.h"

namespace tarvolen::testing {
namespace {

using namespace std::chrono_literals;
using EmulatedBankTest = ClipListTest;

TEST_F(EmulatedBankTest, ListsSortsAndReadsBackRecordedClips) {
    Harness h(1);
    ASSERT_EQ(h.ConnectOnePerRecorder(), 0);
    for (const char* name : {"Older", "Newer"}) {
        ASSERT_EQ(h.Record(0, name), 0);
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(h.Channel(amp::kStop, 0), 0);
        ASSERT_TRUE(h.WaitState(0, "Stop"));
    }
    InstallClipDirLibrary(h.link->ClipDirLibrary());
    Channel(0, h.addresses[0], "Cam");
    settings_->SetClipName(0, "Newer");
    cliplist_->ConnectDirectory();

    OpenList(0);
    ASSERT_EQ(EZ_GETLVCOUNT(kClipListForm, kClipListView), 2);
    EXPECT_EQ(EZ_GETLVITEMTEXT(kClipListForm, kClipListView,
                               EZ_GETLVSEL(kClipListForm, kClipListView), 0),
              "Newer");

    // Start timecode, descending (click it twice): the newer clip first.
    qt::DeliverEvent("ClipList", kClipListView, EZ_EV_HEADERCLICK, 1);
    qt::DeliverEvent("ClipList", kClipListView, EZ_EV_HEADERCLICK, 1);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Newer", "Older"}));
    EXPECT_EQ(Column(1)[1], "01:00:00;00");

    EZ_SETLVSEL(kClipListForm, kClipListView, 1);
    std::string start = EZ_GETLVITEMTEXT(kClipListForm, kClipListView, 1, 1);
    std::string duration = EZ_GETLVITEMTEXT(kClipListForm, kClipListView, 1, 2);
    qt::DeliverEvent("ClipList", kClipListLoadButton, EZ_EV_CLICK, 0);
    EXPECT_EQ(loadedRow_, 1);
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));

    // What the command layer asks when it loads the clip by name.
    EXPECT_EQ(cliplist_->GetClipTimes("Older"), start + "|" + duration);
    EXPECT_EQ(pauses_, resumes_);
    cliplist_->DisconnectDirectory();
}

}  // namespace
}  // namespace tarvolen::testing
