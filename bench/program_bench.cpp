// The whole controller against a bank of 24 emulated recorders run as a
// separate process, so the figures are the controller's own:
//   - start to main window shown and connected to 24 recorders;
//   - a recorder's state change to the channel row drawn with it (p50, p99);
//   - controller CPU with 24 idle and with 24 recording channels.
// BENCH_SECONDS sets the length of each CPU window (default 60).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "device/amp_control.h"
#include "platform/qt/qt_seam.h"
#include "platform/recorder_link/recorder_link.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "windows/program.h"

extern char** environ;

namespace {

using namespace tarvolen;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kPort = 17380;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Pump(std::chrono::milliseconds for_) {
    auto end = Clock::now() + for_;
    while (Clock::now() < end) {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

template <typename Pred>
bool PumpUntil(Pred pred, std::chrono::milliseconds timeout) {
    auto end = Clock::now() + timeout;
    while (!pred() && Clock::now() < end) {
        EZ_DOEVENTS(255);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return pred();
}

// A plain protocol session of our own with one recorder, to change its state
// behind the controller's back.
class RawSession {
  public:
    bool Open(const char* address) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(kPort);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
        char buf[512];
        return ::read(fd_, buf, sizeof buf) > 0;  // the greeting
    }
    void Send(const std::string& line) {
        std::string l = std::to_string(++id_) + " " + line + "\n";
        if (::write(fd_, l.data(), l.size()) < 0) return;
        char buf[512];
        (void)::read(fd_, buf, sizeof buf);
    }
    ~RawSession() {
        if (fd_ >= 0) ::close(fd_);
    }

  private:
    int fd_ = -1;
    int id_ = 0;
};

// The rows drawn, as the toolkit asks the program to draw them.
std::atomic<bool> g_watch{false};
std::string g_wanted;
Clock::time_point g_seenAt;

void Watch(const std::string& form, int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    ApplicationEvent(form, id, code, value, cancel);
    if (g_watch && form == "MAIN" && id == 100 && code == EZ_EV_OWNERDRAW &&
        g_Settings->State(0).rfind(g_wanted, 0) == 0) {
        g_seenAt = Clock::now();
        g_watch = false;
    }
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = std::getenv("BENCH_SECONDS") ? std::atoi(std::getenv("BENCH_SECONDS")) : 60;
    std::string bin = std::filesystem::path(argv[0]).parent_path().string();
    std::string recorder = bin + "/tarvolen-recorder";
    std::string port = std::to_string(kPort);
    std::vector<std::string> args = {recorder, "--bank", "127.0.0.101-124", "--port", port};
    std::vector<char*> av;
    for (auto& a : args) av.push_back(a.data());
    av.push_back(nullptr);
    pid_t bank = 0;
    if (posix_spawn(&bank, recorder.c_str(), nullptr, nullptr, av.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", recorder.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    ::setenv("TARVOLEN_INSTANCE", ("TarVolenBench" + std::to_string(::getpid())).c_str(), 1);
    link::LinkOptions options;
    options.port = kPort;
    auto theLink = link::InstallRecorderLink(options);
    std::filesystem::remove(cSettings::SettingsPathFor(cSettings::ProgramPath()));

    auto started = Clock::now();
    qt::EnsureApplication(argc, argv);
    qt::SetCallbacks(Watch, ApplicationDesign);
    qt::SetMessageBoxAnswerer([](auto&&...) { return 1; });
    InstallApplication(MakeApplication(argc, argv));
    ApplicationStart(0);
    bool up = PumpUntil(
        [] {
            if (!g_Ampcontrol || !g_Ampcontrol->IsConnected()) return false;
            for (int ch = 0; ch < 24; ++ch) {
                if (g_Settings->State(ch) != "Stop") return false;
            }
            return true;
        },
        std::chrono::seconds(10));
    double startMs = Ms(Clock::now() - started);
    std::printf("start to shown and connected to 24 recorders: %.1f ms%s\n", startMs,
                up ? "" : " (NOT all connected)");

    // State change on the recorder to the row drawn with the new state.
    RawSession raw;
    if (raw.Open("127.0.0.101")) {
        std::vector<double> lat;
        for (int i = 0; i < 60; ++i) {
            g_wanted = i % 2 == 0 ? "Play" : "Stop";
            g_watch = true;
            auto sent = Clock::now();
            raw.Send(i % 2 == 0 ? "PLAY 1" : "STOP 1");
            if (PumpUntil([] { return !g_watch.load(); }, std::chrono::seconds(2)))
                lat.push_back(Ms(g_seenAt - sent));
            Pump(std::chrono::milliseconds(20));
        }
        g_watch = false;
        if (!lat.empty())
            std::printf(
                "state change to row drawn (%zu changes): p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                lat.size(), Percentile(lat, 0.5), Percentile(lat, 0.99),
                *std::max_element(lat.begin(), lat.end()));
    }

    // The window's own message loop, as the program runs it: it sleeps until
    // something happens.
    auto runLoop = [](std::chrono::seconds length) {
        QEventLoop loop;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(length), &loop,
                           &QEventLoop::quit);
        loop.exec();
    };
    auto cpuWindow = [&](const char* what) {
        double cpu0 = CpuSeconds();
        auto t0 = Clock::now();
        runLoop(std::chrono::seconds(seconds));
        double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("controller CPU, %s, %d s: %.2f%% of one core\n", what, seconds,
                    100.0 * (CpuSeconds() - cpu0) / wall);
    };
    cpuWindow("24 channels idle");
    qt::DeliverEvent("MAIN", 140, EZ_EV_CLICK, 0);
    PumpUntil([] { return g_Settings->State(23).rfind("Record", 0) == 0; },
              std::chrono::seconds(5));
    cpuWindow("24 channels recording");

    ::kill(bank, SIGTERM);
    ::waitpid(bank, nullptr, 0);
    std::fflush(stdout);
    std::_Exit(0);
}
