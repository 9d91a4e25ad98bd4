// The recorder's configuration document read into a channel's configuration
// and the choice table, and the document the controller sends back.
#include <gtest/gtest.h>

#include <string>

#include "config/config_text.h"
#include "config/xml_text.h"
#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

std::string Wrap(const std::string& body) {
    return "<tarvolen>" + body + "</tarvolen>";
}

std::string Item(const std::string& tag, const std::string& type, const std::string& name) {
    return "<" + tag + "><type>" + type + "</type><name>" + name + "</name></" + tag + ">";
}

class ConfigDoc : public ::testing::Test {
  protected:
    cSettings s{std::string()};
    ChannelConfig& C(int ch) { return *s.Config(ch); }
};

TEST_F(ConfigDoc, ReadsEachSlotsOwnValuesAndItsChoiceLists) {
    const std::string doc = Wrap(
        "<drives><drive><name>raid</name><codec>x</codec></drive></drives>"
        "<input><index>1</index><supported_resolutions>" +
        Item("resolution", "1920x1080i", "1080i") + Item("resolution", "1280x720p", "720p") +
        "</supported_resolutions><supported_frame_rates>" + Item("frame_rate", "29.97", "29.97") +
        "</supported_frame_rates><resolution>1280x720p</resolution><frame_rate>2997</frame_rate>"
        "<video_input>sdi2</video_input><name_mode>auto</name_mode></input>"
        "<encoder><index>0</index><supported_codecs>" +
        Item("codec", "dnxhd", "DNxHD") + "</supported_codecs><supported_audio>" +
        Item("audio", "pcm24", "PCM") +
        "</supported_audio><name>Master</name><codec>dnxhd</codec><status>enabled</status>"
        "<input_index>1</input_index><audio>pcm24<routing><routing_element><key>analog</key>"
        "<value>1</value></routing_element></routing></audio><segment_duration>1800.6"
        "</segment_duration><primary_project_path>/a</primary_project_path></encoder>"
        "<encoder><index>1</index><codec>h264</codec><status>disabled</status></encoder>"
        "<project><project_name>Demo</project_name><scene>S</scene>"
        "<proxy_path_template>%P/proxy</proxy_path_template></project>");
    s.ParseCapabilities(2, doc);

    const InputSlot& in = C(2).inputs[1];
    EXPECT_EQ(CleanText(in.resolution), "1280x720p");  // not the first offered item
    EXPECT_FLOAT_EQ(in.frame_rate, 29.97f);
    EXPECT_EQ(CleanText(in.video_input), "sdi2");
    EXPECT_EQ(CleanText(in.name_mode), "auto");
    EXPECT_EQ(in.resolution.size(), kConfigFieldWidth);
    EXPECT_EQ(C(2).inputs[0].frame_rate, 0.0f);

    const EncoderSlot& master = C(2).encoders[0];
    EXPECT_EQ(CleanText(master.encoder_name), "Master");  // not the label "DNxHD"
    EXPECT_EQ(CleanText(master.codec), "dnxhd");
    EXPECT_EQ(master.status, 1);
    EXPECT_EQ(master.input_index, 1);
    EXPECT_EQ(CleanText(master.audio), "pcm24");
    EXPECT_EQ(master.segment_duration, 1801);
    EXPECT_EQ(master.primary_path.size(), kConfigPathWidth);
    EXPECT_EQ(CleanText(C(2).routing[0][0].key), "analog");
    EXPECT_EQ(C(2).routing[0][0].value, 1);
    EXPECT_EQ(C(2).encoders[1].status, 0);

    EXPECT_EQ(s.Choices()[1][1], "1920x1080i;1280x720p;|1080i;720p;");
    EXPECT_EQ(s.Choices()[1][2], "29.97;|29.97;");
    EXPECT_EQ(s.Choices()[1][0], "");  // no list at all
    EXPECT_EQ(s.Choices()[0][5], "dnxhd;|DNxHD;");
    EXPECT_EQ(s.Choices()[0][8], "pcm24;|PCM;");

    EXPECT_EQ(s.Project(2), "Demo");
    EXPECT_EQ(s.SceneName(2), "S");
    EXPECT_EQ(C(2).proxy_path_template, "%P/proxy");
    EXPECT_EQ(s.BaseName(2), "");

    // The table always describes the document parsed last.
    s.ParseCapabilities(3, Wrap("<input><index>0</index></input>"));
    EXPECT_EQ(s.Choices()[1][1], "");
    EXPECT_EQ(CleanText(C(2).inputs[1].resolution), "1280x720p");
}

TEST_F(ConfigDoc, ValuesComeBackAsTheRecorderHoldsThem) {
    const struct {
        const char* sent;  // as the recorder writes it
        std::string held;
    } cases[] = {
        {"news-am", "news-am"},              // hyphens survive
        {"/media/raid-1", "/media/raid-1"},  //
        {"A &amp; B", "A & B"},
        {"&lt;x&gt; &quot;q&quot; &apos;", "<x> \"q\" '"},
        {"&amp;lt;", "&lt;"},  // decoded once
        {"caf&#233;&#xE9;", "caf\xE9\xE9"},
        {"bare & and &unknown; &#0; &#300;", "bare & and &unknown; &#0; &#300;"},
    };
    for (const auto& c : cases) {
        s.ParseCapabilities(
            0, Wrap(std::string("<encoder><index>0</index><codec>c</codec>"
                                "<primary_project_path>") +
                    c.sent + "</primary_project_path></encoder><project><project_name>" + c.sent +
                    "</project_name></project>"));
        EXPECT_EQ(s.Project(0), c.held) << c.sent;
        EXPECT_EQ(CleanText(C(0).encoders[0].primary_path), c.held) << c.sent;
        // And they go back out so that a real parser reads the same text.
        const std::string out = s.BuildConfigXml(0);
        EXPECT_EQ(XmlDecode(XmlTagText("<project_name>", out)), c.held) << out;
        EXPECT_EQ(XmlDecode(XmlTagText("<primary_project_path>", out)), c.held) << out;
    }
}

TEST_F(ConfigDoc, FrameRateTexts) {
    const struct {
        const char* text;
        float rate;
        const char* written;
    } cases[] = {
        {"2997", 29.97f, "29.97"},
        {"5994", 59.94f, "59.94"},
        {"29.97", 29.97f, "29.97"},
        {"25", 25.0f, "25"},
        {"23.9", 23.9f, "23.9"},
        {"23.976", 23.976f, "23.976"},
        {" 50", 50.0f, "50"},
        {"x", 0.0f, "0"},
        {"1e999", 3.4028235e38f, "3.402823e+38"},
    };
    for (const auto& c : cases) {
        s.ParseCapabilities(
            0, Wrap(std::string("<input><index>0</index><video_input>v</video_input><frame_rate>") +
                    c.text + "</frame_rate></input>"));
        EXPECT_FLOAT_EQ(C(0).inputs[0].frame_rate, c.rate) << c.text;
        EXPECT_EQ(FrameRateText(C(0).inputs[0].frame_rate), c.written) << c.text;
    }
}

TEST_F(ConfigDoc, WalksEndOnOddDocumentsAndSkipSlotsOutOfRange) {
    const struct {
        const char* name;
        std::string doc;
        std::string inputs;  // slots with a video input, in order
    } cases[] = {
        {"index missing ends the walk",
         "<input><index>0</index><video_input>a</video_input></input>"
         "<input><video_input>b</video_input></input>"
         "<input><index>2</index><video_input>c</video_input></input>",
         "0"},
        {"out of range skipped, later ones read",
         "<input><index>21</index><video_input>a</video_input></input>"
         "<input><index>-1</index><video_input>b</video_input></input>"
         "<input><index>3</index><video_input>c</video_input></input>",
         "3"},
        {"index rounded", "<input><index>1.6</index><video_input>a</video_input></input>", "2"},
        {"tags in upper case read once",
         "<INPUT><INDEX>0</INDEX><VIDEO_INPUT>a</VIDEO_INPUT></INPUT>"
         "<Input><index>1</index><video_input>b</video_input></Input>",
         "01"},
        {"unclosed input", "<input><index>2</index><video_input>a</video_input>", "2"},
        {"no root", "", ""},
    };
    for (const auto& c : cases) {
        cSettings fresh{std::string()};
        fresh.ParseCapabilities(
            5, c.doc.empty() ? "<input><index>0</index><video_input>a</video_input></input>"
                             : Wrap(c.doc));
        std::string got;
        for (int i = 0; i < kConfigSlots; ++i) {
            if (!CleanText(fresh.Config(5)->inputs[static_cast<size_t>(i)].video_input).empty()) {
                got += std::to_string(i);
            }
        }
        EXPECT_EQ(got, c.inputs) << c.name;
    }
    // A channel outside the table changes nothing.
    s.ParseCapabilities(24, Wrap("<project><project_name>x</project_name></project>"));
    s.ParseCapabilities(-1, Wrap("<project><project_name>x</project_name></project>"));
    EXPECT_EQ(s.Project(0), "");
}

TEST_F(ConfigDoc, EqualRoutingElementsEachKeepTheirTrack) {
    const std::string tracks =
        "<routing_element><key>analog</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>silent</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>silent</key><value>0</value></routing_element>\r\n"
        "<routing_element><key>digital</key><value>3</value></routing_element>\r\n"
        "<routing_element><key>digital</key><value>3</value></routing_element>\r\n"
        "<routing_element><key>analog</key><value>1</value></routing_element>\r\n";
    s.ParseCapabilities(1, Wrap("<encoder><index>0</index><codec>c</codec><audio>pcm24<routing>" +
                                tracks + "</routing></audio></encoder>"));
    std::string keys;
    for (const RoutingEntry& e : C(1).routing[0]) keys += CleanText(e.key) + " ";
    EXPECT_EQ(keys.substr(0, 48), "analog silent silent digital digital analog     ");
    // What was read goes back as it came, every track in its place.
    EXPECT_EQ(XmlTagText("<routing>", s.BuildConfigXml(1)), tracks);
}

TEST_F(ConfigDoc, AnElementWithoutItsClosingTagLeavesTheRestReadable) {
    const std::string rest =
        "<input><index>0</index><supported_resolutions>" +
        Item("resolution", "1920x1080i", "1080i") + Item("resolution", "1280x720p", "720p") +
        "</supported_resolutions><resolution>1280x720p</resolution><frame_rate>25</frame_rate>"
        "<video_input>sdi1</video_input></input>"
        "<encoder><index>0</index><codec>dnxhd</codec><audio>pcm24<routing><routing_element>"
        "<key>analog</key><value>1</value></routing_element></routing></audio></encoder>"
        "<project><project_name>Demo</project_name><scene>S</scene></project>";
    const struct {
        const char* name;
        std::string doc;
    } cases[] = {
        {"drives", "<drives><drive><path>/media/primary</path></drive>" + rest},
        {"a list before the current values",
         "<input><index>0</index><supported_resolutions>" +
             Item("resolution", "1920x1080i", "1080i") + Item("resolution", "1280x720p", "720p") +
             "<resolution>1280x720p</resolution><frame_rate>25</frame_rate><video_input>sdi1"
             "</video_input></input>" +
             rest.substr(rest.find("<encoder>"))},
        {"the audio list before the routing",
         rest.substr(0, rest.find("<encoder>")) + "<encoder><index>0</index><supported_audio>" +
             Item("audio", "pcm24", "PCM") +
             "<codec>dnxhd</codec><audio>pcm24<routing><routing_element><key>analog</key>"
             "<value>1</value></routing_element></routing></audio></encoder>" +
             rest.substr(rest.find("<project>"))},
    };
    for (const auto& c : cases) {
        cSettings fresh{std::string()};
        fresh.ParseCapabilities(2, Wrap(c.doc));
        const ChannelConfig& cfg = *fresh.Config(2);
        EXPECT_EQ(CleanText(cfg.inputs[0].resolution), "1280x720p") << c.name;
        EXPECT_EQ(cfg.inputs[0].frame_rate, 25.0f) << c.name;
        EXPECT_EQ(CleanText(cfg.inputs[0].video_input), "sdi1") << c.name;
        EXPECT_EQ(fresh.Choices()[0][1], "1920x1080i;1280x720p;|1080i;720p;") << c.name;
        EXPECT_EQ(CleanText(cfg.encoders[0].codec), "dnxhd") << c.name;
        EXPECT_EQ(CleanText(cfg.encoders[0].audio), "pcm24") << c.name;
        EXPECT_EQ(CleanText(cfg.routing[0][0].key), "analog") << c.name;
        EXPECT_EQ(fresh.Project(2), "Demo") << c.name;
        EXPECT_EQ(fresh.SceneName(2), "S") << c.name;
    }
}

TEST_F(ConfigDoc, ProjectBlockIsAlwaysTakenWhole) {
    s.SetProject(4, "Old");
    s.SetBaseName(4, "%P");
    s.SetTapeId(4, "T");
    C(4).master_path_template = "m";
    s.ParseCapabilities(4, Wrap("<input><index>0</index></input>"));
    EXPECT_EQ(s.Project(4), "");
    EXPECT_EQ(s.BaseName(4), "");
    EXPECT_EQ(s.TapeId(4), "");
    EXPECT_EQ(C(4).master_path_template, "");
    // Long values are cut to their field; project texts are not fields.
    const std::string longValue(300, 'x');
    s.ParseCapabilities(4, Wrap("<encoder><index>0</index><codec>" + longValue +
                                "</codec><secondary_project_path>" + longValue +
                                "</secondary_project_path></encoder><project><scene>" + longValue +
                                "</scene></project>"));
    EXPECT_EQ(C(4).encoders[0].codec, std::string(32, 'x'));
    EXPECT_EQ(C(4).encoders[0].secondary_path, std::string(255, 'x'));
    EXPECT_EQ(s.SceneName(4), longValue);
}

TEST_F(ConfigDoc, TranslateChoiceGoesBothWays) {
    s.Choices()[3][1] = "low;high;|LOW;HIGH;";
    s.Choices()[3][2] = "a;b;|b;c;";  // "b" is a value and a label
    s.Choices()[3][3] = "x;y;|x;y;";  // values equal labels
    s.Choices()[3][4] = "p;q;|P;";    // fewer labels
    s.Choices()[11][1] = "low;|LOW;";
    const struct {
        const char* value;
        int slot, kind;
        const char* result;
    } cases[] = {
        {"low", 3, 1, "LOW"}, {"HIGH", 3, 1, "high"}, {" high ", 3, 1, "HIGH"},
        {"mid", 3, 1, "mid"}, {"", 3, 1, ""},         {"b", 3, 2, "c"},
        {"c", 3, 2, "b"},     {"y", 3, 3, "y"},       {"q", 3, 4, "q"},
        {"P", 3, 4, "p"},     {"low", 11, 1, ""},     {"low", -1, 1, ""},
        {"low", 3, 12, ""},   {"low", 4, 1, "low"},  // empty cell
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.TranslateChoice(c.value, c.slot, c.kind), c.result)
            << c.value << " " << c.slot << "/" << c.kind;
    }
}

void FillGolden(cSettings& s, int ch) {
    ChannelConfig& c = *s.Config(ch);
    InputSlot& in = c.inputs[0];
    in.video_input = FixedWidth("sdi1", 32);
    in.resolution = FixedWidth("1920x1080i", 32);
    in.frame_rate = 29.97f;
    in.pixel_format = "yuv422p10";
    in.audio_input = "embedded";
    in.name_mode = "auto";
    EncoderSlot& e = c.encoders[0];
    e.status = 1;
    e.encoder_name = FixedWidth("Master", 32);
    e.codec = "dnxhd";
    e.quality = "high";
    e.wrapper = "mxf_op1a";
    e.audio = "pcm24";
    e.write_mode = "mirror";
    e.primary_disk = "/media/primary";
    e.secondary_disk = "/media/raid-1";
    e.generate_xml_mode = "on";
    e.segment_duration = 1800;
    e.segment_mode = "no";
    e.override_primary_path = "disabled";
    e.override_secondary_path = "enabled";
    e.secondary_path = "/mnt/b";
    e.burn_timecode = "enabled";
    e.burn_system_time = e.burn_gps = e.burn_file_name = "disabled";
    c.routing[0][0] = {"digital", 0};
    c.routing[0][1] = {"tone_generator", 400};
    c.master_path_template = "%P/%D";
    c.proxy_path_template = "%P/%D/proxy";
    s.SetProject(ch, "news-am");
    s.SetBaseName(ch, "%P_%S");
    s.SetSceneName(ch, "S1");
}

TEST_F(ConfigDoc, BuiltDocumentByteForByte) {
    FillGolden(s, 1);
    const std::string expected =
        "<tarvolen>\r\n"
        "<input><index>0</index><video_input>sdi1</video_input><resolution>1920x1080i"
        "</resolution><frame_rate>29.97</frame_rate><pixel_fmt>yuv422p10</pixel_fmt>"
        "<audio_input>embedded</audio_input></input>\r\n"
        "\r\n"
        "<encoder>\r\n"
        "<index>0</index><input_index></input_index><status>enabled</status><name>Master</name>"
        "<codec>dnxhd</codec><tape_id></tape_id><quality>high</quality><wrapper>mxf_op1a"
        "</wrapper><audio><routing><routing_element><key>digital</key><value>0</value>"
        "</routing_element>\r\n<routing_element><key>tone_generator</key><value>401</value>"
        "</routing_element>\r\n</routing></audio><write_mode>mirror</write_mode><primary_disk>"
        "/media/primary</primary_disk><secondary_disk>/media/raid-1</secondary_disk>"
        "<generate_xml_mode>on</generate_xml_mode><segment_duration>1800</segment_duration>"
        "<segment_mode>no</segment_mode><primary_project_path></primary_project_path>"
        "<secondary_project_path>/mnt/b</secondary_project_path><override_primary_project_path>"
        "disabled</override_primary_project_path><override_secondary_project_path>enabled"
        "</override_secondary_project_path><burn_tc>enabled</burn_tc><burn_systime>disabled"
        "</burn_systime><burn_gps>disabled</burn_gps><burn_filename>disabled</burn_filename>\r\n"
        "</encoder>\r\n"
        "\r\n"
        "<project>\r\n"
        "<project_name>news-am</project_name>\r\n"
        "<master_path_template>%P/%D</master_path_template>\r\n"
        "<master_sec_path_template></master_sec_path_template>\r\n"
        "<proxy_path_template>%P/%D/proxy</proxy_path_template>\r\n"
        "<proxy_sec_path_template></proxy_sec_path_template>\r\n"
        "<master_name_template>%P_%S</master_name_template>\r\n"
        "<proxy_name_template></proxy_name_template>\r\n"
        "<tape_id_template></tape_id_template>\r\n"
        "<scene>S1</scene>\r\n"
        "</project>\r\n"
        "</tarvolen>";
    EXPECT_EQ(s.BuildConfigXml(1), expected);
}

TEST_F(ConfigDoc, BuiltDocumentSlotsAndValueForms) {
    // Nothing set: only the root and the project block.
    EXPECT_EQ(s.BuildConfigXml(0).rfind("<tarvolen>\r\n<project>\r\n<project_name>", 0), 0u);
    EXPECT_EQ(s.BuildConfigXml(24), "");

    ChannelConfig& c = C(0);
    c.encoders[1].codec = "h264";    // status 0, no name
    c.encoders[0].quality = "high";  // no codec: not written
    c.encoders[4].codec = "never";
    c.inputs[5].video_input = "never";
    c.inputs[2].video_input = "sdi";
    c.inputs[2].frame_rate = 25;
    c.inputs[3].video_input = "sdi";
    c.inputs[3].frame_rate = 59.94f;
    c.encoders[2].codec = "x";
    c.routing[2][0] = {"digital", 3};  // slot 2's routing is never sent
    const std::string d = s.BuildConfigXml(0);
    EXPECT_NE(d.find("<index>1</index><input_index></input_index><status>disabled</status>"
                     "<name> </name><codec>h264</codec>"),
              std::string::npos);
    EXPECT_NE(d.find("<index>2</index><video_input>sdi</video_input><resolution></resolution>"
                     "<frame_rate>25</frame_rate>"),
              std::string::npos);
    EXPECT_NE(d.find("<frame_rate>59.94</frame_rate>"), std::string::npos);
    EXPECT_EQ(d.find("never"), std::string::npos);
    EXPECT_EQ(d.find("<quality>high"), std::string::npos);
    EXPECT_EQ(d.find("<routing>"), std::string::npos);
    EXPECT_EQ(d.find("<index>0</index>"), std::string::npos);
    EXPECT_NE(d.find("<audio></audio>"), std::string::npos);
}

TEST_F(ConfigDoc, WhateverIsTypedTheDocumentIsWellFormed) {
    const struct {
        std::string typed;
        std::string written;
    } cases[] = {
        {"A & B", "A &amp; B"},
        {"<scene>x</scene>", "&lt;scene&gt;x&lt;/scene&gt;"},
        {"caf\xE9", "caf&#233;"},
        {"a\tb", "a&#9;b"},
        {std::string("a\x01\x1f"
                     "b"),
         "ab"},  // XML cannot carry these
        {"%P_%S-%D", "%P_%S-%D"},
    };
    for (const auto& c : cases) {
        s.SetSceneName(0, c.typed);
        C(0).encoders[0].codec = "c";
        C(0).encoders[0].encoder_name = c.typed;
        const std::string d = s.BuildConfigXml(0);
        EXPECT_NE(d.find("<scene>" + c.written + "</scene>"), std::string::npos) << d;
        EXPECT_NE(d.find("<name>" + c.written + "</name>"), std::string::npos) << d;
    }
}

}  // namespace
}  // namespace tarvolen
