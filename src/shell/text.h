// Small text routines shared by every folder: the cleaning every fixed-width
// field is read through, fixed-width storage and the lenient number reading.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolen {

// What fills out a fixed-width field: a space, byte 0 or byte 255.
inline bool IsFiller(char c) {
    return c == ' ' || c == '\0' || static_cast<unsigned char>(c) == 0xFF;
}

// The length of text without the fillers it ends with. A device record's
// fields are mostly filler: runs of blanks or of zero bytes are skipped
// eight at a time.
size_t FilledEnd(std::string_view text);

// Bytes 0 and 255 become spaces, then leading and trailing spaces go.
std::string CleanText(std::string_view text);

// The text cut to width or filled out with spaces.
std::string FixedWidth(std::string_view text, size_t width);
// The same, into out, reusing its room.
void AssignFixedWidth(std::string& out, std::string_view text, size_t width);

// Copies text into a fixed field of a device record: cut or space-filled.
void StoreField(char* field, size_t width, std::string_view text);
// Reads a fixed field of a device record through CleanText.
std::string ReadField(const char* field, size_t width);

// The numeric value of the leading part of the text: leading spaces skipped,
// an optional sign, digits; anything else reads as 0. Saturates at 32 bits.
int32_t LeadingNumber(std::string_view text);

std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);

// One pass over an XML value: &amp; &lt; &gt; &quot; &apos; and numeric
// references to bytes 1-255 become their byte; anything else stays as written.
std::string XmlDecode(std::string_view text);

// An address that names no recorder: blank, or 0.0.0.0, which a socket would
// take for this machine.
bool NoRecorderAddress(std::string_view address);

}  // namespace tarvolen
