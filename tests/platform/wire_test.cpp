#include "platform/wire/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvolen::wire {
namespace {

std::vector<Frame> DecodeAll(const std::string& bytes, Decoder::Status* last = nullptr,
                             std::size_t chunk = 7) {
    Decoder d;
    std::vector<Frame> frames;
    Decoder::Status st = Decoder::Status::kNeedMore;
    for (std::size_t i = 0; i < bytes.size() && st != Decoder::Status::kError; i += chunk) {
        d.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
        Frame f;
        while ((st = d.Next(f)) == Decoder::Status::kFrame) frames.push_back(f);
    }
    if (last) *last = st;
    return frames;
}

TEST(WireText, EncodingRoundTrips) {
    const std::vector<std::string> texts = {
        "Clip_0001", "two words", "", "-", "50%", "#1", std::string("\x00\x01\xff", 3), "a-b", "?"};
    for (const auto& t : texts) {
        std::string enc = EncodeText(t);
        EXPECT_EQ(enc.find(' '), std::string::npos) << t;
        std::string back;
        ASSERT_TRUE(DecodeText(enc, back)) << enc;
        EXPECT_EQ(back, t) << enc;
    }
}

TEST(WireText, EncodedFormsAreReadable) {
    EXPECT_EQ(EncodeText("Clip A"), "Clip%20A");
    EXPECT_EQ(EncodeText(""), "-");
    EXPECT_EQ(EncodeText("-"), "%2D");
    EXPECT_EQ(EncodeText("01:00:00;00"), "01:00:00;00");
}

TEST(WireText, MalformedEscapesAreRefused) {
    std::string out;
    for (const char* bad : {"%", "%4", "%zz", "a%2", "#", "a#b"})
        EXPECT_FALSE(DecodeText(bad, out)) << bad;
}

TEST(WireFrame, FramesRoundTripInSmallPieces) {
    Frame a = MakeFrame(17, "RECORD", {"1", "?"});
    Frame b = MakeFrame(0, "ST", {"2", "Play", "01:00:00;00", "loop"});
    Frame c = MakeFrame(99, "OK");
    c.payload = std::string("<tarvolen>\r\n\n</tarvolen>");
    Frame e = MakeFrame(5, "SETCONFIG", {"1"});
    e.payload = std::string();
    std::string bytes = Encode(a) + Encode(b) + "\r\n\n" + Encode(c) + Encode(e);
    for (std::size_t chunk : {1u, 3u, 64u, 4096u}) {
        Decoder::Status st;
        auto frames = DecodeAll(bytes, &st, chunk);
        ASSERT_EQ(frames.size(), 4u) << chunk;
        EXPECT_EQ(frames[0].id, 17u);
        EXPECT_EQ(frames[0].verb, "RECORD");
        EXPECT_EQ(frames[0].args, (std::vector<std::string>{"1", "?"}));
        EXPECT_EQ(frames[1].id, 0u);
        EXPECT_EQ(frames[1].Arg(3), "loop");
        EXPECT_EQ(frames[2].payload, c.payload);
        EXPECT_EQ(frames[3].payload, std::string());
        EXPECT_EQ(st, Decoder::Status::kNeedMore);
    }
}

TEST(WireFrame, TypedLinesAreAccepted) {
    auto frames = DecodeAll("1 record 1 ?\r\n2   status   3\n");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].verb, "RECORD");
    EXPECT_EQ(frames[1].args, std::vector<std::string>{"3"});
}

struct BadCase {
    const char* name;
    std::string bytes;
};

TEST(WireFrame, BrokenFramesAreErrors) {
    const std::vector<BadCase> cases = {
        {"control byte", "1 PING\x01\n"},
        {"high byte", "1 PING \xe9\n"},
        {"no verb", "12\n"},
        {"zero id", "0 PING\n"},
        {"leading zero id", "01 PING\n"},
        {"id too large", "2147483648 PING\n"},
        {"bad tag", "x PING\n"},
        {"bad verb", "1 PI-NG\n"},
        {"long verb", "1 ABCDEFGHIJKLMNOPQ\n"},
        {"bad escape", "1 RECORD 1 %G0\n"},
        {"raw hash inside", "1 RECORD #1 x\n"},
        {"payload too large", "1 OK #65536\n"},
        {"payload length leading zero", "1 OK #05\nabcde\n"},
        {"payload not ended", "1 OK #3\nabcX\n"},
        {"too many arguments", "1 X" +
                                   [] {
                                       std::string s;
                                       for (int i = 0; i < 30; ++i) s += " a";
                                       return s;
                                   }() +
                                   "\n"},
        {"line too long", "1 OK " + std::string(3000, 'a') + "\n"},
        {"endless line", std::string(5000, 'a')},
    };
    for (const auto& c : cases) {
        Decoder::Status st;
        auto frames = DecodeAll(c.bytes, &st);
        EXPECT_EQ(st, Decoder::Status::kError) << c.name;
        EXPECT_TRUE(frames.empty()) << c.name;
    }
}

TEST(WireFrame, DecoderStaysFailedAndDropsItsBuffer) {
    Decoder d;
    std::string junk = "1 PING\x02\n1 PING\n";
    d.Feed(junk.data(), junk.size());
    Frame f;
    EXPECT_EQ(d.Next(f), Decoder::Status::kError);
    EXPECT_FALSE(d.Error().empty());
    EXPECT_EQ(d.Buffered(), 0u);
    d.Feed("2 PING\n", 7);
    EXPECT_EQ(d.Next(f), Decoder::Status::kError);
}

TEST(WireFrame, FloodingPeerIsStoppedAtTheBound) {
    Decoder d;
    std::string header = "1 OK #65535\n";
    d.Feed(header.data(), header.size());
    Frame f;
    EXPECT_EQ(d.Next(f), Decoder::Status::kNeedMore);
    std::string chunk(65536, 'x');
    for (int i = 0; i < 4 && !d.Failed(); ++i) d.Feed(chunk.data(), chunk.size());
    EXPECT_TRUE(d.Failed());
    EXPECT_EQ(d.Buffered(), 0u);
}

TEST(WireFrame, EncoderRefusesWhatCannotBeSent) {
    std::string out;
    EXPECT_FALSE(Encode(MakeFrame(1, "BAD VERB"), out));
    EXPECT_FALSE(Encode(MakeFrame(1, ""), out));
    Frame big = MakeFrame(1, "OK");
    big.payload = std::string(kMaxPayload + 1, 'x');
    EXPECT_FALSE(Encode(big, out));
    EXPECT_FALSE(Encode(MakeFrame(1, "OK", {std::string(3000, 'a')}), out));
    EXPECT_TRUE(out.empty());
}

TEST(WireNumbers, ParseIntTable) {
    struct Case {
        const char* text;
        int64_t lo, hi;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {{"5", 0, 10, true, 5},  {"-1", -1, 1, true, -1},
                          {"+1", -1, 1, true, 1}, {"11", 0, 10, false, 0},
                          {"", 0, 10, false, 0},  {"1x", 0, 10, false, 0},
                          {"-", -5, 5, false, 0}, {"99999999999999999999", 0, 10, false, 0}};
    for (const auto& c : cases) {
        int64_t v = 0;
        EXPECT_EQ(ParseInt(c.text, c.lo, c.hi, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

}  // namespace
}  // namespace tarvolen::wire
