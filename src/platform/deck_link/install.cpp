#include "platform/deck_link/install.h"

#include "shell/globals.h"
#include "shell/settings.h"

namespace tarvolen::decklink {

InstalledLinks InstallLinks(link::LinkOptions ours, DeckLinkOptions decks) {
    if (!decks.portOf)
        decks.portOf = [](int32_t ch) { return g_Settings ? g_Settings->Port(ch) : 0; };
    if (!decks.namingOf) {
        decks.namingOf = [](int32_t ch) {
            RecordNaming n;
            if (g_Settings) {
                n.project = g_Settings->Project(ch);
                n.scene = g_Settings->SceneName(ch);
                n.nameTemplate = g_Settings->BaseName(ch);
            }
            return n;
        };
    }
    InstalledLinks links;
    links.ours = std::make_shared<link::RecorderLink>(ours);
    links.decks = std::make_shared<DeckLink>(std::move(decks));
    links.router = InstallDeviceRouter(
        {links.ours->AmpLibrary(), links.ours->ClipDirLibrary()},
        {links.decks->AmpLibrary(), links.decks->ClipDirLibrary()},
        [](int32_t ch) { return g_Settings ? g_Settings->Protocol(ch) : kProtocolOurs; });
    return links;
}

}  // namespace tarvolen::decklink
