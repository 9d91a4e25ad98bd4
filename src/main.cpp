// tarvolen: the controller, talking to its recorders over the recorder link.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/recorder_link/recorder_link.h"
#include "shell/app.h"
#include "windows/program.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (auto answer = tarvolen::InformationRequested(args, TARVOLEN_VERSION)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    auto link = tarvolen::link::InstallRecorderLink();
    return tarvolen::RunTarvolen(argc, argv);
}
