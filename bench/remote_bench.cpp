// The remote surface of the whole controller, against 24 emulated recorders
// in a separate process:
//   - 50 idle connections, 10,000 garbage lines and a 1 MB line: the longest
//     gap between two ticks of a 5 ms timer on the GUI thread meanwhile, and
//     a group record from a panel afterwards;
//   - a panel's "record" to the first RECORD that reached a recorder (the
//     bank's journal), median and p99, and the spread to the last.
// BENCH_CYCLES sets the number of record/stop cycles (default 40).
#include <poll.h>
#include <unistd.h>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/amp_control.h"
#include "platform/qt/qt_seam.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "tests/platform/loopback_client.h"
#include "whole_program_bench.h"
#include "windows/program.h"

namespace {

using namespace tarvolen;
using bench::BankProcess;
using bench::Clock;
using bench::Heartbeat;
using bench::Ms;
using bench::Percentile;

constexpr uint16_t kBankPort = 17381;
constexpr uint16_t kRemotePort = 19993;

int64_t EpochMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A panel's connection, blocking with a bound on every wait.
class Panel {
  public:
    bool Open() {
        fd_ = tarvolen::testing::ConnectLoopback(kRemotePort);
        return fd_ >= 0 && Until("\r\n\r\n");  // the greeting
    }
    ~Panel() {
        if (fd_ >= 0) ::close(fd_);
    }
    void Send(const std::string& bytes) { tarvolen::testing::WriteAll(fd_, bytes); }
    // Waits for text; what came before it and the text itself are dropped.
    bool Until(const std::string& text, int ms = 10000) {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            size_t at = in_.find(text);
            if (at != std::string::npos) {
                in_.erase(0, at + text.size());
                return true;
            }
            int left = int(Ms(end - Clock::now()));
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0) return false;
            char buf[65536];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) return false;
            in_.append(buf, size_t(n));
        }
    }
    // Counts occurrences of text until want have come.
    int Count(const std::string& text, int want, int ms = 20000) {
        int n = 0;
        while (n < want && Until(text, ms)) ++n;
        return n;
    }

  private:
    int fd_ = -1;
    std::string in_;
};

// Runs work on a thread of its own while the GUI thread runs its message loop
// as the program does, until the work is done.
template <typename Work>
void WhileWindowRuns(Work work) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        work();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) loop.quit();
    });
    poll.start(10);
    loop.exec();
    t.join();
}

}  // namespace

int main(int argc, char** argv) {
    int cycles = std::getenv("BENCH_CYCLES") ? std::atoi(std::getenv("BENCH_CYCLES")) : 40;
    // "records SINCE": how many RECORDs reached a recorder after SINCE (µs
    // since the epoch), the first and the last arrival.
    BankProcess bank(
        kBankPort,
        [](recorder::Bank& bank, const std::string& verb, const std::string& rest) -> std::string {
            if (verb == "recording") return std::to_string(bench::Recording(bank));
            if (verb != "records") return {};
            int64_t since = std::atoll(rest.c_str()), first = 0, last = 0;
            int n = 0;
            for (const auto& e : bank.Journal()) {
                if (e.request != "RECORD" || e.received < since) continue;
                first = n == 0 ? e.received : std::min(first, e.received);
                last = std::max(last, e.received);
                ++n;
            }
            return std::to_string(n) + " " + std::to_string(first) + " " + std::to_string(last);
        });  // first: it forks
    if (!bank.Start()) {
        std::fprintf(stderr, "cannot start the recorder bank\n");
        return 1;
    }
    ::setenv("TARVOLEN_INSTANCE", ("TarVolenRemoteBench" + std::to_string(::getpid())).c_str(), 1);
    link::LinkOptions options;
    options.port = kBankPort;
    auto theLink = link::InstallRecorderLink(options);
    std::filesystem::remove(cSettings::SettingsPathFor(cSettings::ProgramPath()));

    qt::EnsureApplication(argc, argv);
    Heartbeat heartbeat;
    qt::SetCallbacks(ApplicationEvent, ApplicationDesign);
    qt::SetMessageBoxAnswerer([](auto&&...) { return 1; });
    std::string arg0 = "tarvolen", arg1 = "remote=" + std::to_string(kRemotePort);
    char* args[] = {arg0.data(), arg1.data(), nullptr};
    InstallApplication(MakeApplication(2, args));
    ApplicationStart(0);
    auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        EZ_DOEVENTS(255);
        bool up = g_Ampcontrol && g_Ampcontrol->IsConnected();
        for (int ch = 0; up && ch < 24; ++ch) up = g_Settings->State(ch) == "Stop";
        if (up) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    // Bad and idle clients while the window runs.
    std::vector<std::unique_ptr<Panel>> idle;
    int idleOpen = 0, garbageAnswered = 0;
    bool longLineAnswered = false;
    heartbeat.Reset();
    WhileWindowRuns([&] {
        for (int i = 0; i < 50; ++i) {
            idle.push_back(std::make_unique<Panel>());
            idleOpen += idle.back()->Open();
        }
        Panel garbage;
        if (garbage.Open()) {
            std::string lines;
            for (int i = 0; i < 10000; ++i)
                lines += "\x01\xfegarbage line " + std::to_string(i) + "\r\n";
            std::thread writer([&] { garbage.Send(lines); });
            garbageAnswered = garbage.Count("100 syntax error\r\n", 10000);
            writer.join();
        }
        Panel longLine;
        if (longLine.Open()) {
            std::thread writer([&] { longLine.Send(std::string(1 << 20, 'x') + "\r\nping\r\n"); });
            longLineAnswered =
                longLine.Until("100 syntax error\r\n") && longLine.Until("200 ok\r\n");
            writer.join();
        }
    });
    double gap = heartbeat.LongestMs();
    std::printf(
        "50 idle connections (%d greeted), 10,000 garbage lines (%d answered 100), a 1 MB line "
        "(%s): longest GUI-thread gap %.1f ms\n",
        idleOpen, garbageAnswered,
        longLineAnswered ? "answered 100, then ping 200" : "NOT answered", gap);

    // A panel records and stops the group, over and over.
    std::vector<double> firstMs, spreadMs, replyMs;
    int recordedAll = 0, stoppedAll = 0;
    WhileWindowRuns([&] {
        Panel panel;
        if (!panel.Open()) return;
        for (int i = 0; i < cycles; ++i) {
            int64_t sent = EpochMicros();
            auto t0 = Clock::now();
            panel.Send("record\r\n");
            bool ok = panel.Until("200 ok\r\n");
            replyMs.push_back(Ms(Clock::now() - t0));
            std::string r = bank.Ask("records " + std::to_string(sent));
            int n = 0;
            long long first = 0, last = 0;
            std::sscanf(r.c_str(), "%d %lld %lld", &n, &first, &last);
            if (ok && n > 0) {
                firstMs.push_back(double(first - sent) / 1000.0);
                spreadMs.push_back(double(last - first) / 1000.0);
            }
            recordedAll += bank.Ask("recording") == "24";
            panel.Send("stop\r\n");
            panel.Until("200 ok\r\n");
            stoppedAll += bank.Ask("recording") == "0";
        }
    });
    std::printf("after them a panel's record: %s\n",
                recordedAll > 0 ? "all 24 recorders recording" : "NOT recording");
    std::printf(
        "panel record to the first RECORD at a recorder (%zu cycles): median %.2f ms, p99 %.2f "
        "ms; first to last of 24: median %.2f ms, p99 %.2f ms; reply 200 after median %.1f ms\n",
        firstMs.size(), Percentile(firstMs, 0.5), Percentile(firstMs, 0.99),
        Percentile(spreadMs, 0.5), Percentile(spreadMs, 0.99), Percentile(replyMs, 0.5));
    std::printf("cycles with all 24 recording after record: %d of %d; all stopped after stop: %d\n",
                recordedAll, cycles, stoppedAll);

    bank.Stop();
    std::fflush(stdout);
    std::_Exit(0);
}
