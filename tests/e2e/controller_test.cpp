// The whole controller in this process: the real Qt backend on the offscreen
// platform, the real recorder link, and a bank of 24 emulated recorders on
// loopback. Each test starts the program afresh.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "../mouse.h"
#include "../windows/while_open.h"
#include "cliplist/cliplist.h"
#include "device/amp_control.h"
#include "device/status.h"
#include "platform/qt/qt_seam.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/instance_lock.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "whole_program.h"
#include "windows/main_window.h"
#include "windows/program.h"

namespace {

using namespace tarvolen;
using namespace std::chrono_literals;

using tarvolen::testing::Address;

class ControllerTest : public tarvolen::testing::WholeProgramTest {
  protected:
    void Click(int32_t id) { qt::DeliverEvent("MAIN", id, EZ_EV_CLICK, 0); }
    // A real mouse click on a button of the strip.
    void Press(int32_t id) {
        QWidget* button = qt::ControlWidget("MAIN", id);
        ASSERT_NE(button, nullptr);
        tarvolen::testing::ClickAt(button, button->rect().center());
    }

    bool AllEmulated(const std::string& state) {
        for (int ch = 0; ch < 24; ++ch) {
            auto view = bank->Channel(Address(ch), 1);
            if (!view || view->state != state) return false;
        }
        return true;
    }
    bool AllRows(const std::string& state) {
        for (int ch = 0; ch < 24; ++ch) {
            if (g_Settings->State(ch).rfind(state, 0) != 0) return false;
        }
        return true;
    }
    int JournalCount(const std::string& request) {
        int n = 0;
        for (const auto& e : bank->Journal()) n += e.request == request && e.outcome == "ok";
        return n;
    }
};

TEST_F(ControllerTest, RecordsAndStopsEveryChannelFromTheButtons) {
    EXPECT_EQ(questions.front(), "|Connect to tarvolens?");

    Click(140);  // record
    EXPECT_TRUE(AllEmulated("Record"));
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    std::string before = g_Settings->Timecode(0);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->Timecode(0) != before; }, 3s))
        << "the timecode of a recording channel runs";
    qt::Grab("MAIN").save("e2e_main_recording.png");

    Click(125);  // stop
    EXPECT_TRUE(AllEmulated("Stop"));
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    qt::Grab("MAIN").save("e2e_main_idle.png");
}

TEST_F(ControllerTest, LoadLastClipLoadsEachChannelsLastRecording) {
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    // The status thread learns each channel's clip name while it records.
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (int ch = 0; ch < 24; ++ch) {
                if (g_Settings->LastClip(ch).empty()) return false;
            }
            return true;
        },
        5s));
    Click(125);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    Click(165);  // Load Last
    // A recorder slowed down (a sanitizer, a busy host) may carry out its
    // load after the controller stopped waiting for the answer.
    EXPECT_TRUE(PumpUntil([&] { return JournalCount("LOAD") == 24; })) << JournalCount("LOAD");
    for (int ch = 0; ch < 24; ++ch) {
        auto clips = bank->Clips(Address(ch));
        ASSERT_FALSE(clips.empty());
        auto view = bank->Channel(Address(ch), 1);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->clip, clips.back().name) << "channel " << ch;
    }
}

TEST_F(ControllerTest, StepModeStepsOneFrameBackAndForward) {
    Click(160);  // step mode on
    EXPECT_FALSE(EZ_ISVISIBLE("MAIN", 140));
    EXPECT_TRUE(EZ_ISVISIBLE("MAIN", 115));
    qt::Grab("MAIN").save("e2e_main_step.png");
    Click(135);
    Click(115);
    int steps = 0;
    for (const auto& e : bank->Journal()) steps += e.request == "STEP";
    EXPECT_EQ(steps, 48);
    EXPECT_EQ(JournalCount("WIND"), 0);
    Click(160);  // and off again
    EXPECT_TRUE(EZ_ISVISIBLE("MAIN", 140));
}

TEST_F(ControllerTest, AutoRecordCycleStopsWaitsAndRecordsAgain) {
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    int records = JournalCount("RECORD");
    g_CommandLineAutoRecord = 1;  // one-second segments
    qt::DeliverEvent("MAIN", 180, EZ_EV_RIGHTCLICK, 0);
    EXPECT_EQ(questions.back(), "|Turn On Auto Record?");
    EXPECT_EQ(g_AutoRecordInterval.load(), 1);
    // One cycle: stop, about ten seconds of waiting, record.
    ASSERT_TRUE(PumpUntil([&] { return JournalCount("STOP") >= 24; }, 5s));
    ASSERT_TRUE(PumpUntil([&] { return JournalCount("RECORD") >= records + 24; }, 20s));
    EXPECT_TRUE(AllEmulated("Record"));
    qt::DeliverEvent("MAIN", 180, EZ_EV_RIGHTCLICK, 0);
    EXPECT_EQ(questions.back(), "|Turn Off Auto Record?");
    EXPECT_EQ(g_AutoRecordInterval.load(), 0);
}

TEST_F(ControllerTest, KilledRecorderShowsLosWithoutFreezingTheWindow) {
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    bank->StopRecorder(Address(5));
    // The window keeps handling events while the recorder is gone: the row
    // changes through the normal thread event and redraw.
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(5) == "Los"; }, 3s))
        << g_Settings->State(5);
    Click(125);  // a command to the lost recorder fails at once, the others stop
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(4).rfind("Stop", 0) == 0; }));
    Click(140);
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(4).rfind("Record", 0) == 0; }));
    bank->StartRecorder(Address(5));
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(5) != "Los"; }, 5s));
}

// Silence, garbage, an over-long payload and a close in mid-frame on five
// recorders while all record: their channels go "Los" and are unchecked,
// come back recording and checked, and Stop reaches all 24.
TEST_F(ControllerTest, StopReachesEveryChannelAfterTransientFaults) {
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    bool unchecked[5] = {};
    auto seenUnchecked = [&](int from, int to) {
        return PumpUntil(
            [&] {
                bool all = true;
                for (int ch = from; ch <= to; ++ch) {
                    unchecked[ch] = unchecked[ch] || !g_Settings->Checked(ch);
                    all = all && unchecked[ch];
                }
                return all;
            },
            10s);
    };
    auto never = [&] {
        std::string list;
        for (int ch = 0; ch < 5; ++ch)
            if (!unchecked[ch]) list += " " + std::to_string(ch + 1);
        return list;
    };
    // These are back within a few hundred milliseconds. They go first: a
    // status pass that waits out its bound on a silent recorder could
    // otherwise span their whole absence.
    bank->SendRaw(Address(2), "\x01\xfe garbage\n");
    bank->SendOversize(Address(3));
    bank->CutConnections(Address(4));
    EXPECT_TRUE(seenUnchecked(2, 4)) << "the check box follows the device away; never:" << never();
    bank->SetSilent(Address(0), true);
    bank->SetMute(Address(1), true);
    EXPECT_TRUE(seenUnchecked(0, 1)) << "the check box follows the device away; never:" << never();
    bank->SetSilent(Address(0), false);
    bank->SetMute(Address(1), false);
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (int ch = 0; ch < 24; ++ch)
                if (!g_Settings->Checked(ch)) return false;
            return AllRows("Record");
        },
        10s))
        << "and back";
    Click(125);
    EXPECT_TRUE(PumpUntil([&] { return AllEmulated("Stop"); }));
    EXPECT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
}

// Record reaches every recorder before any answer is awaited; the outcome is
// the walk's: a refusing recorder's channel stays as it was.
TEST_F(ControllerTest, RecordWithOneRecorderRefusingRecordsTheOther23) {
    bank->Refuse(Address(7), "RECORD");
    Click(140);
    ASSERT_TRUE(PumpUntil([&] {
        for (int ch = 0; ch < 24; ++ch)
            if (ch != 7 && g_Settings->State(ch) != "Record") return false;
        return true;
    }));
    for (int ch = 0; ch < 24; ++ch) {
        auto view = bank->Channel(Address(ch), 1);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->state, ch == 7 ? "Stop" : "Record") << ch;
    }
    PumpUntil([] { return false; }, 200ms);  // a few polls
    EXPECT_EQ(g_Settings->State(7), "Stop");
    EXPECT_EQ(JournalCount("RECORD"), 23);
}

// A Record or Stop that leaves out channels the operator chose says which
// and why below the buttons, and in the trace, until the next group command.
TEST_F(ControllerTest, GroupRecordAndStopSayWhichChannelsTheyLeftOut) {
    bank->StopRecorder(Address(2));
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(2) == "Los"; }, 3s));
    bank->Refuse(Address(7), "RECORD");
    Press(105);  // all: the lost one too
    ::setenv("TARVOLEN_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    Press(140);
    const std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("TARVOLEN_TRACE");
    const std::string said = "Record left out CH 03 (lost); CH 08 (refused by the recorder)";
    EXPECT_EQ(EZ_GETTEXT("MAIN", 190), said);
    EXPECT_NE(trace.find(said + "\n"), std::string::npos) << trace;
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(0) == "Record"; }));
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(EZ_GETTEXT("MAIN", 190), said) << "stays while nothing else is commanded";
    qt::Grab("MAIN").save("e2e_main_left_out.png");

    Press(125);
    EXPECT_EQ(EZ_GETTEXT("MAIN", 190), "Stop left out CH 03 (lost)");
    Press(130);  // play: the next group command clears it
    EXPECT_EQ(EZ_GETTEXT("MAIN", 190), "");
}

// A large window shows the list's black under the rows, not a white block;
// at the smallest size the window allows, a row's Out point is whole.
TEST_F(ControllerTest, ListFillsALargeWindowAndRowsFitTheSmallest) {
    QWidget* list = qt::ControlWidget("MAIN", 100);
    QWidget* viewport = list->findChild<QWidget*>("qt_scrollarea_viewport");
    ASSERT_NE(viewport, nullptr);
    g_Settings->SetTrackLines(2);  // In, Out and Load on one row
    g_Status->FillList();
    EZ_RESIZEFORM("MAIN", 0, 0, 200, 62.5, 1);  // 1600 x 1000
    PumpUntil([] { return false; }, 100ms);
    const int rowH = qt::ListRowHeight("MAIN", 100);
    QImage large = viewport->grab().toImage();
    ASSERT_LT(24 * rowH + 10, large.height()) << "no room below the rows";
    EXPECT_EQ(large.pixelColor(20, large.height() - 5), QColor(0, 0, 0));
    EXPECT_EQ(large.pixelColor(large.width() - 3, large.height() - 5), QColor(0, 0, 0));
    qt::Grab("MAIN").save("e2e_main_large.png");
    g_Settings->SetClipStart(0, "01:00:00;00");
    g_Settings->SetClipEnd(0, "01:00:10;12");
    // The rightmost red ink of the Out point, on channel 1's second row.
    auto outInk = [&] {
        PumpUntil([] { return false; }, 100ms);
        const QImage image = viewport->grab().toImage();
        const int right = g_Status->ColumnWidth(0) - 1;
        int ink = -1;
        for (int x = 310; x < right - 80; ++x)
            for (int y = rowH; y < 2 * rowH; ++y) {
                const QColor p = image.pixelColor(x, y);
                if (p.red() > 120 && p.green() < 80 && p.blue() < 80) ink = std::max(ink, x);
            }
        return ink;
    };
    const int whole = outInk();
    ASSERT_GT(whole, 310);
    EZ_RESIZEFORM("MAIN", 0, 0, 40, 20, 1);  // snaps to the smallest size
    const int smallest = outInk();
    EXPECT_EQ(smallest, whole) << "the Out point is cut at the Load label";
    qt::Grab("MAIN").save("e2e_main_smallest.png");
}

// A row shows what the recorder reports now: no clip after Eject, no old
// points after a new recording, no points on a lost recorder's row.
TEST_F(ControllerTest, RowsShowOnlyWhatTheRecorderReportsNow) {
    Press(140);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record") && !g_Settings->LastClip(0).empty(); }));
    Press(125);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    Press(165);  // Load Last: points and a clip name
    ASSERT_TRUE(PumpUntil([&] { return !g_Settings->ClipName(0).empty(); }));
    ASSERT_FALSE(g_Settings->ClipStart(0).empty());

    Press(145);  // Eject
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->ClipName(0).empty(); }))
        << g_Settings->ClipName(0);
    EXPECT_EQ(g_Settings->ClipStart(0), "");

    Press(165);
    ASSERT_TRUE(PumpUntil([&] { return !g_Settings->ClipStart(0).empty(); }));
    Press(140);
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->ClipStart(0).empty(); }))
        << "the loaded clip's points outlive the new recording";
    Press(125);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));

    bank->StopRecorder(Address(5));
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(5) == "Los"; }, 3s));
    g_Settings->SetClipStart(5, "01:00:00;00");
    g_Settings->SetClipEnd(5, "01:00:10;00");
    EZ_REDRAWCONTROL("MAIN", 100);
    PumpUntil([] { return false; }, 100ms);
    QWidget* viewport =
        qt::ControlWidget("MAIN", 100)->findChild<QWidget*>("qt_scrollarea_viewport");
    const QImage image = viewport->grab().toImage();
    const int rowH = qt::ListRowHeight("MAIN", 100), left = g_Status->ColumnWidth(0);
    const int row = (5 / 2) * g_Settings->TrackLines() + 1;
    int ink = 0;
    for (int x = left + 180; x < left + g_Status->ColumnWidth(1) - 80; ++x)
        for (int y = row * rowH; y < (row + 1) * rowH; ++y) {
            const QColor p = image.pixelColor(x, y);
            ink += p.red() > 90 && p.green() < 60 && p.blue() < 60;
        }
    EXPECT_EQ(ink, 0) << "In/Out drawn on a lost recorder's row";
    qt::Grab("MAIN").save("e2e_main_rows_now.png");
}

TEST_F(ControllerTest, ClosingTheWindowDisconnectsAndEndsTheProcess) {
    qt::FormWidget("MAIN")->close();
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(g_Ampcontrol->IsConnected());
}

TEST_F(ControllerTest, ClipListFromTheRowLoadsAnOlderClipAndTheRowShowsItsPoints) {
    // Two recordings on every channel.
    for (int take = 0; take < 2; ++take) {
        Click(140);
        ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
        PumpUntil([] { return false; }, 300ms);
        Click(125);
        ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    }
    auto clips = bank->Clips(Address(0));
    ASSERT_GE(clips.size(), 2u);
    const std::string older = clips[clips.size() - 2].name;

    // The Load label of channel 1: the block's last row, near the cell's right edge.
    QWidget* list = qt::ControlWidget("MAIN", 100);
    QWidget* viewport = list->findChild<QWidget*>("qt_scrollarea_viewport");
    ASSERT_NE(viewport, nullptr);
    int32_t width = g_Status->ColumnWidth(0);
    int lastRow = g_Settings->TrackLines() - 1;
    int rowH = qt::ListRowHeight("MAIN", 100);
    ASSERT_GT(rowH, 0);
    QPoint at(width - 40, lastRow * rowH + rowH / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    ASSERT_TRUE(PumpUntil([] { return EZ_FORMEXISTS("CLIPLIST"); }));
    ASSERT_TRUE(PumpUntil([] { return EZ_GETLVCOUNT("CLIPLIST", 100) >= 2; }));
    qt::Grab("CLIPLIST").save("e2e_cliplist.png");

    qt::DeliverEvent("CLIPLIST", 100, EZ_EV_HEADERCLICK, 0);  // sort by name
    int32_t row = EZ_FINDLVITEM("CLIPLIST", 100, 0, older, 0);
    ASSERT_GE(row, 0);
    EZ_SETLVSEL("CLIPLIST", 100, row);
    qt::DeliverEvent("CLIPLIST", 105, EZ_EV_CLICK, 0);  // "&Load"
    EXPECT_TRUE(PumpUntil([] { return !EZ_FORMEXISTS("CLIPLIST"); }));
    auto view = bank->Channel(Address(0), 1);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->clip, older);
    EXPECT_FALSE(g_Settings->ClipStart(0).empty());
    EXPECT_FALSE(g_Settings->ClipEnd(0).empty());
    qt::Grab("MAIN").save("e2e_main_loaded.png");
}

TEST_F(ControllerTest, SetupPointsARowAtAnotherRecorderChannel) {
    using tarvolen::testing::WhileOpen;
    auto key = [](int k, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(QApplication::focusWidget(), &press);
    };
    // As an operator: "setup", double-click channel 3, type a name, the
    // address and internal channel 2, Return, then "&Ok" on Setup.
    WhileOpen(
        "SETUP", [&] { Click(170); },
        [&] {
            WhileOpen(
                "IPADDRESS", [] { qt::DeliverEvent("SETUP", 105, EZ_EV_LVACTIVATE, 2); },
                [&] {
                    EZ_SETTEXT("IPADDRESS", 120, "Camera Three");
                    EZ_SETCOMBOINDEX("IPADDRESS", 130, 1);
                    EZ_SENDMESSAGE("IPADDRESS", 100, EZ_IPM_CLEARADDRESS, 0, 0);
                    EZ_SETFOCUS("IPADDRESS", 100);
                    for (char c : std::string("127.0.0.103"))
                        key(c == '.' ? Qt::Key_Period : Qt::Key_0 + (c - '0'), QString(QChar(c)));
                    key(Qt::Key_Return);
                });
            EXPECT_EQ(EZ_GETLVITEMTEXT("SETUP", 105, 2, 1), "Camera Three");
            EXPECT_EQ(EZ_GETLVITEMTEXT("SETUP", 105, 2, 3), "2");
            qt::DeliverEvent("SETUP", 100, EZ_EV_CLICK, 0);
        });
    // Setup's way back reconnects, asking first.
    EXPECT_EQ(questions.back(), "|Connect to tarvolens?");
    std::ifstream in(g_Settings->SettingsPath());
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_NE(file.str().find("\n2=Camera Three\n"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("[IntChanNum]\n0=1\n1=1\n2=2\n"), std::string::npos);
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));

    Click(140);  // record: row 3 now drives 127.0.0.103 channel 2
    auto recordedThere = [&](int channel) {
        for (const auto& e : bank->Journal()) {
            if (e.request == "RECORD" && e.address == Address(2) && e.channel == channel)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(PumpUntil([&] { return recordedThere(2); }));
    EXPECT_FALSE(recordedThere(1));
    EXPECT_TRUE(PumpUntil([&] {
        auto view = bank->Channel(Address(2), 2);
        return view && view->state == "Record";
    }));
    EXPECT_EQ(g_Settings->ChannelName(2), "Camera Three");
}

// A clip whose name holds byte 0xE9 comes through the directory, the list
// and the load request with the same bytes.
class AccentedClipTest : public ControllerTest {
  protected:
    void PrepareBank(recorder::BankOptions& options) override {
        stateDir = std::filesystem::temp_directory_path() /
                   ("tarvolen-e2e-state-" + std::to_string(::getpid()));
        std::filesystem::create_directories(stateDir);
        std::ofstream out(stateDir / (Address(0) + ".clips"));
        out << "tarvolen-recorder clips 1\ncounter\t2\n";
        const char* lines[] = {
            "Demo_Ch1_20261208_044741\t00000001-0000-4000-8000-000000000001\t"
            "2026-12-08 04:47:41\t107892\t120\t1\t7\t1\t0\n",
            "Caf\xE9_20261208_044752\t00000002-0000-4000-8000-000000000002\t"
            "2026-12-08 04:47:52\t108222\t90\t1\t7\t1\t0\n"};
        for (const char* line : lines) out << line;
        options.stateDir = stateDir.string();
    }
    void TearDown() override {
        ControllerTest::TearDown();
        bank.reset();
        std::filesystem::remove_all(stateDir);
    }
    std::filesystem::path stateDir;
};

TEST_F(AccentedClipTest, LoadsWithTheSameBytes) {
    const std::string name = "Caf\xE9_20261208_044752";
    g_Cliplist->Open(0);
    ASSERT_TRUE(PumpUntil([] { return EZ_GETLVCOUNT("CLIPLIST", 100) == 2; }));
    const int32_t row = EZ_FINDLVITEM("CLIPLIST", 100, 0, name, 0);
    ASSERT_GE(row, 0);
    EXPECT_EQ(EZ_GETLVITEMTEXT("CLIPLIST", 100, row, 0), name);
    EZ_SETLVSEL("CLIPLIST", 100, row);
    qt::DeliverEvent("CLIPLIST", 105, EZ_EV_CLICK, 0);  // "&Load"
    ASSERT_TRUE(PumpUntil([] { return !EZ_FORMEXISTS("CLIPLIST"); }));
    auto view = bank->Channel(Address(0), 1);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->clip, name);
    std::vector<std::string> loads;
    for (const auto& e : bank->Journal())
        if (e.request == "LOAD") loads.push_back(e.outcome + " " + e.detail);
    EXPECT_EQ(loads, std::vector<std::string>{"ok " + name});
}

}  // namespace
