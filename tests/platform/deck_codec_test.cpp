// Known answers from the protocol document: its command examples, reply
// layouts and code texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/deck/client_codec.h"
#include "platform/deck/server_codec.h"

namespace tarvolen::deck {
namespace {

struct Read {
    std::vector<Command> commands;
    std::vector<std::string> errors;
};

Read ReadCommands(const std::string& bytes, std::size_t chunk) {
    CommandReader r;
    Read out;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        r.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
        Command c;
        for (;;) {
            auto st = r.Next(c);
            if (st == CommandReader::Status::kNeedMore) break;
            if (st == CommandReader::Status::kCommand) out.commands.push_back(c);
            if (st == CommandReader::Status::kError) out.errors.push_back(r.Error());
        }
        EXPECT_LE(r.Buffered(), kMaxLine + 1 + chunk);
    }
    return out;
}

std::vector<Response> ReadReplies(const std::string& bytes, std::size_t chunk,
                                  ReplyReader::Status* last = nullptr) {
    ReplyReader r;
    std::vector<Response> out;
    ReplyReader::Status st = ReplyReader::Status::kNeedMore;
    for (std::size_t i = 0; i < bytes.size() && st != ReplyReader::Status::kError; i += chunk) {
        r.Feed(bytes.data() + i, std::min(chunk, bytes.size() - i));
        Response resp;
        while ((st = r.Next(resp)) == ReplyReader::Status::kResponse) out.push_back(resp);
    }
    if (last) *last = st;
    return out;
}

TEST(DeckCodes, TextsAreTheDocumentsAndRepliesAreFramedWithCrLf) {
    const std::vector<std::pair<int, std::string>> table = {
        {100, "100 syntax error\r\n"},
        {101, "101 unsupported parameter\r\n"},
        {102, "102 invalid value\r\n"},
        {103, "103 unsupported\r\n"},
        {104, "104 disk full\r\n"},
        {105, "105 no disk\r\n"},
        {106, "106 disk error\r\n"},
        {107, "107 timeline empty\r\n"},
        {108, "108 internal error\r\n"},
        {109, "109 out of range\r\n"},
        {110, "110 no input\r\n"},
        {111, "111 remote control disabled\r\n"},
        {120, "120 connection rejected\r\n"},
        {150, "150 invalid state\r\n"},
        {200, "200 ok\r\n"},
    };
    for (const auto& [code, line] : table) EXPECT_EQ(FormatReply(code), line);
    EXPECT_EQ(FormatBlock(kConnectionInfo, {{"protocol version", "1.11"}, {"model", "X"}}),
              "500 connection info:\r\nprotocol version: 1.11\r\nmodel: X\r\n\r\n");
    EXPECT_EQ(FormatBlock(kAsyncTransportInfo, {{"status", "play"}}),
              "508 transport info:\r\nstatus: play\r\n\r\n");
    // A name cannot break the framing.
    EXPECT_EQ(FormatBlock(kClipsInfo, {{"1", "a\r\nb"}}), "205 clips info:\r\n1: a  b\r\n\r\n");
    EXPECT_EQ(FormatLines(kCommands, "commands", {"<commands>", "</commands>"}),
              "212 commands:\r\n<commands>\r\n</commands>\r\n\r\n");
}

TEST(DeckCommandReader, BothSyntaxesInAnyPiecesGiveTheSameCommands) {
    const Params play = {{"speed", "200"}, {"loop", "true"}, {"single clip", "true"}};
    struct Case {
        std::string bytes;
        Command want;
    };
    const std::vector<Case> cases = {
        {"transport info\n", {"transport info", {}}},
        {"?\r\n", {"?", {}}},
        {"play: speed: 200 loop: true single clip: true\r\n", {"play", play}},
        {"play:\nspeed: 200\r\nloop: true\nsingle clip: true\n\n", {"play", play}},
        {"configuration: video input: SDI audio input: XLR\n",
         {"configuration", {{"video input", "SDI"}, {"audio input", "XLR"}}}},
        {"slot select: slot id: 2 video format: NTSC\n",
         {"slot select", {{"slot id", "2"}, {"video format", "NTSC"}}}},
        {"goto: timecode: 01:00:00:00\n", {"goto", {{"timecode", "01:00:00:00"}}}},
        {"goto: timecode: -00:00:10:00\n", {"goto", {{"timecode", "-00:00:10:00"}}}},
        {"record: name: my  clip \n", {"record", {{"name", "my  clip"}}}},
        {"record:\nname: my clip: two\n\n", {"record", {{"name", "my clip: two"}}}},
        {"notify: transport: slot: true\n", {"notify", {{"transport", ""}, {"slot", "true"}}}},
        {"notify:\n\n", {"notify", {}}},
    };
    std::string all;
    for (const auto& c : cases) all += c.bytes + "\n";  // blank lines between are ignored
    for (std::size_t chunk : {1u, 5u, 4096u}) {
        Read got = ReadCommands(all, chunk);
        EXPECT_TRUE(got.errors.empty()) << chunk;
        ASSERT_EQ(got.commands.size(), cases.size()) << chunk;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            EXPECT_EQ(got.commands[i].name, cases[i].want.name) << cases[i].bytes;
            EXPECT_EQ(got.commands[i].params, cases[i].want.params) << cases[i].bytes;
        }
    }
}

TEST(DeckCommandReader, BadCommandsAreEachReportedOnceAndReadingGoesOn) {
    const std::string longLine(5000, 'x');
    const std::string bytes =
        "play: 200\n"                         // a value without its key
        ": speed: 1\n"                        // no command name
        + longLine + "\n"                     // over the line bound
        + "play:\nspeed 200\nloop: true\n\n"  // a bad line inside a block
        + "play:\n" + longLine + "\n\n"       // an over-long line inside a block
        + "play: speed: 2\r00\n"              // a CR inside a line
        + "ping\n";
    for (std::size_t chunk : {1u, 700u, 100000u}) {
        Read got = ReadCommands(bytes, chunk);
        EXPECT_EQ(got.errors.size(), 6u) << chunk;
        ASSERT_EQ(got.commands.size(), 1u) << chunk;
        EXPECT_EQ(got.commands[0].name, "ping");
    }
    // Parameters beyond the bound are refused, not silently cut.
    std::string many = "play:";
    for (std::size_t i = 0; i <= kMaxParams; ++i) many += " k" + std::to_string(i) + ": 1";
    Read got = ReadCommands(many + "\n", 64);
    EXPECT_EQ(got.errors.size(), 1u);
    EXPECT_TRUE(got.commands.empty());
}

TEST(DeckReplyReader, RepliesAndNotificationsInAnyPieces) {
    const std::string bytes =
        "500 connection info:\r\nprotocol version: 1.11\r\nmodel: X\r\n\r\n"
        "200 ok\r\n"
        "208 transport info:\r\nstatus: stopped\r\ntimecode: 01:00:00:00\r\n\r\n"
        "205 clips info:\r\nclip count: 1\r\n1: my clip 01:00:00:00 00:00:10:00\r\n\r\n"
        "212 commands:\r\n<commands>\r\n</commands>\r\n\r\n"
        "120 connection rejected\r\n";
    for (std::size_t chunk : {1u, 9u, 4096u}) {
        ReplyReader::Status st;
        auto got = ReadReplies(bytes, chunk, &st);
        EXPECT_EQ(st, ReplyReader::Status::kNeedMore);
        ASSERT_EQ(got.size(), 6u);
        EXPECT_TRUE(got[0].IsAsync());
        EXPECT_EQ(got[0].text, "connection info");
        EXPECT_EQ(*got[0].Find("protocol version"), "1.11");
        EXPECT_FALSE(got[1].IsAsync());
        EXPECT_EQ(got[1].code, 200);
        EXPECT_FALSE(got[1].hasBody);
        EXPECT_EQ(*got[2].Find("timecode"), "01:00:00:00");
        EXPECT_EQ(*got[3].Find("1"), "my clip 01:00:00:00 00:00:10:00");
        EXPECT_EQ(got[4].lines, (std::vector<std::string>{"<commands>", "</commands>"}));
        EXPECT_TRUE(got[4].params.empty());
        EXPECT_EQ(got[5].code, 120);
        EXPECT_EQ(got[5].text, "connection rejected");
    }
}

TEST(DeckReplyReader, WhatIsNotAReplyOrIsTooBigEndsTheConnection) {
    std::string tooManyLines = "205 clips info:\r\n";
    for (std::size_t i = 0; i <= kMaxBodyLines; ++i) tooManyLines += "1: a\r\n";
    const std::vector<std::string> bad = {
        "hello\r\n",
        "20 ok\r\n",
        "2000 ok\r\n",
        "099 low\r\n",
        std::string(kMaxLine + 10, '2'),
        "208 transport info:\r\n" + std::string(kMaxLine + 1, 'x') + "\r\n",
        tooManyLines};
    for (const auto& b : bad) {
        ReplyReader r;
        r.Feed(b.data(), b.size());
        Response resp;
        EXPECT_EQ(r.Next(resp), ReplyReader::Status::kError) << b.substr(0, 40);
        EXPECT_EQ(r.Buffered(), 0u);
        r.Feed("200 ok\r\n", 8);
        EXPECT_EQ(r.Next(resp), ReplyReader::Status::kError);
    }
}

TEST(DeckCommandFormat, CommandsReadBackUnchanged) {
    EXPECT_EQ(FormatCommand("transport info"), "transport info\r\n");
    EXPECT_EQ(FormatCommand("play", {{"speed", "200"}, {"single clip", "true"}}),
              "play: speed: 200 single clip: true\r\n");
    EXPECT_EQ(FormatCommand("record", {{"name", "my clip"}}), "record:\r\nname: my clip\r\n\r\n");
    const std::vector<Command> roundTrip = {
        {"goto", {{"timecode", "+00:00:01:00"}}},
        {"record", {{"name", "a: b"}, {"x", ""}}},
        {"notify", {{"transport", "true"}, {"slot", "false"}}},
        {"record", {{"name", "\xe9t\xe9"}}},
    };
    for (const auto& c : roundTrip) {
        std::string bytes;
        ASSERT_TRUE(FormatCommand(c, bytes)) << c.name;
        Read got = ReadCommands(bytes, 3);
        ASSERT_EQ(got.commands.size(), 1u) << bytes;
        EXPECT_EQ(got.commands[0].name, c.name);
        EXPECT_EQ(got.commands[0].params, c.params) << bytes;
    }
    const std::vector<Command> refused = {
        {"", {}},
        {"a:b", {}},
        {"play\n", {}},
        {"play", {{"", "1"}}},
        {"play", {{"spe:ed", "1"}}},
        {"record", {{"name", "a\nb"}}},
        {"record", {{"name", " lead"}}},
        {"record", {{"name", std::string(kMaxLine, 'n')}}},
    };
    for (const auto& c : refused) {
        std::string out = "kept";
        EXPECT_FALSE(FormatCommand(c, out)) << c.name;
        EXPECT_EQ(out, "kept");
    }
}

TEST(DeckText, TimecodesAndTransportWords) {
    EXPECT_EQ(FormatTimecode({1, 2, 3, 4}), "01:02:03:04");
    EXPECT_EQ(ParseTimecode("23:59:59:29", 30), (Timecode{23, 59, 59, 29}));
    for (const char* bad : {"1:00:00:00", "01:00:00;00", "01:60:00:00", "24:00:00:00",
                            "01:00:00:30", "01:00:00:0a", "01:00:00:000"})
        EXPECT_FALSE(ParseTimecode(bad, 30)) << bad;
    EXPECT_EQ(ToFrames({1, 0, 0, 0}, 25), 90000);
    EXPECT_EQ(FromFrames(90000 + 26, 25), (Timecode{1, 0, 1, 1}));
    EXPECT_EQ(FromFrames(-1, 30), (Timecode{23, 59, 59, 29}));
    for (auto t : {Transport::kPreview, Transport::kStopped, Transport::kPlay, Transport::kForward,
                   Transport::kRewind, Transport::kJog, Transport::kShuttle, Transport::kRecord})
        EXPECT_EQ(ParseTransport(TransportText(t)), t);
    EXPECT_EQ(TransportText(Transport::kStopped), "stopped");
    EXPECT_FALSE(ParseTransport("Stopped"));
    EXPECT_EQ(ParseInt("-1600", -1600, 1600), -1600);
    EXPECT_FALSE(ParseInt("1601", -1600, 1600));
    EXPECT_FALSE(ParseInt("+", -5, 5));
}

}  // namespace
}  // namespace tarvolen::deck
