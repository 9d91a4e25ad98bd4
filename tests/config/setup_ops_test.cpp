// The operations the Setup window drives, against a scripted command layer:
// what is fetched, what is sent to which channel, and when the page is
// rebuilt.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/pages.h"
#include "config/xml_text.h"
#include "device/amp_control.h"
#include "recorder/config_doc.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/text.h"
#include "shell/toolkit.h"
#include "tests/config/setup_form.h"

namespace tarvolen {
namespace {

constexpr int32_t kShown = 2;

// A command layer whose recorders are the emulator's configuration model:
// documents sent are applied as a recorder would, or refused.
class ScriptedAmp : public cAmpcontrol {
  public:
    explicit ScriptedAmp(cSettings& s) : cAmpcontrol(s) {
        for (int ch = 0; ch < 24; ++ch) {
            recorders[ch] = recorder::DefaultConfig(3, recorder::Rate::k2997DropFrame);
        }
    }
    std::string ConfigurationDocument(int32_t ch) override {
        ++reads;
        return broken.count(ch) ? broken[ch] : recorder::BuildConfigDocument(recorders[ch]);
    }
    void SendConfiguration(int32_t ch, const std::string& document) override {
        sent.emplace_back(ch, document);
        std::string why;
        EXPECT_TRUE(recorder::ApplyConfigDocument(recorders[ch], document, why)) << why;
    }
    int32_t SetChannelAddress(int32_t ch, const std::string&, int32_t) override {
        addressed.push_back(ch);
        return 0;
    }
    void PauseStatusThread() override {}

    std::map<int32_t, recorder::ChannelConfig> recorders;
    std::map<int32_t, std::string> broken;
    std::vector<std::pair<int32_t, std::string>> sent;
    std::vector<int32_t> addressed;
    int reads = 0;
};

std::string PageValue(const std::string& label) {
    for (const std::string& item : setupform::PageItems()) {
        std::string l, v, choices, kind;
        EZ_GETPLINFO(item, l, v, choices, kind);
        if (l == label) return v;
    }
    return "<none>";
}

class SetupOps : public ::testing::Test {
  protected:
    void SetUp() override {
        setupform::OpenSetupForm(kShown);
        for (int ch = 0; ch < 24; ++ch) s.SetState(ch, "Stop");
        g_Ampcontrol = &amp;
        qt::SetMessageBoxAnswerer([this](const std::string&, const std::string& text,
                                         const std::string& caption, const std::string& buttons) {
            questions.push_back(text + "/" + caption + "/" + buttons);
            return answer;
        });
    }
    void TearDown() override {
        g_Ampcontrol = nullptr;
        qt::SetMessageBoxAnswerer({});
        qt::UnloadAll();
        EZ_DOEVENTS(255);
    }
    void ShowTab(int32_t page) {
        EZ_SETTABSEL("SETUP", kSetupTabs, page);
        s.RefreshPage(-1);
    }
    void Check(int32_t row, bool on) {
        EZ_LVSETITEMSTATE("SETUP", kSetupChannelGrid, row, EZ_STATEIMAGE(on ? 2 : 1),
                          EZ_LVIS_STATEIMAGEMASK);
    }

    cSettings s{std::string()};
    ScriptedAmp amp{s};
    std::vector<std::string> questions;
    int32_t answer = 1;
};

TEST_F(SetupOps, ApplyToCheckedSendsOnlyWhereItMay) {
    ShowTab(kProjectsPage);
    const struct {
        int32_t ch;
        bool checked;
        const char* state;
        bool sent;
    } rows[] = {
        {0, true, "Stop", true},    {1, false, "Stop", false}, {kShown, true, "Stop", false},
        {3, true, "", false},       {4, true, "Off", false},   {5, true, "Record", false},
        {6, true, "Play{L}", true}, {7, true, "Los", true},    {8, false, "Record", false},
        {9, true, "Stop", false},  // a deck: our configuration is none of its
    };
    for (int32_t row = 0; row < 24; ++row) Check(row, false);
    for (const auto& r : rows) {
        Check(r.ch, r.checked);
        s.SetState(r.ch, r.state);
    }
    s.SetProtocol(9, kProtocolDeck);

    answer = 2;  // "&No"
    s.ApplyToChecked(1);
    EXPECT_TRUE(amp.sent.empty());
    s.ApplyToChecked(0);  // never asks, never sends
    EXPECT_TRUE(amp.sent.empty());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "|Apply to All Checked Channels?/tarvolen/&Yes|&No");

    answer = 1;
    s.ApplyToChecked(1);
    std::vector<int32_t> to;
    for (const auto& [ch, document] : amp.sent) {
        to.push_back(ch);
        EXPECT_EQ(document.find("<tape_id>"), std::string::npos);
        EXPECT_NE(document.find("<project_name>Demo</project_name>"), std::string::npos);
    }
    std::vector<int32_t> expected;
    for (const auto& r : rows) {
        if (r.sent) expected.push_back(r.ch);
    }
    EXPECT_EQ(to, expected);
}

TEST_F(SetupOps, ChangeWatchRebuildsOnlyWhenTheRecorderChanged) {
    ShowTab(kProjectsPage);
    s.PollConfiguration(1);  // primes without rebuilding
    const int reads = amp.reads;
    EXPECT_EQ(PageValue("project"), "Demo");

    amp.recorders[kShown].project["project_name"] = "Changed";  // by another client
    s.PollConfiguration(0);
    EXPECT_EQ(PageValue("project"), "Changed");
    EXPECT_EQ(amp.reads, reads + 2);  // the poll, then the refresh

    s.PollConfiguration(0);  // nothing new: no refresh
    EXPECT_EQ(amp.reads, reads + 3);

    // Another channel is always shown once.
    EZ_SETLVSEL("SETUP", kSetupChannelGrid, 5);
    s.PollConfiguration(0);
    EXPECT_EQ(amp.reads, reads + 5);
    EXPECT_EQ(PageValue("project"), "Demo");

    // A channel that is off is not asked.
    s.SetState(5, "Off");
    s.PollConfiguration(0);
    EXPECT_EQ(amp.reads, reads + 5);
}

TEST_F(SetupOps, RefreshClearsThePageForADocumentWithoutItsRoot) {
    ShowTab(kInputsPage);
    EXPECT_GT(EZ_FINDLAST("setup", kSetupPropertyList), 0);
    amp.broken[kShown] = "<tarvolen><input>";
    s.RefreshPage(kShown);
    EXPECT_EQ(EZ_FINDLAST("setup", kSetupPropertyList), -1);

    s.SetState(kShown, "Off");
    s.RefreshPage(kShown);
    EXPECT_EQ(amp.addressed, std::vector<int32_t>{kShown});

    s.SetFillFlag(1);
    const int reads = amp.reads;
    s.RefreshPage(kShown);
    EXPECT_EQ(amp.reads, reads);
}

TEST_F(SetupOps, ApplySendsTheShownChannelsWholeConfiguration) {
    ShowTab(kEncodersPage);
    s.SetSegmentDuration("00:01:00;02");
    setupform::EditItem("Encoder Name", 0, "Cam A");
    s.ApplyPage("", 0);
    ASSERT_EQ(amp.sent.size(), 1u);
    EXPECT_EQ(amp.sent[0].first, kShown);
    const std::string& d = amp.sent[0].second;
    EXPECT_EQ(d.rfind("<tarvolen>\r\n<input><index>0</index>", 0), 0u) << d;
    size_t names = 0, durations = 0;
    for (size_t p = 0; (p = d.find("<name>Cam A</name>", p)) != std::string::npos; ++p) ++names;
    for (size_t p = 0; (p = d.find("<segment_duration>1800<", p)) != std::string::npos; ++p) {
        ++durations;
    }
    EXPECT_EQ(names, 4u);
    EXPECT_EQ(durations, 4u);
}

TEST_F(SetupOps, ADocumentTheRecordCannotCarryIsRefusedWithAMessage) {
    ShowTab(kProjectsPage);
    // Each "&" goes out as "&amp;": a text that fits its field still makes a
    // document longer than the device library's text record.
    const std::string typed(14000, '&');
    setupform::EditItem("project", 0, typed);
    s.ApplyPage("", 0);
    EXPECT_TRUE(amp.sent.empty());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].rfind("|The configuration is too long to send: ", 0), 0u)
        << questions[0];
    EXPECT_NE(questions[0].find("at most 65519.|Nothing was sent"), std::string::npos);
    EXPECT_EQ(PageValue("project"), typed);  // still there, to be shortened

    for (int32_t row = 0; row < 24; ++row) Check(row, true);
    s.ApplyToChecked(1);
    EXPECT_TRUE(amp.sent.empty());
    ASSERT_EQ(questions.size(), 2u);  // the refusal, not the question
    EXPECT_EQ(questions[1].find("Apply to All"), std::string::npos);
}

TEST_F(SetupOps, TrackButtonsSendTheNewRouting) {
    const auto elements = [&] {
        const std::string& d = amp.sent.back().second;
        const std::string routing = XmlTagText("<routing>", d);
        size_t n = 0;
        for (size_t p = 0; (p = routing.find("<routing_element>", p)) != std::string::npos; ++p)
            ++n;
        return n;
    };
    ShowTab(kMasterAudioPage);
    EXPECT_EQ(s.AudioPageIndex(), 0);
    s.SetTrackCount(4);
    EXPECT_EQ(elements(), 4u);
    s.AddTrack();
    EXPECT_EQ(elements(), 5u);
    s.RemoveTrack();
    s.RemoveTrack();
    EXPECT_EQ(elements(), 3u);
    ShowTab(kInputsPage);  // not an audio page: the buttons do nothing
    const size_t sent = amp.sent.size();
    s.AddTrack();
    s.SetTrackCount(2);
    EXPECT_EQ(amp.sent.size(), sent);
}

}  // namespace
}  // namespace tarvolen
