// The main window's own rules on the real toolkit, without recorders: the
// button painter's colour table, the minimum size, the About box, the
// auto-record questions and the clip list window's remembered place.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <tuple>

#include "../shell/temp_dir.h"
#include "platform/qt/qt_seam.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "windows/button_painter.h"
#include "windows/main_window.h"

namespace {

using namespace tarvolen;

struct LookCase {
    const char* form;
    int32_t id;
    bool pushed;
    int32_t stepMode;
    int32_t trackLines;
    std::tuple<int32_t, int32_t, int32_t, int32_t> colors;  // fill fg/bg, caption fg/bg
    const char* face;
};

class ButtonLookTest : public ::testing::TestWithParam<LookCase> {};

TEST_P(ButtonLookTest, ColoursFollowTheFormButtonAndState) {
    const LookCase& c = GetParam();
    cSettings settings("/nonexistent-dir/tarvolen");
    settings.SetTrackLines(c.trackLines);
    g_Settings = &settings;
    g_StepMode = c.stepMode;
    ButtonColors look = ButtonLook(c.form, c.id, c.pushed, false);
    EXPECT_EQ(std::make_tuple(look.fillForeground, look.fillBackground, look.captionForeground,
                              look.captionBackground),
              c.colors);
    EXPECT_EQ(look.face, c.face);
    g_StepMode = 0;
    g_Settings = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ButtonLookTest,
    ::testing::Values(LookCase{"Main", 105, false, 0, 3, {61, 61, 60, 61}, "Segoe UI"},
                      LookCase{"main", 105, true, 0, 3, {60, 60, 61, 60}, "Segoe UI"},
                      LookCase{"MAIN", 115, false, 0, 3, {61, 61, 60, 61}, "Webdings"},
                      LookCase{"main", 150, false, 0, 3, {61, 61, 60, 61}, "Webdings"},
                      LookCase{"main", 155, false, 0, 3, {61, 61, 60, 61}, "Wingdings"},
                      LookCase{"main", 140, false, 0, 3, {4, 0, 4, 0}, "Segoe UI"},
                      LookCase{"main", 140, true, 0, 3, {0, 4, 0, 4}, "Segoe UI"},
                      LookCase{"main", 170, false, 0, 3, {61, 0, 4, 0}, "Segoe UI"},
                      LookCase{"main", 170, true, 0, 3, {4, 4, 0, 4}, "Segoe UI"},
                      LookCase{"main", 160, false, 0, 3, {61, 61, 60, 61}, "Segoe UI"},
                      LookCase{"main", 160, false, 1, 3, {60, 70, 60, 61}, "Segoe UI"},
                      LookCase{"main", 160, true, 0, 3, {60, 60, 61, 60}, "Segoe UI"},
                      LookCase{"setup", 120, false, 0, 2, {61, 61, 60, 61}, "Segoe UI"},
                      LookCase{"setup", 120, false, 0, 3, {61, 0, 60, 61}, "Segoe UI"},
                      LookCase{"Setup", 130, false, 0, 3, {61, 61, 60, 61}, "Segoe UI"},
                      LookCase{"tcentry", 130, true, 0, 3, {60, 60, 61, 60}, "Segoe UI"},
                      LookCase{"ipaddress", 105, false, 0, 3, {61, 0, 60, 61}, "Segoe UI"},
                      LookCase{"CLIPLIST", 105, true, 0, 3, {60, 60, 61, 60}, "Segoe UI"}));

TEST(StepButton, CaptionSwapsWhileTheRightButtonIsHeldOverIt) {
    ButtonColors look = ButtonLook("main", 160, false, true);
    EXPECT_EQ(std::make_pair(look.captionForeground, look.captionBackground),
              std::make_pair(61, 60));
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        Application app;
        app.windows["MAIN"] = {DesignMainWindow, MainWindowEvent};
        InstallApplication(std::move(app));
        qt::SetCallbacks(ApplicationEvent, ApplicationDesign);
        DefineProgramFonts(6, 30);
        DefineProgramColors();
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string& caption, const std::string& buttons) {
            boxes.push_back(text + " / " + caption + " / " + buttons);
            return answer;
        });
        g_Settings = &settings;
        // Shown without the start sequence: nothing here talks to recorders.
        EZ_DEFMAINMENU(9000, "&Help", 0);
        EZ_COLOR(0, 0);
        EZ_FORM("MAIN", "", "tarvolen controller", 0, 0, 135, 36, "^_CZ");
    }
    void TearDown() override {
        qt::SetMessageBoxAnswerer(nullptr);
        qt::UnloadAll();
        g_Settings = nullptr;
        g_AutoRecordInterval = 0;
        g_CommandLineAutoRecord = 0;
    }
    cSettings settings{"/nonexistent-dir/tarvolen"};
    std::vector<std::string> boxes;
    int32_t answer = 1;
};

TEST_F(MainWindowTest, ShrinkingBelowTheMinimumSnapsBack) {
    double column = 0, row = 0;
    EZ_GETPOS("MAIN", column, row, 2);
    EZ_RESIZEFORM("MAIN", column, row, 90, 20, 1);
    EZ_DOEVENTS(255);
    double width = 0, height = 0;
    EZ_GETSIZE("MAIN", width, height, 3);
    EXPECT_EQ(width, 135);
    EXPECT_EQ(height, 33.875);
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndBuild) {
    qt::DeliverEvent("MAIN", 9010, EZ_EV_CLICK, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "Tarvolen Controller 1.2|Build: " + settings.BuildString() + " / Tarvolen / &Ok");
}

TEST_F(MainWindowTest, AutoRecordToggleAsksAndUsesTheCommandLineInterval) {
    struct Case {
        const char* commandLine;
        int32_t seconds;
    };
    // Below one second or above a day is no interval: the default, never a
    // timer that fires at once, overflows or never fires.
    const Case cases[] = {{"", 3600},
                          {"autorec=600", 600},
                          {"AUTOREC=86400", 86400},
                          {"autorec=-5", 3600},
                          {"autorec=0", 3600},
                          {"autorec=86401", 3600},
                          {"autorec=4294968", 3600},
                          {"autorec=99999999", 3600},
                          {"autorec=99999999999", 3600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        g_CommandLineAutoRecord = AutoRecordFromCommandLine(c.commandLine);
        answer = 1;
        qt::DeliverEvent("MAIN", 180, EZ_EV_RIGHTCLICK, 0);
        EXPECT_EQ(g_AutoRecordInterval.load(), c.seconds);
        EXPECT_EQ(qt::TimerInterval("MAIN", 3), c.seconds * 1000);
        EXPECT_EQ(boxes.back(), "|Turn On Auto Record? / tarvolen / &Yes|&No");
        answer = 2;  // "&No" leaves it on
        qt::DeliverEvent("MAIN", 180, EZ_EV_RIGHTCLICK, 0);
        EXPECT_EQ(boxes.back(), "|Turn Off Auto Record? / tarvolen / &Yes|&No");
        EXPECT_EQ(g_AutoRecordInterval.load(), c.seconds);
        answer = 1;
        qt::DeliverEvent("MAIN", 180, EZ_EV_RIGHTCLICK, 0);
        EXPECT_EQ(g_AutoRecordInterval.load(), 0);
        EXPECT_EQ(qt::TimerInterval("MAIN", 3), -1);
    }
    // A left click on the logo does nothing.
    size_t asked = boxes.size();
    qt::DeliverEvent("MAIN", 180, EZ_EV_CLICK, 0);
    EXPECT_EQ(boxes.size(), asked);
}

TEST(AutoRecordCommandLine, AnUnusableIntervalIsTraced) {
    ::setenv("TARVOLEN_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AutoRecordFromCommandLine("autorec=-5"), 3600);
    EXPECT_EQ(AutoRecordFromCommandLine("autorec=600"), 600);
    EXPECT_EQ(AutoRecordFromCommandLine("x"), 0);
    const std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("TARVOLEN_TRACE");
    EXPECT_EQ(trace, "autorec=-5 is not 1 to 86400 seconds: auto record uses 3600\n");
}

TEST_F(MainWindowTest, EveryButtonAnswersItsTooltip) {
    const std::vector<std::pair<int32_t, std::string>> tips = {
        {105, "Select All Channels"},
        {110, "De-Select All Channels"},
        {115, "Rewind"},
        {120, "Play Reverse"},
        {125, "Stop"},
        {130, "Play Forward"},
        {135, "Fast Forward"},
        {140, "Record"},
        {145, "Eject"},
        {150, "Loop Play"},
        {155, "Ping Pong"},
        {160, "Step Forward - Right Click to Step Backwards"},
        {165, "Load Last Clip"},
        {170, "Setup Channels"}};
    for (const auto& [id, text] : tips) {
        EZ_SETTOOLTIP("");
        qt::DeliverEvent("MAIN", id, EZ_EV_TOOLTIP, 0);
        EXPECT_EQ(qt::LastTooltip(), text) << id;
    }
}

TEST_F(MainWindowTest, ClipListKeepsItsDesignedPlaceUntilClosedOnce) {
    auto open = [](double column, double row) {
        EZ_FORM("CLIPLIST", "MAIN", "Clip List", column, row, 104, 22, "RZ");
    };
    open(5, 5);
    ClipListPositionMemory(1);  // first call ever: only remembers the size
    double c = 0, r = 0;
    EZ_GETPOS("CLIPLIST", c, r, 2);
    EXPECT_EQ(std::make_pair(c, r), std::make_pair(5.0, 5.0));
    EZ_RESIZEFORM("CLIPLIST", 20, 10, 90, 25, 1);
    ClipListPositionMemory(0);  // closing
    EZ_UNLOADFORM("CLIPLIST");
    open(5, 5);
    ClipListPositionMemory(1);
    double w = 0, h = 0;
    EZ_GETPOS("CLIPLIST", c, r, 2);
    EZ_GETSIZE("CLIPLIST", w, h, 2);
    EXPECT_EQ(std::make_tuple(c, r, w, h), std::make_tuple(20.0, 10.0, 90.0, 25.0));
}

TEST_F(MainWindowTest, RecordingAndStepButtonsArePaintedInTheirColours) {
    QImage main = qt::Grab("MAIN");
    ASSERT_FALSE(main.isNull());
    auto pixel = [&](int32_t id, int x, int y) {
        QImage b = qt::ControlWidget("MAIN", id)->grab().toImage();
        return b.pixelColor(x < 0 ? b.width() + x : x, y < 0 ? b.height() + y : y);
    };
    const QColor c4(128, 0, 0), c61(0, 94, 145);
    EXPECT_EQ(pixel(105, 2, 2), c61);
    // Record is filled 4, 0 and Setup 61, 0: black faces edged in the first
    // colour, on every side.
    for (auto [x, y] : {std::pair{0, 5}, {-1, 5}, {5, 0}, {5, -1}}) {
        EXPECT_EQ(pixel(140, x, y), c4) << x << "," << y;
        EXPECT_EQ(pixel(170, x, y), c61) << x << "," << y;
    }
    EXPECT_EQ(pixel(140, 2, 2), QColor(0, 0, 0));
    EXPECT_EQ(pixel(170, 2, 2), QColor(0, 0, 0));

    auto visible = [] {
        std::vector<int32_t> shown;
        for (int32_t id = 105; id <= 170; id += 5)
            if (EZ_ISVISIBLE("MAIN", id)) shown.push_back(id);
        return shown;
    };
    const std::vector<int32_t> all = {105, 110, 115, 120, 125, 130, 135,
                                      140, 145, 150, 155, 160, 165, 170};
    qt::DeliverEvent("MAIN", 160, EZ_EV_CLICK, 0);
    EXPECT_EQ(pixel(160, 2, 2), QColor(64, 0, 0));  // step mode: colour 70
    // Play Reverse, Stop, Play Forward and Record go; Rewind and Fast Forward step.
    EXPECT_EQ(visible(), (std::vector<int32_t>{105, 110, 115, 135, 145, 150, 155, 160, 165, 170}));
    qt::DeliverEvent("MAIN", 160, EZ_EV_CLICK, 0);
    EXPECT_EQ(visible(), all);
    EXPECT_EQ(pixel(160, 2, 2), c61);
}

// The logo and "Load Last" fit their designed boxes: no ink on the outer
// pixels of the box, which is where a cut text ends.
TEST_F(MainWindowTest, LogoAndLoadLastFitTheirBoxes) {
    struct Case {
        int32_t id;
        QColor ink;
        int margin;
    };
    const Case cases[] = {{180, QColor(255, 255, 0), 1},    // "tarvolen", colour 14
                          {185, QColor(127, 127, 255), 1},  // "controller", colour 25
                          {165, QColor(0, 213, 255), 4}};   // "Load Last", colour 60
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        QImage image = qt::ControlWidget("MAIN", c.id)->grab().toImage();
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor p = image.pixelColor(x, y);
                const int distance = std::abs(p.red() - c.ink.red()) +
                                     std::abs(p.green() - c.ink.green()) +
                                     std::abs(p.blue() - c.ink.blue());
                if (distance > 150) continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        ASSERT_GE(right, 0) << "nothing drawn";
        EXPECT_GE(left, c.margin);
        EXPECT_LT(right, image.width() - c.margin);
        EXPECT_GE(top, 1);
        EXPECT_LT(bottom, image.height() - 1);
    }
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeReadIsReportedOnceAtStart) {
    tarvolen::testing::TempDir dir;
    tarvolen::testing::WriteFile(dir.File("tarvolen.ini"), std::string("\x89PNG\0\0garbage", 13));
    cSettings fromGarbage(dir.File("tarvolen"));
    g_Settings = &fromGarbage;
    MainStartSequence();
    MainStartSequence();
    EZ_DOEVENTS(255);
    g_Settings = &settings;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(dir.File("tarvolen.ini.bad")), std::string::npos) << boxes[0];
}

// Tab walks the window as it reads, left to right, past what step mode hides,
// and the control it reaches shows a frame in its own colours.
TEST_F(MainWindowTest, TabShowsWhereTheKeyboardIs) {
    QWidget* window = qt::FormWidget("MAIN");
    window->activateWindow();
    QApplication::setActiveWindow(window);
    EZ_DOEVENTS(255);
    auto idOf = [](QWidget* w) {
        for (int32_t id = 100; id <= 190; id += 5)
            if (w && qt::ControlWidget("MAIN", id) == w) return id;
        return -1;
    };
    auto walk = [&] {
        EZ_SETFOCUS("MAIN", 100);
        EZ_DOEVENTS(255);
        std::vector<int32_t> ids;
        for (int i = 0; i < 20; ++i) {
            QWidget* at = QApplication::focusWidget();
            ids.push_back(idOf(at));
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(at, &tab);
            EZ_DOEVENTS(255);
            if (idOf(QApplication::focusWidget()) == 100) break;
        }
        return ids;
    };
    EXPECT_EQ(walk(), (std::vector<int32_t>{100, 105, 110, 115, 120, 125, 130, 135, 140, 145, 150,
                                            155, 160, 165, 170}));
    // Each button looks different with the focus than without it.
    for (int32_t id : {105, 140, 150, 170}) {
        SCOPED_TRACE(id);
        QWidget* button = qt::ControlWidget("MAIN", id);
        EZ_SETFOCUS("MAIN", 100);
        EZ_DOEVENTS(255);
        const QImage without = button->grab().toImage();
        EZ_SETFOCUS("MAIN", id);
        EZ_DOEVENTS(255);
        ASSERT_TRUE(button->hasFocus());
        const QImage with = button->grab().toImage();
        const int y = with.height() / 2;
        EXPECT_NE(with.pixelColor(3, y), without.pixelColor(3, y));
        EXPECT_EQ(with.pixelColor(1, y), without.pixelColor(1, y)) << "the edge stays";
    }
    // The list too, though its rows are the program's.
    EZ_SETFOCUS("MAIN", 100);
    EZ_DOEVENTS(255);
    auto* list = static_cast<QAbstractScrollArea*>(qt::ControlWidget("MAIN", 100));
    const QImage focused = list->viewport()->grab().toImage();
    EZ_SETFOCUS("MAIN", 105);
    EZ_DOEVENTS(255);
    const QImage unfocused = list->viewport()->grab().toImage();
    EXPECT_NE(focused.pixelColor(1, 40), unfocused.pixelColor(1, 40));

    qt::DeliverEvent("MAIN", 160, EZ_EV_CLICK, 0);  // step mode hides four
    EXPECT_EQ(walk(),
              (std::vector<int32_t>{100, 105, 110, 115, 135, 145, 150, 155, 160, 165, 170}));
    qt::DeliverEvent("MAIN", 160, EZ_EV_CLICK, 0);
}

// Closing while channels record asks first; Esc keeps the window, Return
// closes it. Without a recording channel it closes at once.
TEST_F(MainWindowTest, ClosingWhileRecordingAsksFirst) {
    int exitCode = -1;
    SetEndProcessHook([&](int code) { exitCode = code; });
    qt::SetMessageBoxAnswerer(nullptr);  // the real box, answered with keys
    settings.SetState(2, "Record");
    settings.SetState(5, "Record");
    settings.SetShown(7, 0);
    settings.SetState(7, "Record");  // not shown: not the operator's
    settings.SetState(9, "Play");
    std::string asked;
    auto answerWith = [&](int key) {
        auto step = std::make_shared<std::function<void()>>();
        auto tries = std::make_shared<int>(0);
        *step = [&, key, step, tries] {
            QWidget* box = qt::FormWidget("{MSGBOX}");
            if (!box || !box->isVisible()) {
                if (++*tries < 100)
                    QTimer::singleShot(5, *step);
                else
                    *step = nullptr;  // never asked
                return;
            }
            asked = qt::MessageBoxLog().back();
            QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : box;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(to, &press);
            *step = nullptr;
        };
        QTimer::singleShot(0, *step);
    };
    answerWith(Qt::Key_Escape);
    qt::FormWidget("MAIN")->close();
    EXPECT_EQ(asked,
              "|2 channels are recording.|The recorders go on recording when the controller "
              "closes.||Close the controller?");
    EXPECT_EQ(exitCode, -1);
    ASSERT_TRUE(EZ_FORMEXISTS("MAIN"));

    answerWith(Qt::Key_Return);
    qt::FormWidget("MAIN")->close();
    EXPECT_EQ(exitCode, 0);
    SetEndProcessHook(nullptr);
}

TEST_F(MainWindowTest, StartSequenceLeavesTheNormalPointer) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    MainStartSequence();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EZ_DOEVENTS(255);  // the posted select-all
}

}  // namespace
