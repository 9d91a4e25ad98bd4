// Number and value forms shared by the configuration reader, the document
// builder and the Setup pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvolen {

// The numeric value of the leading part of a text (spaces skipped, optional
// sign, digits with an optional point and exponent), whatever the locale;
// 0 when there is none or it is not finite.
double LeadingReal(std::string_view text);
// LeadingReal rounded to the nearest whole number, held to 32 bits.
int32_t NearestWhole(std::string_view text);
// A slot index as a document gives it, or nothing when it is not 0-20.
std::optional<int32_t> SlotIndex(std::string_view text);

// A frame rate as a document gives it, as the model holds it: four digits
// ("2997") have their point after the second.
float FrameRateOf(std::string_view text);
// A real held to single precision's range.
float ToSingle(double value);
// A frame rate as decimal text with at most 7 significant digits
// (29.97, 25, 23.976).
std::string FrameRateText(float rate);

}  // namespace tarvolen
