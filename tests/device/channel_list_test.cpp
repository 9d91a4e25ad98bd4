// The channel list on the offscreen platform: rows drawn through the real
// toolkit and checked by their pixels, and clicks delivered as the list
// delivers them.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "device_fixture.h"
#include "shell/toolkit.h"
#include "tests/mouse.h"

namespace tarvolen::test {
namespace {

constexpr int kRowHeight = 26;

class ChannelList : public DeviceTest {
  protected:
    ChannelList() {
        qt::SetCallbacks(
            [this](const std::string& form, int32_t id, int32_t code, int32_t value, int32_t&) {
                if (form != "MAIN" || id != 100) return;
                if (code == EZ_EV_OWNERDRAW) status.DrawCell("Main", id, value);
                if (code == EZ_EV_LVCLICK) status.HandleClick(value);
            },
            [](const std::string& form) {
                if (form == "MAIN")
                    EZ_LISTVIEW(100, "Column 1{66}|Column 2{66}{L}", 0, 0.5625, 134.75, 29.5625,
                                "NOSV");
            });
        EZ_DEFFONT(13, "Arial", 13, "BV");
        EZ_DEFFONT(30, "Arial", 10, "V");
        const int rgb[11][3] = {{0, 213, 255}, {0, 94, 145},   {0, 77, 116}, {1, 34, 53},
                                {0, 164, 251}, {1, 80, 123},   {0, 68, 105}, {0, 137, 206},
                                {0, 114, 174}, {255, 187, 58}, {64, 0, 0}};
        for (int i = 0; i < 11; ++i) EZ_DEFCOLOR(60 + i, rgb[i][0], rgb[i][1], rgb[i][2]);
        EZ_FORM("MAIN", "", "tarvolen controller", 0, 0, 135, 36, "^_CZ");
        // Rows are rendered straight into an image; the form is never put on
        // the screen, so no backing store work runs on Qt's worker threads.
        qt::FormWidget("MAIN")->hide();
        EZ_SETLVROWHEIGHT("main", 100, kRowHeight);
        SetWidths(520);
        ConnectQuietly();
    }
    ~ChannelList() override {
        qt::UnloadAll();
        qt::SetCallbacks(nullptr, nullptr);
    }
    void SetWidths(int w) {
        EZ_SETLVCOLUMNWIDTH("main", 100, 0, w);
        EZ_SETLVCOLUMNWIDTH("main", 100, 1, w);
    }
    QWidget* Viewport() {
        return static_cast<QAbstractScrollArea*>(qt::ControlWidget("main", 100))->viewport();
    }
    QImage Shot() {
        EZ_DOEVENTS(255);
        QImage image(Viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        Viewport()->render(&image);
        return image;
    }
    // Brings the status table the drawing reads for the background.
    void Report(const std::vector<std::pair<int, std::pair<std::string, std::string>>>& states) {
        device->Queue(amp::kStatus, ScriptedDevice::Reply(Table(states)));
        status.PollStatus(0);
        EZ_DOEVENTS(255);
    }
    void Click(int row, int column_left, int x) {
        tarvolen::testing::ClickAt(Viewport(),
                                   QPoint(column_left + x, row * kRowHeight + kRowHeight / 2));
    }
    static QColor At(const QImage& img, int x, int y) { return img.pixelColor(x, y); }
};

const QColor kRecordBack(64, 0, 0);
const QColor kChecked(255, 0, 0);  // palette 12, bright red
const QColor kUnchecked(0, 77, 116);
const QColor kLabelChecked(0, 213, 255);
const QColor kLabelUnchecked(0, 94, 145);

TEST_F(ChannelList, FillListLaysOutBlocksOfTrackLines) {
    for (int lines : {2, 3}) {
        settings.SetTrackLines(lines);
        status.FillList();
        EXPECT_EQ(EZ_GETLVCOUNT("main", 100), 12 * lines);
        EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, 0, 0), " 0");
        EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, lines - 1, 1), " 1");
        EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, lines, 0), " 2");
        EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, 12 * lines - 1, 1), " 23");
    }
}

TEST_F(ChannelList, PollsWriteCellTextsAtTheRightRows) {
    for (int lines : {2, 3}) {
        settings.SetTrackLines(lines);
        status.FillList();
        Report({{5, {"Play", "00:00:01;02"}}});
        EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, 2 * lines + 1, 1), " 5|Play|00:00:01;02");
        device->Queue(amp::kStatus, ScriptedDevice::Reply(Table()));
        status.PollStatus(0);
    }
    settings.SetTrackLines(3);
    status.FillList();
    device->Queue(amp::kClipNames, ScriptedDevice::Reply(Names({{5, "Clip5"}})));
    status.PollClipNames();
    EZ_DOEVENTS(255);
    EXPECT_EQ(EZ_GETLVITEMTEXT("main", 100, 2 * 3 + 2, 1), " 5");
}

// A pass that asks a recorder for file names, and waits for its answer, has
// let the timecodes it read reach the list first.
TEST_F(ChannelList, TextsOfAPassShowWhileItWaitsForFileNames) {
    settings.SetTrackLines(3);
    status.FillList();
    auto row = [](int frame) { return " 5|Record|01:00:00;" + std::to_string(frame); };
    std::atomic<int> shown{0};  // the last pass whose text the list shows
    std::atomic<bool> asked{false}, shownWhileAsked{false}, done{false};
    device->SetHandler(amp::kRecordFileList, [&](const ScriptedDevice::Call&, void*) {
        asked = true;
        for (int i = 0; i < 400 && shown != 11; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        shownWhileAsked = shown == 11;
        return 1;
    });
    std::thread passes([&] {
        // The tenth pass learns the clip's name, the eleventh asks for its
        // files. Each pass begins once the list shows the one before, as
        // the status thread's passes come 30 ms apart.
        for (int i = 1; i <= 11; ++i) {
            for (int wait = 0; wait < 400 && shown != i - 1; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            device->Queue(
                amp::kStatus,
                ScriptedDevice::Reply(Table({{5, {"Record", "01:00:00;" + std::to_string(i)}}})));
            device->Queue(amp::kClipNames, ScriptedDevice::Reply(Names({{5, "Clip5"}})));
            sync.Pass();
        }
        done = true;
    });
    while (!done) {
        EZ_DOEVENTS(255);
        const std::string text = EZ_GETLVITEMTEXT("main", 100, 7, 1);
        for (int frame = 1; frame <= 11; ++frame)
            if (text == row(frame)) shown = frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    passes.join();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(shownWhileAsked);
}

TEST_F(ChannelList, SizeColumnsSplitsTheListWidth) {
    status.SizeColumns();
    double w = 0, h = 0;
    EZ_GETSIZEC("main", 100, w, h);
    EXPECT_EQ(status.ColumnWidth(0), int32_t(w * 8 / 2) - 12);
    EXPECT_EQ(status.ColumnWidth(1), int32_t(w * 8 / 2) - 12);
}

class DrawnRows : public ChannelList, public ::testing::WithParamInterface<int32_t> {};

TEST_P(DrawnRows, RecordingCheckedUncheckedAndHiddenChannels) {
    const int lines = GetParam();
    settings.SetTrackLines(lines);
    status.FillList();
    // 0 recording, 1 checked, 2 unchecked, 3 hidden.
    settings.SetChecked(0, 1);
    settings.SetChecked(1, 1);
    settings.SetChecked(2, 0);
    settings.SetShown(3, 0);
    Report({{0, {"Record", "00:10:00;00"}},
            {1, {"Stop", "00:00:00;00"}},
            {2, {"Play", "00:00:00;00"}},
            {3, {"Stop", "00:00:00;00"}},
            {4, {"Play{L}", "00:00:04;00"}},
            {5, {"Play{P}", "00:00:05;00"}}});
    settings.SetRecordFileNames(0, "A001_avmxf|B001");
    settings.SetClipStart(1, "01:00:00;00");
    settings.SetClipEnd(1, "01:00:10;00");
    settings.SetClipName(1, "Take_0002");
    const QImage img = Shot();
    const int left1 = 520;
    const int top2 = lines * kRowHeight;  // block of channels 2 and 3

    // Recording channel: colour 70 on every row of its block, no labels.
    for (int r = 0; r < lines; ++r)
        EXPECT_EQ(At(img, 420, r * kRowHeight + kRowHeight / 2), kRecordBack) << r;
    EXPECT_EQ(At(img, 520 - 80, (lines - 1) * kRowHeight + kRowHeight / 2), kRecordBack);
    // Checked vs unchecked name boxes.
    EXPECT_EQ(At(img, left1 + 5, kRowHeight / 2), kChecked);
    EXPECT_EQ(At(img, 5, top2 + kRowHeight / 2), kUnchecked);
    // The Load label sits on the block's last row, in the colour of the check state.
    const int last = (lines - 1) * kRowHeight + kRowHeight / 2;
    EXPECT_EQ(At(img, left1 + 520 - 1 - 80, last), kLabelChecked);
    EXPECT_EQ(At(img, 520 - 1 - 80, top2 + last), kLabelUnchecked);
    if (lines == 3) {
        EXPECT_NE(At(img, left1 + 520 - 1 - 80, kRowHeight + kRowHeight / 2), kLabelChecked);
    }
    // Hidden channel: its whole block is background but for the column line.
    bool blank = true;
    for (int y = top2; y < top2 + lines * kRowHeight; ++y)
        for (int x = left1; x < left1 + 519; ++x)
            if (At(img, x, y) != QColor(0, 0, 0)) blank = false;
    EXPECT_TRUE(blank);

    if (const char* dir = std::getenv("TARVOLEN_SHOT_DIR"))
        img.save(QString::fromStdString(std::string(dir) + "/channel_list_" +
                                        std::to_string(lines) + ".png"));
}

INSTANTIATE_TEST_SUITE_P(TrackLines, DrawnRows, ::testing::Values(2, 3));

// The check box follows the device both ways: unchecked while the device is
// away, checked again when it returns, unless someone set it meanwhile.
TEST_F(ChannelList, CheckBoxFollowsTheDeviceBothWays) {
    const struct {
        int ch;
        const char* away;
        bool checkedBefore;
        bool setMeanwhile;  // the operator unchecks it (select none) while away
        int32_t checkedAfter;
    } cases[] = {{2, "Los", true, false, 1},
                 {3, "Nop", true, false, 1},
                 {4, "Off", true, false, 1},
                 {5, "Los", true, true, 0},
                 {6, "Los", false, false, 0}};
    status.FillList();
    std::vector<std::pair<int, std::pair<std::string, std::string>>> away, back;
    for (const auto& c : cases) {
        settings.SetChecked(c.ch, c.checkedBefore ? 1 : 0);
        away.push_back({c.ch, {c.away, "--:--:--:--"}});
        back.push_back({c.ch, {"Record", "01:00:00;00"}});
    }
    Report(away);
    Shot();
    for (const auto& c : cases) EXPECT_EQ(settings.Checked(c.ch), 0) << c.ch;
    for (const auto& c : cases)
        if (c.setMeanwhile) settings.SetChecked(c.ch, 0);
    Shot();  // drawn again while still away: nothing changes
    Report(back);
    Shot();
    for (const auto& c : cases) EXPECT_EQ(settings.Checked(c.ch), c.checkedAfter) << c.ch;
    // Once back, the next loss unchecks again and the next return rechecks.
    Report(away);
    Shot();
    Report(back);
    Shot();
    EXPECT_EQ(settings.Checked(2), 1);
}

// ---- Clicks

struct ClickCase {
    const char* name;
    int width;
    int row;  // within the block of channel 0, track lines 3
    int x;
    const char* state;
    bool flips;
    std::vector<int32_t> codes;
    bool opens;
};

class Clicks : public ChannelList, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(Clicks, ReachTheirArea) {
    const ClickCase& c = GetParam();
    settings.SetTrackLines(3);
    status.FillList();
    SetWidths(c.width);
    // A click that flips the check box finds the channel unchecked, so a
    // button hit by the same click acts on a checked channel.
    settings.SetChecked(0, c.flips ? 0 : 1);
    settings.SetState(0, c.state);
    if (std::string(c.state) == "Record") {
        // The recorder stops at the first poll of the wait.
        device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Stop", "1"}}})));
    }
    device->ClearCalls();
    Click(c.row, 0, c.x);
    EXPECT_EQ(settings.Checked(0), 1);
    std::vector<int32_t> codes;
    for (const auto& call : device->Calls())
        if (call.code != amp::kStatus) codes.push_back(call.code);
    EXPECT_EQ(codes, c.codes);
    EXPECT_EQ(clips.opened, c.opens ? std::vector<int32_t>{0} : std::vector<int32_t>{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, Clicks,
    ::testing::Values(
        ClickCase{"WideCheckBox", 520, 0, 50, "Stop", true, {}, false},
        ClickCase{"WideBetween", 520, 0, 200, "Stop", false, {}, false},
        ClickCase{"WideRecord", 520, 0, 300, "Stop", false, {amp::kEject, amp::kRecord}, false},
        ClickCase{"WideStop", 520, 0, 300, "Record", false, {amp::kStop}, false},
        ClickCase{"WideButtonOnSecondRow", 520, 1, 300, "Stop", false, {}, false},
        ClickCase{"WideLoad", 520, 2, 520 - 40, "Stop", false, {}, true},
        ClickCase{"WideLoadWhileRecording", 520, 2, 520 - 40, "Record", false, {}, false},
        ClickCase{"WideLoadOnTopRow", 520, 0, 520 - 40, "Stop", false, {}, false},
        ClickCase{"NarrowBoth", 150, 0, 80, "Stop", true, {amp::kEject, amp::kRecord}, false},
        ClickCase{"NarrowLoad", 150, 2, 150 - 10, "Stop", false, {}, true},
        ClickCase{"NarrowPastLoad", 150, 2, 150 - 5, "Stop", false, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChannelList, ClicksOutsideTheTableAreIgnored) {
    settings.SetTrackLines(3);
    status.FillList();
    status.HandleClick(-5);  // no click information
    EXPECT_TRUE(device->Calls().empty());
}

}  // namespace
}  // namespace tarvolen::test
