// The command layer over a scripted device: what each command sends, to
// which channels, and the documents byte for byte.
#include "device_fixture.h"

namespace tarvolen::test {
namespace {

using Call = ScriptedDevice::Call;

class Connecting : public DeviceTest {};

TEST_F(Connecting, AsksFirstAndStopsOnAnyAnswerButYes) {
    for (int32_t given : {2, 0}) {
        answer = given;
        boxes.clear();
        amp.Connect(1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], "|Connect to tarvolens?#tarvolen#&Yes|&No||");
        EXPECT_TRUE(device->Calls().empty());
        EXPECT_EQ(amp.IsConnected(), 0);
    }
    answer = 1;
    amp.Connect(1);
    EXPECT_EQ(amp.IsConnected(), 1);
}

TEST_F(Connecting, RunsTheWholeSequenceInOrder) {
    device->Queue(amp::kVolumes, TextReply("<Volumes>-12;-6</Volumes>"));
    amp.Connect(0);
    std::vector<int32_t> codes = CodesSent();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], amp::kDisconnect);
    EXPECT_EQ(codes[1], amp::kConnect);
    // Every default channel is shown and has an address: one volume fetch each.
    EXPECT_EQ(std::count(codes.begin(), codes.end(), amp::kVolumes), kChannelCount);
    EXPECT_EQ(codes.size(), 2u + kChannelCount);
    EXPECT_EQ(clips.calls, (std::vector<std::string>{"disconnect", "connect"}));
    EXPECT_EQ(settings.Volumes(0), "-12;-6");
    EXPECT_EQ(settings.Volumes(1), "");  // an empty reply carries no element

    const ConnectTable sent = ScriptedDevice::As<ConnectTable>(device->CallsOf(amp::kConnect)[0]);
    EXPECT_EQ(sent.size, 1108);
    EXPECT_EQ(sent.shown[0], 1);
    EXPECT_EQ(sent.internalChannel[0], 1);
    EXPECT_EQ(std::string(sent.address[0], kAddressWidth), "127.0.0.101    ");
    EXPECT_EQ(std::string(sent.address[23], kAddressWidth), "127.0.0.124    ");
    EXPECT_EQ(sent.shown[24], 0);
    EXPECT_EQ(amp.ConnectedAddress(23), "127.0.0.124");
    EXPECT_EQ(amp.ConnectedAddress(24), "");
    EXPECT_EQ(amp.ConnectedAddress(-1), "");
}

TEST_F(Connecting, NoAddressIsNoRecorderAndABadChannelKeepsThePreviousValues) {
    amp.Connect(0);
    settings.SetAddress(2, "");
    settings.SetInternalChannel(3, 5);
    settings.SetAddress(3, "10.0.0.3");
    settings.SetInternalChannel(4, 2);
    settings.SetAddress(4, "10.0.0.4");
    settings.SetShown(5, 0);
    settings.SetAddress(6, " 0.0.0.0");
    device->ClearCalls();
    amp.Connect(0);
    const ConnectTable sent = ScriptedDevice::As<ConnectTable>(device->CallsOf(amp::kConnect)[0]);
    EXPECT_EQ(sent.shown[2], 0) << "no address: no recorder to dial";
    EXPECT_EQ(sent.shown[6], 0) << "0.0.0.0 would dial this machine";
    EXPECT_EQ(std::string(sent.address[3], kAddressWidth), "127.0.0.104    ");
    EXPECT_EQ(sent.internalChannel[3], 1);
    EXPECT_EQ(std::string(sent.address[4], kAddressWidth), "10.0.0.4       ");
    EXPECT_EQ(sent.internalChannel[4], 2);
    EXPECT_EQ(sent.shown[5], 0);
    // Hidden: no volume fetch.
    const std::vector<int32_t> fetched = ChannelsOf(amp::kVolumes);
    EXPECT_EQ(std::count(fetched.begin(), fetched.end(), 5), 0);
}

TEST_F(Connecting, LaunchesTheStatusThreadOnceAndDisconnectEndsIt) {
    amp.SetSyncThread(&sync);
    amp.SetClock(&DeviceClock::Real());
    sync.SetSuspendSync(1);  // keep the thread idle
    amp.Connect(0);
    EXPECT_TRUE(sync.Launched());
    EXPECT_TRUE(amp.ThreadLaunched());
    amp.Disconnect();
    EXPECT_EQ(sync.ThreadDead(), 1);
    EXPECT_EQ(amp.IsConnected(), 0);
    EXPECT_EQ(CodesSent().back(), amp::kDisconnect);
    EXPECT_EQ(clips.calls.back(), "disconnect");
    // A later connect does not start polling again.
    amp.Connect(0);
    EXPECT_EQ(sync.ThreadDead(), 1);
}

TEST_F(Connecting, DisconnectWhenNotConnectedDoesNothing) {
    amp.Disconnect();
    EXPECT_TRUE(device->Calls().empty());
    EXPECT_TRUE(clips.calls.empty());
}

// ---- Group commands

struct GroupCase {
    const char* name;
    void (cAmpcontrol::*op)();
    int32_t step_mode;
    int32_t code;
    bool with_value;
    int32_t value;
};

class GroupCommands : public DeviceTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupCommands, SendOnlyToCheckedUsableChannelsNotRecording) {
    const GroupCase& c = GetParam();
    ConnectQuietly();
    OnlyChecked({{0, "Stop"}, {2, "Record"}, {3, "Los"}, {5, "Play{L}"}, {6, "Off"}});
    settings.SetState(1, "Stop");  // unchecked
    g_StepMode = c.step_mode;
    (amp.*c.op)();
    g_StepMode = 0;
    std::vector<int32_t> channels;
    for (const Call& call : device->Calls()) {
        ASSERT_EQ(call.code, c.code);
        if (c.with_value) {
            auto r = ScriptedDevice::As<ChannelValueRequest>(call);
            EXPECT_EQ(r.size, 12);
            EXPECT_EQ(r.value, c.value);
            channels.push_back(r.channel);
        } else {
            auto r = ScriptedDevice::As<ChannelRequest>(call);
            EXPECT_EQ(r.size, 8);
            channels.push_back(r.channel);
        }
    }
    EXPECT_EQ(channels, (std::vector<int32_t>{0, 5, 6}));
}

TEST_P(GroupCommands, SendNothingWhenNotConnected) {
    const GroupCase& c = GetParam();
    OnlyChecked({{0, "Stop"}});
    (amp.*c.op)();
    EXPECT_TRUE(device->Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, GroupCommands,
    ::testing::Values(
        GroupCase{"Play", &cAmpcontrol::PlayAll, 0, amp::kPlay, false, 0},
        GroupCase{"Rewind", &cAmpcontrol::RewindAll, 0, amp::kWind, true, -1},
        GroupCase{"FastForward", &cAmpcontrol::FastForwardAll, 0, amp::kWind, true, 1},
        GroupCase{"StepBack", &cAmpcontrol::RewindAll, 1, amp::kStep, true, -1},
        GroupCase{"StepForward", &cAmpcontrol::FastForwardAll, 1, amp::kStep, true, 1},
        GroupCase{"PlayReverse", &cAmpcontrol::PlayReverseAll, 0, amp::kPlaySpeed, true, -100},
        GroupCase{"Eject", &cAmpcontrol::EjectAll, 0, amp::kEject, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A library that takes batches: it sees each group command as one batch of
// the calls the walk would make, in channel order, and the results are
// applied per channel as the walk would.
class BatchingDevice : public ScriptedDevice {
  public:
    BatchingDevice() : ScriptedDevice({amp::kStatus, amp::kClipNames}) {}
    void Commands(std::span<DeviceCall> calls) override {
        batches.push_back(calls.size());
        ScriptedDevice::Commands(calls);
    }
    std::vector<size_t> batches;
};

struct BatchCase {
    const char* name;
    void (cAmpcontrol::*op)();
    int32_t code;
};

class Batches : public DeviceTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(Batches, GroupCommandsReachABatchingLibraryAsOneBatch) {
    auto batching = std::make_shared<BatchingDevice>();
    device = batching;
    InstallAmpLibrary(device);
    ConnectQuietly();
    batching->batches.clear();
    const BatchCase& c = GetParam();
    const bool stopping = c.code == amp::kStop;
    const char* state = stopping ? "Play" : "Stop";
    OnlyChecked({{0, state}, {3, state}, {5, state}, {7, "Los"}});
    // The recorder of channel 3 refuses.
    device->SetHandler(c.code, [](const Call& call, void*) {
        const bool text = call.code == amp::kRecord;
        int32_t ch = text ? LeadingNumber(TextOf(call).substr(TextOf(call).find("<Chan>") + 6))
                          : ScriptedDevice::As<ChannelRequest>(call).channel;
        return ch == 3 ? 4 : 0;
    });
    (amp.*c.op)();
    std::vector<int32_t> channels;
    for (const Call& call : device->CallsOf(c.code)) {
        if (call.code == amp::kRecord) {
            std::string text = TextOf(call);
            channels.push_back(LeadingNumber(text.substr(text.find("<Chan>") + 6)));
        } else {
            channels.push_back(ScriptedDevice::As<ChannelRequest>(call).channel);
        }
    }
    EXPECT_EQ(channels, (std::vector<int32_t>{0, 3, 5}));
    EXPECT_EQ(batching->batches, (std::vector<size_t>{3}));
    if (c.code == amp::kRecord) {
        EXPECT_EQ(settings.State(0), "Record");
        EXPECT_EQ(settings.State(3), "Stop") << "refused: left as it was";
        EXPECT_EQ(settings.State(5), "Record");
    }
    if (stopping) {
        EXPECT_EQ(settings.State(3), "Stop") << "set whatever the result, as the walk";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Batches,
    ::testing::Values(BatchCase{"Record", &cAmpcontrol::RecordAll, amp::kRecord},
                      BatchCase{"Stop", &cAmpcontrol::StopAll, amp::kStop},
                      BatchCase{"Play", &cAmpcontrol::PlayAll, amp::kPlay},
                      BatchCase{"Eject", &cAmpcontrol::EjectAll, amp::kEject},
                      BatchCase{"Loop", &cAmpcontrol::ToggleLoopAll, amp::kLoop},
                      BatchCase{"PingPong", &cAmpcontrol::TogglePingPongAll, amp::kPingPong}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Per-channel commands

class ChannelCommands : public DeviceTest {};

TEST_F(ChannelCommands, RecordSendsTheClipNameDocumentAndSetsRecord) {
    ConnectQuietly();
    OnlyChecked({{7, "Stop"}});
    amp.RecordChannel(7);
    auto calls = device->CallsOf(amp::kRecord);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input.size(), sizeof(TextBlock));
    EXPECT_EQ(TextOf(calls[0]),
              "<?xml version=\"1.0\"?>\r\n<AmpClipType>\r\n\t<ClipName>?</ClipName>\r\n"
              "\t<Chan>7</Chan>\r\n</AmpClipType>");
    EXPECT_EQ(settings.State(7), "Record");
}

TEST_F(ChannelCommands, RecordRefusedByTheDeviceLeavesTheState) {
    ConnectQuietly();
    OnlyChecked({{1, "Stop"}});
    device->SetDefaultResult(amp::kRecord, 3);
    amp.RecordChannel(1);
    EXPECT_EQ(device->CallsOf(amp::kRecord).size(), 1u);
    EXPECT_EQ(settings.State(1), "Stop");
}

struct SkipCase {
    const char* name;
    int32_t checked;
    const char* state;
    bool hide_before_connect;
};

class SkippedChannels : public DeviceTest, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(SkippedChannels, RecordAndEjectSendNothing) {
    const SkipCase& c = GetParam();
    if (c.hide_before_connect) settings.SetShown(4, 0);
    ConnectQuietly();
    settings.SetShown(4, 1);
    settings.SetChecked(4, c.checked);
    settings.SetState(4, c.state);
    amp.RecordChannel(4);
    amp.EjectChannel(4);
    EXPECT_TRUE(device->Calls().empty());
    amp.RecordChannel(99);
    amp.EjectChannel(-1);
    EXPECT_TRUE(device->Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, SkippedChannels,
                         ::testing::Values(SkipCase{"Unchecked", 0, "Stop", false},
                                           SkipCase{"Recording", 1, "Record", false},
                                           SkipCase{"Lost", 1, "Los", false},
                                           SkipCase{"NeverConnected", 1, "Stop", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChannelCommands, StopKeepsRecordForThePollAndSetsStopOtherwise) {
    ConnectQuietly();
    OnlyChecked({{0, "Record"}, {1, "Play"}, {2, "Stop"}, {3, "Los"}});
    for (int ch = 0; ch < 4; ++ch) amp.StopChannel(ch);
    EXPECT_EQ(ChannelsOf(amp::kStop), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(settings.State(0), "Record");
    EXPECT_EQ(settings.State(1), "Stop");
    EXPECT_EQ(settings.State(3), "Los");
}

TEST_F(ChannelCommands, RecordAllRecordsEveryQualifyingChannel) {
    ConnectQuietly();
    OnlyChecked({{0, "Stop"}, {1, "Record"}, {2, "Los"}, {9, "Off"}});
    amp.RecordAll();
    std::vector<int32_t> channels;
    for (const Call& c : device->CallsOf(amp::kRecord)) {
        std::string text = TextOf(c);
        channels.push_back(LeadingNumber(text.substr(text.find("<Chan>") + 6)));
    }
    EXPECT_EQ(channels, (std::vector<int32_t>{0, 9}));
    EXPECT_EQ(settings.State(9), "Record");
}

// ---- Stop all

class StoppingAll : public DeviceTest {};

TEST_F(StoppingAll, WithoutARecordingChannelDoesNotWait) {
    ConnectQuietly();
    OnlyChecked({{0, "Play"}, {1, "Stop"}});
    const uint32_t before = clock.Elapsed();
    amp.StopAll();
    EXPECT_EQ(CodesSent(), (std::vector<int32_t>{amp::kStop}));
    EXPECT_EQ(clock.Elapsed(), before);
}

TEST_F(StoppingAll, WaitsForTheRecordersToLeaveRecord) {
    ConnectQuietly();
    OnlyChecked({{0, "Record"}, {1, "Play"}});
    // The recorder answers "Record" twice, then "Stop".
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Record", "00:00:01;00"}}})));
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Record", "00:00:02;00"}}})));
    device->Queue(amp::kStatus, ScriptedDevice::Reply(Table({{0, {"Stop", "00:00:02;00"}}})));
    amp.StopAll();
    EXPECT_EQ(ChannelsOf(amp::kStop), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(device->CallsOf(amp::kStatus).size(), 3u);
    EXPECT_EQ(device->CallsOf(amp::kStatus)[0].integerInput, 0);
    EXPECT_EQ(settings.State(0), "Stop");
}

TEST_F(StoppingAll, PollsOnlyWhileTheStatusThreadIsPaused) {
    ConnectQuietly();
    amp.SetSyncThread(&sync);  // after connecting, so the thread is not launched
    OnlyChecked({{0, "Record"}});
    // Each poll answers "Record" and then, as a handler run by the events
    // processed in the wait would, resumes the status thread.
    std::vector<int32_t> suspended;
    int polls = 0;
    device->SetHandler(amp::kStatus, [&](const Call&, void* out) {
        suspended.push_back(sync.SuspendSync());
        StatusTable t = Table({{0, {++polls < 3 ? "Record" : "Stop", "00:00:01;00"}}});
        std::memcpy(out, &t, sizeof t);
        sync.SetSuspendSync(0);
        return 0;
    });
    amp.StopAll();
    EXPECT_EQ(suspended, (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(settings.State(0), "Stop");
}

TEST_F(StoppingAll, GivesUpAfterFiveSeconds) {
    ConnectQuietly();
    OnlyChecked({{0, "Record"}});
    device->SetHandler(amp::kStatus, [](const Call&, void* out) {
        StatusTable t = Table({{0, {"Record", "00:00:01;00"}}});
        std::memcpy(out, &t, sizeof t);
        return 0;
    });
    const uint32_t before = clock.Elapsed();
    amp.StopAll();
    EXPECT_GT(clock.Elapsed() - before, 5000u);
    EXPECT_LT(clock.Elapsed() - before, 5200u);
    EXPECT_EQ(settings.State(0), "Record");
}

// ---- Loop and ping-pong

class Toggles : public DeviceTest {};

TEST_F(Toggles, LoopTwiceReturnsToTheStartAndLeavesPingPongOff) {
    ConnectQuietly();
    status.PollStatus(0);  // the recorder's table is known: the poll after a toggle finds no change
    OnlyChecked({{0, "Stop"}, {1, "Play"}, {2, "Record"}, {3, "Los"}});
    amp.SetLoopFlag(1, 1);
    amp.SetPingPongFlag(0, 1);
    amp.ToggleLoopAll();
    EXPECT_EQ(amp.LoopFlag(0), 1);
    EXPECT_EQ(amp.LoopFlag(1), 0);
    auto sent = device->CallsOf(amp::kLoop);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(ScriptedDevice::As<ChannelValueRequest>(sent[0]).value, 1);
    EXPECT_EQ(ScriptedDevice::As<ChannelValueRequest>(sent[1]).value, 0);
    EXPECT_EQ(device->CallsOf(amp::kStatus).back().integerInput, 1);
    amp.ToggleLoopAll();
    EXPECT_EQ(amp.LoopFlag(0), 0);
    EXPECT_EQ(amp.LoopFlag(1), 1);
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(amp.PingPongFlag(ch), 0);
}

TEST_F(Toggles, PingPongClearsLoop) {
    ConnectQuietly();
    status.PollStatus(0);
    OnlyChecked({{0, "Stop"}});
    amp.SetLoopFlag(0, 1);
    amp.TogglePingPongAll();
    EXPECT_EQ(amp.LoopFlag(0), 0);
    EXPECT_EQ(amp.PingPongFlag(0), 1);
    auto sent = device->CallsOf(amp::kPingPong);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(ScriptedDevice::As<ChannelValueRequest>(sent[0]).value, 1);
}

TEST_F(Toggles, FlagAccessorsIgnoreChannelsOutOfRange) {
    amp.SetLoopFlag(24, 1);
    amp.SetPingPongFlag(-1, 1);
    EXPECT_EQ(amp.LoopFlag(24), 0);
    EXPECT_EQ(amp.PingPongFlag(-1), 0);
}

// ---- Loading clips

class LoadingClips : public DeviceTest {};

TEST_F(LoadingClips, LastClipAllLoadsEachQualifyingChannelsLastRecording) {
    ConnectQuietly();
    OnlyChecked({{0, "Stop"}, {1, "Record"}, {2, "Stop"}, {3, "Los"}});
    settings.SetLastClip(0, "take_0001");
    settings.SetLastClip(1, "take_0002");
    settings.SetLastClip(3, "take_0003");
    amp.SetLoopFlag(0, 1);
    amp.LoadLastClipAll();
    EXPECT_EQ(clips.asked, (std::vector<std::string>{"take_0001"}));
    auto sent = device->CallsOf(amp::kLoadClip);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].input.size(), 285u);
    auto r = ScriptedDevice::As<LoadClipRequest>(sent[0]);
    EXPECT_EQ(r.channel, 0);
    EXPECT_EQ(std::string(r.clipName, kClipNameWidth), FixedWidth("take_0001", kClipNameWidth));
    EXPECT_EQ(std::string(r.start, 11), "01:00:00;00");
    EXPECT_EQ(std::string(r.duration, 11), "00:00:10;00");
    EXPECT_EQ(settings.ClipStart(0), "01:00:00;00");
    EXPECT_EQ(settings.ClipDuration(0), "00:00:10;00");
    EXPECT_EQ(settings.ClipEnd(0), tc.AddTc("01:00:00;00", "00:00:10;00"));
    EXPECT_EQ(amp.LoopFlag(0), 0);
}

// ---- Configuration traffic

class Configuration : public DeviceTest {};

TEST_F(Configuration, DocumentIsTheCleanedReplyOrEmpty) {
    device->Queue(amp::kGetConfig, TextReply("  <config>x</config>  "));
    EXPECT_EQ(amp.ConfigurationDocument(5), "<config>x</config>");
    EXPECT_EQ(ScriptedDevice::As<ChannelRequest>(device->CallsOf(amp::kGetConfig)[0]).channel, 5);
    device->Queue(amp::kGetConfig, TextReply("<config>y</config>", 2));
    EXPECT_EQ(amp.ConfigurationDocument(5), "");
}

TEST_F(Configuration, SendPrefixesTheChannel) {
    amp.SendConfiguration(12, "<doc/>");
    auto sent = device->CallsOf(amp::kSendConfig);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(TextOf(sent[0]), "<Chan>12</Chan>\r\n<doc/>");
}

struct AddressCase {
    const char* name;
    int32_t ch;
    const char* address;
    int32_t internal;
    bool sent;
};

class AddressMessages : public DeviceTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressMessages, AreSentOnlyForValidArguments) {
    const AddressCase& c = GetParam();
    device->SetDefaultResult(amp::kSetAddress, amp::kResultReconnect);
    const int32_t result = amp.SetChannelAddress(c.ch, c.address, c.internal);
    auto sent = device->CallsOf(amp::kSetAddress);
    ASSERT_EQ(sent.size(), c.sent ? 1u : 0u);
    EXPECT_EQ(result, c.sent ? 5 : 0);
    if (c.sent) {
        EXPECT_EQ(TextOf(sent[0]), "<Chan>" + std::to_string(c.ch) +
                                       "</Chan>\r\n<IpAddress>10.1.2.3</IpAddress>\r\n<Vtr>" +
                                       std::to_string(c.internal) + "</Vtr>");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, AddressMessages,
                         ::testing::Values(AddressCase{"Plain", 3, "10.1.2.3", 2, true},
                                           AddressCase{"HighestDeviceChannel", 47, "10.1.2.3", 4,
                                                       true},
                                           AddressCase{"Padded", 0, " 10.1.2.3   ", 1, true},
                                           AddressCase{"ChannelTooHigh", 48, "10.1.2.3", 1, false},
                                           AddressCase{"NegativeChannel", -1, "10.1.2.3", 1, false},
                                           AddressCase{"EmptyAddress", 1, "   ", 1, false},
                                           AddressCase{"InternalZero", 1, "10.1.2.3", 0, false},
                                           AddressCase{"InternalFive", 1, "10.1.2.3", 5, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Record file names

class RecordFiles : public DeviceTest {};

TEST_F(RecordFiles, RequestDocumentAndBothEncoders) {
    device->Queue(amp::kRecordFileList,
                  TextReply("<RecFileList><EncoderA><Primary><File n=\"1\">A001_avmxf.mxf</File>"
                            "<File>A002.mxf</File></Primary></EncoderA><EncoderB><Primary><File>"
                            "B001.mov</File></Primary></EncoderB></RecFileList>"));
    EXPECT_EQ(amp.RecordFileNames(3, "Take 7"), "A001_avmxf|B001.mov");
    auto sent = device->CallsOf(amp::kRecordFileList);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(TextOf(sent[0]),
              "<?xml version=\"1.0\"?>\r\n<AmpClipType>\r\n<ClipName>Take 7</ClipName>"
              "<Chan>3</Chan></AmpClipType>");
}

TEST_F(RecordFiles, NothingWithoutTheListElementOrOnFailure) {
    device->Queue(amp::kRecordFileList, TextReply("<Other/>"));
    EXPECT_EQ(amp.RecordFileNames(0, "x"), "");
    device->Queue(amp::kRecordFileList, TextReply("<RecFileList></RecFileList>", 1));
    EXPECT_EQ(amp.RecordFileNames(0, "x"), "");
    device->Queue(amp::kRecordFileList, TextReply("<RecFileList></RecFileList>"));
    EXPECT_EQ(amp.RecordFileNames(0, "x"), "|");
}

struct FileCase {
    const char* name;
    const char* reply;
    const char* expected;
};

class FirstFileNames : public DeviceTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FirstFileNames, TakeTheFirstFileOfTheEncoder) {
    EXPECT_EQ(amp.FirstFileName(GetParam().reply, "<EncoderA>", "<Primary>"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirstFileNames,
    ::testing::Values(
        FileCase{"CutAfterAvmxf",
                 "<EncoderA><Primary><File>clip_avmxf_v1.mxf</File></Primary></EncoderA>",
                 "clip_avmxf"},
        FileCase{"WholeWithoutAvmxf",
                 "<EncoderA><Primary><File>clip.mov</File></Primary></EncoderA>", "clip.mov"},
        FileCase{"TagsInAnyCase", "<encodera><PRIMARY><File>c.mov</File></primary></encodera>",
                 "c.mov"},
        FileCase{"NoFileEnd", "<EncoderA><Primary>clip.mov</Primary></EncoderA>", ""},
        FileCase{"FileEndFirst", "<EncoderA><Primary></File>x</Primary></EncoderA>", ""},
        FileCase{"NoEncoder", "<EncoderB><Primary><File>b</File></Primary></EncoderB>", ""},
        FileCase{"NoAngle", "<EncoderA><Primary>plain</File></Primary></EncoderA>", "plain"},
        FileCase{"DecodedOnce",
                 "<EncoderA><Primary><File>/R&amp;D/Caf&#233;&amp;#38;_avmxf_v1.mxf</File>"
                 "</Primary></EncoderA>",
                 "/R&D/Caf\xE9&#38;_avmxf"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordFiles, EmptyArgumentsGiveNothing) {
    EXPECT_EQ(amp.FirstFileName("", "<EncoderA>", "<Primary>"), "");
    EXPECT_EQ(amp.FirstFileName("<EncoderA>x</EncoderA>", "", "<Primary>"), "");
    EXPECT_EQ(amp.FirstFileName("<EncoderA>x</EncoderA>", "<EncoderA>", ""), "");
}

}  // namespace
}  // namespace tarvolen::test
