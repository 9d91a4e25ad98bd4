#include "shell/shared_routines.h"
#include "shell/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tarvolen {
namespace {

struct AutoRecCase {
    const char* command_line;
    int32_t value;
};

std::ostream& operator<<(std::ostream& os, const AutoRecCase& c) {
    return os << c.command_line;
}

class AutoRecTest : public ::testing::TestWithParam<AutoRecCase> {};

TEST_P(AutoRecTest, ValueFromCommandLine) {
    EXPECT_EQ(CommandLineAutoRecord(GetParam().command_line), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutoRecTest,
    ::testing::Values(AutoRecCase{"autorec=600", 600}, AutoRecCase{"AUTOREC=600", 600},
                      AutoRecCase{"AutoRec=3600", 3600}, AutoRecCase{"x autorec=5", 0},
                      AutoRecCase{"  autorec=  42", 42}, AutoRecCase{"autorec=60 other", 60},
                      AutoRecCase{"autorec=autorec=7", 7}, AutoRecCase{"autorec=", 0},
                      AutoRecCase{"autorec=abc", 0}, AutoRecCase{"600", 0}, AutoRecCase{"", 0},
                      AutoRecCase{"autorec=99999999999", 2147483647}));

struct AddressCase {
    const char* text;
    uint32_t packed;
};

std::ostream& operator<<(std::ostream& os, const AddressCase& c) {
    return os << c.text;
}

class AddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, PacksFirstOctetHighest) {
    EXPECT_EQ(AddressToNumber(GetParam().text), GetParam().packed);
}

INSTANTIATE_TEST_SUITE_P(Cases, AddressTest,
                         ::testing::Values(AddressCase{"127.0.0.101", 0x7F000065u},
                                           AddressCase{"192.168.1.2", 0xC0A80102u},
                                           AddressCase{"255.255.255.255", 0xFFFFFFFFu},
                                           AddressCase{"0.0.0.0", 0u},
                                           AddressCase{"10.1", 0x0A010000u}, AddressCase{"", 0u},
                                           AddressCase{"300.1.1.1", 0x2C010101u},
                                           AddressCase{" 10. 2.x.4", 0x0A020004u},
                                           AddressCase{"1.2.3.4.5", 0x01020304u}));

TEST(Address, ByteSwapReversesBytes) {
    EXPECT_EQ(ByteSwap(0x01020304u), 0x04030201u);
    EXPECT_EQ(ByteSwap(ByteSwap(0xDEADBEEFu)), 0xDEADBEEFu);
    EXPECT_EQ(ByteSwap(0u), 0u);
}

TEST(Address, NumberToAddressReadsLowestByteFirst) {
    EXPECT_EQ(NumberToAddress(0x0401A8C0u), "192.168.1.4");
    EXPECT_EQ(NumberToAddress(0u), "0.0.0.0");
    EXPECT_EQ(NumberToAddress(0xFFFFFFFFu), "255.255.255.255");
}

TEST(Address, RoundTripThroughPackedForm) {
    for (const char* a : {"127.0.0.101", "10.0.0.1", "192.168.255.0", "1.2.3.4", "0.0.0.0"}) {
        EXPECT_EQ(NumberToAddress(ByteSwap(AddressToNumber(a))), a);
    }
}

TEST(CleanText, DropsTheFillingOfAFieldButNothingWithinIt) {
    using namespace std::string_literals;
    const struct {
        std::string field, clean;
    } cases[] = {
        {std::string(16, '\0'), ""},
        {"A" + std::string(9, ' ') + "B" + std::string(8, '\0'), "A         B"},
        {"12345678" + std::string(8, ' ') + "12345678" + std::string(8, ' '),
         "12345678        12345678"},
        {"x  \0\0  \0\0"s, "x"},  // blanks and zero bytes mixed in one word
        {"\xFF\xFF\xFFx" + std::string(9, '\xFF'), "x"},
        {" a\0b \0"s, "a b"},
        {"abcd    ", "abcd"},
        {"abc", "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanText(c.field), c.clean) << testing::PrintToString(c.field);
}

TEST(DebugTrace, SilentUnlessEnabled) {
    ::unsetenv("TARVOLEN_TRACE");
    ::testing::internal::CaptureStderr();
    DebugTrace("quiet");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ::setenv("TARVOLEN_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    DebugTrace("hello");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "hello\n");
    ::unsetenv("TARVOLEN_TRACE");
}

}  // namespace
}  // namespace tarvolen
