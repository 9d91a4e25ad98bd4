// Figures for the recorder link against 24 emulated recorders on loopback:
// status (code 30) latency, record on 24 channels in a row, emulator CPU with
// one controller polling, a recorder killed while recording, late answers, a
// silent recorder, a long listing, and group Record walked channel by channel
// beside fanned out at several answer delays.
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/records.h"
#include "platform/recorder_link/recorder_link.h"
#include "recorder/bank.h"
#include "shell/text.h"

using namespace tarvolen;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kRecorders = 24;

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

std::vector<std::string> Addresses(int third) {
    std::vector<std::string> a;
    for (int i = 1; i <= kRecorders; ++i)
        a.push_back("127.9." + std::to_string(third) + "." + std::to_string(i));
    return a;
}

std::unique_ptr<recorder::Bank> StartBank(const std::vector<std::string>& addresses) {
    recorder::BankOptions o;
    o.addresses = addresses;
    o.port = 0;
    auto bank = std::make_unique<recorder::Bank>(o);
    std::string error;
    if (!bank->Start(error)) {
        std::fprintf(stderr, "bank: %s\n", error.c_str());
        std::exit(1);
    }
    return bank;
}

constexpr int kNeighbour = 24;  // a second channel on recorder 0

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Controller {
    link::RecorderLink link;
    ConnectTable table{};
    explicit Controller(uint16_t port)
        : link([&] {
              link::LinkOptions o;
              o.port = port;
              return o;
          }()) {}
    void Connect(const std::vector<std::string>& addresses) {
        table.size = sizeof table;
        for (int ch = 0; ch < kRecorders; ++ch) {
            table.shown[ch] = 1;
            table.internalChannel[ch] = 1;
            StoreField(table.address[ch], kAddressWidth, addresses[static_cast<std::size_t>(ch)]);
        }
        table.shown[kNeighbour] = 1;
        table.internalChannel[kNeighbour] = 2;
        StoreField(table.address[kNeighbour], kAddressWidth, addresses[0]);
        link.AmpCommand(amp::kConnect, RecordArg(&table), &table);
    }
    static std::unique_ptr<TextBlock> RecordBlock(int ch) {
        auto b = std::make_unique<TextBlock>();
        StoreField(
            b->text, kTextBlockWidth,
            "<?xml version=\"1.0\"?>\r\n<AmpClipType>\r\n\t<ClipName>?</ClipName>\r\n\t<Chan>" +
                std::to_string(ch) + "</Chan>\r\n</AmpClipType>");
        return b;
    }
    int32_t Record(int ch) {
        auto b = RecordBlock(ch);
        return link.AmpCommand(amp::kRecord, RecordArg(b.get()), nullptr);
    }
    int32_t Stop(int ch) {
        ChannelRequest r;
        r.channel = ch;
        return link.AmpCommand(amp::kStop, RecordArg(&r), nullptr);
    }
    std::string State(int ch) {
        StatusTable t{};
        t.size = sizeof t;
        link.AmpCommand(amp::kStatus, 0, &t);
        return ReadField(t.entry[ch].state, 13);
    }
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The bank runs in a child process so its CPU time is its own.
void EmulatorCpu(double seconds) {
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0 || pipe(toParent) != 0) return;
    auto addresses = Addresses(1);
    pid_t pid = fork();
    if (pid == 0) {
        auto bank = StartBank(addresses);
        uint16_t port = bank->Port();
        (void)!write(toParent[1], &port, sizeof port);
        for (int phase = 0; phase < 2; ++phase) {
            char go;
            if (read(toChild[0], &go, 1) != 1) _exit(1);
            double c0 = CpuSeconds();
            if (read(toChild[0], &go, 1) != 1) _exit(1);
            double used = CpuSeconds() - c0;
            (void)!write(toParent[1], &used, sizeof used);
        }
        bank->Stop();
        _exit(0);
    }
    uint16_t port = 0;
    if (read(toParent[0], &port, sizeof port) != sizeof port) return;
    Controller c(port);
    c.Connect(addresses);
    for (int phase = 0; phase < 2; ++phase) {
        if (phase == 1)
            for (int ch = 0; ch < kRecorders; ++ch) c.Record(ch);
        (void)!write(toChild[1], "g", 1);
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        int pass = 0;
        StatusTable t{};
        auto names = std::make_unique<ClipNameTable>();
        while (Clock::now() < end) {
            std::this_thread::sleep_for(30ms);
            t.size = sizeof t;
            c.link.AmpCommand(amp::kStatus, 0, &t);
            if (++pass % 10 == 0) {
                names->size = sizeof *names;
                c.link.AmpCommand(amp::kClipNames, 0, names.get());
            }
        }
        (void)!write(toChild[1], "s", 1);
        double used = 0;
        if (read(toParent[0], &used, sizeof used) != sizeof used) return;
        std::printf(
            "emulator CPU, 24 recorders x 4 channels, one controller polling every 30 ms, "
            "%s: %.2f%% of one core over %.0f s\n",
            phase == 0 ? "idle" : "24 channels recording", 100.0 * used / seconds, seconds);
    }
    close(toChild[1]);
    waitpid(pid, nullptr, 0);
}

void StatusLatency(Controller& c, bool recording) {
    std::vector<double> samples;
    StatusTable t{};
    for (int i = 0; i < 20000; ++i) {
        t.size = sizeof t;
        auto t0 = Clock::now();
        c.link.AmpCommand(amp::kStatus, 0, &t);
        samples.push_back(Us(Clock::now() - t0));
        if (i % 100 == 0) std::this_thread::sleep_for(1ms);
    }
    std::sort(samples.begin(), samples.end());
    std::printf(
        "code 30, 24 channels on 24 recorders (%s): p50 %.1f us, p99 %.1f us, max %.1f us "
        "(%zu calls)\n",
        recording ? "all recording, timecodes pushed" : "idle", samples[samples.size() / 2],
        samples[samples.size() * 99 / 100], samples.back(), samples.size());
}

void RecordRow(Controller& c, recorder::Bank& bank) {
    std::vector<double> totals, spreads;
    for (int round = 0; round < 20; ++round) {
        std::size_t journalStart = bank.Journal().size();
        auto t0 = Clock::now();
        for (int ch = 0; ch < kRecorders; ++ch)
            if (c.Record(ch) != 0) std::printf("record %d failed\n", ch);
        totals.push_back(Us(Clock::now() - t0));
        auto journal = bank.Journal();
        int64_t first = INT64_MAX, last = INT64_MIN;
        for (std::size_t i = journalStart; i < journal.size(); ++i) {
            if (journal[i].request != "RECORD" || journal[i].outcome != "ok") continue;
            first = std::min(first, journal[i].micros);
            last = std::max(last, journal[i].micros);
        }
        spreads.push_back(static_cast<double>(last - first));
        for (int ch = 0; ch < kRecorders; ++ch) c.Stop(ch);
    }
    std::sort(totals.begin(), totals.end());
    std::sort(spreads.begin(), spreads.end());
    std::printf(
        "code 9 on 24 channels in a row: total median %.2f ms, worst %.2f ms; spread first "
        "to last recorder (journal) median %.2f ms, worst %.2f ms (20 rounds)\n",
        totals[10] / 1000, totals.back() / 1000, spreads[10] / 1000, spreads.back() / 1000);
}

void KilledRecorder(Controller& c, recorder::Bank& bank, const std::vector<std::string>& a) {
    for (int ch = 0; ch < kRecorders; ++ch) c.Record(ch);
    const int dead = 7;
    double longest = 0;
    auto timed = [&](auto f) {
        auto t0 = Clock::now();
        auto r = f();
        longest = std::max(longest, Us(Clock::now() - t0));
        return r;
    };
    bank.StopRecorder(a[dead]);
    auto killed = Clock::now();
    while (timed([&] { return c.State(dead); }) != "Los" && Clock::now() - killed < 10s) {
    }
    double lostMs = Us(Clock::now() - killed) / 1000;
    int32_t rc = timed([&] { return c.Stop(dead); });
    bool othersRecording = true;
    for (int ch = 0; ch < kRecorders; ++ch)
        if (ch != dead) othersRecording = othersRecording && c.State(ch) == "Record";
    std::this_thread::sleep_for(500ms);
    bank.StartRecorder(a[dead]);
    auto restarted = Clock::now();
    while (timed([&] { return c.State(dead); }) != "Stop" && Clock::now() - restarted < 10s)
        std::this_thread::sleep_for(1ms);
    double backMs = Us(Clock::now() - restarted) / 1000;
    std::printf(
        "recorder killed while recording: Los after %.1f ms, command to it answered %d in "
        "the same pass, back %.1f ms after restart, longest call %.2f ms, others still "
        "recording: %s\n",
        lostMs, rc, backMs, longest / 1000, othersRecording ? "yes" : "NO");
    for (int ch = 0; ch < kRecorders; ++ch) c.Stop(ch);

    bank.SetSilent(a[3], true);
    auto t0 = Clock::now();
    rc = c.Stop(3);
    double first = Us(Clock::now() - t0) / 1000;
    t0 = Clock::now();
    int32_t rc2 = c.Stop(3);
    double second = Us(Clock::now() - t0) / 1000;
    bank.SetSilent(a[3], false);
    auto back = Clock::now();
    while (c.State(3) != "Stop" && Clock::now() - back < 10s) std::this_thread::sleep_for(1ms);
    std::printf(
        "silent recorder: first command %.1f ms (result %d), next %.3f ms (result %d), "
        "back %.1f ms after it speaks again\n",
        first, rc, second, rc2, Us(Clock::now() - back) / 1000);
}

// A recorder whose RECORD, STOP, LIST, CONFIG or SETCONFIG takes 300 ms or
// 2 s, with its neighbour channel recording next and 23 others recording.
void LateAnswers(Controller& c, recorder::Bank& bank, const std::vector<std::string>& a) {
    for (int ch = 1; ch < kRecorders; ++ch) c.Record(ch);
    const char* verbs[] = {"RECORD", "STOP", "LIST", "CONFIG", "SETCONFIG"};
    for (auto delay : {300ms, 2000ms}) {
        for (const char* verb : verbs) {
            const std::string v = verb;
            c.Stop(0);
            c.Stop(kNeighbour);
            if (v == "STOP") c.Record(0);
            bank.SetSlow(a[0], v, delay);
            int dials = c.link.Dials();
            auto t0 = Clock::now();
            int32_t rc = 0;
            if (v == "RECORD") {
                rc = c.Record(0);
            } else if (v == "STOP") {
                rc = c.Stop(0);
            } else if (v == "LIST") {
                AddressRequest req;
                StoreField(req.address, kAddressWidth, a[0]);
                CountReply count;
                rc = c.link.ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count);
            } else if (v == "CONFIG") {
                ChannelRequest r;
                r.channel = 0;
                auto out = std::make_unique<TextBlock>();
                rc = c.link.AmpCommand(amp::kGetConfig, RecordArg(&r), out.get());
            } else {
                auto b = std::make_unique<TextBlock>();
                StoreField(b->text, kTextBlockWidth,
                           "<Chan>0</Chan>\r\n<tarvolen><project><scene>Late</scene></project>"
                           "</tarvolen>");
                rc = c.link.AmpCommand(amp::kSendConfig, RecordArg(b.get()), nullptr);
            }
            double callMs = Ms(Clock::now() - t0);
            auto t1 = Clock::now();
            int32_t neighbourRc = c.Record(kNeighbour);
            double neighbourMs = Ms(Clock::now() - t1);
            // Watch until the late answer is long past.
            bool los = false;
            auto end = Clock::now() + delay + 500ms;
            while (Clock::now() < end) {
                los = los || c.State(0) == "Los" || c.State(kNeighbour) == "Los";
                std::this_thread::sleep_for(2ms);
            }
            bool othersRecording = c.State(kNeighbour) == "Record";
            for (int ch = 1; ch < kRecorders; ++ch)
                othersRecording = othersRecording && c.State(ch) == "Record";
            std::string effect =
                v == "RECORD" ? (c.State(0) == "Record" ? ", took effect" : ", NO effect")
                : v == "STOP" ? (c.State(0) == "Stop" ? ", took effect" : ", NO effect")
                              : "";
            std::printf(
                "%-9s %4lld ms late: call %.1f ms (result %d), neighbour's RECORD %.1f ms (result "
                "%d); Los seen: %s; redialled: %s; neighbour and 23 others recording: %s%s\n",
                verb, static_cast<long long>(delay.count()), callMs, rc, neighbourMs, neighbourRc,
                los ? "YES" : "no", c.link.Dials() != dials ? "YES" : "no",
                othersRecording ? "yes" : "NO", effect.c_str());
            bank.SetSlow(a[0], v, 0ms);
        }
    }
    for (int ch = 0; ch <= kNeighbour; ++ch) c.Stop(ch);
}

// A recorder silent for 5 s: "Los" within 1 s, back within 2 s of speaking.
void FiveSecondSilence(Controller& c, recorder::Bank& bank, const std::vector<std::string>& a) {
    const int ch = 9;
    c.Record(ch);
    bank.SetSilent(a[ch], true);
    auto silenced = Clock::now();
    while (c.State(ch) != "Los" && Clock::now() - silenced < 10s) std::this_thread::sleep_for(1ms);
    double lostMs = Ms(Clock::now() - silenced);
    std::this_thread::sleep_for(5s - (Clock::now() - silenced));
    bank.SetSilent(a[ch], false);
    auto spoke = Clock::now();
    while (c.State(ch) != "Record" && Clock::now() - spoke < 10s) std::this_thread::sleep_for(1ms);
    std::printf(
        "recorder silent for 5 s while recording: Los %.0f ms after it fell silent, back (Record) "
        "%.0f ms after it spoke again\n",
        lostMs, Ms(Clock::now() - spoke));
    c.Stop(ch);
}

long PeakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// 150,000 stored clips listed through the clip-directory codes.
void LongListing(Controller& c, recorder::Bank& bank, const std::vector<std::string>& a) {
    const std::string address = a[5];
    bank.AddClips(address, 150000);
    int dials = c.link.Dials();
    long rss0 = PeakRssKb();
    AddressRequest req;
    StoreField(req.address, kAddressWidth, address);
    CountReply count;
    auto t0 = Clock::now();
    int32_t rc = c.link.ClipDirCommand(clipdir::kOpen, RecordArg(&req), &count);
    double openMs = Ms(Clock::now() - t0);
    ClipEntry e{};
    e.size = sizeof e;
    int handed = 0;
    std::string first, last;
    for (int32_t r = c.link.ClipDirCommand(clipdir::kFirst, RecordArg(&req), &e); r == 0;
         r = c.link.ClipDirCommand(clipdir::kNext, RecordArg(&req), &e)) {
        if (handed++ == 0) first = ReadField(e.clipName, kClipNameWidth);
        last = ReadField(e.clipName, kClipNameWidth);
    }
    std::printf(
        "listing of 150,000 clips: open %.0f ms (result %d), %d entries kept and handed out (%s "
        "to %s), recorder redialled: %s, its channel reads %s, peak RSS grew %ld MB\n",
        openMs, rc, handed, first.c_str(), last.c_str(), c.link.Dials() != dials ? "YES" : "no",
        c.State(5).c_str(), (PeakRssKb() - rss0) / 1024);
}

// Record on 24 channels of 24 recorders, channel by channel and as one
// batch, at answer delays of 0, 5 and 50 ms: spread of RECORD in the journal
// and click to the last recorder in record (median and worst of 5 rounds).
void FanOut(Controller& c, recorder::Bank& bank, const std::vector<std::string>& a,
            const char* where) {
    auto wallMicros = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    auto setDelay = [&](std::chrono::milliseconds d) {
        for (const auto& address : a) bank.SetDelay(address, d);
    };
    constexpr int kRounds = 5;
    for (auto delay : {0ms, 5ms, 50ms}) {
        for (bool batch : {false, true}) {
            // Each figure twice: when RECORD reached the recorders (the kernel's
            // time of arrival plus the emulated delay), and when this bank,
            // serving 24 recorders on few threads, carried it out.
            std::vector<double> reached, reachedLast, spreads, clickToLast;
            int worstOk = kRecorders, worstRecording = kRecorders;
            for (int round = 0; round < kRounds; ++round) {
                setDelay(delay);
                std::vector<std::unique_ptr<TextBlock>> blocks;
                std::vector<DeviceCall> calls;
                for (int ch = 0; ch < kRecorders; ++ch) {
                    blocks.push_back(Controller::RecordBlock(ch));
                    calls.push_back({amp::kRecord, RecordArg(blocks.back().get()), nullptr, 0});
                }
                std::size_t journalStart = bank.Journal().size();
                int64_t click = wallMicros();
                if (batch) {
                    c.link.AmpLibrary()->Commands(calls);
                } else {
                    for (auto& call : calls)
                        call.result = c.link.AmpCommand(call.code, call.input, nullptr);
                }
                int ok = 0;
                for (const auto& call : calls) ok += call.result == 0;
                std::this_thread::sleep_for(delay + 100ms);
                auto journal = bank.Journal();
                int64_t first = INT64_MAX, last = INT64_MIN;
                int64_t firstIn = INT64_MAX, lastIn = INT64_MIN;
                int records = 0;
                for (std::size_t i = journalStart; i < journal.size(); ++i) {
                    if (journal[i].request != "RECORD" || journal[i].outcome != "ok") continue;
                    ++records;
                    first = std::min(first, journal[i].micros);
                    last = std::max(last, journal[i].micros);
                    firstIn = std::min(firstIn, journal[i].received);
                    lastIn = std::max(lastIn, journal[i].received);
                }
                reached.push_back(static_cast<double>(lastIn - firstIn) / 1000);
                reachedLast.push_back(static_cast<double>(lastIn - click) / 1000);
                spreads.push_back(static_cast<double>(last - first) / 1000);
                clickToLast.push_back(static_cast<double>(last - click) / 1000);
                worstOk = std::min(worstOk, ok);
                worstRecording = std::min(worstRecording, records);
                setDelay(0ms);
                for (int ch = 0; ch < kRecorders; ++ch) c.Stop(ch);
            }
            for (auto* v : {&reached, &reachedLast, &spreads, &clickToLast})
                std::sort(v->begin(), v->end());
            std::printf(
                "Record on 24 recorders (%s), answer delay %2lld ms, %-7s: RECORD reached the "
                "recorders: spread median %7.2f ms (worst %7.2f), click to last median %7.2f ms; "
                "carried out by the bank: spread median %7.2f ms (worst %7.2f), click to last "
                "recording median %7.2f ms (worst %7.2f); at least %d/24 answered OK, %d/24 "
                "recording (%d rounds)\n",
                where, static_cast<long long>(delay.count()), batch ? "fan-out" : "walk",
                reached[kRounds / 2], reached.back(), reachedLast[kRounds / 2],
                spreads[kRounds / 2], spreads.back(), clickToLast[kRounds / 2], clickToLast.back(),
                worstOk, worstRecording, kRounds);
        }
    }
}

// The same with the bank on a core of its own and the controller on the
// others, as recorders are machines of their own. Sharing cores, the
// scheduler moves the bank's thread, woken by each request, onto the sending
// thread's core and the two take turns, which the figures above include.
void FanOutOnOwnCore() {
    cpu_set_t all;
    CPU_ZERO(&all);
    if (sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < 2) {
        std::printf("group Record with the bank on its own core: needs two cores, skipped\n");
        return;
    }
    int last = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) last = cpu;
    cpu_set_t bankCore, controllerCores = all;
    CPU_ZERO(&bankCore);
    CPU_SET(last, &bankCore);
    CPU_CLR(last, &controllerCores);
    // Threads take the affinity of the thread that starts them.
    auto addresses = Addresses(3);
    sched_setaffinity(0, sizeof bankCore, &bankCore);
    auto bank = StartBank(addresses);
    sched_setaffinity(0, sizeof controllerCores, &controllerCores);
    {
        Controller c(bank->Port());
        c.Connect(addresses);
        FanOut(c, *bank, addresses, "bank on its own core");
    }
    bank.reset();
    sched_setaffinity(0, sizeof all, &all);
}

}  // namespace

int main(int argc, char** argv) {
    double cpuSeconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--quick") cpuSeconds = 2;
        if (std::string(argv[i]) == "--fan-out") {  // only the group Record figures
            {
                auto addresses = Addresses(2);
                auto bank = StartBank(addresses);
                Controller c(bank->Port());
                c.Connect(addresses);
                FanOut(c, *bank, addresses, "bank sharing the cores");
            }
            FanOutOnOwnCore();
            return 0;
        }
    }
    EmulatorCpu(cpuSeconds);  // first: it forks, so no threads may run yet

    auto addresses = Addresses(2);
    auto bank = StartBank(addresses);
    Controller c(bank->Port());
    c.Connect(addresses);
    StatusLatency(c, false);
    for (int ch = 0; ch < kRecorders; ++ch) c.Record(ch);
    StatusLatency(c, true);
    for (int ch = 0; ch < kRecorders; ++ch) c.Stop(ch);
    RecordRow(c, *bank);
    KilledRecorder(c, *bank, addresses);
    LateAnswers(c, *bank, addresses);
    FiveSecondSilence(c, *bank, addresses);
    FanOut(c, *bank, addresses, "bank sharing the cores");
    LongListing(c, *bank, addresses);
    FanOutOnOwnCore();
    return 0;
}
