// Routines shared by the windows: the debug trace, the packed address form
// the address editor uses, and the command-line auto-record value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolen {

// One line to standard error when TARVOLEN_TRACE=1; silent otherwise.
void DebugTrace(std::string_view text);

// "a.b.c.d" → a×2^24 + b×2^16 + c×2^8 + d, each field's leading number kept
// to its low byte; missing fields count 0.
uint32_t AddressToNumber(std::string_view address);
uint32_t ByteSwap(uint32_t value);
// The four bytes from the lowest to the highest, in decimal, joined by ".".
std::string NumberToAddress(uint32_t value);

// The auto-record value of a command line (the text after the program name):
// every "autorec=" in any letter case is removed and the leading number of
// what remains is the value; 0 when "autorec=" is absent or no number follows.
int32_t CommandLineAutoRecord(std::string_view command_line);

}  // namespace tarvolen
