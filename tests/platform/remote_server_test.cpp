// The remote surface's server on loopback, with the test standing in for the
// window: it takes the Actions and answers them.
#include "platform/remote/remote_server.h"

#include "loopback_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tarvolen::remote;
using namespace std::chrono_literals;

class Client {
  public:
    explicit Client(uint16_t port, const char* from = nullptr)
        : fd_(tarvolen::testing::ConnectLoopback(port, from)) {}
    ~Client() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool Connected() const { return fd_ >= 0; }
    void Send(const std::string& bytes) { tarvolen::testing::WriteAll(fd_, bytes); }
    // The next reply: a line, or a block up to its blank line; empty when
    // nothing complete came within the time or the stream ended.
    std::string Next(std::chrono::milliseconds timeout = 5s) {
        auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            size_t eol = in_.find("\r\n");
            if (eol != std::string::npos) {
                size_t stop = eol + 2;
                if (eol > 0 && in_[eol - 1] == ':') {
                    size_t blank = in_.find("\r\n\r\n");
                    stop = blank == std::string::npos ? 0 : blank + 4;
                }
                if (stop > 0) {
                    std::string reply = in_.substr(0, stop);
                    in_.erase(0, stop);
                    return reply;
                }
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Fill(int(left.count()))) return {};
        }
    }
    std::string Ask(const std::string& line) {
        Send(line + "\r\n");
        return Next();
    }
    bool Ended() {
        while (Fill(5000)) {
        }
        return eof_;
    }

  private:
    bool Fill(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        char buf[65536];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        in_.append(buf, size_t(n));
        return true;
    }
    int fd_ = -1;
    bool eof_ = false;
    std::string in_;
};

class RemoteServerTest : public ::testing::Test {
  protected:
    void Start(RemoteOptions options = {}) {
        options.port = 0;
        server = std::make_unique<RemoteServer>(options, [this] { ++wakes; });
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
    }
    std::unique_ptr<Client> Connect(const char* from = nullptr) {
        auto c = std::make_unique<Client>(server->Port(), from);
        EXPECT_TRUE(c->Connected());
        EXPECT_EQ(c->Next().rfind("500 connection info:\r\n", 0), 0u);
        return c;
    }
    // The Actions that came within the time, as the window would take them.
    std::vector<ActionRequest> Take(size_t want, std::chrono::milliseconds timeout = 5s) {
        std::vector<ActionRequest> got;
        auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < want && std::chrono::steady_clock::now() < end) {
            for (auto& a : server->TakeActions()) got.push_back(std::move(a));
            std::this_thread::sleep_for(1ms);
        }
        return got;
    }
    std::unique_ptr<RemoteServer> server;
    std::atomic<int> wakes{0};
};

TEST_F(RemoteServerTest, AnswersQueriesAndRefusalsWithTheDocumentsCodes) {
    Start();
    auto c = Connect();
    const std::pair<const char*, const char*> cases[] = {
        {"ping", "200 ok\r\n"},
        {"nonsense", "100 syntax error\r\n"},
        {"record: name", "100 syntax error\r\n"},
        {"goto: clip id: 1", "103 unsupported\r\n"},
        {"clips get", "103 unsupported\r\n"},
        {"record: append: true", "101 unsupported parameter\r\n"},
        {"stop: now: true", "101 unsupported parameter\r\n"},
        {"play: speed: 250", "103 unsupported\r\n"},
        {"play: speed: fast", "102 invalid value\r\n"},
        {"play: loop: true", "101 unsupported parameter\r\n"},
        {"shuttle", "100 syntax error\r\n"},
        {"shuttle: speed: 5000", "102 invalid value\r\n"},
        {"jog: timecode: 00:00:01:00", "103 unsupported\r\n"},
        {"jog: timecode: +00:00:01:00", "103 unsupported\r\n"},
        {"jog: timecode: +1", "102 invalid value\r\n"},
        {"notify: transport: maybe", "102 invalid value\r\n"},
        {"notify: sound: true", "101 unsupported parameter\r\n"},
        {"slot info: slot id: 2", "102 invalid value\r\n"},
        {"watchdog: period: x", "102 invalid value\r\n"},
        {"remote", "210 remote info:\r\nenabled: true\r\noverride: false\r\n\r\n"},
        {"notify",
         "209 notify:\r\ntransport: false\r\nslot: false\r\nremote: false\r\nconfiguration: "
         "false\r\ndropped frames: false\r\n\r\n"},
        {"notify:\r\ntransport: true\r\n", "200 ok\r\n"},  // multi-line, ended below
        {"transport info",
         "208 transport info:\r\nstatus: stopped\r\nspeed: 0\r\nslot id: none\r\ndisplay "
         "timecode: 00:00:00:00\r\ntimecode: 00:00:00:00\r\nclip id: none\r\nvideo format: "
         "1080i5994\r\nloop: false\r\n\r\n"},
    };
    for (const auto& [line, reply] : cases) EXPECT_EQ(c->Ask(line), reply) << line;
    EXPECT_TRUE(server->TakeActions().empty()) << "none of these changes anything";
}

TEST_F(RemoteServerTest, CommandsBecomeActionsOneAtATimeAndGetTheWindowsAnswer) {
    Start();
    auto c = Connect();
    const std::pair<const char*, Action> cases[] = {
        {"record", Action::kRecord},
        {"record: name: take two", Action::kRecord},
        {"stop", Action::kStop},
        {"play", Action::kPlay},
        {"play: speed: 100", Action::kPlay},
        {"play: speed: -100", Action::kPlayReverse},
        {"shuttle: speed: 400", Action::kFastForward},
        {"shuttle: speed: -50", Action::kRewind},
        {"shuttle: speed: 0", Action::kStop},
        {"jog: timecode: +00:00:00:01", Action::kStepForward},
        {"jog: timecode: -00:00:00:01", Action::kStepBack},
    };
    // All sent at once: each waits for the answer to the one before.
    std::string all;
    for (const auto& [line, action] : cases) all += std::string(line) + "\r\n";
    c->Send(all);
    for (const auto& [line, action] : cases) {
        auto got = Take(1);
        ASSERT_EQ(got.size(), 1u) << line;
        EXPECT_EQ(got[0].action, action) << line;
        EXPECT_EQ(got[0].deck, 0);
        EXPECT_EQ(got[0].client.rfind("127.0.0.1:", 0), 0u);
        EXPECT_TRUE(Take(1, 50ms).empty()) << "the next waits for the answer to " << line;
        server->Answer(got[0].session, action == Action::kStop ? 108 : 200);
        EXPECT_EQ(c->Next(), action == Action::kStop ? "108 internal error\r\n" : "200 ok\r\n");
    }
    EXPECT_GT(wakes.load(), 0);
}

TEST_F(RemoteServerTest, RemoteDisabledRefusesChangesUnlessOverridden) {
    Start();
    auto a = Connect();
    auto b = Connect();
    EXPECT_EQ(b->Ask("notify: remote: true"), "200 ok\r\n");
    EXPECT_EQ(a->Ask("remote: enable: false"), "200 ok\r\n");
    EXPECT_EQ(b->Next(), "510 remote info:\r\nenabled: false\r\noverride: false\r\n\r\n");
    EXPECT_EQ(b->Ask("record"), "111 remote control disabled\r\n");
    EXPECT_EQ(b->Ask("transport info").rfind("208 ", 0), 0u) << "queries still answer";
    EXPECT_EQ(a->Ask("remote: override: true"), "200 ok\r\n");
    a->Send("record\r\n");
    auto got = Take(1);
    ASSERT_EQ(got.size(), 1u);
    server->Answer(got[0].session, 200);
    EXPECT_EQ(a->Next(), "200 ok\r\n");
    EXPECT_EQ(b->Ask("stop"), "111 remote control disabled\r\n");
}

TEST_F(RemoteServerTest, AClientThatLeavesLeavesNothingHalfDone) {
    Start();
    {
        auto c = Connect();
        c->Send("record:\r\nname: half\r\n");  // its blank line never comes
    }
    {
        auto c = Connect();
        c->Send("stop\r\n");
        ASSERT_EQ(Take(1).size(), 1u);
        c->Close();
        // Answered after the client went: nothing to reply to, nothing breaks.
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(server->TakeActions().empty()) << "the half command never became an Action";
    auto c = Connect();
    EXPECT_EQ(c->Ask("ping"), "200 ok\r\n");
}

TEST_F(RemoteServerTest, BadInputIsAnsweredAndBounded) {
    RemoteOptions options;
    options.maxClients = 3;
    Start(options);
    auto c = Connect();
    // An over-long line: refused once, the connection reads on.
    c->Send(std::string(1 << 20, 'x') + "\r\nping\r\n");
    EXPECT_EQ(c->Next(), "100 syntax error\r\n");
    EXPECT_EQ(c->Next(), "200 ok\r\n");
    std::string garbage;
    for (int i = 0; i < 2000; ++i) garbage += "\x7f\x01garbage " + std::to_string(i) + "\r\n";
    c->Send(garbage + "ping\r\n");
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(c->Next(), "100 syntax error\r\n") << i;
    EXPECT_EQ(c->Next(), "200 ok\r\n");

    auto d = Connect();
    auto e = Connect();
    Client f(server->Port());
    EXPECT_EQ(f.Next(), "120 connection rejected\r\n") << "the bound is 3 clients";
    EXPECT_TRUE(f.Ended());
    e.reset();
    std::this_thread::sleep_for(50ms);
    auto g = Connect();  // a place is free again
    EXPECT_EQ(server->Clients().size(), 3u);
}

TEST_F(RemoteServerTest, OnlyListedAddressesGetIn) {
    RemoteOptions options;
    options.allowed = {"127.0.0.5"};
    Start(options);
    Client stranger(server->Port(), "127.0.0.1");
    EXPECT_EQ(stranger.Next(), "120 connection rejected\r\n");
    EXPECT_TRUE(stranger.Ended());
    Connect("127.0.0.5");
}

TEST_F(RemoteServerTest, TransportChangesReachOnlyThoseWhoAsked) {
    Start();
    auto told = Connect();
    auto quiet = Connect();
    EXPECT_EQ(told->Ask("notify: transport: true"), "200 ok\r\n");
    DeckState st;
    st.status = "record";
    st.slotMounted = true;
    st.timecode = "01:00:00:00";
    server->Publish(0, st);
    EXPECT_EQ(told->Next(),
              "508 transport info:\r\nstatus: record\r\nspeed: 0\r\nslot id: 1\r\ndisplay "
              "timecode: 01:00:00:00\r\ntimecode: 01:00:00:00\r\nclip id: none\r\nvideo format: "
              "1080i5994\r\nloop: false\r\n\r\n");
    // The timecode alone running on is no transport change.
    st.timecode = "01:00:00:10";
    server->Publish(0, st);
    EXPECT_EQ(told->Ask("ping"), "200 ok\r\n");
    EXPECT_NE(quiet->Ask("transport info").find("timecode: 01:00:00:10\r\n"), std::string::npos);
}

}  // namespace
