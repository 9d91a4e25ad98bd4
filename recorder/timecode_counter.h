// The emulator counts its frames with the protocol's own timecode text.
#pragma once

#include "platform/wire/timecode.h"

namespace tarvolen::recorder {

using wire::FramesPerDay;
using wire::FramesToTimecode;
using wire::Info;
using wire::ParseRate;
using wire::Rate;
using wire::RateInfo;
using wire::TimecodeToFrames;

}  // namespace tarvolen::recorder
