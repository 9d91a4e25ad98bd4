// What the benchmarks of the whole program share: figures in milliseconds,
// the GUI thread's heartbeat, and an emulated bank in a child process of its
// own, so the figures are the controller's.
#pragma once

#include <sys/wait.h>
#include <unistd.h>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "recorder/bank.h"

namespace tarvolen::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// The longest time between two ticks of a 5 ms timer on the GUI thread,
// since the last Reset.
class Heartbeat {
  public:
    Heartbeat() {
        timer_.setInterval(5);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
    }
    void Reset() {
        timer_.start();
        last_ = Clock::now();
        longest_ = {};
    }
    // Its 200 ticks a second are the bench's, not the controller's.
    void Stop() { timer_.stop(); }
    double LongestMs() {
        Tick();
        return Ms(longest_);
    }

  private:
    void Tick() {
        auto now = Clock::now();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    Clock::duration longest_{};
};

// 24 recorders on 127.0.0.101-124 in a child process; the parent tells it
// what to do, one line at a time, and reads one answer line back. The bench
// answers its own verbs ("verb rest"); "ping" and "quit" are the class's.
class BankProcess {
  public:
    using Verbs = std::function<std::string(recorder::Bank&, const std::string& verb,
                                            const std::string& rest)>;
    BankProcess(uint16_t port, Verbs verbs) : port_(port), verbs_(std::move(verbs)) {}

    // Call before any thread starts: it forks.
    bool Start() {
        int toChild[2], toParent[2];
        if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            Serve(toChild[0], toParent[1]);
            std::_Exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        in_ = toParent[0];
        out_ = toChild[1];
        if (Ask("ping") == "ok") return true;
        ::close(in_);
        ::close(out_);
        ::waitpid(pid_, nullptr, 0);
        return false;
    }
    std::string Ask(const std::string& line) {
        std::string l = line + "\n";
        if (::write(out_, l.data(), l.size()) < 0) return "";
        std::string answer;
        char c;
        while (::read(in_, &c, 1) == 1 && c != '\n') answer.push_back(c);
        return answer;
    }
    void Stop() {
        Ask("quit");
        ::waitpid(pid_, nullptr, 0);
    }

  private:
    void Serve(int in, int out) {
        recorder::BankOptions o;
        std::string error;
        recorder::ExpandAddresses("127.0.0.101-124", o.addresses, error);
        o.port = port_;
        recorder::Bank bank(o);
        if (!bank.Start(error)) {
            std::fprintf(stderr, "bank: %s\n", error.c_str());
            return;
        }
        std::string line;
        char c;
        while (::read(in, &c, 1) == 1) {
            if (c != '\n') {
                line.push_back(c);
                continue;
            }
            size_t space = line.find(' ');
            std::string verb = line.substr(0, space);
            std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
            std::string answer = verb == "ping" || verb == "quit" ? "" : verbs_(bank, verb, rest);
            answer = (answer.empty() ? "ok" : answer) + "\n";
            (void)!::write(out, answer.data(), answer.size());
            line.clear();
            if (verb == "quit") break;
        }
        bank.Stop();
    }
    uint16_t port_;
    Verbs verbs_;
    pid_t pid_ = 0;
    int in_ = -1, out_ = -1;
};

// How many of the bank's recorders record on their channel 1.
inline int Recording(recorder::Bank& bank) {
    int n = 0;
    for (const auto& a : bank.Addresses()) {
        auto view = bank.Channel(a, 1);
        n += view && view->state == "Record";
    }
    return n;
}

}  // namespace tarvolen::bench
