// The whole controller against 20 of our emulated recorders (channels 1-20)
// and 4 emulated decks of the HyperDeck Ethernet Protocol (channels 21-24).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "../windows/while_open.h"
#include "cliplist/cliplist.h"
#include "device/amp_control.h"
#include "platform/qt/plist.h"
#include "platform/qt/qt_seam.h"
#include "shell/globals.h"
#include "shell/ini.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "tests/mouse.h"
#include "whole_program.h"
#include "windows/setup_window.h"

namespace {

using namespace tarvolen;
using namespace std::chrono_literals;
using tarvolen::testing::Address;

constexpr int kFirstDeck = 20;

// A client of one emulated deck, as a panel or a second console would be.
struct DeckClient {
    int fd = -1;
    std::string heard;
    DeckClient(const std::string& address, uint16_t port) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return;
        Until("\r\n\r\n");  // the greeting
    }
    ~DeckClient() { ::close(fd); }
    void Say(const std::string& line) { (void)!::write(fd, line.data(), line.size()); }
    bool Until(const std::string& text) {
        char buf[512];
        while (heard.find(text) == std::string::npos) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) return false;
            heard.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    }
};

class DeckBankTest : public tarvolen::testing::WholeProgramTest {
  protected:
    void PrepareBank(recorder::BankOptions& o) override {
        o.addresses.resize(kFirstDeck);
        for (int ch = kFirstDeck; ch < 24; ++ch) o.deckAddresses.push_back(Address(ch));
        o.deckPort = 0;
        o.deckClients = DeckClients();
    }
    void PrepareSettings(const std::string& path) override {
        std::ofstream ini(path);
        ini << "[Protocol]\n";
        for (int ch = kFirstDeck; ch < 24; ++ch) ini << ch << "=HyperDeck\n";
        ini << "[Port]\n";
        for (int ch = kFirstDeck; ch < 24; ++ch) ini << ch << "=" << bank->DeckPort() << "\n";
    }
    virtual int DeckClients() const { return 1; }

    void Click(int32_t id) { qt::DeliverEvent("MAIN", id, EZ_EV_CLICK, 0); }
    // The main window with the decks' rows, the last ones, in view.
    void Grab(const std::string& file) {
        if (auto* list = qobject_cast<QAbstractScrollArea*>(qt::ControlWidget("MAIN", 100)))
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
        EZ_DOEVENTS(255);
        qt::Grab("MAIN").save(QString::fromStdString(file));
    }
    bool AllRows(const std::string& state) {
        for (int ch = 0; ch < 24; ++ch)
            if (g_Settings->State(ch).rfind(state, 0) != 0) return false;
        return true;
    }
    int Journal(const std::string& request, bool deck) {
        int n = 0;
        for (const auto& e : bank->Journal())
            n += e.request == request && e.deck == deck && e.outcome == "ok";
        return n;
    }
};

TEST_F(DeckBankTest, RecordAndStopReachOurRecordersAndTheDecks) {
    Click(140);  // record
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
    EXPECT_EQ(Journal("RECORD", false), 20);
    EXPECT_EQ(Journal("record", true), 4);
    // The decks' clips are named from the channels' template, as ours name them.
    ASSERT_TRUE(PumpUntil([&] { return !g_Settings->LastClip(kFirstDeck).empty(); }));
    EXPECT_EQ(g_Settings->LastClip(kFirstDeck).find('%'), std::string::npos);
    // The row's file line: the deck's file of the clip, from its disk list.
    EXPECT_TRUE(PumpUntil(
        [&] {
            return g_Settings->RecordFileNames(kFirstDeck) ==
                   "slot 1/" + g_Settings->LastClip(kFirstDeck) + "|";
        },
        30s))
        << g_Settings->RecordFileNames(kFirstDeck);
    std::string before = g_Settings->Timecode(23);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->Timecode(23) != before; }, 3s));
    Grab("e2e_main_decks_recording.png");

    Click(125);  // stop
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    for (int ch = kFirstDeck; ch < 24; ++ch) {
        auto view = bank->Channel(Address(ch), 1);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->state, "Stop") << ch;
    }
}

// The value shown beside label on the open Setup page, "<none>" without one.
std::string Shown(const std::string& label) {
    for (int32_t i = 0; i <= EZ_FINDLAST("SETUP", 140); ++i) {
        std::string l, v, c, k;
        EZ_GETPLINFO(EZ_GETITEMTEXT("SETUP", 140, i), l, v, c, k);
        if (l == label) return v;
    }
    return "<none>";
}

// The operator opens the drop-down of label and clicks choice.
void Choose(const std::string& label, const std::string& choice) {
    qt::PropertyList* list = qt::FindPropertyList("SETUP", 140);
    ASSERT_NE(list, nullptr);
    int32_t row = -1;
    for (int32_t i = 0; i <= EZ_FINDLAST("SETUP", 140) && row < 0; ++i) {
        std::string l, v, c, k;
        EZ_GETPLINFO(EZ_GETITEMTEXT("SETUP", 140, i), l, v, c, k);
        if (l == label) row = i;
    }
    ASSERT_GE(row, 0) << label;
    tarvolen::testing::ClickAt(list->viewport(), list->ValueRect(row).center());
    auto* popup = qobject_cast<QListWidget*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr) << label;
    const auto found = popup->findItems(QString::fromLatin1(choice.c_str()), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << choice;
    tarvolen::testing::ClickAt(popup->viewport(), popup->visualItemRect(found[0]).center());
    EZ_DOEVENTS(255);
}

TEST_F(DeckBankTest, SetupInputsAndEncodersOfADeckSetItsConfiguration) {
    using tarvolen::testing::WhileOpen;
    const char* shots = std::getenv("TARVOLEN_SCREENSHOTS");
    auto configured = [&](const std::string& what) {
        for (const auto& e : bank->Journal())
            if (e.deck && e.address == Address(kFirstDeck) && e.request == "configuration" &&
                e.outcome == "ok" && e.detail.find(what) != std::string::npos)
                return true;
        return false;
    };
    WhileOpen(
        "SETUP", [&] { Click(170); },
        [&] {
            EZ_SETTABSEL("SETUP", 220, 1);  // "Inputs"
            EZ_SETLVSEL("SETUP", 105, kFirstDeck);
            qt::DeliverEvent("SETUP", 105, EZ_EV_LVROWCHOSEN, kFirstDeck);
            ASSERT_TRUE(PumpUntil([] { return Shown("Video Input") == "SDI"; }));
            EXPECT_EQ(Shown("Audio Input"), "embedded");
            EXPECT_EQ(Shown("Resolution"), "<none>");  // nothing a deck does not offer
            if (shots) qt::Grab("SETUP").save(QString(shots) + "/setup-deck-inputs.png");
            Choose("Video Input", "HDMI");
            ASSERT_TRUE(PumpUntil([&] { return configured("video input: HDMI"); }));

            EZ_SETTABSEL("SETUP", 220, 2);  // "Encoders"
            ASSERT_TRUE(PumpUntil([] { return Shown("File Format") == "QuickTimeProResHQ"; }));
            Choose("File Format", "QuickTimeProResLT");
            ASSERT_TRUE(PumpUntil([&] { return configured("file format: QuickTimeProResLT"); }));

            EZ_SETTABSEL("SETUP", 220, 3);  // "Projects"
            EZ_DOEVENTS(255);
            EXPECT_EQ(
                EZ_GETTEXT("SETUP", 150),
                "Channel 21 is a HyperDeck deck:|its recorder does not offer these settings.");
            if (shots) qt::Grab("SETUP").save(QString(shots) + "/setup-deck-pages.png");
            tarvolen::testing::ClickAt(qt::ControlWidget("SETUP", 100),
                                       qt::ControlWidget("SETUP", 100)->rect().center());
        });
    // Each edit went as one command of what the deck offers, and nothing was refused.
    int commands = 0;
    for (const auto& e : bank->Journal()) {
        if (!e.deck || e.request != "configuration" || e.detail.empty()) continue;
        ++commands;
        EXPECT_EQ(e.outcome, "ok") << e.detail;
    }
    EXPECT_EQ(commands, 2);
}

TEST_F(DeckBankTest, DeckClipListLoadsAClipAndPlaysIt) {
    for (int take = 0; take < 2; ++take) {
        Click(140);
        ASSERT_TRUE(PumpUntil([&] { return AllRows("Record"); }));
        PumpUntil([] { return false; }, 300ms);
        Click(125);
        ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));
    }
    auto clips = bank->Clips(Address(kFirstDeck));
    ASSERT_GE(clips.size(), 2u);
    const std::string older = clips[clips.size() - 2].name;
    // Only channel 21 selected, so Play reaches it alone.
    Click(110);
    g_Settings->SetChecked(kFirstDeck, 1);
    g_Cliplist->Open(kFirstDeck);  // as the row's "Load" label does
    ASSERT_TRUE(PumpUntil([] { return EZ_FORMEXISTS("CLIPLIST"); }));
    ASSERT_TRUE(PumpUntil([] { return EZ_GETLVCOUNT("CLIPLIST", 100) >= 2; }));
    qt::Grab("CLIPLIST").save("e2e_cliplist_deck.png");
    int32_t row = EZ_FINDLVITEM("CLIPLIST", 100, 0, older, 0);
    ASSERT_GE(row, 0);
    EZ_SETLVSEL("CLIPLIST", 100, row);
    qt::DeliverEvent("CLIPLIST", 105, EZ_EV_CLICK, 0);  // "&Load"
    EXPECT_TRUE(PumpUntil([] { return !EZ_FORMEXISTS("CLIPLIST"); }));
    ASSERT_TRUE(PumpUntil([&] {
        auto view = bank->Channel(Address(kFirstDeck), 1);
        return view && view->clip == older;
    }));
    Click(130);  // play
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(kFirstDeck) == "Play"; }));
    auto view = bank->Channel(Address(kFirstDeck), 1);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->clip, older);
}

TEST_F(DeckBankTest, SilentDeckReadsLosAndComesBack) {
    const auto start = std::chrono::steady_clock::now();
    bank->SetSilent(Address(22), true);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(22) == "Los"; }));
    const auto lost = std::chrono::steady_clock::now();
    // Its neighbours go on: a group Record reaches the other 23.
    Click(140);
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(23) == "Record"; }));
    PumpUntil([&] { return std::chrono::steady_clock::now() - start >= 5s; }, 6s);
    const auto spoke = std::chrono::steady_clock::now();
    bank->SetSilent(Address(22), false);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(22) == "Stop"; }));
    const auto back = std::chrono::steady_clock::now();
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    // Figures for the report, not checks: the machine is shared.
    std::printf("deck silent: Los after %.0f ms, back %.0f ms after it spoke\n", ms(lost - start),
                ms(back - spoke));
}

// Channel 24's deck is held by another client before the program connects.
class DeckHeldTest : public DeckBankTest {
  protected:
    void PrepareSettings(const std::string& path) override {
        DeckBankTest::PrepareSettings(path);
        holder = std::make_unique<DeckClient>(Address(23), bank->DeckPort());
    }
    std::string StartState(int ch) const override { return ch == 23 ? "In use" : "Stop"; }
    std::unique_ptr<DeckClient> holder;
};

TEST_F(DeckHeldTest, IsShownUntilTheOtherClientLetsGo) {
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(22) == "Record"; }));
    EXPECT_EQ(g_Settings->State(23), "In use");
    Grab("e2e_main_deck_in_use.png");
    Click(125);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(22) == "Stop"; }));
    holder.reset();
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(23) == "Stop"; }));
}

// A deck that does not take remote commands says so and refuses Record with
// the reason; another client turns its remote control off and on.
class DeckRemoteTest : public DeckBankTest {
    int DeckClients() const override { return 2; }
};

TEST_F(DeckRemoteTest, LocalModeIsShownAndRecordIsRefused) {
    DeckClient panel(Address(21), bank->DeckPort());
    panel.Say("remote: enable: false\r\n");
    ASSERT_TRUE(panel.Until("200 ok"));
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(21) == "Local"; }));
    Click(140);
    ASSERT_TRUE(PumpUntil([&] { return g_Settings->State(20) == "Record"; }));
    PumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(g_Settings->State(21), "Local");
    auto view = bank->Channel(Address(21), 1);
    ASSERT_TRUE(view);
    EXPECT_NE(view->state, "Record");
    bool refused = false;
    for (const auto& e : bank->Journal())
        refused |= e.address == Address(21) && e.request == "record" && e.outcome != "ok";
    EXPECT_TRUE(refused);
    Grab("e2e_main_deck_local.png");
    panel.Say("remote: enable: true\r\n");
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(21) == "Stop"; }));
}

}  // namespace

namespace {

// Channel 21 starts pointed at our protocol, where its address has no recorder.
class DeckSetupTest : public DeckBankTest {
  protected:
    void PrepareSettings(const std::string& path) override {
        std::ofstream ini(path);
        ini << "[Protocol]\n";
        for (int ch = kFirstDeck + 1; ch < 24; ++ch) ini << ch << "=HyperDeck\n";
        ini << "[Port]\n";
        for (int ch = kFirstDeck + 1; ch < 24; ++ch) ini << ch << "=" << bank->DeckPort() << "\n";
    }
    std::string StartState(int ch) const override { return ch == kFirstDeck ? "Los" : "Stop"; }
};

TEST_F(DeckSetupTest, AChannelSwitchedToADeckInTheDialogRecords) {
    using tarvolen::testing::WhileOpen;
    auto key = [](int k, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(QApplication::focusWidget(), &press);
    };
    const char* shots = std::getenv("TARVOLEN_SCREENSHOTS");
    // As an operator: "setup", double-click channel 21, Tab to the protocol,
    // Down for the deck, Tab, the deck's port, Return, then "&Ok" on Setup.
    WhileOpen(
        "SETUP", [&] { Click(170); },
        [&] {
            WhileOpen(
                "IPADDRESS", [] { qt::DeliverEvent("SETUP", 105, EZ_EV_LVACTIVATE, kFirstDeck); },
                [&] {
                    EZ_SETFOCUS("IPADDRESS", kAddressProtocol);
                    key(Qt::Key_Down);
                    EZ_SETFOCUS("IPADDRESS", kAddressPort);
                    for (char c : std::to_string(bank->DeckPort()))
                        key(Qt::Key_0 + (c - '0'), QString(QChar(c)));
                    EZ_DOEVENTS(255);
                    if (shots)
                        qt::Grab("IPADDRESS").save(QString(shots) + "/address-dialog-deck.png");
                    key(Qt::Key_Return);
                });
            EXPECT_EQ(EZ_GETLVITEMTEXT("SETUP", 105, kFirstDeck, 4), "Deck");
            if (shots) qt::Grab("SETUP").save(QString(shots) + "/setup-grid-decks.png");
            qt::DeliverEvent("SETUP", 100, EZ_EV_CLICK, 0);
        });
    EXPECT_EQ(questions.back(), "|Connect to tarvolens?");
    EXPECT_EQ(GetProfileString(g_Settings->SettingsPath(), "Protocol", "20", ""), "HyperDeck");
    EXPECT_EQ(GetProfileString(g_Settings->SettingsPath(), "Port", "20", ""),
              std::to_string(bank->DeckPort()));
    ASSERT_TRUE(PumpUntil([&] { return AllRows("Stop"); }));

    Click(140);  // record
    EXPECT_TRUE(PumpUntil([&] {
        auto view = bank->Channel(Address(kFirstDeck), 1);
        return view && view->state == "Record";
    }));
    EXPECT_TRUE(PumpUntil([&] { return g_Settings->State(kFirstDeck) == "Record"; }));
}

}  // namespace
