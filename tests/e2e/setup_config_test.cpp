// The recorder configuration end to end: the whole controller in this process
// (real Qt backend offscreen, real recorder link) against 24 emulated
// recorders, driven through the Setup window as an operator would.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../windows/while_open.h"
#include "config/xml_text.h"
#include "device/amp_control.h"
#include "device/sync_thread.h"
#include "platform/qt/listview.h"
#include "platform/qt/plist.h"
#include "platform/qt/qt_seam.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "tests/mouse.h"
#include "tests/platform/loopback_client.h"
#include "whole_program.h"
#include "windows/program.h"

namespace {

using namespace tarvolen;
using namespace std::chrono_literals;

constexpr const char* kSetup = "SETUP";
constexpr int32_t kGrid = 105;
constexpr int32_t kList = 140;
constexpr int32_t kTabs = 220;

using tarvolen::testing::Address;
using tarvolen::testing::WhileOpen;

// Another client of a recorder: one request with a document, its reply line.
std::string SendAsAnotherClient(const std::string& address, uint16_t port,
                                const std::string& request, const std::string& document) {
    const int fd = tarvolen::testing::ConnectWithReadTimeout(address, port);
    std::string got;
    if (fd >= 0) {
        const std::string frame =
            document.empty()
                ? request + "\n"
                : request + " #" + std::to_string(document.size()) + "\n" + document + "\n";
        (void)!write(fd, frame.data(), frame.size());
        char buffer[4096];
        // The greeting, then the reply.
        while (std::count(got.begin(), got.end(), '\n') < 2) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        close(fd);
    }
    return got.substr(got.find('\n') + 1);
}

class SetupConfigTest : public tarvolen::testing::WholeProgramTest {
  protected:
    // Opens Setup from the main window's button and runs body while it is up.
    void WithSetup(const std::function<void()>& body) {
        WhileOpen(
            kSetup, [] { qt::DeliverEvent("MAIN", 170, EZ_EV_CLICK, 0); }, body);
    }

    static void ChooseRow(int32_t row) {
        EZ_SETLVSEL(kSetup, kGrid, row);
        qt::DeliverEvent(kSetup, kGrid, EZ_EV_LVROWCHOSEN, row);
        EZ_DOEVENTS(255);
    }
    static void Click(QWidget* w, QPoint at) { tarvolen::testing::ClickAt(w, at); }
    static int32_t Row(const std::string& label) {
        for (int32_t i = 0; i <= EZ_FINDLAST(kSetup, kList); ++i) {
            std::string l, v, c, k;
            EZ_GETPLINFO(EZ_GETITEMTEXT(kSetup, kList, i), l, v, c, k);
            if (l == label) return i;
        }
        return -1;
    }
    static std::string Shown(const std::string& label) {
        const int32_t row = Row(label);
        std::string l, v, c, k;
        EZ_GETPLINFO(EZ_GETITEMTEXT(kSetup, kList, row), l, v, c, k);
        return row < 0 ? "<none>" : v;
    }
    // The operator opens the drop-down of label and clicks choice.
    static void Choose(const std::string& label, const std::string& choice) {
        qt::PropertyList* list = qt::FindPropertyList(kSetup, kList);
        ASSERT_NE(list, nullptr);
        const int32_t row = Row(label);
        ASSERT_GE(row, 0) << label;
        Click(list->viewport(), list->ValueRect(row).center());
        auto* popup = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr) << label;
        const auto found = popup->findItems(QString::fromLatin1(choice.c_str()), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << choice;
        Click(popup->viewport(), popup->visualItemRect(found[0]).center());
        EZ_DOEVENTS(255);
    }
    std::vector<std::string> Documents(const std::string& address) const {
        std::vector<std::string> out;
        for (const auto& e : bank->Journal()) {
            if (e.request == "SETCONFIG" && e.address == address) out.push_back(e.detail);
        }
        return out;
    }
    size_t AllDocuments() const {
        size_t n = 0;
        for (const auto& e : bank->Journal()) n += e.request == "SETCONFIG";
        return n;
    }
    static std::string Routing(const std::string& document) {
        return XmlTagText("<routing>", document);
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
        return n;
    }
    static void Screenshot(const std::string& name) {
        const char* dir = std::getenv("TARVOLEN_SCREENSHOTS");
        if (dir) qt::Grab(kSetup).save(QString::fromStdString(std::string(dir) + "/" + name));
    }
};

TEST_F(SetupConfigTest, AnEditOnTheInputsPageReachesTheRecorderAtOnce) {
    WithSetup([&] {
        ChooseRow(1);  // channel 02
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "1080i"; }));
        EXPECT_EQ(Shown("Fps"), "29.97");  // the recorder writes 2997
        Screenshot("setup-inputs.png");
        const size_t before = AllDocuments();

        Choose("Resolution", "720p");
        ASSERT_TRUE(PumpUntil([&] { return AllDocuments() > before; }));
        PumpUntil([] { return false; }, 300ms);
        const std::vector<std::string> sent = Documents(Address(1));
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(AllDocuments(), before + 1);
        const std::string& d = sent[0];
        EXPECT_EQ(d.rfind("<tarvolen>\r\n<input><index>0</index><video_input>sdi1</video_input>"
                          "<resolution>1280x720p</resolution><frame_rate>29.97</frame_rate>",
                          0),
                  0u)
            << d;
        EXPECT_NE(d.find("<scene>Ch1</scene>\r\n</project>\r\n</tarvolen>"), std::string::npos);
        EXPECT_NE(d.find("<name>Cam1</name>"), std::string::npos);
        // The page shows what the recorder now reports, and the controller's
        // picture of it builds the very document that was sent.
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "720p"; }));
        EXPECT_EQ(g_Settings->BuildConfigXml(1), d);
    });
}

TEST_F(SetupConfigTest, AudioRoutingFromThePageAndThePresetButtons) {
    WithSetup([&] {
        ChooseRow(1);
        EZ_SETTABSEL(kSetup, kTabs, 4);  // "Master Aud"
        ASSERT_TRUE(PumpUntil([] { return Shown("Ch 8") == "silent"; }));
        EXPECT_EQ(Shown("Ch 1"), "1");
        EXPECT_EQ(Shown("Ch 7"), "1kHz");
        EXPECT_TRUE(EZ_ISVISIBLE(kSetup, 180));
        Screenshot("setup-master-audio.png");

        Choose("Ch 3", "off");
        ASSERT_TRUE(PumpUntil([&] { return Documents(Address(1)).size() == 1; }));
        EXPECT_EQ(Routing(Documents(Address(1))[0]),
                  "<routing_element><key>analog</key><value>0</value></routing_element>\r\n"
                  "<routing_element><key>analog</key><value>1</value></routing_element>\r\n");
        ASSERT_TRUE(PumpUntil([] { return Row("Ch 3") < 0 && Row("Ch 2") > 0; }));

        // 6 tracks, then "4ch": two go, the rest take sources 1 to 4.
        qt::DeliverEvent(kSetup, 185, EZ_EV_CLICK, 0);  // "6ch"
        ASSERT_TRUE(PumpUntil([] { return Row("Ch 6") > 0; }));
        qt::DeliverEvent(kSetup, 180, EZ_EV_CLICK, 0);  // "4ch"
        ASSERT_TRUE(PumpUntil([&] { return Documents(Address(1)).size() == 3; }));
        EXPECT_EQ(Routing(Documents(Address(1))[2]),
                  "<routing_element><key>analog</key><value>0</value></routing_element>\r\n"
                  "<routing_element><key>analog</key><value>1</value></routing_element>\r\n"
                  "<routing_element><key>digital</key><value>2</value></routing_element>\r\n"
                  "<routing_element><key>digital</key><value>3</value></routing_element>\r\n");
        ASSERT_TRUE(PumpUntil([] { return Row("Ch 5") < 0 && Row("Ch 4") > 0; }));

        // 2 tracks, then "16ch": fourteen digital tracks fed from 3 to 16.
        qt::DeliverEvent(kSetup, 175, EZ_EV_CLICK, 0);  // "2ch"
        qt::DeliverEvent(kSetup, 200, EZ_EV_CLICK, 0);  // "16ch"
        ASSERT_TRUE(PumpUntil([&] { return Documents(Address(1)).size() == 5; }));
        const std::string routing = Routing(Documents(Address(1))[4]);
        EXPECT_EQ(Count(routing, "<routing_element>"), 16u);
        EXPECT_NE(routing.find("<key>digital</key><value>15</value></routing_element>\r\n"),
                  std::string::npos);
        ASSERT_TRUE(PumpUntil([] { return Shown("Ch 16") == "16"; }));
        EXPECT_EQ(Shown("Ch 3"), "3");
    });
}

TEST_F(SetupConfigTest, ApplyToAllCheckedSkipsTheShownRecordingAndUncheckedChannels) {
    // Channel 05 records, started at its recorder.
    const std::string reply = SendAsAnotherClient(Address(4), bank->Port(), "1 RECORD 1 Take", "");
    ASSERT_EQ(reply.rfind("1 OK", 0), 0u) << reply;
    ASSERT_TRUE(PumpUntil([] { return g_Settings->State(4).rfind("Record", 0) == 0; }));
    WithSetup([&] {
        ChooseRow(1);
        EZ_SETTABSEL(kSetup, kTabs, 3);  // "Projects"
        ASSERT_TRUE(PumpUntil([] { return Shown("project") == "Demo"; }));
        EZ_LVSETITEMSTATE(kSetup, kGrid, 7, EZ_STATEIMAGE(1), EZ_LVIS_STATEIMAGEMASK);
        const size_t before = bank->Journal().size();
        qt::DeliverEvent(kSetup, 155, EZ_EV_CLICK, 0);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back(), "|Apply to All Checked Channels?/tarvolen/&Yes|&No");
        std::vector<std::string> to;
        const auto journal = bank->Journal();
        for (size_t i = before; i < journal.size(); ++i) {
            if (journal[i].request != "SETCONFIG") continue;
            to.push_back(journal[i].address);
            EXPECT_EQ(journal[i].outcome, "ok") << journal[i].detail;
            EXPECT_EQ(journal[i].detail.find("<tape_id>"), std::string::npos);
        }
        std::vector<std::string> expected;
        for (int ch = 0; ch < 24; ++ch) {
            if (ch != 1 && ch != 4 && ch != 7) expected.push_back(Address(ch));
        }
        EXPECT_EQ(to, expected);
    });
}

TEST_F(SetupConfigTest, AChangeMadeAtTheRecorderAppearsOnTheOpenPage) {
    WithSetup([&] {
        ChooseRow(1);
        EZ_SETTABSEL(kSetup, kTabs, 3);
        ASSERT_TRUE(PumpUntil([] { return Shown("project") == "Demo"; }));
        Screenshot("setup-projects.png");
        const std::string reply =
            SendAsAnotherClient(Address(1), bank->Port(), "1 SETCONFIG 1",
                                "<tarvolen><project><project_name>news-am &amp; co</project_name>"
                                "<scene>Studio 2</scene></project></tarvolen>");
        ASSERT_EQ(reply.rfind("1 OK", 0), 0u) << reply;
        const auto changed = std::chrono::steady_clock::now();
        ASSERT_TRUE(PumpUntil([] { return Shown("project") == "news-am & co"; }));
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - changed)
                            .count();
        RecordProperty("shown_after_ms", static_cast<int>(ms));
        std::printf("change at the recorder shown after %lld ms\n", static_cast<long long>(ms));
        EXPECT_EQ(Shown("scene name"), "Studio 2");
    });
}

TEST_F(SetupConfigTest, EveryPageWithRealContent) {
    if (!std::getenv("TARVOLEN_SCREENSHOTS")) GTEST_SKIP() << "TARVOLEN_SCREENSHOTS not set";
    WithSetup([&] {
        ChooseRow(2);
        const char* names[] = {"setup-inputs.png", "setup-encoders.png", "setup-projects.png",
                               "setup-master-audio.png", "setup-proxy-audio.png"};
        for (int tab = 1; tab <= 5; ++tab) {
            EZ_SETTABSEL(kSetup, kTabs, tab);
            PumpUntil([] { return false; }, 300ms);
            Screenshot(names[tab - 1]);
        }
    });
}

}  // namespace

namespace {

// A key typed by the operator, to whatever has the focus.
void Press(int key, const QString& text = {}) {
    QWidget* to = QApplication::focusWidget();
    ASSERT_NE(to, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &release);
}

TEST_F(SetupConfigTest, EqualSilentTracksGoBackEachInItsPlace) {
    const std::string tracks =
        "<routing_element><key>analog</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>silent</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>silent</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>digital</key><value>2</value></routing_element>\r\n";
    const std::string reply =
        SendAsAnotherClient(Address(1), bank->Port(), "1 SETCONFIG 1",
                            "<tarvolen><encoder><index>0</index><audio>pcm24<routing>" + tracks +
                                "</routing></audio></encoder></tarvolen>");
    ASSERT_EQ(reply.rfind("1 OK", 0), 0u) << reply;
    WithSetup([&] {
        ChooseRow(1);
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "1080i"; }));
        Choose("Resolution", "720p");  // an Inputs edit: the routing goes back untouched
        ASSERT_TRUE(PumpUntil([&] { return Documents(Address(1)).size() == 2; }));
        EXPECT_EQ(Routing(Documents(Address(1))[1]), tracks);
        EXPECT_EQ(bank->Journal().back().outcome, "ok");
    });
}

TEST_F(SetupConfigTest, ASignedSegmentDurationIsRefusedAndNothingSent) {
    WithSetup([&] {
        ChooseRow(1);
        EZ_SETTABSEL(kSetup, kTabs, 2);  // "Encoders"
        ASSERT_TRUE(PumpUntil([] { return Row("Segment Duration") > 0; }));
        qt::PropertyList* list = qt::FindPropertyList(kSetup, kList);
        ASSERT_NE(list, nullptr);
        // The operator presses the item's button and types on the keypad.
        const auto typeOnKeypad = [&](const std::vector<std::pair<int, QString>>& keys) {
            WhileOpen(
                "TCENTRY",
                [&] {
                    Click(list->viewport(), list->ButtonRect(Row("Segment Duration")).center());
                },
                [&] {
                    for (const auto& [key, text] : keys) Press(key, text);
                    Press(Qt::Key_Return);
                });
        };
        const size_t before = AllDocuments();
        const size_t shown = boxes.size();
        if (const char* dir = std::getenv("TARVOLEN_SCREENSHOTS")) {
            qt::SetMessageBoxAnswerer([this, dir](const std::string&, const std::string& text,
                                                  const std::string& caption,
                                                  const std::string& buttons) {
                boxes.push_back(text + "/" + caption + "/" + buttons);
                if (text.find("segment duration") != std::string::npos)
                    qt::Grab("{MSGBOX}").save(QString(dir) + "/setup-duration-sign-refused.png");
                return 1;
            });
        }
        typeOnKeypad({{Qt::Key_Minus, "-"}, {Qt::Key_5, "5"}});
        PumpUntil([] { return false; }, 300ms);
        EXPECT_EQ(AllDocuments(), before);
        ASSERT_EQ(boxes.size(), shown + 1);
        EXPECT_EQ(boxes.back(),
                  "|A segment duration has no sign: type it without \"-\" or \"+\".|"
                  "Nothing was sent./tarvolen/&Ok");

        // Without a sign it goes out at once, to every encoder.
        typeOnKeypad({{Qt::Key_1, "1"}, {Qt::Key_0, "0"}, {Qt::Key_0, "0"}});
        ASSERT_TRUE(PumpUntil([&] { return AllDocuments() == before + 1; }));
        EXPECT_EQ(Count(Documents(Address(1)).back(), "<segment_duration>30</segment_duration>"),
                  4u);
    });
}

}  // namespace

namespace {

TEST_F(SetupConfigTest, ARecordingRowShowsTheFilesOfTheClipBeingRecorded) {
    const std::string reply = SendAsAnotherClient(
        Address(0), bank->Port(), "1 SETCONFIG 1",
        "<tarvolen><project><project_name>Caf&#233;</project_name></project></tarvolen>");
    ASSERT_EQ(reply.rfind("1 OK", 0), 0u) << reply;
    const auto cut = [](const std::string& file) {
        return file.substr(0, file.find("_avmxf") + 6);
    };
    for (int take = 0; take < 2; ++take) {
        qt::DeliverEvent("MAIN", 140, EZ_EV_CLICK, 0);  // Record
        ASSERT_TRUE(PumpUntil([] { return g_Settings->State(0).rfind("Record", 0) == 0; }));
        const recorder::ClipView clip = bank->Clips(Address(0)).back();
        ASSERT_EQ(clip.name.rfind("Caf\xE9_", 0), 0u) << clip.name;
        const std::string files = cut(clip.filesA.at(0)) + "|" + cut(clip.filesB.at(0));
        EXPECT_TRUE(PumpUntil([&] { return g_Settings->RecordFileNames(0) == files; }))
            << g_Settings->RecordFileNames(0) << " for " << files;
        qt::DeliverEvent("MAIN", 125, EZ_EV_CLICK, 0);  // Stop
        ASSERT_TRUE(PumpUntil([] { return g_Settings->State(0).rfind("Record", 0) != 0; }));
    }
}

}  // namespace

// ---- What the operator types reaches the recorder the row shows

namespace {

using tarvolen::testing::ClickAt;

// Keys as the operator types them, to whatever has the focus.
void TypeKeys(const std::string& text) {
    for (char c : text) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "nothing has the focus for '" << c << "'";
        const int key = c == '.'               ? Qt::Key_Period
                        : c >= '0' && c <= '9' ? Qt::Key_0 + (c - '0')
                                               : c;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(focus, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(focus, &release);
    }
}

void PressKey(int key) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(focus, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(focus, &release);
}

class OperatorInputTest : public SetupConfigTest {
  protected:
    // Double-clicks a grid row and runs body in the address dialog it opens.
    void EditAddress(int32_t row, const std::function<void()>& body) {
        auto* grid = dynamic_cast<qt::ListView*>(qt::ControlWidget(kSetup, kGrid));
        ASSERT_NE(grid, nullptr);
        const QPoint at = grid->RowRect(row).center();
        WhileOpen(
            "IPADDRESS", [&] { ClickAt(grid->viewport(), at, true); }, body);
    }
    // Clicks the value of a text item and types after what it holds.
    static void TypeInto(const std::string& label, const std::string& text) {
        qt::PropertyList* list = qt::FindPropertyList(kSetup, kList);
        ASSERT_NE(list, nullptr);
        const int32_t row = Row(label);
        ASSERT_GE(row, 0) << label;
        ClickAt(list->viewport(), list->ValueRect(row).center());
        PressKey(Qt::Key_End);
        TypeKeys(text);
    }
    size_t DocumentsTo(const std::string& address, const std::string& part) const {
        size_t n = 0;
        for (const std::string& d : Documents(address)) n += d.find(part) != std::string::npos;
        return n;
    }
};

TEST_F(OperatorInputTest, PagesOfARowWithANewAddressReachItsNewRecorder) {
    WithSetup([&] {
        ChooseRow(2);
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "1080i"; }));
        EditAddress(2, [&] {
            TypeKeys("127.0.0.110");
            PressKey(Qt::Key_Return);
            EXPECT_FALSE(EZ_FORMEXISTS("IPADDRESS"));
        });
        EXPECT_EQ(g_Settings->Address(2), "127.0.0.110");
        EXPECT_EQ(EZ_FINDNEXTSEL(kSetup, kGrid, -1), 2) << "the edited row stays selected";
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "1080i"; }));
        Screenshot("setup-address-changed.png");
        const size_t before = AllDocuments();
        Choose("Resolution", "720p");
        ASSERT_TRUE(PumpUntil([&] { return AllDocuments() > before; }));
        PumpUntil([] { return false; }, 300ms);
        EXPECT_EQ(Documents(Address(9)).size(), 1u);
        EXPECT_TRUE(Documents(Address(2)).empty()) << "the old recorder is left alone";
    });
}

TEST_F(OperatorInputTest, AChannelWithoutAnAddressIsOffAndNeverDialled) {
    WithSetup([&] {
        ChooseRow(4);
        ASSERT_TRUE(PumpUntil([] { return Shown("Resolution") == "1080i"; }));
        const int dials = links.ours->Dials();
        EditAddress(4, [&] {
            qt::DeliverEvent("IPADDRESS", 125, EZ_EV_CLICK, 0);  // "C&lear"
            PressKey(Qt::Key_Return);
        });
        EditAddress(5, [&] {
            TypeKeys("0.0.0.0");
            PressKey(Qt::Key_Return);
        });
        EXPECT_EQ(g_Settings->Address(4), "");
        EXPECT_EQ(g_Settings->Address(5), "0.0.0.0");
        ASSERT_TRUE(PumpUntil([] {
            return g_Settings->State(4).rfind("Off", 0) == 0 &&
                   g_Settings->State(5).rfind("Off", 0) == 0;
        }));
        EXPECT_EQ(Row("Resolution"), -1) << "no page for a channel without a recorder";
        PumpUntil([] { return false; }, 300ms);
        EXPECT_EQ(links.ours->Dials(), dials);
    });
    // Nor at the next connect.
    g_Ampcontrol->PauseStatusThread();
    g_Ampcontrol->Connect(0);
    g_SyncThread->SetSuspendSync(0);
    ASSERT_TRUE(PumpUntil([] { return g_Settings->State(3) == "Stop"; }));
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(g_Settings->State(4).rfind("Off", 0), 0u) << g_Settings->State(4);
    EXPECT_EQ(g_Settings->State(5).rfind("Off", 0), 0u) << g_Settings->State(5);
}

TEST_F(OperatorInputTest, EscOrOkWhileTypingSendsTheValueAndClosesAtOnce) {
    for (const bool esc : {true, false}) {
        std::string project;
        WithSetup([&] {
            ChooseRow(1);
            EZ_SETTABSEL(kSetup, kTabs, 3);  // "Projects"
            ASSERT_TRUE(PumpUntil([] { return Shown("project").rfind("Demo", 0) == 0; }));
            project = Shown("project") + (esc ? "Esc" : "Ok");
            TypeInto("project", esc ? "Esc" : "Ok");
            if (!esc) Screenshot("setup-typing.png");
            if (esc) {
                PressKey(Qt::Key_Escape);
            } else {
                QWidget* ok = qt::ControlWidget(kSetup, 100);
                ClickAt(ok, ok->rect().center());
            }
            EXPECT_FALSE(EZ_FORMEXISTS(kSetup)) << (esc ? "Esc" : "one click on Ok");
        });
        EXPECT_EQ(DocumentsTo(Address(1), "<project_name>" + project + "<"), 1u) << project;
    }
}

}  // namespace
