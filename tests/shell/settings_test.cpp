#include "shell/settings.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "shell/ini.h"
#include "temp_dir.h"

namespace tarvolen {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class SettingsTest : public ::testing::Test {
  protected:
    std::string Program() const { return dir_.File("TarVolen"); }
    std::string IniPath() const { return dir_.File("tarvolen.ini"); }
    TempDir dir_;
};

TEST_F(SettingsTest, NoFileGivesDefaults) {
    cSettings s(Program());
    EXPECT_EQ(s.SettingsPath(), IniPath());
    EXPECT_EQ(s.ChannelBound(), 23);
    EXPECT_EQ(s.TrackLines(), 3);
    EXPECT_EQ(s.ManualClipNaming(), 0);
    EXPECT_EQ(s.FrameRateCode(), 29);
    for (int32_t i = 0; i < kChannelCount; ++i) {
        char name[8], ip[16];
        std::snprintf(name, sizeof name, "CH %02d", i + 1);
        std::snprintf(ip, sizeof ip, "127.0.0.1%02d", i + 1);
        EXPECT_EQ(s.ChannelName(i), name);
        EXPECT_EQ(s.Address(i), ip);
        EXPECT_EQ(s.Shown(i), 1);
        EXPECT_EQ(s.Checked(i), 1);
        EXPECT_EQ(s.InternalChannel(i), 1);
        EXPECT_EQ(s.State(i), "Off");
        EXPECT_EQ(s.Timecode(i), "");
        EXPECT_EQ(s.Volumes(i), "");
        EXPECT_EQ(s.Project(i), "");
    }
}

TEST_F(SettingsTest, HiddenChannelLoadsUnchecked) {
    WriteFile(IniPath(), "[Show]\n4=0\n5=1\n[Checked]\n4=1\n5=0\n");
    cSettings s(Program());
    EXPECT_EQ(s.Shown(4), 0);
    EXPECT_EQ(s.Checked(4), 0);
    EXPECT_EQ(s.Shown(5), 1);
    EXPECT_EQ(s.Checked(5), 0);
}

TEST_F(SettingsTest, SelectAllChecksHiddenAndReloadUnchecksThem) {
    WriteFile(IniPath(), "[Show]\n2=0\n");
    int redraws = 0;
    {
        cSettings s(Program());
        s.SetRedrawHook([&] { ++redraws; });
        s.SelectAllChannels();
        EXPECT_EQ(s.Checked(2), 1);
        EXPECT_EQ(redraws, 1);
        s.DeselectAllChannels();
        for (int32_t i = 0; i < kChannelCount; ++i) EXPECT_EQ(s.Checked(i), 0);
        EXPECT_EQ(redraws, 2);
        s.SelectAllChannels();
    }  // released: saved with channel 2 checked and hidden
    EXPECT_EQ(GetProfileString(IniPath(), "Checked", "2", ""), "1");
    cSettings again(Program());
    EXPECT_EQ(again.Checked(2), 0);
    EXPECT_EQ(again.Checked(3), 1);
}

TEST_F(SettingsTest, StoredValuesAreTrimmedAndFieldsCut) {
    WriteFile(IniPath(),
              "[ChanNames]\n0=   Camera A   \n[IP]\n0=  10.1.2.3  \n1=192.168.100.200.99\n"
              "[IntChanNum]\n0= 3 \n1=x\n[Projects]\n0=\t P \t\n[Settings]\nTrackLines= 2 \n");
    cSettings s(Program());
    EXPECT_EQ(s.ChannelName(0), "Camera A");
    EXPECT_EQ(s.Address(0), "10.1.2.3");
    EXPECT_EQ(s.Address(1), "192.168.100.200");  // cut to 15
    EXPECT_EQ(s.InternalChannel(0), 3);
    EXPECT_EQ(s.InternalChannel(1), 0);  // not a number
    EXPECT_EQ(s.Project(0), "P");
    EXPECT_EQ(s.TrackLines(), 2);
}

TEST_F(SettingsTest, ManualClipNamingIsNeverRead) {
    WriteFile(IniPath(), "[Settings]\nManual Clip Naming=1\n");
    cSettings s(Program());
    EXPECT_EQ(s.ManualClipNaming(), 0);
    s.SetManualClipNaming(1);
    ASSERT_TRUE(s.SaveSettings());
    EXPECT_EQ(GetProfileString(IniPath(), "Settings", "Manual Clip Naming", ""), "1");
}

TEST_F(SettingsTest, SavedFileHoldsEveryKeyInOrder) {
    {
        cSettings s(Program());
        s.SetVolumes(0, "  V1 V2  ");
        ASSERT_TRUE(s.SaveSettings());
    }
    const char* sections[] = {"ChanNames", "Show",   "IP",       "IntChanNum",
                              "Checked",   "Vols",   "Projects", "BaseName",
                              "ProxyName", "TapeID", "SceneName"};
    std::string expected;
    for (const char* section : sections) {
        expected += std::string("[") + section + "]\n";
        for (int i = 0; i < kChannelCount; ++i) {
            char name[8], ip[16];
            std::snprintf(name, sizeof name, "CH %02d", i + 1);
            std::snprintf(ip, sizeof ip, "127.0.0.1%02d    ", i + 1);
            std::string value;
            std::string s = section;
            if (s == "ChanNames") value = name;
            if (s == "Show" || s == "IntChanNum" || s == "Checked") value = "1";
            if (s == "IP") value = ip;  // the 15-character field as held
            if (s == "Vols" && i == 0) value = "V1 V2";
            expected += std::to_string(i) + "=" + value + "\n";
        }
    }
    expected += "[Settings]\nTrackLines=3\nManual Clip Naming=0\n";
    EXPECT_EQ(ReadFile(IniPath()), expected);
}

TEST_F(SettingsTest, ChannelProtocolAndPort) {
    // Absent, mistyped or out of range reads as our own protocol on its own port.
    WriteFile(IniPath(),
              "[Protocol]\n3=hyperdeck\n4=HyperDek\n5=HyperDeck\n[Port]\n3=9000\n5=70000\n");
    {
        cSettings s(Program());
        EXPECT_EQ(s.Protocol(0), kProtocolOurs);
        EXPECT_EQ(s.Protocol(3), kProtocolDeck);
        EXPECT_EQ(s.Protocol(4), kProtocolOurs);
        EXPECT_EQ(s.Protocol(5), kProtocolDeck);
        EXPECT_EQ(s.Port(3), 9000);
        EXPECT_EQ(s.Port(5), 0);
        s.SetProtocol(3, kProtocolOurs);  // switched back: must not read as a deck again
        s.SetPort(3, 0);
        s.SetProtocol(7, kProtocolDeck);
        s.SetPort(7, 9994);
        ASSERT_TRUE(s.SaveSettings());
    }
    cSettings s(Program());
    EXPECT_EQ(s.Protocol(3), kProtocolOurs);
    EXPECT_EQ(s.Port(3), 0);
    EXPECT_EQ(s.Protocol(7), kProtocolDeck);
    EXPECT_EQ(s.Port(7), 9994);
    EXPECT_EQ(GetProfileString(IniPath(), "Protocol", "7", ""), "HyperDeck");
    EXPECT_EQ(GetProfileString(IniPath(), "Protocol", "0", "none"), "none");
}

TEST_F(SettingsTest, KeysItDoesNotOwnSurviveSave) {
    WriteFile(IniPath(),
              "; operator notes\n[Recorder]\nPort=9000\n[ChanNames]\n0=Mine\nextra=keep\n"
              "[Settings]\nTheme=dark\n");
    {
        cSettings s(Program());
        s.SetChannelName(0, "Renamed");
        ASSERT_TRUE(s.SaveSettings());
    }
    std::string text = ReadFile(IniPath());
    EXPECT_EQ(text.rfind("; operator notes\n[Recorder]\nPort=9000\n[ChanNames]\n0=Renamed\n", 0),
              0u);
    EXPECT_EQ(GetProfileString(IniPath(), "ChanNames", "extra", ""), "keep");
    EXPECT_EQ(GetProfileString(IniPath(), "Settings", "Theme", ""), "dark");
    EXPECT_EQ(GetProfileString(IniPath(), "ChanNames", "23", ""), "CH 24");
}

TEST_F(SettingsTest, RoundTripOfEveryStoredField) {
    {
        cSettings s(Program());
        s.SetChannelName(7, "Studio 7");
        s.SetShown(7, 1);
        s.SetChecked(7, 0);
        s.SetAddress(7, "10.20.30.40");
        s.SetInternalChannel(7, 4);
        s.SetVolumes(7, "D:|E:");
        s.SetProject(7, "Proj");
        s.SetBaseName(7, "Base");
        s.SetProxyName(7, "Proxy");
        s.SetTapeId(7, "T1");
        s.SetSceneName(7, "Scene");
        s.SetTrackLines(2);
        s.SetState(7, "Record");  // not stored
    }
    cSettings s(Program());
    EXPECT_EQ(s.ChannelName(7), "Studio 7");
    EXPECT_EQ(s.Checked(7), 0);
    EXPECT_EQ(s.Address(7), "10.20.30.40");
    EXPECT_EQ(s.InternalChannel(7), 4);
    EXPECT_EQ(s.Volumes(7), "D:|E:");
    EXPECT_EQ(s.Project(7), "Proj");
    EXPECT_EQ(s.BaseName(7), "Base");
    EXPECT_EQ(s.ProxyName(7), "Proxy");
    EXPECT_EQ(s.TapeId(7), "T1");
    EXPECT_EQ(s.SceneName(7), "Scene");
    EXPECT_EQ(s.TrackLines(), 2);
    EXPECT_EQ(s.State(7), "Off");
}

TEST_F(SettingsTest, FixedFieldsAreCutToWidth) {
    cSettings s(Program());
    s.SetState(0, "Record{L}{P}");
    s.SetTimecode(0, "01:02:03;04xyz");
    s.SetClipStart(0, "00:00:01:00");
    s.SetVolumes(0, std::string(5000, 'v'));
    EXPECT_EQ(s.State(0), "Record{L}{");
    EXPECT_EQ(s.Timecode(0), "01:02:03;04");
    EXPECT_EQ(s.ClipStart(0), "00:00:01:00");
    EXPECT_EQ(s.Volumes(0).size(), kVolumesWidth);
    cSettings::ChannelStatus status = s.Status(0);
    EXPECT_EQ(status.state, "Record{L}{");
    EXPECT_EQ(status.timecode, "01:02:03;04");
}

TEST_F(SettingsTest, IndexOutsideTableIsHarmless) {
    cSettings s(Program());
    s.SetChecked(24, 1);
    s.SetChannelName(-1, "x");
    s.SetState(100, "Record");
    EXPECT_EQ(s.Checked(24), 0);
    EXPECT_EQ(s.ChannelName(-1), "");
    EXPECT_EQ(s.State(100), "");
}

TEST_F(SettingsTest, JunkFileStillLoads) {
    using namespace std::string_literals;
    std::string junk(3000, '\xFF');
    junk += "\n[IP]\n0=\0\0\n[Show\n=\n[[]]\n"s;
    WriteFile(IniPath(), junk);
    cSettings s(Program());
    EXPECT_EQ(s.Address(0), "");
    EXPECT_EQ(s.ChannelName(0), "CH 01");
}

TEST_F(SettingsTest, AFileThatIsNotSettingsIsKeptAsideAndReportedOnce) {
    using namespace std::string_literals;
    const std::string garbage = "\x01\x7F\xFEPK\x03\x04 not=ours\n\0\0"s;
    WriteFile(IniPath(), garbage);
    WriteFile(IniPath() + ".bad", "an earlier one");
    cSettings s(Program());
    EXPECT_EQ(s.ChannelName(0), "CH 01");
    const std::string notice = s.TakeLoadNotice();
    EXPECT_NE(notice.find(IniPath()), std::string::npos) << notice;
    EXPECT_NE(notice.find(IniPath() + ".bad.2"), std::string::npos) << notice;
    EXPECT_EQ(s.TakeLoadNotice(), "") << "said once";
    EXPECT_EQ(ReadFile(IniPath() + ".bad.2"), garbage);
    EXPECT_EQ(ReadFile(IniPath() + ".bad"), "an earlier one");
    ASSERT_TRUE(s.SaveSettings());
    EXPECT_EQ(ReadFile(IniPath() + ".bad.2"), garbage);

    // A file of ours, or an empty new one, is no news.
    for (const char* text : {"", "\n\n", "[Settings]\nTrackLines=2\n"}) {
        WriteFile(IniPath(), text);
        cSettings again(Program());
        EXPECT_EQ(again.TakeLoadNotice(), "") << text;
    }
}

TEST_F(SettingsTest, StatusFieldsAcrossThreads) {
    cSettings s(Program());
    std::thread poller([&] {
        for (int pass = 0; pass < 200; ++pass) {
            for (int32_t ch = 0; ch < kChannelCount; ++ch) {
                s.SetState(ch, pass % 2 ? "Record" : "Stop");
                s.SetTimecode(ch, "00:00:00;0" + std::to_string(pass % 10));
                s.SetClipName(ch, "clip" + std::to_string(pass));
            }
        }
    });
    for (int pass = 0; pass < 200; ++pass) {
        for (int32_t ch = 0; ch < kChannelCount; ++ch) {
            std::string state = s.Status(ch).state;
            EXPECT_TRUE(state == "Off" || state == "Record" || state == "Stop") << state;
            s.ClipName(ch);
            s.SetChecked(ch, pass % 2);
        }
    }
    poller.join();
    EXPECT_EQ(s.ClipName(0), "clip199");
}

struct PathCase {
    const char* program;
    const char* settings;
};

std::ostream& operator<<(std::ostream& os, const PathCase& c) {
    return os << c.program;
}

class SettingsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathTest, FollowsProgramPath) {
    EXPECT_EQ(cSettings::SettingsPathFor(GetParam().program), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPathTest,
    ::testing::Values(PathCase{"/opt/TarVolen/bin/tarvolen", "/opt/TarVolen/bin/tarvolen.ini"},
                      PathCase{"/opt/Tools/Mcc.EXE", "/opt/Tools/mcc.ini"},
                      PathCase{"/home/u/App.exe.d/TarVolen", "/home/u/App.exe.d/tarvolen.ini"},
                      PathCase{"/x/a.exe.EXE", "/x/a.ini.ini"},
                      PathCase{"/x/my.exebuild", "/x/my.inibuild"},
                      PathCase{"/x/tarvolen.ini", "/x/tarvolen.ini.ini"},
                      PathCase{"tarvolen", "tarvolen.ini"}, PathCase{"", ".ini"}));

TEST(SettingsPath, NeverTheProgramItself) {
    for (const char* p : {"/a/tarvolen", "/a/t.exe", "/a/T.EXE", "/a/x.ini"}) {
        EXPECT_NE(cSettings::SettingsPathFor(p), p);
    }
}

TEST(SettingsPath, ProductionUsesOwnExecutable) {
    std::string program = cSettings::ProgramPath();
    ASSERT_FALSE(program.empty());
    EXPECT_NE(program.find("shell_tests"), std::string::npos);
}

struct BuildCase {
    const char* date;
    const char* build;
};

std::ostream& operator<<(std::ostream& os, const BuildCase& c) {
    return os << c.date;
}

class BuildStringTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildStringTest, FromMonthDayYear) {
    EXPECT_EQ(BuildStringFromDate(GetParam().date), GetParam().build);
}

INSTANTIATE_TEST_SUITE_P(Cases, BuildStringTest,
                         ::testing::Values(BuildCase{"3/5/2021", "21.03.05.1"},
                                           BuildCase{"03/05/2021", "21.03.05.1"},
                                           BuildCase{"12/31/1999", "99.12.31.1"},
                                           BuildCase{"1/1/2000", "00.01.01.1"},
                                           BuildCase{"garbage", "00.00.00.1"}));

TEST(BuildString, ThisBuildHasTheForm) {
    TempDir dir;
    cSettings s(dir.File("tarvolen"));
    const std::string& b = s.BuildString();
    ASSERT_EQ(b.size(), 10u);
    EXPECT_EQ(b.substr(8), ".1");
    EXPECT_EQ(b[2], '.');
    EXPECT_EQ(b[5], '.');
    EXPECT_EQ(BuildStringFromDate(BuildDate()), b);
}

}  // namespace
}  // namespace tarvolen
