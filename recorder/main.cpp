// tarvolen-recorder: a bank of emulated recorders and decks on loopback addresses.
#include <csignal>
#include <cstdio>
#include <thread>

#include "recorder/bank.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main(int argc, char** argv) {
    using namespace tarvolen::recorder;
    std::vector<std::string> args(argv + 1, argv + argc);
    BankOptions options;
    std::string error;
    bool help = false;
    if (!ParseBankArguments(args, options, error, help)) {
        if (help) {
            std::fputs(BankUsage().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "tarvolen-recorder: %s\n%s", error.c_str(), BankUsage().c_str());
        return 2;
    }
    Bank bank(options);
    if (!bank.Start(error)) {
        std::fprintf(stderr, "tarvolen-recorder: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (!options.addresses.empty())
        std::fprintf(stderr, "tarvolen-recorder: %zu recorders on port %u, %d channels each\n",
                     options.addresses.size(), bank.Port(), options.channels);
    if (!options.deckAddresses.empty())
        std::fprintf(stderr, "tarvolen-recorder: %zu decks on port %u, one channel each\n",
                     options.deckAddresses.size(), bank.DeckPort());
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bank.Stop();
    return 0;
}
