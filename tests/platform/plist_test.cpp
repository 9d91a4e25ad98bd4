
#include "tests/mouse.h"  // The toolkit's property list over the real Qt backend (offscreen): item
// texts, drop-downs, in-place editing and buttons driven by key and mouse
// events, and the queries the Setup pages read it back with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/plist.h"
#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"
#include "tests/mouse.h"

namespace {

using namespace tarvolen;

constexpr int32_t kList = 140;
constexpr int32_t kOther = 141;

class PropertyListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        qt::SetCallbacks(
            [this](const std::string&, int32_t id, int32_t code, int32_t value, int32_t&) {
                if (id != kList) return;
                if (code == EZ_EV_PLCHANGED) changed.push_back(value);
                if (code == EZ_EV_PLBUTTON) pressed.push_back(value);
                if (code == EZ_EV_PLCHANGED && onChange) onChange(value);
            },
            [this](const std::string& form) {
                if (form != "SETUP") return;
                EZ_PLISTBOX(kList, items, 1, 1, 40.75, 10.25, "STV");
                EZ_TEXT(kOther, "", 1, 12, 10, 1.5, "");
            });
    }
    void TearDown() override {
        qt::UnloadAll();
        EZ_DOEVENTS(255);
    }

    // The Setup form: black, colours 0/0, the list and one other field.
    void Open(const std::string& initial) {
        items = initial;
        EZ_COLOR(0, 0);
        EZ_FORM("SETUP", "", "Setup", 0, 0, 45, 36, "");
        EZ_COLOR(-1, -1);
        QWidget* window = qt::FormWidget("SETUP");
        window->activateWindow();
        QApplication::setActiveWindow(window);
        for (int i = 0; i < 100 && !window->isActiveWindow(); ++i) Pump();
        list = qt::FindPropertyList("SETUP", kList);
        ASSERT_NE(list, nullptr);
        EZ_SETFOCUS("SETUP", kList);
        Pump();
    }
    static void Pump() {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Keys go where the operator's keyboard would send them.
    static QWidget* KeyTarget() {
        if (QWidget* popup = QApplication::activePopupWidget()) return popup;
        return QApplication::focusWidget();
    }
    static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                    const QString& text = QString()) {
        QWidget* to = KeyTarget();
        ASSERT_NE(to, nullptr);
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(to, &press);
        if (QWidget* now = KeyTarget()) {
            QKeyEvent release(QEvent::KeyRelease, key, mods, text);
            QApplication::sendEvent(now, &release);
        }
    }
    // Types Latin-1 text (a std::string of bytes) key by key.
    static void Type(const std::string& bytes) {
        for (char b : bytes) {
            QChar c = QChar(uchar(b));
            Key(int(c.toUpper().unicode()), Qt::NoModifier, QString(c));
        }
    }
    static void Click(QWidget* w, QPoint at, bool dbl = false) {
        tarvolen::testing::ClickAt(w, at, dbl);
    }
    void ClickValue(int32_t row) { Click(list->viewport(), list->ValueRect(row).center()); }
    static QListWidget* Popup() {
        return qobject_cast<QListWidget*>(QApplication::activePopupWidget());
    }
    static std::vector<std::string> PopupTexts() {
        std::vector<std::string> out;
        if (QListWidget* p = Popup()) {
            for (int i = 0; i < p->count(); ++i) out.push_back(p->item(i)->text().toStdString());
        }
        return out;
    }
    QLineEdit* Editor() const { return list->findChild<QLineEdit*>(); }
    bool Editing() const { return Editor() && Editor()->isVisible(); }
    std::string Item(int32_t i) const { return EZ_GETITEMTEXT("setup", kList, i); }
    void Rebuild(const std::vector<std::string>& page) {
        EZ_SETREDRAWSTATE("setup", kList, 0);
        EZ_CLEAR("setup", kList);
        EZ_STARTCC("setup", kList);
        for (const std::string& item : page) EZ_ADDITEMS("setup", kList, item);
        EZ_ENDCC("setup", kList);
        EZ_SETREDRAWSTATE("setup", kList, 1);
    }

    std::string items;
    qt::PropertyList* list = nullptr;
    std::vector<int32_t> changed, pressed;
    std::function<void(int32_t)> onChange;
};

TEST_F(PropertyListTest, ItemTextsComposeSplitAndPassThroughTheListByteForByte) {
    struct Case {
        std::string label, value, choices, kind, text;
    };
    const std::vector<Case> cases = {
        {"Input 1", "", "", "", "Input 1"},
        {"Resolution", "1920x1080", "720x480;1920x1080;", "D",
         "Resolution{D}1920x1080[720x480;1920x1080;]"},
        {"Mode", "a[1]", "a[1];b", "D", "Mode{D}a[1][a[1];b]"},
        {"Fps", "29.97", "", "D", "Fps{D}29.97[]"},
        {"project", "news[1]", "", "T", "project{T}news[1]"},
        {"scene name", "caf\xE9 \x80\xFF;x", "", "T", "scene name{T}caf\xE9 \x80\xFF;x"},
        {"\xC4rger \xB0", "", "", "", "\xC4rger \xB0"},
        {"Segment Duration", "00:10:00;00", "", "B", "Segment Duration{B}00:10:00;00"},
        {"Logo", "/media/raid-1/a.png", "*.png;*.jpg", "F",
         "Logo{F}/media/raid-1/a.png[*.png;*.jpg]"},
        {"Colour", "255", "", "C", "Colour{C}255"},
        {"Primary Path", "", "", "T", "Primary Path{T}"},
    };
    Open("");
    EZ_STARTCC("setup", kList);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EZ_DEFPLINFO(c.label, c.value, c.choices, c.kind, 0), c.text);
        std::string label = "?", value = "?", choices = "?", kind = "?";
        EZ_GETPLINFO(c.text, label, value, choices, kind);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(choices, c.choices);
        EXPECT_EQ(kind, c.kind);
        EZ_ADDITEMS("setup", kList, c.text);
    }
    EZ_ENDCC("setup", kList);
    ASSERT_EQ(EZ_FINDLAST("setup", kList), int32_t(cases.size()) - 1);
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(Item(int32_t(i)), cases[i].text);

    // A drop-down written without a list has no choices; "|" separates items.
    std::string label, value, choices, kind;
    EZ_GETPLINFO("Fps{D}25", label, value, choices, kind);
    EXPECT_EQ(value, "25");
    EXPECT_EQ(choices, "");
    EZ_CLEAR("setup", kList);
    EZ_ADDITEMS("setup", kList, "A|x{T}1|B");
    EXPECT_EQ(EZ_FINDLAST("setup", kList), 2);
    EXPECT_EQ(Item(1), "x{T}1");
}

TEST_F(PropertyListTest, DropDownChosenFromTheKeyboardReportsEachRealChangeOnce) {
    Open("Input 1|Resolution{D}720x480[720x480;1920x1080;]|Fps{D}25[25;29.97;50]");
    Key(Qt::Key_Down);  // past the header
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 1);

    Key(Qt::Key_F4);
    ASSERT_NE(Popup(), nullptr);
    EXPECT_EQ(PopupTexts(), (std::vector<std::string>{"720x480", "1920x1080"}));
    EXPECT_EQ(Popup()->currentRow(), 0);
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(Item(1), "Resolution{D}1920x1080[720x480;1920x1080;]");
    EXPECT_EQ(changed, std::vector<int32_t>{1});

    // Re-choosing the shown value, or leaving with Esc, changes nothing.
    Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_NE(Popup(), nullptr);
    EXPECT_EQ(Popup()->currentRow(), 1);
    Key(Qt::Key_Return);
    Key(Qt::Key_Space);
    ASSERT_NE(Popup(), nullptr);
    Key(Qt::Key_Up);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(Item(1), "Resolution{D}1920x1080[720x480;1920x1080;]");
    EXPECT_EQ(changed, std::vector<int32_t>{1});

    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    ASSERT_NE(Popup(), nullptr);
    Key(Qt::Key_End);
    Key(Qt::Key_Enter);
    EXPECT_EQ(Item(2), "Fps{D}50[25;29.97;50]");
    EXPECT_EQ(changed, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(pressed, std::vector<int32_t>{});
}

TEST_F(PropertyListTest, DropDownChosenWithTheMouse) {
    Open("Input 1|Resolution{D}720x480[720x480;1920x1080;]|Fps{D}25[25;29.97;50]");
    ClickValue(2);
    QListWidget* popup = Popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(EZ_GETCURRENTPROPINDEX("setup", kList), 2);
    Click(popup->viewport(), popup->visualItemRect(popup->item(1)).center());
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(Item(2), "Fps{D}29.97[25;29.97;50]");
    EXPECT_EQ(changed, std::vector<int32_t>{2});
    EXPECT_EQ(EZ_GETCURRENTPROPNAME("setup", kList), "Fps");

    ClickValue(2);
    popup = Popup();
    ASSERT_NE(popup, nullptr);
    Click(popup->viewport(), popup->visualItemRect(popup->item(1)).center());
    EXPECT_EQ(changed, std::vector<int32_t>{2});
    // A click on the label only selects.
    Click(list->viewport(), list->RowRect(1).topLeft() + QPoint(20, 5));
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 1);
}

TEST_F(PropertyListTest, TextEditsCommitOnReturnFocusLossAndMessageAndCancelOnEsc) {
    Open("Files|project{T}news|master name{T}cam");
    ClickValue(1);
    ASSERT_TRUE(Editing());
    Type("-2\xE9");
    // Until it is committed the typed text is not the item's value.
    EXPECT_EQ(Item(1), "project{T}news");
    EXPECT_EQ(EZ_GETCURRENTPROPINDEX("setup", kList), 1);
    Key(Qt::Key_Return);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Item(1), "project{T}news-2\xE9");
    EXPECT_EQ(changed, std::vector<int32_t>{1});
    EXPECT_EQ(QApplication::focusWidget(), list);

    Key(Qt::Key_F2);  // the whole value selected: typing replaces it
    ASSERT_TRUE(Editing());
    Type("x");
    Key(Qt::Key_Escape);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Item(1), "project{T}news-2\xE9");
    EXPECT_EQ(changed, std::vector<int32_t>{1});

    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    ASSERT_TRUE(Editing());
    Key(Qt::Key_End);
    Type("_b");
    EZ_SETFOCUS("setup", kOther);
    Pump();
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Item(2), "master name{T}cam_b");
    EXPECT_EQ(changed, (std::vector<int32_t>{1, 2}));

    // The program's commit: message 277 with 8.
    ClickValue(1);
    ASSERT_TRUE(Editing());
    Key(Qt::Key_End);
    Type("Z");
    EZ_SENDMESSAGE("setup", kList, EZ_WM_VSCROLL, EZ_SB_ENDSCROLL, 0);
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Item(1), "project{T}news-2\xE9Z");
    EXPECT_EQ(changed, (std::vector<int32_t>{1, 2, 1}));
    // Nothing typed, or nothing open: no report.
    ClickValue(2);
    EZ_SENDMESSAGE("setup", kList, EZ_WM_VSCROLL, EZ_SB_ENDSCROLL, 0);
    EZ_SENDMESSAGE("setup", kList, EZ_WM_VSCROLL, EZ_SB_ENDSCROLL, 0);
    EXPECT_EQ(changed, (std::vector<int32_t>{1, 2, 1}));
}

TEST_F(PropertyListTest, ButtonItemReportsItsIndexFromKeysAndItsButton) {
    Open("Encoder|Segment Duration{B}00:00:00;00|Burn In{D}disabled[disabled;Timecode]");
    Key(Qt::Key_Down);
    Key(Qt::Key_Return);
    EXPECT_EQ(pressed, std::vector<int32_t>{1});
    Click(list->viewport(), list->ButtonRect(1).center());
    EXPECT_EQ(pressed, (std::vector<int32_t>{1, 1}));
    // The value beside the button is not the button.
    Click(list->viewport(), list->ValueRect(1).topLeft() + QPoint(6, 4));
    EXPECT_EQ(pressed, (std::vector<int32_t>{1, 1}));
    Key(Qt::Key_Space);
    EXPECT_EQ(pressed, (std::vector<int32_t>{1, 1, 1}));
    EXPECT_FALSE(Editing());
    EXPECT_EQ(Item(1), "Segment Duration{B}00:00:00;00");
    EXPECT_TRUE(changed.empty());
}

TEST_F(PropertyListTest, SelectionSkipsHeadersAndClearEmptiesEverything) {
    Open("A|x{T}1|B|y{T}2|z{D}p[p;q]");
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), -1);
    EXPECT_EQ(EZ_GETCURRENTPROPINDEX("setup", kList), -1);
    EXPECT_EQ(EZ_FINDLAST("setup", kList), 4);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 3);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, 2), 3);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, 3), -1);
    EXPECT_EQ(EZ_GETCURRENTPROPNAME("setup", kList), "y");
    Key(Qt::Key_End);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 4);
    Key(Qt::Key_Home);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 1);
    Key(Qt::Key_Up);  // nothing above but a header
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 1);

    EZ_CLEAR("setup", kList);
    EXPECT_EQ(EZ_FINDLAST("setup", kList), -1);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), -1);
    EXPECT_EQ(EZ_GETCURRENTPROPINDEX("setup", kList), -1);
    EXPECT_EQ(EZ_GETCURRENTPROPNAME("setup", kList), "");
    EXPECT_EQ(Item(0), "");
    EXPECT_EQ(EZ_GETITEMTEXT("setup", 999, 0), "");
    EXPECT_EQ(EZ_FINDLAST("nosuchform", kList), -1);
}

// The Setup window answers a change by reading the page, committing, and
// building the page again; an unrelated rebuild (the configuration watch)
// may come while the operator is typing.
TEST_F(PropertyListTest, PageRebuiltUnderTheOperatorKeepsPlaceAndTypedText) {
    const std::vector<std::string> page = {"Files", "project{T}news", "master name{T}cam",
                                           "Status{D}enabled[disabled;enabled]"};
    Open("");
    Rebuild(page);
    std::vector<std::string> readBack;
    onChange = [&](int32_t) {
        readBack.clear();
        for (int32_t i = 0; i <= EZ_FINDLAST("setup", kList); ++i) readBack.push_back(Item(i));
        EZ_SENDMESSAGE("setup", kList, EZ_WM_VSCROLL, EZ_SB_ENDSCROLL, 0);
        EZ_SETFOCUS("setup", kList);
        EZ_DOEVENTS(10);
        Rebuild(readBack);
        EZ_DOEVENTS(255);
    };
    Key(Qt::Key_End);
    Key(Qt::Key_Return);
    Key(Qt::Key_Up);
    Key(Qt::Key_Return);
    EXPECT_EQ(changed, std::vector<int32_t>{3});
    EXPECT_EQ(readBack.back(), "Status{D}disabled[disabled;enabled]");
    EXPECT_EQ(Item(3), "Status{D}disabled[disabled;enabled]");
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 3);
    Key(Qt::Key_Up);
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), 2);

    // Typing survives a rebuild of the same page and commits afterwards.
    Key(Qt::Key_Return);
    Key(Qt::Key_End);
    Type("2");
    onChange = nullptr;
    Rebuild(page);
    ASSERT_TRUE(Editing());
    EXPECT_EQ(Editor()->text().toStdString(), "cam2");
    Key(Qt::Key_Return);
    EXPECT_EQ(Item(2), "master name{T}cam2");
    EXPECT_EQ(changed, (std::vector<int32_t>{3, 2}));

    // Another page in its place: nothing is carried over.
    Key(Qt::Key_Return);
    Rebuild({"Input 1", "Resolution{D}a[a;b]", "Fps{D}25[25]"});
    EXPECT_FALSE(Editing());
    EXPECT_EQ(EZ_FINDNEXTSEL("setup", kList, -1), -1);

    // A handler that closes the window while the list reports.
    Rebuild(page);
    onChange = [&](int32_t) { EZ_UNLOADFORM("setup"); };
    ClickValue(1);
    Type("!");
    Key(Qt::Key_Return);
    Pump();
    EXPECT_FALSE(EZ_FORMEXISTS("setup"));
    EXPECT_EQ(changed, (std::vector<int32_t>{3, 2, 1}));
}

TEST_F(PropertyListTest, ReadableOnTheBlackSetupForm) {
    Open("");
    EZ_RESIZEC("setup", kList, 1, 1, 40.75, 32);  // fitted to the tab area, as the pages do
    EZ_STARTCC("setup", kList);
    for (std::string item :
         {"ch 3 master", "Status{D}enabled[disabled;enabled]",
          "Codec{D}ProRes 422 HQ[DNxHD;ProRes 422 HQ;]", "Quality{D}high[low;high;]",
          "Wrapper{D}mov[mov;mxf;]", "write{D}single[single;dual;]",
          "primary{D}/media/raid-1[/media/raid-1;/media/ssd;]", "secondary{D}none[none;]",
          "Override Primary path{D}disabled[disabled;enabled]", "Primary Path{T}/media/raid-1/news",
          "Override Secondary path{D}disabled[disabled;enabled]", "Secondary Path{T}",
          "Encoder Name{T}Caf\xE9 Nord", "Generate XML{D}off[on;off]",
          "Segment Mode{D}no[no;increment;manual;tc_break]", "Segment Duration{B}00:10:00;00",
          "Burn In{D}disabled[disabled;Timecode;System Time;Gps;File Name]", "ch 3 proxy",
          "Status{D}disabled[disabled;enabled]"})
        EZ_ADDITEMS("setup", kList, item);
    EZ_ENDCC("setup", kList);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Pump();
    QImage shot = qt::Grab("SETUP");
    ASSERT_FALSE(shot.isNull());
    if (const char* dir = std::getenv("TARVOLEN_SHOT_DIR"))
        shot.save(QString::fromStdString(std::string(dir) + "/plist_setup.png"));

    QPoint origin = list->viewport()->mapTo(qt::FormWidget("SETUP"), QPoint(0, 0));
    auto luminance = [](QColor c) {
        return 0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue();
    };
    // Each kind of row has text that stands out from its own background.
    auto contrast = [&](int32_t row, int left, int right) {
        QRect r = list->RowRect(row).translated(origin);
        double bg = luminance(shot.pixelColor(r.left() + left + 2, r.top() + 2));
        double most = 0;
        for (int y = r.top(); y < r.bottom(); ++y)
            for (int x = r.left() + left; x < r.left() + right; ++x)
                most = std::max(most, std::abs(luminance(shot.pixelColor(x, y)) - bg));
        return most;
    };
    const int half = list->ValueRect(1).left();
    EXPECT_GT(contrast(0, 0, half), 120);                          // header
    EXPECT_GT(contrast(1, 0, half), 120);                          // label
    EXPECT_GT(contrast(1, half, list->viewport()->width()), 120);  // value
    EXPECT_GT(contrast(2, half, list->viewport()->width()), 120);  // selected value
    // The list is no black hole on the black form, and its header band and
    // selection stand apart from the plain rows.
    QRect body = list->RowRect(3).translated(origin);
    QColor plain = shot.pixelColor(body.left() + half + 4, body.top() + 2);
    QColor header = shot.pixelColor(list->RowRect(0).translated(origin).topLeft() + QPoint(2, 2));
    QColor selected = shot.pixelColor(list->RowRect(2).translated(origin).topLeft() + QPoint(2, 2));
    EXPECT_NE(plain, QColor(0, 0, 0));
    EXPECT_NE(header, plain);
    EXPECT_NE(selected, plain);
    EXPECT_NE(selected, header);

    if (const char* dir = std::getenv("TARVOLEN_SHOT_DIR")) {
        ClickValue(9);
        qt::Grab("SETUP").save(QString::fromStdString(std::string(dir) + "/plist_editing.png"));
        Key(Qt::Key_Escape);
        ClickValue(2);
        if (QListWidget* popup = Popup())
            popup->grab().save(QString::fromStdString(std::string(dir) + "/plist_choices.png"));
    }
}

}  // namespace
