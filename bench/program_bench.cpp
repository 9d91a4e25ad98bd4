// The whole controller against a bank of 24 emulated recorders run in a
// separate process, so the figures are the controller's own:
//   - start to main window shown and connected, with one recorder that never
//     greets and one that greets and then says nothing among the 24;
//   - the longest gap between two events handled on the GUI thread (a 5 ms
//     heartbeat timer) during connect and during a group Record;
//   - a recorder's state change to the channel row drawn with it (p50, p99);
//   - controller CPU with 24 idle and with 24 recording channels (the mean
//     of each window and the median of its 5 s slices), and how often each
//     recording row's timecode is drawn anew;
//   - silence, garbage, an over-long payload and a close in mid-frame on five
//     recorders while all 24 record, then Stop from the bottom strip.
// It runs twice: on Qt's offscreen platform and on the X platform (xcb) under
// Xvfb, each in a process of its own.
// BENCH_SECONDS sets the length of each CPU window (default 60); BENCH_SCREENSHOT, a
// file to save the main window in as the screen shows it while all 24 record;
// BENCH_XCB_FIRST=1 runs the X platform first.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/amp_control.h"
#include "platform/deck_link/install.h"
#include "platform/qt/qt_seam.h"
#include "recorder/bank.h"
#include "shell/app.h"
#include "shell/globals.h"
#include "shell/settings.h"
#include "shell/toolkit.h"
#include "whole_program_bench.h"
#include "windows/program.h"

namespace {

using namespace tarvolen;
using bench::Clock;
using bench::Heartbeat;
using bench::Ms;
using bench::Percentile;

// Other runs of this bench may hold a port on the same machine: each run
// takes the first free one from its own.
uint16_t g_port = 17380;

std::string Fixed(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
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
        a.sin_port = htons(g_port);
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
// While counting: per channel, the timecodes its row was drawn with.
bool g_countTimecodes = false;
std::vector<std::vector<std::string>> g_drawnTimecodes(24);

void Watch(const std::string& form, int32_t id, int32_t code, int32_t value, int32_t& cancel) {
    ApplicationEvent(form, id, code, value, cancel);
    if (form != "MAIN" || id != 100 || code != EZ_EV_OWNERDRAW) return;
    if (g_watch && g_Settings->State(0).rfind(g_wanted, 0) == 0) {
        g_seenAt = Clock::now();
        g_watch = false;
    }
    EzDrawInfo info;
    if (g_countTimecodes && EZ_STARTOWNERDRAW(value, info) && info.item % 3 == 1) {
        for (int ch = info.item / 3 * 2; ch <= info.item / 3 * 2 + 1; ++ch) {
            auto& seen = g_drawnTimecodes[size_t(ch)];
            std::string tc = g_Settings->Timecode(ch);
            if (seen.empty() || seen.back() != tc) seen.push_back(tc);
        }
    }
}

// The faults the bench asks of its bank, by address.
std::string BankVerb(recorder::Bank& bank, const std::string& verb, const std::string& address) {
    if (verb == "silent" || verb == "speak") bank.SetSilent(address, verb == "silent");
    if (verb == "mute" || verb == "unmute") bank.SetMute(address, verb == "mute");
    if (verb == "garbage") bank.SendRaw(address, "\x01\xfe garbage\n");
    if (verb == "oversize") bank.SendOversize(address);
    if (verb == "cut") bank.CutConnections(address);
    if (verb == "recording") return std::to_string(bench::Recording(bank));
    return "";
}

// CPU seconds and wake-ups (times it went to sleep) of each thread of this
// process by its name, so the figures tell the GUI thread, the status thread
// and the link's I/O thread apart. Wake-ups are counted, not timed, so they
// hold still on a busy machine where CPU shares do not.
struct ThreadUse {
    double cpu = 0;
    double wakes = 0;
};
std::map<std::string, ThreadUse> ThreadUses() {
    std::map<std::string, ThreadUse> use;
    const double tick = double(::sysconf(_SC_CLK_TCK));
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::string name = line.substr(open + 1, close - open - 1);
        if (task.path().filename() == std::to_string(::getpid())) name = "GUI";
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        double ticks = 0;
        // Fields 14 and 15 of the line: user and system time.
        for (int i = 3; i <= 15 && rest >> field; ++i)
            if (i >= 14) ticks += std::atof(field.c_str());
        ThreadUse& u = use[name];
        u.cpu += ticks / tick;
        std::ifstream status(task.path() / "status");
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                u.wakes += std::atof(line.c_str() + line.find(':') + 1);
    }
    return use;
}

bool AllRows(const char* state, int from = 0, int to = 23) {
    for (int ch = from; ch <= to; ++ch)
        if (g_Settings->State(ch).rfind(state, 0) != 0) return false;
    return true;
}

bool AllChecked() {
    for (int ch = 0; ch < 24; ++ch)
        if (!g_Settings->Checked(ch)) return false;
    return true;
}

}  // namespace

// Runs this program again in a process of its own with the platform named,
// under xvfb-run when it is the X platform.
int RunOn(const char* platform, char** argv) {
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("TARVOLEN_BENCH_PLATFORM", platform, 1);
        ::setenv("QT_QPA_PLATFORM", platform, 1);
        std::string self = std::filesystem::read_symlink("/proc/self/exe");
        if (std::string(platform) == "xcb") {
            ::execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", self.c_str(),
                     nullptr);
        } else {
            ::execl(self.c_str(), argv[0], nullptr);
        }
        std::perror("exec");
        std::_Exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int main(int argc, char** argv) {
    if (!std::getenv("TARVOLEN_BENCH_PLATFORM")) {
        std::pair<const char*, const char*> runs[] = {
            {"offscreen", "-- on Qt's offscreen platform"},
            {"xcb", "-- on the X platform (xcb) under Xvfb"}};
        if (const char* first = std::getenv("BENCH_XCB_FIRST"); first && std::string(first) == "1")
            std::swap(runs[0], runs[1]);
        int result = 0;
        for (const auto& [platform, heading] : runs) {
            std::printf("%s\n", heading);
            const int status = RunOn(platform, argv);
            if (result == 0) result = status;
        }
        return result;
    }
    int seconds = std::getenv("BENCH_SECONDS") ? std::atoi(std::getenv("BENCH_SECONDS")) : 60;
    // First: it forks, so no threads may run yet.
    g_port = uint16_t(17380 + ::getpid() % 1000 * 10);
    std::optional<bench::BankProcess> bank;
    bool bankUp = false;
    for (int attempt = 0; attempt <= 20 && !bankUp; ++attempt) {
        bank.emplace(g_port, BankVerb);
        bankUp = bank->Start();
        if (!bankUp) ++g_port;
    }
    if (!bankUp) {
        std::fprintf(stderr, "cannot start the recorder bank\n");
        return 1;
    }
    // Channel 23's recorder never greets; channel 22's greets and then says nothing.
    bank->Ask("silent 127.0.0.124");
    bank->Ask("mute 127.0.0.123");

    ::setenv("TARVOLEN_INSTANCE", ("TarVolenBench" + std::to_string(::getpid())).c_str(), 1);
    link::LinkOptions options;
    options.port = g_port;
    // As the program installs them: our link and the deck link behind the router.
    auto links = decklink::InstallLinks(options);
    std::filesystem::remove(cSettings::SettingsPathFor(cSettings::ProgramPath()));

    auto started = Clock::now();
    qt::EnsureApplication(argc, argv);
    Heartbeat heartbeat;
    heartbeat.Reset();
    qt::SetCallbacks(Watch, ApplicationDesign);
    qt::SetMessageBoxAnswerer([](auto&&...) { return 1; });
    InstallApplication(MakeApplication(argc, argv));
    ApplicationStart(0);
    bool up = PumpUntil(
        [] {
            if (!g_Ampcontrol || !g_Ampcontrol->IsConnected()) return false;
            return AllRows("Stop", 0, 21);
        },
        std::chrono::seconds(10));
    double startMs = Ms(Clock::now() - started);
    double connectGap = heartbeat.LongestMs();
    std::printf(
        "start to shown and connected, 24 recorders of which one never greets and one is silent: "
        "%.1f ms%s; longest GUI-thread gap meanwhile %.1f ms\n",
        startMs, up ? "" : " (NOT all connected)", connectGap);

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
        heartbeat.Stop();
        auto threads0 = ThreadUses();
        double cpu0 = CpuSeconds();
        auto t0 = Clock::now();
        // Five-second slices as well: their median tells the program's own
        // cost from a few seconds of a busy host, which the mean takes in.
        const int sliceSeconds = std::min(5, seconds);
        std::vector<double> slices;
        for (int done = 0; done < seconds; done += sliceSeconds) {
            const double sliceCpu0 = CpuSeconds();
            const auto sliceT0 = Clock::now();
            runLoop(std::chrono::seconds(std::min(sliceSeconds, seconds - done)));
            slices.push_back(100.0 * (CpuSeconds() - sliceCpu0) /
                             std::chrono::duration<double>(Clock::now() - sliceT0).count());
        }
        double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        double cpu = CpuSeconds() - cpu0;
        std::string split, wakes;
        for (const auto& [name, u] : ThreadUses()) {
            double share = 100.0 * (u.cpu - threads0[name].cpu) / wall;
            if (share >= 0.005) split += (split.empty() ? "" : ", ") + name + " " + Fixed(share);
            double perSecond = (u.wakes - threads0[name].wakes) / wall;
            if (perSecond >= 0.5)
                wakes += (wakes.empty() ? "" : ", ") + name + " " +
                         std::to_string(std::lround(perSecond));
        }
        std::printf(
            "controller CPU, %s, %d s: %.2f%% of one core (by thread, %%: %s); median of %zu "
            "slices of %d s %.2f%% (%.2f-%.2f)\n",
            what, seconds, 100.0 * cpu / wall, split.c_str(), slices.size(), sliceSeconds,
            Percentile(slices, 0.5), *std::min_element(slices.begin(), slices.end()),
            *std::max_element(slices.begin(), slices.end()));
        std::printf("  wake-ups a second by thread: %s\n", wakes.c_str());
    };
    cpuWindow("24 channels idle (2 of them Los)");

    // Group Record with the two bad recorders still among them.
    Pump(std::chrono::milliseconds(100));
    heartbeat.Reset();
    auto clicked = Clock::now();
    qt::DeliverEvent("MAIN", 140, EZ_EV_CLICK, 0);
    bool recording = PumpUntil([] { return AllRows("Record", 0, 21); }, std::chrono::seconds(5));
    std::printf(
        "group Record with one never-greeting and one silent recorder: 22 rows Record after %.1f "
        "ms%s; longest GUI-thread gap %.1f ms\n",
        Ms(Clock::now() - clicked), recording ? "" : " (NOT all)", heartbeat.LongestMs());

    // Transient faults on five recorders while all 24 record.
    bank->Ask("speak 127.0.0.124");
    bank->Ask("unmute 127.0.0.123");
    bool healed = PumpUntil(
        [] { return AllRows("Record", 0, 21) && AllRows("Stop", 22, 23) && AllChecked(); },
        std::chrono::seconds(10));
    qt::DeliverEvent("MAIN", 140, EZ_EV_CLICK, 0);
    bool all = PumpUntil([] { return AllRows("Record"); }, std::chrono::seconds(5));
    std::printf("the two come back%s and are checked again; all 24 recording: %s (recorders: %s)\n",
                healed ? "" : " (NOT)", all ? "yes" : "NO", bank->Ask("recording").c_str());
    cpuWindow("24 channels recording");
    // Every recording row should show every frame: count the timecodes each
    // row was drawn with against the frames that passed.
    {
        const int countSeconds = 5;
        for (auto& v : g_drawnTimecodes) v.clear();
        g_countTimecodes = true;
        runLoop(std::chrono::seconds(countSeconds));
        g_countTimecodes = false;
        // Only rows in view are drawn; the list starts scrolled to the top.
        const int visibleRows = EZ_LVCOUNTPERPAGE("MAIN", 100);
        std::vector<double> perSecond;
        for (int ch = 0; ch < 24 && (ch / 2) * 3 + 1 < visibleRows; ++ch)
            perSecond.push_back(double(g_drawnTimecodes[size_t(ch)].size()) / countSeconds);
        if (!perSecond.empty())
            std::printf(
                "timecodes drawn per recording row in view (%zu rows), %d s at 29.97 frames a "
                "second: min %.1f/s, median %.1f/s\n",
                perSecond.size(), countSeconds,
                *std::min_element(perSecond.begin(), perSecond.end()), Percentile(perSecond, 0.5));
    }
    // What the screen shows after minutes of partial repaints, not a whole
    // repaint of the window.
    if (const char* shot = std::getenv("BENCH_SCREENSHOT"); shot && *shot) {
        QWidget* window = qt::FormWidget("MAIN");
        if (window && window->screen()) window->screen()->grabWindow(window->winId()).save(shot);
    }
    bank->Ask("silent 127.0.0.101");
    auto silenced = Clock::now();
    bank->Ask("garbage 127.0.0.102");
    bank->Ask("oversize 127.0.0.103");
    bank->Ask("cut 127.0.0.104");
    bank->Ask("mute 127.0.0.105");
    PumpUntil([] { return g_Settings->State(0) == "Los"; }, std::chrono::seconds(5));
    double losMs = Ms(Clock::now() - silenced);
    Pump(std::chrono::milliseconds(5000) -
         std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - silenced));
    bank->Ask("speak 127.0.0.101");
    bank->Ask("unmute 127.0.0.105");
    auto spoke = Clock::now();
    PumpUntil([] { return g_Settings->State(0).rfind("Record", 0) == 0; }, std::chrono::seconds(5));
    double backMs = Ms(Clock::now() - spoke);
    bool back =
        PumpUntil([] { return AllRows("Record") && AllChecked(); }, std::chrono::seconds(10));
    std::printf(
        "recorder silent 5 s while recording: row Los %.0f ms after it fell silent, Record again "
        "%.0f ms after it spoke; all five back, recording and checked: %s\n",
        losMs, backMs, back ? "yes" : "NO");
    qt::DeliverEvent("MAIN", 125, EZ_EV_CLICK, 0);
    PumpUntil([&] { return bank->Ask("recording") == "0"; }, std::chrono::seconds(6));
    std::printf(
        "Stop from the bottom strip after silence, garbage, an over-long payload, a close in "
        "mid-frame and a mute on five recorders: %d of 24 recorders stopped\n",
        24 - std::atoi(bank->Ask("recording").c_str()));

    bank->Stop();
    std::fflush(stdout);
    std::_Exit(0);
}
