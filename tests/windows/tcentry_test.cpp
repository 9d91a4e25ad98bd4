// The timecode entry window as the program registers it, driven by real key
// events to the focused control of the modal form (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/qt_seam.h"
#include "shell/app.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "timecode/keypad_window.h"
#include "timecode/tc_math.h"
#include "windows/program.h"

namespace {

using namespace tarvolen;

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

Qt::Key KeyOf(char c) {
    switch (c) {
        case '.':
            return Qt::Key_Period;
        case '-':
            return Qt::Key_Minus;
        case '+':
            return Qt::Key_Plus;
        case '=':
            return Qt::Key_Equal;
        default:
            return Qt::Key(Qt::Key_0 + (c - '0'));
    }
}

// The keys that type the characters, on the main keyboard or on the numeric pad.
std::vector<Key> Top(const std::string& chars, Qt::KeyboardModifiers pad = Qt::NoModifier) {
    std::vector<Key> keys;
    for (char c : chars) keys.push_back({KeyOf(c), pad});
    return keys;
}
std::vector<Key> Pad(const std::string& chars) {
    return Top(chars, Qt::KeypadModifier);
}

std::vector<Key> operator+(std::vector<Key> a, const std::vector<Key>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<Key> kBackspace{{Qt::Key_Backspace}};
const std::vector<Key> kSpace{{Qt::Key_Space}};

class TcEntryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        InstallApplication(MakeApplication(0, nullptr));
        qt::SetCallbacks(
            [this](const std::string& form, int32_t id, int32_t code, int32_t value,
                   int32_t& cancel) {
                ApplicationEvent(form, id, code, value, cancel);
                // The form is on screen with its accelerators: the operator may type.
                if (form == "TCENTRY" && id == 0 && code == EZ_EV_SHOWN && script_)
                    QTimer::singleShot(0, [this] { RunScript(); });
            },
            ApplicationDesign);
        DefineProgramFonts(6, 30);
        DefineProgramColors();
        EZ_DEFCOLOR(60, 0, 213, 255);
        EZ_DEFCOLOR(61, 0, 94, 145);
        g_Settings = &settings_;
        g_FormInfo = &info_;
        UseRate(29);
        // Stands in for the Setup window that opens the keypad.
        EZ_COLOR(0, 0);
        EZ_FORM("SETUP", "", "Setup", 0, 0, 60, 30, "C");
    }
    void TearDown() override {
        qt::UnloadAll();
        EZ_DOEVENTS(255);
        g_Settings = nullptr;
        g_FormInfo = nullptr;
        g_TcMath = nullptr;
    }

    void UseRate(int32_t code) {
        rate_ = code;
        tc_ = std::make_unique<cTcMath>(FrameRateOf(rate_));
        g_TcMath = tc_.get();
    }

    // Opens the window from "setup" and runs the script once it is shown;
    // a script that leaves the window open has it unloaded afterwards.
    std::string Open(std::function<void()> script) {
        script_ = std::move(script);
        QObject guard;
        // Only against a hang if the window never shows: the test then fails.
        QTimer::singleShot(30000, &guard, [] {
            ADD_FAILURE() << "the timecode entry window never became usable";
            EZ_UNLOADFORM("TCENTRY");
        });
        std::string result = OpenTcEntry("setup");
        EXPECT_FALSE(EZ_FORMEXISTS("TCENTRY"));
        return result;
    }

    void RunScript() {
        auto script = std::move(script_);
        script_ = nullptr;
        script();
        if (EZ_FORMEXISTS("TCENTRY")) EZ_UNLOADFORM("TCENTRY");
    }

    // The widget the operator's keys go to.
    QWidget* KeyTarget() {
        QWidget* form = qt::FormWidget("TCENTRY");
        QWidget* focused = QApplication::focusWidget();
        return focused && focused->window() == form ? focused : form;
    }
    void Press(const Key& k) { QTest::keyClick(KeyTarget(), k.key, k.modifiers); }
    std::string Display() { return EZ_GETTEXT("TcEntry", kTcEntryDisplay); }

    cSettings settings_{"/nonexistent-dir/tarvolen"};
    cFormInfo info_;
    int32_t rate_ = 29;
    std::unique_ptr<cTcMath> tc_;
    std::function<void()> script_;
};

TEST_F(TcEntryTest, KeysShowTheirDigitsFromTheRight) {
    struct Case {
        const char* what;
        std::vector<Key> keys;
        std::vector<std::string> shown;  // after each key
    };
    const Case cases[] = {
        {"digits enter from the right; '.' adds 00",
         Top("1234."),
         {"1", "12", "1;23", "12;34", "12:34;00"}},
        {"at most the last eight digits",
         Top("123456789"),
         {"1", "12", "1;23", "12;34", "1:23;45", "12:34;56", "1:23:45;67", "12:34:56;78",
          "23:45:67;89"}},
        {"backspace removes the last digit down to nothing",
         Top("1234") + kBackspace + kBackspace + kBackspace + kBackspace + kBackspace,
         {"1", "12", "1;23", "12;34", "1;23", "12", "1", "", ""}},
        {"a sign stays until the other one is chosen", Top("-5+-="), {"-", "-5", "+5", "-5", "+5"}},
        {"no leading zeros", Top("00.5."), {"0", "0", "00", "5", "5;00"}},
        {"the numeric pad works as the top row",
         Pad("12.+-9"),
         {"1", "12", "12;00", "+12;00", "-12;00", "-1:20;09"}},
        {"Space presses Clear, which does nothing; unbound keys do nothing",
         Top("1") + kSpace + std::vector<Key>{{Qt::Key_A}, {Qt::Key_Delete}} +
             std::vector<Key>{{Qt::Key_2, Qt::ControlModifier}},
         {"1", "1", "1", "1", "1"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> shown;
        std::string before = "?";
        std::string result = Open([&] {
            before = Display();
            for (const Key& k : c.keys) {
                Press(k);
                shown.push_back(Display());
            }
            Press({Qt::Key_Escape});
        });
        EXPECT_EQ(before, "") << c.what;
        EXPECT_EQ(shown, c.shown) << c.what;
        EXPECT_EQ(result, "") << c.what;
    }
}

TEST_F(TcEntryTest, LeavingStoresThePaddedTimecodeOrTheEmptyText) {
    enum class Leave { kReturn, kPadEnter, kEsc, kClickOk, kClickCancel, kCloseWindow };
    struct Case {
        std::string typed;
        Leave leave;
        int32_t rate;
        std::string result;
    };
    const Case cases[] = {
        {"", Leave::kReturn, 29, "00:00:00;00"},
        {"1234", Leave::kReturn, 29, "00:00:12;34"},
        {"10000", Leave::kReturn, 29, "00:01:00;00"},
        {"1234", Leave::kPadEnter, 29, "00:00:12;34"},
        {"1234", Leave::kClickOk, 29, "00:00:12;34"},
        {"-5", Leave::kReturn, 29, "-00:00:00;05"},
        {"1234", Leave::kReturn, 25, "00:00:12.34"},
        {"1234", Leave::kReturn, 30, "00:00:12:34"},
        {"1234", Leave::kEsc, 29, ""},
        {"1234", Leave::kClickCancel, 29, ""},
        {"1234", Leave::kCloseWindow, 29, ""},
    };
    for (const Case& c : cases) {
        UseRate(c.rate);
        info_.SetText("TCENTRY", "left from before");
        std::string result = Open([&] {
            for (const Key& k : Top(c.typed)) Press(k);
            switch (c.leave) {
                case Leave::kReturn:
                    Press({Qt::Key_Return});
                    break;
                case Leave::kPadEnter:
                    Press({Qt::Key_Enter, Qt::KeypadModifier});
                    break;
                case Leave::kEsc:
                    Press({Qt::Key_Escape});
                    break;
                case Leave::kClickOk:
                    QTest::mouseClick(qt::ControlWidget("TCENTRY", kTcEntryOk), Qt::LeftButton);
                    break;
                case Leave::kClickCancel:
                    QTest::mouseClick(qt::ControlWidget("TCENTRY", kTcEntryCancel), Qt::LeftButton);
                    break;
                case Leave::kCloseWindow:
                    qt::FormWidget("TCENTRY")->close();
                    break;
            }
            EXPECT_FALSE(EZ_FORMEXISTS("TCENTRY")) << c.typed << " leave " << int(c.leave);
        });
        EXPECT_EQ(result, c.result) << c.typed << " leave " << int(c.leave);
        EXPECT_EQ(info_.GetText("tcentry"), c.result);
    }
}

TEST_F(TcEntryTest, ReturnConfirmsWhereverTabHasMovedTheFocus) {
    for (int tabs = 1; tabs <= 4; ++tabs) {
        std::string result = Open([&] {
            for (const Key& k : Top("4000")) Press(k);
            for (int i = 0; i < tabs; ++i) Press({Qt::Key_Tab});
            Press({Qt::Key_Return});
            EXPECT_FALSE(EZ_FORMEXISTS("TCENTRY")) << tabs << " tabs";
        });
        EXPECT_EQ(result, "00:00:40;00") << tabs << " tabs";
    }
}

// Pixels of the image inside rect whose colour is exactly c.
int PixelsOf(const QImage& image, const QRect& rect, const QColor& c) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom() && y < image.height(); ++y)
        for (int x = rect.left(); x <= rect.right() && x < image.width(); ++x)
            if (image.pixelColor(x, y) == c) ++n;
    return n;
}

TEST_F(TcEntryTest, ShowsTheDisplayAndPaintedButtonsWithTheKeypadBelowTheForm) {
    QImage shot;
    QRect display, ok, cancel;
    std::vector<int32_t> visible, below;
    bool focusOnForm = false;
    Open([&] {
        focusOnForm = QApplication::focusWidget() &&
                      QApplication::focusWidget()->window() == qt::FormWidget("TCENTRY");
        EXPECT_EQ(qt::FormWidget("TCENTRY")->windowTitle().toStdString(), "Set In");
        for (const Key& k : Top("1234.")) Press(k);
        QWidget* form = qt::FormWidget("TCENTRY");
        for (int32_t id : {100, 105, 2,   110, 115, 120, 125, 130, 135, 140,
                           145, 150, 155, 160, 165, 170, 175, 180, 185, 190}) {
            QRect r = qt::ControlWidget("TCENTRY", id)->geometry();
            if (form->rect().contains(r)) visible.push_back(id);
            if (r.top() >= form->height()) below.push_back(id);
        }
        display = qt::ControlWidget("TCENTRY", kTcEntryDisplay)->geometry();
        ok = qt::ControlWidget("TCENTRY", kTcEntryOk)->geometry();
        cancel = qt::ControlWidget("TCENTRY", kTcEntryCancel)->geometry();
        shot = qt::Grab("TCENTRY");
    });
    EXPECT_TRUE(focusOnForm) << "the operator's keys go to the keypad window";
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(200, 128));  // 25 columns by 8 rows
    EXPECT_EQ(visible, (std::vector<int32_t>{100, 105, 2}));
    EXPECT_EQ(below.size(), 17u);
    // The display's digits in colour 22; the buttons' captions in colour 60
    // (the shared painter), on the form's black.
    EXPECT_GT(PixelsOf(shot, display, QColor(191, 191, 127)), 20);
    EXPECT_GT(PixelsOf(shot, ok, QColor(0, 213, 255)), 10);
    EXPECT_GT(PixelsOf(shot, cancel, QColor(0, 213, 255)), 10);
    EXPECT_TRUE(shot.save(QString(TCENTRY_SCREENSHOT_DIR) + "/tcentry.png"));
}

}  // namespace
