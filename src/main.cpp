// tarvolen: the controller, talking to its recorders over the recorder link.
#include "platform/recorder_link/recorder_link.h"
#include "windows/program.h"

int main(int argc, char** argv) {
    auto link = tarvolen::link::InstallRecorderLink();
    return tarvolen::RunTarvolen(argc, argv);
}
