// The link against the emulated bank on loopback, code by code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "link_harness.h"
#include "platform/recorder_link/channel_status.h"
#include "platform/wire/timecode.h"

namespace tarvolen::testing {
namespace {

using namespace std::chrono_literals;

TEST(LinkConnect, ChannelsReadTheirRecordersStates) {
    Harness h(3, 2);
    h.Map(0, h.addresses[0], 1);
    h.Map(1, h.addresses[0], 2);
    h.Map(2, h.addresses[1], 1);
    h.Map(3, h.addresses[2], 4);  // the recorder has 2 channels
    h.Map(4, "127.0.0.0", 1);     // nothing listens there
    h.Map(5, h.addresses[1], 1);
    h.table.shown[5] = 0;         // not shown: not connected
    h.Map(6, h.addresses[1], 7);  // internal channel out of range: skipped
    EXPECT_EQ(h.Connect(), 0);
    StatusTable t = h.Status();
    const struct {
        int ch;
        const char* state;
        bool timecode;
    } expect[] = {{0, "Stop", true}, {1, "Stop", true}, {2, "Stop", true}, {3, "Nop", false},
                  {4, "Los", false}, {5, "Off", false}, {6, "Off", false}, {47, "Off", false}};
    for (const auto& e : expect) {
        EXPECT_EQ(ReadField(t.entry[e.ch].state, 13), e.state) << e.ch;
        std::string tc = ReadField(t.entry[e.ch].timecode, 15);
        EXPECT_EQ(tc, e.timecode ? "01:00:00;00" : "--:--:--:--") << e.ch;
    }
    EXPECT_EQ(h.link->Connections(), 3);  // one per distinct address that answers
}

TEST(LinkConnect, DisconnectTurnsEverythingOff) {
    Harness h(2);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.link->AmpCommand(amp::kDisconnect, 0, nullptr), 0);
    EXPECT_EQ(h.State(0), "Off");
    EXPECT_EQ(h.link->Connections(), 0);
    EXPECT_NE(h.Channel(amp::kPlay, 0), 0);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.State(1), "Stop");
}

TEST(LinkConnect, CommandsToUnconnectedChannelsFail) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.Channel(amp::kPlay, 5), link::result::kNotConnected);
    EXPECT_EQ(h.Channel(amp::kPlay, 48), link::result::kBadInput);
    EXPECT_EQ(h.Channel(amp::kPlay, -1), link::result::kBadInput);
    ChannelRequest shortRecord;
    shortRecord.size = 4;
    EXPECT_EQ(h.link->AmpCommand(amp::kPlay, RecordArg(&shortRecord), nullptr),
              link::result::kBadInput);
    EXPECT_EQ(h.link->AmpCommand(amp::kPlay, 0, nullptr), link::result::kBadInput);
    StatusTable small{};
    small.size = 100;
    EXPECT_EQ(h.link->AmpCommand(amp::kStatus, 0, &small), link::result::kBadInput);
    EXPECT_EQ(h.link->AmpCommand(2, 0, nullptr), link::result::kBadInput);
}

struct TransportCase {
    const char* name;
    int32_t code;
    int value;  // for the valued codes
    bool valued;
    const char* state;
};

TEST(LinkTransport, EveryTransportCodeReachesTheRecorder) {
    const TransportCase cases[] = {
        {"play", amp::kPlay, 0, false, "Play"},
        {"rewind", amp::kWind, -1, true, "Rewind"},
        {"fast forward", amp::kWind, 1, true, "FastFwd"},
        {"step forward", amp::kStep, 1, true, "Still"},
        {"step back", amp::kStep, -1, true, "Still"},
        {"play reverse", amp::kPlaySpeed, -100, true, "Reverse"},
        {"loop on", amp::kLoop, 1, true, "Play{L}"},
        {"ping-pong on", amp::kPingPong, 1, true, "Play{P}"},
        {"loop off keeps playing", amp::kLoop, 0, true, "Play{P}"},
        {"stop", amp::kStop, 0, false, "Stop"},
        {"eject", amp::kEject, 0, false, "Eject"},
        {"stop on an empty deck", amp::kStop, 0, false, "Eject"},
    };
    Harness h(1);
    h.ConnectOnePerRecorder();
    // A channel with no clip loaded winds freely, so no state runs out under the test.
    for (const auto& c : cases) {
        int32_t rc = c.valued ? h.Valued(c.code, 0, c.value) : h.Channel(c.code, 0);
        EXPECT_EQ(rc, 0) << c.name;
        // The recorder reports before it answers, so the cache is current at once.
        EXPECT_EQ(h.State(0), c.state) << c.name;
        auto view = h.bank->Channel(h.addresses[0], 1);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->state, std::string(c.state).substr(0, view->state.size())) << c.name;
    }
    EXPECT_NE(h.Channel(amp::kPlay, 0), 0) << "nothing to play after eject";
}

// The status thread waits for these calls instead of polling: every change
// the polls would show must make one, and a command's before its answer.
TEST(LinkTransport, SaysWhenWhatThePollsAnswerChanged) {
    link::LinkOptions options;
    options.setupTimeout = 300ms;
    options.retryEvery = 50ms;
    Harness h(2, 4, options);
    std::atomic<int> wakes{0};
    auto library = h.link->AmpLibrary();
    ASSERT_TRUE(library->WatchStatus([&] { ++wakes; }));
    h.ConnectOnePerRecorder();
    EXPECT_GT(wakes.load(), 0) << "connect";
    for (int32_t code : {amp::kPlay, amp::kStop, amp::kEject}) {
        const int before = wakes.load();
        EXPECT_EQ(h.Channel(code, 1), 0);
        EXPECT_GT(wakes.load(), before) << "code " << code;
    }
    const int before = wakes.load();
    h.bank->CutConnections(h.addresses[0]);
    EXPECT_TRUE(h.WaitState(0, "Los"));
    EXPECT_GT(wakes.load(), before) << "lost";
    // One that greets and then says nothing stays lost through its redials:
    // nothing shown changes, so nobody is woken for them.
    using Clock = std::chrono::steady_clock;
    h.bank->SetMute(h.addresses[0], true);
    const int dials = h.link->Dials();
    auto end = Clock::now() + 10s;
    while (h.link->Dials() < dials + 1 && Clock::now() < end) std::this_thread::sleep_for(5ms);
    const int stayingAway = wakes.load();
    while (h.link->Dials() < dials + 3 && Clock::now() < end) std::this_thread::sleep_for(5ms);
    ASSERT_GE(h.link->Dials(), dials + 3);
    EXPECT_EQ(h.State(0), "Los");
    EXPECT_EQ(wakes.load(), stayingAway) << "redials of a recorder that stays away";
    library->WatchStatus({});
}

TEST(LinkTransport, FrameStepMovesTheTimecodeByOneFrame) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.Valued(amp::kStep, 0, 1), 0);
    EXPECT_EQ(h.Timecode(0), "01:00:00;01");
    EXPECT_EQ(h.Valued(amp::kStep, 0, -1), 0);
    EXPECT_EQ(h.Timecode(0), "01:00:00;00");
}

TEST(LinkTransport, ARunningTimecodeRunsOnEveryFrameBetweenItsRecordersLines) {
    Harness h(1);
    auto library = h.link->AmpLibrary();
    h.ConnectOnePerRecorder();
    EXPECT_TRUE(library->WatchStatus([] {})) << "nothing runs: the status is watched";
    ASSERT_EQ(h.Record(0), 0);
    ASSERT_TRUE(h.WaitState(0, "Record"));
    EXPECT_FALSE(library->WatchStatus([] {})) << "a run changes every frame unheard: polled";
    auto frames = [](const std::string& tc) {
        wire::Rate rate{};
        int64_t f = -1;
        return wire::RateOf(tc, rate) && wire::TimecodeToFrames(tc, rate, f) ? f : -1;
    };
    // Read far more often than the recorder speaks (every 200 ms): the frames
    // in between show too, and in order.
    std::set<int64_t> seen;
    int64_t last = -1;
    for (auto end = std::chrono::steady_clock::now() + 600ms;
         std::chrono::steady_clock::now() < end;) {
        const int64_t f = frames(h.Timecode(0));
        ASSERT_GE(f, last) << "stepped back";
        last = f;
        seen.insert(f);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(seen.size(), 10u);
    // What shows is the recorder's own timecode, give or take the run's two frames.
    auto recorders = [&] { return frames(h.bank->Channel(h.addresses[0], 1)->timecode); };
    const int64_t before = recorders();
    const int64_t shown = frames(h.Timecode(0));
    const int64_t after = recorders();
    EXPECT_GE(shown, before - 3);
    EXPECT_LE(shown, after + 1);
    EXPECT_EQ(h.Channel(amp::kStop, 0), 0);
    EXPECT_TRUE(library->WatchStatus({})) << "the run ended";
}

TEST(LinkRuns, ARunKeepsWhereItBeganWhileItsLinesAgreeWithinTwoFrames) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0{std::chrono::seconds(1000)};
    link::ChannelStatus s;
    auto heard = [&](int ms, const char* word, const char* tc, bool run) {
        std::vector<std::string> args{"1", word, tc, "none"};
        if (run) args.emplace_back("run");
        s.Heard(wire::MakeFrame(0, "ST", args), t0 + std::chrono::milliseconds(ms));
    };
    auto shown = [&](int ms) { return s.Timecode(t0 + std::chrono::milliseconds(ms)); };
    // At 30 frames a second (":"), a frame is 33.3 ms.
    heard(0, "Record", "01:00:00:00", true);
    EXPECT_EQ(shown(0), "01:00:00:00");
    EXPECT_EQ(shown(100), "01:00:00:03") << "run on between lines";
    heard(200, "Record", "01:00:00:05", true);
    EXPECT_EQ(shown(200), "01:00:00:06") << "a line a frame behind (read late) steps nothing back";
    heard(400, "Record", "01:00:10:00", true);
    EXPECT_EQ(shown(400), "01:00:10:00") << "a jump starts the run again";
    EXPECT_EQ(shown(500), "01:00:10:03");
    heard(600, "Stop", "01:00:10:06", false);
    EXPECT_EQ(shown(900), "01:00:10:06") << "no run: the timecode stands";
}

// Passes scheduled by the runs' frames, as the status thread takes them
// (never sooner than 30 ms after the last), each woken up to 3 ms late.
struct PassCase {
    const char* what;
    std::vector<std::pair<double, int>> runs;  // fps, ms into its frame at the start
    bool scheduled;                            // the runs leave room for a moment
    bool allEveryPass;                         // and each pass shows every run moved on
};

TEST(LinkRuns, PassesAtTheRunsFramesShowEachFrameOnceAndNoneTwice) {
    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::duration<double, std::milli>;
    std::vector<std::pair<double, int>> bank, late, mixed;
    for (int i = 0; i < 22; ++i) bank.push_back({29.97, i % 4});
    late = bank;
    late.push_back({29.97, 9});
    late.push_back({29.97, 14});
    std::vector<std::pair<double, int>> tight = bank;
    for (int into : {12, 21, 30}) tight.push_back({29.97, into});
    for (int i = 0; i < 12; ++i) mixed.push_back({i % 2 ? 25.0 : 29.97, i % 3});
    const PassCase cases[] = {
        {"a bank, two of it started later", late, true, true},
        {"gaps too short to wake late in", tight, false, false},
        {"two rates", mixed, true, false},
        {"a run faster than the passes", {{59.94, 0}, {29.97, 0}}, false, false},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point t0{std::chrono::seconds(1000)};
        std::vector<link::RunClock> runs;
        for (const auto& [fps, into] : c.runs)
            runs.push_back({t0 - std::chrono::milliseconds(into), fps});
        auto frame = [](const link::RunClock& r, Clock::time_point t) {
            return int64_t(std::floor(std::chrono::duration<double>(t - r.since).count() * r.fps));
        };
        Clock::time_point t = t0 + std::chrono::milliseconds(7);
        std::vector<int64_t> shown;
        for (const auto& r : runs) shown.push_back(frame(r, t));
        int scheduled = 0, allMoved = 0;
        const int passes = 300;
        for (int pass = 0; pass < passes; ++pass) {
            Clock::time_point next = t + std::chrono::milliseconds(30);
            if (const auto due = link::NextPass(t, runs)) {
                ++scheduled;
                EXPECT_LE(Ms(*due - t).count(), 1000 / 29.97 + 0.01);
                // Room for a pass that wakes up to 10 ms late.
                for (size_t i = 0; i < runs.size(); ++i) {
                    EXPECT_LE(frame(runs[i], *due + std::chrono::microseconds(9900)) - shown[i], 1);
                }
                next = std::max(next, *due);
            }
            next += std::chrono::microseconds(pass * 7919 % 3000);
            int moved = 0;
            for (size_t i = 0; i < runs.size(); ++i) {
                const int64_t f = frame(runs[i], next);
                // Frames shorter than the 30 ms a pass takes cannot all show.
                if (runs[i].fps < 1000.0 / 30) {
                    ASSERT_LE(f - shown[i], 1) << "a frame never shown, pass " << pass;
                }
                moved += f - shown[i] == 1;
                shown[i] = f;
            }
            allMoved += moved == int(runs.size());
            t = next;
        }
        EXPECT_EQ(scheduled > passes / 2, c.scheduled) << scheduled;
        if (c.allEveryPass) {
            EXPECT_GE(allMoved, passes - 2);
        }
    }
}

TEST(LinkTransport, LoopAndPingPongMarkersFollowTheFlags) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    EXPECT_EQ(h.Valued(amp::kLoop, 0, 1), 0);
    EXPECT_EQ(h.State(0), "Play{L}");
    EXPECT_EQ(h.Valued(amp::kPingPong, 0, 1), 0);
    EXPECT_EQ(h.State(0), "Play{P}");
    EXPECT_EQ(h.Valued(amp::kPingPong, 0, 0), 0);
    EXPECT_EQ(h.State(0), "Play");
}

TEST(LinkRecord, RecordNamesTheClipAndListsItsFiles) {
    Harness h(2);
    h.ConnectOnePerRecorder();
    ASSERT_EQ(h.Record(1), 0);
    EXPECT_EQ(h.State(1), "Record");
    EXPECT_EQ(h.State(0), "Stop");
    EXPECT_NE(h.Record(1), 0) << "a recording channel refuses a second record";
    EXPECT_NE(h.Channel(amp::kPlay, 1), 0);

    ClipNameTable names{};
    names.size = sizeof names;
    ASSERT_EQ(h.link->AmpCommand(amp::kClipNames, 0, &names), 0);
    std::string clip = ReadField(names.name[1], kClipNameWidth);
    EXPECT_EQ(clip.rfind("Demo_Ch1_", 0), 0u) << clip;
    EXPECT_EQ(ReadField(names.name[0], kClipNameWidth), "");

    auto request = Harness::Block("<?xml version=\"1.0\"?>\r\n<AmpClipType>\r\n<ClipName>" + clip +
                                  "</ClipName><Chan>1</Chan></AmpClipType>");
    auto reply = std::make_unique<TextBlock>();
    ASSERT_EQ(h.link->AmpCommand(amp::kRecordFileList, RecordArg(request.get()), reply.get()), 0);
    std::string text = CleanText(std::string_view(reply->text, kTextBlockWidth));
    ASSERT_NE(text.find("<RecFileList>"), std::string::npos);
    // The first file of each encoder's primary list, as the status thread reads it.
    for (const char* enc : {"<EncoderA>", "<EncoderB>"}) {
        std::size_t a = text.find(enc);
        ASSERT_NE(a, std::string::npos);
        std::size_t p = text.find("<Primary>", a);
        std::size_t f = text.find("</File>", p);
        std::string first = text.substr(p, f - p);
        first = first.substr(first.rfind('>') + 1);
        EXPECT_NE(first.find(clip), std::string::npos) << first;
        EXPECT_NE(first.find("_avmxf"), std::string::npos) << first;
    }

    std::this_thread::sleep_for(200ms);
    EXPECT_NE(h.Timecode(1), "01:00:00;00") << "the timecode runs while recording";
    EXPECT_EQ(h.Channel(amp::kStop, 1), 0);
    EXPECT_EQ(h.State(1), "Stop");
    auto clips = h.bank->Clips(h.addresses[1]);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].name, clip);
    EXPECT_FALSE(clips[0].recording);
}

TEST(LinkRecord, RecordWithAGivenNameAndUnknownFiles) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    ASSERT_EQ(h.Record(0, "Interview take 1"), 0);
    ClipNameTable names{};
    names.size = sizeof names;
    h.link->AmpCommand(amp::kClipNames, 0, &names);
    EXPECT_EQ(ReadField(names.name[0], kClipNameWidth), "Interview take 1");
    auto request = Harness::Block(
        "<AmpClipType><ClipName>nothing</ClipName><Chan>0</Chan>"
        "</AmpClipType>");
    auto reply = std::make_unique<TextBlock>();
    EXPECT_NE(h.link->AmpCommand(amp::kRecordFileList, RecordArg(request.get()), reply.get()), 0);
    EXPECT_EQ(CleanText(std::string_view(reply->text, kTextBlockWidth)), "");
    auto garbage = Harness::Block("<AmpClipType><ClipName>x</ClipName></AmpClipType>");
    EXPECT_EQ(h.link->AmpCommand(amp::kRecord, RecordArg(garbage.get()), nullptr),
              link::result::kBadInput);
}

TEST(LinkDocuments, VolumesAndConfiguration) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    std::string text;
    ASSERT_EQ(h.Document(amp::kVolumes, 0, text), 0);
    EXPECT_NE(text.find("<Volumes>"), std::string::npos);
    ASSERT_EQ(h.Document(amp::kGetConfig, 0, text), 0);
    EXPECT_NE(text.find("<tarvolen>"), std::string::npos);
    EXPECT_NE(text.find("</tarvolen>"), std::string::npos);
    EXPECT_NE(text.find("<project_name>Demo</project_name>"), std::string::npos);

    auto send = [&](const std::string& doc) {
        auto b = Harness::Block("<Chan>0</Chan>\r\n" + doc);
        return h.link->AmpCommand(amp::kSendConfig, RecordArg(b.get()), nullptr);
    };
    EXPECT_EQ(send("<tarvolen>\r\n<project>\r\n<project_name>News</project_name>\r\n</project>\r\n"
                   "</tarvolen>"),
              0);
    ASSERT_EQ(h.Document(amp::kGetConfig, 0, text), 0);
    EXPECT_NE(text.find("<project_name>News</project_name>"), std::string::npos);

    // A bare ampersand is not XML: refused whole and journaled.
    EXPECT_EQ(send("<tarvolen><project><project_name>A & B</project_name></project></tarvolen>"),
              link::result::kRefused);
    ASSERT_EQ(h.Document(amp::kGetConfig, 0, text), 0);
    EXPECT_NE(text.find("<project_name>News</project_name>"), std::string::npos);
    bool journaled = false;
    for (const auto& e : h.bank->Journal())
        journaled = journaled || (e.request == "SETCONFIG" && e.outcome == "badxml");
    EXPECT_TRUE(journaled);

    ChannelRequest r;
    r.channel = 9;  // not connected
    auto out = std::make_unique<TextBlock>();
    EXPECT_NE(h.link->AmpCommand(amp::kGetConfig, RecordArg(&r), out.get()), 0);
    EXPECT_EQ(CleanText(std::string_view(out->text, kTextBlockWidth)), "");
}

// The fill after a request is cut without touching the request's last bytes,
// however little fill there is (spaces or 0xFF) and wherever the text ends.
TEST(LinkRecord, FillIsCutAtTheRequestsLastByte) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    const std::string body = "<ClipName>Take</ClipName><Chan>0</Chan>";
    for (char fill : {' ', '\xFF'}) {
        for (std::size_t k = 0; k <= 9; ++k) {
            // Leading spaces push the request's end to k bytes before the block's.
            auto b = Harness::Block(std::string(kTextBlockWidth - body.size() - k, ' ') + body);
            std::fill_n(b->text + kTextBlockWidth - k, k, fill);
            ASSERT_EQ(h.link->AmpCommand(amp::kRecord, RecordArg(b.get()), nullptr), 0)
                << k << " bytes of fill " << int(fill);
            ClipNameTable names{};
            names.size = sizeof names;
            h.link->AmpCommand(amp::kClipNames, 0, &names);
            EXPECT_EQ(ReadField(names.name[0], kClipNameWidth).substr(0, 4), "Take");
            ASSERT_EQ(h.Channel(amp::kStop, 0), 0);
        }
    }
}

TEST(LinkAddress, AddressMessageMapsTheChannel) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    auto message = [&](const std::string& ch, const std::string& address, const std::string& vtr) {
        auto b = Harness::Block("<Chan>" + ch + "</Chan>\r\n<IpAddress>" + address +
                                "</IpAddress>\r\n<Vtr>" + vtr + "</Vtr>");
        return h.link->AmpCommand(amp::kSetAddress, RecordArg(b.get()), nullptr);
    };
    EXPECT_EQ(message("3", h.addresses[0], "2"), link::result::kReconnect);
    EXPECT_TRUE(h.WaitState(3, "Stop"));
    EXPECT_EQ(message("3", h.addresses[0], "2"), 0) << "unchanged";
    EXPECT_EQ(message("0", h.addresses[0], "1"), 0);
    EXPECT_EQ(message("48", h.addresses[0], "1"), link::result::kBadInput);
    EXPECT_EQ(message("3", "", "1"), link::result::kBadInput);
    EXPECT_EQ(message("3", h.addresses[0], "5"), link::result::kBadInput);
}

ClipEntry Entry() {
    ClipEntry e{};
    e.size = sizeof e;
    return e;
}

TEST(LinkClipDirectory, ListingHandsOutEveryEntry) {
    Harness h(2);
    h.ConnectOnePerRecorder();
    for (const char* name : {"First", "Second"}) {
        ASSERT_EQ(h.Record(0, name), 0);
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(h.Channel(amp::kStop, 0), 0);
    }
    ClipDirConnectTable dir{};
    dir.size = sizeof dir;
    StoreField(dir.address[0], kAddressWidth, h.addresses[0]);
    StoreField(dir.address[1], kAddressWidth, h.addresses[1]);
    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kConnect, RecordArg(&dir), &dir), 0);

    AddressRequest req;
    StoreField(req.address, kAddressWidth, h.addresses[0]);
    CountReply count;
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count), 0);
    EXPECT_EQ(count.count, 2);
    ClipEntry e = Entry();
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kFirst, RecordArg(&req), &e), 0);
    EXPECT_EQ(e.size, 429);
    EXPECT_EQ(ReadField(e.clipName, kClipNameWidth), "First");
    std::string when = ReadField(e.dateTime, sizeof e.dateTime);
    EXPECT_EQ(when.size(), 19u) << when;
    EXPECT_EQ(std::string(e.start, 11), "01:00:00;00");
    EXPECT_EQ(std::string(e.duration, 2), "00");
    EXPECT_EQ(e.videoFormat, 10);  // 1080_29_97_2to1i
    EXPECT_EQ(e.codec, 144);       // DNxHD
    EXPECT_EQ(e.compression, 220);
    EXPECT_EQ(ReadField(e.guid, sizeof e.guid).size(), 36u);
    EXPECT_EQ(ReadField(e.address, kAddressWidth), h.addresses[0]);
    // The same bytes at the offsets the clip list reads.
    const char* raw = reinterpret_cast<const char*>(&e);
    EXPECT_EQ(std::memcmp(raw + 12, "First", 5), 0);
    EXPECT_EQ(static_cast<uint8_t>(raw[335]), 144);
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kNext, RecordArg(&req), &e), 0);
    EXPECT_EQ(ReadField(e.clipName, kClipNameWidth), "Second");
    EXPECT_NE(std::string(e.start, 11), "01:00:00;00")
        << "the second clip starts where the first ended";
    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kNext, RecordArg(&req), &e), link::result::kNoEntry);

    // Another recorder with no clips.
    StoreField(req.address, kAddressWidth, h.addresses[1]);
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count), 0);
    EXPECT_EQ(count.count, 0);
    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kFirst, RecordArg(&req), &e), link::result::kNoEntry);

    // One named clip.
    ClipEntry named = Entry();
    StoreField(named.clipName, kClipNameWidth, "Second");
    StoreField(named.address, kAddressWidth, h.addresses[0]);
    ASSERT_EQ(h.link->ClipDirCommand(clipdir::kNamedClip, RecordArg(&named), &named), 0);
    EXPECT_EQ(ReadField(named.guid, sizeof named.guid).size(), 36u);
    ClipEntry missing = Entry();
    StoreField(missing.clipName, kClipNameWidth, "Nope");
    StoreField(missing.address, kAddressWidth, h.addresses[0]);
    EXPECT_NE(h.link->ClipDirCommand(clipdir::kNamedClip, RecordArg(&missing), &missing), 0);
    EXPECT_EQ(ReadField(missing.clipName, kClipNameWidth), "Nope") << "left as it was";

    EXPECT_EQ(h.link->ClipDirCommand(clipdir::kDisconnect, 0, nullptr), 0);
    EXPECT_EQ(h.State(0), "Stop") << "the device library keeps its connection";
}

TEST(LinkClipDirectory, LoadClipCuesTheChannel) {
    Harness h(1);
    h.ConnectOnePerRecorder();
    ASSERT_EQ(h.Record(0, "Take"), 0);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(h.Channel(amp::kStop, 0), 0);
    ASSERT_EQ(h.Channel(amp::kEject, 0), 0);
    LoadClipRequest load;
    load.channel = 0;
    StoreField(load.clipName, kClipNameWidth, "Take");
    StoreField(load.start, kTimecodeWidth, "01:00:00;02");
    StoreField(load.duration, kTimecodeWidth, "00:00:00;03");
    ASSERT_EQ(h.link->AmpCommand(amp::kLoadClip, RecordArg(&load), nullptr), 0);
    EXPECT_EQ(h.State(0), "Stop");
    EXPECT_EQ(h.Timecode(0), "01:00:00;02");
    StoreField(load.clipName, kClipNameWidth, "Other");
    EXPECT_NE(h.link->AmpCommand(amp::kLoadClip, RecordArg(&load), nullptr), 0);
    // Played to its end the clip stops there.
    ASSERT_EQ(h.Channel(amp::kPlay, 0), 0);
    EXPECT_TRUE(h.WaitState(0, "Stop"));
    EXPECT_EQ(h.Timecode(0), "01:00:00;04");
}

}  // namespace
}  // namespace tarvolen::testing
