// The two status polls and the record-file fetch over a scripted device.
#include "device_fixture.h"

namespace tarvolen::test {
namespace {

class PollingStatus : public DeviceTest {
  protected:
    void Answer(const StatusTable& t) { device->Queue(amp::kStatus, ScriptedDevice::Reply(t)); }
};

TEST_F(PollingStatus, AnUnchangedTableDoesNoWork) {
    Answer(Table({{0, {"Play", "00:00:01;00"}}}));
    Answer(Table({{0, {"Play", "00:00:01;00"}}}));
    EXPECT_EQ(status.PollStatus(0), 1);
    settings.SetState(0, "Touched");
    EXPECT_EQ(status.PollStatus(0), 0);
    // Nothing was written on the second pass.
    EXPECT_EQ(settings.State(0), "Touched");
}

TEST_F(PollingStatus, AFailedRequestChangesNothing) {
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Play", "x"}}}), 1));
    EXPECT_EQ(status.PollStatus(1), 0);
    EXPECT_EQ(settings.State(0), "Off");
    EXPECT_EQ(device->CallsOf(amp::kStatus)[0].integerInput, 1);
}

TEST_F(PollingStatus, WritesOnlyTheChannelsThatChanged) {
    Answer(Table());
    status.PollStatus(0);
    settings.SetState(4, "Touched");
    Answer(Table({{3, {"Play", "00:00:05;10"}}}));
    EXPECT_EQ(status.PollStatus(0), 1);
    EXPECT_EQ(settings.State(3), "Play");
    EXPECT_EQ(settings.Timecode(3), "00:00:05;10");
    EXPECT_EQ(settings.State(4), "Touched");
}

TEST_F(PollingStatus, StateIsCutToTenButMarkersComeFromAllThirteen) {
    Answer(Table({{0, {"Shuttle+1{L}", "01:02:03;04xxxx"}}}));
    status.PollStatus(0);
    EXPECT_EQ(settings.State(0), "Shuttle+1{");
    EXPECT_EQ(settings.Timecode(0), "01:02:03;04");
    EXPECT_EQ(amp.LoopFlag(0), 1);
    EXPECT_EQ(status.LastStatusState(0), "Shuttle+1{L} ");
}

struct MarkerCase {
    const char* state;
    int32_t loop;
    int32_t ping;
};

class Markers : public DeviceTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(Markers, SetLoopAndPingPong) {
    amp.SetLoopFlag(1, 1);
    amp.SetPingPongFlag(1, 1);
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{1, {GetParam().state, "t"}}})));
    status.PollStatus(0);
    EXPECT_EQ(amp.LoopFlag(1), GetParam().loop);
    EXPECT_EQ(amp.PingPongFlag(1), GetParam().ping);
}

INSTANTIATE_TEST_SUITE_P(Table, Markers,
                         ::testing::Values(MarkerCase{"Play{L}", 1, 0}, MarkerCase{"Play{P}", 0, 1},
                                           MarkerCase{"Play{L}{P}", 0, 1},
                                           MarkerCase{"Play{P}{L}", 0, 1},
                                           MarkerCase{"Play", 0, 0}));

TEST_F(PollingStatus, LeavingRecordClearsTheRecordFileNames) {
    settings.SetRecordFileNames(2, "a|b");
    settings.SetRecordFileNames(3, "c|d");
    Answer(Table({{2, {"Record", "1"}}, {3, {"Stop", "1"}}}));
    status.PollStatus(0);
    EXPECT_EQ(settings.RecordFileNames(2), "a|b");
    EXPECT_EQ(settings.RecordFileNames(3), "");
}

// ---- Clip names

class PollingClipNames : public DeviceTest {
  protected:
    void Answer(const ClipNameTable& t) {
        device->Queue(amp::kClipNames, ScriptedDevice::Reply(t));
    }
};

TEST_F(PollingClipNames, StoresNamesAndSkipsAnUnchangedReply) {
    Answer(Names({{0, "Take_01"}, {5, "Take_05"}}));
    Answer(Names({{0, "Take_01"}, {5, "Take_05"}}));
    EXPECT_EQ(status.PollClipNames(), 1);
    EXPECT_EQ(settings.ClipName(0), "Take_01");
    EXPECT_EQ(settings.ClipName(5), "Take_05");
    EXPECT_EQ(status.ClipNameOf(5), "Take_05");
    EXPECT_EQ(status.ClipNameOf(24), "");
    EXPECT_EQ(status.PollClipNames(), 0);
}

TEST_F(PollingClipNames, LastRecordedClipFollowsARecordingEvenWhenNothingChanged) {
    Answer(Names({{1, "Rec_0001"}}));
    status.PollClipNames();
    settings.SetState(1, "Record");
    EXPECT_EQ(settings.LastClip(1), "");
    Answer(Names({{1, "Rec_0001"}}));
    EXPECT_EQ(status.PollClipNames(), 0);
    EXPECT_EQ(settings.LastClip(1), "Rec_0001");
}

TEST_F(PollingClipNames, ChangingTrackLinesRewritesEveryName) {
    Answer(Names({{0, "A"}, {1, "B"}}));
    status.PollClipNames();
    settings.SetClipName(0, "stale");
    settings.SetTrackLines(2);
    Answer(Names({{0, "A"}, {1, "B"}}));
    EXPECT_EQ(status.PollClipNames(), 1);
    EXPECT_EQ(settings.ClipName(0), "A");
}

TEST_F(PollingClipNames, AFailedRequestChangesNothing) {
    device->Queue(amp::kClipNames, ScriptedDevice::Reply(Names({{0, "A"}}), 7));
    EXPECT_EQ(status.PollClipNames(), 0);
    EXPECT_EQ(settings.ClipName(0), "");
}

// ---- Record file fetch

class FetchingFiles : public DeviceTest {};

TEST_F(FetchingFiles, AsksForOneRecordingChannelAtATime) {
    settings.SetState(0, "Stop");
    settings.SetRecordFileNames(0, "old|old");
    settings.SetState(1, "Record");
    settings.SetClipName(1, "");  // no clip yet: skipped
    settings.SetState(2, "Record");
    settings.SetClipName(2, "Rec2");
    settings.SetState(3, "Record");
    settings.SetClipName(3, "Rec3");
    device->SetHandler(amp::kRecordFileList, [](const ScriptedDevice::Call&, void* out) {
        auto reply = TextReply(
            "<RecFileList><EncoderA><Primary><File>f.mxf</File></Primary>"
            "</EncoderA></RecFileList>");
        std::memcpy(out, reply.output.data(), reply.output.size());
        return 0;
    });
    status.FetchRecordFileNames();
    EXPECT_EQ(settings.RecordFileNames(0), "");
    EXPECT_EQ(settings.RecordFileNames(2), "f.mxf|");
    EXPECT_EQ(settings.RecordFileNames(3), "");
    status.FetchRecordFileNames();
    EXPECT_EQ(settings.RecordFileNames(3), "f.mxf|");
    EXPECT_EQ(device->CallsOf(amp::kRecordFileList).size(), 2u);
    status.FetchRecordFileNames();
    EXPECT_EQ(device->CallsOf(amp::kRecordFileList).size(), 2u);
}

TEST_F(FetchingFiles, TheRowGetsTheFilesOfTheClipBeingRecorded) {
    // The recorder escapes its texts, a byte from 127 up as a numeric reference.
    device->SetHandler(amp::kRecordFileList, [](const ScriptedDevice::Call& call, void* out) {
        std::string clip = TextOf(call);
        clip = clip.substr(clip.find("<ClipName>") + 10);
        clip.resize(clip.find("</ClipName>"));
        if (clip == "Caf\xE9") clip = "Caf&#233;";
        auto reply = TextReply("<RecFileList><EncoderA><Primary><File>/" + clip + "_avmxf_v1.mxf" +
                               "</File></Primary></EncoderA></RecFileList>");
        std::memcpy(out, reply.output.data(), reply.output.size());
        return 0;
    });
    device->Queue(amp::kClipNames, ScriptedDevice::Reply(Names({{0, "Before"}})));
    status.PollClipNames();
    // Recording, but the new clip's name has not come yet.
    settings.SetState(0, "Record");
    status.FetchRecordFileNames();
    EXPECT_EQ(settings.RecordFileNames(0), "/Before_avmxf|");
    device->Queue(amp::kClipNames, ScriptedDevice::Reply(Names({{0, "Caf\xE9"}})));
    status.PollClipNames();
    status.FetchRecordFileNames();
    EXPECT_EQ(settings.RecordFileNames(0), "/Caf\xE9_avmxf|");
}

}  // namespace
}  // namespace tarvolen::test
