// Figures for the emulated decks: 24 decks answering "transport info", one at
// a time and all 24 asked at once (median and p99), and the emulator's CPU
// while 24 decks sit idle with a client each listening for notifications.
// The bank runs in a child process so its CPU time is its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/deck/client_codec.h"
#include "recorder/bank.h"

using namespace tarvolen;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDecks = 24;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Address(int i) {
    return "127.9.30." + std::to_string(i + 1);
}

struct DeckConnection {
    int fd = -1;
    deck::ReplyReader reader;

    bool Open(uint16_t port, const std::string& address) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        return connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && Reply().code == 500;
    }
    void Send(const std::string& s) { (void)!write(fd, s.data(), s.size()); }
    // The next reply to a command (5xx messages are skipped).
    deck::Response Reply() {
        for (;;) {
            deck::Response r;
            auto st = reader.Next(r);
            if (st == deck::ReplyReader::Status::kResponse) {
                if (r.IsAsync() && r.code != deck::kConnectionInfo) continue;
                return r;
            }
            if (st == deck::ReplyReader::Status::kError) std::exit(1);
            char buf[8192];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) std::exit(1);
            reader.Feed(buf, static_cast<std::size_t>(n));
        }
    }
};

void Print(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    std::printf("%s: median %.1f us, p99 %.1f us (%zu samples)\n", what, us[us.size() / 2],
                us[us.size() * 99 / 100], us.size());
}

}  // namespace

int main(int argc, char** argv) {
    double idleSeconds = 60;
    int rounds = 2000;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--quick") idleSeconds = 5, rounds = 300;

    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) return 1;
    pid_t pid = fork();
    if (pid == 0) {
        recorder::BankOptions o;
        for (int i = 0; i < kDecks; ++i) o.deckAddresses.push_back(Address(i));
        o.deckPort = 0;
        recorder::Bank bank(o);
        std::string error;
        if (!bank.Start(error)) {
            std::fprintf(stderr, "bank: %s\n", error.c_str());
            _exit(1);
        }
        uint16_t port = bank.DeckPort();
        (void)!write(toParent[1], &port, sizeof port);
        char go;
        if (read(toChild[0], &go, 1) != 1) _exit(1);
        double c0 = CpuSeconds();
        if (read(toChild[0], &go, 1) != 1) _exit(1);
        double used = CpuSeconds() - c0;
        (void)!write(toParent[1], &used, sizeof used);
        if (read(toChild[0], &go, 1) != 1) _exit(1);  // until the latencies are taken
        bank.Stop();
        _exit(0);
    }
    uint16_t port = 0;
    if (read(toParent[0], &port, sizeof port) != sizeof port) return 1;
    std::vector<DeckConnection> decks(kDecks);
    for (int i = 0; i < kDecks; ++i) {
        if (!decks[i].Open(port, Address(i))) return 1;
        decks[i].Send("notify: transport: true slot: true remote: true configuration: true\n");
        decks[i].Reply();
    }

    (void)!write(toChild[1], "g", 1);
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    (void)!write(toChild[1], "s", 1);
    double used = 0;
    if (read(toParent[0], &used, sizeof used) != sizeof used) return 1;
    std::printf(
        "emulator CPU, 24 decks idle, a client each with every notification on: "
        "%.2f%% of one core over %.0f s\n",
        100.0 * used / idleSeconds, idleSeconds);

    std::vector<double> one, all;
    const std::string ask = "transport info\n";
    for (int r = 0; r < rounds; ++r) {
        auto& d = decks[static_cast<std::size_t>(r % kDecks)];
        auto t0 = Clock::now();
        d.Send(ask);
        if (d.Reply().code != deck::kTransportInfo) return 1;
        one.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        for (auto& d : decks) d.Send(ask);
        for (auto& d : decks)
            if (d.Reply().code != deck::kTransportInfo) return 1;
        all.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    Print("transport info, one deck at a time, round trip", one);
    Print("transport info to 24 decks at once, until the last reply", all);
    (void)!write(toChild[1], "q", 1);
    waitpid(pid, nullptr, 0);
    return 0;
}
