// The Setup window's channel grid and the address dialog on the real toolkit,
// without recorders: what the bulk buttons do to the channel table, what the
// grid shows, what "&Ok" writes, and the address editor as typed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "../shell/temp_dir.h"
#include "platform/qt/qt_seam.h"
#include "shell/app.h"
#include "shell/form_info.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "while_open.h"
#include "windows/main_window.h"
#include "windows/setup_window.h"

namespace {

using namespace tarvolen;

constexpr const char* kSetup = "SETUP";
constexpr int32_t kGrid = 105;

using tarvolen::testing::WhileOpen;

void Key(QWidget* to, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
}

void Type(const std::string& text) {
    for (char c : text) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "nothing has the focus for '" << c << "'";
        if (c == '\t' || c == '\b') {
            Key(focus, c == '\t' ? Qt::Key_Tab : Qt::Key_Backspace);
            continue;
        }
        int key = c == '.' ? Qt::Key_Period : c >= '0' && c <= '9' ? Qt::Key_0 + (c - '0') : c;
        Key(focus, key, QString(QChar(c)));
    }
}

class SetupWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qt::EnsureApplication(0, nullptr);
        Application app;
        app.windows["SETUP"] = {DesignSetupWindow, SetupWindowEvent};
        app.windows["IPADDRESS"] = {DesignAddressDialog, AddressDialogEvent};
        app.windows["MAIN"] = {DesignMainWindow, MainWindowEvent};
        InstallApplication(std::move(app));
        qt::SetCallbacks(ApplicationEvent, ApplicationDesign);
        DefineProgramFonts(6, 30);
        DefineProgramColors();
        // The button colours come with the main window.
        qt::DeliverEvent("MAIN", 0, EZ_EV_CREATED, 0);
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string&, const std::string&) {
            boxes.push_back(text);
            return 1;
        });
        g_Settings = &settings;
        g_FormInfo = &formInfo;
    }
    void TearDown() override {
        qt::SetMessageBoxAnswerer(nullptr);
        qt::UnloadAll();
        g_Settings = nullptr;
        g_FormInfo = nullptr;
    }
    std::string Cell(int32_t row, int32_t column) {
        return EZ_GETLVITEMTEXT(kSetup, kGrid, row, column);
    }
    std::string SettingsFile() {
        std::ifstream in(settings.SettingsPath());
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    tarvolen::testing::TempDir dir;
    cSettings settings{dir.File("tarvolen")};
    cFormInfo formInfo;
    std::vector<std::string> boxes;
};

TEST_F(SetupWindowTest, GridShowsTheChannelTable) {
    settings.SetChannelName(0, "Camera A");
    settings.SetAddress(0, "10.1.2.3");
    settings.SetShown(1, 0);
    settings.SetInternalChannel(2, 0);
    settings.SetInternalChannel(3, 5);
    settings.SetInternalChannel(4, 4);
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        ASSERT_EQ(EZ_GETLVCOUNT(kSetup, kGrid), 24);
        EXPECT_EQ(Cell(0, 0), "1");
        EXPECT_EQ(Cell(23, 0), "24");
        EXPECT_EQ(Cell(0, 1), "Camera A");
        EXPECT_EQ(Cell(0, 2), "10.1.2.3       ");  // the 15-character field as held
        EXPECT_EQ(EZ_LVGETITEMSTATEIMG(kSetup, kGrid, 0), 2);
        EXPECT_EQ(EZ_LVGETITEMSTATEIMG(kSetup, kGrid, 1), 1);
        EXPECT_EQ(Cell(2, 3), "");
        EXPECT_EQ(Cell(3, 3), "");
        EXPECT_EQ(Cell(4, 3), "4");
        EXPECT_EQ(EZ_FINDNEXTSEL(kSetup, kGrid, -1), 0);
        // The audio presets, the naming help and the unfinished button start hidden.
        for (int32_t id : {145, 150, 160, 175, 200, 205, 210, 215})
            EXPECT_FALSE(EZ_ISVISIBLE(kSetup, id)) << id;
        EXPECT_EQ(EZ_GETTABSEL(kSetup, 220), 1);
    });
}

TEST_F(SetupWindowTest, IncrementNumbersTheFollowingRowsFromTheRowAbove) {
    struct Case {
        std::string first;
        std::vector<std::string> expected;  // rows 1 and 2 after two presses
    };
    for (const Case& c : {Case{"192.0.2.10", {"192.0.2.11", "192.0.2.12"}},
                          Case{"10.0.0.254", {"10.0.0.255", "10.0.0.0"}}}) {
        for (int32_t ch = 0; ch < 24; ++ch) {
            settings.SetShown(ch, 0);
            settings.SetChecked(ch, 0);
            settings.SetInternalChannel(ch, 3);
        }
        settings.SetAddress(0, c.first);
        WhileOpen(kSetup, OpenSetupWindow, [&] {
            EZ_SETLVSEL(kSetup, kGrid, 1);
            qt::DeliverEvent(kSetup, 135, EZ_EV_CLICK, 0);
            EXPECT_EQ(EZ_FINDNEXTSEL(kSetup, kGrid, -1), 2) << "moves on to the next row";
            qt::DeliverEvent(kSetup, 135, EZ_EV_CLICK, 0);
        });
        for (int32_t ch : {1, 2}) {
            EXPECT_EQ(settings.Address(ch), c.expected[size_t(ch - 1)]) << c.first;
            EXPECT_EQ(settings.Shown(ch), 1);
            EXPECT_EQ(settings.Checked(ch), 1);
            EXPECT_EQ(settings.InternalChannel(ch), 1);
        }
    }
    // Nothing to count from: the first row, or a row above without an address.
    settings.SetAddress(4, "");
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        for (int32_t row : {0, 5}) {
            EZ_SETLVSEL(kSetup, kGrid, row);
            qt::DeliverEvent(kSetup, 135, EZ_EV_CLICK, 0);
        }
    });
    EXPECT_EQ(settings.Address(5), "127.0.0.106");
}

TEST_F(SetupWindowTest, BulkButtonsAndOkWriteShownAndCheckedToTheFile) {
    settings.SetAddress(6, "");
    settings.SetAddress(7, "   ");
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        qt::DeliverEvent(kSetup, 115, EZ_EV_CLICK, 0);  // "Select No"
        for (int32_t row = 0; row < 24; ++row)
            EXPECT_EQ(EZ_LVGETITEMSTATEIMG(kSetup, kGrid, row), 1) << row;
        qt::DeliverEvent(kSetup, 110, EZ_EV_CLICK, 0);  // "Select All": those with an address
        for (int32_t row = 0; row < 24; ++row)
            EXPECT_EQ(EZ_LVGETITEMSTATEIMG(kSetup, kGrid, row), row == 6 || row == 7 ? 1 : 2)
                << row;
        // The operator unticks row 3 and clears row 9.
        EZ_LVSETITEMSTATE(kSetup, kGrid, 3, EZ_STATEIMAGE(1), EZ_LVIS_STATEIMAGEMASK);
        EZ_SETLVSEL(kSetup, kGrid, 9);
        qt::DeliverEvent(kSetup, 125, EZ_EV_CLICK, 0);
        EXPECT_EQ(EZ_FINDNEXTSEL(kSetup, kGrid, -1), 10);
        qt::DeliverEvent(kSetup, 100, EZ_EV_CLICK, 0);  // "&Ok"
        EXPECT_FALSE(EZ_FORMEXISTS(kSetup));
    });
    EXPECT_EQ(settings.Shown(3), 0);
    EXPECT_EQ(settings.Checked(3), 0) << "an unticked channel leaves group commands";
    EXPECT_EQ(settings.Checked(4), 1);
    EXPECT_EQ(settings.Address(9), "");
    EXPECT_EQ(settings.InternalChannel(9), 0);
    const std::string file = SettingsFile();
    EXPECT_NE(file.find("[Show]\n0=1\n1=1\n2=1\n3=0\n"), std::string::npos) << file;
    EXPECT_NE(file.find("[Checked]\n0=1\n1=1\n2=1\n3=0\n"), std::string::npos) << file;
}

TEST_F(SetupWindowTest, TrackLinesAndEscLeaveTheWayOkDoes) {
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        qt::DeliverEvent(kSetup, 120, EZ_EV_CLICK, 0);
        EXPECT_EQ(settings.TrackLines(), 2);
        qt::DeliverEvent(kSetup, 130, EZ_EV_CLICK, 0);
        EXPECT_EQ(settings.TrackLines(), 3);
        EZ_LVSETITEMSTATE(kSetup, kGrid, 0, EZ_STATEIMAGE(1), EZ_LVIS_STATEIMAGEMASK);
        EZ_SETFOCUS(kSetup, kGrid);
        Key(qt::ControlWidget(kSetup, kGrid), Qt::Key_Escape);
        EXPECT_FALSE(EZ_FORMEXISTS(kSetup));
    });
    EXPECT_EQ(settings.Shown(0), 0);
    const std::string file = SettingsFile();
    EXPECT_NE(file.find("[Show]\n0=0\n"), std::string::npos) << file;
    EXPECT_NE(file.find("TrackLines=3"), std::string::npos) << file;
}

class AddressDialogTest : public SetupWindowTest {
  protected:
    // Opens the dialog on a row the way a double click does, runs body in it.
    void Edit(int32_t row, const std::function<void()>& body) {
        WhileOpen(kSetup, OpenSetupWindow, [&] {
            WhileOpen(
                "IPADDRESS", [&] { qt::DeliverEvent(kSetup, kGrid, EZ_EV_LVACTIVATE, row); }, body);
        });
    }
    // The octet fields of the address editor, in order.
    std::vector<QLineEdit*> Octets() {
        QWidget* editor = qt::ControlWidget("IPADDRESS", 100);
        std::vector<QLineEdit*> octets;
        if (editor) {
            for (QLineEdit* e : editor->findChildren<QLineEdit*>()) octets.push_back(e);
        }
        return octets;
    }
};

// Tab reads the dialog as a person does: name, internal channel, address,
// then the buttons, and round again.
TEST_F(AddressDialogTest, TabGoesNameChannelAddressButtons) {
    Edit(1, [&] {
        QWidget* dialog = qt::FormWidget("IPADDRESS");
        dialog->activateWindow();
        QApplication::setActiveWindow(dialog);
        EZ_SETFOCUS("IPADDRESS", 120);
        EZ_DOEVENTS(255);
        auto owner = [](QWidget* w) {
            for (int32_t id : {120, 130, 100, 140, 150, 105, 125, 2}) {
                QWidget* c = qt::ControlWidget("IPADDRESS", id);
                if (c && (c == w || c->isAncestorOf(w))) return id;
            }
            return -1;
        };
        std::vector<int32_t> visited;
        for (int i = 0; i < 18 && visited.size() < 9; ++i) {
            const int32_t id = owner(QApplication::focusWidget());
            if (visited.empty() || visited.back() != id) visited.push_back(id);
            Key(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(visited, (std::vector<int32_t>{120, 130, 100, 140, 150, 105, 125, 2, 120}));
    });
}

TEST_F(AddressDialogTest, TypedValuesReachTheChannel) {
    settings.SetAddress(2, "127.0.0.103");
    Edit(2, [&] {
        EXPECT_EQ(EZ_GETTEXT("IPADDRESS", 120), "CH 03");
        EXPECT_EQ(EZ_GETCOMBOINDEX("IPADDRESS", 130), 0);
        ASSERT_EQ(Octets().size(), 4u);
        EXPECT_EQ(Octets()[3]->text(), "103");
        EZ_SETTEXT("IPADDRESS", 120, "Studio \xE9");
        EZ_SETCOMBOINDEX("IPADDRESS", 130, 1);
        // Typed as an operator would: the editor has the focus; "." moves on.
        EZ_SENDMESSAGE("IPADDRESS", 100, EZ_IPM_CLEARADDRESS, 0, 0);
        EZ_SETFOCUS("IPADDRESS", 100);
        Type("10.20.300");  // the third octet refuses the "0" that makes 300
        Type(".7");
        Key(QApplication::focusWidget(), Qt::Key_Return);  // presses "&Ok"
        EXPECT_FALSE(EZ_FORMEXISTS("IPADDRESS"));
    });
    EXPECT_EQ(settings.Address(2), "10.20.30.7");
    EXPECT_EQ(settings.ChannelName(2), "Studio \xE9");
    EXPECT_EQ(settings.InternalChannel(2), 2);
}

TEST_F(AddressDialogTest, AnAddressTypedOverTheShownOneIsExactlyThatAddress) {
    struct Case {
        std::string shown;
        std::string typed;  // "\t" Tab, "\b" Backspace; then Return
        std::string stored;
    };
    const Case cases[] = {
        {"127.0.0.103", "192.168.1.20", "192.168.1.20"},
        {"127.0.0.103", "192168001020", "192.168.1.20"},
        {"127.0.0.103", "1.2.3.4", "1.2.3.4"},
        {"127.0.0.103", "10\t20\t30\t40", "10.20.30.40"},
        {"127.0.0.103", "10.7", "10.7.0.103"},
        // Back over the second part into the first, then on again.
        {"127.0.0.103", "192.16\b\b\b\b3.10.0.1", "193.10.0.1"},
        {"", "192.168.1.20", "192.168.1.20"},
        {"", "192168001020", "192.168.1.20"},
        {"", "10\t0\t0\t5", "10.0.0.5"},
    };
    for (const Case& c : cases) {
        settings.SetAddress(2, c.shown);
        Edit(2, [&] {
            Type(c.typed);
            Key(QApplication::focusWidget(), Qt::Key_Return);
        });
        EXPECT_EQ(settings.Address(2), c.stored) << c.shown << " + " << c.typed;
    }
    // A whole address pasted into the first part replaces all four.
    settings.SetAddress(2, "127.0.0.103");
    Edit(2, [&] {
        QGuiApplication::clipboard()->setText("10.1.2.3");
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, "v");
        QApplication::sendEvent(QApplication::focusWidget(), &paste);
        Key(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(settings.Address(2), "10.1.2.3");
}

TEST_F(AddressDialogTest, ASaveThatFailsSaysWhyAndTheTableKeepsTheChange) {
    ASSERT_TRUE(settings.SaveSettings());
    const std::string before = SettingsFile();
    ::chmod(settings.SettingsPath().c_str(), 0444);
    Edit(2, [&] {
        EZ_SETFOCUS("IPADDRESS", 120);
        Type("x");
        Key(QApplication::focusWidget(), Qt::Key_Return);
    });
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        Key(qt::ControlWidget(kSetup, kGrid), Qt::Key_Escape);
        EXPECT_FALSE(EZ_FORMEXISTS(kSetup));
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(settings.SettingsPath()), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("read-only"), std::string::npos) << boxes[0];
    EXPECT_EQ(settings.ChannelName(2), "CH 03x");
    EXPECT_EQ(SettingsFile(), before);
}

TEST_F(AddressDialogTest, PartialAddressIsRefusedAndEmptyGivesNoAddress) {
    Edit(4, [&] {
        EZ_SENDMESSAGE("IPADDRESS", 100, EZ_IPM_CLEARADDRESS, 0, 0);
        EZ_SETFOCUS("IPADDRESS", 100);
        Type("10.0");
        qt::DeliverEvent("IPADDRESS", 105, EZ_EV_CLICK, 0);
        EXPECT_TRUE(EZ_FORMEXISTS("IPADDRESS")) << "half an address is never taken";
        ASSERT_EQ(boxes.size(), 1u);
        EZ_SENDMESSAGE("IPADDRESS", 100, EZ_IPM_CLEARADDRESS, 0, 0);
        qt::DeliverEvent("IPADDRESS", 105, EZ_EV_CLICK, 0);
    });
    EXPECT_EQ(settings.Address(4), "") << "a channel without a recorder, not 0.0.0.0";
}

TEST_F(AddressDialogTest, AnAddressTheEditorCannotShowIsKeptUnlessRetyped) {
    struct Case {
        std::string stored;
        std::string shown;  // the four octets, joined by "."
        std::string afterOk;
    };
    for (const Case& c : {Case{"10.1.2.3", "10.1.2.3", "10.1.2.3"}, Case{"10.0.0", "...", "10.0.0"},
                          Case{"10.0.0.300", "...", "10.0.0.300"},
                          Case{"studio-a", "...", "studio-a"}, Case{"", "...", ""}}) {
        settings.SetAddress(1, c.stored);
        Edit(1, [&] {
            std::string shown;
            for (QLineEdit* octet : Octets())
                shown += (shown.empty() && octet == Octets().front() ? "" : ".") +
                         octet->text().toStdString();
            EXPECT_EQ(shown, c.shown) << c.stored;
            qt::DeliverEvent("IPADDRESS", 105, EZ_EV_CLICK, 0);
        });
        EXPECT_EQ(settings.Address(1), c.afterOk) << c.stored;
    }
}

TEST_F(SetupWindowTest, NamingHelpPutsATabBeforeEveryToken) {
    const std::string help = NamingHelpText();
    EXPECT_EQ(help.rfind("general\t%P = project|\t%E = encoder|", 0), 0u);
    size_t percents = 0, tabs = 0;
    for (size_t i = 0; i < help.size(); ++i) {
        if (help[i] != '%') continue;
        ++percents;
        if (i > 0 && help[i - 1] == '\t') ++tabs;
    }
    EXPECT_EQ(percents, 16u);
    EXPECT_EQ(tabs, 16u);
    EXPECT_NE(help.find("||date\t%D"), std::string::npos);
}

// The recorders expand %M to the month: the help the window shows says so.
TEST_F(SetupWindowTest, NamingHelpSaysMIsTheMonth) {
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        auto* help = qobject_cast<QLabel*>(qt::ControlWidget(kSetup, 145));
        ASSERT_NE(help, nullptr);
        const QString text = help->text();
        EXPECT_TRUE(text.contains("%M = 2 digit month")) << text.toStdString();
        EXPECT_TRUE(text.contains("%d = 2 digit day")) << text.toStdString();
        EXPECT_FALSE(text.contains("%M = 2 digit day")) << text.toStdString();
    });
}

}  // namespace

namespace {

TEST_F(AddressDialogTest, Screenshots) {
    const char* dir = std::getenv("TARVOLEN_SCREENSHOTS");
    if (dir == nullptr) GTEST_SKIP() << "TARVOLEN_SCREENSHOTS not set";
    settings.SetAddress(3, "");
    settings.SetShown(5, 0);
    WhileOpen(kSetup, OpenSetupWindow, [&] {
        EZ_SETLVSEL(kSetup, kGrid, 2);
        qt::Grab(kSetup).save(QString(dir) + "/setup.png");
        WhileOpen(
            "IPADDRESS", [&] { qt::DeliverEvent(kSetup, kGrid, EZ_EV_LVACTIVATE, 2); },
            [&] { qt::Grab("IPADDRESS").save(QString(dir) + "/address-dialog.png"); });
    });
}

}  // namespace
