#include "platform/deck_link/deck_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "device/amp_control.h"
#include "device/records.h"
#include "fake_deck.h"
#include "link_harness.h"
#include "paused.h"
#include "platform/deck_link/deck_config.h"
#include "platform/deck_link/deck_state.h"
#include "shell/text.h"

namespace tarvolen::testing {
namespace {

using namespace std::chrono_literals;
using decklink::DeckLink;
namespace result = decklink::result;

// One fake deck on channel 0 of a deck link.
struct DeckTest : ::testing::Test {
    std::string address = UniquePrefix() + "1";
    FakeDeck fake{address};
    std::unique_ptr<DeckLink> link;
    ConnectTable table{};

    void SetUp() override {
        decklink::DeckLinkOptions o;
        o.portOf = [this](int32_t) { return int32_t(fake.Port()); };
        o.namingOf = [](int32_t) { return decklink::RecordNaming{"News", "Take", "%P_%S"}; };
        link = std::make_unique<DeckLink>(o);
        table.shown[0] = 1;
        table.internalChannel[0] = 1;
        StoreField(table.address[0], kAddressWidth, address);
        table.shown[1] = 1;  // a second channel of a one-channel deck
        table.internalChannel[1] = 2;
        StoreField(table.address[1], kAddressWidth, address);
        link->AmpCommand(amp::kConnect, RecordArg(&table), &table);
        ASSERT_TRUE(WaitState(0, "Stop"));
    }

    std::string State(int ch) {
        StatusTable t{};
        link->AmpCommand(amp::kStatus, 0, &t);
        return ReadField(t.entry[ch].state, sizeof t.entry[ch].state);
    }
    std::string Timecode(int ch) {
        StatusTable t{};
        link->AmpCommand(amp::kStatus, 0, &t);
        return ReadField(t.entry[ch].timecode, sizeof t.entry[ch].timecode);
    }
    // Generous, not a timing check.
    bool WaitState(int ch, const std::string& word, std::chrono::milliseconds limit = 10s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (State(ch) == word) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    int32_t Channel(int32_t code, int ch = 0) {
        ChannelRequest r;
        r.channel = ch;
        return link->AmpCommand(code, RecordArg(&r), nullptr);
    }
    int32_t Record(int ch = 0) {
        auto b = std::make_unique<TextBlock>();
        StoreField(b->text, kTextBlockWidth, ClipNameDocument("?", ch));
        return link->AmpCommand(amp::kRecord, RecordArg(b.get()), nullptr);
    }
};

TEST_F(DeckTest, RecordsUnderTheExpandedNameAndShowsStateTimecodeAndClip) {
    EXPECT_EQ(State(1), "Nop");             // a deck has channel 1 only
    EXPECT_EQ(Timecode(0), "10:00:00.00");  // 1080i50: the 25 frame rate's separator
    EXPECT_EQ(Record(), result::kOk);
    EXPECT_TRUE(fake.Got("record: name: News_Take"));
    // The 508 came before the reply and was never taken for it.
    EXPECT_EQ(State(0), "Record");
    ClipNameTable names{};
    link->AmpCommand(amp::kClipNames, 0, &names);
    EXPECT_EQ(ReadField(names.name[0], kClipNameWidth), "News_Take");
    EXPECT_EQ(Channel(amp::kStop), result::kOk);
    EXPECT_EQ(State(0), "Stop");
    EXPECT_EQ(Channel(amp::kStop, 1), result::kNotConnected);
}

TEST_F(DeckTest, RefusalsAreNeverSuccessAndTheRowSaysWhy) {
    fake.Fail("record", deck::kDiskFull);
    EXPECT_EQ(Record(), result::kRefused);
    EXPECT_EQ(State(0), "Disk full");
    fake.Fail("record", deck::kNoDisk);
    EXPECT_EQ(Record(), result::kRefused);
    EXPECT_EQ(State(0), "No disk");
    // A refusal that says nothing of the deck leaves its state as it is.
    fake.Fail("play", deck::kInvalidState);
    EXPECT_EQ(Channel(amp::kPlay), result::kRefused);
    EXPECT_EQ(State(0), "No disk");
    fake.Fail("record", 0);
    fake.SetRemote(false);
    EXPECT_EQ(Record(), result::kRefused);
    EXPECT_EQ(State(0), "Local");
    EXPECT_EQ(Channel(amp::kStop), result::kRefused);
    // Back under remote control: the keepalive finds out.
    fake.SetRemote(true);
    EXPECT_TRUE(WaitState(0, "Stop"));
    ChannelValueRequest pp;
    pp.value = 1;
    EXPECT_EQ(link->AmpCommand(amp::kPingPong, RecordArg(&pp), nullptr), result::kRefused);
}

// The status thread sleeps until the row can have changed: a 508, a loss, a
// deck back; a poll that repeats the same picture wakes nobody.
TEST_F(DeckTest, StatusWatchWakesOnNewsOnly) {
    std::atomic<int> wakes{0};
    auto library = link->AmpLibrary();
    ASSERT_TRUE(library->WatchStatus([&] { ++wakes; }));
    auto wokenSince = [&](int before) {
        auto end = std::chrono::steady_clock::now() + 10s;
        while (wakes.load() == before && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        return wakes.load() > before;
    };
    int before = wakes.load();
    EXPECT_EQ(Record(), result::kOk);  // its 508 comes before the reply
    EXPECT_TRUE(wokenSince(before));
    // Recording: the link asks for transport info every 100 ms; the fake's
    // answer never changes, so it is no news.
    std::this_thread::sleep_for(400ms);
    before = wakes.load();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(wakes.load(), before);
    fake.silent = true;
    EXPECT_TRUE(WaitState(0, "Los"));
    EXPECT_TRUE(wokenSince(before));
    before = wakes.load();
    fake.silent = false;
    EXPECT_TRUE(wokenSince(before));
    auto end = std::chrono::steady_clock::now() + 10s;
    while (State(0) == "Los" && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_NE(State(0), "Los");
    library->WatchStatus({});
}

TEST_F(DeckTest, LateAnswerIsConsumedInItsPlace) {
    fake.Fail("play", deck::kInvalidState);
    fake.Delay("play", 600ms);
    EXPECT_EQ(Channel(amp::kPlay), result::kLost);
    std::this_thread::sleep_for(800ms);  // lets the late answer arrive
    // The stop behind it gets its own answer, not the late refusal.
    EXPECT_EQ(Channel(amp::kStop), result::kOk);
    EXPECT_EQ(State(0), "Stop");
}

TEST_F(DeckTest, SilenceIsLossAndSpeakingAgainComesBack) {
    fake.silent = true;
    EXPECT_TRUE(WaitState(0, "Los"));
    // Lost: requests fail at once and never reach the deck.
    const auto sent = fake.Received().size();
    EXPECT_EQ(Channel(amp::kPlay), result::kLost);
    fake.silent = false;
    EXPECT_TRUE(WaitState(0, "Stop"));
    EXPECT_EQ(fake.Received().size() >= sent, true);
    EXPECT_FALSE(fake.Got("play"));
    EXPECT_GE(fake.Sessions(), 2);
}

// Paused past the silence that loses a deck, the link asks before it judges.
TEST_F(DeckTest, APausedControllerLosesNoDeckThatStillAnswers) {
    const int sessions = fake.Sessions();
    ASSERT_TRUE(PauseThisProcess(1500ms));
    bool lost = false;
    for (auto end = std::chrono::steady_clock::now() + 1s;
         std::chrono::steady_clock::now() < end;) {
        lost = lost || State(0) == "Los";
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(lost);
    EXPECT_EQ(fake.Sessions(), sessions) << "the connection was dropped";
}

TEST_F(DeckTest, GarbageOrAnOverlongLineRedials) {
    fake.Raw("this is no response\r\n");
    EXPECT_TRUE(WaitState(0, "Los", 5s) || fake.Sessions() >= 2);
    EXPECT_TRUE(WaitState(0, "Stop"));
    const int before = fake.Sessions();
    fake.Raw(std::string(5000, 'x'));
    auto end = std::chrono::steady_clock::now() + 10s;
    while (fake.Sessions() == before && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_GT(fake.Sessions(), before);
    EXPECT_TRUE(WaitState(0, "Stop"));
    // An answer to nothing asked is nonsense too.
    fake.Raw("200 ok\r\n");
    end = std::chrono::steady_clock::now() + 10s;
    while (fake.Sessions() == before + 1 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(5ms);
    EXPECT_GT(fake.Sessions(), before + 1);
}

TEST_F(DeckTest, HeldByAnotherClientSaysSoAndKeepsTrying) {
    fake.rejecting = true;
    fake.Raw("garbage\r\n");  // drops this connection; the next is refused
    EXPECT_TRUE(WaitState(0, "In use"));
    EXPECT_EQ(Channel(amp::kStop), result::kLost);
    const int dials = link->Dials();
    fake.rejecting = false;
    EXPECT_TRUE(WaitState(0, "Stop"));
    EXPECT_GT(link->Dials(), dials);
}

TEST_F(DeckTest, ClipListAndLoadByName) {
    ClipDirConnectTable dirs{};
    std::memset(dirs.address, ' ', sizeof dirs.address);
    StoreField(dirs.address[0], kAddressWidth, address);
    ASSERT_EQ(link->ClipDirCommand(clipdir::kConnect, RecordArg(&dirs), &dirs), result::kOk);
    AddressRequest open;
    StoreField(open.address, kAddressWidth, address);
    CountReply count;
    ASSERT_EQ(link->ClipDirCommand(clipdir::kOpen, RecordArg(&open), &count), result::kOk);
    EXPECT_EQ(count.count, 2);
    ClipEntry e{};
    ASSERT_EQ(link->ClipDirCommand(clipdir::kFirst, RecordArg(&open), &e), result::kOk);
    EXPECT_EQ(ReadField(e.clipName, kClipNameWidth), "Morning show");
    EXPECT_EQ(ReadField(e.duration, kTimecodeWidth), "00:00:10:00");

    LoadClipRequest load;
    load.channel = 0;
    StoreField(load.clipName, kClipNameWidth, "Evening");
    StoreField(load.start, kTimecodeWidth, "02:00:00:00");
    StoreField(load.duration, kTimecodeWidth, "00:01:00:00");
    EXPECT_EQ(link->AmpCommand(amp::kLoadClip, RecordArg(&load), nullptr), result::kOk);
    EXPECT_TRUE(fake.Got("goto: clip id: 2"));
    StoreField(load.clipName, kClipNameWidth, "Nowhere");
    EXPECT_EQ(link->AmpCommand(amp::kLoadClip, RecordArg(&load), nullptr), result::kRefused);
}

// What the Setup pages send for a deck: the document the controller builds
// from the deck's own, with one of its three values changed.
std::string DeckPages(const std::string& video, const std::string& extraInput = "") {
    return "<tarvolen>\r\n<input><index>0</index><video_input>" + video +
           "</video_input><resolution>" + extraInput +
           "</resolution><frame_rate>0</frame_rate><pixel_fmt></pixel_fmt>"
           "<audio_input>XLR</audio_input></input>\r\n<encoder>\r\n<index>0</index>"
           "<input_index></input_index><status>enabled</status><name> </name>"
           "<codec>QuickTimeProResHQ</codec><tape_id></tape_id><quality></quality>"
           "<audio></audio><segment_duration>0</segment_duration>"
           "<burn_tc>disabled</burn_tc>\r\n</encoder>\r\n<project>\r\n"
           "<project_name>News</project_name>\r\n</project>\r\n</tarvolen>";
}

TEST_F(DeckTest, ConfigurationAndRecordFilesComeFromTheDeck) {
    ChannelRequest get;
    auto out = std::make_unique<TextBlock>();
    ASSERT_EQ(link->AmpCommand(amp::kGetConfig, RecordArg(&get), out.get()), result::kOk);
    const std::string doc = ReadField(out->text, kTextBlockWidth);
    EXPECT_NE(doc.find("<video_input>SDI</video_input><audio_input>embedded</audio_input>"),
              std::string::npos)
        << doc;
    EXPECT_NE(doc.find("<status>enabled</status><codec>QuickTimeProRes</codec>"),
              std::string::npos);

    auto send = [&](const std::string& document) {
        auto b = std::make_unique<TextBlock>();
        StoreField(b->text, kTextBlockWidth, "<Chan>0</Chan>\r\n" + document);
        return link->AmpCommand(amp::kSendConfig, RecordArg(b.get()), nullptr);
    };
    EXPECT_EQ(send(DeckPages("HDMI")), result::kOk);
    EXPECT_TRUE(
        fake.Got("configuration: video input: HDMI: audio input: XLR: file format: "
                 "QuickTimeProResHQ"));
    // What the command cannot carry is refused whole, and nothing is sent.
    const auto before = fake.Received().size();
    EXPECT_EQ(send(DeckPages("component", "1920x1080i")), result::kRefused);
    EXPECT_EQ(fake.Received().size(), before);
    // The deck's refusal is the call's.
    fake.Fail("configuration", deck::kInvalidState);
    EXPECT_EQ(send(DeckPages("HDMI")), result::kRefused);

    auto files = [&](const std::string& clip, std::string& list) {
        auto b = std::make_unique<TextBlock>();
        StoreField(b->text, kTextBlockWidth, "<ClipName>" + clip + "</ClipName><Chan>0</Chan>");
        auto reply = std::make_unique<TextBlock>();
        const int32_t rc = link->AmpCommand(amp::kRecordFileList, RecordArg(b.get()), reply.get());
        list = ReadField(reply->text, kTextBlockWidth);
        return rc;
    };
    std::string list;
    ASSERT_EQ(files("Evening", list), result::kOk);  // listed under its file name
    EXPECT_NE(list.find("<EncoderA><Primary><File>slot 1/Evening.mov</File></Primary>"),
              std::string::npos)
        << list;
    EXPECT_EQ(files("Morning", list), result::kRefused);  // a prefix is another clip
    EXPECT_EQ(list, "");
}

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<a" + std::to_string(i) + ">";
        close = "</a" + std::to_string(i) + ">" + close;
    }
    return open + close;
}

// Which documents a deck's configuration command can carry.
TEST(DeckConfig, OnlyWhatTheCommandCarriesGoesThrough) {
    struct Case {
        std::string document;
        std::optional<std::string> command;  // nullopt: refused
    } cases[] = {
        {DeckPages("SDI"), "video input=SDI audio input=XLR file format=QuickTimeProResHQ"},
        {"<tarvolen><input><index>0</index><audio_input>RCA</audio_input></input></tarvolen>",
         "audio input=RCA"},
        {"<tarvolen><project><project_name>x</project_name></project></tarvolen>", ""},
        {DeckPages("SDI", "1280x720p"), std::nullopt},
        {"<tarvolen><input><index>1</index><video_input>SDI</video_input></input></tarvolen>",
         std::nullopt},
        {"<tarvolen><encoder><index>0</index><status>disabled</status></encoder></tarvolen>",
         std::nullopt},
        {"<tarvolen><encoder><index>0</index><audio><routing><routing_element><key>analog</key>"
         "<value>1</value></routing_element></routing></audio></encoder></tarvolen>",
         std::nullopt},
        {"<tarvolen><input><index>0</index><video_input>SDI</input></tarvolen>", std::nullopt},
        {"no document", std::nullopt},
        // Nested deeper than any document of ours, if empty: not one of ours.
        {"<tarvolen><encoder>" + Nested(40) + "</encoder></tarvolen>", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string why;
        auto params = decklink::ConfigCommand(c.document, why);
        ASSERT_EQ(params.has_value(), c.command.has_value()) << c.document << " " << why;
        if (!params) continue;
        std::string got;
        for (const auto& p : *params) got += (got.empty() ? "" : " ") + p.key + "=" + p.value;
        EXPECT_EQ(got, *c.command) << c.document;
    }
    // The value the deck reports is offered even where the document's list lacks it.
    const std::string doc = decklink::ConfigDocument(
        {{"video input", "optical"}, {"audio input", "XLR"}, {"file format", "DNxHR220"}});
    EXPECT_NE(doc.find("<type>optical</type>"), std::string::npos);
    EXPECT_NE(doc.find("<type>DNxHR220</type>"), std::string::npos);
    EXPECT_NE(doc.find("<type>HDMI</type>"), std::string::npos);
}

// How the deck's words read in a row.
TEST(DeckState, WordsAndTimecodes) {
    struct Case {
        deck::Params params;
        std::string word, timecode;
    } cases[] = {
        {{{"status", "preview"}}, "Eject", "--:--:--:--"},
        {{{"status", "play"}, {"speed", "-100"}}, "Reverse", "--:--:--:--"},
        {{{"status", "play"}, {"speed", "100"}, {"loop", "true"}}, "Play{L}", "--:--:--:--"},
        {{{"status", "shuttle"}, {"speed", "-1000"}}, "Rewind", "--:--:--:--"},
        {{{"status", "jog"}, {"display timecode", "01:02:03:04"}, {"video format", "1080p2997"}},
         "Still",
         "01:02:03:04"},
        {{{"status", "record"}, {"display timecode", "01:02:03:04"}, {"video format", "1080p24"}},
         "Record",
         "01:02:03,04"},
        {{{"status", "dancing"}, {"display timecode", "99:99"}}, "Stop", "--:--:--:--"},
    };
    for (const auto& c : cases) {
        decklink::DeckState s;
        decklink::ApplyTransport(c.params, s);
        EXPECT_EQ(decklink::StateWord(s), c.word) << c.word;
        EXPECT_EQ(decklink::RowTimecode(s), c.timecode) << c.word;
    }
    decklink::DeckState s;
    EXPECT_TRUE(decklink::ApplyClips(
        {"clip count: 1", "7: A clip with spaces 00:00:01:00 00:00:02:00"}, s));
    ASSERT_EQ(s.clips.size(), 1u);
    EXPECT_EQ(s.clips[0].name, "A clip with spaces");
    EXPECT_FALSE(decklink::ApplyClips({"7: nameonly"}, s));
    EXPECT_EQ(s.clips.size(), 1u);  // a list not understood leaves the one before
}

}  // namespace
}  // namespace tarvolen::testing
