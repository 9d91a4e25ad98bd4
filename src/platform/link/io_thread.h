// The one I/O thread of a link, named so that top and perf tell it apart.
//
// A paced thread saves its wake-ups while recorders push news (state and
// timecode lines nobody waits for): once news has come it no longer wakes for
// each arrival but reads everything that has come in one go when work is
// posted or after its pace. The status is asked (Drain) by another thread,
// which then reads everything itself. While the status is polled (asked at a
// steady cadence), the I/O thread sleeps through it and only looks again when
// the asks stop. While a caller awaits an answer (Hurried), and once a read
// brings no news while nobody polls, it reads on arrival again. Answers that
// are due (a bank's pings) are read in the wake-up that sent them when they
// are in by then, else together after the pace: a round costs one or two
// wake-ups, not one an answer.
//
// One thread at a time reads (runs the I/O context's handlers): the I/O
// thread, or a draining caller while the I/O thread paces. So what the
// handlers share is "I/O thread only" in the sense that only the reader has it.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tarvolen::link {

class IoThread {
  public:
    // pace: how long news may wait at most; zero reads everything on arrival.
    explicit IoThread(const char* name,
                      std::chrono::milliseconds pace = std::chrono::milliseconds(0));
    ~IoThread();  // Stop() if not done
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    asio::io_context io;

    // Runs f on the I/O thread, a paced one included.
    template <class F>
    void Post(F&& f) {
        if (!paced_) {
            asio::post(io, std::forward<F>(f));
            return;
        }
        // Counted until it runs: a job that starts a pacing has run, and
        // must not end that pacing as a kick would.
        {
            std::lock_guard lock(m_);
            ++queued_;
        }
        asio::post(io, [this, f = std::forward<F>(f)]() mutable {
            {
                std::lock_guard lock(m_);
                --queued_;
            }
            f();
        });
        Kick();
    }

    // I/O thread: what was just handled is news.
    void News() { news_ = true; }

    // I/O thread: an answer nobody awaits is due (a ping's), or came. The
    // answers due when the thread would wait are read together after its
    // pace, not each as it arrives; those not in by then, on arrival.
    void AnswerDue() { ++due_; }
    void Answered() {
        if (due_ > 0) --due_;
    }

    // I/O thread: false, or resume (a socket's next read) waits for the
    // thread's next read of everything and starts it: one receive a socket
    // then, instead of a second that finds nothing after each arrival.
    bool Park(std::function<void()> resume);

    // Any other thread, holding no lock the handlers take: returns once what
    // had arrived when it was called has been handled. A paced thread's news
    // is read right here, on the calling thread, unless a read is under way.
    void Drain();

    // Any thread: whether the status is polled, so drains will come at a
    // cadence and read the news; if not, the thread reads it by its pace.
    void Polled(bool polled);

    // While one lives, answers are read the moment they arrive.
    class Hurried {
      public:
        explicit Hurried(IoThread& t) : t_(t) { t_.Hurry(1); }
        ~Hurried() { t_.Hurry(-1); }
        Hurried(const Hurried&) = delete;
        Hurried& operator=(const Hurried&) = delete;

      private:
        IoThread& t_;
    };

    // Lets what is queued run, gives the last writes (goodbyes, closes) a
    // moment, and ends the thread.
    void Stop();

  private:
    using Clock = std::chrono::steady_clock;
    // A read this recent serves a drain without another.
    static constexpr auto kFresh = std::chrono::milliseconds(4);
    // While the status is polled the thread looks this long after the last
    // drain whether they still come: a suspended status thread's news waits
    // no longer, and the timers run.
    static constexpr auto kLapse = std::chrono::milliseconds(250);

    // Whether drains still read for the thread; m_ held.
    bool Drained(Clock::time_point now) const;
    // When a pacing thread that began waiting at from reads; m_ held.
    Clock::time_point NextRead(Clock::time_point from) const;

    void Run();
    // The reader: reads everything that has come, then lets the read go.
    void ReadAll();
    void Resume();  // the reader
    void Kick();
    void Hurry(int delta);

    const std::chrono::milliseconds pace_;
    const bool paced_;
    std::mutex m_;
    std::condition_variable cv_;
    bool pacing_ = false;                         // m_; only the reader changes it
    int queued_ = 0;                              // m_; posted jobs not yet run
    int hurry_ = 0;                               // m_
    bool reading_ = false;                        // m_; a paced read is under way
    bool awaitingRead_ = false;                   // m_; the I/O thread waits for it
    bool polled_ = false;                         // m_
    Clock::time_point lastRead_{}, lastDrain_{};  // m_
    bool news_ = false;                           // the reader only
    int due_ = 0;                                 // the reader only
    std::vector<std::function<void()>> parked_;   // the reader only
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
    std::thread thread_;
};

}  // namespace tarvolen::link
