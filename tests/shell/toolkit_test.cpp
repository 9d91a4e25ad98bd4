// The toolkit contract over the real Qt backend on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStaticText>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/qt/backend.h"
#include "platform/qt/draw.h"
#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"

namespace {

using namespace tarvolen;

struct Event {
    std::string form;
    int32_t id, code, value;
};

class ToolkitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(
            [this](const std::string& form, int32_t id, int32_t code, int32_t value,
                   int32_t& cancel) {
                events.push_back({form, id, code, value});
                if (onEvent) onEvent(form, id, code, value, cancel);
            },
            [this](const std::string& form) {
                designed.push_back(form);
                if (onDesign) onDesign(form);
            });
        qt::SetMessageBoxAnswerer(nullptr);
    }
    void TearDown() override {
        qt::SetMessageBoxAnswerer(nullptr);
        qt::UnloadAll();
        EZ_DOEVENTS(255);
    }
    // Pumps events until pred holds or about two seconds have gone.
    template <typename Pred>
    bool PumpUntil(Pred pred) {
        for (int i = 0; i < 400 && !pred(); ++i) {
            EZ_DOEVENTS(255);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return pred();
    }
    // The list (control 100) of owner-drawn rows, each on a dark fill with
    // what content draws in light text over it.
    void OwnerDrawnRows(int height, std::function<void(const EzDrawInfo&, int32_t value)> content) {
        onDesign = [height](const std::string&) {
            EZ_LISTVIEW(100, "Column 1{40}", 0, 0, 50, height, "NOSV");
        };
        onEvent = [content](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
            EzDrawInfo info;
            if (id != 100 || code != EZ_EV_OWNERDRAW || !EZ_STARTOWNERDRAW(value, info)) return;
            EZ_COLOR(0, 70);
            EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
            EZ_COLOR(12, -1);
            content(info, value);
            EZ_ENDOWNERDRAW(value);
        };
    }
    // A form of the given height whose list (control 100, as onDesign makes
    // it) has rows 20 pixels high.
    static QAbstractScrollArea* FormWithRows(const std::string& form, int height, int rows) {
        EZ_FORM(form, "", "Rows", 0, 0, 52, height, "");
        for (int r = 0; r < rows; ++r) EZ_ADDLVITEM(form, 100, std::to_string(r), -1);
        EZ_SETLVROWHEIGHT(form, 100, 20);
        return qobject_cast<QAbstractScrollArea*>(qt::ControlWidget(form, 100));
    }
    // What the screen shows of the list's top rows after its partial
    // repaints is what a whole repaint draws.
    static void ExpectScreenShowsAWholeRepaint(QWidget* list, int height) {
        QWidget* window = list->window();
        const QPoint at = list->mapTo(window, QPoint(0, 0));
        const QImage shown =
            window->screen()
                ->grabWindow(window->winId(), at.x(), at.y(), list->width(), height)
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        // Painted by Qt alone: the list writes no pixels of an image of
        // this format itself.
        QImage whole(list->width(), height, QImage::Format_ARGB32);
        list->render(&whole);
        whole = whole.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), whole.size());
        EXPECT_TRUE(shown == whole);
    }
    bool Saw(int32_t id, int32_t code) const {
        for (const Event& e : events) {
            if (e.id == id && e.code == code) return true;
        }
        return false;
    }

    std::vector<Event> events;
    std::vector<std::string> designed;
    std::function<void(const std::string&, int32_t, int32_t, int32_t, int32_t&)> onEvent;
    std::function<void(const std::string&)> onDesign;
};

TEST_F(ToolkitTest, FormNamesCompareWithoutLetterCase) {
    onDesign = [](const std::string&) { EZ_LABEL(10, "hello", 1, 1, 10, 1, ""); };
    EZ_FORM("Demo", "", "Demo", 0, 0, 20, 5, "");
    ASSERT_EQ(designed, std::vector<std::string>{"DEMO"});
    EXPECT_TRUE(EZ_FORMEXISTS("demo"));
    EXPECT_NE(EZ_HANDLE("DEMO", 0), 0);
    EXPECT_EQ(EZ_HANDLE("demo", 0), EZ_HANDLE("Demo", 0));
    EXPECT_EQ(EZ_GETTEXT("dEmO", 10), "hello");
    EZ_SETTEXT("DEMO", 10, "a|b");
    EXPECT_EQ(EZ_GETTEXT("demo", 10), "a|b");
    EZ_UNLOADFORM("demo");
    EXPECT_FALSE(EZ_FORMEXISTS("DEMO"));
    EXPECT_EQ(EZ_HANDLE("DEMO", 0), 0);
}

TEST_F(ToolkitTest, FormLifecycleEventsArriveInOrder) {
    onDesign = [](const std::string&) { EZ_ODBUTTON(105, "x", 1, 1, 4, 2, ""); };
    EZ_FORM("LIFE", "", "Life", 0, 0, 20, 5, "");
    ASSERT_TRUE(PumpUntil([&] { return Saw(0, EZ_EV_SHOWN); }));
    std::vector<std::pair<int32_t, int32_t>> order;
    for (const Event& e : events) {
        if (e.code == EZ_EV_CREATED || e.code == EZ_EV_STARTED || e.code == EZ_EV_SHOWN)
            order.push_back({e.id, e.code});
    }
    std::vector<std::pair<int32_t, int32_t>> expected = {
        {0, EZ_EV_CREATED}, {105, EZ_EV_STARTED}, {0, EZ_EV_STARTED}, {0, EZ_EV_SHOWN}};
    EXPECT_EQ(order, expected);
}

TEST_F(ToolkitTest, MessageBoxAnswersByButtonNumberAndIsStyledByTheProgram) {
    bool styled = false;
    onDesign = [&](const std::string& form) {
        if (form != "{MSGBOX}") return;
        double w = 0, h = 0;
        EZ_GETSIZE(form, w, h, 0);
        EZ_TURTLEPICTURE(1000, "V1;U1;G20,32,3;", 0, 0, w, h, "");
        styled = EZ_HANDLE(form, 1000) != 0 && EZ_GETTEXT(form, 100) == "|Connect to tarvolens?";
    };
    std::string seenButtons;
    qt::SetMessageBoxAnswerer([&](const std::string&, const std::string&, const std::string&,
                                  const std::string& buttons) {
        seenButtons = buttons;
        return 2;
    });
    EXPECT_EQ(EZ_MSGBOXEX("", "|Connect to tarvolens?", "tarvolen", "&Yes|&No", "", 7, 8), 2);
    EXPECT_TRUE(styled);
    EXPECT_EQ(seenButtons, "&Yes|&No");
    EXPECT_FALSE(EZ_FORMEXISTS("{MSGBOX}"));
}

TEST_F(ToolkitTest, RealMessageBoxReturnsOneForTheFirstButton) {
    // Nobody answers: press the first button as an operator would.
    QTimer::singleShot(50, [] {
        if (QWidget* w = qt::ControlWidget("{MSGBOX}", 1)) QMetaObject::invokeMethod(w, "click");
    });
    EXPECT_EQ(EZ_MSGBOXEX("", "line one|line two", "t", "&Ok|&Cancel", "", 7, 8), 1);
}

// Return and Esc as in any desktop dialog. Target 0 is the box itself (no
// button has the focus), otherwise the button the key goes to.
TEST_F(ToolkitTest, MessageBoxAnswersReturnAndEsc) {
    struct Case {
        const char* buttons;
        int key;
        int32_t target;
        int32_t answer;
    };
    const Case cases[] = {
        {"&Yes|&No", Qt::Key_Return, 1, 1}, {"&Yes|&No", Qt::Key_Return, 0, 1},
        {"&Yes|&No", Qt::Key_Enter, 0, 1},  {"&Yes|&No", Qt::Key_Escape, 1, 2},
        {"&Yes|&No", Qt::Key_Return, 2, 2},  // the focus moved to "&No"
        {"a|b|c", Qt::Key_Escape, 0, 3},    {"&Ok", Qt::Key_Return, 0, 1},
        {"&Ok", Qt::Key_Escape, 1, 0},  // one button: Esc closes the box
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.buttons) + " key " + std::to_string(c.key) + " to " +
                     std::to_string(c.target));
        bool firstHasFocus = false;
        QObject thisCase;
        // A key nobody took leaves the box open: close it so the case fails.
        QTimer::singleShot(500, &thisCase, [] { EZ_UNLOADFORM("{MSGBOX}"); });
        QTimer::singleShot(20, &thisCase, [&] {
            QWidget* box = qt::FormWidget("{MSGBOX}");
            ASSERT_NE(box, nullptr);
            firstHasFocus = box->focusWidget() == qt::ControlWidget("{MSGBOX}", 1);
            QWidget* to = c.target == 0 ? box : qt::ControlWidget("{MSGBOX}", c.target);
            QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
            QApplication::sendEvent(to, &press);
        });
        EXPECT_EQ(EZ_MSGBOXEX("", "|Connect to tarvolens?", "t", c.buttons, "", 7, 8), c.answer);
        EXPECT_TRUE(firstHasFocus);
        EXPECT_FALSE(EZ_FORMEXISTS("{MSGBOX}"));
    }
}

TEST_F(ToolkitTest, AMainMenuDefinedAgainIsNotDoubled) {
    for (int i = 0; i < 3; ++i) {
        EZ_DEFMAINMENU(9000, "&Help", 0);
        EZ_FORM("MENU", "", "M", 0, 0, 20, 5, "");
    }
    auto* bar = qt::FormWidget("MENU")->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->actions().size(), 1);
}

TEST_F(ToolkitTest, PostedAndThreadEventsArriveOnTheGuiThread) {
    EZ_FORM("EV", "", "Ev", 0, 0, 20, 5, "");
    std::thread::id gui = std::this_thread::get_id();
    std::atomic<bool> wrongThread{false};
    onEvent = [&](const std::string&, int32_t, int32_t, int32_t, int32_t&) {
        if (std::this_thread::get_id() != gui) wrongThread = true;
    };
    EZ_POSTEVENT("ev", 105, 0);
    std::thread worker([] {
        for (int i = 0; i < 50; ++i) EZ_SENDTHREADEVENT("ev", EZ_THREADEVENT_ID, i);
    });
    worker.join();
    ASSERT_TRUE(PumpUntil([&] {
        int threadEvents = 0;
        for (const Event& e : events) threadEvents += e.code == EZ_EV_THREAD;
        return Saw(105, EZ_EV_POSTED) && threadEvents == 50;
    }));
    EXPECT_FALSE(wrongThread);
}

TEST_F(ToolkitTest, TimerTicksAsEventSevenWithItsId) {
    EZ_FORM("TIMED", "", "T", 0, 0, 20, 5, "");
    EZ_STARTTIMER("timed", 3, 1);
    ASSERT_TRUE(PumpUntil([&] { return Saw(3, EZ_EV_TIMER); }) ||
                PumpUntil([&] { return Saw(3, EZ_EV_TIMER); }));
    EZ_STOPTIMER("timed", 3);
}

TEST_F(ToolkitTest, ModalFormReturnsWhenUnloaded) {
    onEvent = [](const std::string& form, int32_t id, int32_t code, int32_t, int32_t&) {
        if (form == "MODAL" && id == 0 && code == EZ_EV_SHOWN) EZ_UNLOADFORM("modal");
    };
    EZ_FORM("MODAL", "", "Modal", 0, 0, 20, 5, "CM");
    EXPECT_FALSE(EZ_FORMEXISTS("MODAL"));
}

TEST_F(ToolkitTest, CloseEventCanBeCancelled) {
    EZ_FORM("KEEP", "", "Keep", 0, 0, 20, 5, "");
    onEvent = [](const std::string&, int32_t id, int32_t code, int32_t, int32_t& cancel) {
        if (id == 0 && code == EZ_EV_CLOSE) cancel = 1;
    };
    qt::FormWidget("KEEP")->close();
    EXPECT_TRUE(EZ_FORMEXISTS("KEEP"));
    onEvent = nullptr;
    qt::FormWidget("KEEP")->close();
    EXPECT_FALSE(EZ_FORMEXISTS("KEEP"));
}

TEST_F(ToolkitTest, ShowAndHideWorkOverIdRanges) {
    onDesign = [](const std::string&) {
        for (int32_t id = 115; id <= 140; id += 5) EZ_ODBUTTON(id, "b", 1, 1, 2, 1, "");
    };
    EZ_FORM("RANGE", "", "R", 0, 0, 30, 5, "");
    EZ_HIDEC("range", 120, 130);
    std::vector<bool> visible;
    for (int32_t id = 115; id <= 140; id += 5) visible.push_back(EZ_ISVISIBLE("RANGE", id));
    EXPECT_EQ(visible, (std::vector<bool>{true, false, false, false, true, true}));
    EZ_SHOWC("range", 115, 130);
    for (int32_t id = 115; id <= 140; id += 5) EXPECT_TRUE(EZ_ISVISIBLE("RANGE", id)) << id;
}

TEST_F(ToolkitTest, OwnerDrawnButtonPaintsWhatTheProgramDraws) {
    EZ_DEFCOLOR(70, 64, 0, 0);
    onDesign = [](const std::string&) { EZ_ODBUTTON(105, "all", 0, 0, 10, 2, ""); };
    onEvent = [](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        if (id != 105 || code != EZ_EV_OWNERDRAW) return;
        EzDrawInfo info;
        ASSERT_TRUE(EZ_STARTOWNERDRAW(value, info));
        EZ_COLOR(70, 70);
        EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
        EZ_ENDOWNERDRAW(value);
    };
    EZ_FORM("PAINT", "", "P", 0, 0, 20, 5, "");
    QImage image = qt::ControlWidget("PAINT", 105)->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(64, 0, 0));
    EzDrawInfo stale;
    EXPECT_FALSE(EZ_STARTOWNERDRAW(12345, stale));
}

TEST_F(ToolkitTest, ListViewRowsAndClickInformation) {
    onDesign = [](const std::string&) {
        EZ_LISTVIEW(100, "Column 1{20}|Column 2{20}{L}", 0, 0, 45, 10, "NOSV");
    };
    EZ_FORM("LIST", "", "L", 0, 0, 50, 12, "");
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(EZ_ADDLVITEM("list", 100, " " + std::to_string(r), -1), r);
        EZ_SETLVITEMTEXT("list", 100, r, 1, " " + std::to_string(r + 1));
    }
    EXPECT_EQ(EZ_GETLVCOUNT("LIST", 100), 6);
    EXPECT_EQ(EZ_GETLVITEMTEXT("LIST", 100, 4, 1), " 5");
    EXPECT_EQ(EZ_GETLVCOLUMNCOUNT("LIST", 100), 2);
    EXPECT_EQ(EZ_GETLVCOLUMNWIDTH("LIST", 100, 0), 20 * 8);
    EXPECT_EQ(EZ_GETLVCOLUMNORDER("LIST", 100), (std::vector<int32_t>{0, 1}));
    EZ_SETLVROWHEIGHT("LIST", 100, 20);

    int32_t clickValue = 0;
    onEvent = [&](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        if (id == 100 && code == EZ_EV_LVCLICK) clickValue = value;
    };
    // A click 30 pixels into the second column of the third row.
    QWidget* list = qt::ControlWidget("LIST", 100);
    QWidget* viewport = list->findChild<QWidget*>("qt_scrollarea_viewport");
    ASSERT_NE(viewport, nullptr);
    QPoint at(20 * 8 + 30, 2 * 20 + 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    ASSERT_NE(clickValue, 0);
    int32_t row = -1, column = -1, x = -1;
    EZ_GETLVCLICKINFO(clickValue, row, column, x);
    EXPECT_EQ(std::make_tuple(row, column, x), std::make_tuple(2, 1, 30));
    EZ_CLEARLV("list", 100);
    EXPECT_EQ(EZ_GETLVCOUNT("LIST", 100), 0);
}

// Texts are single bytes: what goes into a control comes back unchanged,
// a 255-byte field included. "|" is the toolkit's line break and item
// separator, so it stays out of the sample.
TEST_F(ToolkitTest, TextsComeBackByteForByteFromEveryControl) {
    std::string bytes;
    for (int b = 1; b < 256; ++b) {
        if (b != '|' && b != '\n') bytes += char(b);
    }
    bytes += "\xE9\xE9";
    ASSERT_EQ(bytes.size(), 255u);
    onDesign = [&](const std::string& form) {
        if (form != "BYTES") return;
        EZ_LABEL(10, bytes, 0, 0, 10, 1, "");
        EZ_TEXT(11, bytes, 0, 1, 10, 1, "");
        EZ_ODBUTTON(12, bytes, 0, 2, 10, 1, "");
        EZ_BUTTON(13, bytes, 0, 3, 10, 1, "");
        EZ_CHECKBOX(14, bytes, 0, 4, 10, 1, "");
        EZ_COMBOBOX(15, bytes, 0, 5, 10, 1, "");
        EZ_LISTVIEW(16, "A{10}|B{10}", 0, 6, 20, 4, "");
    };
    EZ_FORM("BYTES", "", bytes, 0, 0, 30, 12, "");
    for (int32_t id = 10; id <= 15; ++id) EXPECT_EQ(EZ_GETTEXT("BYTES", id), bytes) << id;
    const std::string e9 = "caf\xE9";
    for (int32_t id = 10; id <= 14; ++id) {
        EZ_SETTEXT("BYTES", id, e9);
        EXPECT_EQ(EZ_GETTEXT("BYTES", id), e9) << id;
    }
    EZ_ADDLVITEM("BYTES", 16, bytes, -1);
    EZ_SETLVITEMTEXT("BYTES", 16, 0, 1, e9);
    EXPECT_EQ(EZ_GETLVITEMTEXT("BYTES", 16, 0, 0), bytes);
    EXPECT_EQ(EZ_GETLVITEMTEXT("BYTES", 16, 0, 1), e9);
    EXPECT_EQ(EZ_FINDLVITEM("BYTES", 16, 1, "CAF\xC9", 0), 0);
    // The caption shows each byte as the character of the same code.
    EXPECT_EQ(qt::FormWidget("BYTES")->windowTitle(), QString::fromLatin1(bytes.c_str()));

    std::string boxText;
    qt::SetMessageBoxAnswerer(
        [&](const std::string&, const std::string&, const std::string&, const std::string&) {
            boxText = EZ_GETTEXT("{MSGBOX}", 100);
            return 1;
        });
    EZ_MSGBOXEX("", e9 + "|" + bytes, "c", "&Ok", "", 7, 8);
    EXPECT_EQ(boxText, e9 + "|" + bytes);
}

TEST_F(ToolkitTest, SymbolCaptionsNeverDrawAsEmptyBoxes) {
    // Every glyph the program uses must leave ink of its colour on the button.
    const std::vector<std::pair<std::string, std::string>> glyphs = {
        {"Webdings", "7"}, {"Webdings", "3"}, {"Webdings", "<"},
        {"Webdings", "4"}, {"Webdings", "8"}, {"Webdings", "5"},
        {"Webdings", "6"}, {"Webdings", "`"}, {"Wingdings", "\xE8|\xE7"}};
    for (const auto& [face, text] : glyphs) {
        onDesign = [](const std::string&) { EZ_ODBUTTON(1, "", 0, 0, 6, 3, ""); };
        onEvent = [face = face, text = text](const std::string&, int32_t id, int32_t code,
                                             int32_t value, int32_t&) {
            if (id != 1 || code != EZ_EV_OWNERDRAW) return;
            EzDrawInfo info;
            if (!EZ_STARTOWNERDRAW(value, info)) return;
            EZ_COLOR(15, 0);
            EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
            EZ_USEIFONT(face, 18, "BSV");
            EZ_SETPRINTFORMAT(2, info.width, info.height, 48, 0);
            EZ_DCPRINT(info.dc, 0, 0, text);
            EZ_ENDOWNERDRAW(value);
        };
        EZ_FORM("GLYPH", "", "G", 0, 0, 10, 4, "");
        QImage image = qt::ControlWidget("GLYPH", 1)->grab().toImage();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) ink += image.pixelColor(x, y).lightness() > 128;
        }
        EXPECT_GT(ink, 20) << face << " " << text;
        EZ_UNLOADFORM("GLYPH");
    }
}

TEST_F(ToolkitTest, RedrawOfAnOwnerDrawnListPaintsOnlyRowsThatChanged) {
    std::vector<std::string> content = {"a", "b", "c", "d"};
    std::map<int32_t, int> drawn;  // draw events per row
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "Column 1{20}", 0, 0, 30, 10, "NOSV"); };
    onEvent = [&](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        if (id != 100 || code != EZ_EV_OWNERDRAW) return;
        EzDrawInfo info;
        if (!EZ_STARTOWNERDRAW(value, info)) return;
        ++drawn[info.item];
        EZ_COLOR(15, -1);
        EZ_DCPRINT(info.dc, 2, 2, content[size_t(info.item)]);
        EZ_ENDOWNERDRAW(value);
    };
    EZ_FORM("ROWS", "", "Rows", 0, 0, 32, 12, "");
    for (int r = 0; r < 4; ++r) EZ_ADDLVITEM("rows", 100, std::to_string(r), -1);
    EZ_SETLVROWHEIGHT("rows", 100, 20);
    ASSERT_TRUE(PumpUntil([&] { return drawn.size() == 4; }));
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);

    drawn.clear();
    content[2] = "changed";
    EZ_REDRAWCONTROL("rows", 100);
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);
    // Every row is asked once to tell what it would draw; only row 2 is painted.
    EXPECT_EQ(drawn, (std::map<int32_t, int>{{0, 1}, {1, 1}, {2, 2}, {3, 1}}));

    drawn.clear();
    EZ_REDRAWCONTROL("rows", 100);
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);
    EXPECT_EQ(drawn, (std::map<int32_t, int>{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));

    // Writing a cell always repaints its row: the program relies on it.
    drawn.clear();
    EZ_SETLVITEMTEXT("rows", 100, 1, 0, "1");
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);
    EXPECT_EQ(drawn, (std::map<int32_t, int>{{1, 1}}));
}

// Running timecodes are placed glyph by glyph, not laid out: they must land
// on the very pixels a laid-out text does.
TEST(DrawText, DigitsLandOnThePixelsOfALaidOutText) {
    qt::EnsureApplication(0, nullptr);
    const std::tuple<const char*, double, const char*> fonts[] = {
        {"tahoma", 10, "BV"}, {"tahoma", 8, ""}, {"arial", 12, ""}, {"courier", 10, "B"}};
    for (const auto& [face, points, props] : fonts) {
        const qt::FontSpec font = qt::MakeFont(face, points, props);
        for (const char* text : {"00:00:00:00", "23:59:59;29", "-1.5 +20", "7", "Record 12"}) {
            QImage drawn(220, 30, QImage::Format_ARGB32_Premultiplied), laid = drawn;
            drawn.fill(Qt::black);
            laid.fill(Qt::black);
            {
                QPainter p(&drawn);
                qt::DrawTextIn(p, QRect(3, 2, 200, 26), Qt::AlignLeft | Qt::AlignTop, font, text,
                               Qt::white);
            }
            {
                QPainter p(&laid);
                p.setFont(font.font);
                p.setPen(Qt::white);
                QStaticText t(text);
                t.setTextFormat(Qt::PlainText);
                p.drawStaticText(QPointF(3, 2), t);
            }
            EXPECT_TRUE(drawn == laid) << face << " " << points << " " << props << ": " << text;
        }
    }
}

}  // namespace

// Two status passes posted before the GUI thread gets to them: each pass's
// event sees its own texts and not the next pass's, and the row is drawn
// with the last.
TEST_F(ToolkitTest, TextsAndThreadEventsFromAnotherThreadArriveInTheirOrder) {
    std::string drawn;
    std::vector<std::string> seenByEvent;
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "Column 1{20}", 0, 0, 30, 10, "NOSV"); };
    onEvent = [&](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        if (id == EZ_THREADEVENT_ID && code == EZ_EV_THREAD) {
            seenByEvent.push_back(std::to_string(value) + ":" +
                                  EZ_GETLVITEMTEXT("pass", 100, 0, 0));
            EZ_REDRAWLVWRITTEN("pass", 100);
        }
        EzDrawInfo info;
        if (id != 100 || code != EZ_EV_OWNERDRAW || !EZ_STARTOWNERDRAW(value, info)) return;
        drawn = EZ_GETLVITEMTEXT("pass", 100, 0, 0);
        EZ_DCPRINT(info.dc, 2, 2, drawn);
        EZ_ENDOWNERDRAW(value);
    };
    EZ_FORM("PASS", "", "Pass", 0, 0, 32, 12, "");
    EZ_ADDLVITEM("pass", 100, "0", -1);
    ASSERT_TRUE(PumpUntil([&] { return drawn == "0"; }));
    std::thread status([] {
        EZ_POSTLVITEMTEXT("pass", 100, 0, 0, "a");
        EZ_SENDTHREADEVENT("pass", EZ_THREADEVENT_ID, 1);
        EZ_POSTLVITEMTEXT("pass", 100, 0, 0, "b");
        EZ_SENDTHREADEVENT("pass", EZ_THREADEVENT_ID, 2);
    });
    status.join();
    ASSERT_TRUE(PumpUntil([&] { return seenByEvent.size() == 2 && drawn == "b"; }))
        << drawn << " " << seenByEvent.size();
    EXPECT_EQ(seenByEvent, (std::vector<std::string>{"1:a", "2:b"}));
}

// What a row draws beyond its edges (a line, a box, digits, words, a fill
// one pixel too long) never shows on its neighbours.
TEST_F(ToolkitTest, OwnerDrawnRowsPaintOnlyInsideThemselves) {
    EZ_DEFCOLOR(80, 200, 0, 0);
    EZ_DEFCOLOR(81, 0, 0, 200);
    EZ_DEFCOLOR(82, 0, 200, 0);
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "Column 1{40}", 0, 0, 50, 14, "NOSV"); };
    // Odd rows each reach into the plain row above them in one way of their own.
    onEvent = [&](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        EzDrawInfo info;
        if (id != 100 || code != EZ_EV_OWNERDRAW || !EZ_STARTOWNERDRAW(value, info)) return;
        const int32_t way = info.item % 2 == 1 ? info.item / 2 : -1;
        EZ_COLOR(way >= 0 ? 81 : 80, way >= 0 ? 81 : 80);
        EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
        EZ_COLOR(82, -1);
        EZ_SETPRINTFORMAT(2, 140, 10, 0, 0);
        if (way == 0) EZ_DCDRAW(info.dc, EZ_DRAW_LINE, 0, -4, info.width, -4, 3);
        if (way == 1) EZ_DCDRAW(info.dc, EZ_DRAW_BOX, 150, -12, 200, 4, 2);
        if (way == 2) EZ_DCPRINT(info.dc, 8, -14, "01:00:00;00");
        if (way == 3) EZ_DCPRINT(info.dc, 8, -14, "Record");
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
        EZ_ENDOWNERDRAW(value);
    };
    auto* list = FormWithRows("EDGE", 16, 8);
    ASSERT_TRUE(list);
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);
    const QImage rows = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(rows.height(), 160);
    const QRgb plain = rows.pixel(100, 10);
    for (int way = 0; way < 4; ++way) {
        int strays = 0;
        for (int y = way * 40 + 3; y < way * 40 + 20; ++y)  // below the focus frame
            for (int x = 4; x < 300; ++x) strays += rows.pixel(x, y) != plain;
        EXPECT_EQ(strays, 0) << "way " << way;
        EXPECT_NE(rows.pixel(100, way * 40 + 30), plain);
    }
}

// Texts a thread posts while it holds its posts (holds nest) wait for the
// last release, then arrive together.
TEST_F(ToolkitTest, HeldPostsArriveWhenTheLastHoldIsReleased) {
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "Column 1{20}", 0, 0, 30, 10, ""); };
    EZ_FORM("HOLD", "", "Hold", 0, 0, 32, 12, "");
    EZ_ADDLVITEM("hold", 100, "0", -1);
    EZ_ADDLVITEM("hold", 100, "0", -1);
    std::atomic<int> step{0};
    std::thread status([&] {
        EZ_HOLDPOSTS(1);
        EZ_POSTLVITEMTEXT("hold", 100, 0, 0, "a");
        EZ_HOLDPOSTS(1);
        EZ_POSTLVITEMTEXT("hold", 100, 1, 0, "b");
        EZ_HOLDPOSTS(0);
        step = 1;
        while (step.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EZ_HOLDPOSTS(0);
    });
    while (step.load() != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int i = 0; i < 10; ++i) {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(EZ_GETLVITEMTEXT("hold", 100, 0, 0) + EZ_GETLVITEMTEXT("hold", 100, 1, 0), "00");
    step = 2;
    status.join();
    EXPECT_TRUE(PumpUntil([] {
        return EZ_GETLVITEMTEXT("hold", 100, 0, 0) + EZ_GETLVITEMTEXT("hold", 100, 1, 0) == "ab";
    }));
}

// A written row is repainted where its drawing changed the last times, with
// no dry run first: its running timecodes (whose widths change, "1" being
// narrower than "0" in most faces) repaint only themselves, a change not
// foreseen a second time, and what the screen shows is still what a whole
// repaint draws, also after a change elsewhere in the row (a new state).
TEST_F(ToolkitTest, RepaintsOfAWrittenRowLeaveWhatAWholeRepaintDraws) {
    std::string state = "Record", left = "00:00:00:00", right = "00:00:00:00";
    int draws = 0, dryRuns = 0;
    OwnerDrawnRows(4, [&](const EzDrawInfo& info, int32_t value) {
        ++draws;
        if (!qt::FindDrawContext(value)->painter) ++dryRuns;
        EZ_SETPRINTFORMAT(2, 80, info.height, 32, 0);
        EZ_DCPRINT(info.dc, 8, 0, state);
        EZ_SETPRINTFORMAT(2, 180, info.height, 32, 0);
        EZ_DCPRINT(info.dc, 80, 0, left);
        EZ_SETPRINTFORMAT(2, 300, info.height, 32, 0);
        EZ_DCPRINT(info.dc, 200, 0, right);
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
    });
    QWidget* list = FormWithRows("GUESS", 6, 1);
    ASSERT_TRUE(list);
    for (int i = 0; i < 40; ++i) EZ_DOEVENTS(255);
    auto frame = [&](int n, bool widthsChange) {
        // The two timecodes of a row tick each at its own time.
        const std::string tc =
            widthsChange ? "00:00:0" + std::to_string(n % 10) + ":" + std::to_string(n % 30)
                         : "00:00:01:" + std::to_string(10 + n % 20);
        (n % 3 == 0 ? right : left) = tc;
        EZ_POSTLVITEMTEXT("guess", 100, 0, 0, "0");
        for (int i = 0; i < 5; ++i) EZ_DOEVENTS(255);
    };
    for (int n = 1; n <= 10; ++n) frame(n, false);
    draws = dryRuns = 0;
    for (int n = 11; n <= 30; ++n) frame(n, false);
    EXPECT_EQ(dryRuns, 0);
    EXPECT_LT(draws, 2 * 20);  // most writes painted once
    for (int n = 31; n <= 70; ++n) frame(n, true);
    ExpectScreenShowsAWholeRepaint(list, 20);
    state = "Stop";
    frame(71, false);
    ExpectScreenShowsAWholeRepaint(list, 20);
}

// Controls are looked up by form and id many times a frame; the one found
// is the one there now, after its form was unloaded and made again, and
// after it was removed.
TEST_F(ToolkitTest, AControlFoundIsTheOneThereNow) {
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "A{10}", 0, 0, 20, 4, ""); };
    EZ_FORM("FOUND", "", "F", 0, 0, 30, 10, "");
    EZ_ADDLVITEM("found", 100, "a", -1);
    EXPECT_EQ(EZ_GETLVCOUNT("found", 100), 1);
    EZ_UNLOADFORM("FOUND");
    EXPECT_EQ(EZ_GETLVCOUNT("found", 100), 0);
    EZ_FORM("FOUND", "", "F", 0, 0, 30, 10, "");
    EXPECT_EQ(EZ_GETLVCOUNT("found", 100), 0);
    EZ_ADDLVITEM("found", 100, "b", -1);
    EZ_ADDLVITEM("found", 100, "c", -1);
    EXPECT_EQ(EZ_GETLVCOUNT("found", 100), 2);
    EZ_REMOVECONTROL("found", 100);
    EXPECT_EQ(EZ_GETLVCOUNT("found", 100), 0);
    EZ_UNLOADFORM("FOUND");
}

// Paint events on a widget, and their area.
struct PaintSpy : QObject {
    explicit PaintSpy(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        ++paints;
        for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
            area += r.width() * r.height();
        return false;
    }
    int paints = 0, area = 0;
};

// A running timecode's frame digit changes with every write, its tens with
// every tenth: a write repaints the frame digit, and the tens only when they
// are due (from one write early), foreseen in the same one paint; the screen
// still shows what a whole repaint draws.
TEST_F(ToolkitTest, AWrittenRowRepaintsARarerChangeOnlyWhenItComes) {
    int frame = 0;
    OwnerDrawnRows(4, [&](const EzDrawInfo& info, int32_t) {
        EZ_SETPRINTFORMAT(2, 180, info.height, 32, 0);
        char tc[16];
        std::snprintf(tc, sizeof tc, "00:00:01:%02d", frame % 30);
        EZ_DCPRINT(info.dc, 80, 0, tc);
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
    });
    QWidget* list = FormWithRows("TENS", 6, 1);
    ASSERT_TRUE(list);
    PaintSpy spy(list->findChild<QWidget*>("qt_scrollarea_viewport"));
    auto write = [&] {
        ++frame;
        spy.paints = spy.area = 0;
        EZ_POSTLVITEMTEXT("tens", 100, 0, 0, "0");
        for (int i = 0; i < 5; ++i) EZ_DOEVENTS(255);
        return spy.area;
    };
    for (int n = 0; n < 25; ++n) write();
    int unitsMost = 0, tensLeast = 1 << 30;
    for (int n = 0; n < 30; ++n) {
        const int area = write();
        EXPECT_EQ(spy.paints, 1) << frame;
        if (frame % 10 == 9) continue;
        if (frame % 10 != 0) {
            unitsMost = std::max(unitsMost, area);
            continue;
        }
        tensLeast = std::min(tensLeast, area);
        ExpectScreenShowsAWholeRepaint(list, 20);
    }
    EXPECT_GT(unitsMost, 0);
    EXPECT_LT(unitsMost, tensLeast);
}

// Fills and digits a repaint writes into the window's pixels itself are
// what Qt paints: on a background that changes under the same digits, and
// in a colour that changes on the same background.
TEST_F(ToolkitTest, PixelsWrittenStraightAreWhatQtPaints) {
    EZ_DEFCOLOR(83, 250, 250, 240);
    EZ_DEFCOLOR(84, 20, 30, 120);
    EZ_DEFCOLOR(85, 200, 40, 40);
    EZ_DEFCOLOR(86, 0, 90, 0);
    int frame = 0;
    onDesign = [](const std::string&) { EZ_LISTVIEW(100, "Column 1{40}", 0, 0, 50, 6, "NOSV"); };
    onEvent = [&](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
        EzDrawInfo info;
        if (id != 100 || code != EZ_EV_OWNERDRAW || !EZ_STARTOWNERDRAW(value, info)) return;
        // Row 1 changes its background every other frame, row 2 its digits'
        // colour every third.
        const bool otherBackground = info.item == 1 && frame % 2 == 1;
        const bool otherColour = info.item == 2 && frame / 3 % 2 == 1;
        EZ_COLOR(0, otherBackground ? 84 : 83);
        EZ_DCDRAW(info.dc, EZ_DRAW_FILL, 0, 0, info.width, info.height, 1);
        EZ_COLOR(otherColour ? 86 : 85, -1);
        EZ_SETPRINTFORMAT(2, 180, info.height, 32, 0);
        char tc[16];
        std::snprintf(tc, sizeof tc, "00:00:%02d:%02d", frame / 30 % 60, frame % 30);
        EZ_DCPRINT(info.dc, 80, 0, tc);
        EZ_SETPRINTFORMAT(0, 0, 0, 0, 0);
        EZ_ENDOWNERDRAW(value);
    };
    QWidget* list = FormWithRows("STRAIGHT", 6, 3);
    ASSERT_TRUE(list);
    for (int i = 0; i < 20; ++i) EZ_DOEVENTS(255);
    for (frame = 1; frame <= 36; ++frame) {
        for (int row = 0; row < 3; ++row) EZ_POSTLVITEMTEXT("straight", 100, row, 0, "0");
        for (int i = 0; i < 5; ++i) EZ_DOEVENTS(255);
        ExpectScreenShowsAWholeRepaint(list, 60);
        if (HasFailure()) break;
    }
}

TEST_F(ToolkitTest, TheFocusFrameRingsAFocusedListThroughRepaintsOfRowsAtItsEdge) {
    std::array<std::string, 2> tc = {"00", "00"};
    OwnerDrawnRows(10, [&](const EzDrawInfo& info, int32_t) {
        EZ_DCPRINT(info.dc, 0, 0, tc[size_t(info.item) % 2]);  // against the left edge
    });
    auto* list = FormWithRows("RING", 12, 2);
    ASSERT_TRUE(list);
    list->window()->activateWindow();
    list->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return list->hasFocus(); }));
    for (int n = 0; n < 12; ++n) {
        tc[size_t(n % 2)] = std::to_string(10 + n);
        EZ_POSTLVITEMTEXT("ring", 100, n % 2, 0, "0");
        for (int i = 0; i < 5; ++i) EZ_DOEVENTS(255);
    }
    ExpectScreenShowsAWholeRepaint(list, 40);
    // Two pixels wide along every edge, and nothing of it further in.
    const QImage shown = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb ring = list->palette().color(QPalette::Highlight).rgb();
    const int w = shown.width(), h = shown.height(), midX = w / 2, midY = 10;
    for (const QPoint& p :
         {QPoint(0, midY), QPoint(1, midY), QPoint(w - 1, midY), QPoint(w - 2, midY),
          QPoint(midX, 0), QPoint(midX, 1), QPoint(midX, h - 1), QPoint(midX, h - 2)})
        EXPECT_EQ(shown.pixel(p), ring) << p.x() << "," << p.y();
    for (const QPoint& p :
         {QPoint(2, midY), QPoint(w - 3, midY), QPoint(midX, 2), QPoint(midX, h - 3)})
        EXPECT_NE(shown.pixel(p), ring) << p.x() << "," << p.y();
}
