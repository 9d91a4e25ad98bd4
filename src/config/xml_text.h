// Plain-text reading of recorder XML: elements are found by searching for
// their opening and closing tags (first match, letter case ignored) and a
// document is consumed by cutting out what has been read.
#pragma once

#include <string>
#include <string_view>

#include "shell/text.h"

namespace tarvolen {

// The content of the first element opened by tag ("<index>"), up to its
// closing tag or to the end of source when that is missing; "&amp;" decoded.
// A tag without its final ">" ("<disk") reads an attribute element up to its
// "/>", cleaned.
std::string XmlTagValue(std::string_view tag, std::string_view source);

// For a run of elements opened by tag, each with a <type> and a <name>:
// "v1;v2;|l1;l2;". Empty for an empty source.
std::string XmlItemLists(std::string_view tag, std::string_view source);

// source without the first exact occurrence of needle.
std::string RemoveFirst(std::string_view needle, std::string_view source);

// XmlTagValue, and the element read is cut out of source where it was found
// (opening tag, content and closing tag, whatever the letter case of its
// tags). Only that element goes: a later copy of it is the next element of a
// run, read in its turn. An element without its closing tag is read but not
// cut, since its end is unknown; closed then says false, and a reader walking
// a run stops after it. Readers that walk a run use this so that they always
// make progress.
std::string XmlTakeTagValue(std::string_view tag, std::string& source, bool* closed = nullptr);

// The raw content of the first element opened by tag (normal form only),
// nothing decoded: for readers that walk nested elements and decode each
// value once, at the leaf.
std::string XmlTagText(std::string_view tag, std::string_view source);
// XmlTagText, cut out of source as XmlTakeTagValue does.
std::string XmlTakeTagText(std::string_view tag, std::string& source, bool* closed = nullptr);

// XmlDecode, the one pass over a value that gives back its bytes, lives with
// the shell's text routines: the device layer reads recorder texts too.
// A value made fit for element content, whatever its bytes: & < > as entities,
// tab, line ends and bytes from 127 up as numeric references (one byte, one
// character), other control bytes left out (XML cannot carry them).
std::string XmlEscape(std::string_view text);

}  // namespace tarvolen
