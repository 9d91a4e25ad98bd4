// The whole controller driven through its remote surface as a show-control
// panel drives a deck: a TCP client on loopback, the real window and link,
// and the emulated bank's journal as the witness of what reached the
// recorders.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>

#include "../platform/loopback_client.h"
#include "whole_program.h"
#include "windows/remote_control.h"

namespace {

using namespace tarvolen;
using namespace std::chrono_literals;
using tarvolen::testing::Address;

template <typename Pred>
bool Pump(Pred pred, std::chrono::milliseconds timeout = 10s) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred() && std::chrono::steady_clock::now() < end) {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(2ms);
    }
    return pred();
}

// A panel's connection. Reads without blocking, so the window keeps running
// while the test waits for a reply.
class Panel {
  public:
    explicit Panel(uint16_t port, const char* from = nullptr)
        : fd_(tarvolen::testing::ConnectLoopback(port, from)) {
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~Panel() { ::close(fd_); }
    bool Connected() const { return fd_ >= 0; }
    void Send(const std::string& line) {
        ASSERT_TRUE(tarvolen::testing::WriteAll(fd_, line + "\r\n"));
    }
    // The next reply: one line, or a block up to its blank line. Asynchronous
    // 5xx blocks met on the way are kept for Saw.
    std::string Next() {
        for (;;) {
            size_t eol = 0;
            if (!Pump([&] {
                    Read();
                    eol = in_.find("\r\n");
                    return eol != std::string::npos;
                }))
                return "(nothing more after: " + log_ + ")";
            size_t end = eol + 2;
            if (eol > 0 && in_[eol - 1] == ':') {
                if (!Pump([&] {
                        Read();
                        return in_.find("\r\n\r\n") != std::string::npos;
                    }))
                    return "(no blank line after: " + log_ + ")";
                end = in_.find("\r\n\r\n") + 4;
            }
            std::string reply = in_.substr(0, end);
            in_.erase(0, end);
            if (reply[0] != '5' || reply.rfind("500 ", 0) == 0) return reply;
        }
    }
    std::string Ask(const std::string& line) {
        Send(line);
        return Next();
    }
    // Whether text came at some time, asynchronous messages included.
    bool Saw(const std::string& text) {
        return Pump([&] {
            Read();
            return log_.find(text) != std::string::npos;
        });
    }
    bool Closed() {
        return Pump([&] { return Read() == 0; }, 5s);
    }
    const std::string& Log() const { return log_; }

  private:
    // 0 at the end of the stream.
    ssize_t Read() {
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) in_.append(buf, size_t(n)), log_.append(buf, size_t(n));
        return n;
    }
    int fd_ = -1;
    std::string in_, log_;
};

class RemoteTest : public tarvolen::testing::WholeProgramTest {
  protected:
    void PrepareSettings(const std::string& path) override {
        std::ofstream ini(path);
        ini << "[Remote]\r\nEnabled=1\r\nChannelPorts=1\r\n" << extraSettings;
        // Below the ephemeral range (32768 up), where another test's
        // outgoing connection could hold the port or a channel's port after it.
        std::mt19937 random(unsigned(::getpid()));
        port = uint16_t(20000 + random() % 12000);
        ini << "Port=" << port << "\r\n";
    }
    void TearDown() override {
        StopRemoteControl();
        WholeProgramTest::TearDown();
    }

    std::vector<std::string> Requests(const std::string& request) {
        std::vector<std::string> addresses;
        for (const auto& e : bank->Journal())
            if (e.request == request && e.outcome == "ok") addresses.push_back(e.address);
        return addresses;
    }
    bool AllEmulated(const std::string& state) {
        for (int ch = 0; ch < 24; ++ch) {
            auto view = bank->Channel(Address(ch), 1);
            if (!view || view->state != state) return false;
        }
        return true;
    }

    std::string extraSettings;
    uint16_t port = 0;
};

TEST_F(RemoteTest, PanelRecordsAndStopsEveryCheckedChannel) {
    ASSERT_EQ(RemoteControlPort(), port) << "the settings file switched it on at its port";
    Panel panel(port);
    ASSERT_TRUE(panel.Connected());
    EXPECT_EQ(
        panel.Next(),
        "500 connection info:\r\nprotocol version: 1.6\r\nmodel: TarVolen Controller\r\n\r\n");
    EXPECT_EQ(panel.Ask("device info").rfind("204 device info:\r\n", 0), 0u);
    EXPECT_EQ(panel.Ask("notify: transport: true"), "200 ok\r\n");
    EXPECT_TRUE(Pump([] {
        return EZ_GETTEXT("MAIN", kRemoteLabelId).find("group 127.0.0.1:") != std::string::npos;
    })) << EZ_GETTEXT("MAIN", kRemoteLabelId);

    EXPECT_EQ(panel.Ask("record: name: take one"), "200 ok\r\n");
    EXPECT_EQ(Requests("RECORD").size(), 24u);
    EXPECT_TRUE(AllEmulated("Record"));
    for (int ch = 0; ch < 24; ++ch) EXPECT_EQ(g_Settings->State(ch), "Record") << ch;
    EXPECT_TRUE(panel.Saw("508 transport info:\r\nstatus: record\r\n")) << panel.Log();
    EXPECT_NE(panel.Ask("transport info").find("status: record\r\n"), std::string::npos);

    EXPECT_EQ(panel.Ask("stop"), "200 ok\r\n");
    EXPECT_TRUE(AllEmulated("Stop"));
    EXPECT_TRUE(panel.Saw("508 transport info:\r\nstatus: stopped\r\n")) << panel.Log();

    // What a group has no use for is refused, never ignored; the connection
    // goes on after garbage.
    EXPECT_EQ(panel.Ask("goto: clip id: 1"), "103 unsupported\r\n");
    EXPECT_EQ(panel.Ask("\x01\x02 nonsense"), "100 syntax error\r\n");
    EXPECT_EQ(panel.Ask("ping"), "200 ok\r\n");
}

TEST_F(RemoteTest, ChannelPortDrivesThatRecorderAlone) {
    Panel panel(uint16_t(port + 3));  // channel 03
    ASSERT_TRUE(panel.Connected());
    EXPECT_NE(panel.Next().find("model: TarVolen Controller ch03"), std::string::npos);
    EXPECT_EQ(panel.Ask("record"), "200 ok\r\n");
    EXPECT_EQ(Requests("RECORD"), std::vector<std::string>{Address(2)});
    EXPECT_EQ(g_Settings->State(2), "Record");
    EXPECT_EQ(g_Settings->State(3), "Stop");
    EXPECT_NE(panel.Ask("transport info").find("status: record\r\n"), std::string::npos);
    EXPECT_EQ(panel.Ask("play"), "103 unsupported\r\n");

    EXPECT_EQ(panel.Ask("stop"), "200 ok\r\n");
    EXPECT_EQ(Requests("STOP"), std::vector<std::string>{Address(2)});
    EXPECT_EQ(bank->Channel(Address(2), 1)->state, "Stop");
}

class RemoteAllowTest : public RemoteTest {
  protected:
    void PrepareSettings(const std::string& path) override {
        extraSettings = "Allow=127.0.0.7, 127.0.0.8\r\n";
        RemoteTest::PrepareSettings(path);
    }
};

TEST_F(RemoteAllowTest, ClientsNotListedAreRejected) {
    Panel stranger(port, "127.0.0.1");
    ASSERT_TRUE(stranger.Connected());
    EXPECT_EQ(stranger.Next(), "120 connection rejected\r\n");
    EXPECT_TRUE(stranger.Closed());

    Panel listed(port, "127.0.0.8");
    EXPECT_EQ(listed.Next().rfind("500 connection info:", 0), 0u);
    EXPECT_EQ(listed.Ask("record"), "200 ok\r\n");
    EXPECT_EQ(Requests("RECORD").size(), 24u);
}

}  // namespace
