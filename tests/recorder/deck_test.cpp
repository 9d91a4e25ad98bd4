// The emulated deck over real sockets, against the protocol document: the
// reply lines of each command, the asynchronous messages after each change,
// both syntaxes, every failure code, the faults, and one recorder seen
// through both protocols.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

#include "platform/deck/client_codec.h"
#include "recorder/bank.h"
#include "tests/platform/loopback_client.h"

namespace tarvolen::recorder {
namespace {

using deck::Response;

std::string Prefix() {
    static std::atomic<int> n{0};
    return "127." + std::to_string(20 + getpid() % 200) + "." + std::to_string(200 - n++ % 20) +
           ".";
}

// A deck client: whole responses, the text of each as its lines.
class DeckClient {
  public:
    DeckClient(const std::string& address, uint16_t port)
        : fd_(tarvolen::testing::ConnectWithReadTimeout(address, port)) {}
    ~DeckClient() {
        if (fd_ >= 0) close(fd_);
    }
    void Send(const std::string& s) { (void)!write(fd_, s.data(), s.size()); }
    // The next response as its lines joined by "\n"; "" on timeout, "<closed>"
    // at the end of the stream, "<error>" when it is no response at all.
    std::string Next() {
        for (;;) {
            Response r;
            auto st = reader_.Next(r);
            if (st == deck::ReplyReader::Status::kResponse) return Text(r);
            if (st == deck::ReplyReader::Status::kError) return "<error>";
            char buf[8192];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n == 0) return "<closed>";
            if (n < 0) return "";
            raw_.append(buf, static_cast<std::size_t>(n));
            reader_.Feed(buf, static_cast<std::size_t>(n));
        }
    }
    // Sends a command and returns its reply; asynchronous messages that come
    // first are kept for Async.
    std::string Ask(const std::string& command) {
        Send(command);
        for (;;) {
            std::string r = Next();
            if (r.rfind("5", 0) != 0) return r;
            async_.push_back(r);
        }
    }
    // The next asynchronous message, already come or coming.
    std::string Async() {
        if (async_.empty()) return Next();
        std::string a = async_.front();
        async_.erase(async_.begin());
        return a;
    }
    bool NoAsyncPending() { return async_.empty(); }
    const std::string& Raw() const { return raw_; }

  private:
    static std::string Text(const Response& r) {
        std::string t = std::to_string(r.code) + " " + r.text + (r.hasBody ? ":" : "");
        for (const auto& l : r.lines) t += "\n" + l;
        return t;
    }
    int fd_;
    deck::ReplyReader reader_;
    std::string raw_;
    std::vector<std::string> async_;
};

struct Decks {
    BankOptions options;
    std::unique_ptr<Bank> bank;
    std::string address;
    explicit Decks(bool alsoOurs = false, int clients = 1) {
        address = Prefix() + "1";
        options.deckAddresses = {address};
        if (alsoOurs) options.addresses = {address};
        options.port = 0;
        options.deckPort = 0;
        options.deckClients = clients;
        bank = std::make_unique<Bank>(options);
        std::string error;
        if (!bank->Start(error)) throw std::runtime_error(error);
    }
    std::unique_ptr<DeckClient> Client(bool greeted = true) {
        auto c = std::make_unique<DeckClient>(address, bank->DeckPort());
        if (greeted) c->Next();
        return c;
    }
};

const char* kGreeting = "500 connection info:\nprotocol version: 1.11\nmodel: TarVolen Deck";

std::string Transport(const std::string& status, int speed, const std::string& tc,
                      const std::string& clip, bool loop = false) {
    return "status: " + status + "\nspeed: " + std::to_string(speed) +
           "\nslot id: 1\ndisplay timecode: " + tc + "\ntimecode: " + tc + "\nclip id: " + clip +
           "\nvideo format: 1080i5994\nloop: " + (loop ? "true" : "false");
}

TEST(DeckProtocol, QueriesAnswerInTheDocumentsLayoutInBothSyntaxes) {
    Decks d;
    DeckClient c(d.address, d.bank->DeckPort());
    EXPECT_EQ(c.Next(), kGreeting);
    EXPECT_EQ(c.Raw(),
              "500 connection info:\r\nprotocol version: 1.11\r\nmodel: TarVolen Deck\r\n\r\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ping\n", "200 ok"},
        {"device info\r\n",
         "204 device info:\nprotocol version: 1.11\nmodel: TarVolen Deck\nunique id: 7476"},
        {"transport info\n",
         "208 transport info:\n" + Transport("stopped", 0, "00:00:00:00", "none")},
        {"slot info\n", "202 slot info:\nslot id: 1\nstatus: mounted\nvolume name: Deck_" +
                            d.address + "\nrecording time: 36000\nvideo format: 1080i5994"},
        {"slot info: slot id: 2\n",
         "202 slot info:\nslot id: 2\nstatus: empty\nvolume name: \nrecording time: 0\nvideo "
         "format: 1080i5994"},
        {"slot info:\nslot id: 2\n\n",
         "202 slot info:\nslot id: 2\nstatus: empty\nvolume name: \nrecording time: 0\nvideo "
         "format: 1080i5994"},
        {"clips count\n", "214 clips count:\nclip count: 0"},
        {"clips get\n", "205 clips info:\nclip count: 0"},
        {"disk list\n", "206 disk list:\nslot id: 1"},
        {"notify\n",
         "209 notify:\ntransport: false\nslot: false\nremote: false\nconfiguration: false"},
        {"remote\n", "210 remote info:\nenabled: true\noverride: false"},
        {"configuration\n",
         "211 configuration:\naudio input: embedded\nvideo input: SDI\nfile format: "
         "QuickTimeProResHQ"},
        {"configuration: video input: HDMI audio input: XLR\n", "200 ok"},
        {"configuration:\nfile format: QuickTimeProResLT\n\n", "200 ok"},
        {"configuration\n",
         "211 configuration:\naudio input: XLR\nvideo input: HDMI\nfile format: QuickTimeProResLT"},
        {"watchdog: period: 0\n", "200 ok"},
    };
    for (const auto& [ask, want] : cases) {
        std::string got = c.Ask(ask);
        if (ask.rfind("device info", 0) == 0)
            EXPECT_EQ(got.rfind(want, 0), 0u) << got;
        else
            EXPECT_EQ(got, want) << ask;
    }
    std::string help = c.Ask("?\n");
    EXPECT_EQ(help.rfind("201 help:\n", 0), 0u);
    EXPECT_NE(help.find("\nplay speed: loop: single clip:"), std::string::npos) << help;
    EXPECT_EQ(c.Ask("help\n"), help);
    std::string commands = c.Ask("commands\n");
    EXPECT_EQ(commands.rfind("212 commands:\n<commands>\n", 0), 0u);
    EXPECT_NE(commands.find("<command name=\"goto\"><parameter name=\"clip id\"/>"),
              std::string::npos);
    EXPECT_EQ(commands.substr(commands.size() - 12), "\n</commands>");
    EXPECT_EQ(c.Ask("quit\n"), "200 ok");
    EXPECT_EQ(c.Next(), "<closed>");
    EXPECT_TRUE(c.NoAsyncPending());
}

TEST(DeckProtocol, TransportCommandsAndTheMessagesTheyTurnOn) {
    Decks d;
    auto c = d.Client();
    ASSERT_EQ(c->Ask("notify: transport: true slot: true remote: true configuration: true\n"),
              "200 ok");
    ASSERT_EQ(c->Ask("record: name: Take One\n"), "200 ok");
    std::string rec = c->Async();
    EXPECT_EQ(rec.rfind("508 transport info:\nstatus: record\nspeed: 100\nslot id: 1\n", 0), 0u)
        << rec;
    EXPECT_NE(rec.find("\nclip id: 1\n"), std::string::npos);
    ASSERT_EQ(c->Ask("stop\n"), "200 ok");
    EXPECT_EQ(c->Async().rfind("508 transport info:\nstatus: stopped\nspeed: 0\n", 0), 0u);
    std::string list = c->Ask("clips get\n");
    EXPECT_EQ(list.rfind("205 clips info:\nclip count: 1\n1: Take One 01:00:00:00 00:00:", 0), 0u)
        << list;
    ASSERT_EQ(c->Ask("record\n"), "200 ok");
    c->Async();
    ASSERT_EQ(c->Ask("stop\n"), "200 ok");
    c->Async();
    std::string second = c->Ask("clips get: clip id: 2 count: 1\n");
    EXPECT_EQ(second.rfind("205 clips info:\nclip count: 1\n2: ", 0), 0u) << second;
    EXPECT_NE(c->Ask("disk list\n").find("\n2: "), std::string::npos);

    // Each change of state sends one 508 with the whole transport.
    d.bank->AddClips(d.address, 1);  // ten seconds long
    const std::vector<std::pair<std::string, std::string>> moves = {
        {"goto: clip id: 3\n", "display timecode: 01:00:00:00\ntimecode: 01:00:00:00\nclip id: 3"},
        {"goto: clip: end\n", "display timecode: 01:00:09:29\ntimecode: 01:00:09:29\nclip id: 3"},
        {"goto: clip id: -5\n", "clip id: 1"},
        {"goto: clip id: +5\n", "clip id: 3"},
        {"play: speed: 200 loop: true\n", "status: play\nspeed: 200"},
        {"shuttle: speed: -400\n", "status: shuttle\nspeed: -400"},
        {"jog: timecode: 01:00:01:00\n",
         "status: jog\nspeed: 0\nslot id: 1\ndisplay timecode: 01:00:01:00"},
        {"preview: enable: true\n", "status: preview\nspeed: 0"},
        {"goto: timeline: start\n",
         "status: stopped\nspeed: 0\nslot id: 1\ndisplay timecode: 01:00:00:00"},
    };
    for (const auto& [ask, want] : moves) {
        ASSERT_EQ(c->Ask(ask), "200 ok") << ask;
        std::string a = c->Async();
        EXPECT_EQ(a.rfind("508 transport info:\n", 0), 0u) << ask << a;
        EXPECT_NE(a.find(want), std::string::npos) << ask << "\n" << a;
    }
    EXPECT_NE(c->Ask("transport info\n").find("clip id: 1\n"), std::string::npos);

    ASSERT_EQ(c->Ask("configuration: audio input: RCA\n"), "200 ok");
    EXPECT_EQ(
        c->Async(),
        "511 configuration:\naudio input: RCA\nvideo input: SDI\nfile format: QuickTimeProResHQ");
    ASSERT_EQ(c->Ask("remote: override: true\n"), "200 ok");
    EXPECT_EQ(c->Async(), "510 remote info:\nenabled: true\noverride: true");
    // The disk goes: the timeline empties, then the slot says so.
    d.bank->SetDisk(d.address, DiskState::kMissing);
    EXPECT_NE(c->Async().find("\nclip id: none\n"), std::string::npos);
    EXPECT_EQ(c->Async(),
              "502 slot info:\nslot id: 1\nstatus: empty\nvolume name: \nrecording time: 0\nvideo "
              "format: 1080i5994");
    // Switched off, nothing more comes.
    ASSERT_EQ(c->Ask("notify: transport: false\n"), "200 ok");
    ASSERT_EQ(c->Ask("remote: enable: false\n"), "200 ok");
    EXPECT_EQ(c->Async(), "510 remote info:\nenabled: false\noverride: true");
    EXPECT_EQ(c->Ask("stop\n"), "200 ok");
    EXPECT_EQ(c->Ask("ping\n"), "200 ok");
    EXPECT_TRUE(c->NoAsyncPending());
}

TEST(DeckProtocol, EveryFailureHasTheDocumentsCodeAndTheConnectionGoesOn) {
    Decks d;
    auto c = d.Client();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"bogus\n", "100 syntax error"},
        {"play: 200\n", "100 syntax error"},
        {std::string(5000, 'x') + "\n", "100 syntax error"},
        {"goto: clip id: 1 clip: start\n", "100 syntax error"},
        {"transport info: slot id: 1\n", "101 unsupported parameter"},
        {"play: speed: fast\n", "102 invalid value"},
        {"slot info: slot id: 3\n", "102 invalid value"},
        {"notify: transport: yes\n", "102 invalid value"},
        {"uptime\n", "103 unsupported"},
        {"play\n", "107 timeline empty"},
        {"goto: clip id: 1\n", "107 timeline empty"},
        {"configuration: file format: Betamax\n", "151 invalid codec"},
        {"record: name: a\n", "200 ok"},
        {"record\n", "150 invalid state"},
        {"play\n", "150 invalid state"},
        {"stop\n", "200 ok"},
        {"play: speed: 2000\n", "109 out of range"},
        {"goto: clip id: 9\n", "109 out of range"},
        {"clips get: clip id: 9\n", "109 out of range"},
        {"goto: timecode: 23:00:00:00\n", "109 out of range"},
        {"remote: enable: false\n", "200 ok"},
        {"play\n", "111 remote control disabled"},
        {"stop\n", "111 remote control disabled"},
        {"record\n", "111 remote control disabled"},
        {"goto: clip id: 1\n", "111 remote control disabled"},
        {"configuration: video input: SDI\n", "111 remote control disabled"},
        {"transport info\n", "208 transport info:"},  // queries still answer
        {"remote: override: true\n", "200 ok"},
        {"play\n", "200 ok"},
        {"remote: override: false enable: true\n", "200 ok"},
        {"slot select: slot id: 2\n", "200 ok"},
        {"record\n", "105 no disk"},
        {"play\n", "107 timeline empty"},
        {"slot select: slot id: 1\n", "200 ok"},
    };
    for (const auto& [ask, want] : cases) {
        std::string got = c->Ask(ask);
        EXPECT_EQ(got.substr(0, want.size()), want) << ask.substr(0, 40) << " -> " << got;
    }
    d.bank->SetDisk(d.address, DiskState::kFull);
    EXPECT_EQ(c->Ask("record\n"), "104 disk full");
    d.bank->Refuse(d.address, "play");
    EXPECT_EQ(c->Ask("play\n"), "108 internal error");
    EXPECT_EQ(c->Ask("ping\n"), "200 ok");
    // Only one client at a time: the next is told so and closed.
    DeckClient second(d.address, d.bank->DeckPort());
    EXPECT_EQ(second.Next(), "120 connection rejected");
    EXPECT_EQ(second.Next(), "<closed>");
    EXPECT_EQ(c->Ask("ping\n"), "200 ok");
}

TEST(DeckProtocol, MoreClientsWhenAskedAndTheWatchdogClosesASilentOne) {
    Decks d(false, 2);
    auto a = d.Client();
    DeckClient b(d.address, d.bank->DeckPort());
    EXPECT_EQ(b.Next(), kGreeting);
    DeckClient third(d.address, d.bank->DeckPort());
    EXPECT_EQ(third.Next(), "120 connection rejected");
    ASSERT_EQ(b.Ask("watchdog: period: 1\n"), "200 ok");
    EXPECT_EQ(b.Next(), "<closed>");  // nothing sent for a second
    EXPECT_EQ(a->Ask("ping\n"), "200 ok");
}

TEST(DeckProtocol, ADeckAndOurProtocolSeeOneRecorder) {
    Decks d(true);
    auto deckClient = d.Client();
    ASSERT_EQ(deckClient->Ask("notify: transport: true\n"), "200 ok");
    ASSERT_EQ(deckClient->Ask("record: name: shared\n"), "200 ok");
    deckClient->Async();
    ASSERT_EQ(deckClient->Ask("stop\n"), "200 ok");
    deckClient->Async();
    auto clips = d.bank->Clips(d.address);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].name, "shared");

    // Our protocol, on its own port, with the deck's one channel.
    int fd = tarvolen::testing::ConnectWithReadTimeout(d.address, d.bank->Port());
    ASSERT_GE(fd, 0);
    auto line = [&] {
        std::string l;
        char ch;
        while (read(fd, &ch, 1) == 1 && ch != '\n') l += ch;
        return l;
    };
    EXPECT_EQ(line(), "* HELLO 1 1 " + d.address);
    std::string status = "1 STATUS 1\n";
    (void)!write(fd, status.data(), status.size());
    std::string ours = line();  // "1 OK Stop HH:MM:SS;FF none shared"
    ASSERT_EQ(ours.rfind("1 OK Stop ", 0), 0u) << ours;
    EXPECT_NE(ours.find(" shared"), std::string::npos);
    std::string tc = ours.substr(10, 11);
    std::replace(tc.begin(), tc.end(), ';', ':');
    std::string deckInfo = deckClient->Ask("transport info\n");
    EXPECT_NE(deckInfo.find("\ntimecode: " + tc + "\n"), std::string::npos) << deckInfo << ours;
    // What our protocol starts, the deck client hears of.
    std::string rec = "2 RECORD 1 second\n";
    (void)!write(fd, rec.data(), rec.size());
    EXPECT_EQ(line(), "2 OK second");
    std::string a = deckClient->Async();
    EXPECT_NE(a.find("status: record\n"), std::string::npos) << a;
    EXPECT_NE(a.find("clip id: 2\n"), std::string::npos) << a;
    close(fd);
}

TEST(DeckFaults, EveryFaultActsOnDecksAndTheJournalHasBothTimes) {
    {
        Decks d;
        d.bank->SetSilent(d.address, true);
        DeckClient c(d.address, d.bank->DeckPort());
        c.Send("ping\n");
        EXPECT_EQ(c.Next(), "");
    }
    {
        Decks d;
        d.bank->SetMute(d.address, true);
        DeckClient c(d.address, d.bank->DeckPort());
        EXPECT_EQ(c.Next(), kGreeting);
        c.Send("ping\n");
        EXPECT_EQ(c.Next(), "");
    }
    {
        Decks d;
        auto c = d.Client();
        d.bank->SetDelay(d.address, std::chrono::milliseconds(50));
        EXPECT_EQ(c->Ask("ping\n"), "200 ok");
        d.bank->GarbleNext(d.address);
        EXPECT_EQ(c->Ask("ping\n"), "<error>");
    }
    for (int kind = 0; kind < 3; ++kind) {
        Decks d;
        auto c = d.Client();
        if (kind == 0) d.bank->CutConnections(d.address);
        if (kind == 1) d.bank->DropConnections(d.address);
        if (kind == 2) d.bank->SendOversize(d.address);
        std::string got = c->Next();
        EXPECT_EQ(got, kind == 2 ? "<error>" : "<closed>") << kind;
    }
    Decks d;
    auto c = d.Client();
    d.bank->SetDelay(d.address, std::chrono::milliseconds(30));
    ASSERT_EQ(c->Ask("record: name: late\n"), "200 ok");
    bool seen = false;
    for (const auto& e : d.bank->Journal()) {
        if (e.request != "record") continue;
        seen = true;
        EXPECT_TRUE(e.deck);
        EXPECT_EQ(e.outcome, "ok");
        EXPECT_EQ(e.detail, "late");
        EXPECT_GT(e.received, 0);
        EXPECT_LE(e.received, e.micros + 1000);
    }
    EXPECT_TRUE(seen);
}

TEST(DeckCommandLine, DecksBesideOrInsteadOfTheBank) {
    BankOptions o;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseBankArguments({"--deck", "127.0.0.121-124", "--deck-port", "0",
                                    "--deck-clients", "3", "--fault", "127.0.0.121=nodisk"},
                                   o, error, help))
        << error;
    EXPECT_TRUE(o.addresses.empty());
    EXPECT_EQ(o.deckAddresses.size(), 4u);
    EXPECT_EQ(o.deckPort, 0);
    EXPECT_EQ(o.deckClients, 3);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{},
                                                {"--deck-clients", "0", "--deck", "127.0.0.1"},
                                                {"--deck", "127.0.0.1", "--deck-port", "x"}}) {
        BankOptions b;
        EXPECT_FALSE(ParseBankArguments(bad, b, error, help));
    }
    EXPECT_NE(BankUsage().find("--deck-clients"), std::string::npos);
}

}  // namespace
}  // namespace tarvolen::recorder
