// The clip directory: connect table, listing rules, rows, single-clip reads
// and the status-thread pause around every request.
#include "cliplist_fixture.h"

namespace tarvolen::testing {
namespace {

using ConnectTest = ClipListTest;

std::vector<std::string> Slots(const ClipDirConnectTable& t) {
    std::vector<std::string> out;
    for (const auto& slot : t.address) out.emplace_back(slot, sizeof slot);
    return out;
}

std::string Padded(const std::string& a) {
    return FixedWidth(a, kAddressWidth);
}

TEST_F(ConnectTest, OneSlotPerDistinctShownAddress) {
    struct Ch {
        int32_t index;
        int32_t shown;
        const char* address;
    };
    const Ch channels[] = {
        {0, 1, "10.0.0.1"}, {1, 1, "10.0.0.1"},     // two internal channels of one recorder
        {2, 0, "10.0.0.2"},                         // hidden
        {3, 1, ""},                                 // no address
        {4, 1, "10.0.0.3"}, {5, 1, " 10.0.0.3  "},  // the same once cleaned
        {6, 0, "10.0.0.9"}, {7, 1, "10.0.0.9"},     // hidden earlier one does not count
        {8, 1, "10.0.0.1"},
    };
    for (const auto& c : channels) {
        settings_->SetShown(c.index, c.shown);
        settings_->SetAddress(c.index, c.address);
    }
    cliplist_->ConnectDirectory();

    auto calls = device_->CallsOf(clipdir::kConnect);
    ASSERT_EQ(calls.size(), 1u);
    auto sent = ScriptedDevice::As<ClipDirConnectTable>(calls[0]);
    EXPECT_EQ(sent.size, 724);
    auto table = Slots(sent);
    EXPECT_EQ(table[0], Padded("10.0.0.1"));
    EXPECT_EQ(table[1], Padded("10.0.0.3"));
    EXPECT_EQ(table[2], Padded("10.0.0.9"));
    for (size_t i = 3; i < table.size(); ++i) EXPECT_EQ(table[i], std::string(15, '\0')) << i;
}

TEST_F(ConnectTest, ReconnectingWithFewerAddressesLeavesNoStaleSlots) {
    Channel(0, "10.0.0.1");
    Channel(1, "10.0.0.2");
    Channel(2, "10.0.0.3");
    cliplist_->ConnectDirectory();
    settings_->SetShown(1, 0);
    settings_->SetShown(2, 0);
    cliplist_->ConnectDirectory();
    auto table = Slots(cliplist_->DirectoryConnectTable());
    EXPECT_EQ(table[0], Padded("10.0.0.1"));
    EXPECT_EQ(table[1], std::string(15, '\0'));
    EXPECT_EQ(table[2], std::string(15, '\0'));
    EXPECT_EQ(cliplist_->DirectoryConnectTable().size, 724);
}

TEST_F(ConnectTest, DisconnectSendsCode33WithNoRecords) {
    cliplist_->DisconnectDirectory();
    auto calls = device_->CallsOf(clipdir::kDisconnect);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].integerInput, 0);
}

using ListingTest = ClipListTest;

TEST_F(ListingTest, CaptionNamesTheChannel) {
    Channel(2, "10.0.0.7", "Camera A");
    OpenList(2);
    ASSERT_TRUE(qt::FormWidget("ClipList"));
    EXPECT_EQ(qt::FormWidget("ClipList")->windowTitle().toStdString(),
              "Cliplist for Chan: 3  \"Camera A\"");
}

TEST_F(ListingTest, OpenIgnoresHiddenAndOutOfRangeChannels) {
    Channel(1, "10.0.0.7");
    settings_->SetShown(1, 0);
    for (int32_t ch : {-1, 1, 24, 99}) {
        cliplist_->Open(ch);
        EXPECT_FALSE(EZ_FORMEXISTS("ClipList")) << ch;
    }
    EXPECT_EQ(cliplist_->GetChannel(), 0);
}

TEST_F(ListingTest, AddressMustHaveFourParts) {
    const std::pair<const char*, bool> cases[] = {
        {"10.0..5", true}, {"10.0.0.5", true},    {"10.0.0", false},
        {"", false},       {"10.0.0.5.6", false},
    };
    for (const auto& [address, listed] : cases) {
        SCOPED_TRACE(address);
        device_->ClearCalls();
        dir_.listedAddresses.clear();
        Listing({{.name = "clip1"}});
        Channel(0, address, "Cam");
        OpenList(0);
        EXPECT_EQ(dir_.listedAddresses.size(), listed ? 1u : 0u);
        if (listed) {
            EXPECT_EQ(dir_.listedAddresses[0], Padded(address));
        }
        EXPECT_EQ(EZ_GETLVCOUNT(kClipListForm, kClipListView), listed ? 1 : 0);
        // The caption is set either way.
        EXPECT_EQ(qt::FormWidget("ClipList")->windowTitle().toStdString(),
                  "Cliplist for Chan: 1  \"Cam\"");
        EZ_UNLOADFORM("ClipList");
        Pump();
    }
}

struct ListingCase {
    const char* what;
    std::vector<EntrySpec> entries;
    std::vector<std::string> shown;
};

TEST_F(ListingTest, ListingRules) {
    const std::string shortGuid(35, 'a');
    const ListingCase cases[] = {
        {"all good", {{.name = "a"}, {.name = "b"}, {.name = "c"}}, {"a", "b", "c"}},
        {"empty first name skipped, listing goes on",
         {{.name = ""}, {.name = "b"}, {.name = "c"}},
         {"b", "c"}},
        {"first entry not subject to the identifier test",
         {{.name = "a", .guid = shortGuid}, {.name = "b"}},
         {"a", "b"}},
        {"later short identifier ends the listing",
         {{.name = "a"}, {.name = "b", .guid = shortGuid}, {.name = "c"}},
         {"a"}},
        {"later empty name ends the listing",
         {{.name = "a"}, {.name = "  "}, {.name = "c"}},
         {"a"}},
        {"identifier of spaces ends the listing",
         {{.name = "a"}, {.name = "b", .guid = std::string(36, ' ')}},
         {"a"}},
    };
    Channel(0, "10.0.0.5");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Listing(c.entries);
        OpenList(0);
        EXPECT_EQ(Column(0), c.shown);
        EXPECT_EQ(pauses_, resumes_);
        EZ_UNLOADFORM("ClipList");
        Pump();
    }
    EXPECT_EQ(unpausedRequests_, 0);
}

TEST_F(ListingTest, FailedOpenOrFirstEntryLeavesTheListEmptyAndResumes) {
    Channel(0, "10.0.0.5");
    Listing({{.name = "a"}, {.name = "b"}});
    dir_.openResult = 3;
    OpenList(0);
    EXPECT_EQ(EZ_GETLVCOUNT(kClipListForm, kClipListView), 0);
    EXPECT_TRUE(device_->CallsOf(clipdir::kFirst).empty());
    EXPECT_EQ(pauses_, 1);
    EXPECT_EQ(resumes_, 1);
    EZ_UNLOADFORM("ClipList");
    Pump();

    dir_.openResult = 0;
    dir_.firstResult = 2;
    OpenList(0);
    EXPECT_EQ(EZ_GETLVCOUNT(kClipListForm, kClipListView), 0);
    EXPECT_TRUE(device_->CallsOf(clipdir::kNext).empty());
    EXPECT_EQ(pauses_, 2);
    EXPECT_EQ(resumes_, 2);
}

TEST_F(ListingTest, NoAddressMeansNoPauseAndNoRequest) {
    Channel(0, "10.0.0");
    OpenList(0);
    EXPECT_EQ(pauses_, 0);
    EXPECT_TRUE(device_->Calls().empty());
}

struct RowCase {
    int format;
    const char* start;
    const char* formatName;
    const char* aspect;
};

TEST_F(ListingTest, RowsShowFormatAspectSeparatorCodecAndCompression) {
    const RowCase cases[] = {
        {0, "01:02:03.04", "NTSC_525", "4x3"},
        {101, "01:02:03,04", "1080_24p", ""},
        {103, "01:02:03;04", "1080_2997p", ""},
        {2, "01:02:03;04", "720_59_94p", "16x9"},
        {77, "01:02:03;04", "", ""},
    };
    std::vector<EntrySpec> specs;
    int n = 0;
    for (const auto& c : cases)
        specs.push_back({.name = "clip" + std::to_string(n++),
                         .start = "01:02:03;04",
                         .duration = "00:00:05;00",
                         .videoFormat = c.format,
                         .codec = 50,
                         .compression = 0});
    Listing(specs);
    Channel(0, "10.0.0.5");
    OpenList(0);
    ASSERT_EQ(EZ_GETLVCOUNT(kClipListForm, kClipListView), int32_t(std::size(cases)));
    for (int32_t r = 0; r < int32_t(std::size(cases)); ++r) {
        const auto& c = cases[r];
        SCOPED_TRACE(c.format);
        auto cell = [r](int32_t col) {
            return EZ_GETLVITEMTEXT(kClipListForm, kClipListView, r, col);
        };
        EXPECT_EQ(cell(1), c.start);
        std::string duration = "00:00:05;00";
        duration[8] = c.start[8];
        EXPECT_EQ(cell(2), duration);
        EXPECT_EQ(cell(3), "2024-03-05 10:11:12");
        EXPECT_EQ(cell(4), c.formatName);
        EXPECT_EQ(cell(5), c.aspect);
        EXPECT_EQ(cell(6), " 50");
        EXPECT_EQ(cell(7), "0");
        EXPECT_EQ(cell(8), GuidFor(r + 1));
    }
}

TEST_F(ListingTest, ChannelsCurrentClipIsSelected) {
    Listing({{.name = "c"}, {.name = "a"}, {.name = "b"}});
    Channel(0, "10.0.0.5");
    settings_->SetClipName(0, "B");  // the search ignores letter case
    OpenList(0);
    // Sorted by name ascending: a, b, c.
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(EZ_GETLVSEL(kClipListForm, kClipListView), 1);
}

using SingleClipTest = ClipListTest;

TEST_F(SingleClipTest, ClipTimesJoinStartAndDuration) {
    Channel(0, "10.0.0.5");
    dir_.named["take1"] =
        MakeEntry({.name = "take1", .start = "10:00:00;00", .duration = "00:01:00;02"});
    EXPECT_EQ(cliplist_->GetClipTimes("take1"), "10:00:00;00|00:01:00;02");
    auto calls = device_->CallsOf(clipdir::kNamedClip);
    ASSERT_EQ(calls.size(), 1u);
    auto asked = ScriptedDevice::As<ClipEntry>(calls[0]);
    EXPECT_EQ(asked.size, 429);
    EXPECT_EQ(std::string(asked.address, 15), Padded("10.0.0.5"));
    EXPECT_EQ(std::string(asked.clipName, 255), FixedWidth("take1", 255));
    EXPECT_EQ(pauses_, 1);
    EXPECT_EQ(resumes_, 1);
    EXPECT_EQ(unpausedRequests_, 0);
}

TEST_F(SingleClipTest, NoTimesWithoutAnAddressOrWhenTheRequestFails) {
    Channel(0, "10.0.0");
    EXPECT_EQ(cliplist_->GetClipTimes("take1"), "");
    EXPECT_TRUE(device_->Calls().empty());
    Channel(0, "10.0.0.5");
    dir_.namedResult = 4;
    EXPECT_EQ(cliplist_->GetClipTimes("take1"), "");
    EXPECT_EQ(pauses_, 1);
    EXPECT_EQ(resumes_, 1);
}

TEST_F(SingleClipTest, RefreshRewritesTheRowAsDelivered) {
    Listing({{.name = "a", .duration = "00:00:00;00", .videoFormat = 0}, {.name = "b"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    dir_.named["a"] = MakeEntry({.name = "a",
                                 .start = "02:00:00;00",
                                 .duration = "00:00:30;00",
                                 .videoFormat = 0,
                                 .codec = 113,
                                 .compression = 7});
    cliplist_->RefreshClip("a");
    auto cell = [](int32_t col) { return EZ_GETLVITEMTEXT(kClipListForm, kClipListView, 0, col); };
    // No separator replacement on a refresh.
    EXPECT_EQ(cell(1), "02:00:00;00");
    EXPECT_EQ(cell(2), "00:00:30;00");
    EXPECT_EQ(cell(4), "NTSC_525");
    EXPECT_EQ(cell(5), "4x3");
    EXPECT_EQ(cell(6), "XDCam");
    EXPECT_EQ(cell(7), "7");
    EXPECT_EQ(pauses_, resumes_);
}

TEST_F(SingleClipTest, FailedRefreshLeavesTheRowAlone) {
    Listing({{.name = "a", .duration = "00:00:00;00"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    dir_.namedResult = 1;
    cliplist_->RefreshClip("a");
    EXPECT_EQ(EZ_GETLVITEMTEXT(kClipListForm, kClipListView, 0, 2), "00:00:00;00");
    EXPECT_EQ(EZ_GETLVITEMTEXT(kClipListForm, kClipListView, 0, 4), "1080_29_97_1to1i");
    EXPECT_EQ(pauses_, resumes_);
}

}  // namespace
}  // namespace tarvolen::testing
