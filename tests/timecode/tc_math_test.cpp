#include "timecode/tc_math.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tarvolen {
namespace {

// A cTcMath wired to a program-wide code the test owns.
struct Fixture {
    explicit Fixture(int32_t programCode = 29) : program(programCode), tc(FrameRateOf(program)) {}
    int32_t program;
    cTcMath tc;
};

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(FramesToTc, KnownAnswersAtEachRate) {
    struct Case {
        int32_t code;
        int32_t frames;
        const char* text;
    };
    const Case cases[] = {
        // drop-frame: labels 0 and 1 skipped in minutes that are not multiples of ten
        {29, 0, "00:00:00;00"},       {29, 1799, "00:00:59;29"},    {29, 1800, "00:01:00;02"},
        {29, 1801, "00:01:00;03"},    {29, 3597, "00:01:59;29"},    {29, 3598, "00:02:00;02"},
        {29, 17981, "00:09:59;29"},   {29, 17982, "00:10:00;00"},   {29, 17983, "00:10:00;01"},
        {29, 19781, "00:10:59;29"},   {29, 19782, "00:11:00;02"},   {29, 107891, "00:59:59;29"},
        {29, 107892, "01:00:00;00"},  {29, 2589407, "23:59:59;29"}, {29, 2589408, "00:00:00;00"},
        {29, 2589409, "00:00:00;01"}, {29, 5178815, "23:59:59;29"}, {29, 5178816, "00:00:00;00"},
        {29, kMax, "08:00:42;19"},    {30, 29, "00:00:00:29"},      {30, 30, "00:00:01:00"},
        {30, 1800, "00:01:00:00"},    {30, 107999, "00:59:59:29"},  {30, 108000, "01:00:00:00"},
        {30, 2591999, "23:59:59:29"}, {30, 2592000, "00:00:00:00"}, {30, kMax, "12:06:28:07"},
        {25, 24, "00:00:00.24"},      {25, 25, "00:00:01.00"},      {25, 1500, "00:01:00.00"},
        {25, 90000, "01:00:00.00"},   {25, 2159999, "23:59:59.24"}, {25, 2160000, "00:00:00.00"},
        {25, kMax, "04:55:45.22"},    {24, 23, "00:00:00,23"},      {24, 1440, "00:01:00,00"},
        {24, 86400, "01:00:00,00"},   {24, 2073599, "23:59:59,23"}, {24, 2073600, "00:00:00,00"},
        {24, kMax, "15:08:05,07"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.tc.SetFrameRate(c.code);
        EXPECT_EQ(f.tc.FramesToTc(c.frames), c.text) << "code " << c.code << " frames " << c.frames;
    }
}

TEST(FramesToTc, NegativeCountIsNoTimecode) {
    for (int32_t code : {29, 30, 25, 24}) {
        for (int32_t frames : {-1, -1800, kMin}) {
            Fixture f;
            f.tc.SetFrameRate(code);
            EXPECT_EQ(f.tc.FramesToTc(frames), "--:--:--:--") << code << " " << frames;
        }
    }
}

TEST(TcToFrames, KnownAnswers) {
    struct Case {
        const char* text;
        int32_t frames;
    };
    const Case cases[] = {
        {"00:00:59;29", 1799},    {"00:01:00;02", 1800},
        {"00:10:00;00", 17982},   {"00:10:00;01", 17983},
        {"01:00:00;00", 107892},  {"23:59:59;29", 2589407},
        {"00:01:00;00", 1798},  // a dropped label maps by the same formula
        {"00:01:00:00", 1800},    {"01:00:00:00", 108000},
        {"23:59:59:29", 2591999}, {"01:00:00.00", 90000},
        {"00:00:01.00", 25},      {"23:59:59,23", 2073599},
        {"00:01:00,00", 1440},    {"99:99:99:99", 99 * 108000 + 99 * 1800 + 99 * 30 + 99},
        {"--:--:--:--", 0},       {"-1:00:00:00", -108000},  // fields are signed numbers
        {" 1:00:00:00", 108000},  {"1a:00:00:00", 108000},
        {"+1:00:00:00", 108000},  {"00x01y00:00", 1800},  // characters 3 and 6 are not checked
        {"00:00:10/00", 0},                               // unknown separator
        {"00:00:10 00", 0},       {"00:00:10:0", 0},      // wrong lengths
        {"00:00:10:000", 0},      {"", 0},
    };
    Fixture f;
    for (const Case& c : cases) EXPECT_EQ(f.tc.TcToFrames(c.text), c.frames) << c.text;
}

TEST(TcToFrames, LeavesTheInstanceRateAlone) {
    Fixture f;
    f.tc.SetFrameRate(25);
    EXPECT_EQ(f.tc.TcToFrames("00:00:01;00"), 30);
    EXPECT_EQ(f.tc.FrameRate(), 25);
    Fixture g;
    g.tc.TcToFrames("00:00:01,00");
    EXPECT_EQ(g.tc.FrameRate(), 0);
}

TEST(AddTc, EachOperandAtItsOwnRateSumAtRateOfA) {
    struct Case {
        std::string a;
        std::string b;
        std::string sum;
    };
    const Case cases[] = {
        {"23:59:59;29", "00:00:00;01", "00:00:00;00"},
        {"00:00:10:00", "00:00:00;02", "00:00:10:02"},
        {"00:00:10;00", "00:00:01.00", "00:00:10;25"},
        {"00:00:00,00", "00:00:01:00", "00:00:01,06"},
        {"00:00:59;29", "00:00:00;01", "00:01:00;02"},
        {"23:00:00.00", "02:00:00.00", "01:00:00.00"},
        {"-1:00:00:00", "00:00:00:00", "--:--:--:--"},
        {" 00:00:10:00 ", "00:00:00:01", "00:00:10:01"},
        {std::string("00:00:10:00\0", 12), "00:00:00:01", "00:00:10:01"},
        {"00:00:10:0", "00:00:00:01", ""},
        {"00:00:10:00", "00:00:00:001", ""},
        {"", "00:00:00:01", ""},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.tc.AddTc(c.a, c.b), c.sum) << c.a << " + " << c.b;
    }
}

TEST(AddTc, CleansNulAnd255Padding) {
    Fixture f;
    const std::string a("00:00:10:00\0\0", 13);
    const std::string b = std::string(1, '\xff') + "00:00:00:01" + std::string(2, '\xff');
    EXPECT_EQ(f.tc.AddTc(a, b), "00:00:10:01");
}

TEST(AddTc, SeparatorOfASetsTheRateForLaterCalls) {
    Fixture f;
    EXPECT_EQ(f.tc.AddTc("00:00:00.00", "00:00:00.01"), "00:00:00.01");
    EXPECT_EQ(f.tc.FrameRate(), 25);
    EXPECT_EQ(f.tc.FramesToTc(25), "00:00:01.00");
    EXPECT_EQ(f.tc.FormatEntry("1234", 0), "12.34");
}

TEST(AddTc, UnknownSeparatorOfAKeepsTheRate) {
    Fixture f;
    f.tc.SetFrameRate(24);
    // a reads as 0 frames; the sum is b written at the kept rate
    EXPECT_EQ(f.tc.AddTc("00:00:10/00", "00:00:01:00"), "00:00:01,06");
    EXPECT_EQ(f.tc.FrameRate(), 24);
    Fixture g;  // no rate yet: the program-wide code is used
    EXPECT_EQ(g.tc.AddTc("00:00:10/00", "00:00:01:00"), "00:00:01;00");
    EXPECT_EQ(g.tc.FrameRate(), 29);
}

TEST(AddTc, WrongLengthLeavesTheRateAlone) {
    Fixture f;
    f.tc.SetFrameRate(24);
    EXPECT_EQ(f.tc.AddTc("00:00:10.0", "00:00:00.01"), "");
    EXPECT_EQ(f.tc.FrameRate(), 24);
}

TEST(FormatEntry, KeypadFormats) {
    struct Case {
        int32_t code;
        const char* typed;
        int32_t pad;
        const char* shown;
    };
    const Case cases[] = {
        {29, "", 0, ""},
        {29, "7", 0, "7"},
        {29, "12", 0, "12"},
        {29, "+12", 0, "+12"},
        {29, "123", 0, "1;23"},
        {29, "1234", 0, "12;34"},
        {29, "12345", 0, "1:23;45"},
        {29, "123456", 0, "12:34;56"},
        {29, "1234567", 0, "1:23:45;67"},
        {29, "12345678", 0, "12:34:56;78"},
        {29, "123456789", 0, "23:45:67;89"},  // only the last eight are kept
        {29, "-1:02", 0, "-1;02"},
        {29, "+-12", 0, "-12"},  // "-" wins over "+"
        {29, "1-2+3", 0, "-1;23"},
        {29, "12:34;56.78,9", 0, "23:45:67;89"},  // typed separators are dropped
        {29, "1a2b3", 0, "1:a2;b3"},              // no digit check
        {29, "1234", 1, "00:00:12;34"},
        {29, "", 1, "00:00:00;00"},
        {29, "-5", 1, "-00:00:00;05"},
        {29, "00:00:12;34", 1, "00:00:12;34"},  // a formed timecode formats to itself
        {30, "1234", 0, "12:34"},
        {30, "12345678", 0, "12:34:56:78"},
        {25, "0", 1, "00:00:00.00"},
        {25, "1234", 0, "12.34"},
        {24, "1234", 0, "12,34"},
        {24, "1", 7, "00:00:00,01"},  // any non-zero pad flag pads
    };
    for (const Case& c : cases) {
        Fixture f;
        f.tc.SetFrameRate(c.code);
        EXPECT_EQ(f.tc.FormatEntry(c.typed, c.pad), c.shown)
            << "code " << c.code << " typed '" << c.typed << "' pad " << c.pad;
    }
}

TEST(EnsureRate, CopiesTheProgramCodeOnFirstUse) {
    Fixture f(25);
    EXPECT_EQ(f.tc.FrameRate(), 0);
    EXPECT_EQ(f.tc.FramesToTc(25), "00:00:01.00");
    EXPECT_EQ(f.tc.FrameRate(), 25);
    // later changes of the program code do not reach a rate already held
    f.program = 24;
    EXPECT_EQ(f.tc.FormatEntry("1234", 0), "12.34");
}

TEST(EnsureRate, ProgramCodeZeroBecomes29AndIsWrittenBack) {
    Fixture f(0);
    EXPECT_EQ(f.tc.FormatEntry("1234", 0), "12;34");
    EXPECT_EQ(f.program, 29);
    EXPECT_EQ(f.tc.FrameRate(), 29);
}

TEST(EnsureRate, UnknownInstanceCodeIsReplaced) {
    for (int32_t bad : {0, 1, 23, 28, 31, 60, -29}) {
        Fixture f(30);
        f.tc.SetFrameRate(bad);
        EXPECT_EQ(f.tc.FramesToTc(1800), "00:01:00:00") << bad;
        EXPECT_EQ(f.tc.FrameRate(), 30);
    }
}

TEST(EnsureRate, UnknownProgramCodeFallsBackTo29) {
    // no table exists for such a code; converting with it must not happen
    Fixture f(31);
    EXPECT_EQ(f.tc.FramesToTc(1800), "00:01:00;02");
    EXPECT_EQ(f.tc.FrameRate(), 29);
    EXPECT_EQ(f.program, 31);
}

TEST(EnsureRate, ReachesASettingsObjectThroughItsAccessors) {
    struct Settings {
        int32_t code = 0;
        int32_t FrameRateCode() const { return code; }
        void SetFrameRateCode(int32_t c) { code = c; }
    } settings;
    cTcMath tc(FrameRateOfSettings(settings));
    EXPECT_EQ(tc.FramesToTc(1800), "00:01:00;02");
    EXPECT_EQ(settings.code, 29);
}

TEST(EnsureRate, WithoutSettingsAccessUses29) {
    cTcMath tc{FrameRateAccess{}};
    EXPECT_EQ(tc.FramesToTc(107892), "01:00:00;00");
}

}  // namespace
}  // namespace tarvolen
