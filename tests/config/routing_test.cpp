// Audio routing: read from a recorder, written back, shown on the audio
// pages and edited by the track buttons.
#include "config/routing.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

std::string Element(const std::string& key, const std::string& value) {
    return "<routing_element><key>" + key + "</key><value>" + value + "</value></routing_element>";
}

// "key:value " for each track.
std::string Tracks(const Routing& r) {
    std::string out;
    for (int k = 0; k <= LastTrack(r); ++k) {
        out += CleanText(r[static_cast<size_t>(k)].key) + ":" +
               std::to_string(r[static_cast<size_t>(k)].value) + " ";
    }
    return out;
}

Routing Digital(int tracks) {
    Routing r{};
    for (int k = 0; k < tracks; ++k) r[static_cast<size_t>(k)] = {"digital", k};
    return r;
}

TEST(Routing, ReadFromTheRecordersDocument) {
    cSettings s{std::string()};
    const struct {
        const char* name;
        std::string routing;
        std::string tracks;
    } cases[] = {
        {"kinds and values",
         Element("digital", "0") + Element("analog", "1") + Element("tone_generator", "400") +
             Element("silent", "0"),
         "digital:0 analog:1 tone_generator:400 silent:0 "},
        {"value rounded", Element("digital", "2.5"), "digital:3 "},
        {"missing key ends the list",
         Element("digital", "0") + "<routing_element><value>1</value></routing_element>" +
             Element("digital", "2"),
         "digital:0 "},
        {"letter case: each element once",
         "<ROUTING_ELEMENT><key>digital</key><value>0</value></ROUTING_ELEMENT>" +
             Element("analog", "1"),
         "digital:0 analog:1 "},
        {"hyphen and entity kept", Element("my-key", "1") + Element("a&amp;b", "2"),
         "my-key:1 a&b:2 "},
    };
    for (const auto& c : cases) {
        s.Config(0)->routing[0] = Digital(5);
        s.ParseRouting(0, 0, c.routing);
        EXPECT_EQ(Tracks(s.Config(0)->routing[0]), c.tracks) << c.name;
    }
    std::string many;
    for (int k = 0; k < 40; ++k) many += Element("digital", std::to_string(k));
    s.ParseRouting(0, 1, many);
    EXPECT_EQ(s.LastTrackIndex(0, 1), 31);
    // An empty routing keeps what the slot had.
    s.ParseRouting(0, 1, "");
    EXPECT_EQ(s.LastTrackIndex(0, 1), 31);
    s.ParseRouting(0, 21, Element("digital", "0"));  // no such slot: nothing
    s.ParseRouting(24, 0, Element("digital", "0"));
}

TEST(Routing, WrittenWithTheRecordersValueForms) {
    cSettings s{std::string()};
    const struct {
        const char* key;
        int32_t value;
        const char* sent;
    } cases[] = {
        {"digital", 0, "0"},
        {"analog", 1, "1"},
        {"tone_generator", 200, "201"},
        {"tone_generator", 400, "401"},
        {"tone_generator", 999, "1000"},
        {"tone_generator", 1000, "1000"},
        {"tone_generator", 1200, "1200"},
        {"tone_generator", 1001, "1200"},
        {"tone_generator", 1, "1000"},
        {"silent", 7, "0"},
        {"digital", 32, "32"},
        {"digital", 33, "34"},
        {"digital", 2147483647, "2147483647"},
    };
    for (const auto& c : cases) {
        s.Config(0)->routing[0] = {};
        s.Config(0)->routing[0][0] = {FixedWidth(c.key, 32), c.value};
        EXPECT_EQ(s.BuildRoutingXml(0, 0), std::string("<audio><routing><routing_element><key>") +
                                               c.key + "</key><value>" + c.sent +
                                               "</value></routing_element>\r\n</routing></audio>")
            << c.key << " " << c.value;
    }
    s.Config(0)->routing[2] = Digital(2);
    EXPECT_EQ(s.BuildRoutingXml(0, 2), "");  // only master and proxy are sent
    s.Config(0)->routing[1] = {};
    EXPECT_EQ(s.BuildRoutingXml(0, 1), "");
    EXPECT_EQ(s.BuildRoutingXml(-1, 0), "");
}

TEST(Routing, TrackItemsOnTheAudioPage) {
    const struct {
        const char* key;
        int32_t value;
        const char* shown;
        bool tones;
        int sources;
    } cases[] = {
        {"digital", 0, "1", true, 16},
        {"analog", 1, "2", true, 2},
        {"tone_generator", 400, "400Hz", true, 16},
        {"tone_generator", 1000, "1kHz", true, 16},
        {"tone_generator", 1200, "1.2kHz", true, 16},
        {"silent", 0, "silent", true, 16},
        {"mic", 3, "3", false, 16},
        {"tone_generator", 401, "400Hz", true, 16},
    };
    for (const auto& c : cases) {
        const RoutingEntry e{FixedWidth(c.key, 32), c.value};
        EXPECT_EQ(TrackShownValue(e), c.shown) << c.key << " " << c.value;
        std::string choices = "off;silent;";
        for (int n = 1; n <= c.sources; ++n) choices += std::to_string(n) + ";";
        if (c.tones) choices += "200Hz;400Hz;600Hz;800Hz;1kHz;1.2kHz";
        EXPECT_EQ(TrackChoices(e), choices) << c.key;
    }
    EXPECT_EQ(TrackItemLabel(0), "Ch 1");
}

TEST(Routing, TrackChoicesReadBack) {
    const struct {
        const char* key;
        const char* chosen;
        const char* newKey;
        int32_t value;
    } cases[] = {
        {"digital", "silent", "silent", 0},
        {"digital", "off", "", 0},
        {"digital", "3", "digital", 2},
        {"analog", "2", "analog", 1},
        {"tone_generator", "5", "digital", 4},
        {"silent", "1", "digital", 0},
        {"digital", "400Hz", "tone_generator", 400},
        {"digital", "1kHz", "tone_generator", 1000},
        {"analog", "1.2kHz", "tone_generator", 1200},
    };
    for (const auto& c : cases) {
        RoutingEntry e{FixedWidth(c.key, 32), 9};
        ApplyTrackChoice(e, c.chosen);
        EXPECT_EQ(CleanText(e.key), c.newKey) << c.key << " " << c.chosen;
        EXPECT_EQ(e.value, c.value) << c.key << " " << c.chosen;
    }
    // A 1.2 kHz tone read from the page is shown and sent as 1200.
    RoutingEntry tone{"digital", 0};
    ApplyTrackChoice(tone, "1.2kHz");
    EXPECT_EQ(TrackShownValue(tone), "1.2kHz");
}

TEST(Routing, TrackButtons) {
    Routing r = Digital(6);
    r[1] = {"analog", 1};
    r[2] = {"tone_generator", 400};
    SetTrackCountOf(r, 4);
    EXPECT_EQ(Tracks(r), "digital:0 analog:1 tone_generator:2 digital:3 ");

    r = Digital(2);
    r[0].value = 7;
    SetTrackCountOf(r, 16);
    std::string expected;
    for (int k = 0; k < 16; ++k) expected += "digital:" + std::to_string(k) + " ";
    EXPECT_EQ(Tracks(r), expected);

    SetTrackCountOf(r, 99);
    EXPECT_EQ(LastTrack(r), 31);
    EXPECT_FALSE(AddTrackTo(r));
    SetTrackCountOf(r, -3);
    EXPECT_EQ(LastTrack(r), -1);
    EXPECT_FALSE(RemoveLastTrack(r));

    r = Digital(3);
    ASSERT_TRUE(AddTrackTo(r));
    EXPECT_EQ(Tracks(r), "digital:0 digital:1 digital:2 digital:3 ");
    ASSERT_TRUE(RemoveLastTrack(r));
    ASSERT_TRUE(RemoveLastTrack(r));
    EXPECT_EQ(Tracks(r), "digital:0 digital:1 ");
    // Tracks end at the first empty key, whatever follows.
    r[3] = {"digital", 3};
    EXPECT_EQ(LastTrack(r), 1);
}

}  // namespace
}  // namespace tarvolen
