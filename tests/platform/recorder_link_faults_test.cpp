// The link when recorders die, go silent or talk nonsense. Bounds here are
// generous functional limits; the real figures come from bench_recorder_link.
#include <gtest/gtest.h>

#include <algorithm>

#include "link_harness.h"

namespace tarvolen::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int Connects(const recorder::Bank& bank, const std::string& address) {
    int n = 0;
    for (const auto& e : bank.Journal()) n += e.address == address && e.request == "connect";
    return n;
}

TEST(LinkFaults, KilledRecorderIsLostAndComesBack) {
    Harness h(6);
    h.ConnectOnePerRecorder();
    for (int ch = 0; ch < 6; ++ch) ASSERT_EQ(h.Record(ch), 0);
    const int dead = 2;
    ASSERT_TRUE(h.bank->StopRecorder(h.addresses[dead]));
    auto killed = Clock::now();
    Clock::duration longest{};
    bool lost = false;
    while (Clock::now() - killed < 5s && !lost) {
        auto t0 = Clock::now();
        lost = h.State(dead) == "Los";
        longest = std::max(longest, Clock::now() - t0);
    }
    ASSERT_TRUE(lost);
    auto lostAfter = Clock::now() - killed;
    // Commands to it fail at once; the others go on recording.
    auto t0 = Clock::now();
    EXPECT_EQ(h.Channel(amp::kStop, dead), link::result::kLost);
    longest = std::max(longest, Clock::now() - t0);
    for (int ch = 0; ch < 6; ++ch)
        EXPECT_EQ(h.State(ch), ch == dead ? h.State(ch) : "Record") << ch;

    ASSERT_TRUE(h.bank->StartRecorder(h.addresses[dead]));
    auto restarted = Clock::now();
    EXPECT_TRUE(h.WaitState(dead, "Stop"));
    auto backAfter = Clock::now() - restarted;
    for (int ch = 0; ch < 6; ++ch)
        EXPECT_EQ(h.State(ch), ch == dead ? h.State(ch) : "Record") << ch;
    EXPECT_EQ(h.Channel(amp::kPlay, dead), 0);
    EXPECT_LT(longest, 1s) << "a status or command call stalled";
    auto ms = [](Clock::duration d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    std::printf("killed recorder: Los after %lld ms, back after %lld ms, longest call %lld ms\n",
                static_cast<long long>(ms(lostAfter)), static_cast<long long>(ms(backAfter)),
                static_cast<long long>(ms(longest)));
}

TEST(LinkFaults, SilentRecorderCostsOneBoundedWait) {
    Harness h(2);
    h.ConnectOnePerRecorder();
    h.bank->SetSilent(h.addresses[0], true);
    auto t0 = Clock::now();
    EXPECT_EQ(h.Channel(amp::kPlay, 0), link::result::kLost);
    auto first = Clock::now() - t0;
    EXPECT_EQ(h.State(0), "Los");
    t0 = Clock::now();
    EXPECT_NE(h.Channel(amp::kPlay, 0), 0);
    auto second = Clock::now() - t0;
    EXPECT_LT(first, 1s);
    EXPECT_LT(second, first) << "the second command fails at once";
    EXPECT_EQ(h.Channel(amp::kPlay, 1), 0) << "the other recorder is untouched";
    h.bank->SetSilent(h.addresses[0], false);
    EXPECT_TRUE(h.WaitState(0, "Stop"));
}

TEST(LinkFaults, SilenceWithoutCommandsIsNoticedByTheKeepalive) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    h.bank->SetSilent(h.addresses[0], true);
    EXPECT_TRUE(h.WaitState(0, "Los"));
    h.bank->SetSilent(h.addresses[0], false);
    EXPECT_TRUE(h.WaitState(0, "Stop"));
}

struct BadTraffic {
    const char* name;
    std::string bytes;  // empty: garble the next frame
};

TEST(LinkFaults, GarbledOrOversizeFramesDropOnlyThatConnection) {
    const BadTraffic cases[] = {
        {"garbled frame", ""},
        {"oversize line", std::string(5000, 'A') + "\n"},
        {"oversize payload", "* ST #70000\n"},
        {"binary junk", std::string("\x00\xff\x13\x37\n", 5)},
        {"reply to nothing", "99999 OK\n"},  // harmless: ignored
    };
    Harness h(3);
    h.ConnectOnePerRecorder();
    ASSERT_EQ(h.Record(1), 0);
    for (const auto& c : cases) {
        int before0 = Connects(*h.bank, h.addresses[0]);
        int before1 = Connects(*h.bank, h.addresses[1]);
        int before2 = Connects(*h.bank, h.addresses[2]);
        if (c.bytes.empty()) {
            h.bank->GarbleNext(h.addresses[0]);
            h.Channel(amp::kPlay, 0);  // its answer is the garbled frame
        } else {
            h.bank->SendRaw(h.addresses[0], c.bytes);
        }
        bool harmless = std::string(c.name) == "reply to nothing";
        auto end = Clock::now() + 10s;
        while (!harmless && Connects(*h.bank, h.addresses[0]) == before0 && Clock::now() < end)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(Connects(*h.bank, h.addresses[0]), before0 + (harmless ? 0 : 1)) << c.name;
        EXPECT_TRUE(h.WaitState(0, "Stop") || h.WaitState(0, "Play")) << c.name;
        EXPECT_EQ(Connects(*h.bank, h.addresses[1]), before1) << c.name;
        EXPECT_EQ(Connects(*h.bank, h.addresses[2]), before2) << c.name;
        EXPECT_EQ(h.State(1), "Record") << c.name;
        h.Channel(amp::kStop, 0);
    }
}

TEST(LinkFaults, SlowAndRefusingRecorders) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    h.bank->SetDelay(h.addresses[0], 50ms);
    EXPECT_EQ(h.Channel(amp::kPlay, 0), 0) << "a slow answer within the bound is fine";
    h.bank->SetDelay(h.addresses[0], 600ms);
    auto t0 = Clock::now();
    EXPECT_EQ(h.Channel(amp::kStop, 0), link::result::kLost);
    EXPECT_LT(Clock::now() - t0, 1s);
    h.bank->SetDelay(h.addresses[0], 0ms);
    EXPECT_TRUE(h.WaitState(0, "Stop") || h.WaitState(0, "Play"));
    h.bank->Refuse(h.addresses[0], "RECORD");
    EXPECT_EQ(h.Record(0), link::result::kRefused);
    EXPECT_NE(h.State(0), "Record");
    h.bank->ClearFaults(h.addresses[0]);
    EXPECT_EQ(h.Record(0), 0);
}

}  // namespace
}  // namespace tarvolen::testing
