// The emulator's frame counter, naming templates, configuration documents and
// command line.
#include <gtest/gtest.h>

#include "recorder/bank.h"
#include "recorder/config_doc.h"
#include "recorder/naming.h"
#include "recorder/timecode_counter.h"

namespace tarvolen::recorder {
namespace {

TEST(FrameCounter, DropFrameNumbering) {
    const struct {
        int64_t frames;
        const char* tc;
    } cases[] = {{0, "00:00:00;00"},     {29, "00:00:00;29"},    {30, "00:00:01;00"},
                 {1799, "00:00:59;29"},  {1800, "00:01:00;02"},  {3598, "00:02:00;02"},
                 {17981, "00:09:59;29"}, {17982, "00:10:00;00"}, {107892, "01:00:00;00"},
                 {-1, "23:59:59;29"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FramesToTimecode(c.frames, Rate::k2997DropFrame), c.tc) << c.frames;
        int64_t back = 0;
        ASSERT_TRUE(TimecodeToFrames(c.tc, Rate::k2997DropFrame, back));
        EXPECT_EQ(back, (c.frames + FramesPerDay(Rate::k2997DropFrame)) %
                            FramesPerDay(Rate::k2997DropFrame));
    }
}

TEST(FrameCounter, EveryRateRoundTrips) {
    for (Rate r : {Rate::k2997DropFrame, Rate::k30, Rate::k25, Rate::k24}) {
        for (int64_t f = 0; f < FramesPerDay(r); f += 997) {
            std::string tc = FramesToTimecode(f, r);
            EXPECT_EQ(tc[8], Info(r).separator);
            int64_t back = -1;
            ASSERT_TRUE(TimecodeToFrames(tc, r, back)) << tc;
            ASSERT_EQ(back, f) << tc;
        }
    }
    EXPECT_EQ(FramesToTimecode(25 * 3600, Rate::k25), "01:00:00.00");
    EXPECT_EQ(FramesToTimecode(24 * 61 + 5, Rate::k24), "00:01:01,05");
}

TEST(FrameCounter, NonsenseIsNoTimecode) {
    int64_t f = 0;
    for (const char* bad : {"", "--:--:--:--", "1:00:00:00", "24:00:00;00", "00:60:00;00",
                            "00:00:00;30", "0a:00:00;00"})
        EXPECT_FALSE(TimecodeToFrames(bad, Rate::k2997DropFrame, f)) << bad;
}

TEST(Naming, EveryTokenExpands) {
    NamingContext ctx;
    ctx.project = "News";
    ctx.encoder = "Master";
    ctx.scene = "Studio";
    ctx.startTimecode = "01:02:03;04";
    ctx.when.tm_year = 124;  // 2024
    ctx.when.tm_mon = 4;     // May
    ctx.when.tm_mday = 7;
    ctx.when.tm_hour = 9;
    ctx.when.tm_min = 8;
    ctx.when.tm_sec = 6;
    ctx.when.tm_wday = 2;
    const struct {
        const char* templ;
        bool proxy;
        const char* expect;
    } cases[] = {{"%P", false, "News"},
                 {"%E", false, "Master"},
                 {"%S", false, "Studio"},
                 {"%x", false, ""},
                 {"%x", true, "_proxy"},
                 {"%C", false, "01020304"},
                 {"%D", false, "20240507"},
                 {"%Y", false, "2024"},
                 {"%y", false, "24"},
                 {"%M", false, "05"},
                 {"%d", false, "07"},
                 {"%T", false, "090806"},
                 {"%H", false, "09"},
                 {"%m", false, "08"},
                 {"%s", false, "06"},
                 {"%W", false, "Tuesday"},
                 {"%w", false, "Tue"},
                 {"%%", false, "%"},
                 {"%q", false, "%q"},
                 {"50%", false, "50%"},
                 {"%P_%S_%D_%T%x", true, "News_Studio_20240507_090806_proxy"}};
    for (const auto& c : cases) {
        NamingContext k = ctx;
        k.proxy = c.proxy;
        EXPECT_EQ(ExpandTemplate(c.templ, k), c.expect) << c.templ;
    }
}

TEST(Naming, NamesAreFitForFiles) {
    EXPECT_EQ(SanitizeName("a/b\\c:d*e?f\"g<h>i|j"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(SanitizeName("  spaced  "), "spaced");
    EXPECT_EQ(SanitizeName(std::string("tab\there", 8)), "tab_here");
    EXPECT_EQ(SanitizeName(std::string(300, 'x')).size(), kMaxClipName);
}

TEST(ConfigDocument, RecorderDocumentHasWhatTheControllerReads) {
    std::string d = BuildConfigDocument(DefaultConfig(1, Rate::k2997DropFrame));
    for (const char* must :
         {"<tarvolen>",
          "</tarvolen>",
          "<drives>",
          "<input>",
          "<index>0</index>",
          "<supported_video_inputs><video_input><type>sdi1</type><name>SDI 1</name>",
          "<frame_rate>2997</frame_rate>",
          "<frame_rate>25</frame_rate>",
          "<index>2</index>",
          "<encoder>",
          "<index>3</index>",
          "<supported_codecs>",
          "<status>enabled</status>",
          "<routing><routing_element>",
          "<key>digital</key><value>0</value>",
          "<key>analog</key>",
          "<key>tone_generator</key><value>1000</value>",
          "<key>silent</key>",
          "<project>",
          "<master_name_template>",
          "<scene>Ch1</scene>",
          "<type>/media/raid-1</type>"})
        EXPECT_NE(d.find(must), std::string::npos) << must;
    EXPECT_LT(d.size(), 65535u);
}

TEST(ConfigDocument, ControllerDocumentsAreAppliedOrRefusedWhole) {
    const struct {
        const char* name;
        const char* doc;
        bool ok;
        const char* lookFor;  // in the recorder's document afterwards
    } cases[] = {
        {"project",
         "<tarvolen><project><project_name>Sport</project_name><scene></scene>"
         "</project></tarvolen>",
         true, "<project_name>Sport</project_name>"},
        {"empty project element clears", "<tarvolen><project><scene></scene></project></tarvolen>",
         true, "<scene></scene>"},
        {"codec and name",
         "<tarvolen>\r\n<encoder>\r\n<index>0</index><input_index></input_index><status>"
         "disabled</status><name> </name><codec>prores</codec><tape_id></tape_id>"
         "</encoder>\r\n</tarvolen>",
         true, "<codec>prores</codec><status>disabled</status><name></name><input_index>0"},
        {"frame rate as the controller writes it",
         "<tarvolen><input><index>0</index><frame_rate>25</frame_rate></input></tarvolen>", true,
         "<frame_rate>25</frame_rate>"},
        {"tone taken to the nearest frequency",
         "<tarvolen><encoder><index>1</index><audio><routing><routing_element><key>"
         "tone_generator</key><value>401</value></routing_element>\r\n</routing></audio>"
         "</encoder></tarvolen>",
         true,
         "<audio>aac<routing><routing_element><key>tone_generator</key><value>400</value>"
         "</routing_element></routing></audio>"},
        {"bare ampersand",
         "<tarvolen><project><project_name>A & B</project_name></project>"
         "</tarvolen>",
         false, "<project_name>Demo</project_name>"},
        {"unsupported codec",
         "<tarvolen><encoder><index>0</index><codec>cinepak</codec></encoder></tarvolen>", false,
         "<codec>dnxhd</codec>"},
        {"bad switch",
         "<tarvolen><encoder><index>0</index><burn_tc>yes</burn_tc></encoder>"
         "</tarvolen>",
         false, "<burn_tc>disabled</burn_tc>"},
        {"bad routing key",
         "<tarvolen><encoder><index>0</index><audio><routing><routing_element><key>mic</key>"
         "<value>1</value></routing_element></routing></audio></encoder></tarvolen>",
         false, "<key>digital</key>"},
        {"wrong root", "<config><project><project_name>X</project_name></project></config>", false,
         "<project_name>Demo</project_name>"},
        {"unclosed", "<tarvolen><project>", false, "<project_name>Demo</project_name>"},
        {"no index", "<tarvolen><input><frame_rate>25</frame_rate></input></tarvolen>", false,
         "<frame_rate>2997</frame_rate>"},
        {"frame rate in the recorder's own form, as a client echoes it",
         "<tarvolen><input><index>1</index><frame_rate>2997</frame_rate></input></tarvolen>", true,
         "<frame_rate>2997</frame_rate><pixel_fmt>yuv422p10</pixel_fmt><audio_input>aes"},
        {"frame rate taken as the offered item",
         "<tarvolen><input><index>2</index><frame_rate>29.970</frame_rate></input></tarvolen>",
         true, "<frame_rate>2997</frame_rate><pixel_fmt>yuv422p</pixel_fmt>"},
        {"own words of the segment settings",
         "<tarvolen><encoder><index>0</index><generate_xml_mode>on</generate_xml_mode>"
         "<segment_mode>tc_break</segment_mode></encoder></tarvolen>",
         true, "<generate_xml_mode>on</generate_xml_mode><segment_mode>tc_break</segment_mode>"},
        {"segment mode not one of its words",
         "<tarvolen><encoder><index>0</index><segment_mode>enabled</segment_mode></encoder>"
         "</tarvolen>",
         false, "<segment_mode>no</segment_mode>"},
        {"single-byte texts by reference",
         "<tarvolen><project><project_name>Caf&#233; &#x263A; &lt;1&gt;</project_name>"
         "</project></tarvolen>",
         true, "<project_name>Caf&#233; ? &lt;1&gt;</project_name>"},
        {"hyphens kept",
         "<tarvolen><encoder><index>0</index><secondary_disk>/media/raid-1</secondary_disk>"
         "</encoder><project><project_name>news-am</project_name></project></tarvolen>",
         true, "<project_name>news-am</project_name>"},
        {"escaped ampersand",
         "<tarvolen><project><project_name>A &amp; B</project_name>"
         "</project></tarvolen>",
         true, "<project_name>A &amp; B</project_name>"},
    };
    for (const auto& c : cases) {
        ChannelConfig cfg = DefaultConfig(1, Rate::k2997DropFrame);
        std::string why;
        EXPECT_EQ(ApplyConfigDocument(cfg, c.doc, why), c.ok) << c.name << ": " << why;
        EXPECT_EQ(why.empty(), c.ok) << c.name;
        EXPECT_NE(BuildConfigDocument(cfg).find(c.lookFor), std::string::npos) << c.name;
    }
}

TEST(CommandLine, AddressesAndOptions) {
    std::vector<std::string> out;
    std::string error;
    ASSERT_TRUE(ExpandAddresses("127.0.0.101-124", out, error));
    ASSERT_EQ(out.size(), 24u);
    EXPECT_EQ(out.front(), "127.0.0.101");
    EXPECT_EQ(out.back(), "127.0.0.124");
    out.clear();
    ASSERT_TRUE(ExpandAddresses("127.0.0.5,127.0.1.1-2", out, error));
    EXPECT_EQ(out, (std::vector<std::string>{"127.0.0.5", "127.0.1.1", "127.0.1.2"}));
    for (const char* bad : {"127.0.0", "127.0.0.300", "127.0.0.9-3", "a.b.c.d", "127.0.0.1-"}) {
        out.clear();
        EXPECT_FALSE(ExpandAddresses(bad, out, error)) << bad;
    }

    BankOptions o;
    bool help = false;
    ASSERT_TRUE(ParseBankArguments(
        {"--bank", "127.0.0.101-102", "--port", "0", "--channels", "2", "--rate", "25", "--journal",
         "j", "--state", "s", "--fault", "127.0.0.101=delay:300", "--fault", "all=refuse:RECORD"},
        o, error, help))
        << error;
    EXPECT_EQ(o.addresses.size(), 2u);
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.channels, 2);
    EXPECT_EQ(o.rate, Rate::k25);
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].kind, "delay");
    EXPECT_EQ(o.faults[0].arg, "300");
    EXPECT_EQ(o.faults[1].address, "all");
    for (std::vector<std::string> bad : {std::vector<std::string>{},
                                         {"--bank"},
                                         {"--bank", "127.0.0.1", "--channels", "5"},
                                         {"--bank", "127.0.0.1", "--fault", "127.0.0.1=explode"},
                                         {"--bogus"}}) {
        BankOptions b;
        EXPECT_FALSE(ParseBankArguments(bad, b, error, help));
    }
    BankOptions b;
    EXPECT_FALSE(ParseBankArguments({"--help"}, b, error, help));
    EXPECT_TRUE(help);
}

}  // namespace
}  // namespace tarvolen::recorder
