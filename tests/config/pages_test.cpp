// The Setup pages over the real Qt backend (offscreen): what each page shows
// for a recorder's document, and what reading an edited page back puts into
// the document sent.
#include "config/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/xml_text.h"
#include "platform/qt/qt_seam.h"
#include "recorder/config_doc.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "tests/config/setup_form.h"

namespace tarvolen {
namespace {

constexpr int32_t kChannel = 2;

using setupform::EditItem;
using setupform::PageItems;

class Pages : public ::testing::Test {
  protected:
    void SetUp() override {
        setupform::OpenSetupForm(kChannel);
        document = recorder::BuildConfigDocument(
            recorder::DefaultConfig(1, recorder::Rate::k2997DropFrame));
        s.ParseCapabilities(kChannel, document);
    }
    void TearDown() override {
        qt::UnloadAll();
        EZ_DOEVENTS(255);
    }
    void Show(int32_t page) {
        EZ_SETTABSEL("SETUP", kSetupTabs, page);
        BuildSetupPage(s, page, kChannel);
    }
    static std::vector<std::string> Items() { return PageItems(); }
    static void Edit(const std::string& label, int occurrence, const std::string& value) {
        EditItem(label, occurrence, value);
    }

    cSettings s{std::string()};
    std::string document;
};

TEST_F(Pages, EachPageShowsTheRecordersConfiguration) {
    Show(kInputsPage);
    const std::vector<std::string> inputs = Items();
    ASSERT_EQ(inputs.size(), 18u);  // three inputs
    EXPECT_EQ(inputs[0], "Input 1");
    EXPECT_EQ(inputs[1], "Resolution{D}1080i[1080i;1080p;720p;UHD 2160p;]");
    EXPECT_EQ(inputs[2], "Fps{D}29.97[23.98;24;25;29.97;30;50;59.94;]");
    EXPECT_EQ(inputs[3], "Format{D}10 bit 422[10 bit 422;8 bit 422;8 bit 420;]");
    EXPECT_EQ(inputs[4], "Video Input{D}SDI 1[SDI 1;SDI 2;HDMI;NDI;]");
    EXPECT_EQ(inputs[5], "Audio Input{D}Embedded[Embedded;AES;Analog;]");
    EXPECT_EQ(inputs[8], "Fps{D}25[23.98;24;25;29.97;30;50;59.94;]");
    EXPECT_EQ(inputs[14], "Fps{D}59.94[23.98;24;25;29.97;30;50;59.94;]");

    Show(kEncodersPage);
    const std::vector<std::string> enc = Items();
    EXPECT_EQ(enc[0], "Cam1 master");
    EXPECT_EQ(enc[1], "Status{D}enabled[disabled;enabled]");
    EXPECT_EQ(enc[2], "Codec{D}DNxHD[DNxHD;ProRes;XDCAM HD;AVC Intra;H.264;]");
    EXPECT_EQ(enc[7],
              "secondary{D}RAID-1 mirror[Secondary RAID;RAID-1 mirror;Archive;Primary RAID;]");
    EXPECT_EQ(enc[12], "Encoder Name{T}Cam1");
    EXPECT_EQ(enc[13], "Generate XML{D}off[on;off]");
    EXPECT_EQ(enc[14], "Segment Mode{D}no[no;increment;manual;tc_break]");
    EXPECT_EQ(enc[15].rfind("Segment Duration{B}00:00:00", 0), 0u) << enc[15];
    EXPECT_EQ(enc[16], "Burn In{D}Timecode[disabled;Timecode;System Time;Gps;File Name]");
    EXPECT_EQ(enc[17], "Cam1 proxy");
    EXPECT_EQ(enc.size(), 17u + 3 * 12);

    Show(kProjectsPage);
    EXPECT_EQ(
        Items(),
        (std::vector<std::string>{
            "Files", "project{T}Demo", "Master Path{T}%P/%D", "Redundant Master Path{T}%P/%D",
            "Proxy Path{T}%P/%D/proxy", "Redundant Proxy Path{T}", "master name{T}%P_%S_%D_%T",
            "proxy name{T}%P_%S_%D_%T%x", "tape/reel ID{T}%S_%y%M%d", "scene name{T}Ch1"}));
    EXPECT_TRUE(EZ_ISVISIBLE("setup", kSetupNamingHelp));

    Show(kMasterAudioPage);
    const std::vector<std::string> audio = Items();
    ASSERT_EQ(audio.size(), 9u);
    EXPECT_EQ(audio[0], "Master Audio Routing");
    EXPECT_EQ(audio[1], "Ch 1{D}1[off;silent;1;2;200Hz;400Hz;600Hz;800Hz;1kHz;1.2kHz]");
    EXPECT_EQ(audio[3].substr(0, 9), "Ch 3{D}3[");
    EXPECT_EQ(audio[7].substr(0, 12), "Ch 7{D}1kHz[");
    EXPECT_EQ(audio[8].substr(0, 12), "Ch 8{D}silen");
    EXPECT_FALSE(EZ_ISVISIBLE("setup", kSetupNamingHelp));
    EXPECT_TRUE(EZ_ISVISIBLE("setup", kSetupLastPreset));

    Show(kProxyAudioPage);
    EXPECT_EQ(Items().size(), 3u);
    EXPECT_EQ(Items()[0], "Proxy Audio Routing");
}

TEST_F(Pages, UntouchedPagesReadBackToTheSameDocument) {
    const std::string before = s.BuildConfigXml(kChannel);
    for (int32_t page = kInputsPage; page <= kProxyAudioPage; ++page) {
        Show(page);
        ASSERT_TRUE(ReadSetupPage(s, page, kChannel));
        // The encoder name stands before "Generate XML" and "Segment Mode":
        // it must survive an apply of the Encoders page.
        EXPECT_EQ(s.BuildConfigXml(kChannel), before) << "page " << page;
    }
}

TEST_F(Pages, EditsReachTheDocument) {
    const struct {
        int32_t page;
        const char* label;
        int occurrence;
        std::string value;
        std::vector<std::string> inDocument;
    } cases[] = {
        {kInputsPage,
         "Resolution",
         1,
         "720p",
         {"<index>1</index><video_input>sdi2</video_input><resolution>1280x720p</resolution>"}},
        {kInputsPage,
         "Fps",
         0,
         "25",
         {"<index>0</index><video_input>sdi1</video_input><resolution>"
          "1920x1080i</resolution><frame_rate>25</frame_rate>"}},
        {kEncodersPage,
         "Encoder Name",
         0,
         "Cam A",
         {"<index>0</index><input_index></input_index><status>enabled</status><name>Cam A</name>",
          "<index>3</index><input_index></input_index><status>disabled</status><name>Cam "
          "A</name>"}},
        {kEncodersPage,
         "Burn In",
         0,
         "Gps",
         {"<burn_tc>disabled</burn_tc><burn_systime>disabled</burn_systime><burn_gps>enabled"}},
        {kEncodersPage, "write", 0, "Single", {"<write_mode>single</write_mode>"}},
        {kEncodersPage, "Codec", 1, "ProRes", {"<name>Cam1</name><codec>prores</codec>"}},
        {kEncodersPage, "Generate XML", 0, "on", {"<name>Cam1</name>", "<generate_xml_mode>on"}},
        {kProjectsPage,
         "project",
         0,
         "news-am & <co>",
         {"<project_name>news-am &amp; &lt;co&gt;</project_name>"}},
        {kMasterAudioPage,
         "Ch 1",
         0,
         "1kHz",
         {"<audio><routing><routing_element><key>tone_generator</key><value>1000</value>"}},
        {kMasterAudioPage,
         "Ch 8",
         0,
         "4",
         {"<routing_element><key>digital</key><value>3</value></routing_element>\r\n</routing>"}},
    };
    for (const auto& c : cases) {
        s.ParseCapabilities(kChannel, document);
        Show(c.page);
        Edit(c.label, c.occurrence, c.value);
        ASSERT_TRUE(ReadSetupPage(s, c.page, kChannel));
        const std::string sent = s.BuildConfigXml(kChannel);
        for (const std::string& part : c.inDocument) {
            EXPECT_NE(sent.find(part), std::string::npos) << c.label << " = " << c.value << "\n"
                                                          << sent;
        }
    }
}

TEST_F(Pages, FrameRateIsShownByItsNumberAndSentBackUnchanged) {
    const struct {
        const char* rates;  // the recorder's list
        const char* rate;   // its current rate
        const char* shown;
        const char* sent;
    } cases[] = {
        {"2997;25;", "2997", "2997", "29.97"},  // the list in the recorder's own form
        {"23.98;24;25;", "50", "50", "50"},     // not in the list
        {"25;50;", "5", "5", "5"},              // inside another entry's text
        {"25;29.97;", "29.970", "29.97", "29.97"},
    };
    for (const auto& c : cases) {
        std::string list;
        for (std::string_view r = c.rates; !r.empty(); r.remove_prefix(r.find(';') + 1)) {
            const std::string entry(r.substr(0, r.find(';')));
            list += "<frame_rate><type>" + entry + "</type><name>" + entry + "</name></frame_rate>";
        }
        s.ParseCapabilities(kChannel,
                            "<tarvolen><input><index>0</index><supported_frame_rates>" + list +
                                "</supported_frame_rates><frame_rate>" + c.rate +
                                "</frame_rate><video_input>sdi1</video_input></input></tarvolen>");
        Show(kInputsPage);
        ASSERT_GE(Items().size(), 3u);
        EXPECT_EQ(Items()[2], std::string("Fps{D}") + c.shown + "[" + c.rates + "]") << c.rate;
        ASSERT_TRUE(ReadSetupPage(s, kInputsPage, kChannel));
        EXPECT_NE(s.BuildConfigXml(kChannel).find(std::string("<frame_rate>") + c.sent + "<"),
                  std::string::npos)
            << c.rate;
    }
}

TEST_F(Pages, TrackOffEndsTheRouting) {
    Show(kMasterAudioPage);
    Edit("Ch 3", 0, "off");
    ASSERT_TRUE(ReadSetupPage(s, kMasterAudioPage, kChannel));
    const std::string routing = XmlTagText("<routing>", s.BuildConfigXml(kChannel));
    EXPECT_EQ(routing,
              "<routing_element><key>analog</key><value>0</value></routing_element>\r\n"
              "<routing_element><key>analog</key><value>1</value></routing_element>\r\n");
}

TEST_F(Pages, ValueWithABarSurvivesARebuild) {
    Show(kProjectsPage);
    Edit("project", 0, "am|pm");
    ASSERT_TRUE(ReadSetupPage(s, kProjectsPage, kChannel));
    Show(kProjectsPage);  // the page is rebuilt after every apply
    ASSERT_TRUE(ReadSetupPage(s, kProjectsPage, kChannel));
    EXPECT_EQ(s.Project(kChannel), "am|pm");
}

TEST_F(Pages, SectionsFollowWhatTheRecorderHas) {
    ChannelConfig& c = *s.Config(kChannel);
    c.inputs[1].frame_rate = 0;  // no such input
    c.encoders[0].encoder_name = "";
    c.encoders[1].encoder_name = "";
    Show(kInputsPage);
    for (const std::string& item : Items()) EXPECT_NE(item, "Input 2");
    ASSERT_TRUE(ReadSetupPage(s, kInputsPage, kChannel));
    EXPECT_EQ(c.inputs[1].frame_rate, 0);
    Show(kEncodersPage);
    EXPECT_EQ(Items()[0], "ch 3 master");
    EXPECT_EQ(Items()[17], "ch 3 proxy");
    // Without a master section, slot 0's own items read back empty.
    c.encoders[0].codec = "";
    Show(kEncodersPage);
    ASSERT_TRUE(ReadSetupPage(s, kEncodersPage, kChannel));
    EXPECT_EQ(CleanText(c.encoders[1].encoder_name), "");
}

}  // namespace
}  // namespace tarvolen
