// tarvolen: the controller, talking to its recorders and decks over their links.
#include "platform/deck_link/install.h"
#include "windows/program.h"

int main(int argc, char** argv) {
    auto links = tarvolen::decklink::InstallLinks();
    return tarvolen::RunTarvolen(argc, argv);
}
