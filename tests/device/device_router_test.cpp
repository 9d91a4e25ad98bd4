#include "device/device_router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/amp_control.h"
#include "shell/settings.h"
#include "shell/text.h"

namespace tarvolen {
namespace {

// A library that notes what reached it and when its batches went out and
// were awaited, in one log shared by both sides of the router.
class Side : public DeviceLibrary {
  public:
    Side(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        log_.push_back(name_ + " " + std::to_string(code) + " ch" +
                       std::to_string(ChannelOfCall(code, input)));
        // Both libraries' connect is code 1; the record's size tells them apart.
        const int32_t size = input ? *reinterpret_cast<const int32_t*>(input) : 0;
        if (code == amp::kConnect && size == sizeof(ConnectTable))
            table = *reinterpret_cast<const ConnectTable*>(input);
        if (code == clipdir::kConnect && size == sizeof(ClipDirConnectTable))
            dirTable = *reinterpret_cast<const ClipDirConnectTable*>(input);
        if (code == amp::kStatus) {
            auto* t = static_cast<StatusTable*>(output);
            for (auto& e : t->entry) StoreField(e.state, sizeof e.state, name_);
        }
        return result;
    }
    std::unique_ptr<PendingCalls> Start(std::span<DeviceCall> calls) override {
        log_.push_back(name_ + " sent " + std::to_string(calls.size()));
        struct Later : PendingCalls {
            Side& side;
            std::span<DeviceCall> calls;
            Later(Side& s, std::span<DeviceCall> c) : side(s), calls(c) {}
            void Finish() override {
                side.log_.push_back(side.name_ + " awaited");
                for (auto& c : calls) c.result = side.result;
            }
        };
        return std::make_unique<Later>(*this, calls);
    }
    bool WatchStatus(std::function<void()> w) override {
        wake = std::move(w);
        return tells;
    }
    int32_t result = 0;
    bool tells = false;
    std::function<void()> wake;
    ConnectTable table{};
    ClipDirConnectTable dirTable{};

  private:
    std::string name_;
    std::vector<std::string>& log_;
};

struct RouterTest : ::testing::Test {
    std::vector<std::string> log;
    std::shared_ptr<Side> ours = std::make_shared<Side>("ours", log);
    std::shared_ptr<Side> deck = std::make_shared<Side>("deck", log);
    std::array<int32_t, kChannelCount> protocol{};
    std::shared_ptr<DeviceRouter> router = std::make_shared<DeviceRouter>(
        DeviceRouter::Libraries{ours, ours}, DeviceRouter::Libraries{deck, deck},
        [this](int32_t ch) { return protocol[static_cast<std::size_t>(ch)]; });

    // Channels 0-3 ours on .1, 4-5 decks on .21/.22, all shown.
    void Connect() {
        protocol[4] = protocol[5] = kProtocolDeck;
        ConnectTable t{};
        for (int ch = 0; ch < 6; ++ch) {
            t.shown[ch] = 1;
            t.internalChannel[ch] = ch < 4 ? ch + 1 : 1;
            StoreField(t.address[ch], kAddressWidth,
                       ch < 4 ? "10.0.0.1" : "10.0.0.2" + std::to_string(ch - 3));
        }
        router->Amp(amp::kConnect, RecordArg(&t), &t);
        log.clear();
    }
};

TEST_F(RouterTest, ConnectGivesEachLibraryOnlyItsChannels) {
    Connect();
    for (int ch = 0; ch < 6; ++ch) {
        EXPECT_EQ(ours->table.shown[ch], ch < 4 ? 1 : 0) << ch;
        EXPECT_EQ(deck->table.shown[ch], ch < 4 ? 0 : 1) << ch;
    }
    // The status table shows each channel as its own library reports it.
    StatusTable st{};
    ASSERT_EQ(router->Amp(amp::kStatus, 0, &st), 0);
    for (int ch = 0; ch < 6; ++ch)
        EXPECT_EQ(ReadField(st.entry[ch].state, 13), ch < 4 ? "ours" : "deck") << ch;
}

TEST_F(RouterTest, GroupBatchIsOnBothWiresBeforeEitherIsAwaited) {
    Connect();
    deck->result = 4;
    std::vector<ChannelRequest> req(6);
    std::vector<DeviceCall> calls;
    for (int ch = 0; ch < 6; ++ch) {
        req[ch].channel = ch;
        calls.push_back({amp::kStop, RecordArg(&req[ch]), nullptr, -1});
    }
    // The record document names its channel inside the text.
    auto doc = std::make_unique<TextBlock>();
    StoreField(doc->text, kTextBlockWidth, ClipNameDocument("?", 5));
    calls.push_back({amp::kRecord, RecordArg(doc.get()), nullptr, -1});
    router->AmpBatch(calls);
    EXPECT_EQ(log, (std::vector<std::string>{"ours sent 4", "deck sent 3", "ours awaited",
                                             "deck awaited"}));
    for (int i = 0; i < 7; ++i) EXPECT_EQ(calls[i].result, i < 4 ? 0 : 4) << i;
}

TEST_F(RouterTest, SingleCallsAndDirectoriesFollowTheChannel) {
    Connect();
    ChannelValueRequest wind;
    wind.channel = 5;
    router->Amp(amp::kWind, RecordArg(&wind), nullptr);
    wind.channel = 2;
    router->Amp(amp::kWind, RecordArg(&wind), nullptr);
    wind.channel = 40;  // beyond the table: ours, which refuses it
    router->Amp(amp::kWind, RecordArg(&wind), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"deck 5 ch5", "ours 5 ch2", "ours 5 ch40"}));

    ClipDirConnectTable dirs{};
    std::memset(dirs.address, ' ', sizeof dirs.address);
    StoreField(dirs.address[0], kAddressWidth, "10.0.0.1");
    StoreField(dirs.address[1], kAddressWidth, "10.0.0.21");
    router->ClipDir(clipdir::kConnect, RecordArg(&dirs), &dirs);
    EXPECT_EQ(ReadField(ours->dirTable.address[0], kAddressWidth), "10.0.0.1");
    EXPECT_EQ(ReadField(ours->dirTable.address[1], kAddressWidth), "");
    EXPECT_EQ(ReadField(deck->dirTable.address[0], kAddressWidth), "10.0.0.21");
    log.clear();
    AddressRequest open;
    StoreField(open.address, kAddressWidth, "10.0.0.22");
    CountReply count;
    router->ClipDir(clipdir::kOpen, RecordArg(&open), &count);
    EXPECT_EQ(log, (std::vector<std::string>{"deck 35 ch-1"}));
}

TEST_F(RouterTest, SwitchingAChannelsProtocolAsksForAReconnect) {
    Connect();
    auto doc = std::make_unique<TextBlock>();
    StoreField(doc->text, kTextBlockWidth,
               "<Chan>2</Chan>\r\n<IpAddress>10.0.0.9</IpAddress>\r\n<Vtr>1</Vtr>");
    EXPECT_EQ(router->Amp(amp::kSetAddress, RecordArg(doc.get()), nullptr), 0);
    protocol[2] = kProtocolDeck;
    EXPECT_EQ(router->Amp(amp::kSetAddress, RecordArg(doc.get()), nullptr), amp::kResultReconnect);
    EXPECT_EQ(log, (std::vector<std::string>{"ours 85 ch2", "deck 85 ch2"}));
}

// A wrong true leaves the status thread asleep while a row changes; the
// deck link's answers only matter while some channel is a deck.
TEST_F(RouterTest, StatusIsWatchedOnlyWhileEveryLibraryAskedCanTell) {
    auto library = router->AmpLibrary();
    int wakes = 0;
    auto watch = [&] { return library->WatchStatus([&] { ++wakes; }); };
    ours->tells = true;
    EXPECT_TRUE(watch()) << "no deck channel: ours alone answers";
    ASSERT_TRUE(ours->wake);
    ours->wake();
    EXPECT_EQ(wakes, 1);
    EXPECT_FALSE(router->ClipDirLibrary()->WatchStatus([] {}));

    Connect();  // channels 4 and 5 become decks
    EXPECT_EQ(wakes, 2) << "a connect that brings decks must wake the watcher";
    EXPECT_FALSE(watch()) << "a deck channel whose library cannot tell is polled";
    EXPECT_FALSE(ours->wake) << "a watcher that polls is not woken as well";

    deck->tells = true;
    EXPECT_TRUE(watch());
    ASSERT_TRUE(ours->wake && deck->wake);
    ours->wake();
    deck->wake();
    EXPECT_EQ(wakes, 4);
    ours->tells = false;
    EXPECT_FALSE(watch());
    EXPECT_FALSE(deck->wake);

    ours->tells = true;
    EXPECT_TRUE(watch());
    EXPECT_FALSE(library->WatchStatus({}));
    EXPECT_FALSE(ours->wake || deck->wake) << "an empty function ends the watch on both";
}

}  // namespace
}  // namespace tarvolen
