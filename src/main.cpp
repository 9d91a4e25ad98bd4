// tarvolen: the controller, talking to its recorders and decks over their links.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/deck_link/install.h"
#include "shell/app.h"
#include "windows/program.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (auto answer = tarvolen::InformationRequested(args, TARVOLEN_VERSION)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    auto links = tarvolen::decklink::InstallLinks();
    return tarvolen::RunTarvolen(argc, argv);
}
