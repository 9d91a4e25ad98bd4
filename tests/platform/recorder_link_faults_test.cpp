// The link when recorders die, go silent or talk nonsense. Bounds here are
// generous functional limits; the real figures come from bench_recorder_link.
#include <gtest/gtest.h>

#include <algorithm>

#include "link_harness.h"
#include "paused.h"

namespace tarvolen::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int Connects(const recorder::Bank& bank, const std::string& address) {
    int n = 0;
    for (const auto& e : bank.Journal()) n += e.address == address && e.request == "connect";
    return n;
}

// Polls until the channel reads a recorder's own state again.
bool WaitUp(Harness& h, int ch) {
    auto end = Clock::now() + 10s;
    while (Clock::now() < end) {
        std::string s = h.State(ch);
        if (s != "Los" && s != "Off") return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
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

TEST(LinkFaults, SilentRecorderIsLateFirstThenLostThenBack) {
    Harness h(2);
    h.ConnectOnePerRecorder();
    h.bank->SetSilent(h.addresses[0], true);
    EXPECT_EQ(h.Channel(amp::kPlay, 0), link::result::kLost) << "no answer in time";
    EXPECT_EQ(h.Channel(amp::kPlay, 1), 0) << "the other recorder is untouched";
    ASSERT_TRUE(h.WaitState(0, "Los")) << "lost once nothing came despite pings";
    EXPECT_EQ(h.Channel(amp::kPlay, 0), link::result::kLost) << "fails at once when lost";
    EXPECT_EQ(h.State(1), "Play");
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

// A machine paused past the silence that loses a recorder (a suspended
// laptop, a starved virtual machine) holds the recorders' answers up too: on
// waking, the link asks before it judges; one that fell silent meanwhile is
// still lost.
TEST(LinkFaults, APausedControllerLosesOnlyTheRecorderThatNoLongerAnswers) {
    Harness h(3);
    h.ConnectOnePerRecorder();
    h.bank->SetSilent(h.addresses[2], true);
    ASSERT_TRUE(PauseThisProcess(1500ms));
    bool lost = false, silentLost = false;
    for (auto end = Clock::now() + 1s; Clock::now() < end;) {
        for (int ch = 0; ch < 2; ++ch) lost = lost || h.State(ch) == "Los";
        silentLost = silentLost || h.State(2) == "Los";
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(lost);
    EXPECT_TRUE(silentLost);
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
        EXPECT_TRUE(WaitUp(h, 0)) << c.name;
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
    EXPECT_EQ(h.Channel(amp::kStop, 0), link::result::kLost) << "late";
    h.bank->SetDelay(h.addresses[0], 0ms);
    EXPECT_TRUE(h.WaitState(0, "Stop")) << "the late STOP still took effect";
    h.bank->Refuse(h.addresses[0], "RECORD");
    EXPECT_EQ(h.Record(0), link::result::kRefused);
    EXPECT_NE(h.State(0), "Record");
    h.bank->ClearFaults(h.addresses[0]);
    EXPECT_EQ(h.Record(0), 0);
}

// Each case on a recorder of its own with two channels: the first gets the
// slow request, the second (its neighbour) records right after.
struct LateCase {
    const char* verb;
    std::chrono::milliseconds delay;
};

TEST(LinkFaults, LateAnswersAreNotLosses) {
    const LateCase cases[] = {{"RECORD", 300ms}, {"STOP", 300ms},      {"LIST", 300ms},
                              {"CONFIG", 300ms}, {"SETCONFIG", 300ms}, {"RECORD", 2s},
                              {"STOP", 2s},      {"LIST", 2s},         {"CONFIG", 2s},
                              {"SETCONFIG", 2s}};
    const int n = static_cast<int>(std::size(cases));
    Harness h(n, 2);
    auto address = [&](int i) { return h.addresses[static_cast<std::size_t>(i)]; };
    for (int i = 0; i < n; ++i) {
        h.Map(2 * i, address(i), 1);
        h.Map(2 * i + 1, address(i), 2);
    }
    h.Connect();
    for (int i = 0; i < n; ++i) {
        if (std::string(cases[i].verb) == "STOP") {
            ASSERT_EQ(h.Record(2 * i), 0);
        }
    }
    int dials = h.link->Dials();

    for (int i = 0; i < n; ++i) {
        const LateCase& c = cases[i];
        const std::string verb = c.verb;
        h.bank->SetSlow(address(i), verb, c.delay);
        int32_t rc = -1;
        if (verb == "RECORD") {
            rc = h.Record(2 * i);
        } else if (verb == "STOP") {
            rc = h.Channel(amp::kStop, 2 * i);
        } else if (verb == "LIST") {
            AddressRequest req;
            StoreField(req.address, kAddressWidth, address(i));
            CountReply count;
            rc = h.link->ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count);
        } else if (verb == "CONFIG") {
            std::string doc;
            rc = h.Document(amp::kGetConfig, 2 * i, doc);
            EXPECT_TRUE(doc.empty()) << "a late document is not handed out";
        } else {
            auto b = Harness::Block("<Chan>" + std::to_string(2 * i) +
                                    "</Chan>\r\n<tarvolen><project><scene>Late</scene>"
                                    "</project></tarvolen>");
            rc = h.link->AmpCommand(amp::kSendConfig, RecordArg(b.get()), nullptr);
        }
        EXPECT_EQ(rc, link::result::kLost) << verb << " " << c.delay.count();
        // The neighbour's RECORD is slow too when RECORD is the slow verb.
        int32_t neighbour = h.Record(2 * i + 1);
        EXPECT_EQ(neighbour, verb == "RECORD" ? link::result::kLost : 0) << verb;
    }

    // The late answers come and take effect; nobody reads "Los" meanwhile.
    auto settled = [&] {
        for (int i = 0; i < n; ++i) {
            const std::string verb = cases[i].verb;
            if (verb == "RECORD" && h.State(2 * i) != "Record") return false;
            if (verb == "STOP" && h.State(2 * i) != "Stop") return false;
            if (h.State(2 * i + 1) != "Record") return false;
        }
        return true;
    };
    bool lost = false;
    auto end = Clock::now() + 20s;
    while (!settled() && Clock::now() < end) {
        for (int ch = 0; ch < 2 * n; ++ch) lost = lost || h.State(ch) == "Los";
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(settled());
    EXPECT_FALSE(lost);
    EXPECT_EQ(h.link->Dials(), dials) << "no connection was dropped";
    // Every slow request was carried out in the end.
    auto carriedOut = [&] {
        auto journal = h.bank->Journal();
        for (int i = 0; i < n; ++i) {
            bool found = false;
            for (const auto& e : journal)
                found = found || (e.address == address(i) && e.request == cases[i].verb &&
                                  e.outcome == "ok");
            if (!found) return false;
        }
        return true;
    };
    end = Clock::now() + 5s;
    while (!carriedOut() && Clock::now() < end) std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(carriedOut());
    // The recorders answer at once again.
    for (int i = 0; i < n; ++i) h.bank->ClearFaults(address(i));
    for (int i = 0; i < n; ++i) EXPECT_EQ(h.Channel(amp::kStop, 2 * i + 1), 0);
}

// Silence, garbage, an over-long payload and a close in mid-frame: the
// recorder is lost, comes back by itself and its channel still records;
// nobody else notices.
TEST(LinkFaults, TransientFaultsLoseOnlyThatRecorderForAWhile) {
    Harness h(6);
    h.ConnectOnePerRecorder();
    for (int ch = 0; ch < 6; ++ch) ASSERT_EQ(h.Record(ch), 0);
    h.bank->SetSilent(h.addresses[0], true);
    h.bank->SetMute(h.addresses[1], true);
    h.bank->SendRaw(h.addresses[2], "\x01\xfe garbage\n");
    h.bank->SendOversize(h.addresses[3]);
    h.bank->CutConnections(h.addresses[4]);
    // Some come back within a few hundred milliseconds: watch all at once.
    std::vector<bool> seenLost(6, false);
    auto end = Clock::now() + 10s;
    while (Clock::now() < end && std::count(seenLost.begin(), seenLost.begin() + 5, true) < 5) {
        for (int ch = 0; ch < 6; ++ch) seenLost[ch] = seenLost[ch] || h.State(ch) == "Los";
        std::this_thread::sleep_for(1ms);
    }
    for (int ch = 0; ch < 5; ++ch) EXPECT_TRUE(seenLost[ch]) << ch;
    EXPECT_FALSE(seenLost[5]);
    h.bank->SetSilent(h.addresses[0], false);
    h.bank->SetMute(h.addresses[1], false);
    for (int ch = 0; ch < 6; ++ch) EXPECT_TRUE(h.WaitState(ch, "Record")) << ch;
    for (int ch = 0; ch < 6; ++ch) EXPECT_EQ(h.Channel(amp::kStop, ch), 0) << ch;
}

TEST(LinkFaults, RecorderThatNeverGreetsIsOffThenLostAndFailsAtOnce) {
    Harness h(2);
    h.bank->SetSilent(h.addresses[0], true);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.State(0), "Off") << "not connected yet is not lost";
    EXPECT_EQ(h.State(1), "Stop");
    EXPECT_EQ(h.Channel(amp::kPlay, 0), link::result::kLost);
    EXPECT_TRUE(h.WaitState(0, "Los"));
    EXPECT_EQ(h.Channel(amp::kPlay, 1), 0);
    h.bank->SetSilent(h.addresses[0], false);
    EXPECT_TRUE(h.WaitState(0, "Stop"));
}

TEST(LinkFaults, ReconnectKeepsHealthyConnectionsAndDialsOnlyNewAddresses) {
    Harness h(4);
    for (int i = 0; i < 3; ++i) h.Map(i, h.addresses[static_cast<std::size_t>(i)], 1);
    h.Connect();
    ASSERT_EQ(h.Record(0), 0);
    int dials = h.link->Dials();
    // What the command layer sends on a reconnect: disconnect both
    // libraries, then connect with channel 2 moved to another recorder.
    EXPECT_EQ(h.link->AmpCommand(amp::kDisconnect, 0, nullptr), 0);
    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kDisconnect, 0, nullptr), 0);
    EXPECT_EQ(h.State(0), "Off");
    h.Map(2, h.addresses[3], 1);
    h.Connect();
    EXPECT_EQ(h.link->Dials(), dials + 1);
    EXPECT_EQ(h.State(0), "Record");
    EXPECT_EQ(h.State(1), "Stop");
    EXPECT_TRUE(h.WaitState(2, "Stop"));
    EXPECT_EQ(Connects(*h.bank, h.addresses[0]), 1);
    EXPECT_EQ(Connects(*h.bank, h.addresses[3]), 1);
    // The one no longer used is closed after a while.
    auto end = Clock::now() + 10s;
    while (h.bank->Sessions(h.addresses[2]) > 0 && Clock::now() < end)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(h.bank->Sessions(h.addresses[2]), 0);
}

TEST(LinkFaults, LongListingKeepsTheNewestEntriesAndOneListing) {
    link::LinkOptions options;
    options.maxListing = 1000;
    options.replyTimeout = 2s;  // slow machines and sanitizers: the bound is not the subject
    Harness h(2, 4, options);
    h.ConnectOnePerRecorder();
    ASSERT_TRUE(h.bank->AddClips(h.addresses[0], 3000));
    ASSERT_TRUE(h.bank->AddClips(h.addresses[1], 5));
    int dials = h.link->Dials();
    ::setenv("TARVOLEN_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    AddressRequest req;
    StoreField(req.address, kAddressWidth, h.addresses[0]);
    CountReply count;
    int32_t rc = h.link->ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count);
    std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("TARVOLEN_TRACE");
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(count.count, 1000);
    EXPECT_NE(trace.find("3000 entries, kept the newest 1000, left out the oldest 2000"),
              std::string::npos)
        << trace;
    ClipEntry e{};
    e.size = sizeof e;
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kFirst, RecordArg(&req), &e), 0);
    EXPECT_EQ(ReadField(e.clipName, kClipNameWidth), "Seed_002001");
    int entries = 1;
    while (h.link->ClipDirCommand(clipdir::kNext, RecordArg(&req), &e) == 0) ++entries;
    EXPECT_EQ(entries, 1000);
    EXPECT_EQ(ReadField(e.clipName, kClipNameWidth), "Seed_003000");
    EXPECT_EQ(h.link->Dials(), dials) << "the recorder was not dropped";

    // A listing of another recorder replaces the one held.
    AddressRequest other;
    StoreField(other.address, kAddressWidth, h.addresses[1]);
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kOpen, RecordArg(&other), &count), 0);
    EXPECT_EQ(count.count, 5);
    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kNext, RecordArg(&req), &e), link::result::kNoEntry);
}

}  // namespace
}  // namespace tarvolen::testing
