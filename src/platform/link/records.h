// The device records as both links read and fill them: a record is taken
// only when its size field says it is whole, text blocks are read up to
// their fill, and a channel's document is told apart from its channel tag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/records.h"

namespace tarvolen::link {

template <class T>
const T* InputRecord(std::intptr_t input) {
    auto* r = reinterpret_cast<const T*>(input);
    return r && r->size >= static_cast<int32_t>(sizeof(T)) ? r : nullptr;
}

template <class T>
T* OutputRecord(void* output) {
    auto* r = static_cast<T*>(output);
    return r && r->size >= static_cast<int32_t>(sizeof(T)) ? r : nullptr;
}

// The text of a block up to its first NUL, trailing fill removed.
std::string BlockText(const TextBlock* block);
void FillBlock(TextBlock* block, std::string_view text);

// The value between the first <tag> and the next </tag>, letter case ignored.
std::string TagValue(std::string_view text, std::string_view tag);

// A channel number 0-23 as a document writes it.
bool ParseChannel(std::string_view text, int& ch);

// A "<Chan>N</Chan>" document's channel and what follows the tag, line ends
// before it removed; false without a readable channel tag.
bool ChannelDocument(std::string_view text, int& ch, std::string& document);

// Code 85's "<Chan>N</Chan><IpAddress>A</IpAddress><Vtr>V</Vtr>": channel,
// address (at most an address field's width) and internal channel 1-4.
bool AddressDocument(std::string_view text, int& ch, std::string& address, int& internal);

// Calls that are not requests to a recorder: a batch holding one is made
// call by call.
bool IsDirectCall(int32_t code);

}  // namespace tarvolen::link
