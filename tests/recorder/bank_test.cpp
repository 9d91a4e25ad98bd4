// The bank over real sockets: greeting, requests, protocol errors, journal,
// kept state and the transport running by itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "recorder/bank.h"
#include "tests/platform/loopback_client.h"

namespace tarvolen::recorder {
namespace {

using namespace std::chrono_literals;

std::string Prefix() {
    static std::atomic<int> n{0};
    return "127." + std::to_string(20 + getpid() % 200) + "." + std::to_string(251 - n++ % 20) +
           ".";
}

// A blocking client that reads whole lines, as a technician's nc would show.
class Client {
  public:
    Client(const std::string& address, uint16_t port)
        : fd_(tarvolen::testing::ConnectWithReadTimeout(address, port)), connected_(fd_ >= 0) {}
    ~Client() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connected() const { return connected_; }
    void Send(const std::string& s) { (void)!write(fd_, s.data(), s.size()); }
    // The next line, or "" on timeout, "<closed>" at end of stream.
    std::string Line() {
        for (;;) {
            std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return line;
            }
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n == 0) return "<closed>";
            if (n < 0) return "";
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Lines until one starting with the prefix.
    std::string Until(const std::string& prefix) {
        for (int i = 0; i < 10000; ++i) {
            std::string l = Line();
            if (l.rfind(prefix, 0) == 0 || l == "<closed>" || l.empty()) return l;
        }
        return "";
    }
    std::string Bytes(std::size_t n) {
        while (buffer_.size() < n) {
            char buf[4096];
            ssize_t got = read(fd_, buf, sizeof buf);
            if (got <= 0) break;
            buffer_.append(buf, static_cast<std::size_t>(got));
        }
        std::string out = buffer_.substr(0, n);
        buffer_.erase(0, n);
        return out;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

struct Running {
    BankOptions options;
    std::unique_ptr<Bank> bank;
    explicit Running(int recorders, int channels = 4, std::string stateDir = {},
                     std::string journal = {}) {
        std::string p = Prefix();
        for (int i = 1; i <= recorders; ++i) options.addresses.push_back(p + std::to_string(i));
        options.port = 0;
        options.channels = channels;
        options.stateDir = std::move(stateDir);
        options.journalPath = std::move(journal);
        Restart();
    }
    void Restart() {
        bank = std::make_unique<Bank>(options);
        std::string error;
        if (!bank->Start(error)) throw std::runtime_error(error);
        options.port = bank->Port();
    }
    Client Connect(int i = 0) {
        return Client(options.addresses[static_cast<std::size_t>(i)], bank->Port());
    }
};

TEST(BankSession, GreetsAndAnswers) {
    Running r(1, 2);
    Client c = r.Connect();
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.Line(), "* HELLO 1 2 " + r.options.addresses[0]);
    const struct {
        const char* request;
        const char* reply;
    } cases[] = {{"1 PING\n", "1 OK"},
                 {"2 STATUS 1\n", "2 OK Stop 01:00:00;00 none -"},
                 {"3 STATUS 3\n", "3 ERR nochannel"},
                 {"4 FROB 1\n", "4 ERR badrequest"},
                 {"5 RECORD 2 Take%201\n", "5 OK Take%201"},
                 {"6 RECORD 2 ?\n", "6 ERR badstate"},
                 {"7 PLAY 2\n", "7 ERR badstate"},
                 {"8 WIND 1 2\n", "8 ERR badrequest"},
                 {"9 LOAD 1 - - Nothing\n", "9 ERR notfound"},
                 {"10 CLIPINFO Take%201\n", "10 ENTRY"},
                 {"11 STOP 2\n", "11 OK"},
                 {"12 SPEED 1 -100\n", "12 OK"},
                 {"13 STATUS 1\n", "13 OK Reverse"}};
    for (const auto& k : cases) {
        c.Send(k.request);
        std::string l = c.Line();
        EXPECT_EQ(l.rfind(k.reply, 0), 0u) << k.request << " -> " << l;
        if (l.find(" ENTRY ") != std::string::npos) {
            EXPECT_EQ(c.Line().rfind("10 OK 1", 0), 0u);
        }
    }
}

TEST(BankSession, WatchGivesTheWholePictureThenChanges) {
    Running r(1, 2);
    Client c = r.Connect();
    c.Line();
    c.Send("1 WATCH\n");
    std::vector<std::string> lines;
    for (std::string l = c.Line(); !l.empty() && l != "1 OK"; l = c.Line()) lines.push_back(l);
    EXPECT_EQ(lines, (std::vector<std::string>{"* ST 1 Stop 01:00:00;00 none", "* CLIP 1 -",
                                               "* ST 2 Stop 01:00:00;00 none", "* CLIP 2 -"}));
    c.Send("2 LOOP 1 1\n");
    EXPECT_EQ(c.Line(), "* ST 1 Play 01:00:00;00 loop");
    EXPECT_EQ(c.Until("2 "), "2 OK");
}

TEST(BankSession, WatchingWithRunsHearsRunsAgainTogetherEvery200MsAndAnyChangeAtOnce) {
    Running r(1, 2);
    Client c = r.Connect();
    c.Line();
    c.Send("1 WATCH bogus\n");
    EXPECT_EQ(c.Line(), "1 ERR badrequest WATCH%20[runs]");
    c.Send("2 WATCH runs\n");
    EXPECT_EQ(c.Line(), "* ST 1 Stop 01:00:00;00 none");
    EXPECT_EQ(c.Until("2 "), "2 OK");
    c.Send("3 PLAY 1\n");
    EXPECT_EQ(c.Line(), "* ST 1 Play 01:00:00;00 none run");
    EXPECT_EQ(c.Until("3 "), "3 OK");
    // A run started 90 ms later is heard again at the same instants.
    using Clock = std::chrono::steady_clock;
    std::this_thread::sleep_for(std::chrono::milliseconds(90));
    c.Send("4 PLAY 2\n");
    EXPECT_EQ(c.Until("4 "), "4 OK");
    // The runs go on: each channel's line again 200 ms later, never sooner,
    // and both channels' lines together.
    std::map<char, Clock::time_point> last;
    std::vector<Clock::time_point> heard;
    int again = 0;
    for (auto end = Clock::now() + std::chrono::seconds(1); Clock::now() < end;) {
        std::string l = c.Line();
        ASSERT_EQ(l.rfind("* ST ", 0), 0u) << l;
        EXPECT_TRUE(l.ends_with(" none run")) << l;
        const auto now = Clock::now();
        const char channel = l[5];
        if (last.count(channel)) {
            ++again;
            EXPECT_GE(now - last[channel], std::chrono::milliseconds(150)) << l;
        }
        last[channel] = now;
        heard.push_back(now);
    }
    EXPECT_GE(again, 6);
    // Each channel's line goes at its first frame in the instant's 200 ms, so
    // the two come up to a frame apart, and short of the 90 ms (or 110 ms the
    // other way) between the runs' starts that lines resent by their own
    // clocks would keep. The margin is for a loaded machine's late timers.
    constexpr auto kTogether = std::chrono::milliseconds(75);
    // The first line's fellow may have come before the answer to PLAY 2, the
    // last one's after the second.
    for (size_t i = 1; i + 1 < heard.size(); ++i) {
        const bool together =
            heard[i] - heard[i - 1] < kTogether || heard[i + 1] - heard[i] < kTogether;
        EXPECT_TRUE(together) << "line " << i + 1 << " of " << heard.size();
    }
    // Anything else comes at once, before the answer, and without run once
    // the run ends.
    auto lastStatusBefore = [&c](const std::string& reply) {
        std::string st;
        for (std::string l = c.Line(); !l.empty() && l.rfind(reply, 0) != 0; l = c.Line())
            if (l.rfind("* ST ", 0) == 0) st = l;
        return st;
    };
    c.Send("5 LOOP 1 1\n");
    std::string loop = lastStatusBefore("5 OK");
    EXPECT_TRUE(loop.ends_with(" loop run")) << loop;
    c.Send("6 STOP 1\n");
    std::string stop = lastStatusBefore("6 OK");
    EXPECT_EQ(stop.rfind("* ST 1 Stop ", 0), 0u) << stop;
    EXPECT_FALSE(stop.ends_with(" run")) << stop;
}

TEST(BankSession, DocumentsTravelAsPayloads) {
    Running r(1, 1);
    Client c = r.Connect();
    c.Line();
    c.Send("1 CONFIG 1\n");
    std::string header = c.Line();
    ASSERT_EQ(header.rfind("1 OK #", 0), 0u) << header;
    std::size_t n = std::stoul(header.substr(6));
    std::string doc = c.Bytes(n + 1);
    EXPECT_NE(doc.find("<tarvolen>"), std::string::npos);
    EXPECT_EQ(doc.back(), '\n');
    std::string next = "<tarvolen><project><project_name>X</project_name></project></tarvolen>";
    c.Send("2 SETCONFIG 1 #" + std::to_string(next.size()) + "\n" + next + "\n");
    EXPECT_EQ(c.Line(), "2 OK");
    c.Send("3 SETCONFIG 1 #5\n<a/>x\n");
    EXPECT_EQ(c.Line().rfind("3 ERR badxml", 0), 0u);
    // Each document sent is journalled whole, refused ones with the reason.
    std::vector<std::string> sent;
    for (const auto& e : r.bank->Journal()) {
        if (e.request == "SETCONFIG") sent.push_back(e.outcome + ":" + e.detail);
    }
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], "ok:" + next);
    EXPECT_EQ(sent[1].substr(sent[1].size() - 5), "<a/>x");
    EXPECT_EQ(sent[1].rfind("badxml:", 0), 0u);
    c.Send("4 VOLUMES 1\n");
    EXPECT_EQ(c.Line().rfind("4 OK #", 0), 0u);
}

TEST(BankSession, ProtocolErrorsCloseOnlyThatConnection) {
    const std::string bad[] = {std::string("1 PING\x01\n"), std::string(3000, 'x') + "\n",
                               "1 OK #99999\n", "x PING\n"};
    Running r(2);
    Client other = r.Connect(0);
    Client elsewhere = r.Connect(1);
    other.Line();
    elsewhere.Line();
    for (const auto& b : bad) {
        Client c = r.Connect(0);
        c.Line();
        c.Send(b);
        EXPECT_EQ(c.Line().rfind("* ERROR protocol", 0), 0u);
        EXPECT_EQ(c.Line(), "<closed>");
    }
    other.Send("1 PING\n");
    EXPECT_EQ(other.Line(), "1 OK");
    elsewhere.Send("1 PING\n");
    EXPECT_EQ(elsewhere.Line(), "1 OK");
    int errors = 0;
    for (const auto& e : r.bank->Journal()) errors += e.request == "protocol";
    EXPECT_EQ(errors, 4);
}

TEST(BankSession, InjectedFaultsFromTheCommandLineForm) {
    Running r(1);
    r.bank->Refuse(r.options.addresses[0], "*");
    Client c = r.Connect();
    c.Line();
    c.Send("1 PLAY 1\n2 PING\n");
    EXPECT_EQ(c.Line().rfind("1 ERR refused", 0), 0u);
    EXPECT_EQ(c.Line(), "2 OK") << "keepalive still answered";
    r.bank->ClearFaults(r.options.addresses[0]);
    r.bank->GarbleNext(r.options.addresses[0]);
    c.Send("3 PING\n");
    std::string l = c.Line();
    EXPECT_NE(l, "3 OK");
    r.bank->DropConnections(r.options.addresses[0]);
    EXPECT_EQ(c.Line(), "<closed>");
}

// Replies the client must get whole or cut, never lose: an error echoing a
// name near the line bound, a file list of a name with "&", a thousand
// pipelined requests from a client that reads as fast as it can, and a long
// listing; with an answer delay, answers still come in request order.
TEST(BankSession, EveryRequestIsAnsweredWhateverItsSize) {
    Running r(1, 1);
    const std::string address = r.options.addresses[0];
    Client c = r.Connect();
    c.Line();

    const std::string name(2034, 'N');  // the request is 2048 bytes, its error longer
    c.Send("1 LOAD 1 - - " + name + "\n");
    std::string err = c.Line();
    EXPECT_EQ(err.rfind("1 ERR notfound ", 0), 0u) << err.substr(0, 40);
    EXPECT_LE(err.size() + 1, wire::kMaxLine);

    c.Send("2 RECORD 1 A%26B\n");
    EXPECT_EQ(c.Line(), "2 OK A&B");
    c.Send("3 FILES 1 A%26B\n");
    std::string header = c.Line();
    ASSERT_EQ(header.rfind("3 OK #", 0), 0u) << header;
    std::string doc = c.Bytes(std::stoul(header.substr(6)) + 1);
    pugi::xml_document xml;
    EXPECT_TRUE(xml.load_string(doc.c_str())) << doc;
    EXPECT_EQ(std::string(xml.child("RecFileList").child_value("Clip")), "A&B");
    c.Send("4 STOP 1\n");
    EXPECT_EQ(c.Until("4 "), "4 OK");

    std::string burst;
    for (int id = 100; id < 1100; ++id) burst += std::to_string(id) + " CONFIG 1\n";
    c.Send(burst);
    int answers = 0;
    for (int id = 100; id < 1100; ++id) {
        std::string l = c.Line();
        if (l.rfind(std::to_string(id) + " OK #", 0) != 0) {
            ADD_FAILURE() << id << ": " << l;
            break;
        }
        c.Bytes(std::stoul(l.substr(l.find('#') + 1)) + 1);
        ++answers;
    }
    EXPECT_EQ(answers, 1000);

    ASSERT_TRUE(r.bank->AddClips(address, 20000));
    c.Send("5 LIST\n");
    int entries = 0;
    std::string l;
    for (l = c.Line(); l.rfind("5 ENTRY ", 0) == 0; l = c.Line()) ++entries;
    EXPECT_EQ(entries, 20001);
    EXPECT_EQ(l, "5 OK 20001");

    r.bank->SetLatency(address, 0ms, 15ms);
    std::string ordered;
    for (int id = 10; id < 40; ++id) ordered += std::to_string(id) + " PING\n";
    c.Send(ordered);
    for (int id = 10; id < 40; ++id) EXPECT_EQ(c.Line(), std::to_string(id) + " OK");
    int dropped = 0;
    for (const auto& e : r.bank->Journal()) dropped += e.request == "session";
    EXPECT_EQ(dropped, 0);
}

TEST(BankSession, AFileListIsAsciiWhateverTheClipIsNamed) {
    Running r(1, 1);
    Client c = r.Connect();
    c.Line();
    // A byte from 127 up travels as a numeric reference.
    c.Send("1 RECORD 1 Caf%E9\n2 FILES 1 Caf%E9\n");
    EXPECT_EQ(c.Line(), "1 OK Caf%E9");
    const std::string header = c.Line();
    ASSERT_EQ(header.rfind("2 OK #", 0), 0u) << header;
    const std::string doc = c.Bytes(std::stoul(header.substr(6)) + 1);
    EXPECT_NE(doc.find("<Clip>Caf&#233;</Clip>"), std::string::npos) << doc;
    EXPECT_NE(doc.find("/Caf&#233;_avmxf_v1"), std::string::npos) << doc;
    EXPECT_TRUE(std::all_of(doc.begin(), doc.end(), [](char b) { return b > 0 && b < 0x7F; }));
}

TEST(BankTransport, ClipsEndLoopAndPingPong) {
    Running r(1, 1);
    Client c = r.Connect();
    c.Line();
    c.Send("1 RECORD 1 Short\n");
    c.Line();
    std::this_thread::sleep_for(300ms);
    c.Send("2 STOP 1\n");
    c.Line();
    auto state = [&] { return r.bank->Channel(r.options.addresses[0], 1)->state; };
    // Without a mode play stops at the end.
    c.Send("3 LOAD 1 - - Short\n4 PLAY 1\n");
    c.Line();
    c.Line();
    for (int i = 0; i < 400 && state() != "Stop"; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(state(), "Stop");
    // Loop play keeps playing past the end.
    c.Send("5 LOOP 1 1\n");
    c.Line();
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(state(), "Play");
    // Ping-pong turns round at the ends.
    c.Send("6 PINGPONG 1 1\n");
    c.Line();
    bool reversed = false;
    for (int i = 0; i < 400 && !reversed; ++i) {
        reversed = state() == "Reverse";
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(reversed);
}

TEST(BankState, ClipsSurviveARestartAndTheJournalIsJson) {
    auto dir =
        std::filesystem::temp_directory_path() / ("tarvolen-bank-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::string journal = (dir / "journal.jsonl").string();
    std::filesystem::create_directories(dir);
    {
        Running r(1, 1, (dir / "state").string(), journal);
        Client c = r.Connect();
        c.Line();
        c.Send("1 RECORD 1 Kept\n");
        c.Line();
        std::this_thread::sleep_for(100ms);
        c.Send("2 STOP 1\n");
        c.Line();
        r.bank->Stop();
        r.Restart();
        auto clips = r.bank->Clips(r.options.addresses[0]);
        ASSERT_EQ(clips.size(), 1u);
        EXPECT_EQ(clips[0].name, "Kept");
        EXPECT_EQ(clips[0].guid.size(), 36u);
        EXPECT_EQ(r.bank->Channel(r.options.addresses[0], 1)->clip, "Kept");
        Client d = r.Connect();
        d.Line();
        d.Send("1 RECORD 1 Kept\n");
        EXPECT_EQ(d.Line(), "1 OK Kept_2");
    }
    std::ifstream in(journal);
    std::string line;
    int records = 0, lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        for (const char* key :
             {"\"time\":", "\"address\":", "\"channel\":", "\"request\":", "\"outcome\":"})
            EXPECT_NE(line.find(key), std::string::npos) << line;
        if (line.find("\"request\":\"RECORD\"") != std::string::npos) {
            ++records;
            // Microseconds in the time stamp.
            std::size_t t = line.find("\"time\":\"");
            EXPECT_EQ(line[t + 8 + 19], '.');
            EXPECT_EQ(line[t + 8 + 26], 'Z');
        }
    }
    EXPECT_EQ(records, 2);
    EXPECT_GT(lines, 4);
    std::filesystem::remove_all(dir);
}

// A request's arrival in the journal is when it reached the recorder, after
// the emulated network's delay, however late the bank carries it out.
TEST(BankJournal, ArrivalIsWhenTheRequestReachedTheRecorder) {
    Running r(1, 1);
    const std::string& address = r.options.addresses[0];
    Client c = r.Connect();
    c.Line();
    const struct {
        std::chrono::milliseconds delay, slow;
    } cases[] = {{0ms, 0ms}, {60ms, 0ms}, {0ms, 150ms}};
    int id = 0;
    for (const auto& k : cases) {
        r.bank->SetDelay(address, k.delay);
        r.bank->SetSlow(address, "RECORD", k.slow);
        auto sent = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
        c.Send(std::to_string(++id) + " RECORD 1 ?\n");
        ASSERT_EQ(c.Until(std::to_string(id) + " ").rfind(std::to_string(id) + " OK", 0), 0u);
        JournalEntry e;
        for (const auto& j : r.bank->Journal())
            if (j.request == "RECORD") e = j;
        auto us = [](std::chrono::milliseconds m) {
            return static_cast<int64_t>(m.count()) * 1000;
        };
        EXPECT_GE(e.received, sent + us(k.delay)) << k.delay.count() << "/" << k.slow.count();
        EXPECT_GE(e.micros - e.received, us(k.slow)) << k.delay.count() << "/" << k.slow.count();
        r.bank->ClearFaults(address);
        c.Send(std::to_string(++id) + " STOP 1\n");
        c.Until(std::to_string(id) + " ");
    }
}

TEST(BankStart, RefusesWhatItCannotServe) {
    const struct {
        std::vector<std::string> addresses;
        int channels;
    } cases[] = {{{}, 4}, {{"10.1.2.3"}, 4}, {{"not.an.address"}, 4}, {{"127.0.0.1"}, 0}};
    for (const auto& c : cases) {
        BankOptions o;
        o.addresses = c.addresses;
        o.channels = c.channels;
        o.port = 0;
        Bank b(o);
        std::string error;
        EXPECT_FALSE(b.Start(error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace tarvolen::recorder
