// The naming templates are expanded the same way by the controller for decks.
#pragma once

#include "platform/wire/naming.h"

namespace tarvolen::recorder {
using wire::ExpandTemplate;
using wire::kMaxClipName;
using wire::NamingContext;
using wire::SanitizeName;
}  // namespace tarvolen::recorder
