// Accelerator tables over the real Qt backend: keys as the keyboard sends
// them, to whichever control of the form has the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QShortcut>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

constexpr int32_t kEdit = 50;
constexpr int32_t kButton = 60;

class AcceleratorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(
            [this](const std::string& form, int32_t id, int32_t code, int32_t, int32_t&) {
                if (code == EZ_EV_CLICK) clicks.push_back(form + ":" + std::to_string(id));
            },
            [](const std::string&) {
                EZ_TEXT(kEdit, "", 1, 1, 10, 1.5, "");
                EZ_BUTTON(kButton, "Push", 12, 1, 6, 1.5, "");
            });
    }
    void TearDown() override {
        qt::UnloadAll();
        EZ_DOEVENTS(255);
    }
    // Shows a form and gives the focus to one of its controls, as the operator would.
    QWidget* Open(const std::string& form, int32_t focused) {
        EZ_FORM(form, "", form, 0, 0, 20, 4, "");
        QWidget* window = qt::FormWidget(form);
        window->activateWindow();
        EZ_SETFOCUS(form, focused);
        EZ_DOEVENTS(255);
        return qt::ControlWidget(form, focused);
    }
    std::vector<std::string> Press(QWidget* target, Qt::Key key,
                                   Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        clicks.clear();
        QTest::keyClick(target, key, modifiers);
        return clicks;
    }

    std::vector<std::string> clicks;
};

TEST_F(AcceleratorTest, NamedKeysAndCodesPressTheirControlsAndBadEntriesAreLeftOut) {
    QWidget* edit = Open("KEYS", kEdit);
    // Unreadable entries sit between good ones; "BS" comes before "#8", so it wins.
    EZ_DEFACCEL("keys",
                "return,1|Esc,2|SPACE,3|tab,4|x|,20|bs,5|Del,6|f1,7|F12,8|Nope,21|#,22|#abc,23|"
                "#300,24|Return|#65,|F13,26|#107,9|#109,10|#187,11|#189,12|#190,13|#110,14|#8,15|"
                "#48,16|#57,17|#96,18|#105,19|q,25| #113 , 27 |");
    EZ_SETACCELFORM("Keys", 1);
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int32_t id;  // 0: no control pressed
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, pad = Qt::KeypadModifier;
    const Case cases[] = {{Qt::Key_Return, none, 1},
                          {Qt::Key_Enter, pad, 1},
                          {Qt::Key_Escape, none, 2},
                          {Qt::Key_Space, none, 3},
                          {Qt::Key_Tab, none, 4},
                          {Qt::Key_Backspace, none, 5},
                          {Qt::Key_Delete, none, 6},
                          {Qt::Key_F1, none, 7},
                          {Qt::Key_F12, none, 8},
                          {Qt::Key_Plus, pad, 9},
                          {Qt::Key_Minus, pad, 10},
                          {Qt::Key_Plus, none, 11},
                          {Qt::Key_Equal, none, 11},
                          {Qt::Key_Minus, none, 12},
                          {Qt::Key_Period, none, 13},
                          {Qt::Key_Period, pad, 14},
                          {Qt::Key_0, none, 16},
                          {Qt::Key_9, none, 17},
                          {Qt::Key_0, pad, 18},
                          {Qt::Key_9, pad, 19},
                          {Qt::Key_Q, none, 25},
                          {Qt::Key_Q, Qt::ShiftModifier, 25},
                          {Qt::Key_5, none, 0},
                          {Qt::Key_5, pad, 0},
                          {Qt::Key_F13, none, 0},
                          {Qt::Key_A, none, 0},
                          {Qt::Key_0, Qt::ControlModifier, 0},
                          {Qt::Key_F1, Qt::AltModifier, 0}};
    for (const Case& c : cases) {
        std::vector<std::string> expected;
        if (c.id) expected.push_back("KEYS:" + std::to_string(c.id));
        EXPECT_EQ(Press(edit, c.key, c.modifiers), expected)
            << "key " << QTest::toString(c.key) << " modifiers " << int(c.modifiers);
    }
    // The keys no entry binds went on to the edit field.
    EXPECT_EQ(EZ_GETTEXT("KEYS", kEdit), "55a");
}

TEST_F(AcceleratorTest, KeysReachTheFocusedControlAndTheFormOnlyWhileTheTableIsOff) {
    QWidget* button = Open("KEYS", kButton);
    // The form's own Esc handling, as a window might close on Esc.
    auto* closeOnEsc = new QShortcut(QKeySequence(Qt::Key_Escape), qt::FormWidget("KEYS"));
    QObject::connect(closeOnEsc, &QShortcut::activated, [] { EZ_UNLOADFORM("KEYS"); });
    EZ_DEFACCEL("KEYS", "Space,3|ESC,2");

    using Clicks = std::vector<std::string>;
    EXPECT_EQ(Press(button, Qt::Key_Space), Clicks{"KEYS:60"});  // defined but not switched on
    EZ_SETACCELFORM("KEYS", 1);
    EXPECT_EQ(Press(button, Qt::Key_Space), Clicks{"KEYS:3"});
    EXPECT_EQ(Press(button, Qt::Key_Escape), Clicks{"KEYS:2"});
    EXPECT_TRUE(EZ_FORMEXISTS("KEYS"));

    // Defining again replaces the whole table.
    EZ_DEFACCEL("KEYS", "Return,7");
    EXPECT_EQ(Press(button, Qt::Key_Space), Clicks{"KEYS:60"});
    EXPECT_EQ(Press(button, Qt::Key_Return), Clicks{"KEYS:7"});

    // A disabled control is not pressed.
    EZ_DEFACCEL("KEYS", "Space,50");
    EZ_DISABLEC("KEYS", kEdit, kEdit);
    EXPECT_EQ(Press(button, Qt::Key_Space), Clicks{"KEYS:60"});

    EZ_SETACCELFORM("KEYS", 0);
    EXPECT_EQ(Press(button, Qt::Key_Return), Clicks{});
    Press(button, Qt::Key_Escape);
    EXPECT_FALSE(EZ_FORMEXISTS("KEYS")) << "Esc no longer bound: the form's own handling runs";
}

TEST_F(AcceleratorTest, TableBelongsToOneFormAndNotToALaterOneOfTheSameName) {
    Open("FIRST", kEdit);
    EZ_DEFACCEL("FIRST", "Space,3");
    EZ_SETACCELFORM("FIRST", 1);
    QWidget* other = Open("SECOND", kEdit);
    EXPECT_TRUE(Press(other, Qt::Key_Space).empty());
    EXPECT_EQ(Press(qt::ControlWidget("FIRST", kEdit), Qt::Key_Space),
              std::vector<std::string>{"FIRST:3"});

    EZ_UNLOADFORM("FIRST");
    EZ_DOEVENTS(255);
    QWidget* again = Open("FIRST", kEdit);
    EXPECT_TRUE(Press(again, Qt::Key_Space).empty());
    // Tables for forms that do not exist are not kept.
    EZ_DEFACCEL("NOFORM", "Space,3");
    EZ_SETACCELFORM("NOFORM", 1);
    EXPECT_TRUE(Press(again, Qt::Key_Space).empty());
}

}  // namespace
