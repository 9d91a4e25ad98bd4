// The words a clip directory entry's numeric codes are shown as, and the
// small rules the clip list applies to entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolen {

// Video format, codec and aspect words; the empty text for a code outside
// the tables. The aspect comes from the video format code.
std::string VideoFormatName(int32_t code);
std::string CodecName(int32_t code);
std::string AspectName(int32_t videoFormatCode);

// The frame separator a format's timecodes are shown with, or 0 to show
// them as delivered: "," for 24 and 23.98 names, "." for 25 (and 525/625).
char FrameSeparatorFor(std::string_view formatName);

// Exactly four parts separated by "." (parts may be empty).
bool IsFourPartAddress(std::string_view address);

// The codec column: the codec's word, or its number after one space.
std::string CodecColumn(int32_t code);

}  // namespace tarvolen
