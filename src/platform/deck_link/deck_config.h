// The deck's configuration and files in the controller's own documents: what
// a deck's "configuration" reply says, as the configuration document the
// Setup pages read; a document the pages send, as a "configuration" command;
// a deck's disk list, as the record file list of the clip being recorded.
// No sockets here, so tests and the fuzz target reach it directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/deck/protocol.h"

namespace tarvolen::decklink {

// The document for a 211 reply: input 0 with its video and audio input,
// encoder 0 with the file format as its codec, each with its choices.
std::string ConfigDocument(const deck::Params& configuration);

// The parameters of the "configuration" command that carries document (what
// follows the channel tag); nullopt, with why, when the document asks for
// anything the command cannot carry. The project block is the controller's
// own and is not read. Empty parameters: nothing to change.
std::optional<deck::Params> ConfigCommand(std::string_view document, std::string& why);

// The record file list of clip from a 206 disk list's body: the clip's file
// as encoder A's one primary file. Empty when the list has no such clip.
std::string RecordFileList(const deck::Params& diskList, std::string_view clip);

}  // namespace tarvolen::decklink
