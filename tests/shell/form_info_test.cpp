#include "shell/form_info.h"

#include <gtest/gtest.h>

namespace tarvolen {
namespace {

TEST(FormInfo, KeysMatchInAnyLetterCase) {
    cFormInfo info;
    info.SetText("TcEntry", "01:00:00;00");
    EXPECT_EQ(info.GetText("TCENTRY"), "01:00:00;00");
    EXPECT_EQ(info.GetText("tcentry"), "01:00:00;00");
    info.SetNumber("tcentry", 7);
    EXPECT_EQ(info.GetNumber("TcEntry"), 7);
    EXPECT_EQ(info.GetText("TcEntry"), "01:00:00;00");  // one slot for both values
}

TEST(FormInfo, UnsetKeyGivesEmptyTextAndZero) {
    cFormInfo info;
    EXPECT_EQ(info.GetText("Setup"), "");
    EXPECT_EQ(info.GetNumber("Setup"), 0);
    info.SetNumber("Setup", 5);
    EXPECT_EQ(info.GetText("Setup"), "");  // text stays empty until set
}

TEST(FormInfo, LaterSetReplaces) {
    cFormInfo info;
    info.SetText("Setup", "first");
    info.SetText("SETUP", "");
    EXPECT_EQ(info.GetText("setup"), "");  // the empty text: cancelled
}

TEST(FormInfo, StartsWith101SlotsAndGrowsBy100PerNewKey) {
    cFormInfo info;
    EXPECT_EQ(info.SlotCount(), 101u);
    info.SetText("A", "1");
    EXPECT_EQ(info.SlotCount(), 201u);
    info.SetText("a", "2");  // found: no growth
    EXPECT_EQ(info.SlotCount(), 201u);
    info.SetNumber("B", 3);
    EXPECT_EQ(info.SlotCount(), 301u);
    EXPECT_EQ(info.GetText("A"), "2");
    EXPECT_EQ(info.GetNumber("b"), 3);
}

TEST(FormInfo, ManyKeysKeepTheirValues) {
    cFormInfo info;
    for (int i = 0; i < 150; ++i) info.SetNumber("key" + std::to_string(i), i);
    for (int i = 0; i < 150; ++i) EXPECT_EQ(info.GetNumber("KEY" + std::to_string(i)), i);
}

TEST(FormInfo, EmptyKeyIsTheLastEmptySlot) {
    // Every unused slot has the empty key and the last match wins.
    cFormInfo info;
    info.SetText("", "x");
    EXPECT_EQ(info.GetText(""), "x");
    EXPECT_EQ(info.SlotCount(), 101u);
}

}  // namespace
}  // namespace tarvolen
