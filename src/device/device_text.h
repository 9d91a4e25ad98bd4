// Reading the few elements the device layer takes out of recorder replies,
// and the fixed pieces of the documents it sends.
#pragma once

#include <string>
#include <string_view>

namespace tarvolen {

// The XML declaration line every document to a recorder starts with.
inline constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\"?>\r\n";

// The content of the first element opened by tag ("<Volumes>"), tags found
// without regard to letter case, up to its closing tag or to the end of the
// text when that is missing; "&amp;" decoded. Empty when the tag is absent.
std::string ReplyTagValue(std::string_view tag, std::string_view source);
// The same content as it stands, nothing decoded: for a value decoded once,
// at the leaf.
std::string ReplyTagText(std::string_view tag, std::string_view source);

}  // namespace tarvolen
