// The device libraries the controller installs: our recorder link and the
// deck link behind the router, each channel going where its protocol says.
#pragma once

#include <memory>

#include "device/device_router.h"
#include "platform/deck_link/deck_link.h"
#include "platform/recorder_link/recorder_link.h"

namespace tarvolen::decklink {

struct InstalledLinks {
    std::shared_ptr<link::RecorderLink> ours;
    std::shared_ptr<DeckLink> decks;
    std::shared_ptr<DeviceRouter> router;
};

// Protocols, ports and naming come from the channel table (g_Settings) unless
// the deck options name their own.
InstalledLinks InstallLinks(link::LinkOptions ours = link::LinkOptions::FromEnvironment(),
                            DeckLinkOptions decks = {});

}  // namespace tarvolen::decklink
